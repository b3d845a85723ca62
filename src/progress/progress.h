#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

#include "config/run_options.h"

// A progress bar on standard error for long runs: tasks done of total, the
// rate and the time left, redrawn at most ten times a second and erased at
// the end. Shown with --progress or --lists, and only when standard error is
// a terminal, so that no file or pipe ever receives it.

// The bar of one run.
struct progress_state {
    bool shown = false;  // set before the workers start, read-only while they run
    std::size_t total = 0;
    std::chrono::steady_clock::time_point started;
    std::atomic<std::size_t> done{0};
    std::atomic<long long> next_draw_ns{0};
};

// Starts counting towards total tasks; draws nothing unless the bar is wanted.
void progress_start(progress_state& p, std::size_t total, const run_options& o);

// One finished task. Cheap and safe on any thread: a counter, and a drawing
// only by the thread that finds the last one 100 ms old.
void progress_step(progress_state& p);

// Erases the bar, if one was drawn. Called after the workers have stopped.
void progress_finish(progress_state& p);

// The bar's line for done of total tasks after seconds, at most width
// columns wide (without the carriage return and clearing that precede it).
std::string progress_line(std::size_t done, std::size_t total, double seconds, int width);
