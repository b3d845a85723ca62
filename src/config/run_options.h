#pragma once
#include <climits>
#include <string>

// automatic: bh with --permutations or --null=moments, position otherwise
// (fdr_in_effect); the position-wise ratio splits tied p-values, which
// permutation p-values have in runs.
enum class fdr_method { automatic, position, bh };

// Where the p-value comes from without --permutations: the normal
// approximation of the tau test, or the exact permutation moments.
enum class null_method { normal, moments };

// wt_method as the tests read it, parsed once when it is set.
enum class weighting { both, list, set, unknown };

// The settings of one run, with their defaults. The option parser fills one;
// the readers, the tests, the writers and the report are handed it.
struct run_options {
    double tscore = 10.0;          // -g: records of the gene-set file scored below it are dropped
    int thread_n = 1;              // -t
    bool mute = true;              // no -o: the table goes to standard output at the end
    bool auto_p = false;           // -p: five PP values, the smallest p-value kept
    bool dump = false;             // -d given
    std::string report_file;       // --report; empty: no report
    std::string wt_method = "1";   // -w, as given
    weighting wt_kind = weighting::both;
    std::string adj_method = "11"; // -r: two characters, the set's and the list's score treatment

    // Extensions, each off unless its option is given.
    fdr_method fdr_kind = fdr_method::automatic;  // --fdr
    null_method null_kind = null_method::normal;  // --null
    int min_size = 1;               // --min-size: fewest paired genes a tested set has
    int max_size = INT_MAX;         // --max-size: most paired genes a tested set has
    bool size_column = false;       // --size
    int digits = 6;                 // --digits: significant digits of the numbers written
    bool verbose = false;           // --verbose
    long long permutations = 0;     // --permutations: 0 for the analytic p-value
    long long exceed = 20;          // --exceed: the sequential stop
    unsigned long long seed = 1;    // --seed
    bool many_lists = false;        // --lists
    bool progress_bar = false;      // --progress: a bar on standard error when it is a terminal
    bool tscore_given = false;      // -g given: --net applies it only then
    bool quiet = false;             // --quiet: no warnings on standard error
    bool strict = false;            // --strict: every warning ends the run as an error
    bool strip_versions = false;    // --strip-versions: ENSG00000141510.17 pairs with ENSG00000141510
    bool long_table = false;        // --net: the gene sets are a long table (set, gene, score)
    bool gene_table = false;        // --genes: every tested set keeps its detail for the per-gene table
};

// The FDR method the run uses: --fdr when given, else as fdr_method::automatic says.
fdr_method fdr_in_effect(const run_options& o);

// Sets wt_method and the wt_kind it reads as.
void set_wt_method(run_options& o, const std::string& method);
