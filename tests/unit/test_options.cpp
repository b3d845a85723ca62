#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "quorin/quorin.h"

// Runs the option handling on the words after the program name.
static run_error take_error(std::vector<std::string> words, command_line& c) {
    words.insert(words.begin(), "quorin");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    return quorin::parse_command_line(static_cast<int>(words.size()), argv.data(), c);
}

static command_line take(std::vector<std::string> words) {
    command_line c;
    run_error e = take_error(words, c);
    EXPECT_FALSE(e) << e.text();
    return c;
}

// The long options as they were before the long-only ones came: every prefix
// that named one of them alone must still name the same option.
struct old_option {
    const char* name;
    const char* value;  // nullptr: takes no value
};
static const old_option old_options[] = {
    {"help", nullptr},       {"rank_set", "S"},   {"rank_data", "L"}, {"tscore", "3.5"}, {"adj_method", "23"},
    {"wt_method", "2"},      {"auto_p", nullptr}, {"thread", "4"},    {"output", "O"},   {"outdata", "D"},
};

static bool unique_prefix_before(const std::string& prefix) {
    int matches = 0;
    for (const old_option& o : old_options) matches += std::string(o.name).compare(0, prefix.size(), prefix) == 0;
    return matches == 1;
}

// What the option did, as one comparable text.
static std::string effect(const command_line& c) {
    const run_files& f = c.files;
    const run_options& o = c.options;
    EXPECT_EQ(c.stop_status, -1);
    return f.gene_set + "|" + f.gene_list + "|" + std::to_string(o.tscore) + "|" + o.adj_method + "|" + o.wt_method +
           "|" + std::to_string(o.auto_p) + "|" + std::to_string(o.thread_n) + "|" + f.output + "|" + f.outdata;
}

TEST(Options, EveryAbbreviationAcceptedBeforeStillNamesTheSameOption) {
    int checked = 0;
    for (const old_option& o : old_options) {
        std::string full = o.name;
        std::string want;
        if (o.value) {
            want = effect(take({"--" + full, o.value}));
        } else if (full == "auto_p") {
            want = effect(take({"--auto_p"}));
        }
        for (std::size_t len = 1; len <= full.size(); ++len) {
            std::string prefix = full.substr(0, len);
            if (!unique_prefix_before(prefix)) continue;
            ++checked;
            if (full == "help") {
                command_line c = take({"--" + prefix});
                EXPECT_EQ(c.stop_status, 0) << prefix;
                EXPECT_EQ(c.stop_text, usage_line) << prefix;
                continue;
            }
            // Both ways of giving a value: "--name=value" and "--name value".
            std::string got = o.value ? effect(take({"--" + prefix + "=" + o.value})) : effect(take({"--" + prefix}));
            EXPECT_EQ(got, want) << "--" << prefix;
            if (o.value) {
                EXPECT_EQ(effect(take({"--" + prefix, o.value})), want) << "--" << prefix;
            }
        }
    }
    EXPECT_GT(checked, 40);  // the prefixes of the ten options, shared ones left out
}

TEST(Options, LongOnlyOptionsTakeTheirValues) {
    run_options o = take({"--fdr=bh", "--min-size", "3", "--max-size=40", "--size", "--digits=9", "--verbose"}).options;
    EXPECT_EQ(o.fdr_kind, fdr_method::bh);
    EXPECT_EQ(o.min_size, 3);
    EXPECT_EQ(o.max_size, 40);
    EXPECT_TRUE(o.size_column);
    EXPECT_EQ(o.digits, 9);
    EXPECT_TRUE(o.verbose);
    o = take({"--fdr=position", "--min-size=5", "--max-size=5"}).options;  // equal bounds are a range of one size
    EXPECT_EQ(o.fdr_kind, fdr_method::position);
}

// The FDR without --fdr: position-wise for the analytic p-value, BH for the
// p-values of --null=moments and --permutations; --fdr always wins.
TEST(Options, FdrFollowsTheNullUnlessGiven) {
    const std::pair<std::vector<std::string>, fdr_method> rows[] = {
        {{}, fdr_method::position},
        {{"--null=normal"}, fdr_method::position},
        {{"--null=moments"}, fdr_method::bh},
        {{"--nu", "moments", "-p"}, fdr_method::bh},
        {{"--permutations=10"}, fdr_method::bh},
        {{"--null=moments", "--fdr=position"}, fdr_method::position},
        {{"--permutations=10", "--fdr=position"}, fdr_method::position},
        {{"--fdr=bh"}, fdr_method::bh},
    };
    for (const auto& row : rows) {
        std::vector<std::string> words = {"-s", "S"};
        words.insert(words.end(), row.first.begin(), row.first.end());
        EXPECT_EQ(fdr_in_effect(take(words).options), row.second) << (row.first.empty() ? "" : row.first[0]);
    }
    EXPECT_EQ(take({"--null=moments"}).options.null_kind, null_method::moments);
}

TEST(Options, BadValuesEndTheRun) {
    const std::string digits = "' (a whole number from 1 to 17)", size = "' (a whole number from 1 on)";
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"--digits=0"}, "wrong value for --digits: '0" + digits},
        {{"--digits=18"}, "wrong value for --digits: '18" + digits},
        {{"--digits=1.5"}, "wrong value for --digits: '1.5" + digits},
        {{"--digits=+3"}, "wrong value for --digits: '+3" + digits},
        {{"--digits="}, "wrong value for --digits: '" + digits},
        {{"--min-size=0"}, "wrong value for --min-size: '0" + size},
        {{"--max-size=x"}, "wrong value for --max-size: 'x" + size},
        {{"--max-size=99999999999"}, "wrong value for --max-size: '99999999999" + size},
        {{"--min-size=6", "--max-size=5"}, "wrong value for --min-size: 6 is above --max-size 5"},
        {{"--fdr=BH"}, "wrong value for --fdr: 'BH' (bh or position)"},
        {{"--fdr="}, "wrong value for --fdr: '' (bh or position)"},
        {{"--version=1"}, "invalid option: --version=1"},
        {{"--size=1"}, "invalid option: --size=1"},
        {{"--ver"}, "invalid option: --ver"},
        {{"--null=Moments"}, "wrong value for --null: 'Moments' (normal or moments)"},
        {{"--null="}, "wrong value for --null: '' (normal or moments)"},
    };
    for (const auto& row : rows) {
        command_line c;
        run_error e = take_error(row.first, c);
        EXPECT_EQ(e.text(), row.second) << row.first[0];
        EXPECT_FALSE(e.on_stderr) << row.first[0];
    }
}

// Files that would lose data are refused before anything is read: two
// outputs that are one file, an output that is an input, standard input
// named twice. Compared by inode, so a link is the file it names.
TEST(Options, FilesThatWouldLoseDataAreRefused) {
    std::string dir = testing::TempDir() + "clashes_" + std::to_string(::getpid()) + "/";
    ASSERT_EQ(std::system(("mkdir -p " + dir + " && cd " + dir + " && printf x > sets.bed && printf y > list.txt" +
                           " && printf t > r.tsv && ln -sf r.tsv link.tsv && ln -sf sets.bed in.lnk").c_str()),
              0);
    const std::string s = dir + "sets.bed", i = dir + "list.txt", r = dir + "r.tsv";
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"-s", s, "-i", i, "-o", r, "--report", r}, "-o and --report name the same file: " + r},
        {{"-s", s, "-i", i, "-d", r, "--report", dir + "link.tsv"},
         "-d and --report name the same file: " + r + " and " + dir + "link.tsv"},
        {{"-s", s, "-i", i, "-o", s}, "wrong output: -o " + s + " is the input file of -s " + s},
        {{"-s", dir + "in.lnk", "-i", i, "--report", s},
         "wrong output: --report " + s + " is the input file of -s " + dir + "in.lnk"},
        {{"-s", s, "--lists", i, "-d", i}, "wrong output: -d " + i + " is the input file of --lists " + i},
        {{"-s", s, "-i", i, "-o", dir + "new.tsv", "-d", dir + "other.txt"}, ""},
    };
    for (const auto& row : rows) {
        command_line c;
        EXPECT_EQ(take_error(row.first, c).text(), row.second) << row.first.back();
    }
}
