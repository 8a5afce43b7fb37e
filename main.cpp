// The entry: the window system, the host, the start-up guard, the application, the loop.
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "graphics/drawing.h"
#include "host/errors.h"
#include "host/game.h"
#include "tracker/app/app.h"

int main(int, char**) {
    installHostErrorCallback();
    if (!initHostWindowSystem()) {
        printf("glfwInit failed\n");
        fflush(stdout);
        exit(-1);
    }
    VXVantorixGame* game = new VXVantorixGame();
    try {
        installFaultSignalHandler();
        if (!setlocale(LC_CTYPE, "en_US.UTF-8")) setlocale(LC_CTYPE, "");
        initGraphicsModule();
        new c_SoundEngine();
    } catch (const ThrowableObject& thrown) {
        terminateHostWindowSystem();
        game->reportUncaught(&thrown);
    } catch (const ThrowableObject* thrown) {
        terminateHostWindowSystem();
        game->reportUncaught(thrown);
    }
    if (game->delegate()) game->run();
    terminateHostWindowSystem();
    return 0;
}
