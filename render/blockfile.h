#pragma once
// The file under libsndfile's virtual I/O. Its first 64 KiB stay in memory until the
// file is closed, where libsndfile may write and rewrite its header at will; the
// bytes after them, written in order, go in large blocks to a second thread, so the
// kernel's copying of the file data runs beside the mixing of the next tick instead
// of after it (libsndfile's own writes come in small pieces). Anything else (a write
// out of order past the head, a read) first waits for the thread and then works on
// the file in place.
#include <sndfile.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// Writes blocks of bytes to a file on a second thread. Only the writer thread touches
// the file between start() and stop().
class BlockWriter {
public:
    static constexpr size_t kBlock = 256 * 1024;   // bytes handed over at a time
    static constexpr size_t kPending = 8;          // full blocks that may wait

    void start(FILE* file);
    // Main thread: queues `size` bytes; false once a write has failed.
    bool append(const void* data, size_t size);
    // Main thread: writes what is left and waits for the thread; false if any write
    // failed (error() then tells why).
    bool stop();
    int error() const { return failed_ ? error_ : 0; }   // errno of the failed write
    ~BlockWriter() { stop(); }

private:
    bool handOver();
    void run();

    FILE* file_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<uint8_t>> queue_;   // full blocks, oldest first
    std::vector<std::vector<uint8_t>> spare_;  // written blocks, reused
    std::vector<uint8_t> current_;             // the block being filled
    bool closing_ = false;
    bool failed_ = false;
    int error_ = 0;
};

class BlockFile {
public:
    explicit BlockFile(int fd);   // takes over the descriptor
    ~BlockFile();
    bool isOpen() const { return file_ != nullptr; }
    SF_VIRTUAL_IO* io() { return &io_; }   // the callbacks; user data is this object
    bool close();                          // false when anything failed (error())
    int error() const { return error_; }   // errno of the first failure, 0 if none

private:
    static constexpr sf_count_t kHead = 64 * 1024;

    bool settle();   // stops the thread, writes the head: from here on the file is used in place
    sf_count_t write(const void* data, sf_count_t size);
    sf_count_t read(void* data, sf_count_t size);
    sf_count_t seek(sf_count_t offset, int whence);
    bool writeInPlace(const void* data, sf_count_t size);

    FILE* file_ = nullptr;
    BlockWriter blocks_;
    bool streaming_ = true;             // the head is in memory and the thread writes the rest
    std::vector<uint8_t> head_;         // bytes 0..kHead-1 while streaming
    sf_count_t streamed_ = kHead;       // end of the bytes handed to the thread
    sf_count_t position_ = 0;
    sf_count_t length_ = 0;
    int error_ = 0;
    SF_VIRTUAL_IO io_;
};
