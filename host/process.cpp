// Child processes: posix_spawn, a waitpid that never blocks, and one that waits.
#include "host/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

bool ChildProcess::start(const std::vector<std::string>& argv) {
    if (argv.empty() || pid_ > 0) return false;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int error = posix_spawn(&pid, args[0], &files, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (error != 0) return false;
    pid_ = pid;
    status_ = kRunning;
    return true;
}

int ChildProcess::poll() { return reap(WNOHANG); }

int ChildProcess::stop() {
    if (pid_ > 0) kill(pid_, SIGTERM);
    return reap(0);
}

int ChildProcess::reap(int options) {
    if (pid_ <= 0) return status_;
    int raw = 0;
    pid_t done;
    while ((done = waitpid(pid_, &raw, options)) < 0 && errno == EINTR) {}
    if (done == 0) return kRunning;
    pid_ = -1;
    if (done < 0) return status_ = 255;
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return status_;
}
