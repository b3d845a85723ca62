#include "results/detail.h"

#include <cstdio>
#include <string>
#include <vector>

#include "common/output.h"
#include "common/records.h"
#include "config/config.h"
#include "results/table.h"
#include "stats/ranks.h"

static void write_block(std::FILE* f, const struct fstat& s) {
    const fdata& d = s.data;
    std::vector<int> rows;
    bubble_asort_rev(d.weights, rows);
    put_line(f, "# Gene-set: " + s.name + " (" + s.cor_dir + ")");
    put_line(f, "Gene\tVec_x\tVec_y\tRank_x\tRank_y\tWeights");
    for (int k : rows)
        put_line(f, d.genes[k] + '\t' + num(d.vec_x[k], digits) + '\t' + num(d.vec_y[k], digits) + '\t' + std::to_string(d.rank_x[k]) +
                        '\t' + std::to_string(d.rank_y[k]) + '\t' + num(d.weights[k], digits));
    put_line(f, "//");
    put_line(f, "");
}

void save_data(std::string file_name) {
    std::FILE* f = std::fopen(file_name.c_str(), "w");
    if (!f) die("Sorry, couldn't open " + file_name);
    for (const struct fstat& s : result_stats)
        if (s.fdr < 0.05) write_block(f, s);
    close_output(f, file_name);
}
