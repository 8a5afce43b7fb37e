// Programs the error tests run as child processes (see child_process.h). Each case
// ends the process itself; falling out of one exits with status 3.
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>

#include "host/callbacks.h"
#include "host/errors.h"
#include "host_fixtures.h"

namespace {

struct DescribedObject : Object {
    String debugText() const override { return U"+DescribedObject\nvalue=7\n"; }
};

struct TestStreamError : ThrowableObject {};

class ThrowingDelegate : public VXGameDelegate {
public:
    void onUpdate() override { throw TestStreamError(); }
    void onKeyEvent(int, int) override { throw new TestStreamError(); }
};

void runCase(const std::string& name) {
    if (name == "empty-error") raiseError(String());
    if (name == "error") raiseError(U"Boom");
    if (name == "narrowed-error") raiseError(U"\u0141\u00e9!");
    if (name == "second-app") {
        new TestApp();
        new TestApp();
    }
    if (name == "uncaught") {
        VXGame host;
        ThrowingDelegate delegate;
        host.setDelegate(&delegate);
        host.runStart();
        host.runUpdate();
    }
    if (name == "uncaught-pointer") {
        VXGame host;
        ThrowingDelegate delegate;
        host.setDelegate(&delegate);
        host.runStart();
        host.postKeyEvent(1, 65);
    }
    if (name == "close-request") {
        InputRig rig;
        onCloseRequest();
    }
    if (name == "close-refused-once") {
        InputRig rig;
        int asked = 0;
        rig.app.close = [&] { return ++asked == 1 ? 1 : 0; };
        onCloseRequest();
        printLine(U"still running");
        onCloseRequest();
    }
    if (name == "segv" || name == "fpe" || name == "ill" || name == "bus") {
        installFaultSignalHandler();
        raise(name == "segv" ? SIGSEGV : name == "fpe" ? SIGFPE : name == "ill" ? SIGILL : SIGBUS);
    }
    if (name == "bad-write") {
        // A page the process may not touch: the write faults for real.
        installFaultSignalHandler();
        void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (page == MAP_FAILED) exit(5);
        *static_cast<volatile int*>(page) = 1;
    }
    if (name == "reference") {
        // Hands one reference to the debugger on standard output, then stops.
        static DescribedObject described;
        printLine(widen(debuggerReference(&described)));
        raiseError(U"Stop");
    }
    if (name == "glfw-error") {
        // Asking for a monitor before initialisation is a GLFW error.
        installHostErrorCallback();
        VXGlfwGame game;
        exit(game.desktopMode() ? 4 : 0);
    }
    if (name == "print") {
        printLine(U"a\u00e9\u20ac\U0001F3B5");
        debugLog(U"x\u0141\u00e9");
        exit(0);
    }
    exit(3);
}

// Runs before the test framework starts when the executable is a child case.
struct ChildCaseHook {
    ChildCaseHook() {
        if (const char* name = getenv("TAMO_HOST_CHILD")) runCase(name);
    }
} hook;

}  // namespace
