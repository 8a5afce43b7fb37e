#pragma once
// Child processes: a program started beside this one and watched without waiting, so
// the loop keeps its 50 updates a second while the child works.
//
//   start:  posix_spawn of the program with its arguments, no shell between; standard
//           input and output are /dev/null, standard error is shared with this process
//   poll:   waitpid without blocking; the exit status is reported once, then the
//           child is gone (a child still running when its owner goes runs on alone)
//   stop:   SIGTERM, then a waitpid that waits: the child has ended when it returns
#include <string>
#include <vector>

class ChildProcess {
public:
    static constexpr int kRunning = -1;

    virtual ~ChildProcess() = default;
    // Starts the program `argv[0]` with `argv`; false when it cannot be started.
    virtual bool start(const std::vector<std::string>& argv);
    // kRunning while the child runs, then its exit status 0..255 (128 + the signal
    // that ended it).
    virtual int poll();
    // Asks a running child to end and waits until it has; its status as poll() gives it.
    virtual int stop();

private:
    int reap(int waitOptions);   // waitpid with these options; the status as poll() gives it
    int pid_ = -1;
    int status_ = kRunning;   // kept once the child has been reaped
};
