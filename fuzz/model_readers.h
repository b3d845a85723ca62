#pragma once
// Straightforward readers written from the file-format rules, line by line,
// for the reader targets to compare the real readers with: lines end at line
// feeds (a last line without one counts), are cut at their first carriage
// return, empty and "#" lines are skipped, fields are split at single tabs,
// and scores are read by atof.
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/tables.h"

namespace model {

using genes = std::map<std::string, double>;

struct read_result {
    bool wrong = false;
    std::string wrong_line;
    std::map<std::string, genes> sets;  // the gene-set reader's table
    genes list;                         // the gene-list reader's table
};

// Fields between the delimiters; the empty rest after a last delimiter is no field.
inline std::vector<std::string> split(const std::string& text, const std::string& delim) {
    std::vector<std::string> fields;
    if (text.empty() || delim.empty()) return fields;
    std::size_t start = 0, p;
    while ((p = text.find(delim, start)) != std::string::npos) {
        fields.push_back(text.substr(start, p - start));
        start = p + delim.size();
    }
    if (start < text.size()) fields.push_back(text.substr(start));
    return fields;
}

inline std::vector<std::string> lines_of(const std::string& data) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t end = data.find('\n', start);
        if (end == std::string::npos) end = data.size();
        std::string line = data.substr(start, end - start);
        line = line.substr(0, line.find('\r'));
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

inline double treated(double v, char treatment) {
    if (treatment == '2') return std::abs(v);
    if (treatment == '3') return -v;
    return v;
}

inline read_result read_sets(const std::string& data, double cutoff, char treatment) {
    read_result r;
    for (const std::string& line : lines_of(data)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields = split(line, "\t");
        bool wrong = fields.size() < 6 || fields[3].empty();
        if (!wrong) {
            double score = std::atof(fields[4].c_str());
            if (cutoff > score) continue;
            std::vector<std::string> pieces = split(fields[3], "; ");
            std::vector<std::string> parts = pieces.size() < 2 ? std::vector<std::string>() : split(pieces[1], "|");
            wrong = parts.size() < 2;
            if (!wrong) r.sets[pieces[0]][parts[1]] = score;
        }
        if (wrong) {
            r.wrong = true;
            r.wrong_line = line;
            return r;
        }
    }
    for (auto& set : r.sets)
        for (auto& gene : set.second) gene.second = treated(gene.second, treatment);
    return r;
}

inline read_result read_list(const std::string& data, char treatment) {
    read_result r;
    for (const std::string& line : lines_of(data)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields = split(line, "\t");
        if (fields.size() < 2 || fields[0].empty() || fields[1].empty()) {
            r.wrong = true;
            r.wrong_line = line;
            return r;
        }
        r.list[fields[0]] = std::atof(fields[1].c_str());
    }
    for (auto& gene : r.list) gene.second = treated(gene.second, treatment);
    return r;
}

// Same keys in the same order, and the same bits in every score.
template <class A, class B>
bool same_genes(const A& a, const B& b) {
    if (a.size() != b.size()) return false;
    auto i = a.begin();
    for (auto j = b.begin(); j != b.end(); ++i, ++j)
        if (i->first != j->first || std::memcmp(&i->second, &j->second, sizeof(double)) != 0) return false;
    return true;
}

// A gene list as the library returns it, a matrix of one unnamed ranking
// holding every gene: its rows, in order. Any other shape aborts.
inline std::vector<std::pair<std::string, double>> list_of(const score_matrix& m) {
    std::size_t n = m.genes.size();
    if (m.names != std::vector<std::string>{""} || m.values.size() != n || m.present.size() != n) std::abort();
    std::vector<std::pair<std::string, double>> genes;
    for (std::size_t g = 0; g < n; ++g) {
        if (!m.present[g]) std::abort();
        genes.emplace_back(m.genes[g], m.values[g]);
    }
    return genes;
}

}  // namespace model
