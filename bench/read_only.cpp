// Reads a gene-set file and a gene-list file with the program's own readers
// and nothing else, and prints how long each took: the input share of a run.
// The optional thread count is the run's -t, which the readers may use too.
#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cstdlib>

#include "quorin/quorin.h"

// A file that does not read ends the run with its message, as quorin does.
static void check(const run_error& e) {
    if (!e) return;
    std::fprintf(e.on_stderr ? stderr : stdout, "%s\n", e.text().c_str());
    std::exit(1);
}

static double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: quorin_read GENE_SET_FILE GENE_LIST_FILE [THREADS]\n");
        return 1;
    }
    run_options o;
    if (argc == 4) o.thread_n = std::max(1, std::atoi(argv[3]));
    quorin::gene_sets set_file;
    quorin::rankings list_file;
    auto start = std::chrono::steady_clock::now();
    check(quorin::read_gene_sets(argv[1], o, set_file));
    double sets = seconds_since(start);
    start = std::chrono::steady_clock::now();
    check(quorin::read_gene_list(argv[2], o, list_file));
    double list = seconds_since(start);
    std::size_t genes = set_file.table.genes.size();
    std::printf("read_gene_sets_s\t%.3f\nread_gene_list_s\t%.3f\nsets\t%zu\nset_genes\t%zu\nlist_genes\t%zu\n", sets,
                list, set_count(set_file.table), genes, list_file.matrix.genes.size());
    // Leave without releasing the tables, as a complete run does.
    std::fflush(stdout);
    std::_Exit(0);
}
