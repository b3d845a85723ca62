#include "input/name_numbers.h"

#include <functional>

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

std::uint32_t number_of(name_numbers& t, std::string_view name) {
    if (t.from.empty()) t.from.push_back(0);
    // Kept at most half full, so that probes stay short.
    if (name_count(t) < t.limit && 2 * (name_count(t) + 1) > t.slots.size()) grow(t);
    std::uint64_t hash = std::hash<std::string_view>()(name) >> 32;
    std::size_t mask = t.slots.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        std::uint64_t slot = t.slots[at];
        if (slot == 0) {
            if (name_count(t) >= t.limit) return not_numbered;
            t.text.append(name);
            t.from.push_back(t.text.size());
            t.slots[at] = hash << 32 | name_count(t);
            return static_cast<std::uint32_t>(name_count(t) - 1);
        }
        auto k = static_cast<std::uint32_t>((slot & 0xffffffffu) - 1);
        if (slot >> 32 == hash && name_of(t, k) == name) return k;
    }
}
