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

#include "config/config.h"
#include "config/options.h"
#include "input/gene_list.h"
#include "input/gene_matrix.h"
#include "input/gene_sets.h"
#include "input/overlap.h"
#include "stats/tau_analysis.h"

int main(int argc, char** argv) {
    run_files files;
    take_options(argc, argv, files);
    read_vemo_dataset_bed(files.gene_set);
    read_rank_data(files.gene_list);
    matrix_from_list();
    std::vector<std::uint32_t> rows;
    gene_rows(vemo_set, list_matrix, rows);
    std::vector<double> pps;
    for (int j = 0; j < 5; ++j) pps.push_back(0.8 - static_cast<double>(j) * 0.15);
    std::size_t tested = 0, single = 0, passes = 0, genes = 0;
    std::vector<std::size_t> by_count(pps.size() + 1, 0);
    for (std::size_t k = 0; k < set_count(vemo_set); ++k) {
        std::vector<std::uint32_t> genes_paired;
        std::vector<double> x, y;
        overlap_set(vemo_set, k, rows, list_matrix, 0, genes_paired, x, y);
        if (x.empty()) continue;
        set_ranks r;
        prepare_ranks(x, y, r);
        std::vector<tau_test> tests;
        std::vector<std::vector<double>> weights;
        deciding_tau_tests(r, pps, tests, weights);
        ++tested;
        genes += x.size();
        single += tests.size() == 1;
        passes += tests.size();
        ++by_count[tests.size()];
        if (tests.size() > 1) {
            std::printf("more_than_one\t%s", vemo_set.names[k].c_str());
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
