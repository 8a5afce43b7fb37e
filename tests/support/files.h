#pragma once
// Whole files as bytes, for tests that check what was written to disk.
#include <fstream>
#include <iterator>
#include <string>

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// The file's bytes; empty when it cannot be read.
inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A small real file system (tmpfs) mounted over a folder for the life of the object,
// for tests of full and read-only disks. Mounting needs the privilege to mount (CI
// runs as root); without it ok() is false and why() says so, and the test skips.
class SmallFileSystem {
public:
    // An empty tmpfs of `kilobytes` at `folder` (made when missing).
    SmallFileSystem(const std::string& folder, int kilobytes);
    ~SmallFileSystem();
    bool ok() const { return mounted_; }
    const std::string& why() const { return why_; }
    // Remounts it read-only; false when that fails.
    bool makeReadOnly();
    // Writes one file that takes every free byte left; its size.
    long fill(const std::string& name);

private:
    std::string folder_;
    std::string why_;
    bool mounted_ = false;
};
