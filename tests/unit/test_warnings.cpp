// Input that makes a run probably wrong is told, not silently taken; the
// other formats people have (long tables, R and pandas matrices) read as
// the gene-set file and the matrix do.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "error_of.h"
#include "input/gene_matrix.h"
#include "input/long_table.h"
#include "input/text.h"
#include "quorin/quorin.h"
#include "results/genes_table.h"

static std::string write_temp(const std::string& name, const std::string& text) {
    std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

static command_line parsed(std::vector<std::string> words, run_error* error = nullptr) {
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    command_line c;
    run_error e = quorin::parse_command_line(static_cast<int>(argv.size()), argv.data(), c);
    if (error) *error = e;
    return c;
}

static std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    return text;
}

TEST(Text, VersionSuffixOfAccessionsOnly) {
    const struct { const char* name; const char* bare; } cases[] = {
        {"ENSG00000141510.17", "ENSG00000141510"}, {"NM_000546.6", "NM_000546"}, {"ENSG00000141510", "ENSG00000141510"},
        {"RP11-34P13.7", "RP11-34P13.7"}, {"TP53", "TP53"}, {"ENSG1.", "ENSG1."}, {"ENSG1.x", "ENSG1.x"},
        {"12.3", "12.3"}, {"AB.3", "AB.3"}, {"A1B2.3", "A1B2.3"}, {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(without_version(c.name), c.bare) << c.name;
}

// number_field agrees with a straightforward reading: strtod takes the whole field.
TEST(Text, NumberFieldAgreesWithStrtod) {
    const char* fields[] = {"1", "-2.5", "+3.", ".5", "1e-5", "4,5", "NA", "", "abc", "1 ", " 1", "-", ".", "0x10",
                            "inf", "12abc", "1e", "999999999999999999"};
    for (const char* f : fields) {
        char* end = nullptr;
        std::strtod(f, &end);
        EXPECT_EQ(number_field(f), end != f && *end == '\0') << "'" << f << "'";
    }
}

// Each option fault gives one warning naming the word; clean lines give none.
TEST(Options, WarningsOnWordsThatDoNothingOrNotWhatTheySeem) {
    const struct { std::vector<std::string> words; const char* warned; } cases[] = {
        {{"quorin", "-s", "a", "-i", "b", "-g", "-1000", "-t", "2"}, ""},
        {{"quorin", "-s", "a", "list.txt"}, "the word 'list.txt' (word 3"},
        {{"quorin", "-p", "0.8", "-s", "a"}, "-p takes no value: '0.8' (word 2"},
        {{"quorin", "--auto_p", "0.8"}, "-p takes no value: '0.8'"},
        {{"quorin", "-p", "auto_p"}, "the word 'auto_p'"},
        {{"quorin", "-g", "minus1000"}, "-g 'minus1000' is not a number; it was read as 0"},
        {{"quorin", "-g", "4,5"}, "-g '4,5' is not a number; it was read as 4"},
        {{"quorin", "-t", "2x"}, "-t '2x' is not a number; it was read as 2"},
        {{"quorin", "-g", "minus1000", "--quiet"}, ""},
    };
    for (const auto& c : cases) {
        command_line got = parsed(c.words);
        std::string text = joined(got.warnings);
        if (*c.warned == '\0') {
            EXPECT_EQ(text, "") << c.words[1];
        } else {
            EXPECT_EQ(got.warnings.size(), 1u) << text;
            EXPECT_NE(text.find(std::string("warning: ") + c.warned), std::string::npos) << text;
        }
    }
    run_error e;
    parsed({"quorin", "-g", "x", "--strict"}, &e);
    EXPECT_EQ(e.text(), "stopped by --strict: -g 'x' is not a number; it was read as 0: give a number, such as -g -1000");
}

// The warnings after reading: each input fault, one line with the file, the
// count and the first example; clean input, none.
TEST(Library, ReadingWarnings) {
    std::string clean_sets = "c\t0\t1\tS; x|g1|y\t3\t.\nc\t0\t1\tS; x|g2|y\t2\t.\nc\t0\t1\tS; x|g3|y\t1\t.\n";
    std::string clean_list = "g1\t1\ng2\t2\ng3\t3\n";
    const struct { const char* what; std::string sets, list; std::vector<std::string> options; const char* warned; } cases[] = {
        {"clean", clean_sets, clean_list, {"-g", "0"}, ""},
        {"below -g", clean_sets, clean_list, {"-g", "2.5"}, "2 of 3 records score below -g 2.5 and were dropped (first: line 2, score 2)"},
        {"NA in the list", clean_sets, "g1\t1\ng2\tNA\ng3\t3\n", {"-g", "0"}, "1 of 3 records have a score that is not a number (first: line 2, 'NA', read as 0)"},
        {"decimal comma", clean_sets, "g1\t1\ng2\t4,5\ng3\t3\n", {"-g", "0"}, "(first: line 2, '4,5', read as 4)"},
        {"word in a set", "c\t0\t1\tS; x|g1|y\tbig\t.\n" + clean_sets, clean_list, {"-g", "-1"}, "(first: line 1, 'big', read as 0)"},
        {"empty set score", "c\t0\t1\tS; x|g1|y\t\t.\n", clean_list, {"-g", "-1"}, "(first: line 1, '', read as 0)"},
        {"versions", "c\t0\t1\tS; x|g1.2|y\t3\t.\nc\t0\t1\tS; x|g2.1|y\t2\t.\n", clean_list, {"-g", "0"}, "only 0 of its 2 genes are in"},
        {"a lonely set", clean_sets + "c\t0\t1\tT; x|zz|y\t1\t.\n", clean_list, {"-g", "0"}, "1 of 2 sets pair no gene of"},
    };
    for (const auto& c : cases) {
        command_line cl = parsed([&] {
            std::vector<std::string> w = {"quorin", "-s", write_temp("w.bed", c.sets), "-i", write_temp("w.txt", c.list)};
            w.insert(w.end(), c.options.begin(), c.options.end());
            return w;
        }());
        quorin::gene_sets sets;
        quorin::rankings list;
        ASSERT_FALSE(quorin::read_gene_sets(cl.files.gene_set, cl.options, sets)) << c.what;
        ASSERT_FALSE(quorin::read_gene_list(cl.files.gene_list, cl.options, list)) << c.what;
        std::vector<std::string> w = quorin::reading_warnings(sets, list, cl.options);
        std::string text = joined(w);
        if (*c.warned == '\0') {
            EXPECT_EQ(text, "") << c.what;
            continue;
        }
        EXPECT_EQ(w.size(), 1u) << c.what << ": " << text;
        EXPECT_NE(text.find(c.warned), std::string::npos) << c.what << ": " << text;
        EXPECT_EQ(text.rfind("warning: ", 0), 0u) << c.what;
        cl.options.strict = true;
        EXPECT_EQ(quorin::strict_error(w, cl.options).text().rfind("stopped by --strict: ", 0), 0u) << c.what;
    }
}

static std::string table_of(const quorin::gene_sets& s) {
    std::string text;
    const set_table& t = s.table;
    for (std::size_t k = 0; k < set_count(t); ++k)
        for (std::size_t e = t.from[k]; e < t.from[k + 1]; ++e)
            text += t.names[k] + " " + std::string(gene_name(t, t.genes[e])) + " " + num(t.scores[e], 17) + "\n";
    return text + std::to_string(s.counts.lines) + " lines " + std::to_string(s.counts.non_numbers) + " non-numbers\n";
}

// A long table reads as the gene-set file of the same records: random
// records, written both ways (tab and comma, quoted or not, R's short
// header, other columns), give the same table and counts.
TEST(LongTable, ReadsAsTheGeneSetFileOfTheSameRecords) {
    std::mt19937 rng(7);
    const char* headers[] = {"set\tgene\tscore", "source,target,weight", "\"\",\"source\",\"target\",\"mor\"",
                             "x\tTERM\tFeature\tValue", "source\ttarget\tmor"};
    for (int round = 0; round < 40; ++round) {
        int layout = round % 5;
        std::string bed, table = std::string(headers[layout]) + "\n";
        bed += "# header\n";
        for (int r = 0, n = 1 + static_cast<int>(rng() % 60); r < n; ++r) {
            std::string set = "S" + std::to_string(rng() % 4), gene = "g" + std::to_string(rng() % 30);
            std::string score = std::to_string(static_cast<int>(rng() % 2001) - 1000) + "." + std::to_string(rng() % 100);
            if (rng() % 10 == 0) score = "NA";
            bed += "c\t0\t1\t" + set + "; x|" + gene + "|y\t" + score + "\t.\n";
            switch (layout) {
            case 0: table += set + "\t" + gene + "\t" + score + "\n"; break;
            case 1: table += set + "," + gene + "," + score + "\n"; break;
            case 2: table += "\"" + std::to_string(r) + "\",\"" + set + "\",\"" + gene + "\"," + score + "\n"; break;
            case 3: table += "z\t" + set + "\t" + gene + "\t" + score + "\n"; break;
            default: table += "row" + std::to_string(r) + "\t" + set + "\t" + gene + "\t" + score + "\n"; break;
            }
        }
        run_options o;
        o.tscore = -HUGE_VAL;
        quorin::gene_sets from_bed, from_table;
        ASSERT_FALSE(quorin::read_gene_sets(write_temp("r.bed", bed), o, from_bed));
        o.long_table = true;
        ASSERT_FALSE(quorin::read_gene_sets(write_temp("r.csv", table), o, from_table)) << table;
        EXPECT_EQ(table_of(from_table), table_of(from_bed)) << "layout " << layout;
    }
}

// Each fault of a long table: one line naming the file and the line.
TEST(LongTable, Faults) {
    const struct { const char* text; const char* message; } cases[] = {
        {"", "wrong file t.csv: no header line"},
        {"source,target,weight\n", "wrong file t.csv: a header (line 1) and no records"},
        {"source,target\nA,B\n", "wrong line 1 of t.csv: the header names no score column"},
        {"a,target,weight\nA,B,1\n", "wrong line 1 of t.csv: the header names no set column"},
        {"source,target,weight\nA,B\n", "wrong line 2 of t.csv: 2 fields, 3 expected"},
        {"source,target,weight\nA,,1\n", "wrong line 2 of t.csv: the gene name '' is empty"},
        {"source,target,weight\n\"A; B\",g,1\n", "wrong line 2 of t.csv: the set name 'A; B' holds \"; \""},
        {"source,target,weight\nA,g|h,1\n", "wrong line 2 of t.csv: the gene name 'g|h' holds \"|\""},
        {"S1\thttp://x\tTP53\tEGFR\nS2\tnone\tMYC\n", "wrong file t.csv: line 1 is a GMT line"},
    };
    for (const auto& c : cases) {
        run_error e = error_of([&] { long_table_text(c.text, "t.csv"); });
        EXPECT_EQ(e.text().rfind(c.message, 0), 0u) << e.text();
    }
    EXPECT_FALSE(error_of([] { refuse_gmt("c\t0\t1\tS; x|g|y\t1\t.\n", "s.bed"); }));
    EXPECT_FALSE(error_of([] { refuse_gmt("chrom\tstart\tend\tname\tscore\tstrand\nc\t0\t1\tS; x|g|y\t1\t.\n", "s.bed"); }));
}

// Matrix headers as R and pandas write them read as quorin's own.
TEST(Matrix, HeadersOfRAndPandas) {
    const std::string body = "g1\t1\t2\ng2\t3\tNA\n";
    const char* headers[] = {"gene\ta\tb\n", "\ta\tb\n", "\"a\"\t\"b\"\n", "\"\"\t\"a\"\t\"b\"\n", "id\ta\tb\n"};
    run_options o;
    for (const char* header : headers) {
        std::string text = std::string(header) + (header[0] == '"' && header[1] == 'a' ? "\"g1\"\t1\t2\n\"g2\"\t3\tNA\n" : body);
        read_counts counts;
        score_matrix m;
        ASSERT_FALSE(error_of([&] {
            file_bytes bytes;
            bytes.buffer.reserve(text.size() + 1);
            text.copy(bytes.buffer.data, text.size());
            bytes.buffer.size = text.size();
            bytes.text = std::string_view(bytes.buffer.data, bytes.buffer.size);
            m = read_matrix_bytes(std::move(bytes), "m.txt", o, counts);
        })) << header;
        EXPECT_EQ(m.names, (std::vector<std::string>{"a", "b"})) << header;
        EXPECT_EQ(m.genes, (std::vector<std::string>{"g1", "g2"})) << header;
        EXPECT_EQ(m.values, (std::vector<double>{1, 3, 2, 0})) << header;
    }
}

// The per-gene table's list rank against a straightforward count over the
// whole ranking.
TEST(GenesTable, ListRankCountsTheWholeRanking) {
    std::mt19937 rng(3);
    std::string list;
    std::vector<double> scores;
    for (int g = 0; g < 200; ++g) {
        double v = static_cast<double>(static_cast<int>(rng() % 41) - 20);
        scores.push_back(v);
        list += "g" + std::to_string(g) + "\t" + num(v) + "\n";
    }
    std::string bed;
    for (int g = 0; g < 200; g += 3) bed += "c\t0\t1\tS; x|g" + std::to_string(g) + "|y\t" + std::to_string(rng() % 50) + "\t.\n";
    run_options o;
    o.tscore = -1;
    o.gene_table = true;
    quorin::gene_sets s;
    quorin::rankings l;
    quorin::analysis a;
    ASSERT_FALSE(quorin::read_gene_sets(write_temp("gt.bed", bed), o, s));
    ASSERT_FALSE(quorin::read_gene_list(write_temp("gt.txt", list), o, l));
    ASSERT_FALSE(quorin::analyse(s, l, o, a));
    std::string out = testing::TempDir() + "genes.tsv";
    ASSERT_FALSE(quorin::write_genes(out, a, l, o));
    std::ifstream in(out);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "Gene-set\tGene\tSet score\tList score\tSet rank\tList rank\tWeight\tFollows");
    int rows = 0;
    while (std::getline(in, line)) {
        std::vector<std::string> f = str_split(line, "\t");
        ASSERT_EQ(f.size(), 8u);
        double v = scores[std::stoi(f[1].substr(1))];
        long long above = 0;
        for (double w : scores) above += w > v;
        EXPECT_EQ(f[5], std::to_string(above + 1)) << line;
        ++rows;
    }
    EXPECT_EQ(rows, 67);
}
