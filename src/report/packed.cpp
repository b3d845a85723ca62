#include "report/packed.h"

#include <libdeflate.h>

#include <memory>
#include <new>

std::string base64(std::string_view bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t k = 0;
    auto at = [&](std::size_t j) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[j])); };
    for (; k + 3 <= bytes.size(); k += 3) {
        unsigned v = at(k) << 16 | at(k + 1) << 8 | at(k + 2);
        out += digits[v >> 18];
        out += digits[v >> 12 & 63];
        out += digits[v >> 6 & 63];
        out += digits[v & 63];
    }
    std::size_t left = bytes.size() - k;
    if (left > 0) {
        unsigned v = at(k) << 16 | (left == 2 ? at(k + 1) << 8 : 0);
        out += digits[v >> 18];
        out += digits[v >> 12 & 63];
        out += left == 2 ? digits[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

std::string gzip_base64(std::string_view bytes) {
    // Level 6: within a few per cent of the smallest output at a fraction
    // of the time of the higher levels.
    std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> c(libdeflate_alloc_compressor(6),
                                                                               libdeflate_free_compressor);
    if (!c) throw std::bad_alloc();
    std::string packed(libdeflate_gzip_compress_bound(c.get(), bytes.size()), '\0');
    std::size_t size = libdeflate_gzip_compress(c.get(), bytes.data(), bytes.size(), packed.data(), packed.size());
    if (size == 0) throw std::bad_alloc();  // the bound is always enough
    packed.resize(size);
    return base64(packed);
}
