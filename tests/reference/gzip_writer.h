#pragma once
// Writes gzip members and BGZF blocks for the tests and fuzz targets of the
// decompressing reader, with libdeflate's compressor.
#include <libdeflate.h>

#include <cstdint>
#include <string>

namespace gzip_writer {

inline std::string deflate_raw(const std::string& text, int level = 6) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    std::string out(libdeflate_deflate_compress_bound(c, text.size()), '\0');
    out.resize(libdeflate_deflate_compress(c, text.data(), text.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
}

inline std::string le32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

// CRC-32 and length of the text: a member's last eight bytes.
inline std::string trailer(const std::string& text) {
    return le32(libdeflate_crc32(0, text.data(), text.size())) + le32(static_cast<std::uint32_t>(text.size()));
}

// One gzip member with a plain 10-byte header.
inline std::string member(const std::string& text, int level = 6) {
    return std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10) + deflate_raw(text, level) + trailer(text);
}

// One BGZF block: the extra field holds "BC", 2, and the block size less one.
inline std::string bgzf_block(const std::string& text, int level = 6) {
    std::string body = deflate_raw(text, level);
    std::size_t size = 18 + body.size() + 8 - 1;
    std::string header("\x1f\x8b\x08\x04\x00\x00\x00\x00\x00\xff\x06\x00" "BC\x02\x00", 16);
    header += static_cast<char>(size);
    header += static_cast<char>(size >> 8);
    return header + body + trailer(text);
}

// BGZF: blocks of `block` bytes of text, then the empty end-of-file block.
inline std::string bgzf(const std::string& text, std::size_t block, int level = 6) {
    std::string out;
    for (std::size_t k = 0; k < text.size(); k += block) out += bgzf_block(text.substr(k, block), level);
    return out + bgzf_block("", level);
}

}  // namespace gzip_writer
