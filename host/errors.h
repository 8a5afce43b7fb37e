#pragma once
// Runtime errors, fault signals and the two console channels.
//
//   runtime error:  a message that stops the program: printed on standard output,
//                   then the process waits at a debugger stop on standard input;
//                   an empty message quits normally (exit status 0)
//   debugger stop:  "{{~~position~~}}" on standard error, then command lines from
//                   standard input: "?" wait on, "@ref" describe an object,
//                   e/l/r/s report again, "q" exit 0; anything else or the end of
//                   input ends the process with status -1
//   reference:      an object's address in printf "%p" form; only objects handed
//                   out through debuggerReference resolve, any other reads as none
//
// printLine writes UTF-8 to standard output; debugLog writes text narrowed to 8 bits
// to standard error. Both flush at once. There is no log file.
#include <string>

#include "host/object.h"

// Writes `text` as UTF-8 plus "\n" to standard output in one write, then flushes.
void printLine(const String& text);
// Writes `text` narrowed to 8 bits per character plus "\n" to standard error, flushes.
void debugLog(const String& text);

// Empty message: exit(0). Otherwise fatalReport with the message narrowed to 8 bits.
[[noreturn]] void raiseError(const String& message);
// Prints the report and waits at the debugger stop; never returns.
[[noreturn]] void fatalReport(const std::string& message);

// Installs the handler that turns SIGSEGV, SIGILL, SIGFPE and SIGBUS into runtime errors.
void installFaultSignalHandler();
// The runtime error message for a fault signal ("Unknown signal" for any other).
const char* faultSignalMessage(int signal);

// Hands out `object`'s reference for the debugger ("%p" text); the object stays
// resolvable until forgotten. Forget an object before it is destroyed.
std::string debuggerReference(const Object* object);
void forgetDebuggerReference(const Object* object);
// The object behind a reference handed out earlier, or nullptr for a null, malformed
// or never handed-out reference (those are never dereferenced).
const Object* resolveDebuggerReference(const std::string& reference);
