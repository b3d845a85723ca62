#include "input/stretch_lines.h"

#include <algorithm>
#include <cstring>

void open_stretch(const open_input& in, const std::string& file_name, std::size_t from, std::size_t to, bool first,
                  bool last, std::size_t block, stretch_lines& s) {
    s = stretch_lines();
    s.in = &in;
    s.file_name = file_name;
    s.from = from;
    s.to = to;
    s.last = last;
    s.block = std::max<std::size_t>(block, 1);
    s.at = from;
    s.started = first;
    if (first) s.at = 0;
}

// Adds up to a block after what text holds; false at the end of the file.
static bool more(stretch_lines& s) {
    s.text.reserve(s.text.size + s.block);
    std::size_t got = read_at(*s.in, s.file_name, s.text.data + s.text.size, s.block, s.at);
    s.text.size += got;
    s.at += got;
    if (got < s.block && s.at < s.in->expected) s.cut = true;
    return got > 0;
}

// Drops the bytes before the stretch's first line: up to and with the first
// line feed at or after `from`. False when there is none before `to` (the
// stretch has no line of its own) or the file ends.
static bool find_start(stretch_lines& s) {
    for (;;) {
        const void* feed = s.text.size > 0 ? std::memchr(s.text.data, '\n', s.text.size) : nullptr;
        std::size_t offset = s.at - s.text.size;  // of text's first byte
        if (feed) {
            std::size_t k = static_cast<std::size_t>(static_cast<const char*>(feed) - s.text.data);
            if (offset + k >= s.to && !s.last) return false;
            std::memmove(s.text.data, s.text.data + k + 1, s.text.size - k - 1);
            s.text.size -= k + 1;
            return true;
        }
        s.text.size = 0;
        if (s.at >= s.to && !s.last) return false;
        if (!more(s)) return false;
    }
}

bool next_stretch_lines(stretch_lines& s, std::string_view& lines) {
    if (s.done) return false;
    if (s.handed > 0) {
        std::memmove(s.text.data, s.text.data + s.handed, s.text.size - s.handed);
        s.text.size -= s.handed;
        s.handed = 0;
    }
    if (!s.started) {
        s.started = true;
        if (!find_start(s)) {
            s.done = true;
            return false;
        }
    }
    for (std::size_t searched = 0;;) {
        std::size_t offset = s.at - s.text.size;
        // The stretch ends with the first line feed at or after `to`.
        if (!s.last && offset + s.text.size > s.to) {
            std::size_t from = s.to > offset ? s.to - offset : 0;
            from = std::max(from, searched);
            if (const void* feed = std::memchr(s.text.data + from, '\n', s.text.size - from)) {
                s.handed = static_cast<std::size_t>(static_cast<const char*>(feed) - s.text.data) + 1;
                s.done = true;
                lines = std::string_view(s.text.data, s.handed);
                return true;
            }
        }
        std::string_view added(s.text.data + searched, s.text.size - searched);
        std::size_t feed = added.rfind('\n');
        if (feed != std::string_view::npos && (s.last || offset + searched + feed < s.to)) {
            s.handed = searched + feed + 1;
            lines = std::string_view(s.text.data, s.handed);
            return true;
        }
        searched = s.text.size;
        if (!more(s)) {
            // The end of the file: what is left is the last line, without a line feed.
            s.done = true;
            s.handed = s.text.size;
            lines = std::string_view(s.text.data, s.text.size);
            return !lines.empty();
        }
    }
}

std::shared_ptr<byte_buffer> take_text(stretch_lines& s) {
    auto taken = std::make_shared<byte_buffer>(std::move(s.text));
    std::size_t rest = taken->size - s.handed;
    s.text = byte_buffer();
    s.text.reserve(std::max(rest, s.block));
    std::memcpy(s.text.data, taken->data + s.handed, rest);
    s.text.size = rest;
    s.handed = 0;
    return taken;
}
