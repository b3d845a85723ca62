#include "diagnostics/diagnostics.h"

#include <cstdio>
#include <vector>

#include "common/output.h"
#include "common/records.h"

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
    if (s.below > s.records)
        say("warning: most gene-set records (" + std::to_string(s.below) + " of " +
            std::to_string(s.below + s.records) + ") score below -g " + num(o.tscore) +
            "; signed or small set scores need a lower cut-off, such as -g -1000");
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
    if (sets > 0 && t.no_pairs.size() == sets)
        say("warning: no gene of any set is in the gene list; names must match exactly (case and blanks "
            "count), so check that both files use the same identifiers and that the gene list's first "
            "column holds the genes");
    return lines;
}
