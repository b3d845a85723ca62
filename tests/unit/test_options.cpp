#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/options.h"

// Runs the option handling on the words after the program name.
static run_files take(std::vector<std::string> words) {
    words.insert(words.begin(), "quorin");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    run_files files;
    take_options(static_cast<int>(words.size()), argv.data(), files);
    return files;
}

static void reset() { reset_run_config(); }

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
static std::string effect(const run_files& f) {
    return f.gene_set + "|" + f.gene_list + "|" + std::to_string(tscore) + "|" + adj_method + "|" + wt_method + "|" +
           std::to_string(auto_p) + "|" + std::to_string(thread_n) + "|" + f.output + "|" + f.outdata;
}

TEST(Options, EveryAbbreviationAcceptedBeforeStillNamesTheSameOption) {
    int checked = 0;
    for (const old_option& o : old_options) {
        std::string full = o.name;
        reset();
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
                EXPECT_EXIT(take({"--" + prefix}), testing::ExitedWithCode(0), "") << prefix;
                continue;
            }
            reset();
            // Both ways of giving a value: "--name=value" and "--name value".
            std::string got = o.value ? effect(take({"--" + prefix + "=" + o.value})) : effect(take({"--" + prefix}));
            EXPECT_EQ(got, want) << "--" << prefix;
            if (o.value) {
                reset();
                EXPECT_EQ(effect(take({"--" + prefix, o.value})), want) << "--" << prefix;
            }
        }
    }
    EXPECT_GT(checked, 40);  // the prefixes of the ten options, shared ones left out
    reset();
}

TEST(Options, LongOnlyOptionsTakeTheirValues) {
    reset();
    take({"--fdr=bh", "--min-size", "3", "--max-size=40", "--size", "--digits=9", "--verbose"});
    EXPECT_EQ(fdr_kind, fdr_method::bh);
    EXPECT_EQ(min_size, 3);
    EXPECT_EQ(max_size, 40);
    EXPECT_TRUE(size_column);
    EXPECT_EQ(digits, 9);
    EXPECT_TRUE(verbose);
    take({"--fdr=position", "--min-size=5", "--max-size=5"});  // equal bounds are a range of one size
    EXPECT_EQ(fdr_kind, fdr_method::position);
    reset();
}

TEST(Options, BadValuesEndTheRun) {
    for (std::vector<std::string> words : std::vector<std::vector<std::string>>{
             {"--digits=0"}, {"--digits=18"}, {"--digits=1.5"}, {"--digits=+3"}, {"--digits="},
             {"--min-size=0"}, {"--max-size=x"}, {"--max-size=99999999999"}, {"--min-size=6", "--max-size=5"},
             {"--fdr=BH"}, {"--fdr="}, {"--version=1"}, {"--size=1"}, {"--ver"}}) {
        reset();
        EXPECT_EXIT(take(words), testing::ExitedWithCode(1), "") << words[0];
    }
    reset();
}
