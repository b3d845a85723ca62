#include "input/gzip.h"

#include <libdeflate.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <vector>

#include "common/error.h"
#include "common/parallel.h"

bool starts_gzip(std::string_view bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
           static_cast<unsigned char>(bytes[1]) == 0x8b;
}

static std::uint32_t le16(const unsigned char* p) { return p[0] | p[1] << 8; }
static std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// A decompressor that is freed with its owner.
struct decompressor {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    decompressor() {
        if (!d) allocation_failed();
    }
    decompressor(const decompressor&) = delete;
    decompressor& operator=(const decompressor&) = delete;
    ~decompressor() { libdeflate_free_decompressor(d); }
};

// The size a BGZF block gives itself, or 0 when the member at p is not one:
// the header of a deflate member with an extra field, and in it a "BC"
// subfield of two bytes holding the block size less one.
static std::size_t bgzf_block_size(const unsigned char* p, std::size_t avail) {
    if (avail < 18 || p[0] != 0x1f || p[1] != 0x8b || p[2] != 8 || !(p[3] & 4)) return 0;
    std::size_t xlen = le16(p + 10);
    if (12 + xlen > avail) return 0;
    for (std::size_t k = 12; k + 4 <= 12 + xlen;) {
        std::size_t slen = le16(p + k + 2);
        if (p[k] == 'B' && p[k + 1] == 'C' && slen == 2 && k + 6 <= 12 + xlen) return le16(p + k + 4) + 1;
        k += 4 + slen;
    }
    return 0;
}

// Zero bytes after the last member are padding (tapes, block devices, some
// transfer tools fill the last block with them); gzip ignores them too.
static bool only_padding(std::string_view rest) {
    return rest.find_first_not_of('\0') == std::string_view::npos;
}

// A block whose trailer claims more than 64 KiB is not BGZF.
bool bgzf_blocks(std::string_view in, std::vector<bgzf_extent>& blocks) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(in.data());
    for (std::size_t at = 0; at < in.size();) {
        if (at > 0 && only_padding(in.substr(at))) break;
        std::size_t size = bgzf_block_size(p + at, in.size() - at);
        // The header (18 bytes) and the trailer (8) fit in every block.
        if (size < 26 || size > in.size() - at) return false;
        std::size_t text = le32(p + at + size - 4);
        if (text > 65536) return false;
        blocks.push_back({at, size, text});
        at += size;
    }
    return !blocks.empty();
}

// Independent blocks, each into its own place of the output, on the threads.
bool gunzip_blocks(std::string_view in, const bgzf_extent* first, std::size_t count, int threads, byte_buffer& out) {
    std::vector<std::size_t> offsets(count + 1, out.size);
    for (std::size_t k = 0; k < count; ++k) offsets[k + 1] = offsets[k] + first[k].text;
    out.reserve(offsets.back());
    advise_huge_pages(out.data, offsets.back());
    std::atomic<bool> bad{false};
    // Each thread keeps its decompressor; blocks are taken in chunks of 16 so
    // that the shared counter is not touched for every 64 KiB.
    const std::size_t per_task = 16;
    std::size_t tasks = (count + per_task - 1) / per_task;
    run_parallel(tasks, threads, [&](std::size_t task) {
        thread_local decompressor d;
        for (std::size_t k = task * per_task; k < count && k < (task + 1) * per_task && !bad; ++k) {
            const bgzf_extent& b = first[k];
            std::size_t used = 0, got = 0;
            libdeflate_result r = libdeflate_gzip_decompress_ex(d.d, in.data() + b.at, b.size, out.data + offsets[k],
                                                                b.text, &used, &got);
            if (r != LIBDEFLATE_SUCCESS || used != b.size || got != b.text) bad = true;
        }
    });
    out.size = offsets.back();
    return !bad;
}

// Members in turn into a growing buffer. The last four bytes of the input are
// the length of the last member's text (modulo 2^32): the exact size of a
// single-member file. Text compresses about four to one, which is the guess
// when the trailer gives less; deflate expands at most 1032 to 1, which bounds
// the guess when the trailer is damaged. Room that is never written costs no
// memory.
static bool gunzip_members(std::string_view in, byte_buffer& out) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(in.data());
    std::size_t guess = in.size() >= 4 ? le32(p + in.size() - 4) : 0;
    if (guess / 1032 > in.size() || guess < in.size() * 4) guess = in.size() * 4;
    out.reserve(guess + 1);
    advise_huge_pages(out.data, out.capacity);
    decompressor d;
    out.size = 0;
    for (std::size_t at = 0; at < in.size();) {
        if (at > 0 && only_padding(in.substr(at))) break;
        if (!starts_gzip(in.substr(at))) return false;  // something other than a member after a member
        std::size_t used = 0, got = 0;
        libdeflate_result r = libdeflate_gzip_decompress_ex(d.d, in.data() + at, in.size() - at, out.data + out.size,
                                                            out.capacity - out.size, &used, &got);
        if (r == LIBDEFLATE_INSUFFICIENT_SPACE) {
            out.reserve(out.capacity * 2);  // the member is decompressed again
            continue;
        }
        if (r != LIBDEFLATE_SUCCESS) return false;
        at += used;
        out.size += got;
    }
    return true;
}

std::size_t bgzf_block_count(std::string_view in) {
    std::vector<bgzf_extent> blocks;
    return bgzf_blocks(in, blocks) ? blocks.size() : 0;
}

bool gunzip(std::string_view in, int threads, byte_buffer& out) {
    std::vector<bgzf_extent> blocks;
    if (bgzf_blocks(in, blocks)) {
        out.size = 0;
        return gunzip_blocks(in, blocks.data(), blocks.size(), threads, out);
    }
    return gunzip_members(in, out);
}
