#include "config/options.h"

#include <getopt.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "common/output.h"
#include "config/config.h"

const char* const usage_line =
    "quorin -s gene_set -i gene_list [-g tscore] [-r adjust] [-w weight] [-p auto_p] "
    "[-t thread] [-o output] [-d outdata]";

// Codes of the long-only options, above every character code.
enum { option_report = 256 };

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
    {"report", required_argument, nullptr, option_report},
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

[[noreturn]] static void usage_exit(int status) {
    put_line(stdout, usage_line);
    std::exit(status);
}

void take_options(int argc, char** argv, run_files& files) {
    if (argc < 2) usage_exit(1);
    files = run_files();
    optind = 0;  // a fresh scan, also when called more than once
    int c;
    while ((c = getopt_long(argc, argv, "hs:i:g:r:w:pt:o:d:", long_options, nullptr)) != -1) {
        switch (c) {
        case 'h': usage_exit(0);
        case 's': files.gene_set = optarg; break;
        case 'i': files.gene_list = optarg; break;
        case 'g': tscore = std::atof(optarg); break;
        case 'r':
            adj_method = optarg;
            if (adj_method.size() != 2) fail("wrong adj_method: " + adj_method);
            break;
        case 'w': set_wt_method(optarg); break;
        case 'p': auto_p = true; break;
        case 't':
            // Zero threads would divide the work by zero; a negative count
            // would start one thread per gene set.
            thread_n = read_count(optarg);
            if (thread_n < 1) fail(std::string("wrong thread number: ") + optarg);
            break;
        case 'o': files.output = optarg; mute = false; break;
        case 'd': files.outdata = optarg; dump = true; break;
        case option_report:
            report_file = optarg;
            if (report_file.empty()) fail("wrong --report: the file name is empty");
            break;
        default: fail("invalid option: ");  // the parser has named the option on stderr
        }
    }
}
