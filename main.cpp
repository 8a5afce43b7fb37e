// The entry: the window system, the host, the start-up guard, the application, its MIDI
// input, the loop.
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "graphics/drawing.h"
#include "host/errors.h"
#include "host/game.h"
#include "midi/input.h"
#include "tracker/app/app.h"

int main(int, char**) {
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
