#pragma once
#include <string>

#include "config/run_options.h"

extern const char* const usage_line;

// The four file names of a run; the two input names have defaults. With
// --lists, gene_list names the matrix of rankings.
struct run_files {
    std::string gene_set = "gene_set.txt";
    std::string gene_list = "gene_list.txt";
    std::string output;
    std::string outdata;
    bool gene_list_given = false;  // -i was given: --lists may not be
};

// What the command line asks for. After -h, --version or a bare invocation
// stop_status is 0 or 1 and stop_text is the line to print instead of a run.
struct command_line {
    run_files files;
    run_options options;
    int stop_status = -1;
    std::string stop_text;
};

// Takes the command line into run options and file names; fails (a bad value
// or an invalid option) with the line the command prints. Uses getopt_long,
// whose state is the process's: one parse at a time.
command_line take_options(int argc, char** argv);
