#include "stats/rank_tables.h"

#include <algorithm>

#include "stats/weights.h"

// A table of size n holds n + 1 doubles: the sizes kept and what all the
// tables hold are bounded, as each thread's own tables are.
static const std::size_t largest_kept = 4096;
static const std::size_t doubles_kept = std::size_t{1} << 22;

void start_rank_tables(rank_tables& t, const std::vector<double>& pps, std::size_t largest) {
    t.powers.clear();
    for (double pp : pps) t.powers.push_back(pp_power(pp));
    t.largest = std::min(largest, largest_kept);
    std::size_t slots = t.powers.size() * (t.largest + 1);
    t.tables.reset(new std::atomic<std::vector<double>*>[slots]);
    for (std::size_t k = 0; k < slots; ++k) t.tables[k].store(nullptr, std::memory_order_relaxed);
    t.held = 0;
}

rank_tables::~rank_tables() {
    if (!tables) return;
    for (std::size_t k = 0; k < powers.size() * (largest + 1); ++k) delete tables[k].load();
}

const std::vector<double>* shared_rank_table(rank_tables& t, std::size_t n, double power) {
    if (n > t.largest) return nullptr;
    auto k = static_cast<std::size_t>(std::find(t.powers.begin(), t.powers.end(), power) - t.powers.begin());
    if (k == t.powers.size()) return nullptr;
    std::atomic<std::vector<double>*>& slot = t.tables[k * (t.largest + 1) + n];
    if (std::vector<double>* made = slot.load(std::memory_order_acquire)) return made;
    if (t.held.load(std::memory_order_relaxed) + n + 1 > doubles_kept) return nullptr;
    // Two workers that need the same table at once both make it, the same
    // weights; the first to put it in keeps it, the other drops its own.
    auto table = std::make_unique<std::vector<double>>();
    fill_rank_table(n, power, *table);
    std::vector<double>* none = nullptr;
    if (!slot.compare_exchange_strong(none, table.get(), std::memory_order_acq_rel)) return none;
    t.held.fetch_add(n + 1, std::memory_order_relaxed);
    return table.release();
}
