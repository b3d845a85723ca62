#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "config/run_options.h"
#include "error_of.h"
#include "input/gene_set_line.h"
#include "input/gene_sets.h"
#include "input/long_table.h"
#include "input/read_file.h"
#include "input/text.h"

namespace {

std::uint64_t bits(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

std::string pick(std::mt19937& rng, const std::vector<std::string>& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(rng)];
}

// Numbers as users write them and the odd ones around them: signs, points,
// up to 20 digits, exponents, hex, words, trailing junk.
std::string random_number(std::mt19937& rng) {
    static const std::vector<std::string> signs = {"", "", "-", "+", "--", " "};
    static const std::vector<std::string> tails = {"", "", "", "e3", "E-2", "x", " ", ".", "e", "%"};
    std::string s = pick(rng, signs);
    if (rng() % 50 == 0) return s + pick(rng, {"inf", "nan", "0x1p3", "1e400", "1e-400", ".", ""});
    int before = rng() % 12, after = rng() % 12;
    for (int k = 0; k < before; ++k) s += static_cast<char>('0' + (k == 0 && rng() % 3 ? 1 + rng() % 9 : rng() % 10));
    if (rng() % 3) s += '.';
    for (int k = 0; k < after; ++k) s += static_cast<char>('0' + rng() % 10);
    return s + pick(rng, tails);
}

TEST(Numbers, EveryFieldReadsAsAtofReadsIt) {
    std::mt19937 rng(5);
    for (int k = 0; k < 200000; ++k) {
        std::string field = random_number(rng);
        ASSERT_EQ(bits(field_number(field)), bits(std::atof(field.c_str()))) << "field '" << field << "'";
        bool number;
        ASSERT_EQ(bits(field_number(field, number)), bits(std::atof(field.c_str()))) << "field '" << field << "'";
        ASSERT_EQ(number, number_field(field)) << "field '" << field << "'";
    }
    EXPECT_EQ(bits(field_number("-0")), bits(-0.0));
    EXPECT_EQ(bits(field_number("-0.000")), bits(-0.0));
    EXPECT_EQ(field_number("0.1"), 0.1);
    EXPECT_EQ(field_number("123456789012345"), 123456789012345.0);
    EXPECT_EQ(field_number("1234567890123456789"), 1234567890123456789.0);
}

// A line as the file-format rules read it, written with the splitting
// function: the kind, and the set, gene and score of a record.
set_line_kind model_line(const std::string& line, double tscore, std::string& set, std::string& gene, double& score) {
    if (line.empty() || line[0] == '#') return set_line_kind::skip;
    std::vector<std::string> fields = str_split(line, "\t");
    if (fields.size() < 6 || fields[3].empty()) return set_line_kind::wrong;
    score = std::atof(fields[4].c_str());
    if (tscore > score) {
        set = str_split(fields[3], "; ").empty() ? "" : str_split(fields[3], "; ")[0];
        return set_line_kind::below;
    }
    std::vector<std::string> pieces = str_split(fields[3], "; ");
    if (pieces.size() < 2) return set_line_kind::wrong;
    std::vector<std::string> parts = str_split(pieces[1], "|");
    if (parts.size() < 2) return set_line_kind::wrong;
    set = pieces[0];
    gene = parts[1];
    return set_line_kind::record;
}

// Lines near the record form: five to seven tab-separated fields whose
// fourth is cut from set names, "; ", "|" and their fragments.
std::string random_line(std::mt19937& rng) {
    static const std::vector<std::string> bits_of_name = {"S", "T", "; ", ";", " ", "|", "g", "G1", "", "||", "; ; ", "\t"};
    static const std::vector<std::string> plain = {"", "chr1", "0", "x", " ", "#"};
    int fields = 4 + rng() % 4;
    std::string line;
    for (int f = 0; f < fields; ++f) {
        if (f) line += '\t';
        if (f == 3 && rng() % 2) {
            line += pick(rng, {"S", "", "T; U", "S S"}) + pick(rng, {"; ", "; ", ";", " ", ""}) +
                    pick(rng, {"src", "", "|"}) + pick(rng, {"|", "|", "||", ""}) + pick(rng, {"G1", "", "g"}) +
                    pick(rng, {"", "|x", "; z", "|", "\r"});
        } else if (f == 3) {
            int n = rng() % 7;
            for (int k = 0; k < n; ++k) line += pick(rng, bits_of_name);
        } else if (f == 4) {
            line += random_number(rng);
        } else {
            line += pick(rng, plain);
        }
    }
    if (rng() % 10 == 0) line += '\t';
    return line;
}

// Now and then a line made long: its first field or its gene name padded,
// mostly with letters, to beyond the 16 and 64 bytes searched at once.
std::string padded(std::string line, std::mt19937& rng) {
    std::size_t pad = rng() % 4 == 0 ? rng() % 90 : 0;
    std::size_t at = rng() % 2 ? 0 : line.find('|') != std::string::npos ? line.find('|') + 1 : 0;
    line.insert(at, std::string(pad, "cg;| \t#"[rng() % 8 == 0 ? rng() % 7 : 0]));
    return line;
}

TEST(GeneSetLines, FastSplitReadsAsTheSplittingFunction) {
    std::mt19937 rng(9);
    for (double cutoff : {10.0, -1e300}) {
        int records = 0;
        for (int k = 0; k < 100000; ++k) {
            std::string line = k % 2 ? padded(random_line(rng), rng) : random_line(rng);
            std::string want_set, want_gene;
            double want_score = 0, score = 0;
            std::string_view set, gene;
            set_line_kind want = model_line(line, cutoff, want_set, want_gene, want_score);
            set_line_kind got = parse_set_line(line, cutoff, set, gene, score);
            ASSERT_EQ(static_cast<int>(got), static_cast<int>(want)) << "line '" << line << "'";
            if (want == set_line_kind::below) {
                ASSERT_EQ(set, want_set) << "line '" << line << "'";
            }
            if (want != set_line_kind::record) continue;
            ++records;
            ASSERT_EQ(set, want_set) << "line '" << line << "'";
            ASSERT_EQ(gene, want_gene) << "line '" << line << "'";
            ASSERT_EQ(bits(score), bits(want_score)) << "line '" << line << "'";
        }
        EXPECT_GT(records, 3000);  // the generator must reach the record path
    }
}

// The reader reserves room only for lines of at least ten bytes: no shorter
// line is a record, whatever its bytes (every line of up to nine bytes over
// the bytes that matter to the parser), and the bound is tight.
TEST(GeneSetLines, NoLineShorterThanTenBytesIsARecord) {
    const double tscore = -1e300;
    const char bytes[] = {'\t', ';', ' ', '|', 'g'};
    std::string_view set, gene;
    double score;
    std::string line;
    long tried = 0;
    for (std::size_t length = 0; length <= 9; ++length) {
        std::vector<int> digit(length, 0);
        for (;;) {
            line.assign(length, ' ');
            for (std::size_t k = 0; k < length; ++k) line[k] = bytes[digit[k]];
            ASSERT_NE(static_cast<int>(parse_set_line(line, tscore, set, gene, score)), static_cast<int>(set_line_kind::record))
                << "line '" << line << "'";
            ++tried;
            std::size_t k = 0;
            while (k < length && ++digit[k] == 5) digit[k++] = 0;
            if (k == length) break;
        }
    }
    EXPECT_GT(tried, 2000000);
    EXPECT_EQ(static_cast<int>(parse_set_line("\t\t\t; |g\t\tX", tscore, set, gene, score)),
              static_cast<int>(set_line_kind::record));
    EXPECT_EQ(static_cast<int>(parse_set_line("\t\t\t; |g\t\t\t", tscore, set, gene, score)),
              static_cast<int>(set_line_kind::record));
}

// Reading a file's lines with next_set_line gives what next_line, trim_string
// and parse_set_line give line by line: lines near the record form, some of
// them long, comments, empty lines and carriage returns anywhere in some
// texts.
TEST(GeneSetLines, LinesOfATextReadAsLineByLine) {
    std::mt19937 rng(19);
    for (int trial = 0; trial < 400; ++trial) {
        std::string text;
        bool returns = trial % 3 == 0;
        for (int k = 0; k < 60; ++k) {
            std::string line = padded(random_line(rng), rng);
            if (rng() % 25 == 0) line = rng() % 2 ? "# comment" : "";
            if (returns && rng() % 4 == 0) line.insert(rng() % (line.size() + 1), "\r");
            text += line;
            if (k < 59 || rng() % 2) text += '\n';
        }
        // The bound on record lines counts as next_line cuts, whole or cut anywhere.
        for (std::size_t cut : {text.size(), static_cast<std::size_t>(rng() % text.size())}) {
            std::string_view part = std::string_view(text).substr(0, cut), each;
            std::size_t bound = 0, at = 0;
            while (next_line(part, at, each)) bound += each.size() >= shortest_record_line && each[0] != '#';
            ASSERT_EQ(record_line_bound(part), bound);
        }
        for (double cutoff : {10.0, -1e300}) {
            std::size_t pos = 0, want_pos = 0;
            std::string_view line, set, gene, want_line, want_set, want_gene;
            double score, want_score;
            score_text field{}, want_field{};
            set_line_kind kind;
            while (next_line(text, want_pos, want_line)) {
                if (returns) trim_string(want_line);
                set_line_kind want = parse_set_line(want_line, cutoff, want_set, want_gene, want_score, &want_field);
                ASSERT_TRUE(next_set_line(text, pos, returns, cutoff, line, kind, set, gene, score, field));
                ASSERT_EQ(pos, want_pos);
                ASSERT_EQ(static_cast<int>(kind), static_cast<int>(want)) << "line '" << want_line << "'";
                ASSERT_EQ(line, want_line);
                if (want == set_line_kind::skip || want == set_line_kind::wrong) continue;
                ASSERT_EQ(set, want_set) << "line '" << want_line << "'";
                if (want == set_line_kind::record) {
                    ASSERT_EQ(gene, want_gene) << "line '" << want_line << "'";
                }
                ASSERT_EQ(bits(score), bits(want_score)) << "line '" << want_line << "'";
                ASSERT_EQ(field.field, want_field.field);
                ASSERT_EQ(field.number, want_field.number);
            }
            ASSERT_FALSE(next_set_line(text, pos, returns, cutoff, line, kind, set, gene, score, field));
        }
    }
}

// The table as set name -> gene name -> score.
std::map<std::string, std::map<std::string, double>> as_map(const set_table& t) {
    std::map<std::string, std::map<std::string, double>> sets;
    for (std::size_t k = 0; k < set_count(t); ++k) {
        auto& genes = sets[t.names[k]];
        for (std::size_t i = t.from[k]; i < t.from[k + 1]; ++i) {
            genes.emplace(gene_name(t, t.genes[i]), t.scores[i]);
            if (i > t.from[k] && t.genes[i] <= t.genes[i - 1]) genes.emplace("(not in order of name)", 0);
        }
    }
    return sets;
}

// A file of many records, genes repeated within and across sets, sets
// interleaved, and the table a plain map-by-map read gives.
// With `distinct` names beyond the 3 000 common ones, half the lines draw
// from those: more names than a stretch numbers by hash.
std::map<std::string, std::map<std::string, double>> write_sets_file(const std::string& path, std::size_t lines,
                                                                     std::mt19937& rng, int distinct = 0) {
    std::map<std::string, std::map<std::string, double>> want;
    std::ofstream out(path, std::ios::binary);
    std::uniform_int_distribution<int> set_of(0, 60), gene_of(0, 3000), rare_of(0, distinct);
    std::string set, gene;
    for (std::size_t k = 0; k < lines; ++k) {
        // Now and then the line before again, with another score.
        if (k == 0 || rng() % 20 != 0) {
            set = "SET" + std::to_string(set_of(rng));
            if (rng() % 7 == 0) set += "LONGER_THAN_EIGHT";
            int g = distinct > 0 && rng() % 2 ? 3001 + rare_of(rng) : gene_of(rng);
            gene = (rng() % 5 == 0 ? "GENE_WITH_A_LONG_NAME_" : "G") + std::to_string(g);
            if (rng() % 50 == 0) gene = gene.substr(0, 3);
        }
        double score = 10 + (rng() % 1000) / 10.0;
        out << "chr1\t0\t1\t" << set << "; src|" << gene << "|x\t" << score << "\t.\r\n";
        if (rng() % 100 == 0) out << "# a comment\n\n";
        want[set][gene] = score;  // a later record of a gene overwrites the earlier
    }
    return want;
}

TEST(GeneSetReader, LargeFilesReadOnSeveralThreadsGiveThePlainTable) {
    std::mt19937 rng(21);
    std::string path = testing::TempDir() + "quorin_sets.bed";
    for (int threads : {1, 3}) {
        // 150 000 lines (over 4 MB) take the path that parses in stretches.
        auto want = write_sets_file(path, threads == 1 ? 20000 : 150000, rng);
        run_options o;
        o.thread_n = threads;
        read_counts counts;
        set_table sets = read_vemo_dataset_bed(path, o, counts);
        ASSERT_EQ(as_map(sets), want);
        std::size_t kept = 0;
        for (const auto& set : want) kept += set.second.size();
        EXPECT_EQ(counts.duplicates, counts.records - kept);
    }
    std::remove(path.c_str());
}

// Stretches of the file with more distinct gene names than their tables
// take (262 144): the names beyond are ordered and numbered with the others.
TEST(GeneSetReader, MoreDistinctNamesThanAStretchNumbersByHash) {
    std::mt19937 rng(23);
    std::string path = testing::TempDir() + "quorin_many_names.bed";
    auto want = write_sets_file(path, 1200000, rng, 4000000);
    run_options o;
    o.thread_n = 2;
    read_counts counts;
    set_table sets = read_vemo_dataset_bed(path, o, counts);
    ASSERT_EQ(as_map(sets), want);
    std::size_t kept = 0;
    for (const auto& set : want) kept += set.second.size();
    EXPECT_EQ(counts.duplicates, counts.records - kept);
    EXPECT_GT(gene_count(sets), 2u * 262144u);  // a stretch had more than its table takes
    std::remove(path.c_str());
}

// Files of records, lines near their form, comments, blank lines, GMT
// lines, long lines and CR LF, with or without a last line feed: read in
// stretches a few bytes at a time, each gives the table, the counts and the
// first error of the file read whole.
TEST(GeneSetReader, ReadInStretchesAsReadWhole) {
    std::mt19937 rng(29);
    std::string path = testing::TempDir() + "quorin_stretches.bed";
    for (int file = 0; file < 1000; ++file) {
        std::string text;
        bool gmt = file % 10 == 0;
        // Lines before a GMT file's first, now and then more than a stretch holds.
        int head = static_cast<int>(rng() % 2 ? 40 + rng() % 40 : rng() % 6);
        int lines = 1 + rng() % (file % 3 ? 300 : 20) + (gmt ? head + 14 : 0);
        for (int k = 0; k < lines; ++k) {
            int kind = rng() % 100;
            std::string line;
            if (gmt && k < head) line = pick(rng, {"#", "", "# x"});
            else if (gmt && k < head + 14) line = k % 5 == 4 ? "# about" : "SET" + std::to_string(k) + "\tdesc\tG1\tG2";
            else if (kind < 2) line = random_line(rng);
            else if (kind < 6) line = pick(rng, {"", "# comment", "  ", "#"});
            else
                line = "c\t0\t1\tS" + std::to_string(rng() % 9) + "; x|G" + std::to_string(rng() % 40) +
                       (kind < 12 ? std::string(rng() % 900, 'n') : "") + "\t" + random_number(rng) + "\t+";
            text += line + (rng() % 8 == 0 ? "\r\n" : "\n");
        }
        if (rng() % 3 == 0) text.pop_back();
        std::ofstream(path, std::ios::binary) << text;
        run_options o;
        o.thread_n = gmt ? 8 : 1 + static_cast<int>(rng() % 8);
        o.tscore = rng() % 2 ? -1e300 : 0;
        o.verbose = rng() % 2;
        read_counts whole_counts, counts;
        set_table whole, stretched;
        run_error whole_error = error_of([&] {
            file_bytes bytes;
            read_file(path, 1, bytes);
            refuse_gmt(bytes.text, path);
            whole = read_set_bytes(std::move(bytes), o, whole_counts);
        });
        std::size_t block = 1 + rng() % 64;
        run_error error = error_of([&] { stretched = read_set_file(path, o, counts, block, 0); });
        ASSERT_EQ(error.text(), whole_error.text()) << "file " << file << " block " << block;
        ASSERT_EQ(error.detail, whole_error.detail) << "file " << file;
        if (error) continue;
        ASSERT_EQ(stretched.names, whole.names) << "file " << file;
        ASSERT_EQ(stretched.from, whole.from);
        ASSERT_EQ(stretched.gene_text, whole.gene_text);
        ASSERT_EQ(stretched.gene_from, whole.gene_from);
        ASSERT_TRUE(std::equal(stretched.genes.begin(), stretched.genes.end(), whole.genes.begin(), whole.genes.end()));
        for (std::size_t i = 0; i < whole.scores.size(); ++i) ASSERT_EQ(bits(stretched.scores[i]), bits(whole.scores[i]));
        EXPECT_EQ(counts.lines, whole_counts.lines) << "file " << file << " threads " << o.thread_n << " block " << block << " text [" << text << "]";
        EXPECT_EQ(counts.records, whole_counts.records);
        EXPECT_EQ(counts.below, whole_counts.below);
        EXPECT_EQ(counts.duplicates, whole_counts.duplicates);
        EXPECT_EQ(counts.emptied_names, whole_counts.emptied_names);
        EXPECT_EQ(counts.non_number_line, whole_counts.non_number_line);
        EXPECT_EQ(counts.non_number_text, whole_counts.non_number_text);
    }
    std::remove(path.c_str());
}

}  // namespace
