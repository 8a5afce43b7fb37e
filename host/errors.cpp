// Runtime error reports, the debugger stop, the fault-signal handler and the
// registry of object references the debugger may ask about.
#include "host/errors.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

namespace {

// The place being executed, shown in reports. Nothing in this program sets it.
const char* sourcePosition() { return ""; }

std::set<const Object*>& handedOut() {
    static std::set<const Object*> objects;
    return objects;
}

// Describes the object behind "@reference" on standard error.
void describeReference(const char* reference) {
    const Object* object = resolveDebuggerReference(reference);
    debugLog(object ? object->debugText() : String());
}

// The debugger stop: returns when the debugger asks for the report again.
void debugStop() {
    fprintf(stderr, "{{~~%s~~}}\n", sourcePosition());
    debugLog(String());
    for (;;) {
        char line[256];
        if (!fgets(line, sizeof line, stdin)) exit(-1);
        char* end = strchr(line, '\n');
        if (!end) exit(-1);
        *end = 0;
        switch (line[0]) {
        case '?': continue;
        case '@': describeReference(line + 1); continue;
        case 'e': case 'l': case 'r': case 's': return;
        case 'q': exit(0);
        default:
            printf("????? %s ?????", line);
            fflush(stdout);
            exit(-1);
        }
    }
}

void onFaultSignal(int signal) { fatalReport(faultSignalMessage(signal)); }

}  // namespace

void printLine(const String& text) {
    std::string bytes = encodeUtf8(text);
    bytes += '\n';
    fwrite(bytes.data(), 1, bytes.size(), stdout);
    fflush(stdout);
}

void debugLog(const String& text) {
    std::string bytes = narrow(text);
    bytes += '\n';
    fwrite(bytes.data(), 1, bytes.size(), stderr);
    fflush(stderr);
}

void raiseError(const String& message) {
    if (message.empty()) exit(0);
    fatalReport(narrow(message));
}

void fatalReport(const std::string& message) {
    for (;;) {
        printLine(U"Vantorix Runtime Error : " + widen(message));
        printLine(widen(sourcePosition()));
        debugStop();
    }
}

const char* faultSignalMessage(int signal) {
    switch (signal) {
    case SIGSEGV: return "Memory access violation";
    case SIGILL: return "Illegal instruction";
    case SIGFPE: return "Floating point exception";
    case SIGBUS: return "Bus error";
    default: return "Unknown signal";
    }
}

void installFaultSignalHandler() {
    for (int s : {SIGSEGV, SIGILL, SIGFPE, SIGBUS}) signal(s, onFaultSignal);
}

std::string debuggerReference(const Object* object) {
    if (object) handedOut().insert(object);
    char text[32];
    snprintf(text, sizeof text, "%p", static_cast<const void*>(object));
    return text;
}

void forgetDebuggerReference(const Object* object) { handedOut().erase(object); }

const Object* resolveDebuggerReference(const std::string& reference) {
    void* address = nullptr;
    if (sscanf(reference.c_str(), "%p", &address) != 1 || !address) return nullptr;
    // Compare addresses only: an address that was never handed out is never read.
    auto& objects = handedOut();
    auto found = objects.find(static_cast<const Object*>(address));
    return found == objects.end() ? nullptr : *found;
}
