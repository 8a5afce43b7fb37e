// libtamo-heapcount.so: the program's own heap, for the bench. Preloaded into the
// tracker, it takes over operator new and delete and counts the live bytes of the
// blocks allocated from the executable's own code (the caller's address lies in the
// executable), so the window system's, the GL driver's and OpenAL's allocations are
// left out. On SIGUSR1 it writes that count to the file named by TAMO_HEAP_REPORT.
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

uintptr_t exeLow = 0, exeHigh = 0;   // the executable's loaded segments
std::atomic<long> ownBytes{0};

struct alignas(16) Header {
    size_t size;
    bool own;
};

int firstObject(dl_phdr_info* info, size_t, void*) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD) continue;
        uintptr_t low = info->dlpi_addr + ph.p_vaddr, high = low + ph.p_memsz;
        if (exeLow == 0 || low < exeLow) exeLow = low;
        if (high > exeHigh) exeHigh = high;
    }
    return 1;   // the first object is the executable
}

void report(int) {
    const char* path = getenv("TAMO_HEAP_REPORT");
    if (!path) return;
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    char text[32];
    int n = snprintf(text, sizeof text, "%ld\n", ownBytes.load());
    if (write(fd, text, size_t(n)) < 0) {}
    close(fd);
}

__attribute__((constructor)) void start() {
    dl_iterate_phdr(firstObject, nullptr);
    signal(SIGUSR1, report);
}

void* allocate(size_t size, void* caller) {
    Header* h = static_cast<Header*>(malloc(sizeof(Header) + size));
    if (!h) throw std::bad_alloc();
    uintptr_t at = reinterpret_cast<uintptr_t>(caller);
    h->size = size;
    h->own = at >= exeLow && at < exeHigh;
    if (h->own) ownBytes += long(size);
    return h + 1;
}

void release(void* p) {
    if (!p) return;
    Header* h = static_cast<Header*>(p) - 1;
    if (h->own) ownBytes -= long(h->size);
    free(h);
}

}  // namespace

void* operator new(size_t size) { return allocate(size, __builtin_return_address(0)); }
void* operator new[](size_t size) { return allocate(size, __builtin_return_address(0)); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try { return allocate(size, __builtin_return_address(0)); } catch (...) { return nullptr; }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    try { return allocate(size, __builtin_return_address(0)); } catch (...) { return nullptr; }
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, size_t) noexcept { release(p); }
void operator delete[](void* p, size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
