// The library's edge: every public function runs its work inside `guarded`,
// which turns what the layers below throw into the returned error.
#include "quorin/quorin.h"

#include <cmath>
#include <cstdio>
#include <iterator>
#include <utility>

#include "common/out_file.h"
#include "common/output.h"
#include "diagnostics/diagnostics.h"
#include "driver/driver.h"
#include "input/gene_list.h"
#include "input/gene_matrix.h"
#include "input/gene_sets.h"
#include "input/long_table.h"
#include "input/read_file.h"
#include "report/page.h"
#include "results/adjust.h"
#include "results/detail.h"
#include "results/genes_table.h"
#include "results/table.h"
#include "stats/ranks.h"

namespace quorin {

template <class Work>
static run_error guarded(Work work) {
    try {
        work();
    } catch (...) {
        return caught_error();
    }
    return run_error();
}

// The same for a reader of a file: where a line is refused, the line for
// standard error names the file too ("list.txt, line 7: ...").
template <class Work>
static run_error guarded_reading(const std::string& path, Work work) {
    run_error e = guarded(work);
    if (!e.detail.empty()) e.detail = shown_name(path) + ", " + e.detail;
    return e;
}

const char* version() { return QUORIN_VERSION; }

run_error parse_command_line(int argc, char** argv, command_line& c) {
    return guarded([&] { c = take_options(argc, argv); });
}

static file_bytes text_bytes(const std::string& text);

run_error read_gene_sets(const std::string& path, const run_options& o, gene_sets& out) {
    return guarded_reading(path, [&] {
        out = gene_sets();
        out.file = path;
        if (!o.long_table) {
            out.table = read_set_file(path, o, out.counts);
            return;
        }
        file_bytes bytes;
        read_file(path, o.thread_n, bytes);
        // The long table becomes the gene-set file's text, line for line.
        std::string text = long_table_text(bytes.text, path);
        release_file(bytes);
        out.table = read_set_bytes(text_bytes(text), o, out.counts);
    });
}

run_error read_gene_list(const std::string& path, const run_options& o, rankings& out) {
    return guarded_reading(path, [&] {
        out = rankings();
        out.file = path;
        out.matrix = matrix_from_list(read_rank_data(path, o, out.counts));
    });
}

run_error read_rankings_matrix(const std::string& path, const run_options& o, rankings& out) {
    return guarded_reading(path, [&] {
        out = rankings();
        out.file = path;
        out.matrix = read_list_matrix(path, o, out.counts);
    });
}

// Records in memory become the text of a file, read by the file's reader,
// so that they are taken by exactly its rules. %.17g gives back the same
// double when read.
static void add_number(std::string& text, double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    text += buf;
}

// A name that the file format could not carry.
static void check_name(const char* what, std::size_t row, const std::string& name, const char* also_bad) {
    const char* why = name.empty()                                         ? "is empty"
                      : name.find_first_of("\t\n\r") != std::string::npos  ? "holds a tab or a line break"
                      : also_bad && name.find(also_bad) != std::string::npos ? also_bad
                                                                              : nullptr;
    if (!why) return;
    std::string reason = why == also_bad ? std::string("holds \"") + also_bad + "\"" : why;
    fail("wrong " + std::string(what) + " in row " + std::to_string(row + 1) + ": '" + name + "' " + reason);
}

static file_bytes text_bytes(const std::string& text) {
    file_bytes bytes;
    bytes.buffer.reserve(text.size() + 1);
    text.copy(bytes.buffer.data, text.size());
    bytes.buffer.size = text.size();
    bytes.text = std::string_view(bytes.buffer.data, bytes.buffer.size);
    return bytes;
}

static void same_lengths(std::size_t a, std::size_t b, const char* what) {
    if (a != b)
        fail(std::string("wrong input: ") + what + " differ in length (" + std::to_string(a) + " and " +
             std::to_string(b) + ")");
}

run_error gene_sets_from_records(const std::vector<std::string>& sets, const std::vector<std::string>& genes,
                                 const std::vector<double>& scores, const run_options& o, gene_sets& out) {
    return guarded([&] {
        same_lengths(sets.size(), genes.size(), "set names and gene names");
        same_lengths(genes.size(), scores.size(), "gene names and scores");
        std::string text;
        for (std::size_t k = 0; k < sets.size(); ++k) {
            check_name("set name", k, sets[k], "; ");
            check_name("gene name", k, genes[k], "; ");
            check_name("gene name", k, genes[k], "|");
            // The gene-set line: the name field "set; .|gene" and the score in the fifth field.
            text += ".\t0\t0\t" + sets[k] + "; .|" + genes[k] + '\t';
            add_number(text, scores[k]);
            text += "\t.\n";
        }
        out = gene_sets();
        out.file = "records";
        out.table = read_set_bytes(text_bytes(text), o, out.counts);
    });
}

// A gene that the list and matrix readers would take for a comment.
static void check_gene(std::size_t row, const std::string& gene) {
    check_name("gene name", row, gene, nullptr);
    if (gene[0] == '#') fail("wrong gene name in row " + std::to_string(row + 1) + ": '" + gene + "' begins with #");
}

run_error gene_list_from_pairs(const std::vector<std::string>& genes, const std::vector<double>& scores,
                               const run_options& o, rankings& out) {
    return guarded([&] {
        same_lengths(genes.size(), scores.size(), "gene names and scores");
        std::string text;
        for (std::size_t k = 0; k < genes.size(); ++k) {
            check_gene(k, genes[k]);
            text += genes[k] + '\t';
            add_number(text, scores[k]);
            text += '\n';
        }
        out = rankings();
        out.file = "pairs";
        out.matrix = matrix_from_list(read_list_bytes(text_bytes(text), o, out.counts));
    });
}

run_error rankings_from_matrix(const std::vector<std::string>& names, const std::vector<std::string>& genes,
                               const std::vector<double>& values, const run_options& o, rankings& out) {
    return guarded([&] {
        same_lengths(values.size(), names.size() * genes.size(), "the values and rankings times genes");
        std::string text = "gene";
        for (std::size_t k = 0; k < names.size(); ++k) {
            check_name("ranking name", k, names[k], nullptr);
            text += '\t' + names[k];
        }
        text += '\n';
        for (std::size_t g = 0; g < genes.size(); ++g) {
            check_gene(g, genes[g]);
            text += genes[g];
            for (std::size_t k = 0; k < names.size(); ++k) {
                double v = values[k * genes.size() + g];
                text += '\t';
                if (std::isnan(v))
                    text += "NA";
                else
                    add_number(text, v);
            }
            text += '\n';
        }
        out = rankings();
        out.file = "matrix";
        out.matrix = read_matrix_bytes(text_bytes(text), out.file, o, out.counts);
    });
}

// Each ranking is adjusted on its own, so its FDR is known once its sets are.
run_error analyse_rankings(const gene_sets& sets, const rankings& list, const run_options& o, test_notes& notes,
                           const ranking_records& done, const std::function<void(const struct fstat&)>& each,
                           const std::atomic<bool>* cancel) {
    return guarded([&] {
        notes = test_notes();
        performe_threading(
            sets.table, list.matrix, o, notes,
            [&](std::vector<struct fstat>& records, std::size_t) {
                adjust_p_values(records, fdr_in_effect(o));
                if (run_error e = done(records)) throw fatal_error(std::move(e));
            },
            each, cancel);
    });
}

run_error analyse(const gene_sets& sets, const rankings& list, const run_options& o, analysis& out,
                  const std::function<void(const struct fstat&)>& each, const std::atomic<bool>* cancel) {
    out = analysis();
    auto keep = [&](std::vector<struct fstat>& records) {
        out.records.insert(out.records.end(), std::make_move_iterator(records.begin()),
                           std::make_move_iterator(records.end()));
        return run_error();
    };
    return analyse_rankings(sets, list, o, out.notes, keep, each, cancel);
}

void start_results(const run_files& files, const run_options& o, const rankings& list, result_files& out) {
    out = result_files();
    out.table_path = files.output;
    out.detail_path = files.outdata;
    out.on_stdout = o.mute;
    out.with_detail = o.dump;
    out.rankings = list.matrix.names.size();
}

static std::FILE* table_stream(result_files& out) { return out.table.f ? out.table.f : stdout; }

static void open_table(result_files& out, const run_options& o) {
    if (out.table_open) return;
    if (!out.on_stdout) out.table = open_output(out.table_path);
    out.table_open = true;
    write_table_header(table_stream(out), o);
}

static void finish_table(result_files& out) {
    if (out.table.f)
        finish_output(out.table);
    else if (std::fflush(stdout) != 0 || std::ferror(stdout))
        die("Sorry, couldn't write standard output");
}

static void open_detail(result_files& out) {
    if (out.detail_open || !out.with_detail) return;
    out.detail = open_output(out.detail_path);
    out.detail_open = true;
}

static void finish_detail(result_files& out) {
    if (out.detail.f) finish_output(out.detail);
}

run_error add_results(result_files& out, const std::vector<struct fstat>& records, const rankings& list,
                      const run_options& o) {
    return guarded([&] {
        bool last = ++out.written == out.rankings;
        open_table(out, o);
        write_table_rows(table_stream(out), records, o, list.matrix.names);
        if (last) finish_table(out);
        open_detail(out);
        if (out.detail.f) write_detail_blocks(out.detail.f, records, o, list.matrix.names);
        if (last) finish_detail(out);
    });
}

run_error close_results(result_files& out, const run_options& o) {
    return guarded([&] {
        if (out.written > 0 && out.written == out.rankings) return;
        open_table(out, o);
        finish_table(out);
        open_detail(out);
        finish_detail(out);
    });
}

void abandon_results(result_files& out) {
    abandon_output(out.table);
    abandon_output(out.detail);
}

std::string record_header(const run_options& o) { return result_header(o); }

std::string record_line(const struct fstat& s, const run_options& o, const rankings& list) {
    return result_fields(s, o, list.matrix.names);
}

std::vector<int> detail_order(const fdata& d) {
    std::vector<int> order;
    bubble_asort_rev(d.weights, order);
    return order;
}

run_error write_table(const std::string& path, const analysis& a, const rankings& list, const run_options& o) {
    return guarded([&] { save_result(path, a.records, o, list.matrix.names); });
}

run_error print_table(const analysis& a, const rankings& list, const run_options& o) {
    return guarded([&] { print_result(a.records, o, list.matrix.names); });
}

run_error write_detail(const std::string& path, const analysis& a, const rankings& list, const run_options& o) {
    return guarded([&] { save_data(path, a.records, o, list.matrix.names); });
}

run_error write_genes(const std::string& path, const analysis& a, const rankings& list, const run_options& o) {
    return guarded([&] { save_genes(path, a.records, o, list.matrix); });
}

run_error write_report(const std::string& path, const analysis& a, const gene_sets& sets, const rankings& list,
                       const run_options& o, const std::vector<std::string>& command,
                       const std::string& output_file, const std::string& detail_file,
                       const std::vector<std::string>& notes) {
    return guarded([&] {
        report_run run;
        run.args = command;
        run.gene_set_file = sets.file;
        run.gene_list_file = list.file;
        run.output_file = output_file;
        run.detail_file = detail_file;
        run.sets_read = set_count(sets.table);
        run.genes_read = list.matrix.genes.size();
        run.set_lines = static_cast<long long>(sets.counts.lines);
        run.list_lines = static_cast<long long>(list.counts.lines);
        run.date = run_date();
        run.options = o;
        run.notes = notes;
        run.rankings = &list.matrix;
        save_report(path, run, a.records);
    });
}

std::vector<std::string> reading_notes(const gene_sets& sets, const rankings& list, const run_options& o) {
    return ::reading_notes(sets.file, list.file, sets.counts, list.counts, sets.table, list.matrix, o);
}

std::vector<std::string> reading_warnings(const gene_sets& sets, const rankings& list, const run_options& o) {
    return ::reading_warnings(sets.file, list.file, sets.counts, list.counts, sets.table, list.matrix, o);
}

run_error strict_error(const std::vector<std::string>& warnings, const run_options& o) {
    if (!o.strict || warnings.empty()) return run_error();
    return guarded([&] { fail_strictly(warnings[0]); });
}

std::vector<std::string> testing_notes(const gene_sets& sets, const test_notes& notes, const run_options& o) {
    return ::testing_notes(notes, set_count(sets.table), o);
}

std::vector<std::string> testing_notes(const gene_sets& sets, const analysis& a, const run_options& o) {
    return testing_notes(sets, a.notes, o);
}

}  // namespace quorin
