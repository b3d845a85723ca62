#include "stats/ranks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>
#include <utility>

#include "common/output.h"
#include "common/radix_sort.h"

static void identity(std::vector<int>& order, std::size_t n) {
    order.resize(n);
    std::iota(order.begin(), order.end(), 0);
}

// A number per value that orders as the values do under >, largest value
// first: the bits of a double, reordered so that unsigned comparison follows
// the numbers, then inverted. -0 is made +0 first, since the two are equal.
static std::uint64_t descending_key(double v) {
    v = v + 0.0;
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const std::uint64_t sign = std::uint64_t(1) << 63;
    std::uint64_t ascending = bits & sign ? ~bits : bits | sign;
    return ~ascending;
}

// order[from, to) as a stable sort by descending value, for values without
// NaN there; order holds from .. to - 1 on entry.
static void sort_stretch_rev(const std::vector<double>& values, std::vector<int>& order, std::size_t from,
                             std::size_t to) {
    // Below a few hundred values the counting passes cost more than they save.
    if (to - from < 256) {
        std::stable_sort(order.begin() + from, order.begin() + to, [&](int a, int b) { return values[a] > values[b]; });
        return;
    }
    thread_local std::vector<keyed_value> items, spare;
    items.resize(to - from);
    for (std::size_t k = from; k < to; ++k) items[k - from] = {descending_key(values[k]), k};
    radix_sort(items, spare);
    for (std::size_t k = from; k < to; ++k) order[k] = static_cast<int>(items[k - from].value);
}

// The order is that of the exchange sort: n - 1 passes, pass j comparing the
// neighbours at k and k + 1 for k = 0 .. n - j - 2 and swapping them when the
// right one is greater. Any comparison with NaN is false, so a NaN is never
// swapped: it keeps its position and nothing passes it. Each stretch between
// NaNs is therefore sorted on its own, and pass j covers at least the first
// (stretch length - j) positions of it, which is all an exchange sort of the
// stretch alone needs; comparisons past that fall among values already in
// their final place, which never swap. Swapping only on "greater" keeps equal
// values in index order: the exchange sort of a stretch is its stable sort by
// descending value, the order sort_stretch_rev gives (descending_key orders
// as >, with -0 equal to +0).
void bubble_asort_rev(const std::vector<double>& values, std::vector<int>& order) {
    identity(order, values.size());
    std::size_t n = values.size();
    for (std::size_t from = 0; from < n;) {
        std::size_t to = from;
        while (to < n && !std::isnan(values[to])) ++to;
        if (to - from > 1) sort_stretch_rev(values, order, from, to);
        from = to + 1;  // past the NaN, which stays where it is
    }
}

void vec_rank_rev(const std::vector<double>& values, std::vector<int>& ranks) {
    ranks.clear();
    if (values.empty()) return;
    std::vector<int> order;
    bubble_asort_rev(values, order);
    ranks.assign(values.size(), 0);
    ranks[order[0]] = 1;
    for (std::size_t j = 1; j < order.size(); ++j) {
        if (values[order[j]] == values[order[j - 1]])
            ranks[order[j]] = ranks[order[j - 1]];
        else
            ranks[order[j]] = static_cast<int>(j) + 1;
    }
}

// One stable counting pass: the positions of `in`, ordered by key, keys in 1..n.
static void counting_pass(const std::vector<int>& key, const std::vector<int>& in, std::vector<int>& out) {
    std::size_t n = in.size();
    std::vector<int> start(n + 2, 0);
    for (int k : in) ++start[key[k] + 1];
    for (std::size_t v = 1; v < start.size(); ++v) start[v] += start[v - 1];
    out.resize(n);
    for (int k : in) out[start[key[k]]++] = k;
}

static bool keys_within(const std::vector<int>& key, int n) {
    return std::all_of(key.begin(), key.end(), [n](int v) { return v >= 1 && v <= n; });
}

void bubble_lexsort(const std::vector<int>& first, const std::vector<int>& second, std::vector<int>& order) {
    int na = static_cast<int>(first.size());
    int nb = static_cast<int>(second.size());
    if (na < 1 || nb < 1 || na != nb)
        fail("length error4: vec_x:" + std::to_string(na) + " vec_y:" + std::to_string(nb));
    identity(order, first.size());
    // Ranks lie in 1..n: two stable counting passes, by the second key and
    // then by the first, give the order of the stable lexicographic sort.
    if (keys_within(first, na) && keys_within(second, na)) {
        std::vector<int> by_second;
        counting_pass(second, order, by_second);
        counting_pass(first, by_second, order);
        return;
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return first[a] < first[b] || (first[a] == first[b] && second[a] < second[b]);
    });
}

bool follows_direction(int rank_x, int rank_y, std::size_t n, char cor_dir) {
    // Twice the distance from the middle rank (n + 1) / 2, in whole numbers.
    long long dx = 2LL * rank_x - static_cast<long long>(n) - 1;
    long long dy = 2LL * rank_y - static_cast<long long>(n) - 1;
    if (dx == 0 || dy == 0) return false;
    bool same_half = (dx > 0) == (dy > 0);
    return cor_dir == '-' ? !same_half : same_half;
}

// Keys by sorting every value that is not NaN.
static void keys_by_sorting(const double* values, std::size_t n, bool magnitudes, std::uint32_t* keys) {
    std::fill_n(keys, n, nan_key);
    thread_local std::vector<keyed_value> items, spare;
    items.clear();
    for (std::size_t k = 0; k < n; ++k) {
        double v = magnitudes ? std::fabs(values[k]) : values[k];
        if (!std::isnan(v)) items.push_back({descending_key(v), k});
    }
    radix_sort(items, spare);
    std::uint32_t key = 0;
    for (std::size_t j = 0; j < items.size(); ++j) {
        if (j > 0 && items[j].key != items[j - 1].key) ++key;
        keys[items[j].value] = key;
    }
}

// Keys of values among which few are distinct, as keys_by_sorting gives
// them, with only the distinct ones sorted. Each value's descending_key is
// looked up by hash among those met so far, which number them in order of
// first appearance; sorted, the distinct keys give each number its place
// among the distinct values from the largest down, which is the value's
// key: distinct descending_keys are distinct values, equal ones equal
// values, and the order is the same. False once more than `most` are
// distinct: the values are then better sorted all at once.
static bool keys_by_distinct(const double* values, std::size_t n, bool magnitudes, std::size_t most,
                             std::uint32_t* keys) {
    int bits = 1;
    while ((std::size_t{1} << bits) < 2 * most) ++bits;
    std::size_t mask = (std::size_t{1} << bits) - 1;
    thread_local std::vector<std::uint64_t> slot_key;
    thread_local std::vector<std::uint32_t> slot_number;  // number + 1, 0 for an empty slot
    thread_local std::vector<keyed_value> distinct, spare;
    slot_key.assign(mask + 1, 0);
    slot_number.assign(mask + 1, 0);
    distinct.clear();
    for (std::size_t k = 0; k < n; ++k) {
        double v = magnitudes ? std::fabs(values[k]) : values[k];
        if (std::isnan(v)) {
            keys[k] = nan_key;
            continue;
        }
        std::uint64_t key = descending_key(v);
        std::size_t at = static_cast<std::size_t>((key * 0x9e3779b97f4a7c15ULL) >> (64 - bits));
        while (slot_number[at] != 0 && slot_key[at] != key) at = (at + 1) & mask;
        if (slot_number[at] == 0) {
            if (distinct.size() == most) return false;
            distinct.push_back({key, distinct.size()});
            slot_key[at] = key;
            slot_number[at] = static_cast<std::uint32_t>(distinct.size());
        }
        keys[k] = slot_number[at] - 1;
    }
    radix_sort(distinct, spare);
    std::vector<std::uint32_t> place(distinct.size());
    for (std::size_t j = 0; j < distinct.size(); ++j) place[distinct[j].value] = static_cast<std::uint32_t>(j);
    for (std::size_t k = 0; k < n; ++k)
        if (keys[k] != nan_key) keys[k] = place[keys[k]];
    return true;
}

void descending_keys(const double* values, std::size_t n, bool magnitudes, std::uint32_t* keys) {
    // Sorting a few hundred thousand values costs more than looking each up
    // among a few thousand distinct ones, as the scores of a gene-set file
    // written with one or two decimals are.
    const std::size_t most_distinct = 1u << 16;
    if (n >= 4 * most_distinct && keys_by_distinct(values, n, magnitudes, most_distinct, keys)) return;
    keys_by_sorting(values, n, magnitudes, keys);
}

void descending_keys(const double* values, std::size_t n, bool magnitudes, std::vector<std::uint32_t>& keys) {
    keys.resize(n);
    descending_keys(values, n, magnitudes, keys.data());
}

// Why these are vec_rank_rev's ranks. Without a NaN, vec_rank_rev sorts
// stably from the largest value down and gives each value the place of the
// first of its run of equals, plus one: 1 + the number of values greater
// than it. descending_key orders the values as > does and keeps -0 and +0
// together, so the keys number the distinct values from the largest down:
// a greater value has a smaller key, equal values the same key. Sorted by
// key, the values before the run of a key are exactly the greater ones.
// The positions 0 .. n - 1 sorted stably by keys[position], as the lower
// halves of items, with the keys above them.
static void sort_by_keys(const std::vector<std::uint32_t>& keys, const std::uint32_t* positions,
                         std::vector<std::uint64_t>& items, std::vector<std::uint64_t>& spare) {
    std::size_t n = keys.size();
    std::uint32_t largest = 0;
    items.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::uint32_t at = positions ? positions[k] : static_cast<std::uint32_t>(k), key = keys[at];
        largest = key > largest ? key : largest;
        items[k] = std::uint64_t{key} << 32 | at;
    }
    radix_sort_upper(items, spare, largest);
}

// Each position's rank from items sorted by key: the place of the first of
// its run of equal keys, plus one.
static void ranks_of_sorted(const std::vector<std::uint64_t>& items, std::vector<int>& ranks) {
    ranks.resize(items.size());
    int rank = 1;
    std::uint64_t key = items.empty() ? 0 : items[0] >> 32;
    for (std::size_t j = 0; j < items.size(); ++j) {
        if (items[j] >> 32 != key) {
            key = items[j] >> 32;
            rank = static_cast<int>(j) + 1;
        }
        ranks[items[j] & 0xffffffffu] = rank;
    }
}

void ranks_of_keys(const std::vector<std::uint32_t>& keys, std::vector<int>& ranks) {
    thread_local std::vector<std::uint64_t> items, spare;
    sort_by_keys(keys, nullptr, items, spare);
    ranks_of_sorted(items, ranks);
}

// Sorted by y key, stably, the positions are in order of y rank and, among
// equal y ranks, of position (ranks_of_keys above). Sorting that sequence
// stably by x key puts it in order of x rank and keeps that order among
// equal x ranks: ascending (x rank, y rank), equal pairs in order of
// position, which is the stable lexicographic sort bubble_lexsort makes.
void keyed_pair_order(const std::vector<std::uint32_t>& x, const std::vector<std::uint32_t>& y,
                      std::vector<int>& rank_x, std::vector<int>& rank_y, std::vector<int>& order) {
    thread_local std::vector<std::uint64_t> items, spare;
    thread_local std::vector<std::uint32_t> by_y;
    std::size_t n = x.size();
    sort_by_keys(y, nullptr, items, spare);
    ranks_of_sorted(items, rank_y);
    by_y.resize(n);
    for (std::size_t j = 0; j < n; ++j) by_y[j] = static_cast<std::uint32_t>(items[j]);
    sort_by_keys(x, by_y.data(), items, spare);
    ranks_of_sorted(items, rank_x);
    order.resize(n);
    for (std::size_t j = 0; j < n; ++j) order[j] = static_cast<int>(items[j] & 0xffffffffu);
}
