#include "input/gene_sets.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <utility>

#include "common/output.h"
#include "common/radix_sort.h"
#include "config/config.h"
#include "input/text.h"

// The reader's pipeline, each step on the run's threads where it can be:
//   1. parse stretches of the file, each into a flat array of records and
//      its set names in order of first appearance (parse_chunk);
//   2. group the records by set, sets in byte order of name, each set's
//      records in file order (gather_sets);
//   3. sort each set's records by gene name, a radix sort on the names' first
//      eight bytes, then in full where those are equal (build_table);
//   4. build each set's table with its nodes in a pool cut from one block, so
//      that millions of genes do not mean millions of mallocs.

// One accepted line: its set (numbered within the stretch of the file it
// came from), its gene name still in the file's bytes, and its score.
struct set_record {
    std::uint32_t set;
    std::string_view gene;
    double score;
};

// What one stretch of the file holds: its set names in order of first
// appearance, its accepted lines in file order, or the first wrong line.
struct chunk_result {
    std::vector<std::string_view> set_names;
    std::vector<std::size_t> set_counts;  // records per set
    std::vector<set_record> records;
    std::size_t lines = 0;
    std::size_t below = 0;
    std::vector<std::string_view> below_sets;  // with --verbose: sets of records below the cut-off
    bool wrong = false;
    std::string_view wrong_line;  // in the file's bytes, which stay mapped until the message is out
};

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

set_line_kind parse_set_line(std::string_view line, std::string_view& set, std::string_view& gene, double& score) {
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
    score = field_number(line.substr(tab[3] + 1, tab[4] - tab[3] - 1));
    if (tscore > score) {
        nth_piece(name, "; ", 0, set);
        return set_line_kind::below;
    }
    std::string_view piece;
    if (!nth_piece(name, "; ", 1, piece) || !nth_piece(piece, "|", 1, gene)) return set_line_kind::wrong;
    nth_piece(name, "; ", 0, set);
    return set_line_kind::record;
}

// The shortest line that parse_set_line takes as a record: five tabs, a name
// field of at least "; |g" (a second "; " piece holding a "|" and a gene),
// and one byte after the fifth tab (a sixth tab, or the sixth field). A
// carriage return only shortens a line, so a line of the file shorter than
// this is never a record.
static constexpr std::size_t shortest_record_line = 10;

// How many lines of the text may be records: room reserved for each line
// whatever it holds would be 32 bytes for every empty line of a file.
static std::size_t record_line_bound(std::string_view text) {
    std::size_t count = 0, pos = 0;
    std::string_view line;
    while (next_line(text, pos, line)) count += line.size() >= shortest_record_line && line[0] != '#';
    return count;
}

static void parse_chunk(std::string_view text, chunk_result& out) {
    out.records.reserve(record_line_bound(text));
    advise_huge_pages(out.records.data(), out.records.capacity() * sizeof(set_record));
    std::map<std::string_view, std::uint32_t> numbers;
    std::string_view last_name;
    std::uint32_t last = 0;
    std::size_t pos = 0;
    std::string_view line, set, gene;
    double score;
    while (next_line(text, pos, line)) {
        ++out.lines;
        trim_string(line);
        set_line_kind kind = parse_set_line(line, set, gene, score);
        if (kind == set_line_kind::skip) continue;
        if (kind == set_line_kind::below) {
            ++out.below;
            if (verbose && (out.below_sets.empty() || out.below_sets.back() != set)) out.below_sets.push_back(set);
            continue;
        }
        if (kind == set_line_kind::wrong) {
            out.wrong = true;
            out.wrong_line = line;
            return;
        }
        // consecutive lines usually name the same set
        if (out.set_names.empty() || set != last_name) {
            auto it = numbers.emplace(set, static_cast<std::uint32_t>(out.set_names.size())).first;
            if (it->second == out.set_names.size()) {
                out.set_names.push_back(set);
                out.set_counts.push_back(0);
            }
            last_name = set;
            last = it->second;
        }
        out.records.push_back({last, gene, score});
        ++out.set_counts[last];
    }
}

// A gene name's first eight bytes as one number (shorter names padded with
// zero bytes): numbers in the names' byte order, so that sorting by them
// sorts by name, except among names that share their first eight bytes.
static std::uint64_t name_key(std::string_view name) {
    std::uint64_t key = 0;
    for (std::size_t k = 0; k < 8; ++k)
        key = key << 8 | (k < name.size() ? static_cast<unsigned char>(name[k]) : 0u);
    return key;
}

// Sorts one set's records by gene name, records of the same gene in file
// order, and builds the table; the later record of a gene overwrites the
// earlier one. Returns how many records were overwritten, and the first
// gene given twice.
static std::size_t build_table(const set_record* const* records, std::size_t count, gene_table& genes,
                               std::string_view& duplicate) {
    thread_local std::vector<keyed_value> sorted, spare;
    sorted.clear();
    for (std::size_t k = 0; k < count; ++k) sorted.push_back({name_key(records[k]->gene), k});
    radix_sort(sorted, spare);
    auto gene = [&](std::size_t k) { return records[sorted[k].value]->gene; };
    // Names that share their key are ordered in full; the sort is stable, so
    // records of one gene stay in file order.
    for (std::size_t k = 0, end; k < count; k = end) {
        for (end = k + 1; end < count && sorted[end].key == sorted[k].key;) ++end;
        if (end - k > 1)
            std::stable_sort(sorted.begin() + k, sorted.begin() + end, [&](const keyed_value& a, const keyed_value& b) {
                return records[a.value]->gene < records[b.value]->gene;
            });
    }
    std::size_t duplicates = 0;
    for (std::size_t k = 0; k < count; ++k) {
        if (k + 1 < count && sorted[k + 1].key == sorted[k].key && gene(k + 1) == gene(k)) {
            if (duplicates++ == 0) duplicate = gene(k);
            continue;
        }
        genes.emplace_hint(genes.end(), std::string(gene(k)), records[sorted[k].value]->score);
    }
    return duplicates;
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

// A bound on the bytes of one tree node: the entry and the node's colour and
// three links.
static constexpr std::size_t node_bytes = sizeof(gene_table::value_type) + 4 * sizeof(void*);

// Numbers the sets of all stretches in byte order of their names, and lists
// each set's records, in file order, in one stretch of `records`.
static std::vector<std::string_view> gather_sets(const std::vector<chunk_result>& results, int threads,
                                                 std::vector<const set_record*>& records,
                                                 std::vector<std::size_t>& offsets) {
    std::map<std::string_view, std::uint32_t> numbers;
    for (const chunk_result& r : results)
        for (std::string_view name : r.set_names) numbers.emplace(name, 0);
    std::vector<std::string_view> names;
    for (auto& n : numbers) {
        n.second = static_cast<std::uint32_t>(names.size());
        names.push_back(n.first);
    }
    offsets.assign(names.size() + 1, 0);
    for (const chunk_result& r : results)
        for (std::size_t k = 0; k < r.set_names.size(); ++k) offsets[numbers[r.set_names[k]] + 1] += r.set_counts[k];
    for (std::size_t k = 0; k < names.size(); ++k) offsets[k + 1] += offsets[k];
    // Where each stretch's records of each of its sets go: after those of
    // the same set in earlier stretches.
    std::vector<std::size_t> next(offsets.begin(), offsets.end() - 1);
    std::vector<std::vector<std::size_t>> place(results.size());
    for (std::size_t c = 0; c < results.size(); ++c)
        for (std::size_t k = 0; k < results[c].set_names.size(); ++k) {
            std::size_t& at = next[numbers[results[c].set_names[k]]];
            place[c].push_back(at);
            at += results[c].set_counts[k];
        }
    records.reserve(offsets.back());
    advise_huge_pages(records.data(), records.capacity() * sizeof(const set_record*));
    records.resize(offsets.back());
    run_parallel(results.size(), threads, [&](std::size_t c) {
        for (const set_record& r : results[c].records) records[place[c][r.set]++] = &r;
    });
    return names;
}

// Few names of each kind are kept: --verbose shows the first ones.
static const std::size_t names_kept = 5;

static void count_set_file(const std::vector<chunk_result>& results, const std::vector<std::string_view>& names,
                           const std::vector<std::size_t>& duplicates,
                           const std::vector<std::string_view>& duplicate, std::size_t records) {
    read_counts& c = set_file_counts;
    c = read_counts{};
    c.records = records;
    std::set<std::string_view> below_sets;
    for (const chunk_result& r : results) {
        c.lines += r.lines;
        c.below += r.below;
        below_sets.insert(r.below_sets.begin(), r.below_sets.end());
    }
    for (std::string_view s : below_sets) {
        if (std::binary_search(names.begin(), names.end(), s)) continue;
        if (c.sets_emptied++ < names_kept) c.emptied_names.emplace_back(s);
    }
    for (std::size_t k = 0; k < names.size(); ++k) {
        c.duplicates += duplicates[k];
        if (duplicates[k] > 0 && verbose && c.duplicate_names.size() < names_kept)
            c.duplicate_names.push_back(std::string(duplicate[k]) + " in " + std::string(names[k]));
    }
}

void read_vemo_dataset_bed(std::string file_name) {
    vemo_set.clear();
    vemo_set_nodes.pools.clear();
    vemo_set_nodes.block.reset();
    file_bytes bytes;
    read_file(file_name, bytes);
    std::string_view text = bytes.text;
    // Large files are parsed in stretches on the run's threads; the first
    // wrong line in file order is the one reported, as in a plain read. Below
    // 4 MB starting threads costs more than it saves; past 8 stretches the
    // reader waits on memory, not on parsing.
    int threads = text.size() < (1u << 22) ? 1 : std::max(1, std::min(thread_n, 8));
    std::vector<std::string_view> chunks = cut_chunks(text, threads);
    std::vector<chunk_result> results(chunks.size());
    run_parallel(chunks.size(), threads, [&](std::size_t k) { parse_chunk(chunks[k], results[k]); });
    for (const chunk_result& r : results)
        if (r.wrong) fail_quoting("wrong line: ", r.wrong_line);

    std::vector<const set_record*> records;
    std::vector<std::size_t> offsets;
    std::vector<std::string_view> names = gather_sets(results, threads, records, offsets);
    // Each set's pool holds a node for each of its records.
    char* block = new char[records.size() * node_bytes];
    vemo_set_nodes.block.reset(block);
    advise_huge_pages(block, records.size() * node_bytes);
    std::vector<gene_table> tables;
    tables.reserve(names.size());
    for (std::size_t k = 0; k < names.size(); ++k) {
        std::size_t size = (offsets[k + 1] - offsets[k]) * node_bytes;
        vemo_set_nodes.pools.emplace_back(block + offsets[k] * node_bytes, size);
        tables.emplace_back(&vemo_set_nodes.pools.back());
    }
    std::vector<std::size_t> duplicates(names.size());
    std::vector<std::string_view> duplicate(names.size());
    run_parallel(names.size(), threads, [&](std::size_t k) {
        duplicates[k] = build_table(records.data() + offsets[k], offsets[k + 1] - offsets[k], tables[k], duplicate[k]);
    });
    for (std::size_t k = 0; k < names.size(); ++k)
        vemo_set.emplace_hint(vemo_set.end(), std::string(names[k]), std::move(tables[k]));
    count_set_file(results, names, duplicates, duplicate, records.size());
    release_file(bytes);

    if (adj_method[0] == '2') vemo_set_abs();
    if (adj_method[0] == '3') vemo_set_rev();
}

void vemo_set_abs() {
    for (auto& set : vemo_set)
        for (auto& gene : set.second) gene.second = std::fabs(gene.second);
}

void vemo_set_rev() {
    for (auto& set : vemo_set)
        for (auto& gene : set.second) gene.second = -gene.second;
}
