// The gene-set reader on arbitrary file contents, compared with the
// straightforward reader of model_readers.h: the same table, or the same
// "wrong line: " error. The library writes nothing itself. The first byte
// chooses the treatment and the cut-off (input_file.h).
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "capture.h"
#include "input_file.h"
#include "model_readers.h"
#include "quorin/quorin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    char treatment = treatment_of(data[0]);
    run_options o;
    o.adj_method = std::string(1, treatment) + "1";
    o.tscore = std::atof(cutoff_text_of(data[0]));
    const std::string& name = input_file(data + 1, size - 1);
    quorin::gene_sets sets;
    run_error e;
    std::string out = capture_stdout([&] { e = quorin::read_gene_sets(name, o, sets); });
    if (!out.empty()) std::abort();

    model::read_result want =
        model::read_sets(std::string(reinterpret_cast<const char*>(data + 1), size - 1), o.tscore, treatment);
    if (want.wrong) {
        if (e.text() != "wrong line: " + want.wrong_line || e.on_stderr) std::abort();
        return 0;
    }
    if (e) std::abort();
    const set_table& t = sets.table;
    if (set_count(t) != want.sets.size()) std::abort();
    auto w = want.sets.begin();
    for (std::size_t k = 0; k < set_count(t); ++k, ++w) {
        std::vector<std::pair<std::string_view, double>> genes;
        for (std::size_t i = t.from[k]; i < t.from[k + 1]; ++i) genes.emplace_back(gene_name(t, t.genes[i]), t.scores[i]);
        if (t.names[k] != w->first || !model::same_genes(genes, w->second)) std::abort();
    }
    return 0;
}
