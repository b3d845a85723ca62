// Test-only shared library, loaded into quorin with LD_PRELOAD: makes thread
// creation fail with EAGAIN, as when the process is out of threads. The first
// FAIL_PTHREAD_CREATE_AFTER calls (default 0) still start their thread. When
// COUNT_PTHREAD_CREATE names a file, it holds the number of threads started
// so far (rewritten at each start: quorin ends without running destructors).
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

using create_fn = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

static void note_started() {
    static std::atomic<long> started{0};
    const char* file = std::getenv("COUNT_PTHREAD_CREATE");
    if (!file) return;
    long now = started.fetch_add(1) + 1;  // quorin starts its threads from one thread
    char text[32];
    int length = std::snprintf(text, sizeof text, "%ld\n", now);
    int fd = open(file, O_WRONLY | O_CREAT, 0644);
    if (fd < 0) return;
    if (pwrite(fd, text, static_cast<std::size_t>(length), 0) != length) std::abort();
    close(fd);
}

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
    static std::atomic<long> left{[] {
        const char* text = std::getenv("FAIL_PTHREAD_CREATE_AFTER");
        return text ? std::atol(text) : 0L;
    }()};
    if (left.fetch_sub(1) <= 0) return EAGAIN;
    static create_fn real = reinterpret_cast<create_fn>(dlsym(RTLD_NEXT, "pthread_create"));
    int result = real(thread, attr, start, arg);
    if (result == 0) note_started();
    return result;
}
