#include "input/read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/error.h"
#include "common/parallel.h"
#include "input/gzip.h"

std::string shown_name(const std::string& file_name) { return file_name == "-" ? "standard input" : file_name; }

open_input::~open_input() {
    if (fd > 0) close(fd);
}

// Whether descriptor 0 was open when the program started, taken before main
// opens anything: with standard input closed (<&-), the first file opened
// takes descriptor 0, and "-" would read that file again.
static const bool standard_input_open = fcntl(0, F_GETFD) != -1;

void open_file(const std::string& file_name, open_input& in) {
    if (file_name == "-" && !standard_input_open) fail("Sorry, couldn't read standard input: it is closed");
    in.fd = file_name == "-" ? 0 : open(file_name.c_str(), O_RDONLY);
    if (in.fd < 0) fail("Sorry, couldn't open file " + file_name);
    struct stat info;
    in.regular = fstat(in.fd, &info) == 0 && S_ISREG(info.st_mode);
    in.expected = in.regular ? static_cast<std::size_t>(info.st_size) : 0;
}

// Up to `room` bytes: from the descriptor's offset, or with `at` 0 or more
// from that offset of a regular file (pread, which threads can share).
static std::size_t read_loop(const open_input& in, const std::string& file_name, char* to, std::size_t room,
                             off_t at = -1) {
    std::size_t done = 0;
    while (done < room) {
        ssize_t got = at < 0 ? read(in.fd, to + done, room - done)
                             : pread(in.fd, to + done, room - done, at + static_cast<off_t>(done));
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            fail("Sorry, couldn't open file " + shown_name(file_name));
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::size_t read_some(open_input& in, const std::string& file_name, char* to, std::size_t room) {
    return read_loop(in, file_name, to, room);
}

std::size_t read_at(const open_input& in, const std::string& file_name, char* to, std::size_t room, std::size_t at) {
    return read_loop(in, file_name, to, room, static_cast<off_t>(at));
}

void check_whole(const open_input& in, const std::string& file_name, std::size_t got) {
    // Another process cut the file while it was read: what was read is not
    // the file the run was given.
    if (in.regular && got < in.expected)
        fail("Sorry, couldn't read file " + shown_name(file_name) + ": it was cut short while being read");
}

// A regular file is read into a buffer of its size and one byte more, so
// that the read that finds the end needs no growing; the buffer doubles for
// anything longer (a file that grows, a pipe).
void read_rest(open_input& in, const std::string& file_name, byte_buffer& raw) {
    raw.reserve(in.regular ? in.expected + 1 : std::max(raw.size * 2, std::size_t(1) << 16));
    if (raw.size == 0) advise_huge_pages(raw.data, raw.capacity);
    for (;;) {
        if (raw.size == raw.capacity) raw.reserve(raw.capacity * 2);
        std::size_t room = raw.capacity - raw.size;
        std::size_t got = read_some(in, file_name, raw.data + raw.size, room);
        raw.size += got;
        if (got < room) break;
    }
    check_whole(in, file_name, raw.size);
}

// A large regular file given by name is read by the run's threads at once,
// each its own stretch, so that the kernel's copying and its clearing of the
// buffer's fresh pages, most of reading a file that is in the page cache,
// run side by side. read_rest then reads on from the end of the stretches,
// where a file that grew has more.
static void read_stretches(open_input& in, const std::string& file_name, int threads, byte_buffer& raw) {
    std::size_t size = in.expected, parts = static_cast<std::size_t>(threads);
    raw.reserve(size + 1);
    advise_huge_pages(raw.data, raw.capacity);
    std::vector<std::size_t> got(parts, 0);
    run_parallel(parts, threads, [&](std::size_t k) {
        std::size_t from = size * k / parts, to = size * (k + 1) / parts;
        got[k] = read_loop(in, file_name, raw.data + from, to - from, static_cast<off_t>(from));
    });
    // A stretch that came back short means the file was cut meanwhile.
    std::size_t total = 0;
    for (std::size_t g : got) total += g;
    check_whole(in, file_name, total);
    raw.size = size;
    if (lseek(in.fd, static_cast<off_t>(size), SEEK_SET) < 0) fail("Sorry, couldn't open file " + shown_name(file_name));
}

void gunzip_file(std::string_view raw, const std::string& file_name, int threads, byte_buffer& text) {
    if (!gunzip(raw, std::max(1, std::min(threads, 8)), text))
        fail("Sorry, couldn't read compressed file " + shown_name(file_name) + ": corrupt or truncated data");
}

void read_file(const std::string& file_name, int thread_n, file_bytes& bytes) {
    bytes = file_bytes();
    open_input in;
    open_file(file_name, in);
    byte_buffer raw;
    if (file_name != "-" && in.regular && thread_n > 1 && in.expected >= (std::size_t(8) << 20))
        read_stretches(in, file_name, thread_n, raw);
    read_rest(in, file_name, raw);
    std::string_view text(raw.data, raw.size);
    if (starts_gzip(text))
        gunzip_file(text, file_name, thread_n, bytes.buffer);
    else
        bytes.buffer = std::move(raw);
    bytes.text = std::string_view(bytes.buffer.data, bytes.buffer.size);
}

void release_file(file_bytes& bytes) { bytes = file_bytes(); }
