#pragma once
#include <string>
#include <vector>

#include "config/run_options.h"

extern const char* const usage_line;

// The file names of a run; the two input names have defaults. With
// --lists, gene_list names the matrix of rankings.
struct run_files {
    std::string gene_set = "gene_set.txt";
    std::string gene_list = "gene_list.txt";
    std::string output;
    std::string outdata;
    std::string genes;  // --genes: the per-gene table
    bool gene_list_given = false;  // -i was given: --lists may not be
    bool gene_set_given = false;   // -s was given: --net may not be
};

// What the command line asks for. After -h, --version or a bare invocation
// stop_status is 0 or 1 and stop_text is the line to print instead of a run.
struct command_line {
    run_files files;
    run_options options;
    int stop_status = -1;
    std::string stop_text;
    // Words the command line holds that do nothing or not what they seem to
    // ("warning: ..." lines, for standard error unless --quiet).
    std::vector<std::string> warnings;
};

// Takes the command line into run options and file names; fails (a bad value
// or an invalid option) with the line the command prints. Uses getopt_long,
// whose state is the process's: one parse at a time.
command_line take_options(int argc, char** argv);
