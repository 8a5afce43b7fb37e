#pragma once
// The user's settings: a few named values kept between runs in one small text file.
//
//   file:    settings in the user's configuration folder (host/folders:
//            $XDG_CONFIG_HOME/tamo-tracker, else ~/.config/tamo-tracker), UTF-8, one
//            "NAME value" line per value: NAME of capitals, value of printable
//            characters without spaces
//   missing: no values (every setting has its default)
//   damaged: cannot be read, or a line that is not "NAME value", a name twice, a value
//            its reader cannot use: no values, one line on standard error, and the
//            file is replaced at the next change
//   change:  set() writes the whole file again at once, atomically (host/savefile)
//
// What the values mean belongs to the application; this knows only names and text.
#include <string>
#include <utility>
#include <vector>

class Settings {
public:
    // The file of this user (from the environment at the time of the call).
    static std::string userPath();

    explicit Settings(std::string path);
    // Reads the file; see the model above.
    void load();
    // The value named `name`, empty when it has none.
    std::string value(const std::string& name) const;
    // Sets a value and, when it changed, writes the file; false when the write failed.
    bool set(const std::string& name, const std::string& value);
    // The application cannot use a value it read: the file counts as damaged.
    void reject();
    bool damaged() const { return damaged_; }
    const std::string& path() const { return path_; }

private:
    bool parse(const std::string& text);
    std::string path_;
    std::vector<std::pair<std::string, std::string>> values_;   // in file order
    bool damaged_ = false;      // reported once; the file is rewritten at the next set
};
