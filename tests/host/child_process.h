#pragma once
// Runs a case of this test executable in a child process with its own standard
// input, output and error, so tests can watch a program that exits or waits.
//
// The child is this executable started again with TAMO_HOST_CHILD=<case>; the hook
// of host_child_cases.cpp runs that case before the tests would start and ends the
// process. A fresh process keeps the child's exit() from touching anything the test
// process owns (such as its private X server).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

class ChildProcess {
public:
    // `program` empty: this executable running `caseName`; otherwise that program
    // with `unset` removed from its environment.
    explicit ChildProcess(const std::string& caseName, const std::string& program = "",
                          const char* unset = nullptr) {
        int in[2], out[2], err[2];
        if (pipe(in) || pipe(out) || pipe(err)) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(err[1], 2);
            for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
            if (!program.empty()) {
                if (unset) unsetenv(unset);
                // No user's settings: the program starts with its defaults.
                setenv("XDG_CONFIG_HOME", "/nonexistent/tamo-test-settings", 1);
                execl(program.c_str(), program.c_str(), (char*)nullptr);
                _exit(127);
            }
            setenv("TAMO_HOST_CHILD", caseName.c_str(), 1);
            execl("/proc/self/exe", "tests_host", (char*)nullptr);
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        close(err[1]);
        input_ = in[1];
        output_ = out[0];
        error_ = err[0];
        signal(SIGPIPE, SIG_IGN);   // a child that stops reading must not end the test
    }

    ~ChildProcess() {
        if (running()) kill(pid_, SIGKILL), reap();
        for (int fd : {input_, output_, error_}) if (fd >= 0) close(fd);
    }

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    void write(const std::string& text) {
        if (input_ >= 0 && ::write(input_, text.data(), text.size()) < 0) {}
    }

    void closeInput() {
        if (input_ >= 0) close(input_);
        input_ = -1;
    }

    // Reads standard output up to and including the next "\n" (waits up to 10 s).
    std::string readOutputLine() {
        std::string line;
        char c;
        while (wait(output_, 10000) && ::read(output_, &c, 1) == 1) {
            if (c == '\n') break;
            line += c;
        }
        stdout_ += line + "\n";
        return line;
    }

    bool running() {
        if (pid_ <= 0 || reaped_) return false;
        int status;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            reaped_ = true;
            status_ = status;
        }
        return r == 0;
    }

    // Closes standard input, waits for the end (killing the child after `seconds`)
    // and collects everything it wrote. False when it had to be killed.
    bool finish(double seconds = 10) {
        closeInput();
        auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (running() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        bool ended = !running();
        if (!ended) kill(pid_, SIGKILL), reap();
        stdout_ += drain(output_);
        stderr_ += drain(error_);
        return ended;
    }

    const std::string& out() const { return stdout_; }
    const std::string& err() const { return stderr_; }
    bool exited() const { return reaped_ && WIFEXITED(status_); }
    int exitStatus() const { return exited() ? WEXITSTATUS(status_) : -1; }
    bool signalled() const { return reaped_ && WIFSIGNALED(status_); }

private:
    static bool wait(int fd, int ms) {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, ms) > 0;
    }

    static std::string drain(int fd) {
        std::string all;
        char buf[4096];
        ssize_t n;
        while (fd >= 0 && wait(fd, 1000) && (n = ::read(fd, buf, sizeof buf)) > 0) all.append(buf, n);
        return all;
    }

    void reap() {
        int status;
        if (waitpid(pid_, &status, 0) == pid_) reaped_ = true, status_ = status;
    }

    pid_t pid_ = -1;
    int input_ = -1, output_ = -1, error_ = -1;
    bool reaped_ = false;
    int status_ = 0;
    std::string stdout_, stderr_;
};
