#pragma once
#include <string>

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

// Takes the command line into the run-configuration globals and the file
// names. Ends the process after -h (status 0), a bare invocation, a bad -r or
// -t argument, or an invalid option (status 1).
void take_options(int argc, char** argv, run_files& files);
