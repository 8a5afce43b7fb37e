#pragma once
// A private X server for tests that need a real window: starts Xvfb on a free display
// (chosen by the server itself with -displayfd), sets DISPLAY, and stops it at the end.
#include <string>
#include <sys/types.h>

class XvfbServer {
public:
    explicit XvfbServer(const char* screen = "1024x768x24");
    ~XvfbServer();
    bool ok() const { return pid_ > 0 && !display_.empty(); }
    const std::string& display() const { return display_; }   // e.g. ":5"

private:
    pid_t pid_ = -1;
    std::string display_;
};

// One server for the whole test process, started on first use.
XvfbServer& sharedXvfb();

// A fresh temporary folder, removed with its contents at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};
