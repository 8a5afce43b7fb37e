#pragma once
// Data buffers and file streams.
//
//   data buffer:  a block of bytes owned by the buffer (data, length); empty until
//                 allocate, loadFromPath or create fills it, and it refuses to be
//                 filled again until discard
//   file stream:  a binary file opened through the host (paths are data paths);
//                 modes "r" read, "w" write (create or truncate), "u" update (read and
//                 write, created if missing), "a" append (update, positioned at the end)
//   c_ layer:     the application side: string encoding into buffers, whole-buffer
//                 writes that throw c_StreamWriteError when a write makes no progress
//
// Positions and lengths are bytes (int32). Bytes are copied as they are; there is no
// byte-order handling. Writes go to the file at once (no stdio buffering), so a
// failing device is seen by the write itself. Main thread only.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "host/object.h"

class VXDataBuffer : public Object {
public:
    VXDataBuffer() = default;
    VXDataBuffer(const VXDataBuffer&) = delete;
    VXDataBuffer& operator=(const VXDataBuffer&) = delete;
    ~VXDataBuffer() override;

    // Takes `memory` (from malloc; the buffer frees it) or allocates `size` bytes.
    // False when the buffer already holds data or the size is negative.
    bool allocate(int size, uint8_t* memory = nullptr);
    // Fills the buffer with the whole file at `path` (the host's loadData).
    // False when the buffer already holds data or the file cannot be read.
    bool loadFromPath(const String& path);
    void discard();

    uint8_t* data = nullptr;   // owned; none when empty
    int length = 0;            // bytes
};

class c_DataBuffer : public VXDataBuffer {
public:
    // Allocates `size` bytes; a buffer that already holds data raises the runtime
    // error "Allocate DataBuffer failed".
    c_DataBuffer* create(int size);
    // Copies min(count, length - address, values.size() - offset) values, each
    // narrowed to its low byte, to data[address ...].
    void pokeBytes(int address, const std::vector<int>& values, int offset, int count);
    // Encodes `text` ("utf8": low 16 bits of each character in one to three bytes;
    // "ascii": the low byte) at `address`, as many bytes as fit; returns the full
    // encoded length. Another encoding raises "Invalid string encoding:" + encoding.
    int pokeString(int address, const String& text, const String& encoding);
};

class VXStream : public Object {
public:
    virtual int eof() = 0;
    virtual void close() = 0;
    virtual int length() = 0;
    virtual int position() = 0;
    virtual int seek(int offset) = 0;
    virtual int read(VXDataBuffer* buffer, int offset, int count) = 0;
    virtual int write(VXDataBuffer* buffer, int offset, int count) = 0;
};

class VXFileStream : public VXStream {
public:
    VXFileStream() = default;
    VXFileStream(const VXFileStream&) = delete;
    VXFileStream& operator=(const VXFileStream&) = delete;
    ~VXFileStream() override;

    // Opens `path` with mode "r", "w" or "u" (see above); false when already open,
    // for any other mode, or when the file cannot be opened.
    bool open(const String& path, const String& mode);

    int eof() override;                        // -1 closed, 1 at the end, else 0
    void close() override;
    int length() override { return length_; }
    int position() override { return position_; }
    int seek(int offset) override;             // the resulting position; 0 when closed
    // Read and write move at most `count` bytes between the file and buffer data at
    // `offset` (clipped to the buffer); both return the bytes moved, 0 when closed.
    int read(VXDataBuffer* buffer, int offset, int count) override;
    int write(VXDataBuffer* buffer, int offset, int count) override;

    bool isOpen() const { return file_ != nullptr; }
    // True when the last close could not complete the file (an error on closing).
    bool closeFailed() const { return closeFailed_; }

private:
    FILE* file_ = nullptr;    // none when closed
    int position_ = 0;        // bytes from the start
    int length_ = 0;          // file size, bytes
    bool closeFailed_ = false;
};

// A stream over `path`: mode "a" opens for update and moves to the end, the others
// open as VXFileStream::open does. None when opening fails.
std::unique_ptr<VXFileStream> openFileStream(const String& path, const String& mode);

class c_Stream : public Object {
public:
    virtual int write(c_DataBuffer* buffer, int offset, int count) = 0;
    virtual void close() = 0;

    // Writes all `count` bytes; a write that makes no progress while bytes remain
    // throws c_StreamWriteError naming this stream.
    void writeAll(c_DataBuffer* buffer, int offset, int count);
    // Writes `text` as UTF-8 (low 16 bits per character), no terminator, no mark.
    void writeString(const String& text);
};

class c_FileStream : public c_Stream {
public:
    explicit c_FileStream(std::unique_ptr<VXFileStream> stream);

    // A stream over `path` (openFileStream), none when it cannot be opened.
    static std::unique_ptr<c_FileStream> open(const String& path, const String& mode);
    // As open, but a failure raises the runtime error "Failed to open stream".
    static std::unique_ptr<c_FileStream> create(const String& path, const String& mode);

    int write(c_DataBuffer* buffer, int offset, int count) override;   // 0 after close
    void close() override;                    // a second close does nothing
    // Closes and tells whether everything written reached the file.
    bool closeChecked();

    std::unique_ptr<VXFileStream> stream;     // none after close
};

class c_StreamError : public ThrowableObject {
public:
    explicit c_StreamError(c_Stream* failed) : stream(failed) {}
    c_Stream* stream;                          // the stream that failed; not owned
};

class c_StreamWriteError : public c_StreamError {
public:
    using c_StreamError::c_StreamError;
};
