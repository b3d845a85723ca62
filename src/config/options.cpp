#include "config/options.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/out_file.h"
#include "config/file_clashes.h"
#include "common/output.h"

const char* const usage_line =
    "quorin -s gene_set -i gene_list [-g tscore] [-r adjust] [-w weight] [-p auto_p] "
    "[-t thread] [-o output] [-d outdata]";

// Long-only options get values above any character.
enum {
    opt_version = 256, opt_verbose, opt_fdr, opt_min_size, opt_max_size, opt_size, opt_digits,
    opt_permutations, opt_exceed, opt_seed, opt_report, opt_lists, opt_progress, opt_quiet, opt_strict,
    opt_net, opt_genes, opt_strip_versions, opt_null
};

// Every name that getopt_long accepted before the long-only options came is
// still an unambiguous prefix: none of them begins with w, h, ad, au, ts, th,
// outp, outd, rank_s or rank_d.
static const struct option long_options[] = {
    {"help", no_argument, nullptr, 'h'},
    {"rank_set", required_argument, nullptr, 's'},
    {"rank_data", required_argument, nullptr, 'i'},
    {"tscore", required_argument, nullptr, 'g'},
    {"adj_method", required_argument, nullptr, 'r'},
    {"wt_method", required_argument, nullptr, 'w'},
    {"auto_p", no_argument, nullptr, 'p'},
    {"thread", required_argument, nullptr, 't'},
    {"output", required_argument, nullptr, 'o'},
    {"outdata", required_argument, nullptr, 'd'},
    {"version", no_argument, nullptr, opt_version},
    {"verbose", no_argument, nullptr, opt_verbose},
    {"fdr", required_argument, nullptr, opt_fdr},
    {"min-size", required_argument, nullptr, opt_min_size},
    {"max-size", required_argument, nullptr, opt_max_size},
    {"size", no_argument, nullptr, opt_size},
    {"digits", required_argument, nullptr, opt_digits},
    {"permutations", required_argument, nullptr, opt_permutations},
    {"exceed", required_argument, nullptr, opt_exceed},
    {"seed", required_argument, nullptr, opt_seed},
    {"report", required_argument, nullptr, opt_report},
    {"lists", required_argument, nullptr, opt_lists},
    {"progress", no_argument, nullptr, opt_progress},
    {"quiet", no_argument, nullptr, opt_quiet},
    {"strict", no_argument, nullptr, opt_strict},
    {"net", required_argument, nullptr, opt_net},
    {"genes", required_argument, nullptr, opt_genes},
    {"strip-versions", no_argument, nullptr, opt_strip_versions},
    {"null", required_argument, nullptr, opt_null},
    {nullptr, 0, nullptr, 0},
};

// atoi's reading of the leading integer, but clamped instead of wrapping
// when the number does not fit.
static int read_count(const char* text) {
    long v = std::strtol(text, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

[[noreturn]] static void bad_value(const char* option, const char* value, const char* expected) {
    fail(std::string("wrong value for --") + option + ": '" + value + "' (" + expected + ")");
}

// A whole decimal number from low to high, nothing else around it.
static unsigned long long whole_number(const char* option, const char* text, unsigned long long low,
                                       unsigned long long high, const char* expected) {
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text, &end, 10);
    bool digits_only = *text >= '0' && *text <= '9';
    if (!digits_only || *end != '\0' || errno == ERANGE || v < low || v > high) bad_value(option, text, expected);
    return v;
}

// Whether the word "--name[=value]" names (a prefix of) a long option with this value.
static bool long_word_for(const char* word, int value) {
    if (std::strncmp(word, "--", 2) != 0) return false;
    std::string name(word + 2, std::strcspn(word + 2, "="));
    for (const struct option* o = long_options; o->name; ++o)
        if (o->val == value && std::strncmp(o->name, name.c_str(), name.size()) == 0) return true;
    return false;
}

// The option as the parser saw it: the word of a long option, the letter of
// a short one. An unknown or ambiguous long option leaves optopt 0 and the
// parser past its word; a missing or unwanted value leaves the option's value
// in optopt.
static std::string offending_option(char** argv) {
    const char* word = optind > 0 ? argv[optind - 1] : "";
    if (optopt == 0 || long_word_for(word, optopt)) return word;
    return std::string("-") + static_cast<char>(optopt);
}

static void check_sizes(const run_options& o) {
    if (o.min_size > o.max_size)
        fail("wrong value for --min-size: " + std::to_string(o.min_size) + " is above --max-size " +
             std::to_string(o.max_size));
}

// Standard input can be read once: "-" for both files is refused before
// anything is read.
static void check_input_files(const run_options& o, const std::string& lists_file, const std::string& net_file,
                              run_files& files) {
    if (o.long_table) {
        if (files.gene_set_given) fail("wrong input files: --net replaces -s; give one of them");
        files.gene_set = net_file;
    }
    if (o.many_lists) {
        if (files.gene_list_given) fail("wrong input files: --lists replaces -i; give one of them");
        files.gene_list = lists_file;
    }
    if (files.gene_set == "-" && files.gene_list == "-")
        fail(std::string("wrong input files: -s and ") + (o.many_lists ? "--lists" : "-i") +
             " can't both be - (standard input)");
}

// A value that a number option reads only in part ("minus1000" as 0, "2x"
// as 2): the run goes on with what was read, and says so.
static void check_number(command_line& c, const char* option, const char* value, const std::string& read_as) {
    if (reads_as_number(value)) return;
    c.warnings.push_back(std::string("warning: ") + option + " '" + value + "' is not a number; it was read as " +
                         read_as + ": give a number, such as " + option + (option[1] == 'g' ? " -1000" : " 4"));
}

// Words that are neither options nor their values: getopt_long moves them
// to the end and quorin ignores them. A number after -p looks like its value,
// but -p takes none. argv_copy holds the words in their given order.
static void check_ignored_words(int argc, char** argv, char* const* given, command_line& c) {
    for (int k = optind; k < argc; ++k) {
        int at = 1;
        while (at < argc && given[at] != argv[k]) ++at;
        std::string word = argv[k];
        const char* before = at > 1 ? given[at - 1] : "";
        bool after_p = std::strcmp(before, "-p") == 0 || long_word_for(before, 'p');
        if (after_p && reads_as_number(word))
            c.warnings.push_back("warning: -p takes no value: '" + word + "' (word " + std::to_string(at) +
                                 " of the command line) is ignored; -p alone tests PP 0.8, 0.65, 0.5, 0.35 and 0.2");
        else
            c.warnings.push_back("warning: the word '" + word + "' (word " + std::to_string(at) +
                                 " of the command line) is not an option or an option's value and is ignored; " +
                                 "name the files with -s and -i");
    }
}

// The run ends before reading anything: -h, --version, or no argument.
static command_line stop_with(command_line& c, const std::string& text, int status) {
    c.stop_text = text;
    c.stop_status = status;
    return c;
}

command_line take_options(int argc, char** argv) {
    command_line c_l;
    run_files& files = c_l.files;
    run_options& o = c_l.options;
    if (argc < 2) return stop_with(c_l, usage_line, 1);
    std::string net_file;    // the long table of --net, until -s is known not to be given too
    std::string lists_file;  // the matrix of --lists, until -i is known not to be given too
    // getopt_long reorders argv; the words in their given order, for the warnings.
    std::vector<char*> given(argv, argv + argc);
    optind = 0;  // a fresh scan, also when called more than once
    int c;
    while ((c = getopt_long(argc, argv, "hs:i:g:r:w:pt:o:d:", long_options, nullptr)) != -1) {
        switch (c) {
        case 'h': return stop_with(c_l, usage_line, 0);
        case 's':
            files.gene_set = optarg;
            files.gene_set_given = true;
            break;
        case 'i':
            files.gene_list = optarg;
            files.gene_list_given = true;
            break;
        case 'g':
            o.tscore = std::atof(optarg);
            o.tscore_given = true;
            check_number(c_l, "-g", optarg, num(o.tscore));
            break;
        case 'r':
            o.adj_method = optarg;
            if (o.adj_method.size() != 2) fail("wrong adj_method: " + o.adj_method);
            break;
        case 'w': set_wt_method(o, optarg); break;
        case 'p': o.auto_p = true; break;
        case 't':
            // Zero threads would divide the work by zero; a negative count
            // would start one thread per gene set.
            o.thread_n = read_count(optarg);
            if (o.thread_n < 1) fail(std::string("wrong thread number: ") + optarg);
            check_number(c_l, "-t", optarg, std::to_string(o.thread_n));
            break;
        case 'o': files.output = optarg; o.mute = false; break;
        case 'd': files.outdata = optarg; o.dump = true; break;
        case opt_version: return stop_with(c_l, std::string("quorin ") + QUORIN_VERSION, 0);
        case opt_verbose: o.verbose = true; break;
        case opt_fdr:
            if (std::strcmp(optarg, "bh") == 0)
                o.fdr_kind = fdr_method::bh;
            else if (std::strcmp(optarg, "position") == 0)
                o.fdr_kind = fdr_method::position;
            else
                bad_value("fdr", optarg, "bh or position");
            break;
        case opt_min_size: o.min_size = static_cast<int>(whole_number("min-size", optarg, 1, INT_MAX, "a whole number from 1 on")); break;
        case opt_max_size: o.max_size = static_cast<int>(whole_number("max-size", optarg, 1, INT_MAX, "a whole number from 1 on")); break;
        case opt_size: o.size_column = true; break;
        case opt_digits: o.digits = static_cast<int>(whole_number("digits", optarg, 1, 17, "a whole number from 1 to 17")); break;
        case opt_permutations:
            o.permutations = static_cast<long long>(
                whole_number("permutations", optarg, 1, 10000000, "a whole number from 1 to 10000000"));
            break;
        case opt_exceed: o.exceed = static_cast<long long>(whole_number("exceed", optarg, 1, 10000000, "a whole number from 1 to 10000000")); break;
        case opt_seed: o.seed = whole_number("seed", optarg, 0, ~0ull, "a whole number from 0 to 18446744073709551615"); break;
        case opt_lists:
            lists_file = optarg;
            o.many_lists = true;
            break;
        case opt_report:
            o.report_file = optarg;
            if (o.report_file.empty()) bad_value("report", optarg, "a file name");
            break;
        case opt_progress: o.progress_bar = true; break;
        case opt_quiet: o.quiet = true; break;
        case opt_strict: o.strict = true; break;
        case opt_strip_versions: o.strip_versions = true; break;
        case opt_net:
            net_file = optarg;
            o.long_table = true;
            break;
        case opt_genes:
            files.genes = optarg;
            o.gene_table = true;
            if (files.genes.empty()) bad_value("genes", optarg, "a file name");
            break;
        case opt_null:
            if (std::strcmp(optarg, "normal") == 0)
                o.null_kind = null_method::normal;
            else if (std::strcmp(optarg, "moments") == 0)
                o.null_kind = null_method::moments;
            else
                bad_value("null", optarg, "normal or moments");
            break;
        default: fail("invalid option: " + offending_option(argv));  // the parser has also named it on stderr
        }
    }
    check_output_clashes(files, o);
    check_sizes(o);
    check_input_files(o, lists_file, net_file, files);
    check_input_clashes(files, o);
    // A long table's weights are signed: -g applies only when asked for.
    if (o.long_table && !o.tscore_given) o.tscore = -HUGE_VAL;
    check_ignored_words(argc, argv, given.data(), c_l);
    if (o.strict && !c_l.warnings.empty()) fail_strictly(c_l.warnings[0]);
    if (o.quiet) c_l.warnings.clear();
    return c_l;
}
