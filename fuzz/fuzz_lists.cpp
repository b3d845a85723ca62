// The matrix of rankings on arbitrary file contents: when it reads, every
// ranking pairs every gene set exactly as a gene list holding only that
// ranking's column does (the lines where it has a value, in file order); a
// matrix that does not read fails with a message of one line. The library
// writes nothing itself. The first byte chooses the treatment (input_file.h).
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "capture.h"
#include "input/overlap.h"
#include "input_file.h"
#include "quorin/quorin.h"

static std::vector<std::string> fields_of(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

// Column k of the matrix text as a gene list, or empty when the text is not
// a readable matrix (then the reader must have refused it).
static std::string column_as_list(const std::string& text, std::size_t k) {
    std::string list;
    bool header = true;
    for (std::size_t pos = 0; pos <= text.size();) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        line = line.substr(0, line.find('\r'));
        if (line.empty() || line[0] == '#') continue;
        if (header) {
            header = false;
            continue;
        }
        std::vector<std::string> f = fields_of(line);
        if (f[k + 1].empty() || f[k + 1] == "NA") continue;
        list += f[0] + '\t' + f[k + 1] + '\n';
    }
    return list;
}

// A table of one set named "S" holding the given genes.
static set_table one_set(const std::map<std::string, double>& genes) {
    set_table t;
    t.names = {"S"};
    t.from = {0, genes.size()};
    t.gene_from = {0};
    for (const auto& g : genes) {
        t.genes.push_back(static_cast<std::uint32_t>(t.genes.size()));
        t.scores.push_back(g.second);
        t.gene_text += g.first;
        t.gene_from.push_back(t.gene_text.size());
    }
    return t;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    char treatment = treatment_of(data[0]);
    run_options o;
    o.adj_method = std::string("1") + treatment;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    quorin::rankings read;
    run_error e;
    std::string out = capture_stdout([&] { e = quorin::read_rankings_matrix(input_file(data + 1, size - 1), o, read); });
    if (!out.empty()) std::abort();
    if (e) {
        std::string line = e.text();
        if (line.empty() || line.find('\n') != std::string::npos || e.on_stderr) std::abort();
        return 0;
    }
    const score_matrix& matrix = read.matrix;
    // One gene set holding every gene of the matrix, and one that is not.
    std::map<std::string, double> genes;
    double score = 1;
    for (const std::string& g : matrix.genes) genes.emplace(g, score += 0.5);
    genes.emplace("not in any ranking", 3);
    set_table set = one_set(genes);
    std::vector<std::uint32_t> rows;
    gene_rows(set, matrix, rows);
    for (std::size_t k = 0; k < matrix.names.size(); ++k) {
        std::string list = column_as_list(text, k);
        quorin::rankings one;
        if (quorin::read_gene_list(input_file(reinterpret_cast<const uint8_t*>(list.data()), list.size()), o, one))
            std::abort();  // every line of the column has a gene and a value
        std::vector<std::uint32_t> alone, g1, g2;
        gene_rows(set, one.matrix, alone);
        std::vector<double> x1, y1, x2, y2;
        overlap_set(set, 0, rows, matrix, k, g1, x1, y1);
        overlap_set(set, 0, alone, one.matrix, 0, g2, x2, y2);
        if (g1 != g2 || x1 != x2) std::abort();
        for (std::size_t i = 0; i < y1.size(); ++i)
            if (std::memcmp(&y1[i], &y2[i], sizeof(double)) != 0) std::abort();
    }
    return 0;
}
