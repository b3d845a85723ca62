// The line operations of both readers: next_line, trim_string and str_split
// (and their views versions) on any text and any delimiter, checked against
// their definitions. The first byte gives the delimiter's length (0 to 3).
#include <cstdlib>
#include <string>
#include <vector>

#include "input/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    std::size_t delim_size = data[0] % 4;
    if (size < 1 + delim_size) return 0;
    std::string delim(reinterpret_cast<const char*>(data + 1), delim_size);
    std::string text(reinterpret_cast<const char*>(data + 1 + delim_size), size - 1 - delim_size);

    // trim_string: the part before the first carriage return, nothing else.
    std::string line = text;
    trim_string(line);
    if (line != text.substr(0, text.find('\r'))) std::abort();
    std::string_view view = text;
    trim_string(view);
    if (view != line) std::abort();

    // next_line: lines at line feeds; a last line without one counts.
    std::string rebuilt;
    std::size_t pos = 0, lines = 0;
    std::string_view one;
    while (next_line(text, pos, one)) {
        if (one.find('\n') != std::string_view::npos) std::abort();
        if (lines++ > 0) rebuilt += '\n';
        rebuilt += one;
    }
    if (rebuilt != text && rebuilt + '\n' != text) std::abort();

    std::vector<std::string> fields = str_split(text, delim);
    std::vector<std::string_view> views;
    split_fields(text, delim, views);
    if (views.size() != fields.size()) std::abort();
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (views[i] != fields[i]) std::abort();
    if (text.empty() || delim.empty()) {
        if (!fields.empty()) std::abort();
        return 0;
    }
    // Joined with the delimiter, the fields give back the text.
    std::string joined;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].find(delim) != std::string::npos) std::abort();  // matches do not overlap
        if (i > 0) joined += delim;
        joined += fields[i];
    }
    // The last field is the non-empty rest after the last match, unless the
    // last match ends the text: then its empty rest is not a field.
    bool rest_is_field = joined == text && !fields.back().empty();
    if (!rest_is_field && joined + delim != text) std::abort();
    return 0;
}
