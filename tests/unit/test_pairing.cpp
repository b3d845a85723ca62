#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/radix_sort.h"
#include "config/run_options.h"
#include "input/gene_sets.h"
#include "input/name_numbers.h"
#include "input/overlap.h"

namespace {

// Names that sort in awkward places: empty, prefixes of one another, bytes
// above 0x7f (which order after every ASCII byte), a NUL inside.
std::string awkward_name(std::mt19937& rng) {
    static const std::vector<std::string> parts = {"G", "G1", "g", "\xc3\xa9", "\xff", "_", "1", "0", "A", "ab", "",
                                                   "ABCDEFGHIJ"};
    std::string name;
    int n = rng() % 4;
    for (int k = 0; k < n; ++k) name += parts[rng() % parts.size()];
    if (rng() % 40 == 0) name += std::string(1, '\0') + "x";
    if (rng() % 3 == 0) name += std::to_string(rng() % 500);
    return name;
}

TEST(NameNumbers, EachNameKeepsTheNumberOfItsFirstAppearance) {
    std::mt19937 rng(3);
    std::vector<std::string> pool;
    for (int k = 0; k < 40000; ++k) pool.push_back(awkward_name(rng));
    name_numbers table;
    std::map<std::string, std::uint32_t> want;
    // 300 000 look-ups: the table grows many times on the way.
    for (int k = 0; k < 300000; ++k) {
        const std::string& name = pool[rng() % pool.size()];
        auto expected = want.emplace(name, static_cast<std::uint32_t>(want.size())).first->second;
        ASSERT_EQ(number_of(table, name), expected) << "name '" << name << "'";
    }
    ASSERT_EQ(name_count(table), want.size());
    for (const auto& w : want) ASSERT_EQ(name_of(table, w.second), w.first);
}

TEST(NameNumbers, AFullTableStillFindsItsNamesAndTakesNoMore) {
    name_numbers table;
    table.limit = 3000;
    for (int k = 0; k < 3000; ++k) ASSERT_EQ(number_of(table, "g" + std::to_string(k)), static_cast<std::uint32_t>(k));
    for (int k = 0; k < 3000; ++k) ASSERT_EQ(number_of(table, "g" + std::to_string(k)), static_cast<std::uint32_t>(k));
    EXPECT_EQ(number_of(table, "g3000"), not_numbered);
    EXPECT_EQ(number_of(table, ""), not_numbered);
    EXPECT_EQ(name_count(table), 3000u);
}

// same_bytes agrees with memcmp on every length up to 40, for equal bytes
// and for one byte changed anywhere.
TEST(NameNumbers, SameBytesAsMemcmp) {
    std::mt19937 rng(6);
    for (std::size_t n = 0; n <= 40; ++n)
        for (int trial = 0; trial < 200; ++trial) {
            std::string a(n, ' ');
            for (char& c : a) c = static_cast<char>(rng() % 4);
            std::string b = a;
            if (n > 0 && trial % 2) b[rng() % n] = static_cast<char>(rng() % 4);
            ASSERT_EQ(same_bytes(a.data(), b.data(), n), std::memcmp(a.data(), b.data(), n) == 0) << "n " << n;
        }
}

TEST(RadixSortUpper, SortsAsAStableSortByTheUpperHalf) {
    std::mt19937_64 rng(8);
    std::vector<std::uint64_t> items, spare;
    for (int round = 0; round < 400; ++round) {
        int bits = round % 33;
        std::size_t n = round % 50 == 0 ? 0 : rng() % 3000;
        // Few distinct keys at times, so that many entries tie; upper halves
        // of every width, at most `range`.
        std::uint64_t range = round % 3 == 0 ? 7 : (std::uint64_t{1} << bits) - 1;
        items.clear();
        for (std::size_t k = 0; k < n; ++k) items.push_back((rng() % (range + 1)) << 32 | (rng() & 0xffffffffu));
        std::vector<std::uint64_t> want = items;
        std::stable_sort(want.begin(), want.end(), [](std::uint64_t a, std::uint64_t b) { return a >> 32 < b >> 32; });
        radix_sort_upper(items, spare, static_cast<std::uint32_t>(range));
        ASSERT_EQ(items, want) << "round " << round;
    }
}

struct written_sets {
    std::map<std::string, std::map<std::string, double>> sets;  // later lines win
    std::vector<std::string> genes;
};

// Every gene name starts with `prefix`: identifiers often share one, which
// the reader skips when it orders the names.
written_sets write_awkward_sets(const std::string& path, const std::string& prefix, std::mt19937& rng) {
    written_sets w;
    std::ofstream out(path, std::ios::binary);
    for (int k = 0; k < 6000; ++k) {
        std::string set = "S" + std::to_string(rng() % 40);
        std::string gene = prefix + awkward_name(rng);
        if (gene.find('\t') != std::string::npos || gene.find('|') != std::string::npos) continue;
        double score = 10 + (rng() % 900) / 10.0;
        out << "chr1\t0\t1\t" << set << "; src|" << gene << "|x\t" << score << "\t.\n";
        w.sets[set][gene] = score;
        w.genes.push_back(gene);
    }
    return w;
}

// Two rankings over some of the set genes and names in no set, each gene
// missing from one ranking now and then.
score_matrix random_matrix(const std::vector<std::string>& set_genes, std::mt19937& rng) {
    score_matrix m;
    m.names = {"r1", "r2"};
    std::map<std::string, int> rows;
    for (const std::string& g : set_genes)
        if (rng() % 3 && rows.emplace(g, static_cast<int>(m.genes.size())).second) m.genes.push_back(g);
    for (int k = 0; k < 200; ++k) {
        std::string g = "only in the list " + std::to_string(k);
        if (rows.emplace(g, static_cast<int>(m.genes.size())).second) m.genes.push_back(g);
    }
    std::shuffle(m.genes.begin(), m.genes.end(), rng);
    for (std::size_t k = 0; k < m.names.size() * m.genes.size(); ++k) {
        m.values.push_back(static_cast<double>(rng() % 2000) / 100.0 - 10);
        m.present.push_back(rng() % 5 != 0);
    }
    return m;
}

// Every set against every ranking, paired through gene numbers, gives what
// pairing by name gives: the common genes in byte order of name, with the
// set's and the ranking's score of each.
TEST(Pairing, ThroughGeneNumbersAsThroughNames) {
    std::mt19937 rng(17);
    std::string path = testing::TempDir() + "quorin_pairing.bed";
    for (int round = 0; round < 5; ++round) {
        written_sets w = write_awkward_sets(path, round % 2 ? "ENSG0000" : "", rng);
        read_counts counts;
        set_table sets = read_vemo_dataset_bed(path, run_options(), counts);
        ASSERT_EQ(set_count(sets), w.sets.size());
        score_matrix m = random_matrix(w.genes, rng);
        std::map<std::string, std::size_t> row_of;
        for (std::size_t r = 0; r < m.genes.size(); ++r) row_of[m.genes[r]] = r;
        std::vector<std::uint32_t> rows, genes;
        gene_rows(sets, m, rows);
        std::size_t k = 0, paired = 0;
        for (const auto& set : w.sets) {
            for (std::size_t ranking = 0; ranking < m.names.size(); ++ranking) {
                std::vector<std::string> want_genes, got_genes;
                std::vector<double> want_x, want_y, x, y;
                for (const auto& g : set.second) {
                    auto row = row_of.find(g.first);
                    if (row == row_of.end() || !m.present[ranking * m.genes.size() + row->second]) continue;
                    want_genes.push_back(g.first);
                    want_x.push_back(g.second);
                    want_y.push_back(m.values[ranking * m.genes.size() + row->second]);
                }
                overlap_set(sets, k, rows, m, ranking, genes, x, y);
                gene_names(sets, genes, got_genes);
                ASSERT_EQ(sets.names[k], set.first);
                ASSERT_EQ(got_genes, want_genes) << set.first << ", ranking " << ranking;
                ASSERT_EQ(x, want_x) << set.first;
                ASSERT_EQ(y, want_y) << set.first;
                paired += x.size();
            }
            ++k;
        }
        EXPECT_GT(paired, 1000u);  // the matrix must pair a good share of the genes
    }
    std::remove(path.c_str());
}

}  // namespace

// Looked up on several threads, each gene gets the row one thread gives it:
// the later row of a name given twice, no_row for a name in no row.
TEST(Pairing, GeneRowsOnThreadsAsOnOne) {
    std::mt19937 rng(5);
    set_table sets;
    sets.gene_from.push_back(0);
    for (int g = 0; g < 30000; g += 1 + static_cast<int>(rng() % 2)) {
        char name[16];
        std::snprintf(name, sizeof name, "G%05d", g);
        sets.gene_text += name;
        sets.gene_from.push_back(sets.gene_text.size());
    }
    score_matrix m;
    for (int r = 0; r < 20000; ++r) {
        char name[16];
        std::snprintf(name, sizeof name, "G%05d", static_cast<int>(rng() % 32000));
        m.genes.push_back(name);
    }
    std::map<std::string, std::uint32_t> last_row;
    for (std::size_t r = 0; r < m.genes.size(); ++r) last_row[m.genes[r]] = static_cast<std::uint32_t>(r);
    std::vector<std::uint32_t> want(gene_count(sets), no_row), rows;
    for (std::uint32_t g = 0; g < gene_count(sets); ++g) {
        auto row = last_row.find(std::string(gene_name(sets, g)));
        if (row != last_row.end()) want[g] = row->second;
    }
    for (int threads : {1, 2, 3, 8}) {
        gene_rows(sets, m, rows, threads);
        EXPECT_EQ(rows, want) << threads << " threads";
    }
}
