#include "exit_guard.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

struct exit_request {
    int status;
};

bool guarded = false;
// Opened or mapped while guarded and not yet closed or unmapped.
std::vector<std::FILE*> open_files;
std::vector<std::pair<void*, std::size_t>> mappings;

}  // namespace

extern "C" {
[[noreturn]] void __real_exit(int status);
[[noreturn]] void __real__Exit(int status);
std::FILE* __real_fopen(const char* name, const char* mode);
int __real_fclose(std::FILE* f);
void* __real_mmap(void* addr, std::size_t length, int prot, int flags, int fd, off_t offset);
int __real_munmap(void* addr, std::size_t length);

// Not noexcept, unlike the C library's declarations: the exception has to pass.
void __wrap_exit(int status) {
    if (guarded) throw exit_request{status};
    __real_exit(status);
}

void __wrap__Exit(int status) {
    if (guarded) throw exit_request{status};
    __real__Exit(status);
}

std::FILE* __wrap_fopen(const char* name, const char* mode) {
    std::FILE* f = __real_fopen(name, mode);
    if (guarded && f) open_files.push_back(f);
    return f;
}

int __wrap_fclose(std::FILE* f) {
    for (auto& open : open_files)
        if (open == f) open = nullptr;
    return __real_fclose(f);
}

void* __wrap_mmap(void* addr, std::size_t length, int prot, int flags, int fd, off_t offset) {
    void* p = __real_mmap(addr, length, prot, flags, fd, offset);
    if (guarded && p != MAP_FAILED) mappings.emplace_back(p, length);
    return p;
}

int __wrap_munmap(void* addr, std::size_t length) {
    for (auto& m : mappings)
        if (m.first == addr) m.first = nullptr;
    return __real_munmap(addr, length);
}
}

int run_guarded(const std::function<void()>& f) {
    int status = -1;
    guarded = true;
    try {
        f();
    } catch (const exit_request& e) {
        status = e.status;
    }
    guarded = false;
    for (std::FILE* open : open_files)
        if (open) __real_fclose(open);
    open_files.clear();
    for (auto& m : mappings)
        if (m.first) __real_munmap(m.first, m.second);
    mappings.clear();
    return status;
}
