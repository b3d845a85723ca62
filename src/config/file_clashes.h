#pragma once
#include "config/options.h"

// Refuses, before anything is read, a run whose files would lose data: two
// outputs that are one file (the later would replace the earlier), an output
// that is one of the inputs (it would replace the input once read), and
// standard input named twice (-s /dev/stdin -i -: the second read finds it
// empty). Files are compared by device and inode, through links.
void check_output_clashes(const run_files& files, const run_options& o);
// Once the input names are final (--lists, --net).
void check_input_clashes(const run_files& files, const run_options& o);
