// The gene-list reader on arbitrary file contents, compared with the
// straightforward reader of model_readers.h: the same table, or the same
// "wrong line: " error. The library writes nothing itself. The first byte
// chooses the treatment (input_file.h).
#include <cstdlib>

#include "capture.h"
#include "input_file.h"
#include "model_readers.h"
#include "quorin/quorin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    char treatment = treatment_of(data[0]);
    run_options o;
    o.adj_method = std::string("1") + treatment;
    const std::string& name = input_file(data + 1, size - 1);
    quorin::rankings list;
    run_error e;
    std::string out = capture_stdout([&] { e = quorin::read_gene_list(name, o, list); });
    if (!out.empty()) std::abort();

    model::read_result want = model::read_list(std::string(reinterpret_cast<const char*>(data + 1), size - 1), treatment);
    if (want.wrong) {
        if (e.text() != "wrong line: " + want.wrong_line || e.on_stderr) std::abort();
        return 0;
    }
    if (e || !model::same_genes(model::list_of(list.matrix), want.list)) std::abort();
    return 0;
}
