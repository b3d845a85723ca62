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
    auto loop = [&] {
        try {
            for (std::size_t k; (k = next.fetch_add(1)) < count;) work(k);
        } catch (...) {
            std::lock_guard<std::mutex> lock(hold);
            if (!first) first = std::current_exception();
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

