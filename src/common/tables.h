#pragma once
#include <map>
#include <memory>
#include <new>
#include <utility>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// gene name -> score, in byte order of the names (std::less<> also finds
// keys by string_view, in the same order): the gene list.
using gene_table = std::map<std::string, double, std::less<>>;

// Storage whose resize leaves the new numbers unwritten: a table of millions
// of records is filled on several threads right after, and zeroing it first
// would have one thread take every page of it.
template <class T> struct unwritten_allocator : std::allocator<T> {
    template <class U> struct rebind { using other = unwritten_allocator<U>; };
    unwritten_allocator() = default;
    template <class U> unwritten_allocator(const unwritten_allocator<U>&) noexcept {}
    template <class U> void construct(U* at) noexcept { ::new (static_cast<void*>(at)) U; }
    template <class U, class... Args> void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

// The gene sets, held as numbers. Every gene name of the gene-set file has a
// number, given in byte order of the names, so that a set's genes in order of
// number are its genes in byte order of name. Set k holds the entries from[k]
// to from[k + 1]: its genes' numbers and their scores. 12 bytes a gene of a
// set, and each name once.
struct set_table {
    std::vector<std::string> names;      // the sets, in byte order
    std::vector<std::size_t> from;       // names.size() + 1 offsets into genes and scores
    std::vector<std::uint32_t, unwritten_allocator<std::uint32_t>> genes;  // unwritten_allocator: see fill_sets
    std::vector<double, unwritten_allocator<double>> scores;
    std::string gene_text;               // the gene names one after another, in order of number
    std::vector<std::size_t> gene_from;  // gene g's name is gene_text[gene_from[g], gene_from[g + 1])
};

inline std::size_t set_count(const set_table& t) { return t.names.size(); }
inline std::size_t gene_count(const set_table& t) { return t.gene_from.empty() ? 0 : t.gene_from.size() - 1; }
inline std::string_view gene_name(const set_table& t, std::uint32_t g) {
    return std::string_view(t.gene_text).substr(t.gene_from[g], t.gene_from[g + 1] - t.gene_from[g]);
}

// Rankings side by side, held once as numbers: the score of gene row g in
// ranking k is values[k * genes.size() + g], and present[] says whether the
// gene is in that ranking at all. 9 bytes per gene per ranking. A ranking's
// scores lie together: the workers test one ranking's sets at a time.
struct score_matrix {
    std::vector<std::string> names;  // the rankings, in header order
    std::vector<std::string> genes;  // the rows, in order of first appearance
    std::vector<double> values;
    std::vector<std::uint8_t> present;
};

// What a reader met, for --verbose and the report. Names are kept only with
// --verbose, the first few of each kind.
struct read_counts {
    std::size_t lines = 0;       // comments and empty lines included
    std::size_t records = 0;     // records stored; a gene given twice counts twice
    std::size_t below = 0;       // gene-set records scored below the cut-off
    std::size_t duplicates = 0;  // records that replaced an earlier one of their gene
    std::vector<std::string> duplicate_names;  // "gene in set" in the gene-set file
    std::size_t sets_emptied = 0;              // sets whose every record is below the cut-off
    std::vector<std::string> emptied_names;
    // For the warnings: the first record below the cut-off, and the records
    // (matrix: the fields) whose score is not a number, with the first one's
    // line (1-based), text and value as read.
    std::size_t below_line = 0;
    double below_score = 0;
    std::size_t non_numbers = 0;
    std::size_t non_number_line = 0;
    std::string non_number_text;
    double non_number_value = 0;
};
