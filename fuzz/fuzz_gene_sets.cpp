// The gene-set reader on arbitrary file contents, compared with the
// straightforward reader of model_readers.h: the same table, or the same
// "wrong line: " message and exit status 1. The first byte chooses the
// treatment and the cut-off (input_file.h).
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "capture.h"
#include "config/config.h"
#include "exit_guard.h"
#include "input/gene_sets.h"
#include "input_file.h"
#include "model_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    char treatment = treatment_of(data[0]);
    adj_method = std::string(1, treatment) + "1";
    tscore = std::atof(cutoff_text_of(data[0]));
    const std::string& name = input_file(data + 1, size - 1);
    int status = 0;
    std::string out = capture_stdout([&] { status = run_guarded([&] { read_vemo_dataset_bed(name); }); });

    model::read_result want =
        model::read_sets(std::string(reinterpret_cast<const char*>(data + 1), size - 1), tscore, treatment);
    if (want.wrong) {
        if (status != 1 || out != "wrong line: " + want.wrong_line + "\n") std::abort();
        return 0;
    }
    if (status != -1 || !out.empty()) std::abort();
    if (set_count(vemo_set) != want.sets.size()) std::abort();
    auto w = want.sets.begin();
    for (std::size_t k = 0; k < set_count(vemo_set); ++k, ++w) {
        std::vector<std::pair<std::string_view, double>> genes;
        for (std::size_t i = vemo_set.from[k]; i < vemo_set.from[k + 1]; ++i)
            genes.emplace_back(gene_name(vemo_set, vemo_set.genes[i]), vemo_set.scores[i]);
        if (vemo_set.names[k] != w->first || !model::same_genes(genes, w->second)) std::abort();
    }
    return 0;
}
