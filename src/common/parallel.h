#pragma once
#include <cstddef>
#include <functional>

// Runs work(k) for k = 0 .. count - 1 on up to `threads` threads, the calling
// thread among them; fewer when a thread cannot be started. An error that
// work throws stops the others from taking more; once all have stopped, the
// error of the lowest k is thrown again. The k are taken in order, so every
// k below a failing one has run: that is the error one thread would throw.
void run_parallel(std::size_t count, int threads, const std::function<void(std::size_t)>& work);
