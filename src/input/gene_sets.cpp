#include "input/gene_sets.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <system_error>
#include <thread>

#include "config/config.h"
#include "input/text.h"
#include "results/output.h"

// The accepted records of one set, in file order, the gene names still in
// the file's bytes. Sorting them once and building the table from the sorted
// run is much faster than inserting each record into the tree as it comes.
struct pending_gene {
    std::string_view gene;
    double score;
};
using pending_set = std::vector<pending_gene>;
using pending_sets = std::map<std::string, pending_set, std::less<>>;

// What one stretch of the file holds: its sets, or the first wrong line.
struct chunk_result {
    pending_sets sets;
    bool wrong = false;
    std::string wrong_line;
};

static void parse_chunk(std::string_view text, chunk_result& out) {
    std::vector<std::string_view> fields, pieces, parts;
    pending_set* last = nullptr;  // consecutive lines usually name the same set
    std::string last_name;
    std::size_t pos = 0;
    std::string_view line;
    while (next_line(text, pos, line)) {
        trim_string(line);
        if (line.empty() || line[0] == '#') continue;
        split_fields(line, "\t", fields);
        bool wrong = fields.size() < 6 || fields[3].empty();
        if (!wrong) {
            double score = field_number(fields[4]);
            if (tscore > score) continue;
            split_fields(fields[3], "; ", pieces);
            if (pieces.size() >= 2) split_fields(pieces[1], "|", parts);
            wrong = pieces.size() < 2 || parts.size() < 2;
            if (!wrong) {
                if (last == nullptr || pieces[0] != last_name) {
                    auto it = out.sets.find(pieces[0]);
                    if (it == out.sets.end()) it = out.sets.emplace(std::string(pieces[0]), pending_set()).first;
                    last = &it->second;
                    last_name.assign(pieces[0]);
                }
                last->push_back({parts[1], score});
                continue;
            }
        }
        out.wrong = true;
        out.wrong_line.assign(line);
        return;
    }
}

// The later record of a gene overwrites the earlier one.
static void build_table(pending_set& pending, gene_table& genes) {
    std::stable_sort(pending.begin(), pending.end(),
                     [](const pending_gene& a, const pending_gene& b) { return a.gene < b.gene; });
    for (std::size_t k = 0; k < pending.size(); ++k) {
        if (k + 1 < pending.size() && pending[k + 1].gene == pending[k].gene) continue;
        genes.emplace_hint(genes.end(), std::string(pending[k].gene), pending[k].score);
    }
    pending_set().swap(pending);
}

// Runs work(k) for k = 0 .. count - 1 on up to `threads` threads.
static void run_parallel(std::size_t count, int threads, const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0};
    auto loop = [&] {
        for (std::size_t k; (k = next.fetch_add(1)) < count;) work(k);
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads && static_cast<std::size_t>(t) < count; ++t) {
        try {
            helpers.emplace_back(loop);
        } catch (const std::system_error&) {
            break;  // fewer helpers; the calling thread does the rest
        }
    }
    loop();
    for (auto& h : helpers) h.join();
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

void read_vemo_dataset_bed(std::string file_name) {
    vemo_set.clear();
    file_bytes bytes;
    read_file(file_name, bytes);
    std::string_view text = bytes.text;
    // Large files are parsed in stretches on the run's threads; the first
    // wrong line in file order is the one reported, as in a plain read.
    int threads = text.size() < (1u << 22) ? 1 : std::max(1, std::min(thread_n, 8));
    std::vector<std::string_view> chunks = cut_chunks(text, threads);
    std::vector<chunk_result> results(chunks.size());
    run_parallel(chunks.size(), threads, [&](std::size_t k) { parse_chunk(chunks[k], results[k]); });
    for (const chunk_result& r : results)
        if (r.wrong) fail("wrong line: " + r.wrong_line);

    pending_sets all;
    if (!results.empty()) all = std::move(results[0].sets);
    for (std::size_t k = 1; k < results.size(); ++k)
        for (auto& set : results[k].sets) {
            pending_set& into = all[set.first];
            into.insert(into.end(), std::make_move_iterator(set.second.begin()),
                        std::make_move_iterator(set.second.end()));
        }
    std::vector<pending_set*> order;
    std::vector<gene_table> tables(all.size());
    for (auto& set : all) order.push_back(&set.second);
    run_parallel(order.size(), threads, [&](std::size_t k) { build_table(*order[k], tables[k]); });
    std::size_t k = 0;
    for (auto& set : all) vemo_set.emplace_hint(vemo_set.end(), set.first, std::move(tables[k++]));
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
