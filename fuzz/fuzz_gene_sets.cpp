// The gene-set reader on arbitrary file contents. The first byte chooses the
// treatment and the cut-off (input_file.h). A run either ends with status 1
// (a bad line) or leaves a table that keeps the reader's promises.
#include <cmath>
#include <cstdlib>

#include "config/config.h"
#include "exit_guard.h"
#include "input/gene_sets.h"
#include "input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    char treatment = treatment_of(data[0]);
    adj_method = std::string(1, treatment) + "1";
    tscore = std::atof(cutoff_text_of(data[0]));
    const std::string& name = input_file(data + 1, size - 1);
    int status = run_guarded([&] { read_vemo_dataset_bed(name); });
    if (status != -1) {
        if (status != 1) std::abort();
        return 0;
    }
    std::size_t lines = 1, genes = 0;
    for (std::size_t i = 1; i < size; ++i) lines += data[i] == '\n';
    for (const auto& set : vemo_set) {
        if (set.second.empty()) std::abort();  // a set exists only with a gene
        for (const auto& gene : set.second) {
            double s = gene.second;
            ++genes;
            // Only scores at or above the cut-off (or not comparable) are stored.
            if (treatment == '1' && tscore > s) std::abort();
            if (treatment == '2' && std::signbit(s)) std::abort();
            if (treatment == '3' && tscore > -s) std::abort();
        }
    }
    if (genes > lines) std::abort();
    return 0;
}
