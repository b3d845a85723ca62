#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "common/records.h"
#include "common/tables.h"
#include "config/run_options.h"

// What the report's header says about the run.
struct report_run {
    std::vector<std::string> args;  // the command line, program name first
    std::string gene_set_file, gene_list_file, output_file, detail_file;
    std::size_t sets_read = 0;      // gene sets in the gene-set tables
    std::size_t genes_read = 0;     // genes in the gene list
    // Lines read from each input file; -1 while the readers do not count them.
    long long set_lines = -1, list_lines = -1;
    std::string date;               // of the run, UTC
    run_options options;
    // Every warning and --verbose diagnostic of the run, as the command
    // prints them; the page shows them above the plots.
    std::vector<std::string> notes;
    // The rankings tested: their names, and each gene's place in the whole
    // list for the panels. Without them the panels leave the places out.
    const score_matrix* rankings = nullptr;
};

// Sets of the detail selection that get a panel at most.
constexpr std::size_t report_max_panels = 50;
// With --lists: panels for at most this many sets of each ranking, the
// first set of every ranking before the second of any, while the panels
// take fewer than report_list_panel_bytes in all.
constexpr std::size_t report_list_panels = 3;
constexpr std::size_t report_list_panel_bytes = 600000;

// The whole page for the tested sets in table order (after the FDR is set):
// header, methods, warnings, overview plot (with --lists: a heatmap of
// sets x rankings and a summary per ranking), the result table as the
// table file holds it, one panel per set with FDR below 0.05 (the first
// report_max_panels of them). Needs nothing from outside the file.
std::string report_page(const report_run& run, const std::vector<struct fstat>& sets);

// The command line as one could type it again: words with blanks or shell
// characters in single quotes.
std::string command_text(const std::vector<std::string>& args);

// Now in UTC, or the time in SOURCE_DATE_EPOCH when it is set, so that a
// build can make the same page twice.
std::string run_date();

// Writes the page of the records to the named file; an unwritable path fails
// as the other outputs do.
void save_report(const std::string& file_name, const report_run& run, const std::vector<struct fstat>& sets);
