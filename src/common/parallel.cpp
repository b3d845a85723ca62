#include "common/parallel.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

void run_parallel(std::size_t count, int threads, const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0};
    std::mutex hold;
    std::exception_ptr first;
    std::size_t failed = count;  // the k of `first`
    auto loop = [&] {
        std::size_t k = 0;
        try {
            while ((k = next.fetch_add(1)) < count) work(k);
        } catch (...) {
            std::lock_guard<std::mutex> lock(hold);
            if (k < failed) first = std::current_exception(), failed = k;
            next = count;
        }
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads && static_cast<std::size_t>(t) < count; ++t) {
        try {
            helpers.emplace_back(loop);
        } catch (const std::system_error&) {
            break;  // fewer helpers; the calling thread does the rest
        }
    }
    loop();
    for (auto& h : helpers) h.join();
    if (first) std::rethrow_exception(first);
}

