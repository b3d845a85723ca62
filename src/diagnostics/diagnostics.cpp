#include "diagnostics/diagnostics.h"

#include <cstdio>
#include <vector>

#include "common/output.h"
#include "common/records.h"
#include "input/overlap.h"
#include "input/read_file.h"
#include "input/text.h"

#include <unordered_set>

static const std::size_t names_shown = 5;

// "3 sets ...: A, B, C", the first few names and "..." for the rest.
static std::string with_names(std::size_t count, const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t k = 0; k < names.size() && k < names_shown; ++k) text += (k ? ", " : ": ") + names[k];
    if (count > names.size() || names.size() > names_shown) text += ", ...";
    return text;
}

static std::string count_of(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + ' ' + (n == 1 ? one : many);
}


std::vector<std::string> reading_notes(const std::string& gene_set_file, const std::string& gene_list_file,
                                       const read_counts& s, const read_counts& l, const set_table& vemo_set,
                                       const score_matrix& list_matrix, const run_options& o) {
    std::vector<std::string> lines;
    auto say = [&](const std::string& line) { lines.push_back(line); };
    say("gene-set file " + gene_set_file + ": " + count_of(s.lines, "line", "lines") + ", " +
        count_of(s.records, "record", "records") + " in " + count_of(set_count(vemo_set), "set", "sets") + ", " +
        count_of(s.below, "record", "records") + " scored below -g " + num(o.tscore));
    if (s.sets_emptied > 0)
        say(count_of(s.sets_emptied, "set", "sets") + " with every record below -g" +
            with_names(s.sets_emptied, s.emptied_names));
    if (s.duplicates > 0)
        say(count_of(s.duplicates, "gene", "genes") + " given twice in one set (the later line wins)" +
            with_names(s.duplicates, s.duplicate_names));
    if (o.many_lists)
        say("rankings " + gene_list_file + ": " + count_of(l.lines, "line", "lines") + ", " +
            count_of(list_matrix.genes.size(), "gene", "genes") + " in " +
            count_of(list_matrix.names.size(), "ranking", "rankings"));
    else
        say("gene list " + gene_list_file + ": " + count_of(l.lines, "line", "lines") + ", " +
            count_of(list_matrix.genes.size(), "gene", "genes"));
    if (l.duplicates > 0)
        say(count_of(l.duplicates, "gene", "genes") + " given twice in the gene list (the later line wins)" +
            with_names(l.duplicates, l.duplicate_names));
    return lines;
}

std::vector<std::string> testing_notes(const test_notes& t, std::size_t sets, const run_options& o) {
    std::vector<std::string> lines;
    auto say = [&](const std::string& line) { lines.push_back(line); };
    say(count_of(t.tested, "set", "sets") + " tested");
    if (o.permutations > 0) {
        say(std::to_string(t.drawn) + " random permutations and " + std::to_string(t.enumerated) +
            " orderings of exactly enumerated sets, seed " + std::to_string(o.seed));
    }
    if (!t.no_pairs.empty())
        say(count_of(t.no_pairs.size(), "set", "sets") + " with no gene in the gene list" +
            with_names(t.no_pairs.size(), t.no_pairs));
    if (!t.out_of_size.empty())
        say(count_of(t.out_of_size.size(), "set", "sets") + " left out by --min-size or --max-size" +
            with_names(t.out_of_size.size(), t.out_of_size));
    if (!t.small.empty())
        say(count_of(t.small.size(), "set", "sets") + " tested on fewer than 5 genes" +
            with_names(t.small.size(), t.small));
    if (!t.constant.empty())
        say(count_of(t.constant.size(), "set", "sets") +
            " whose paired set scores or list scores are all equal, so tau is 0" +
            with_names(t.constant.size(), t.constant));
    (void)sets;  // a run where no set pairs is told by reading_warnings, with or without --verbose
    return lines;
}

// Scores that are not numbers, in the gene-set file, a gene list or a matrix.
static void warn_non_numbers(std::vector<std::string>& lines, const std::string& file, const read_counts& c,
                             std::size_t total, const char* what) {
    if (c.non_numbers == 0) return;
    lines.push_back("warning: " + shown_name(file) + ": " + std::to_string(c.non_numbers) + " of " +
                    std::to_string(total) + " " + what + " not a number (first: line " +
                    std::to_string(c.non_number_line) + ", '" + c.non_number_text + "', read as " +
                    num(c.non_number_value) + "); leave such genes out, and write decimals with a point (4.5, not 4,5)");
}

// Whether few of the sets' genes pair with the rankings' genes, or some set
// pairs with none: identifiers of another kind, case, or version suffixes.
static void warn_pairing(std::vector<std::string>& lines, const std::string& set_file, const std::string& list_file,
                         const set_table& sets, const score_matrix& m, const run_options& o) {
    std::size_t genes = gene_count(sets);
    if (genes == 0 || m.genes.empty()) return;
    std::vector<std::uint32_t> rows;
    gene_rows(sets, m, rows, o.thread_n);
    std::size_t found = 0, unpaired_gene = genes;
    for (std::size_t g = 0; g < genes; ++g) {
        if (rows[g] != no_row)
            ++found;
        else if (unpaired_gene == genes)
            unpaired_gene = g;
    }
    std::size_t lonely = 0, first_lonely = 0;
    for (std::size_t k = 0; k < set_count(sets); ++k) {
        bool paired = false;
        for (std::size_t e = sets.from[k]; e < sets.from[k + 1] && !paired; ++e) paired = rows[sets.genes[e]] != no_row;
        if (!paired && lonely++ == 0) first_lonely = k;
    }
    std::string list_name = shown_name(list_file);
    if (2 * found < genes) {
        std::unordered_set<std::string_view> set_genes;
        for (std::size_t g = 0; g < genes; ++g) set_genes.insert(gene_name(sets, static_cast<std::uint32_t>(g)));
        std::string list_example;
        for (const std::string& gene : m.genes)
            if (!set_genes.count(gene)) {
                list_example = gene;
                break;
            }
        std::string advice = "names must match exactly (case counts): use the same identifiers in both files";
        if (!o.strip_versions) {
            std::unordered_set<std::string_view> stripped;
            for (const std::string& gene : m.genes) stripped.insert(without_version(gene));
            std::size_t would = 0;
            for (std::size_t g = 0; g < genes; ++g)
                would += stripped.count(without_version(gene_name(sets, static_cast<std::uint32_t>(g))));
            if (would > found)
                advice = "--strip-versions pairs " + std::to_string(would) + " of them (ENSG00000141510.17 "
                         "with ENSG00000141510)";
        }
        lines.push_back("warning: " + shown_name(set_file) + ": only " + std::to_string(found) + " of its " +
                        std::to_string(genes) + " genes are in " + list_name + " (" +
                        (lonely ? std::to_string(lonely) + " of " + std::to_string(set_count(sets)) +
                                      " sets pair no gene; "
                                : std::string()) +
                        "for example '" +
                        std::string(gene_name(sets, static_cast<std::uint32_t>(unpaired_gene))) +
                        "' of the sets is not in the list" +
                        (list_example.empty() ? "" : ", and '" + list_example + "' of the list in no set") +
                        "); " + advice);
    } else if (lonely > 0) {
        std::string example(gene_name(sets, sets.genes[sets.from[first_lonely]]));
        lines.push_back("warning: " + shown_name(set_file) + ": " + std::to_string(lonely) + " of " +
                        std::to_string(set_count(sets)) + " sets pair no gene of " + list_name + " (first: " +
                        sets.names[first_lonely] + ", whose gene '" + example +
                        "' is not in the list) and get no result line; check their identifiers");
    }
}

std::vector<std::string> reading_warnings(const std::string& gene_set_file, const std::string& gene_list_file,
                                          const read_counts& s, const read_counts& l, const set_table& sets,
                                          const score_matrix& m, const run_options& o) {
    std::vector<std::string> lines;
    warn_non_numbers(lines, gene_set_file, s, s.records + s.below, "records have a score that is");
    if (s.below > s.records)
        lines.push_back("warning: " + shown_name(gene_set_file) + ": " + std::to_string(s.below) + " of " +
                        std::to_string(s.below + s.records) + " records score below -g " + num(o.tscore) +
                        " and were dropped (first: line " + std::to_string(s.below_line) + ", score " +
                        num(s.below_score) + "); signed or small set scores need a lower cut-off, such as -g -1000");
    warn_non_numbers(lines, gene_list_file, l, o.many_lists ? l.records * m.names.size() : l.records,
                     o.many_lists ? "scores are" : "records have a score that is");
    warn_pairing(lines, gene_set_file, gene_list_file, sets, m, o);
    return lines;
}
