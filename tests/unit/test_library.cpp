// The library through its public header: errors come back as values, and
// analyses running at once in one process each give the bytes of the
// command's run with the same options.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/driver.h"  // thread_count: the batching, without building such inputs
#include "quorin/quorin.h"

static std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

static std::string examples(const char* name) { return std::string(QUORIN_EXAMPLES) + "/" + name; }

static command_line parsed(std::vector<std::string> words) {
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    command_line c;
    EXPECT_FALSE(quorin::parse_command_line(static_cast<int>(argv.size()), argv.data(), c));
    return c;
}

// The table and detail file of one run through the library.
static std::string library_run(const command_line& c) {
    quorin::gene_sets sets;
    quorin::rankings list;
    quorin::analysis a;
    const run_options& o = c.options;
    if (run_error e = quorin::read_gene_sets(c.files.gene_set, o, sets)) return e.text();
    if (run_error e = quorin::read_gene_list(c.files.gene_list, o, list)) return e.text();
    if (run_error e = quorin::analyse(sets, list, o, a)) return e.text();
    if (run_error e = quorin::write_table(c.files.output, a, list, o)) return e.text();
    if (run_error e = quorin::write_detail(c.files.outdata, a, list, o)) return e.text();
    return slurp(c.files.output) + slurp(c.files.outdata);
}

// A folder of this process's own: test runs may go on side by side.
static std::string own_folder() {
    std::string pattern = testing::TempDir() + "quorin_library_XXXXXX";
    return std::string(mkdtemp(pattern.data())) + "/";
}

TEST(Library, ConcurrentAnalysesEqualTheCommandsRuns) {
    const std::vector<std::string> option_sets[] = {
        {"-p", "-t", "3"}, {"-w", "2", "-r", "23", "--fdr=bh", "-t", "2"}, {"--permutations=200", "-t", "2", "-p"},
        {"--null=moments", "-p", "-t", "2"}};
    std::string dir = own_folder();
    std::vector<command_line> runs;
    std::vector<std::string> expected;
    for (std::size_t k = 0; k < std::size(option_sets); ++k) {
        std::string out = dir + "lib" + std::to_string(k) + ".tsv", detail = dir + "lib" + std::to_string(k) + ".txt";
        std::vector<std::string> words = {"quorin", "-s", examples("gene_sets.bed"), "-i", examples("gene_list.txt"),
                                          "-o", out + ".cmd", "-d", detail + ".cmd"};
        words.insert(words.end(), option_sets[k].begin(), option_sets[k].end());
        std::string command;
        for (const std::string& w : words) command += (command.empty() ? QUORIN_BINARY : " '" + w + "'");
        ASSERT_EQ(std::system((command + " > /dev/null").c_str()), 0) << command;
        expected.push_back(slurp(out + ".cmd") + slurp(detail + ".cmd"));
        words[6] = out;
        words[8] = detail;
        runs.push_back(parsed(words));
    }
    std::vector<std::string> got(runs.size());
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < runs.size(); ++k) threads.emplace_back([&, k] { got[k] = library_run(runs[k]); });
    for (auto& t : threads) t.join();
    for (std::size_t k = 0; k < runs.size(); ++k) EXPECT_EQ(got[k], expected[k]) << "options " << k;
}

// Each fault comes back as the line the command prints, and the process goes on.
TEST(Library, FaultsAreValues) {
    std::string dir = own_folder();
    std::ofstream(dir + "bad.bed") << "chr1\t1\t2\tS; x|G1\t20\t.\nnot a record\n";
    run_options o;
    quorin::gene_sets sets;
    run_error e = quorin::read_gene_sets(dir + "bad.bed", o, sets);
    EXPECT_EQ(e.text(), "wrong line: not a record");
    EXPECT_FALSE(e.on_stderr);
    e = quorin::read_gene_sets(dir + "none.bed", o, sets);
    EXPECT_EQ(e.text(), "Sorry, couldn't open file " + dir + "none.bed");

    // An unknown weighting method fails at the first paired set; the first
    // worker to fail stops the others.
    ASSERT_FALSE(quorin::read_gene_sets(examples("gene_sets.bed"), o, sets));
    quorin::rankings list;
    ASSERT_FALSE(quorin::read_gene_list(examples("gene_list.txt"), o, list));
    set_wt_method(o, "4");
    o.thread_n = 4;
    quorin::analysis a;
    e = quorin::analyse(sets, list, o, a);
    EXPECT_EQ(e.text(), "unknown weighting method: 4\nx_n < 1");

    std::atomic<bool> cancel{true};
    set_wt_method(o, "1");
    EXPECT_EQ(quorin::analyse(sets, list, o, a, nullptr, &cancel).text(), "interrupted");
}

// Records in memory are read by the file readers' rules.
TEST(Library, RecordsInMemoryReadAsFiles) {
    run_options o;
    o.tscore = 0;
    quorin::gene_sets from_file, from_memory;
    std::string dir = own_folder();
    std::ofstream(dir + "m.bed") << ".\t0\t0\tB; .|g2\t3.25\t.\n.\t0\t0\tA; .|g1\t0.1\t.\n.\t0\t0\tA; .|g1\t7\t.\n"
                                  << ".\t0\t0\tA; .|g0\t-1\t.\n";
    ASSERT_FALSE(quorin::read_gene_sets(dir + "m.bed", o, from_file));
    ASSERT_FALSE(quorin::gene_sets_from_records({"B", "A", "A", "A"}, {"g2", "g1", "g1", "g0"}, {3.25, 0.1, 7, -1}, o,
                                                from_memory));
    EXPECT_EQ(from_memory.table.names, from_file.table.names);
    EXPECT_EQ(from_memory.table.scores, from_file.table.scores);
    EXPECT_EQ(from_memory.table.gene_text, from_file.table.gene_text);
    EXPECT_EQ(quorin::gene_sets_from_records({"A"}, {"x|y"}, {1}, o, from_memory).text(),
              "wrong gene name in row 1: 'x|y' holds \"|\"");
    quorin::rankings list;
    EXPECT_EQ(quorin::gene_list_from_pairs({"#g"}, {1}, o, list).text(), "wrong gene name in row 1: '#g' begins with #");
    ASSERT_FALSE(quorin::rankings_from_matrix({"r1", "r2"}, {"a", "b"}, {0.1, NAN, 2, 3}, o, list));
    EXPECT_EQ(list.matrix.present, (std::vector<std::uint8_t>{1, 0, 1, 1}));
}

// Tasks are counted in 64 bits: sets times rankings passes 2^32 on large
// matrix runs, where a 32-bit count started no worker at all.
TEST(Library, ThreadCountPastTwoToTheThirtySecond) {
    const struct { std::uint64_t tasks; int threads; unsigned expected; } rows[] = {
        {0, 4, 0}, {1, 4, 1}, {10, 4, 4}, {9, 4, 3}, {32768ull * 65537, 1, 1}, {32768ull * 65537, 2, 2},
        {65536ull * 65536, 1, 1}, {65536ull * 65536, 3, 3}, {~0ull, 8, 8}};
    for (const auto& row : rows) EXPECT_EQ(thread_count(row.tasks, row.threads), row.expected) << row.tasks;
}

// Rankings come in order, each in table order with its FDR, the same records
// as analyse returns; an error from the receiver stops the analysis.
TEST(Library, RankingsHandedOverInOrderAsAnalyseReturnsThem) {
    run_options o = parsed({"quorin", "-t", "3", "-w", "2"}).options;
    quorin::gene_sets sets;
    ASSERT_FALSE(quorin::read_gene_sets(examples("gene_sets.bed"), o, sets));
    std::vector<std::string> genes(sets.table.gene_from.size() - 1), names;
    for (std::size_t g = 0; g < genes.size(); ++g) genes[g] = gene_name(sets.table, static_cast<std::uint32_t>(g));
    std::vector<double> values;
    for (std::size_t k = 0; k < 9; ++k) {
        names.push_back("r" + std::to_string(k));
        for (std::size_t g = 0; g < genes.size(); ++g) values.push_back(static_cast<double>((g * 7 + k * 3) % 11) - 5);
    }
    quorin::rankings list;
    ASSERT_FALSE(quorin::rankings_from_matrix(names, genes, values, o, list));
    quorin::analysis all;
    ASSERT_FALSE(quorin::analyse(sets, list, o, all));
    std::vector<struct fstat> handed;
    test_notes notes;
    auto keep = [&](std::vector<struct fstat>& records) {
        for (const struct fstat& s : records) EXPECT_EQ(s.list, records[0].list);
        if (!handed.empty()) {
            EXPECT_EQ(records[0].list, handed.back().list + 1);
        }
        handed.insert(handed.end(), records.begin(), records.end());
        return run_error();
    };
    ASSERT_FALSE(quorin::analyse_rankings(sets, list, o, notes, keep));
    ASSERT_EQ(handed.size(), all.records.size());
    EXPECT_EQ(notes.tested, all.records.size());
    for (std::size_t k = 0; k < handed.size(); ++k) {
        EXPECT_EQ(handed[k].name, all.records[k].name);
        EXPECT_EQ(handed[k].fdr, all.records[k].fdr);
    }
    auto refuse = [](std::vector<struct fstat>&) { return run_error{"refused", {}, nullptr, false, {}}; };
    EXPECT_EQ(quorin::analyse_rankings(sets, list, o, notes, refuse).message, "refused");
}

// A large gene-set file is parsed in stretches and its scores keyed in parts
// of whole sets on the run's threads: the records are those of one thread,
// to the bit. The sets are interleaved, so that each lies in every stretch;
// signed scores with ties have both the scores and their magnitudes keyed.
TEST(Library, ThreadsGiveTheRecordsOfOneThreadOnALargeInput) {
    std::mt19937 draw(11);
    std::vector<std::string> set_names, genes, list_genes;
    std::vector<double> scores, list_scores;
    for (int k = 0; k < 300000; ++k) {
        set_names.push_back("S" + std::to_string(draw() % 3000));
        genes.push_back("g" + std::to_string(draw() % 20000));
        scores.push_back(static_cast<double>(static_cast<int>(draw() % 200001) - 100000) / 256);
    }
    for (int g = 0; g < 20000; ++g) {
        list_genes.push_back("g" + std::to_string(g));
        list_scores.push_back(static_cast<double>(draw() % 5000) / 100);
    }
    // Then 40 rankings, more than the workers have slots for, which the
    // workers hand in a few sets at a time.
    std::vector<std::string> names;
    std::vector<double> matrix;
    for (int r = 0; r < 40; ++r) {
        names.push_back("r" + std::to_string(r));
        for (double v : list_scores) matrix.push_back(v + static_cast<double>(draw() % 1000) / 10);
    }
    for (bool lists : {false, true}) {
        std::vector<std::vector<struct fstat>> runs;
        for (int threads : {1, 3}) {
            run_options o;
            o.tscore = -1000;
            o.thread_n = threads;
            o.many_lists = lists;
            quorin::gene_sets sets;
            quorin::rankings list;
            quorin::analysis a;
            std::size_t used = lists ? 20000 : set_names.size();  // the first sets only, against 40 rankings
            ASSERT_FALSE(quorin::gene_sets_from_records({set_names.begin(), set_names.begin() + used},
                                                        {genes.begin(), genes.begin() + used},
                                                        {scores.begin(), scores.begin() + used}, o, sets));
            ASSERT_FALSE(lists ? quorin::rankings_from_matrix(names, list_genes, matrix, o, list)
                               : quorin::gene_list_from_pairs(list_genes, list_scores, o, list));
            ASSERT_FALSE(quorin::analyse(sets, list, o, a));
            runs.push_back(std::move(a.records));
        }
        ASSERT_GT(runs[0].size(), lists ? 40 * 2900u : 2900u);
        ASSERT_EQ(runs[1].size(), runs[0].size());
        for (std::size_t k = 0; k < runs[0].size(); ++k) {
            const struct fstat &a = runs[0][k], &b = runs[1][k];
            ASSERT_TRUE(a.name == b.name && a.list == b.list) << k;
            EXPECT_TRUE(a.tau == b.tau && a.estimate == b.estimate && a.p_value == b.p_value && a.fdr == b.fdr)
                << a.name;
        }
    }
}
