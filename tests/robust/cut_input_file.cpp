// Test-only shared library, loaded into quorin with LD_PRELOAD: plays another
// process that changes an input file while quorin reads it.
//   CUT_INPUT_FILE=PATH       right after quorin has taken the size of PATH
//                             (fstat), the file is cut to half its size
//   READ_ERROR_FILE=PATH      every read (read or pread) of PATH fails with EIO, as on a
//                             failing disk or network file system
//   CUT_INPUT_DONE=PATH       written when either has happened, so that a
//                             test knows that the fault was really made
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

// Whether the descriptor refers to the file named by the environment variable.
static bool names(int fd, const char* variable) {
    const char* want = std::getenv(variable);
    if (!want) return false;
    char path[4096], link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0) return false;
    path[n] = 0;
    char* real = realpath(want, nullptr);
    bool same = real && std::strcmp(real, path) == 0;
    std::free(real);
    return same;
}

static void mark_done() {
    if (const char* done = std::getenv("CUT_INPUT_DONE")) {
        int fd = open(done, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) close(fd);
    }
}

extern "C" int fstat(int fd, struct stat* info) {
    using fstat_fn = int (*)(int, struct stat*);
    static fstat_fn real = reinterpret_cast<fstat_fn>(dlsym(RTLD_NEXT, "fstat"));
    int result = real(fd, info);
    if (result == 0 && names(fd, "CUT_INPUT_FILE")) {
        if (truncate(std::getenv("CUT_INPUT_FILE"), info->st_size / 2) == 0) mark_done();
    }
    return result;
}

extern "C" ssize_t read(int fd, void* buf, size_t count) {
    using read_fn = ssize_t (*)(int, void*, size_t);
    static read_fn real = reinterpret_cast<read_fn>(dlsym(RTLD_NEXT, "read"));
    if (names(fd, "READ_ERROR_FILE")) {
        mark_done();
        errno = EIO;
        return -1;
    }
    return real(fd, buf, count);
}

extern "C" ssize_t pread(int fd, void* buf, size_t count, off_t at) {
    using pread_fn = ssize_t (*)(int, void*, size_t, off_t);
    static pread_fn real = reinterpret_cast<pread_fn>(dlsym(RTLD_NEXT, "pread"));
    if (names(fd, "READ_ERROR_FILE")) {
        mark_done();
        errno = EIO;
        return -1;
    }
    return real(fd, buf, count, at);
}

extern "C" ssize_t pread64(int fd, void* buf, size_t count, off_t at) { return pread(fd, buf, count, at); }
