#pragma once
#include <algorithm>
#include <cstddef>
#include <numeric>
#include <vector>

#include "common/records.h"

// Records are large (a name and the per-gene detail), so a sort that moves
// them at every step costs more than the comparisons. These sort their
// positions instead and move each record once.

// The positions 0 .. count - 1 in the order std::sort gives to records
// compared by less(a, b), a and b positions. std::sort decides each move by
// comparing two of its elements, or one with an element it holds aside, and
// by nothing else. On the positions, with a comparison that gives the answer
// the records at those positions give, it meets the same comparisons with
// the same answers, and so moves the positions as it would move the records:
// the order is the same, ties included. Keys copied out of the records into
// an array answer faster than the records themselves, which lie apart.
template <class Less> std::vector<std::size_t> sorted_positions(std::size_t count, Less less) {
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), less);
    return order;
}

// Moves the records so that the k-th is the one that was at order[k], each
// record once, cycle by cycle; order is used up.
void apply_order(std::vector<struct fstat>::iterator first, std::vector<std::size_t>& order);
