// The file under libsndfile's virtual I/O: the block writer thread and the callbacks.
#include "render/blockfile.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

// ---- the block writer ----

void BlockWriter::start(FILE* file) {
    file_ = file;
    current_.reserve(kBlock);
    thread_ = std::thread([this] { run(); });
}

bool BlockWriter::append(const void* data, size_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        size_t n = std::min(size, kBlock - current_.size());
        current_.insert(current_.end(), bytes, bytes + n);
        bytes += n;
        size -= n;
        if (current_.size() == kBlock && !handOver()) return false;
    }
    return true;
}

bool BlockWriter::stop() {
    if (!thread_.joinable()) return !failed_;
    if (!current_.empty()) handOver();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    thread_.join();
    return !failed_;
}

bool BlockWriter::handOver() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kPending || failed_; });
    if (failed_) return false;
    queue_.push_back(std::move(current_));
    if (!spare_.empty()) {
        current_ = std::move(spare_.back());
        spare_.pop_back();
    } else {
        current_ = std::vector<uint8_t>();
        current_.reserve(kBlock);
    }
    current_.clear();
    changed_.notify_all();
    return true;
}

void BlockWriter::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
        if (queue_.empty()) return;
        std::vector<uint8_t> block = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        bool ok = std::fwrite(block.data(), 1, block.size(), file_) == block.size();
        int error = errno;
        lock.lock();
        if (!ok && !failed_) {
            failed_ = true;
            error_ = error;
        }
        spare_.push_back(std::move(block));
        changed_.notify_all();
    }
}

// ---- the virtual file ----

namespace {
BlockFile& self(void* user) { return *static_cast<BlockFile*>(user); }
}  // namespace

BlockFile::BlockFile(int fd) : file_(fdopen(fd, "w+b")) {
    if (!file_) {
        error_ = errno;
        ::close(fd);
    } else if (std::fseek(file_, long(kHead), SEEK_SET) == 0) {
        blocks_.start(file_);
    } else {
        error_ = errno;
    }
    io_.get_filelen = [](void* user) -> sf_count_t { return self(user).length_; };
    io_.seek = [](sf_count_t offset, int whence, void* user) { return self(user).seek(offset, whence); };
    io_.read = [](void* data, sf_count_t size, void* user) { return self(user).read(data, size); };
    io_.write = [](const void* data, sf_count_t size, void* user) { return self(user).write(data, size); };
    io_.tell = [](void* user) -> sf_count_t { return self(user).position_; };
}

BlockFile::~BlockFile() { close(); }

bool BlockFile::settle() {
    if (!streaming_) return error_ == 0;
    streaming_ = false;
    if (!blocks_.stop() && error_ == 0) error_ = blocks_.error();
    if (error_ == 0 && (std::fseek(file_, 0, SEEK_SET) != 0 ||
                        std::fwrite(head_.data(), 1, head_.size(), file_) != head_.size()))
        error_ = errno;
    return error_ == 0;
}

bool BlockFile::writeInPlace(const void* data, sf_count_t size) {
    if (!settle()) return false;
    if (std::fseek(file_, long(position_), SEEK_SET) == 0 &&
        std::fwrite(data, 1, size_t(size), file_) == size_t(size))
        return true;
    error_ = errno;
    return false;
}

sf_count_t BlockFile::write(const void* data, sf_count_t size) {
    if (!file_ || size < 0 || error_ != 0) return 0;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    sf_count_t done = 0;
    if (streaming_ && position_ < kHead) {   // the part within the head
        done = std::min(size, kHead - position_);
        if (head_.size() < size_t(position_ + done)) head_.resize(size_t(position_ + done));
        std::copy(bytes, bytes + done, head_.begin() + position_);
        position_ += done;
    }
    if (done < size) {
        const sf_count_t rest = size - done;
        bool inOrder = streaming_ && position_ == streamed_ && head_.size() == size_t(kHead);
        if (inOrder ? !blocks_.append(bytes + done, size_t(rest)) : !writeInPlace(bytes + done, rest)) {
            if (error_ == 0) error_ = blocks_.error();
            return 0;
        }
        if (inOrder) streamed_ += rest;
        position_ += rest;
    }
    length_ = std::max(length_, position_);
    return size;
}

sf_count_t BlockFile::read(void* data, sf_count_t size) {
    if (!file_ || size < 0 || !settle() || std::fflush(file_) != 0 ||
        std::fseek(file_, long(position_), SEEK_SET) != 0)
        return 0;
    size_t n = std::fread(data, 1, size_t(size), file_);
    position_ += sf_count_t(n);
    return sf_count_t(n);
}

sf_count_t BlockFile::seek(sf_count_t offset, int whence) {
    sf_count_t base = whence == SEEK_CUR ? position_ : whence == SEEK_END ? length_ : 0;
    if (base + offset < 0) return -1;
    position_ = base + offset;
    return position_;
}

bool BlockFile::close() {
    if (!file_) return error_ == 0;
    settle();
    // A file shorter than its head keeps only what was written.
    if (error_ == 0 && length_ < kHead &&
        (std::fflush(file_) != 0 || ftruncate(fileno(file_), length_) != 0))
        error_ = errno;
    if (std::fclose(file_) != 0 && error_ == 0) error_ = errno;
    file_ = nullptr;
    return error_ == 0;
}
