#include "input/name_numbers.h"

#include <cstring>

// A hash of the name's bytes, eight at a time (the last word may overlap
// the one before), each word mixed in by a multiply; the upper half is used.
// Only the table's layout depends on it, never a number: numbers follow the
// order of first appearance. The standard library's string hash took as long
// as the rest of the lookup.
static std::uint64_t name_hash(std::string_view name) {
    const std::uint64_t mix = 0x9e3779b97f4a7c15ULL;
    std::size_t n = name.size();
    std::uint64_t h = n * mix, w = 0;
    auto mix_in = [&](std::uint64_t word) {
        h = (h ^ word) * mix;
        h ^= h >> 29;
    };
    if (n >= 8) {
        for (std::size_t k = 0; k + 8 < n; k += 8) {
            std::memcpy(&w, name.data() + k, sizeof w);
            mix_in(w);
        }
        std::memcpy(&w, name.data() + n - 8, sizeof w);
    } else if (n >= 4) {
        std::uint32_t first, last;
        std::memcpy(&first, name.data(), sizeof first);
        std::memcpy(&last, name.data() + n - 4, sizeof last);
        w = std::uint64_t{first} << 32 | last;
    } else {
        for (char c : name) w = w << 8 | static_cast<unsigned char>(c);
    }
    mix_in(w);
    return h;
}

static void grow(name_numbers& t) {
    std::vector<std::uint64_t> old(t.slots.empty() ? 1024 : 2 * t.slots.size(), 0);
    old.swap(t.slots);
    std::size_t mask = t.slots.size() - 1;
    for (std::uint64_t slot : old) {
        if (slot == 0) continue;
        std::size_t at = (slot >> 32) & mask;
        while (t.slots[at] != 0) at = (at + 1) & mask;
        t.slots[at] = slot;
    }
}

std::size_t name_count(const name_numbers& t) { return t.from.empty() ? 0 : t.from.size() - 1; }

std::string_view name_of(const name_numbers& t, std::uint32_t k) {
    return std::string_view(t.text).substr(t.from[k], t.from[k + 1] - t.from[k]);
}

// A new name: copied into the text, numbered next; the slot at `at` is empty.
static std::uint32_t add_name(name_numbers& t, std::string_view name, std::size_t at, std::uint64_t hash) {
    if (name_count(t) >= t.limit) return not_numbered;
    t.text.append(name);
    t.from.push_back(t.text.size());
    t.slots[at] = hash << 32 | name_count(t);
    return static_cast<std::uint32_t>(name_count(t) - 1);
}

std::uint32_t number_of(name_numbers& t, std::string_view name) {
    if (t.from.empty()) t.from.push_back(0);
    // Kept at most half full, so that probes stay short.
    if (2 * t.from.size() > t.slots.size() && name_count(t) < t.limit) grow(t);
    std::uint64_t hash = name_hash(name) >> 32;
    std::size_t mask = t.slots.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        std::uint64_t slot = t.slots[at];
        if (slot == 0) return add_name(t, name, at, hash);
        if (slot >> 32 != hash) continue;
        std::size_t k = (slot & 0xffffffffu) - 1, from = t.from[k];
        if (t.from[k + 1] - from == name.size() && same_bytes(t.text.data() + from, name.data(), name.size()))
            return static_cast<std::uint32_t>(k);
    }
}
