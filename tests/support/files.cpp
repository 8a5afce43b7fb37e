// The small mounted file system of files.h.
#include "support/files.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

SmallFileSystem::SmallFileSystem(const std::string& folder, int kilobytes) : folder_(folder) {
    std::filesystem::create_directories(folder);
    const std::string options = "size=" + std::to_string(kilobytes) + "k,mode=0777";
    if (mount("tamo-test", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        why_ = "cannot mount a tmpfs here (" + std::string(std::strerror(errno)) +
               "); the test needs the privilege to mount";
        return;
    }
    mounted_ = true;
}

SmallFileSystem::~SmallFileSystem() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
}

bool SmallFileSystem::makeReadOnly() {
    return mount("tamo-test", folder_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

long SmallFileSystem::fill(const std::string& name) {
    int fd = open((folder_ + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return 0;
    static const char chunk[4096] = {};
    long total = 0;
    ssize_t n;
    while ((n = write(fd, chunk, sizeof chunk)) > 0) total += n;
    close(fd);
    return total;
}
