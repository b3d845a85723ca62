#pragma once
#include <string>
#include <vector>

// Per-gene detail of one tested gene set; the six vectors are parallel.
struct fdata {
    std::vector<std::string> genes;
    std::vector<double> vec_x;   // gene-set scores
    std::vector<double> vec_y;   // gene-list scores
    std::vector<int> rank_x;
    std::vector<int> rank_y;
    std::vector<double> weights;
};

// The result of one gene set: one row of the result table. The POSIX function
// fstat shares the name, so code that may see <sys/stat.h> writes `struct fstat`.
struct fstat {
    std::string name;
    double pp = 0.0;
    char cor_dir = '+';
    double tau = 0.0;
    double estimate = 0.0;
    double p_value = 1.1;
    double fdr = 1.0;
    std::size_t size = 0;  // paired genes
    std::size_t list = 0;  // the ranking, with --lists
    long long permutations = 0;  // drawn for a permutation p-value; all orderings when exact
    bool exact = false;
    fdata data;
};

// What --verbose tells after testing: the sets named, each list in byte
// order of name, and the counts over all rankings.
struct test_notes {
    std::size_t tested = 0;          // records made
    long long drawn = 0;             // random permutations
    long long enumerated = 0;        // orderings of exactly enumerated sets
    std::vector<std::string> no_pairs;     // no gene in the gene list
    std::vector<std::string> out_of_size;  // left out by --min-size or --max-size
    std::vector<std::string> small;        // tested on fewer than 5 genes
    std::vector<std::string> constant;     // set or list scores all equal: tau is 0
};
