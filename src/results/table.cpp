#include "results/table.h"

#include "common/output.h"
#include "common/records.h"
#include "config/config.h"
#include "results/adjust.h"

std::string result_header() {
    return std::string("Gene-set\t") + (size_column ? "Size\t" : "") + "PP\tCor_dir\tTau\tEstimate\tP-value";
}

std::string result_fields(const struct fstat& s) {
    std::string size = size_column ? std::to_string(s.size) + '\t' : "";
    return s.name + '\t' + size + num(s.pp, digits) + '\t' + s.cor_dir + '\t' + num(s.tau, digits) + '\t' +
           num(s.estimate, digits) + '\t' + num(s.p_value, digits);
}

void write_table(std::FILE* f) {
    put_line(f, result_header() + "\tFDR");
    for (const struct fstat& s : result_stats) put_line(f, result_fields(s) + '\t' + num(s.fdr, digits));
}

void close_output(std::FILE* f, const std::string& file_name) {
    bool lost = std::ferror(f) != 0;
    if (std::fclose(f) != 0) lost = true;
    if (lost) die("Sorry, couldn't write " + file_name);
}

void print_result() {
    adjust_p_values();
    write_table(stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) die("Sorry, couldn't write standard output");
}

void save_result(std::string file_name) {
    adjust_p_values();
    std::FILE* f = std::fopen(file_name.c_str(), "w");
    if (!f) die("Sorry, couldn't open " + file_name);
    write_table(f);
    close_output(f, file_name);
}
