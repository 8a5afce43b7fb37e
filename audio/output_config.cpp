// Choosing the tracker's own OpenAL Soft configuration when the user has none.
#include "audio/output_config.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

std::vector<std::string> openalConfigFiles(const char* (*env)(const char*)) {
    std::vector<std::string> files{"/etc/openal/alsoft.conf"};
    const char* dirs = env("XDG_CONFIG_DIRS");
    std::stringstream list(dirs && *dirs ? dirs : "/etc/xdg");
    for (std::string dir; std::getline(list, dir, ':');)
        if (!dir.empty()) files.push_back(dir + "/alsoft.conf");
    const char* home = env("HOME");
    if (home && *home) files.push_back(std::string(home) + "/.alsoftrc");
    const char* configHome = env("XDG_CONFIG_HOME");
    if (configHome && *configHome) files.push_back(std::string(configHome) + "/alsoft.conf");
    else if (home && *home) files.push_back(std::string(home) + "/.config/alsoft.conf");
    return files;
}

bool configSetsPeriod(const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        size_t end = line.find_first_of(" \t=", start);
        std::string key = line.substr(start, end - start);
        if ((key == "period_size" || key == "periods") && line.find('=', start) != std::string::npos)
            return true;
    }
    return false;
}

static const char* readEnv(const char* name) { return std::getenv(name); }

bool chooseOutputConfig(const std::string& ownConfig) {
    const char* user = std::getenv("ALSOFT_CONF");
    if (user && *user) return false;
    for (const std::string& path : openalConfigFiles(readEnv)) {
        std::ifstream file(path);
        if (!file) continue;
        std::stringstream text;
        text << file.rdbuf();
        if (configSetsPeriod(text.str())) return false;
    }
    if (!std::ifstream(ownConfig)) return false;
    return setenv("ALSOFT_CONF", ownConfig.c_str(), 1) == 0;
}
