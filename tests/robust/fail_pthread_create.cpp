// Test-only shared library, loaded into quorin with LD_PRELOAD: makes thread
// creation fail with EAGAIN, as when the process is out of threads. The first
// FAIL_PTHREAD_CREATE_AFTER calls (default 0) still start their thread.
#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

using create_fn = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
    static std::atomic<long> left{[] {
        const char* text = std::getenv("FAIL_PTHREAD_CREATE_AFTER");
        return text ? std::atol(text) : 0L;
    }()};
    if (left.fetch_sub(1) <= 0) return EAGAIN;
    static create_fn real = reinterpret_cast<create_fn>(dlsym(RTLD_NEXT, "pthread_create"));
    return real(thread, attr, start, arg);
}
