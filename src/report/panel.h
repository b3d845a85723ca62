#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "common/records.h"
#include "stats/ranks.h"  // follows_direction

// Genes drawn in one scatter at most: those of largest weight. The rest
// weigh least and would only make the file larger.
constexpr std::size_t panel_max_genes = 4000;


// What a panel needs beyond the record: where its genes stand in the whole
// ranked list, and how the page names the scores and writes numbers.
struct panel_view {
    std::vector<int> position;     // of each gene of the detail (parallel to it); 0: not known
    std::size_t list_length = 0;   // genes in the ranking
    std::string set_axis = "Set score", list_axis = "List score";
    int digits = 6;
    std::string ranking;           // with --lists: the ranking's name, shown in the heading
};

// The running weighted concordance along the list: genes taken in order of
// position, each adding c - mean(c) with c = weight * centred set rank,
// where the centred set rank runs from +1 (the set's highest score) to -1
// (its lowest); divided by the sum of |c - mean(c)|, so that it ends at 0.
// Genes sharing a position are added together. Returns one value after each distinct position, in order, with
// those positions in `at`.
std::vector<double> running_concordance(const fdata& d, const std::vector<int>& position, std::vector<int>& at);

// One set of the detail selection: its statistics, a scatter of the set's
// scores against the list's scores of its paired genes (dot area in
// proportion to weight, colour by the sign of the set score, filled when the
// gene follows the set's direction), the set's genes along the whole list
// with the running concordance, and its ten genes of largest weight. An
// HTML <section>; number is its place in the table (1-based).
std::string set_panel(const struct fstat& s, std::size_t number, const panel_view& view);
