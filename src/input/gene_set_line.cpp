#include "input/gene_set_line.h"

#include <cstdint>

#include "input/text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Where the processor has SSE2 (every x86-64), a line is searched sixteen
// bytes at a time: one compare and one movemask give a bit for each byte
// that matches. The reader calls this once a line of the file, and the
// search byte by byte was most of what reading a gene-set file cost.
// Elsewhere, and in lines shorter than sixteen bytes, it goes byte by byte.
// Both find the same positions.

#if defined(__SSE2__)
// The bits of the sixteen bytes of text that hold byte k and those after
// it, or, near the end, of its last sixteen bytes, with the bits of bytes
// before k cleared; `at` gets the position of the first of the sixteen.
// The text holds at least sixteen bytes: no load reaches past it.
template <class Match> static unsigned block_bits(std::string_view text, std::size_t k, std::size_t& at, Match match) {
    at = k + 16 <= text.size() ? k : text.size() - 16;
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
    return static_cast<unsigned>(_mm_movemask_epi8(match(bytes))) >> (k - at) << (k - at);
}
#endif

// The positions of the first `most` tabs of line; returns how many it has, up to most.
static int find_tabs(std::string_view line, std::size_t* tab, int most) {
    int tabs = 0;
    std::size_t n = line.size();
#if defined(__SSE2__)
    if (n >= 16) {
        // The tabs of the first 64 bytes as the bits of one word, where the
        // first six lie in all but very long lines; then the rest, if need be.
        const __m128i tabs16 = _mm_set1_epi8('\t');
        auto match = [&](__m128i bytes) { return _mm_cmpeq_epi8(bytes, tabs16); };
        std::size_t head = n < 64 ? n : 64, at;
        std::uint64_t bits = 0;
        for (std::size_t k = 0; k < head; k += 16) {
            std::uint64_t found = block_bits(line.substr(0, head), k, at, match);  // sets at: a statement of its own
            bits |= found << at;
        }
        for (; bits && tabs < most; bits &= bits - 1) tab[tabs++] = static_cast<std::size_t>(__builtin_ctzll(bits));
        for (std::size_t k = head; k < n && tabs < most; k = at + 16)
            for (unsigned hits = block_bits(line, k, at, match); hits && tabs < most; hits &= hits - 1)
                tab[tabs++] = at + static_cast<std::size_t>(__builtin_ctz(hits));
        return tabs;
    }
#endif
    for (std::size_t k = 0; k < n && tabs < most; ++k)
        if (line[k] == '\t') tab[tabs++] = k;
    return tabs;
}

// The first position from `from` on of a byte a or b, or the size of text.
static std::size_t find_either(std::string_view text, std::size_t from, char a, char b) {
    std::size_t n = text.size();
#if defined(__SSE2__)
    if (n >= 16) {
        const __m128i as = _mm_set1_epi8(a), bs = _mm_set1_epi8(b);
        auto match = [&](__m128i bytes) { return _mm_or_si128(_mm_cmpeq_epi8(bytes, as), _mm_cmpeq_epi8(bytes, bs)); };
        for (std::size_t k = from, at; k < n; k = at + 16)
            if (unsigned hits = block_bits(text, k, at, match)) return at + static_cast<std::size_t>(__builtin_ctz(hits));
        return n;
    }
#endif
    for (std::size_t k = from; k < n; ++k)
        if (text[k] == a || text[k] == b) return k;
    return n;
}

// The first "; " from `from` on, or the size of name.
static std::size_t find_cut(std::string_view name, std::size_t from) {
    for (;;) {
        std::size_t k = find_either(name, from, ';', ';');
        if (k == name.size() || (k + 1 < name.size() && name[k + 1] == ' ')) return k;
        from = k + 1;
    }
}

// The first "|" or "; " from `from` on, whichever comes first, or the size of name.
static std::size_t find_mark(std::string_view name, std::size_t from) {
    for (;;) {
        std::size_t k = find_either(name, from, '|', ';');
        if (k == name.size() || name[k] == '|' || (k + 1 < name.size() && name[k + 1] == ' ')) return k;
        from = k + 1;
    }
}

// The fields as split_fields cuts them: the set is the name's first "; "
// piece; the gene is the second "|" piece of its second "; " piece, where a
// piece is what lies between one delimiter and the next, and the empty rest
// after a last delimiter is no piece. So with `cut` the first "; ", the
// second piece starts at cut + 2 and runs to the next "; " (end). The first
// "|" at or after cut + 2 is `bar`; it is in that piece when it comes before
// any "; " (find_mark stops at either), and no "; " starts at bar, which
// holds a "|", so end > bar. The gene starts at g = bar + 1 and runs to the
// next "|" or to end, whichever comes first, which is the next mark from g
// on; it is no piece when g reaches end, that is, when the name ends at g or
// a "; " starts there: then that mark lies at g and is not a "|".
set_line_kind parse_set_line(std::string_view line, double tscore, std::string_view& set, std::string_view& gene,
                             double& score, score_text* text) {
    if (line.empty() || line[0] == '#') return set_line_kind::skip;
    // The first six tabs; the line has at least six fields when it has six
    // tabs, or five and something after the fifth.
    std::size_t tab[6];
    int tabs = find_tabs(line, tab, 6);
    if (tabs < 5 || (tabs == 5 && tab[4] + 1 == line.size())) return set_line_kind::wrong;
    std::string_view name = line.substr(tab[2] + 1, tab[3] - tab[2] - 1);
    if (name.empty()) return set_line_kind::wrong;
    std::string_view field = line.substr(tab[3] + 1, tab[4] - tab[3] - 1);
    bool number;
    score = field_number(field, number);
    if (text) *text = {field, number};
    std::size_t cut = find_cut(name, 0);
    if (tscore > score) {
        set = name.substr(0, cut);
        return set_line_kind::below;
    }
    if (cut == name.size() || cut + 2 >= name.size()) return set_line_kind::wrong;
    std::size_t bar = find_mark(name, cut + 2);
    if (bar == name.size() || name[bar] != '|') return set_line_kind::wrong;
    std::size_t g = bar + 1, end = find_mark(name, g);
    if (end == g && (g == name.size() || name[g] != '|')) return set_line_kind::wrong;
    set = name.substr(0, cut);
    gene = name.substr(g, end - g);
    return set_line_kind::record;
}

#if defined(__SSE2__)
// Bits of the bytes that matter to a line, for the 64 bytes from one place
// of the text on: bit k for byte k. Only the blocks of sixteen up to the
// first line feed are read, so bits past that block are zero.
struct window_bits {
    std::uint64_t feed = 0, carriage = 0, tab = 0, semicolon = 0, space = 0, bar = 0;
};

static void read_window(const char* p, bool returns, window_bits& w) {
    const __m128i feed = _mm_set1_epi8('\n'), carriage = _mm_set1_epi8('\r'), tab = _mm_set1_epi8('\t'),
                  semicolon = _mm_set1_epi8(';'), space = _mm_set1_epi8(' '), bar = _mm_set1_epi8('|');
    for (int k = 0; k < 64 && !w.feed; k += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        auto bits = [&](__m128i c) {
            return std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, c)))} << k;
        };
        w.feed |= bits(feed);
        if (returns) w.carriage |= bits(carriage);
        w.tab |= bits(tab);
        w.semicolon |= bits(semicolon);
        w.space |= bits(space);
        w.bar |= bits(bar);
    }
}

// The first set bit of bits in [from, to), or `to`; to < 64.
static std::size_t first_bit(std::uint64_t bits, std::size_t from, std::size_t to) {
    bits &= (~std::uint64_t{0} << from) & ((std::uint64_t{1} << to) - 1);
    return bits ? static_cast<std::size_t>(__builtin_ctzll(bits)) : to;
}

// A line shorter than 64 bytes, followed by a line feed, that is a record or
// a record below the cut-off: read from the bits of its bytes, with the
// rules of parse_set_line written on bits (see the argument above it):
// `cut` is the first "; " pair in the name, `bar` and `end` the next "|"
// or "; " from a place on. A pair's space lies within the name, whose end
// is a tab. False for anything else (no line feed within 64 bytes, empty,
// a comment, a wrong line), which next_set_line then reads the plain way.
static bool read_short_line(std::string_view text, std::size_t& pos, bool returns, double tscore,
                            std::string_view& line, set_line_kind& kind, std::string_view& set, std::string_view& gene,
                            double& score, score_text& field) {
    const char* p = text.data() + pos;
    window_bits w;
    read_window(p, returns, w);
    if (!w.feed) return false;
    std::size_t feed = static_cast<std::size_t>(__builtin_ctzll(w.feed));
    std::size_t size = first_bit(w.carriage, 0, feed);
    if (size == 0 || p[0] == '#') return false;
    std::uint64_t tabs = w.tab & ((std::uint64_t{1} << size) - 1);
    std::size_t tab[5];
    for (std::size_t& t : tab) {
        if (!tabs) return false;
        t = static_cast<std::size_t>(__builtin_ctzll(tabs));
        tabs &= tabs - 1;
    }
    if (!tabs && tab[4] + 1 == size) return false;
    std::size_t from = tab[2] + 1, to = tab[3];
    if (from == to) return false;
    std::uint64_t pairs = w.semicolon & (w.space >> 1), marks = pairs | w.bar;
    field.field = std::string_view(p + tab[3] + 1, tab[4] - tab[3] - 1);
    score = field_number(field.field, field.number);
    std::size_t cut = first_bit(pairs, from, to);
    if (tscore > score) {
        kind = set_line_kind::below;
    } else {
        if (cut == to || cut + 2 >= to) return false;
        std::size_t bar = first_bit(marks, cut + 2, to);
        if (bar == to || p[bar] != '|') return false;
        std::size_t g = bar + 1, end = first_bit(marks, g, to);
        if (end == g && (g == to || p[g] != '|')) return false;
        gene = std::string_view(p + g, end - g);
        kind = set_line_kind::record;
    }
    set = std::string_view(p + from, cut - from);
    line = std::string_view(p, size);
    pos += feed + 1;
    return true;
}
#endif

bool next_set_line(std::string_view text, std::size_t& pos, bool returns, double tscore, std::string_view& line,
                   set_line_kind& kind, std::string_view& set, std::string_view& gene, double& score,
                   score_text& field) {
#if defined(__SSE2__)
    if (pos + 64 <= text.size() && read_short_line(text, pos, returns, tscore, line, kind, set, gene, score, field))
        return true;
#endif
    if (!next_line(text, pos, line)) return false;
    if (returns) trim_string(line);
    kind = parse_set_line(line, tscore, set, gene, score, &field);
    return true;
}

std::size_t record_line_bound(std::string_view text) {
    std::size_t count = 0, start = 0, k = 0, n = text.size();
#if defined(__SSE2__)
    // Only the line feeds are looked for, sixteen bytes at a time.
    const __m128i feed = _mm_set1_epi8('\n');
    for (; k + 16 <= n; k += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + k));
        for (unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, feed))); bits;
             bits &= bits - 1) {
            std::size_t end = k + static_cast<std::size_t>(__builtin_ctz(bits));
            count += end - start >= shortest_record_line && text[start] != '#';
            start = end + 1;
        }
    }
#endif
    for (; k < n; ++k)
        if (text[k] == '\n') {
            count += k - start >= shortest_record_line && text[start] != '#';
            start = k + 1;
        }
    // a last line without a line feed
    if (start < n) count += n - start >= shortest_record_line && text[start] != '#';
    return count;
}
