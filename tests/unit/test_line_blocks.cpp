// The matrix read from a file a block of lines at a time, twice, against the
// same text read whole (read_matrix_bytes: two passes over text in memory,
// the reader as it was before files were read in blocks).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "error_of.h"
#include "gzip_writer.h"
#include "input/gene_matrix.h"
#include "input/line_blocks.h"

namespace {

// A file of each test's own: ctest runs the tests side by side.
std::string temp_file(const std::string& bytes) {
    std::string path = testing::TempDir() + "quorin_" + testing::UnitTest::GetInstance()->current_test_info()->name();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// Plain, one gzip member (held whole), BGZF in batches of small and of full blocks.
std::vector<std::string> forms(const std::string& text) {
    return {text, gzip_writer::member(text), gzip_writer::bgzf(text, 700), gzip_writer::bgzf(text, 65280)};
}

// Header forms of quorin, pandas and R, quoted names, every kind of field,
// CRLF, comments, empty lines, genes repeated, with versions, and in a third
// of the files one wrong line.
std::string random_matrix(std::mt19937& rng, std::size_t rows) {
    static const char* values[] = {"1", "-2.5", "NA", "", "", "4,5", "1e3", " 2", "0.12345678901234567", "x", "-0"};
    std::size_t width = 1 + rng() % 6, form = rng() % 3;
    std::string text = rng() % 4 ? "" : "# comment\n\n";
    text += form == 0 ? "gene" : form == 1 ? "\"\"" : "";
    for (std::size_t k = 0; k < width; ++k)
        text += (k || form < 2 ? "\t" : "") + std::string(form ? "\"R" : "R") + std::to_string(k) + (form ? "\"" : "");
    text += "\n";
    std::size_t wrong = rng() % 3 ? rows : rng() % (rows + 1);
    for (std::size_t r = 0; r < rows; ++r) {
        std::string gene = "ENSG" + std::to_string(rng() % (rows / 2 + 3)) + (rng() % 3 ? "" : ".1");
        text += form && rng() % 2 ? "\"" + gene + "\"" : gene;
        for (std::size_t k = 0; k < width; ++k) text += "\t" + std::string(values[rng() % 11]);
        int kind = rng() % 40;
        text += r == wrong ? (kind % 2 ? "\tx\n" : "\n\t\n") : kind < 2 ? "\r\n" : kind < 3 ? "\n#\n\n" : "\n";
    }
    return rng() % 2 ? text : text.substr(0, text.size() - 1);
}

void expect_same(const std::string& text, const std::string& bytes, const run_options& o) {
    std::string path = temp_file(bytes);
    read_counts c1, c2;
    score_matrix a, b;
    run_error e1 = error_of([&] {
        file_bytes whole;
        whole.buffer.reserve(text.size() + 1);
        std::memcpy(whole.buffer.data, text.data(), text.size());
        whole.buffer.size = text.size();
        whole.text = std::string_view(whole.buffer.data, text.size());
        a = read_matrix_bytes(std::move(whole), path, o, c1);
    });
    run_error e2 = error_of([&] { b = read_list_matrix(path, o, c2); });
    ASSERT_EQ(e1.text(), e2.text());
    EXPECT_EQ(a.names, b.names);
    EXPECT_EQ(a.genes, b.genes);
    EXPECT_EQ(a.present, b.present);
    ASSERT_EQ(a.values.size(), b.values.size());
    EXPECT_TRUE(a.values.empty() ||
                std::memcmp(a.values.data(), b.values.data(), a.values.size() * sizeof(double)) == 0);
    EXPECT_EQ(c1.lines, c2.lines);
    EXPECT_EQ(c1.records, c2.records);
    EXPECT_EQ(c1.duplicate_names, c2.duplicate_names);
    EXPECT_EQ(c1.non_numbers, c2.non_numbers);
    EXPECT_EQ(c1.non_number_line, c2.non_number_line);
}

}  // namespace

// Lines longer than a piece, and pieces and batches that end inside lines
// and fields: every block is whole lines, and the blocks give the text, twice.
TEST(LineBlocks, GiveTheTextTwiceInWholeLines) {
    std::mt19937 rng(5);
    std::string text;
    while (text.size() < (9u << 20))
        text += std::string(rng() % 3 ? rng() % 50 : rng() % 20000, static_cast<char>('a' + rng() % 26)) +
                (rng() % 9 ? "\n" : "\r\n");
    text += std::string(5u << 20, 'x');  // longer than a piece, and no line feed at the end
    for (const std::string& bytes : forms(text)) {
        line_blocks in;
        open_lines(temp_file(bytes), 2, in);
        for (int pass = 0; pass < 2; ++pass, rewind_lines(in)) {
            std::string got;
            for (std::string_view lines; next_lines(in, lines);) {
                got += lines;
                EXPECT_TRUE(lines.back() == '\n' || got.size() == text.size());
            }
            EXPECT_TRUE(got == text) << bytes.size() << " bytes, pass " << pass;
        }
    }
}

TEST(Matrix, ReadInBlocksAsWhole) {
    std::mt19937 rng(9);
    run_options o;
    o.verbose = true;
    for (int round = 0; round < 60; ++round) {
        o.adj_method = round % 3 ? "12" : "13";
        o.strip_versions = round % 2;
        std::string text = random_matrix(rng, round % 30 == 0 ? 250000 : rng() % 40);
        for (const std::string& bytes : forms(text)) expect_same(text, bytes, o);
    }
    // A wrong line, then corrupt data further on: the data's fault is the
    // error, as when the whole file was decompressed first.
    std::string text = "gene\ta\n" + std::string("g\t1\t2\n") + random_matrix(rng, 250000);
    std::string bytes = gzip_writer::bgzf(text, 65280);
    bytes[bytes.size() - 100] ^= 1;
    std::string path = temp_file(bytes);
    read_counts counts;
    run_error e = error_of([&] { read_list_matrix(path, o, counts); });
    EXPECT_EQ(e.text(), "Sorry, couldn't read compressed file " + path + ": corrupt or truncated data");
}
