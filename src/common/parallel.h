#pragma once
#include <cstddef>
#include <functional>

// Runs work(k) for k = 0 .. count - 1 on up to `threads` threads, the calling
// thread among them; fewer when a thread cannot be started. The first error
// that work throws stops the others from taking more and is thrown again
// once all have stopped.
void run_parallel(std::size_t count, int threads, const std::function<void(std::size_t)>& work);
