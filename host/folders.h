#pragma once
// Folders of the file system: the user's own data and configuration folders, making
// folders, and what a folder holds.
//
//   user data:  $XDG_DATA_HOME/NAME, or HOME/.local/share/NAME when XDG_DATA_HOME is
//               unset, empty or not an absolute path; HOME from $HOME, else the
//               password database
//   user config: the same with $XDG_CONFIG_HOME and HOME/.config
//   entries:    the names in one folder ("." and ".." left out) with their kind and
//               modification time; links are followed
#include <cstdint>
#include <string>
#include <vector>

// The name of this program's folders in the user's data and configuration folders.
inline constexpr char kProgramFolder[] = "tamo-tracker";

// The user's data folder of the program `name`; empty when no home folder is known.
std::string userDataFolder(const std::string& name);

// The user's configuration folder of the program `name`, likewise.
std::string userConfigFolder(const std::string& name);

// Makes `folder` and its missing parents; true when it is a folder afterwards.
bool makeFolders(const std::string& folder);

// True when `path` names a regular file (also through a link).
bool isFile(const std::string& path);

// The first `count` bytes of the regular file `path` (fewer when it is shorter); empty
// when it cannot be read.
std::string fileStart(const std::string& path, size_t count);

struct FolderEntry {
    std::string name;
    bool folder = false;     // a folder (or a link to one)
    int64_t modified = 0;    // modification time, nanoseconds since 1970
};

// The entries of `folder` in no particular order; empty when it cannot be read.
std::vector<FolderEntry> folderEntries(const std::string& folder);
