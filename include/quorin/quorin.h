#pragma once
// quorin as a library: gene-set tests by a weighted Kendall rank correlation.
//
// Read the gene sets and the rankings (from files, or from records in
// memory), analyse them with a run_options value, and write the table, the
// per-gene detail and the report. Nothing here ends the process or keeps
// state between calls: every function returns a run_error, empty on success,
// carrying the exact line the command prints for the same fault. Calls on
// different values may run at once on different threads.
//
//     run_options o;                       // the command's defaults
//     quorin::gene_sets sets;
//     quorin::rankings list;
//     if (run_error e = quorin::read_gene_sets("sets.bed", o, sets)) ...
//     if (run_error e = quorin::read_gene_list("list.txt", o, list)) ...
//     quorin::analysis a;
//     if (run_error e = quorin::analyse(sets, list, o, a)) ...
//     // a.records: one row of the table each, in table order, FDR set

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/error.h"       // run_error
#include "common/out_file.h"    // remove_temporaries, remove_temporaries_on_signals: for a command's signals
#include "common/output.h"      // put_line, close_error_line
#include "common/records.h"     // fstat (a row of the table), fdata (its per-gene detail), test_notes
#include "common/tables.h"      // set_table, score_matrix, read_counts
#include "config/options.h"     // command_line, run_files, usage_line
#include "config/run_options.h" // run_options, weighting, fdr_method

namespace quorin {

const char* version();

// Every gene set, as the gene-set reader leaves it: records below -g
// dropped, the later record of a gene kept, scores treated by -r.
struct gene_sets {
    set_table table;
    read_counts counts;
    std::string file;  // as messages and the report name it
};

// One gene list (a ranking of one unnamed column) or the rankings of a
// matrix (--lists), as the readers leave them.
struct rankings {
    score_matrix matrix;
    read_counts counts;
    std::string file;
};

// The result of one analysis: the table's rows in table order with their
// FDR, and what --verbose tells of the sets left out.
struct analysis {
    std::vector<struct fstat> records;
    test_notes notes;
};

// The command line as the command takes it; fails with the line the command
// prints for a bad value. Uses getopt_long: one parse at a time per process.
run_error parse_command_line(int argc, char** argv, command_line& c);

// From files ("-" is standard input; gzip and BGZF are read as such). With
// o.long_table the gene sets are a long table (set, gene, score columns found
// by name); a GMT file is refused either way.
run_error read_gene_sets(const std::string& path, const run_options& o, gene_sets& out);
run_error read_gene_list(const std::string& path, const run_options& o, rankings& out);
run_error read_rankings_matrix(const std::string& path, const run_options& o, rankings& out);

// From memory, through the same readers as files: set k holds gene k with
// score k. A name that a file could not hold (a tab, a line break, or for
// sets "; " and for genes "|" or "; ") fails with its row.
run_error gene_sets_from_records(const std::vector<std::string>& sets, const std::vector<std::string>& genes,
                                 const std::vector<double>& scores, const run_options& o, gene_sets& out);
// A gene list: gene k scores score k; a gene given twice keeps its later score.
run_error gene_list_from_pairs(const std::vector<std::string>& genes, const std::vector<double>& scores,
                               const run_options& o, rankings& out);
// Rankings side by side: the score of gene g in ranking k is
// values[k * genes.size() + g]; NaN leaves the gene out of that ranking.
run_error rankings_from_matrix(const std::vector<std::string>& names, const std::vector<std::string>& genes,
                               const std::vector<double>& values, const run_options& o, rankings& out);

// Tests every set against every ranking. `each` sees each record as it is
// finished, one at a time (the command streams them with -o). With o.dump or
// a report, the records that can reach the detail file or the report keep
// their detail. Once *cancel is true, the workers take no more sets and the
// analysis fails with "interrupted" (another thread sets it: Ctrl-C).
run_error analyse(const gene_sets& sets, const rankings& list, const run_options& o, analysis& out,
                  const std::function<void(const struct fstat&)>& each = nullptr,
                  const std::atomic<bool>* cancel = nullptr);

// The same tests, each ranking's records handed to `done` once all its sets
// are tested: in table order with their FDR (each ranking is adjusted on its
// own), in ranking order, one ranking at a time. Only a few rankings are in
// flight at once, so memory holds the records of a few rankings whatever
// their number. An error that `done` returns stops the analysis and is
// returned. `notes` gets what --verbose tells of the tests.
using ranking_records = std::function<run_error(std::vector<struct fstat>& records)>;
run_error analyse_rankings(const gene_sets& sets, const rankings& list, const run_options& o, test_notes& notes,
                           const ranking_records& done,
                           const std::function<void(const struct fstat&)>& each = nullptr,
                           const std::atomic<bool>* cancel = nullptr);

// The table and the detail file written a ranking at a time, as
// analyse_rankings hands the records over: the same bytes as write_table (or
// print_table) and write_detail. As the command writes them: the table to
// files.output, or standard output with o.mute; the detail to files.outdata
// with o.dump. Each file is opened when the first
// ranking comes and finished after the last, the table first; with one
// ranking that is write_table then write_detail, failures and all.
// close_results finishes what no ranking reached (no set to test); after a
// failure, abandon_results removes what was begun.
struct result_files {
    std::string table_path, detail_path;
    bool on_stdout = false, with_detail = false;
    std::size_t rankings = 0, written = 0;
    out_file table;   // no stream: standard output
    out_file detail;
    bool table_open = false, detail_open = false;
};
void start_results(const run_files& files, const run_options& o, const rankings& list, result_files& out);
run_error add_results(result_files& out, const std::vector<struct fstat>& records, const rankings& list,
                      const run_options& o);
run_error close_results(result_files& out, const run_options& o);
void abandon_results(result_files& out);

// The lines that -o streams as the records are finished: the header, and a
// record, both without the FDR column.
std::string record_header(const run_options& o);
std::string record_line(const struct fstat& s, const run_options& o, const rankings& list);

// The positions of a record's detail genes in the detail file's order:
// descending weight, equal weights in their order, a NaN weight in its place.
std::vector<int> detail_order(const fdata& d);

// Writers. Each file is written under a temporary name and renamed when
// complete, so that a name holds the earlier file or the whole new one.
run_error write_table(const std::string& path, const analysis& a, const rankings& list, const run_options& o);
run_error print_table(const analysis& a, const rankings& list, const run_options& o);  // standard output
run_error write_detail(const std::string& path, const analysis& a, const rankings& list, const run_options& o);
// --genes: one row per paired gene of every tested set (analysed with o.gene_table).
run_error write_genes(const std::string& path, const analysis& a, const rankings& list, const run_options& o);
// notes: the run's warnings and --verbose lines, shown above the plots.
run_error write_report(const std::string& path, const analysis& a, const gene_sets& sets, const rankings& list,
                       const run_options& o, const std::vector<std::string>& command,
                       const std::string& output_file, const std::string& detail_file,
                       const std::vector<std::string>& notes = {});

// What may make a run wrong though it completes, known once both inputs are
// read: "warning: ..." lines that the command prints on standard error unless
// --quiet. With o.strict, strict_error turns the first into the run's error.
std::vector<std::string> reading_warnings(const gene_sets& sets, const rankings& list, const run_options& o);
run_error strict_error(const std::vector<std::string>& warnings, const run_options& o);

// What --verbose prints on standard error after reading and after testing.
std::vector<std::string> reading_notes(const gene_sets& sets, const rankings& list, const run_options& o);
std::vector<std::string> testing_notes(const gene_sets& sets, const analysis& a, const run_options& o);
std::vector<std::string> testing_notes(const gene_sets& sets, const test_notes& notes, const run_options& o);

}  // namespace quorin
