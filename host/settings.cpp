// The settings file: reading and checking its lines, writing it again on a change.
#include "host/settings.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "host/folders.h"
#include "host/savefile.h"

namespace {
constexpr size_t kLargestFile = 4096;   // bytes; a bigger file is not ours

bool validName(const std::string& name) {
    if (name.empty()) return false;
    for (char c : name)
        if (c < 'A' || c > 'Z') return false;
    return true;
}

bool validValue(const std::string& value) {
    if (value.empty()) return false;
    for (unsigned char c : value)
        if (c <= ' ' || c == 127) return false;
    return true;
}

}  // namespace

std::string Settings::userPath() {
    return userConfigFolder(kProgramFolder) + "/settings";
}

Settings::Settings(std::string path) : path_(std::move(path)) {}

void Settings::load() {
    values_.clear();
    damaged_ = false;
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        struct stat info;
        if (stat(path_.c_str(), &info) == 0 || errno != ENOENT) reject();
        return;
    }
    std::string text(kLargestFile + 1, '\0');
    in.read(&text[0], std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    if (in.bad() || text.size() > kLargestFile || !parse(text)) reject();
}

bool Settings::parse(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        size_t space = line.find(' ');
        if (space == std::string::npos) return false;
        std::string name = line.substr(0, space), value = line.substr(space + 1);
        if (!validName(name) || !validValue(value) || !this->value(name).empty()) return false;
        values_.emplace_back(name, value);
    }
    return true;
}

std::string Settings::value(const std::string& name) const {
    for (const auto& v : values_)
        if (v.first == name) return v.second;
    return std::string();
}

void Settings::reject() {
    values_.clear();
    if (damaged_) return;
    damaged_ = true;
    fprintf(stderr, "%s: damaged, the settings are back to their defaults\n", path_.c_str());
    fflush(stderr);
}

bool Settings::set(const std::string& name, const std::string& value) {
    if (!validName(name) || !validValue(value)) return false;
    if (!damaged_ && this->value(name) == value) return true;
    bool found = false;
    for (auto& v : values_) {
        if (v.first != name) continue;
        v.second = value;
        found = true;
    }
    if (!found) values_.emplace_back(name, value);
    std::string text;
    for (const auto& v : values_) text += v.first + " " + v.second + "\n";
    makeFolders(path_.substr(0, path_.find_last_of('/')));
    if (!replaceFile(path_, text).saved) return false;
    damaged_ = false;
    return true;
}
