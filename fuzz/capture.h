#pragma once
// Catches what a call writes to standard output, by pointing file descriptor
// 1 at an in-memory file while it runs: the library returns its errors and
// must write nothing itself.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

inline std::string capture_stdout(const std::function<void()>& f) {
    static const int fd = memfd_create("quorin-fuzz-stdout", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) std::abort();
    std::fflush(stdout);
    int saved = dup(1);
    if (saved < 0 || dup2(fd, 1) < 0) std::abort();
    f();
    std::fflush(stdout);
    if (dup2(saved, 1) < 0) std::abort();
    close(saved);
    std::string out;
    char buf[4096];
    for (off_t at = 0;;) {
        ssize_t n = pread(fd, buf, sizeof buf, at);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
        at += n;
    }
    return out;
}
