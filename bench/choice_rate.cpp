// Takes quorin's own options and files, and tells for how many gene sets the
// tests at the five PP values of -p needed one pair pass: the others are
// ruled out by ranges of their p-values (deciding_tau_tests). The sets are
// paired and prepared as the run does it, on one thread; nothing is written
// but the counts, and the sets that needed more than one pass with the
// p-value of each test that had one.
//
//   quorin_choice -s GENE_SETS -i GENE_LIST [-g CUT-OFF] [-w METHOD] ...
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "input/overlap.h"
#include "quorin/quorin.h"
#include "stats/tau_analysis.h"

// A bad option or file ends the run with its message, as quorin does.
static void check(const run_error& e) {
    if (!e) return;
    std::fprintf(e.on_stderr ? stderr : stdout, "%s\n", e.text().c_str());
    std::exit(1);
}

int main(int argc, char** argv) {
    command_line c;
    check(quorin::parse_command_line(argc, argv, c));
    if (c.stop_status >= 0) {
        std::printf("%s\n", c.stop_text.c_str());
        return c.stop_status;
    }
    const run_options& o = c.options;
    quorin::gene_sets sets;
    quorin::rankings list;
    check(quorin::read_gene_sets(c.files.gene_set, o, sets));
    check(quorin::read_gene_list(c.files.gene_list, o, list));
    const set_table& table = sets.table;
    std::vector<std::uint32_t> rows;
    gene_rows(table, list.matrix, rows);
    std::vector<double> pps;
    for (int j = 0; j < 5; ++j) pps.push_back(0.8 - static_cast<double>(j) * 0.15);
    std::size_t tested = 0, single = 0, passes = 0, genes = 0;
    std::vector<std::size_t> by_count(pps.size() + 1, 0);
    for (std::size_t k = 0; k < set_count(table); ++k) {
        std::vector<std::uint32_t> genes_paired;
        std::vector<double> x, y;
        overlap_set(table, k, rows, list.matrix, 0, genes_paired, x, y);
        if (x.empty()) continue;
        set_ranks r;
        prepare_ranks(x, y, o.wt_kind, r);
        std::vector<tau_test> tests;
        std::vector<std::vector<double>> weights;
        deciding_tau_tests(r, pps, tests, weights);
        ++tested;
        genes += x.size();
        single += tests.size() == 1;
        passes += tests.size();
        ++by_count[tests.size()];
        if (tests.size() > 1) {
            std::printf("more_than_one\t%s", table.names[k].c_str());
            for (const tau_test& t : tests) std::printf("\t%g:%.17g", t.pp, t.p_value);
            std::printf("\n");
        }
    }
    std::printf("sets_tested\t%zu\npaired_genes\t%zu\none_pass\t%zu\nhit_rate\t%.4f\npair_passes\t%zu\n", tested,
                genes, single, tested ? static_cast<double>(single) / tested : 0.0, passes);
    for (std::size_t c = 1; c < by_count.size(); ++c) std::printf("sets_with_%zu_passes\t%zu\n", c, by_count[c]);
    std::fflush(stdout);
    std::_Exit(0);
}
