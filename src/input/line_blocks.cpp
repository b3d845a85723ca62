#include "input/line_blocks.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "common/error.h"

static const std::size_t piece = std::size_t(4) << 20;  // bytes of a regular file read at a time
static const std::size_t batch = 64;                     // BGZF blocks decompressed at a time

static int gzip_threads(const line_blocks& in) { return std::max(1, std::min(in.threads, 8)); }

// Adds text after what in.text holds; false at the end of the input.
static bool more_text(line_blocks& in) {
    if (in.at_end) return false;
    if (in.plain) {
        in.text.reserve(in.text.size + piece);
        std::size_t got = read_some(in.input, in.file_name, in.text.data + in.text.size, piece);
        in.text.size += got;
        in.read_bytes += got;
        if (got < piece) {
            in.at_end = true;
            check_whole(in.input, in.file_name, in.read_bytes);
            if (in.first_bytes > 0 && in.read_bytes != in.first_bytes) input_changed(in);
        }
        return got > 0;
    }
    if (in.next_block == in.blocks.size()) {
        in.at_end = true;
        return false;
    }
    std::size_t count = std::min(batch, in.blocks.size() - in.next_block);
    std::string_view raw(in.compressed.data, in.compressed.size);
    if (!gunzip_blocks(raw, &in.blocks[in.next_block], count, gzip_threads(in), in.text))
        fail("Sorry, couldn't read compressed file " + shown_name(in.file_name) + ": corrupt or truncated data");
    in.next_block += count;
    return true;
}

// A regular file's first piece tells whether it is gzip, by its magic bytes.
// gzip and any other input are read whole, then taken as read_file takes them.
void open_lines(const std::string& file_name, int threads, line_blocks& in) {
    in.file_name = file_name;
    in.threads = threads;
    open_file(file_name, in.input);
    in.start = in.input.regular ? lseek(in.input.fd, 0, SEEK_CUR) : -1;
    in.plain = in.start >= 0;
    if (in.plain && (!more_text(in) || !starts_gzip(std::string_view(in.text.data, in.text.size)))) return;
    in.plain = false;
    in.compressed = std::move(in.text);
    if (!in.at_end) read_rest(in.input, file_name, in.compressed);
    in.at_end = false;
    std::string_view raw(in.compressed.data, in.compressed.size);
    if (starts_gzip(raw) && bgzf_blocks(raw, in.blocks)) return;
    in.whole = true;
    if (starts_gzip(raw))
        gunzip_file(raw, file_name, threads, in.held);
    else
        in.held = std::move(in.compressed);
    in.compressed = byte_buffer();
}

bool next_lines(line_blocks& in, std::string_view& lines) {
    if (in.whole) {
        lines = in.at_end ? std::string_view() : std::string_view(in.held.data, in.held.size);
        in.at_end = true;
        return !lines.empty();
    }
    if (in.handed > 0) {
        std::memmove(in.text.data, in.text.data + in.handed, in.text.size - in.handed);
        in.text.size -= in.handed;
        in.handed = 0;
    }
    for (std::size_t searched = 0;;) {
        std::string_view added(in.text.data + searched, in.text.size - searched);
        std::size_t feed = added.rfind('\n');
        if (feed != std::string_view::npos) {
            in.handed = searched + feed + 1;
            break;
        }
        searched = in.text.size;
        if (!more_text(in)) {
            in.handed = in.text.size;
            break;
        }
    }
    lines = std::string_view(in.text.data, in.handed);
    return in.handed > 0;
}

void read_to_end(line_blocks& in) {
    in.handed = 0;
    for (in.text.size = 0; more_text(in); in.text.size = 0) {
    }
}

void rewind_lines(line_blocks& in) {
    in.at_end = false;
    in.next_block = 0;
    in.text.size = in.handed = 0;
    if (!in.plain) return;
    in.first_bytes = in.read_bytes;
    in.read_bytes = 0;
    if (lseek(in.input.fd, in.start, SEEK_SET) != in.start)
        fail("Sorry, couldn't open file " + shown_name(in.file_name));
}

void input_changed(const line_blocks& in) {
    fail("Sorry, couldn't read file " + shown_name(in.file_name) + ": it changed while being read");
}
