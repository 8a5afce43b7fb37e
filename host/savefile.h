#pragma once
// Replacing a file so that it is never lost: the new bytes go to a temporary file
// beside the target, are flushed to disk and closed, and only then renamed over the
// target; the folder is flushed after the rename. Any failure leaves the target (and
// an earlier backup) as it was and removes the temporary file.
//
//   target:    a symbolic link is followed: the file it points to is replaced and the
//              link stays; the new file keeps the old one's permission bits; a target
//              the user may not write is refused, as opening it for writing would be
//   temporary: target + "~saving"; one left by an interrupted save is removed first
//   backup:    the old file, staged just before the rename as a hard link, or as a copy
//              where the file system has none, and moved over the older backup once
//              the rename has succeeded; its folders are made when needed. A backup
//              that cannot be kept does not stop the save; one staged but not moved
//              into place stays at backup + "~saving", as the old version's only copy.
//
// Paths here are file system paths (narrowed), not data paths.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The system calls whose failure the file systems of this machine cannot show on
// demand (a file system without hard links, a flush that fails); tests swap them.
struct SaveSystemCalls {
    int (*link)(const char* from, const char* to);
    int (*fsync)(int fd);
    int (*rename)(const char* from, const char* to);
};
SaveSystemCalls& saveSystemCalls();

enum class BackupResult { None, Kept, Failed };   // None: nothing to keep or not asked

struct SaveResult {
    bool saved = false;
    BackupResult backup = BackupResult::None;
};

// Flushes the file or folder at `path` to disk (fsync); false when that fails.
bool syncToDisk(const std::string& path);
// The folder part of `path` ("." when it has none).
std::string folderOf(const std::string& path);

// Writes `bytes` over `target`; with a non-empty `backup` path, an existing target is
// kept there first.
SaveResult replaceFile(const std::string& target, const std::string& bytes,
                       const std::string& backup = std::string());

// What tells one version of a file from another: a replaced file is a new inode, a
// rewritten one has a new modification time.
struct FileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t modified = 0;   // nanoseconds
    bool operator==(const FileStamp& o) const {
        return device == o.device && inode == o.inode && modified == o.modified;
    }
    bool operator!=(const FileStamp& o) const { return !(*this == o); }
};
// The stamp of the file at `path`; none when there is none.
std::optional<FileStamp> stampOf(const std::string& path);

// Removes the regular files in `folder` whose names end in `suffix` and that were last
// changed more than `seconds` ago: what an interrupted program left behind.
void removeLeftovers(const std::string& folder, const std::string& suffix, int seconds);

// Moves each of `paths` one place on, from the last but one back to the first
// (paths[i] to paths[i+1]), so the last one is dropped and the first name is free.
// A name with no file is passed over. False, with nothing overwritten, when a move
// fails.
bool moveAlong(const std::vector<std::string>& paths);
