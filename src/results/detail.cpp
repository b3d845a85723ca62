#include "results/detail.h"

#include <cstdio>
#include <string>
#include <vector>

#include "common/out_file.h"
#include "common/output.h"
#include "common/records.h"
#include "stats/ranks.h"

static void write_block(std::FILE* f, const struct fstat& s, int digits, bool many_lists,
                        const std::vector<std::string>& rankings) {
    const fdata& d = s.data;
    std::vector<int> rows;
    bubble_asort_rev(d.weights, rows);
    std::string list = many_lists ? "# List: " + rankings[s.list] + "\t" : "# ";
    write_line(f, list + "Gene-set: " + s.name + " (" + s.cor_dir + ")");
    write_line(f, "Gene\tVec_x\tVec_y\tRank_x\tRank_y\tWeights");
    for (int k : rows)
        write_line(f, d.genes[k] + '\t' + num(d.vec_x[k], digits) + '\t' + num(d.vec_y[k], digits) + '\t' + std::to_string(d.rank_x[k]) +
                        '\t' + std::to_string(d.rank_y[k]) + '\t' + num(d.weights[k], digits));
    write_line(f, "//");
    write_line(f, "");
}

void write_detail_blocks(std::FILE* f, const std::vector<struct fstat>& records, const run_options& o,
                         const std::vector<std::string>& rankings) {
    for (const struct fstat& s : records)
        if (s.fdr < 0.05) write_block(f, s, o.digits, o.many_lists, rankings);
}

void save_data(const std::string& file_name, const std::vector<struct fstat>& records, const run_options& o,
               const std::vector<std::string>& rankings) {
    out_file out = open_output(file_name);
    write_output(out, [&](std::FILE* f) { write_detail_blocks(f, records, o, rankings); });
}
