#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "common/records.h"
#include "common/tables.h"
#include "config/run_options.h"

// Called with each record as a worker finishes it, in the order they finish,
// one at a time: the command streams the lines of a run with -o.
using record_sink = std::function<void(const struct fstat&)>;

// Called with the records of one ranking, in byte order of name, once all
// its sets are tested: in ranking order, one ranking at a time, on whichever
// worker finished the ranking. What it throws ends the run as a worker's error.
using ranking_sink = std::function<void(std::vector<struct fstat>& records, std::size_t ranking)>;

// Tests every gene set against every ranking of the matrix (a gene list is a
// matrix of one) on worker threads, handing each ranking's records to `done`.
// Only a few rankings are in flight at once, so that the records held stay
// those of a few rankings, whatever their number. The first error of any
// worker stops the others and is thrown once all have stopped; so is
// "interrupted" once *cancel is set.
void performe_threading(const set_table& sets, const score_matrix& rankings, const run_options& o,
                        test_notes& notes, const ranking_sink& done, const record_sink& each = nullptr,
                        const std::atomic<bool>* cancel = nullptr);

// The number of threads for n tasks: one per batch of ceil(n / threads) tasks.
unsigned thread_count(std::uint64_t n, int threads);

// The most workers a run starts: four per processor the system reports.
unsigned worker_cap();
