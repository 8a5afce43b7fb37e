// Crash-safe file replacement: temporary file, flush, rename, folder flush, backup;
// file stamps and moving files along a row of names.
#include "host/savefile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

SaveSystemCalls& saveSystemCalls() {
    static SaveSystemCalls calls{::link, ::fsync, ::rename};
    return calls;
}

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

constexpr int kLinkDepth = 16;   // links followed before the target counts as a loop

// The file a chain of symbolic links ends at (it need not exist); empty for a loop.
std::string followLinks(std::string path) {
    for (int depth = 0; depth < kLinkDepth; ++depth) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        char to[4096];
        ssize_t n = readlink(path.c_str(), to, sizeof to - 1);
        if (n <= 0) return std::string();
        std::string link(to, size_t(n));
        path = link[0] == '/' ? link : folderOf(path) + "/" + link;
    }
    return std::string();
}

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// Writes a fresh file at `path` (a stale one is removed first), flushed and closed.
// `mode` < 0 keeps the default permission bits. On failure nothing is left at `path`.
bool writeFresh(const std::string& path, const std::string& bytes, int mode) {
    unlink(path.c_str());
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = (mode < 0 || fchmod(fd, mode_t(mode)) == 0) && writeAll(fd, bytes) &&
              saveSystemCalls().fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok) unlink(path.c_str());
    return ok;
}

bool readAll(const std::string& path, std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// Makes every missing folder above `path`.
void makeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0777);
}


// Stages the old `file` at `staging` beside its backup: a hard link, or a copy where
// the file system has none. The caller renames it over the older backup once the
// save has succeeded, so a failed save leaves the older backup as it was.
bool stageBackup(const std::string& file, const std::string& staging, int mode) {
    makeFolders(staging);
    unlink(staging.c_str());
    if (saveSystemCalls().link(file.c_str(), staging.c_str()) == 0) return true;
    std::string bytes;
    return readAll(file, bytes) && writeFresh(staging, bytes, mode);
}

// A staged backup that cannot be moved into place is the only copy left of the
// version just replaced: it stays where it is.
BackupResult finishBackup(const std::string& staging, const std::string& backup) {
    if (saveSystemCalls().rename(staging.c_str(), backup.c_str()) == 0) return BackupResult::Kept;
    return BackupResult::Failed;
}

}  // namespace

bool syncToDisk(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = saveSystemCalls().fsync(fd) == 0;
    return close(fd) == 0 && ok;
}

SaveResult replaceFile(const std::string& target, const std::string& bytes, const std::string& backup) {
    SaveResult result;
    const std::string file = followLinks(target);
    if (file.empty()) return result;
    struct stat old;
    const bool exists = stat(file.c_str(), &old) == 0;
    if (exists && (!S_ISREG(old.st_mode) || access(file.c_str(), W_OK) != 0)) return result;
    const int mode = exists ? int(old.st_mode & 07777) : -1;

    const std::string temp = file + "~saving";
    if (!writeFresh(temp, bytes, mode)) return result;
    const bool wantBackup = exists && !backup.empty();
    const std::string staging = backup + "~saving";
    const bool staged = wantBackup && stageBackup(file, staging, mode);
    if (saveSystemCalls().rename(temp.c_str(), file.c_str()) != 0) {
        unlink(temp.c_str());
        if (staged) unlink(staging.c_str());
        return result;
    }
    syncToDisk(folderOf(file));
    if (wantBackup) result.backup = staged ? finishBackup(staging, backup) : BackupResult::Failed;
    result.saved = true;
    return result;
}

std::optional<FileStamp> stampOf(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return std::nullopt;
    FileStamp stamp;
    stamp.device = uint64_t(st.st_dev);
    stamp.inode = uint64_t(st.st_ino);
    stamp.modified = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

bool moveAlong(const std::vector<std::string>& paths) {
    for (size_t i = paths.size(); i-- > 1;) {
        const std::string& from = paths[i - 1];
        struct stat st;
        if (lstat(from.c_str(), &st) != 0) continue;
        // A file that stays would be overwritten by the next move: stop there.
        if (saveSystemCalls().rename(from.c_str(), paths[i].c_str()) != 0) return false;
    }
    return true;
}

void removeLeftovers(const std::string& folder, const std::string& suffix, int seconds) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    const time_t before = time(nullptr) - seconds;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string path = folder + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_mtime < before) unlink(path.c_str());
    }
    closedir(dir);
}
