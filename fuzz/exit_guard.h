#pragma once
// quorin ends the process on bad input: it writes a line and calls _Exit(1)
// (or exit() after -h). A fuzz target must keep running, so the fuzz build
// links with --wrap for exit, _Exit, fopen, fclose, mmap and munmap: while a
// guarded call runs, an exit becomes a C++ exception that unwinds back to the
// target, and a file or mapping that the code under test opened and did not
// release is released afterwards.
#include <functional>

// Runs f. Returns -1 when f returned, or the exit status that it asked for.
int run_guarded(const std::function<void()>& f);
