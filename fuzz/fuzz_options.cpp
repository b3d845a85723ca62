// The option handling on arbitrary command lines: the input, cut at its NUL
// bytes, gives up to 16 words after the program name (none when it is empty).
// A run either ends (status 0 after -h, 1 after an error or a bare invocation)
// or leaves a configuration that the rest of the run can use.
#include <cstdlib>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/options.h"
#include "exit_guard.h"

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

    reset_run_config();
    run_files files;
    int status = run_guarded([&] { take_options(static_cast<int>(words.size()), argv.data(), files); });
    if (status == 0 || status == 1) return 0;
    if (status != -1) std::abort();
    if (words.size() < 2) std::abort();        // a bare invocation ends the run
    if (adj_method.size() != 2) std::abort();  // both readers index its two characters
    if (thread_n < 1) std::abort();            // the driver divides the sets by it
    if (mute && !files.output.empty()) std::abort();  // -o names the file and clears mute
    if (!dump && !files.outdata.empty()) std::abort();
    if (min_size < 1 || min_size > max_size) std::abort();  // a size range that holds some set
    if (digits < 1 || digits > 17) std::abort();             // the number formats' precision
    if (permutations < 0 || permutations > 10000000 || exceed < 1) std::abort();
    return 0;
}
