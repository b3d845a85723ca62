#include "results/table.h"

#include <algorithm>

#include "common/out_file.h"
#include "common/output.h"
#include "common/parallel.h"

// A permutation p-value comes with the set's size and the permutations behind it.
static bool sizes_shown(const run_options& o) { return o.size_column || o.permutations > 0; }

std::string result_header(const run_options& o) {
    return std::string(o.many_lists ? "List\t" : "") + "Gene-set\t" + (sizes_shown(o) ? "Size\t" : "") +
           "PP\tCor_dir\tTau\tEstimate\t" + (o.permutations > 0 ? "Permutations\t" : "") + "P-value";
}

std::string result_fields(const struct fstat& s, const run_options& o, const std::vector<std::string>& rankings) {
    std::string size = sizes_shown(o) ? std::to_string(s.size) + '\t' : "";
    std::string drawn = o.permutations == 0 ? "" : s.exact ? "exact\t" : std::to_string(s.permutations) + '\t';
    std::string list = o.many_lists ? rankings[s.list] + '\t' : "";
    return list + s.name + '\t' + size + num(s.pp, o.digits) + '\t' + s.cor_dir + '\t' + num(s.tau, o.digits) +
           '\t' + num(s.estimate, o.digits) + '\t' + drawn + num(s.p_value, o.digits);
}

std::string result_line(const struct fstat& s, const run_options& o, const std::vector<std::string>& rankings) {
    return result_fields(s, o, rankings) + '\t' + num(s.fdr, o.digits);
}

void write_table_header(std::FILE* f, const run_options& o) { write_line(f, result_header(o) + "\tFDR"); }

void write_table_rows(std::FILE* f, const std::vector<struct fstat>& records, const run_options& o,
                      const std::vector<std::string>& rankings) {
    // Formatting the numbers is most of the cost. A long table is formatted
    // in parts on the run's threads, which at the end of a run have nothing
    // else to do, and the parts are written in order; a block at a time, so
    // that the text held stays small.
    const std::size_t block = 1u << 16;
    for (std::size_t from = 0; from < records.size(); from += block) {
        std::size_t n = std::min(block, records.size() - from);
        std::size_t parts = n < 4096 ? 1 : static_cast<std::size_t>(std::max(1, std::min(o.thread_n, 8)));
        std::vector<std::string> text(parts);
        run_parallel(parts, static_cast<int>(parts), [&](std::size_t p) {
            // Built apart and moved in at the end: the strings of `text` lie
            // side by side, and appending to one in place would write the
            // cache line another thread appends to, at every line.
            std::string part;
            part.reserve(n / parts * 80);  // about a line's length: room that is not used takes no memory
            for (std::size_t k = from + n * p / parts; k < from + n * (p + 1) / parts; ++k) {
                part += result_line(records[k], o, rankings);
                part += '\n';
            }
            text[p] = std::move(part);
        });
        for (const std::string& t : text) std::fwrite(t.data(), 1, t.size(), f);
    }
}

void write_table(std::FILE* f, const std::vector<struct fstat>& records, const run_options& o,
                 const std::vector<std::string>& rankings) {
    write_table_header(f, o);
    write_table_rows(f, records, o, rankings);
}

std::string table_text(const std::vector<struct fstat>& records, const run_options& o,
                       const std::vector<std::string>& rankings) {
    std::string text = result_header(o) + "\tFDR\n";
    text.reserve(records.size() * 72 + text.size());
    for (const struct fstat& s : records) text += result_line(s, o, rankings) + '\n';
    return text;
}

void print_result(const std::vector<struct fstat>& records, const run_options& o,
                  const std::vector<std::string>& rankings) {
    write_table(stdout, records, o, rankings);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) die("Sorry, couldn't write standard output");
}

void save_result(const std::string& file_name, const std::vector<struct fstat>& records, const run_options& o,
                 const std::vector<std::string>& rankings) {
    out_file out = open_output(file_name);
    write_output(out, [&](std::FILE* f) { write_table(f, records, o, rankings); });
}
