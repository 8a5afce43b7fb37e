// The entry: the command line, the window system, the host, the start-up guard, the
// application, its MIDI input, the loop.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "graphics/drawing.h"
#include "host/errors.h"
#include "host/game.h"
#include "midi/input.h"
#include "tracker/app/app.h"

namespace {

const char kUsage[] = "usage: tamo-tracker [SONGFILE] (--help says more)\n";
const char kHelp[] =
    "usage: tamo-tracker [SONGFILE]\n"
    "Opens the tracker's window. SONGFILE is taken but not loaded yet.\n"
    "\n"
    "  --help      this text\n"
    "  --version   the program's version\n"
    "\n"
    "Exit status: 0 when the window is closed, 2 bad usage.\n";

struct Arguments {
    enum What { Start, Help, Version, Usage } what = Start;
    std::string song;      // the song file to open; empty: none
    std::string problem;   // why the command line was refused (Usage)
};

// At most one song file; "--" ends the options, so a file may start with "-".
Arguments parseArguments(int argc, char** argv) {
    Arguments a;
    bool help = false, version = false, options = true;
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && arg == "--") options = false;
        else if (options && arg == "--help") help = true;
        else if (options && arg == "--version") version = true;
        else if (options && arg.size() > 1 && arg[0] == '-') a.problem = "unknown option " + arg;
        else if (++files == 1) a.song = arg;
        else a.problem = "more than one song file";
        if (!a.problem.empty()) {
            a.what = Arguments::Usage;
            return a;
        }
    }
    if (help) a.what = Arguments::Help;
    else if (version) a.what = Arguments::Version;
    return a;
}

}  // namespace

int main(int argc, char** argv) {
    const Arguments arguments = parseArguments(argc, argv);
    switch (arguments.what) {
        case Arguments::Help: return std::fputs(kHelp, stdout), 0;
        case Arguments::Version: return std::puts("tamo-tracker " TAMO_VERSION), 0;
        case Arguments::Usage:
            std::fprintf(stderr, "tamo-tracker: %s\n%s", arguments.problem.c_str(), kUsage);
            return 2;
        case Arguments::Start: break;
    }
    installHostErrorCallback();
    if (!initHostWindowSystem()) {
        printf("glfwInit failed\n");
        fflush(stdout);
        exit(-1);
    }
    VXVantorixGame* game = new VXVantorixGame();
    c_SoundEngine* app = nullptr;
    try {
        installFaultSignalHandler();
        if (!setlocale(LC_CTYPE, "en_US.UTF-8")) setlocale(LC_CTYPE, "");
        initGraphicsModule();
        app = new c_SoundEngine();
    } catch (const ThrowableObject& thrown) {
        terminateHostWindowSystem();
        game->reportUncaught(&thrown);
    } catch (const ThrowableObject* thrown) {
        terminateHostWindowSystem();
        game->reportUncaught(thrown);
    }
    if (app && game->delegate()) {
        MidiOpening midi = openMidiInput();
        if (!midi.input) fprintf(stderr, "MIDI input off: %s\n", midi.offReason.c_str());
        app->useMidiInput(std::move(midi.input));
        game->run();
    }
    terminateHostWindowSystem();
    return 0;
}
