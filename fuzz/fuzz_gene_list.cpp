// The gene-list reader on arbitrary file contents. The first byte chooses the
// treatment (input_file.h). A run either ends with status 1 (a bad line) or
// leaves a table that keeps the reader's promises.
#include <cmath>
#include <cstdlib>

#include "config/config.h"
#include "exit_guard.h"
#include "input/gene_list.h"
#include "input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    char treatment = treatment_of(data[0]);
    adj_method = std::string("1") + treatment;
    const std::string& name = input_file(data + 1, size - 1);
    int status = run_guarded([&] { read_rank_data(name); });
    if (status != -1) {
        if (status != 1) std::abort();
        return 0;
    }
    std::size_t lines = 1;
    for (std::size_t i = 1; i < size; ++i) lines += data[i] == '\n';
    if (rank_data.size() > lines) std::abort();
    for (const auto& gene : rank_data) {
        if (gene.first.empty()) std::abort();  // an empty gene name is a bad line
        if (gene.first.find_first_of("\t\r\n") != std::string::npos) std::abort();
        if (treatment == '2' && std::signbit(gene.second)) std::abort();
    }
    return 0;
}
