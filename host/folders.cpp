// The user's data and configuration folders, making folders, folder listings.
#include "host/folders.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    const passwd* user = getpwuid(getuid());
    return user && user->pw_dir ? user->pw_dir : "";
}

bool isFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// $variable/name when the variable holds an absolute path, else HOME/fallback/name.
std::string userFolder(const char* variable, const char* fallback, const std::string& name) {
    const char* base = std::getenv(variable);
    if (base && base[0] == '/') return std::string(base) + "/" + name;
    const std::string home = homeFolder();
    return home.empty() ? "" : home + "/" + fallback + "/" + name;
}

}  // namespace

std::string userDataFolder(const std::string& name) {
    return userFolder("XDG_DATA_HOME", ".local/share", name);
}

std::string userConfigFolder(const std::string& name) {
    return userFolder("XDG_CONFIG_HOME", ".config", name);
}

bool makeFolders(const std::string& folder) {
    if (folder.empty() || isFolder(folder)) return !folder.empty();
    const size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(folder.substr(0, slash)))
        return false;
    return (mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST) && isFolder(folder);
}

bool isFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string fileStart(const std::string& path, size_t count) {
    if (!isFile(path)) return "";
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return "";
    std::string bytes(count, '\0');
    bytes.resize(std::fread(&bytes[0], 1, count, f));
    std::fclose(f);
    return bytes;
}

std::vector<FolderEntry> folderEntries(const std::string& folder) {
    std::vector<FolderEntry> entries;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return entries;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat info;
        if (stat((folder + "/" + name).c_str(), &info) != 0) continue;
        entries.push_back({name, S_ISDIR(info.st_mode),
                           int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec});
    }
    closedir(dir);
    return entries;
}
