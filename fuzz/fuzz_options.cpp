// The option handling on arbitrary command lines: the input, cut at its NUL
// bytes, gives up to 16 words after the program name (none when it is empty).
// A command line either fails with a message, stops the run (status 0 after
// -h or --version, 1 for a bare invocation) or leaves a configuration that the
// rest of the run can use.
#include <cstdlib>
#include <string>
#include <vector>

#include "quorin/quorin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::vector<std::string> words{"quorin"};
    std::string all(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; size > 0 && words.size() <= 16;) {
        std::size_t end = all.find('\0', start);
        words.push_back(all.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);

    command_line c;
    run_error e = quorin::parse_command_line(static_cast<int>(words.size()), argv.data(), c);
    if (e) return 0;
    if (words.size() < 2 && c.stop_status != 1) std::abort();  // a bare invocation ends the run
    if (c.stop_status == 0 || c.stop_status == 1) {
        if (c.stop_text.empty()) std::abort();
        return 0;
    }
    if (c.stop_status != -1) std::abort();
    const run_options& o = c.options;
    const run_files& files = c.files;
    if (o.adj_method.size() != 2) std::abort();  // both readers index its two characters
    if (o.thread_n < 1) std::abort();            // the driver divides the sets by it
    if (o.mute && !files.output.empty()) std::abort();  // -o names the file and clears mute
    if (!o.dump && !files.outdata.empty()) std::abort();
    if (o.min_size < 1 || o.min_size > o.max_size) std::abort();  // a size range that holds some set
    if (o.digits < 1 || o.digits > 17) std::abort();               // the number formats' precision
    if (o.permutations < 0 || o.permutations > 10000000 || o.exceed < 1) std::abort();
    return 0;
}
