// Runtime errors, the debugger stop, uncaught throwables and fault signals, each in a
// child process whose output and exit status are checked to the byte.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "child_process.h"
#include "host/errors.h"

namespace {

const std::string kReport = "Vantorix Runtime Error : Boom\n\n";
const std::string kStop = "{{~~~~}}\n\n";

struct Finished {
    std::string out, err;
    int status;
};

// Runs `caseName` with `input` on standard input followed by its end.
Finished runCase(const std::string& caseName, const std::string& input = "") {
    ChildProcess child(caseName);
    EXPECT_TRUE(child.started());
    child.write(input);
    EXPECT_TRUE(child.finish()) << caseName << " did not end";
    EXPECT_TRUE(child.exited()) << caseName << " was killed by a signal";
    return {child.out(), child.err(), child.exitStatus()};
}

std::string times(const std::string& s, int n) {
    std::string all;
    while (n--) all += s;
    return all;
}

}  // namespace

TEST(QuittingThroughAnEmptyError, ExitsWithZeroAndPrintsNothing) {
    Finished r = runCase("empty-error");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

TEST(RuntimeErrorReport, WithoutDebuggerInputPrintsTheReportAndFailsWithMinusOne) {
    Finished r = runCase("error");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, kReport);
    EXPECT_EQ(r.err, kStop);
}

TEST(RuntimeErrorReport, MessageIsNarrowedToEightBitsBeforePrinting) {
    // U+0141 keeps its low byte 0x41 "A"; U+00E9 stays é and prints as UTF-8.
    Finished r = runCase("narrowed-error");
    EXPECT_EQ(r.out, "Vantorix Runtime Error : A\xC3\xA9!\n\n");
    EXPECT_EQ(r.status, 255);
}

TEST(DebuggerCommands, QuitEndsWithStatusZeroAfterOneReport) {
    Finished r = runCase("error", "q\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kReport);
    EXPECT_EQ(r.err, kStop);
}

TEST(DebuggerCommands, EachOfELRSRepeatsTheWholeReport) {
    Finished r = runCase("error", "s\ne\nl\nr\nq\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, times(kReport, 5));
    EXPECT_EQ(r.err, times(kStop, 5));
}

TEST(DebuggerCommands, QuestionMarkKeepsTheProgramWaiting) {
    ChildProcess child("error");
    child.write("?\n?\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(child.running()) << "the stop must wait for the next command";
    child.write("q\n");
    ASSERT_TRUE(child.finish());
    EXPECT_EQ(child.exitStatus(), 0);
    EXPECT_EQ(child.out(), kReport);
    EXPECT_EQ(child.err(), kStop);
}

TEST(DebuggerCommands, AnUnknownLineIsEchoedAndFailsWithMinusOne) {
    Finished r = runCase("error", "x y\nq\n");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, kReport + "????? x y ?????");

    Finished empty = runCase("error", "\n");
    EXPECT_EQ(empty.status, 255);
    EXPECT_EQ(empty.out, kReport + "?????  ?????");
}

TEST(DebuggerCommands, ALastLineWithoutNewlineOrAnOverlongLineEndsWithMinusOne) {
    Finished r = runCase("error", "q");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, kReport);

    Finished longLine = runCase("error", "q" + std::string(300, 'a') + "\n");
    EXPECT_EQ(longLine.status, 255);
    EXPECT_EQ(longLine.out, kReport);
}

TEST(DebuggerReferences, AReferenceNeverHandedOutPrintsTheEmptyTextAndDoesNotCrash) {
    Finished r = runCase("error", "@0x1234\n@0xdeadbeefdead\n@(nil)\n@garbage\n@\nq\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kReport);
    EXPECT_EQ(r.err, kStop + "\n\n\n\n\n");
}

TEST(DebuggerReferences, AHandedOutReferencePrintsThatObjectsDebugText) {
    ChildProcess child("reference");
    std::string reference = child.readOutputLine();
    ASSERT_FALSE(reference.empty());
    child.write("@" + reference + "\nq\n");
    ASSERT_TRUE(child.finish());
    EXPECT_EQ(child.exitStatus(), 0);
    EXPECT_EQ(child.out(), reference + "\nVantorix Runtime Error : Stop\n\n");
    EXPECT_EQ(child.err(), kStop + "+DescribedObject\nvalue=7\n\n");
}

TEST(DebuggerReferences, ResolvesOnlyObjectsStillHandedOut) {
    Object kept, forgotten;
    std::string keptRef = debuggerReference(&kept);
    std::string forgottenRef = debuggerReference(&forgotten);
    forgetDebuggerReference(&forgotten);
    EXPECT_EQ(resolveDebuggerReference(keptRef), &kept);
    EXPECT_EQ(resolveDebuggerReference(forgottenRef), nullptr);
    EXPECT_EQ(resolveDebuggerReference(debuggerReference(nullptr)), nullptr);
    forgetDebuggerReference(&kept);
}

TEST(UncaughtThrowable, EscapingAHandlerPrintsTheFixedReportAndFails) {
    // Thrown by value from an update, and by pointer from a key event.
    for (const char* caseName : {"uncaught", "uncaught-pointer"}) {
        Finished r = runCase(caseName);
        EXPECT_EQ(r.status, 255) << caseName;
        EXPECT_EQ(r.out, "Vantorix Runtime Error : Uncaught Vantorix Exception\n") << caseName;
        EXPECT_EQ(r.err, "") << caseName;
    }
}

TEST(SecondApplication, IsRefusedWithARuntimeError) {
    Finished r = runCase("second-app");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "Vantorix Runtime Error : App has already been created\n\n");
}

TEST(ClosingTheWindow, EndsTheProgramWithStatusZeroUnlessTheApplicationKeepsItOpen) {
    Finished r = runCase("close-request");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    // An application that could not keep its work keeps the window open once.
    Finished refused = runCase("close-refused-once");
    EXPECT_EQ(refused.status, 0);
    EXPECT_EQ(refused.out, "still running\n");
}

TEST(FaultSignals, BecomeRuntimeErrorsWithTheirMessages) {
    struct { const char* caseName; const char* message; } cases[] = {
        {"segv", "Memory access violation"}, {"fpe", "Floating point exception"},
        {"ill", "Illegal instruction"}, {"bus", "Bus error"}};
    for (auto& c : cases) {
        Finished r = runCase(c.caseName);
        EXPECT_EQ(r.status, 255) << c.caseName;
        EXPECT_EQ(r.out, std::string("Vantorix Runtime Error : ") + c.message + "\n\n") << c.caseName;
        EXPECT_EQ(r.err, kStop) << c.caseName;
    }
    EXPECT_STREQ(faultSignalMessage(SIGTERM), "Unknown signal");
}

TEST(FaultSignals, ARealBadMemoryWriteIsReportedAndTheDebuggerCanQuit) {
    Finished r = runCase("bad-write", "q\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Vantorix Runtime Error : Memory access violation\n\n");
}

TEST(ConsoleOutput, PrintLineWritesUtf8IncludingFourByteCharactersAndDebugLogNarrows) {
    Finished r = runCase("print");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5\n");
    EXPECT_EQ(r.err, "xA\xE9\n");
}

TEST(WindowSystemErrors, AGlfwErrorIsPrintedOnStandardOutputAndTheProgramGoesOn) {
    Finished r = runCase("glfw-error");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "GLFW Error: err=65537, msg=The GLFW library is not initialized\n");
}

TEST(WindowSystemErrors, WithoutADisplayTheProgramSaysGlfwInitFailedAndFails) {
    ChildProcess tamo("", std::string(TAMO_BINARY_DIR) + "/tamo", "DISPLAY");
    ASSERT_TRUE(tamo.finish());
    EXPECT_EQ(tamo.exitStatus(), 255);
    const std::string last = "glfwInit failed\n";
    ASSERT_GE(tamo.out().size(), last.size()) << tamo.out();
    EXPECT_EQ(tamo.out().substr(tamo.out().size() - last.size()), last);
    EXPECT_EQ(tamo.out().rfind("GLFW Error: err=", 0), 0u) << tamo.out();
}
