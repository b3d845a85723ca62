#pragma once
#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

// The weights of every rank among n (fill_rank_table) at each PP value of a
// run, made once by the first worker that needs a table and then read by
// every worker. Tables kept per thread would be made again by each thread:
// at five PP values and sets of up to 300 genes that is a few milliseconds
// of pow per thread.
struct rank_tables {
    std::vector<double> powers;  // pp_power of the run's PP values
    std::size_t largest = 0;     // sizes above it are not kept here
    // Table k * (largest + 1) + n: null until made, and then never changed
    // until the tables are dropped.
    std::unique_ptr<std::atomic<std::vector<double>*>[]> tables;
    std::atomic<std::size_t> held{0};  // doubles in tables
    rank_tables() = default;
    rank_tables(const rank_tables&) = delete;
    rank_tables& operator=(const rank_tables&) = delete;
    ~rank_tables();
};

// Room for the tables of sizes up to `largest` (bounded) at each PP value.
void start_rank_tables(rank_tables& t, const std::vector<double>& pps, std::size_t largest);

// The table of size n at `power`, made here if it is the first asked for;
// null where the run keeps no such table (another power, a larger size, or
// the bound on what the tables hold reached), and then the caller makes it.
const std::vector<double>* shared_rank_table(rank_tables& t, std::size_t n, double power);
