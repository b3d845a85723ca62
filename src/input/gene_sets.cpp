#include "input/gene_sets.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "common/error.h"
#include "common/radix_sort.h"
#include "common/parallel.h"
#include "input/gene_set_line.h"
#include "input/gzip.h"
#include "input/long_table.h"
#include "input/name_numbers.h"
#include "input/name_sort.h"
#include "input/read_file.h"
#include "input/stretch_lines.h"
#include "input/text.h"

// The reader's pipeline, each step on the run's threads where it can be:
//   1. parse stretches of the file, each into a flat array of records, its set
//      names in order of first appearance, and its gene names numbered by hash
//      (parse_chunk);
//   2. number the gene names of all stretches in byte order of name
//      (number_genes);
//   3. number the sets in byte order of name (place_sets); the file's bytes
//      are then let go;
//   4. group the records by set, each set's records in file order, straight
//      into the table (fill_sets);
//   5. sort each set's genes by number, which is by name, keeping the later
//      record of a gene given twice (sort_set).
// Each gene name is copied once, and so is each set name. A regular file
// is read a block at a time by each stretch's thread (stretch_lines.h), and
// any other input held whole. The peak is 16 bytes a record while it is
// parsed (more for a record whose gene overflows its stretch's table, see
// table_room; and the file, when held whole), then 28 bytes a record while
// the table (12 bytes a record) is filled.

// One accepted line: its set and its gene, both numbered within the stretch
// of the file it came from, and its score.
struct set_record {
    std::uint32_t set;
    std::uint32_t gene;
    double score;
};

// What one stretch of the file holds: its set names in order of first
// appearance, its accepted lines in file order, or the first wrong line.
struct chunk_result {
    // The names the table needs that are not in `genes`, copied out of the
    // file's bytes: set names, and gene names that overflow.
    std::deque<std::string> names;
    std::vector<std::string_view> set_names;  // in `names`
    std::vector<std::size_t> set_counts;  // records per set
    // The stretch's genes: record gene k is names k of `genes` while k is
    // below its name count, else overflow[k - that count] (see table_room).
    name_numbers genes;
    std::vector<std::string_view> overflow;  // in `names`
    std::vector<set_record> records;
    std::size_t lines = 0;
    std::size_t below = 0;
    std::vector<std::string_view> below_sets;  // in `names`; with --verbose: sets of records below the cut-off
    bool wrong = false;
    std::string_view wrong_line;         // in wrong_holder, or else in the file's bytes
    std::shared_ptr<void> wrong_holder;  // a stretch's buffer, kept for the message
    std::size_t wrong_number = 0;  // its line within the stretch, 1-based
    // The first record below the cut-off and the first score that is not a
    // number, lines within the stretch (0: none), for the warnings.
    std::size_t below_line = 0;
    double below_score = 0;
    std::size_t non_numbers = 0;
    std::size_t non_number_line = 0;
    std::string non_number_text;
    double non_number_value = 0;
    gmt_look gmt;  // of a stretch read a block at a time
};

// The most gene names a stretch numbers by hash: 262 144 names, 4 MB of
// slots, more than the transcripts of a genome. A gene met once the table is
// full is not looked up again: it becomes an overflow entry of its own, which
// number_genes orders with the rest. A file of millions of distinct names
// would otherwise miss the cache twice a line (the slot, and the name it is
// compared with) in a table of tens of megabytes.
static constexpr std::uint32_t table_room = 1u << 18;

// What a stretch's parse carries from line to line.
struct chunk_parse {
    std::map<std::string_view, std::uint32_t> numbers;  // its sets by name
    std::string_view last_name;
    std::uint32_t last = 0;
    std::size_t bound = 0;  // the records room was made for
};

static void start_chunk(std::size_t bound, chunk_parse& p, chunk_result& out) {
    p.bound = bound;
    out.genes.limit = table_room;
    out.records.reserve(bound);
    advise_huge_pages(out.records.data(), out.records.capacity() * sizeof(set_record));
}

static std::string_view keep_name(chunk_result& out, std::string_view name) {
    out.names.emplace_back(name);
    return out.names.back();
}

// Parses whole lines of a stretch, after any parsed before; nothing more
// once a wrong line is met.
static void parse_lines(std::string_view text, const run_options& o, chunk_parse& p, chunk_result& out) {
    if (out.wrong) return;
    std::size_t pos = 0;
    std::string_view line, set, gene;
    score_text field;
    double score;
    set_line_kind kind;
    // A line is cut at its first carriage return; a stretch without one
    // need not be searched for it line by line.
    bool returns = text.find('\r') != std::string_view::npos;
    while (next_set_line(text, pos, returns, o.tscore, line, kind, set, gene, score, field)) {
        ++out.lines;
        if (kind == set_line_kind::skip) continue;
        if (kind == set_line_kind::wrong) {
            out.wrong = true;
            out.wrong_line = line;
            out.wrong_number = out.lines;
            return;
        }
        if (!field.number && out.non_numbers++ == 0) {
            out.non_number_line = out.lines;
            out.non_number_text = std::string(field.field);
            out.non_number_value = score;
        }
        if (kind == set_line_kind::below) {
            if (out.below++ == 0) {
                out.below_line = out.lines;
                out.below_score = score;
            }
            if (o.verbose && (out.below_sets.empty() || out.below_sets.back() != set))
                out.below_sets.push_back(keep_name(out, set));
            continue;
        }
        if (o.strip_versions) gene = without_version(gene);
        // consecutive lines usually name the same set
        if (out.set_names.empty() || !same_name(set, p.last_name)) {
            auto it = p.numbers.find(set);
            if (it == p.numbers.end()) {
                it = p.numbers.emplace(keep_name(out, set), static_cast<std::uint32_t>(out.set_names.size())).first;
                out.set_names.push_back(it->first);
                out.set_counts.push_back(0);
            }
            p.last = it->second;
            p.last_name = it->first;
        }
        std::uint32_t number = number_of(out.genes, gene);
        if (number == not_numbered) {
            number = static_cast<std::uint32_t>(table_room + out.overflow.size());
            out.overflow.push_back(keep_name(out, gene));
        }
        out.records.push_back({p.last, number, score});
        ++out.set_counts[p.last];
    }
}

static void parse_chunk(std::string_view text, const run_options& o, chunk_result& out) {
    chunk_parse p;
    start_chunk(record_line_bound(text), p, out);
    parse_lines(text, o, p, out);
}

// Sorts set k's entries by gene number, entries of the same gene in file
// order, and keeps the last entry of each gene: the later record overwrites
// the earlier one. The kept entries move to the front of the set's stretch;
// returns how many there are. `dropped` counts the others, and `duplicate`
// is the first gene, in order of name, given twice.
static std::size_t sort_set(set_table& t, std::size_t k, std::size_t& dropped, std::uint32_t& duplicate) {
    std::size_t from = t.from[k], count = t.from[k + 1] - from;
    // Each entry as its gene number above its place in the set: numbers that
    // sort by gene, then by place, so that a plain sort of them is stable.
    thread_local std::vector<std::uint64_t> order, spare;
    thread_local std::vector<double> scores;
    order.resize(count);
    for (std::size_t i = 0; i < count; ++i) order[i] = std::uint64_t{t.genes[from + i]} << 32 | i;
    if (count < 64)
        std::sort(order.begin(), order.end());
    else
        radix_sort_upper(order, spare, static_cast<std::uint32_t>(gene_count(t) - 1));
    scores.assign(t.scores.begin() + from, t.scores.begin() + from + count);
    std::size_t kept = 0;
    dropped = 0;
    for (std::size_t i = 0; i < count; ++i) {
        auto gene = static_cast<std::uint32_t>(order[i] >> 32);
        if (i + 1 < count && order[i + 1] >> 32 == gene) {
            if (dropped++ == 0) duplicate = gene;
            continue;
        }
        t.genes[from + kept] = gene;
        t.scores[from + kept] = scores[order[i] & 0xffffffffu];
        ++kept;
    }
    return kept;
}

// Stretches of about equal size that end at line ends.
static std::vector<std::string_view> cut_chunks(std::string_view text, int parts) {
    std::vector<std::string_view> chunks;
    std::size_t start = 0;
    for (int k = 1; k <= parts && start < text.size(); ++k) {
        std::size_t end = k == parts ? text.size() : text.size() / parts * k;
        if (end < start) end = start;
        end = text.find('\n', end);
        end = end == std::string_view::npos ? text.size() : end + 1;
        chunks.push_back(text.substr(start, end - start));
        start = end;
    }
    return chunks;
}

// Numbers the gene names of all stretches in byte order, writes each name
// once into the table, and gives each stretch's numbers their place in that
// order: genes[c][k] is the number of stretch c's gene k.
static std::vector<std::vector<std::uint32_t>> number_genes(const std::vector<chunk_result>& results,
                                                            set_table& table) {
    // Each stretch's gene k as stretch << 32 | k. A stretch has overflow
    // entries only once its table is full, so they follow its names.
    auto name_of = [&](std::uint64_t v) {
        const chunk_result& r = results[v >> 32];
        std::size_t k = v & 0xffffffffu, named = name_count(r.genes);
        return k < named ? ::name_of(r.genes, static_cast<std::uint32_t>(k)) : r.overflow[k - named];
    };
    std::vector<keyed_value> order;
    std::vector<std::vector<std::uint32_t>> genes(results.size());
    std::size_t names = 0;
    for (const chunk_result& r : results) names += name_count(r.genes) + r.overflow.size();
    order.reserve(names);
    for (std::size_t c = 0; c < results.size(); ++c) {
        genes[c].resize(name_count(results[c].genes) + results[c].overflow.size());
        for (std::uint64_t k = 0; k < genes[c].size(); ++k) order.push_back({0, c << 32 | k});
    }
    std::size_t common = sort_by_name(order, name_of);
    // new_name[k]: entry k is the first of its name.
    std::vector<std::uint8_t> new_name(order.size());
    std::size_t text = 0, distinct = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        new_name[k] = k == 0 || !same_sorted_name(order[k - 1], order[k], common, name_of);
        if (new_name[k]) text += name_of(order[k].value).size(), ++distinct;
    }
    // Gene numbers are 32 bits, and so are places within a set (sort_set):
    // four billion records would take a file of more than 40 GB.
    if (distinct >= 0xffffffffu) fail("Sorry, the gene-set file names more than 4294967294 genes");
    table.gene_text.reserve(text);
    table.gene_from.reserve(distinct + 1);
    table.gene_from.push_back(0);
    for (std::size_t k = 0; k < order.size(); ++k) {
        std::uint64_t v = order[k].value;
        if (new_name[k]) {
            table.gene_text.append(name_of(v));
            table.gene_from.push_back(table.gene_text.size());
        }
        genes[v >> 32][v & 0xffffffffu] = static_cast<std::uint32_t>(table.gene_from.size() - 2);
    }
    return genes;
}

// Numbers the sets of all stretches in byte order of their names, gives each
// its stretch of the table, and returns where each stretch's records of each
// of its sets go: place[c][k] for stretch c's set k, after the records of the
// same set in earlier stretches.
static std::vector<std::vector<std::size_t>> place_sets(const std::vector<chunk_result>& results, set_table& table) {
    // Each stretch's set k as stretch << 32 | k, sorted by name; a set met in
    // several stretches keeps them in file order.
    auto name_of = [&](std::uint64_t v) { return results[v >> 32].set_names[v & 0xffffffffu]; };
    std::vector<keyed_value> order;
    std::vector<std::vector<std::uint32_t>> number(results.size());
    for (std::size_t c = 0; c < results.size(); ++c) {
        number[c].resize(results[c].set_names.size());
        for (std::uint64_t k = 0; k < number[c].size(); ++k) order.push_back({0, c << 32 | k});
    }
    std::size_t common = sort_by_name(order, name_of);
    std::vector<std::size_t>& offsets = table.from;
    offsets.assign(1, 0);
    for (std::size_t k = 0; k < order.size(); ++k) {
        std::uint64_t v = order[k].value;
        if (k == 0 || !same_sorted_name(order[k - 1], order[k], common, name_of)) {
            table.names.emplace_back(name_of(v));
            offsets.push_back(0);
        }
        number[v >> 32][v & 0xffffffffu] = static_cast<std::uint32_t>(table.names.size() - 1);
        offsets.back() += results[v >> 32].set_counts[v & 0xffffffffu];
    }
    for (std::size_t k = 0; k < table.names.size(); ++k) {
        if (offsets[k + 1] > 0xffffffffu) fail("Sorry, gene set " + table.names[k] + " has more than 4294967295 records");
        offsets[k + 1] += offsets[k];
    }
    // Stretches in file order, so that each set's records follow those of
    // the same set in earlier stretches.
    std::vector<std::size_t> next(offsets.begin(), offsets.end() - 1);
    std::vector<std::vector<std::size_t>> place(results.size());
    for (std::size_t c = 0; c < results.size(); ++c)
        for (std::size_t k = 0; k < number[c].size(); ++k) {
            std::size_t& at = next[number[c][k]];
            place[c].push_back(at);
            at += results[c].set_counts[k];
        }
    return place;
}

// Writes each stretch's records into the table, each gene under its number
// of the whole file, and lets go of the records. The table's room is left
// unwritten (unwritten_allocator) and every place in it is written once,
// here: place_sets gives each record of each stretch a place of its own.
static void fill_sets(std::vector<chunk_result>& results, const std::vector<std::vector<std::uint32_t>>& genes,
                      std::vector<std::vector<std::size_t>>& place, int threads, set_table& table) {
    std::size_t records = table.from.back();
    table.genes.reserve(records);
    table.scores.reserve(records);
    advise_huge_pages(table.genes.data(), records * sizeof(std::uint32_t));
    advise_huge_pages(table.scores.data(), records * sizeof(double));
    table.genes.resize(records);
    table.scores.resize(records);
    run_parallel(results.size(), threads, [&](std::size_t c) {
        for (const set_record& r : results[c].records) {
            std::size_t at = place[c][r.set]++;
            table.genes[at] = genes[c][r.gene];
            table.scores[at] = r.score;
        }
        results[c].records = std::vector<set_record>();
    });
}

// Sorts every set (sort_set) and closes the gaps that dropped records leave.
static void sort_sets(set_table& t, int threads, std::vector<std::size_t>& dropped,
                      std::vector<std::uint32_t>& duplicate) {
    std::size_t sets = set_count(t);
    std::vector<std::size_t> kept(sets);
    dropped.assign(sets, 0);
    duplicate.assign(sets, 0);
    // Sets a block at a time: taking each set on its own would have the
    // threads meet at the counter of the next one every few microseconds.
    const std::size_t block = 64;
    run_parallel((sets + block - 1) / block, threads, [&](std::size_t b) {
        for (std::size_t k = b * block; k < std::min(sets, (b + 1) * block); ++k)
            kept[k] = sort_set(t, k, dropped[k], duplicate[k]);
    });
    std::size_t to = 0;
    for (std::size_t k = 0; k < sets; ++k) {
        std::size_t from = t.from[k];
        t.from[k] = to;
        if (to != from) {
            std::copy(t.genes.begin() + from, t.genes.begin() + from + kept[k], t.genes.begin() + to);
            std::copy(t.scores.begin() + from, t.scores.begin() + from + kept[k], t.scores.begin() + to);
        }
        to += kept[k];
    }
    t.from[sets] = to;
    t.genes.resize(to);
    t.scores.resize(to);
}

// Few names of each kind are kept: --verbose shows the first ones.
static const std::size_t names_kept = 5;

// What --verbose tells of the lines.
static void count_set_file(const std::vector<chunk_result>& results, const set_table& table, read_counts& c) {
    c = read_counts{};
    c.records = table.from.back();
    std::set<std::string_view> below_sets;
    for (const chunk_result& r : results) {
        if (r.below > 0 && c.below_line == 0) {
            c.below_line = c.lines + r.below_line;
            c.below_score = r.below_score;
        }
        if (r.non_numbers > 0 && c.non_number_line == 0) {
            c.non_number_line = c.lines + r.non_number_line;
            c.non_number_text = r.non_number_text;
            c.non_number_value = r.non_number_value;
        }
        c.non_numbers += r.non_numbers;
        c.lines += r.lines;
        c.below += r.below;
        below_sets.insert(r.below_sets.begin(), r.below_sets.end());
    }
    for (std::string_view s : below_sets) {
        if (std::binary_search(table.names.begin(), table.names.end(), s)) continue;
        if (c.sets_emptied++ < names_kept) c.emptied_names.emplace_back(s);
    }
}

static void count_duplicates(const set_table& table, const std::vector<std::size_t>& dropped,
                             const std::vector<std::uint32_t>& duplicate, bool verbose, read_counts& c) {
    for (std::size_t k = 0; k < set_count(table); ++k) {
        c.duplicates += dropped[k];
        if (dropped[k] > 0 && verbose && c.duplicate_names.size() < names_kept)
            c.duplicate_names.push_back(std::string(gene_name(table, duplicate[k])) + " in " + table.names[k]);
    }
}

// What a refused line lacks, for the line on standard error.
static std::string wrong_set_line_why(std::string_view line) {
    std::size_t tabs = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\t'));
    if (tabs < 5)
        return std::to_string(tabs + 1) + (tabs == 0 ? " field" : " fields") +
               ", six tab-separated fields expected (the fourth SET; x|GENE, the fifth the score)";
    return "the fourth field must be 'SET; x|GENE|...': the set name, \"; \", then the gene as the second "
           "\"|\"-separated part (a sixth field must follow the score)";
}

// The first wrong line of the file, in file order, ends the reading; its
// bytes are held by its stretch, or else by `file`.
static void fail_at_wrong_line(const std::vector<chunk_result>& results, const std::function<std::shared_ptr<void>()>& file) {
    std::size_t lines_before = 0;
    for (const chunk_result& r : results) {
        if (r.wrong)
            fail_quoting("wrong line: ", r.wrong_line, r.wrong_holder ? r.wrong_holder : file(),
                         "line " + std::to_string(lines_before + r.wrong_number) + ": " + wrong_set_line_why(r.wrong_line));
        lines_before += r.lines;
    }
}

// Steps 2 to 5 from the parsed stretches, in file order.
static set_table table_of_chunks(std::vector<chunk_result>& results, int threads, const run_options& o,
                                 read_counts& counts) {
    set_table table;
    // Numbering the genes and placing the sets read the stretches and write
    // different parts of the table: they run side by side.
    std::vector<std::vector<std::uint32_t>> genes;
    std::vector<std::vector<std::size_t>> place;
    run_parallel(2, threads, [&](std::size_t k) {
        if (k == 0) genes = number_genes(results, table);
        else place = place_sets(results, table);
    });
    count_set_file(results, table, counts);
    for (chunk_result& r : results) {
        r.genes = name_numbers();
        r.overflow = {};
        r.set_names = {};
        r.below_sets = {};
        r.names = {};
    }
    fill_sets(results, genes, place, threads, table);
    std::vector<std::size_t> dropped;
    std::vector<std::uint32_t> duplicate;
    sort_sets(table, threads, dropped, duplicate);
    count_duplicates(table, dropped, duplicate, o.verbose, counts);

    if (o.adj_method[0] == '2') vemo_set_abs(table);
    if (o.adj_method[0] == '3') vemo_set_rev(table);
    return table;
}

// Large inputs are parsed in stretches on the run's threads. Below 4 MB
// starting threads costs more than it saves; past 8 stretches the reader
// waits on memory, not on parsing.
static int reading_threads(std::size_t bytes, const run_options& o, std::size_t split_at = std::size_t{1} << 22) {
    return bytes < split_at ? 1 : std::max(1, std::min(o.thread_n, 8));
}

set_table read_set_bytes(file_bytes bytes, const run_options& o, read_counts& counts) {
    std::string_view text = bytes.text;
    int threads = reading_threads(text.size(), o);
    std::vector<std::string_view> chunks = cut_chunks(text, threads);
    std::vector<chunk_result> results(chunks.size());
    run_parallel(chunks.size(), threads,
                 [&](std::size_t k) { parse_chunk(chunks[k], o, results[k]); });
    fail_at_wrong_line(results, [&] { return std::make_shared<file_bytes>(std::move(bytes)); });
    // Every name is copied out of the file's bytes: the file and the table
    // are never held at once.
    release_file(bytes);
    return table_of_chunks(results, threads, o, counts);
}

// The records of a stretch, from how many lines its first block holds: an
// estimate, which the records outgrow by growing where it falls short.
static std::size_t estimated_bound(std::string_view sample, std::size_t bytes) {
    double per_byte =
        static_cast<double>(record_line_bound(sample)) / static_cast<double>(std::max<std::size_t>(sample.size(), 1));
    return static_cast<std::size_t>(per_byte * static_cast<double>(bytes) * 1.25) + 64;
}

// A stretch's lines as they are read. After a wrong line the stretch is
// still read to its end, so that a file cut short or a read error further
// on is what is reported, as when the file was read whole first.
static void parse_stretch(stretch_lines& s, const run_options& o, chunk_result& out) {
    chunk_parse p;
    std::string_view lines;
    while (next_stretch_lines(s, lines)) {
        if (p.bound == 0) start_chunk(estimated_bound(lines, s.to - s.from), p, out);
        if (!gmt_look_done(out.gmt)) look_for_gmt(lines, out.gmt);
        parse_lines(lines, o, p, out);
        if (out.wrong && !out.wrong_holder) out.wrong_holder = take_text(s);
    }
}

// refuse_gmt over a file read in stretches, from the look at each
// stretch's first lines: a look that did not end saw all of its stretch.
static void refuse_gmt_stretches(const std::vector<chunk_result>& results, const std::string& file_name) {
    std::size_t lines_before = 0, gmt = 0, first = 0;
    for (const chunk_result& r : results) {
        if (r.gmt.gmt > 0 && first == 0) first = lines_before + r.gmt.first;
        gmt += r.gmt.gmt;
        if (gmt >= 10) break;
        if (r.gmt.other) return;
        lines_before += r.gmt.lines;
    }
    if (gmt > 0) gmt_refused(file_name, first);
}

// A regular file that is not compressed, given by name: read in stretches
// (stretch_lines.h) and parsed as they come in. Anything else is read whole
// first.
static bool read_in_stretches(const std::string& file_name, open_input& in) {
    struct stat info;
    if (file_name == "-" || stat(file_name.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0)
        return false;
    open_file(file_name, in);
    char magic[2];
    return in.regular && in.expected > 0 && read_at(in, file_name, magic, 2, 0) == 2 &&
           !starts_gzip(std::string_view(magic, 2));
}

set_table read_set_file(const std::string& file_name, const run_options& o, read_counts& counts,
                        std::size_t block, std::size_t split_at) {
    open_input in;
    if (!read_in_stretches(file_name, in)) {
        file_bytes bytes;
        read_file(file_name, o.thread_n, bytes);
        refuse_gmt(bytes.text, file_name);
        return read_set_bytes(std::move(bytes), o, counts);
    }
    std::size_t size = in.expected;
    int threads = reading_threads(size, o, split_at);
    auto parts = static_cast<std::size_t>(threads);
    std::vector<stretch_lines> stretches(parts);
    std::vector<chunk_result> results(parts);
    run_parallel(parts, threads, [&](std::size_t k) {
        open_stretch(in, file_name, size * k / parts, size * (k + 1) / parts, k == 0, k + 1 == parts, block,
                     stretches[k]);
        parse_stretch(stretches[k], o, results[k]);
    });
    for (const stretch_lines& s : stretches) check_whole(in, file_name, s.cut ? 0 : size);
    refuse_gmt_stretches(results, file_name);
    fail_at_wrong_line(results, [] { return std::shared_ptr<void>(); });
    return table_of_chunks(results, threads, o, counts);
}

set_table read_vemo_dataset_bed(const std::string& file_name, const run_options& o, read_counts& counts) {
    file_bytes bytes;
    read_file(file_name, o.thread_n, bytes);
    return read_set_bytes(std::move(bytes), o, counts);
}

void vemo_set_abs(set_table& t) {
    for (double& score : t.scores) score = std::fabs(score);
}

void vemo_set_rev(set_table& t) {
    for (double& score : t.scores) score = -score;
}
