#include "input/gene_set_line.h"

#include "input/text.h"

// The n-th piece of text cut at delim, as split_fields would give it; false
// when there are fewer than n + 1 pieces.
static bool nth_piece(std::string_view text, std::string_view delim, std::size_t n, std::string_view& piece) {
    std::size_t start = 0;
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t p = text.find(delim, start);
        if (p == std::string_view::npos) return false;
        start = p + delim.size();
    }
    if (start >= text.size()) return false;  // the empty rest after a last delimiter is no piece
    std::size_t end = text.find(delim, start);
    piece = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    return true;
}

set_line_kind parse_set_line(std::string_view line, double tscore, std::string_view& set, std::string_view& gene,
                             double& score, std::string_view* score_field) {
    if (line.empty() || line[0] == '#') return set_line_kind::skip;
    // One pass for the first six tabs; the line has at least six fields when
    // it has six tabs, or five and something after the fifth.
    std::size_t tab[6];
    int tabs = 0;
    for (std::size_t k = 0; k < line.size() && tabs < 6; ++k)
        if (line[k] == '\t') tab[tabs++] = k;
    if (tabs < 5 || (tabs == 5 && tab[4] + 1 == line.size())) return set_line_kind::wrong;
    std::string_view name = line.substr(tab[2] + 1, tab[3] - tab[2] - 1);
    if (name.empty()) return set_line_kind::wrong;
    std::string_view field = line.substr(tab[3] + 1, tab[4] - tab[3] - 1);
    score = field_number(field);
    if (score_field) *score_field = field;
    if (tscore > score) {
        nth_piece(name, "; ", 0, set);
        return set_line_kind::below;
    }
    std::string_view piece;
    if (!nth_piece(name, "; ", 1, piece) || !nth_piece(piece, "|", 1, gene)) return set_line_kind::wrong;
    nth_piece(name, "; ", 0, set);
    return set_line_kind::record;
}
