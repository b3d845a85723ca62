#pragma once
#include <string>
#include <vector>

#include "common/records.h"

// What the overview shows of one tested set.
struct overview_point {
    bool drawn;     // a finite estimate and a p-value in 0 .. 1
    bool at_top;    // p = 0: no finite -log10 p, drawn on the top edge
    double x, y;    // estimate, -log10 p
};
overview_point place_set(const struct fstat& s);

// All tested sets, in table order: estimate against -log10 p-value, sets
// with FDR below 0.05 filled and coloured by direction, the first ten of the
// table labelled, every point named on hover. An SVG element.
// moments: Estimate holds the moments' z (--null=moments), and the axis says so.
std::string overview_plot(const std::vector<struct fstat>& sets, bool moments = false);
