#include "results/table.h"

#include "common/out_file.h"
#include "common/output.h"
#include "common/records.h"
#include "config/config.h"
#include "results/adjust.h"

// A permutation p-value comes with the set's size and the permutations behind it.
static bool sizes_shown() { return size_column || permutations > 0; }

std::string result_header() {
    return std::string(many_lists ? "List\t" : "") + "Gene-set\t" + (sizes_shown() ? "Size\t" : "") + "PP\tCor_dir\tTau\tEstimate\t" +
           (permutations > 0 ? "Permutations\t" : "") + "P-value";
}

std::string result_fields(const struct fstat& s) {
    std::string size = sizes_shown() ? std::to_string(s.size) + '\t' : "";
    std::string drawn = permutations == 0 ? "" : s.exact ? "exact\t" : std::to_string(s.permutations) + '\t';
    std::string list = many_lists ? list_matrix.names[s.list] + '\t' : "";
    return list + s.name + '\t' + size + num(s.pp, digits) + '\t' + s.cor_dir + '\t' + num(s.tau, digits) + '\t' +
           num(s.estimate, digits) + '\t' + drawn + num(s.p_value, digits);
}

void write_table(std::FILE* f) {
    write_line(f, result_header() + "\tFDR");
    for (const struct fstat& s : result_stats) write_line(f, result_fields(s) + '\t' + num(s.fdr, digits));
}

void print_result() {
    adjust_p_values();
    write_table(stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) die("Sorry, couldn't write standard output");
}

void save_result(std::string file_name) {
    adjust_p_values();
    out_file out = open_output(file_name);
    write_table(out.f);
    finish_output(out);
}
