#include "results/table.h"

#include "common/out_file.h"
#include "common/output.h"
#include "common/records.h"
#include "config/config.h"
#include "results/adjust.h"

void write_table(std::FILE* f) {
    write_line(f, "Gene-set\tPP\tCor_dir\tTau\tEstimate\tP-value\tFDR");
    for (const struct fstat& s : result_stats)
        write_line(f, s.name + '\t' + num(s.pp) + '\t' + s.cor_dir + '\t' + num(s.tau) + '\t' + num(s.estimate) +
                          '\t' + num(s.p_value) + '\t' + num(s.fdr));
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
