#pragma once
#include <string_view>
#include <vector>

#include "common/byte_buffer.h"

// Whether the bytes start with the gzip magic bytes 1f 8b. Input is
// recognised by them, never by its file name.
bool starts_gzip(std::string_view bytes);

// Decompresses every gzip member of `in`, one after the other, into `out`.
// A file that is all BGZF blocks (members that give their own size in a "BC"
// extra field, each of at most 64 KiB of text) is decompressed on up to
// `threads` threads; any other member series is read in turn. False when the
// data is corrupt, cut short, or followed by anything but another member;
// every member's CRC-32 and length are checked.
bool gunzip(std::string_view in, int threads, byte_buffer& out);

// The number of BGZF blocks when `in` is BGZF from its first byte to its
// last, else 0: the files gunzip decompresses block by block.
std::size_t bgzf_block_count(std::string_view in);

// One BGZF block: where it starts in the input, its size, and the size of
// its text (the member's length trailer).
struct bgzf_extent {
    std::size_t at, size, text;
};

// The blocks of the input when it is BGZF from its first byte to its last
// (or to its padding); false otherwise.
bool bgzf_blocks(std::string_view in, std::vector<bgzf_extent>& blocks);

// Decompresses `count` blocks of `in` from `first` on, on up to `threads`
// threads, after the out.size bytes already in out. False when one is
// corrupt or does not give the text its trailer claims.
bool gunzip_blocks(std::string_view in, const bgzf_extent* first, std::size_t count, int threads, byte_buffer& out);
