// The gene-list reader on arbitrary file contents, compared with the
// straightforward reader of model_readers.h: the same table, or the same
// "wrong line: " message and exit status 1. The first byte chooses the
// treatment (input_file.h).
#include <cstdlib>

#include "capture.h"
#include "config/config.h"
#include "exit_guard.h"
#include "input/gene_list.h"
#include "input_file.h"
#include "model_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    char treatment = treatment_of(data[0]);
    adj_method = std::string("1") + treatment;
    const std::string& name = input_file(data + 1, size - 1);
    int status = 0;
    std::string out = capture_stdout([&] { status = run_guarded([&] { read_rank_data(name); }); });

    model::read_result want = model::read_list(std::string(reinterpret_cast<const char*>(data + 1), size - 1), treatment);
    if (want.wrong) {
        if (status != 1 || out != "wrong line: " + want.wrong_line + "\n") std::abort();
        return 0;
    }
    if (status != -1 || !out.empty() || !model::same_genes(rank_data, want.list)) std::abort();
    return 0;
}
