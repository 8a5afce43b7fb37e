#include "xvfb.h"

#include <cstdlib>
#include <csignal>
#include <cstring>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

XvfbServer::XvfbServer(const char* screen) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        // The server ends with the test process, even when that one aborts.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen,
               "-nolisten", "tcp", "-noreset", (char*)nullptr);
        _exit(127);
    }
    close(fds[1]);
    char buf[32] = {};
    ssize_t n = 0, got;
    while (n < (ssize_t)sizeof(buf) - 1 && (got = read(fds[0], buf + n, sizeof(buf) - 1 - n)) > 0) {
        n += got;
        if (memchr(buf, '\n', n)) break;
    }
    close(fds[0]);
    int number = atoi(buf);
    if (n <= 0) { pid_ = -1; return; }
    display_ = ":" + std::to_string(number);
    setenv("DISPLAY", display_.c_str(), 1);
}

XvfbServer::~XvfbServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

XvfbServer& sharedXvfb() {
    static XvfbServer server;
    return server;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/tamo-test-XXXXXX";
    if (mkdtemp(pattern)) path_ = pattern;
}

TempDir::~TempDir() {
    if (!path_.empty()) {
        std::string cmd = "rm -rf '" + path_ + "'";
        if (system(cmd.c_str()) != 0) {}
    }
}
