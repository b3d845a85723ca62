#include "input/read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/error.h"
#include "input/gzip.h"

std::string shown_name(const std::string& file_name) { return file_name == "-" ? "standard input" : file_name; }

// Reads fd to its end. A regular file is read into a buffer of its size and
// one byte more, so that the read that finds the end needs no growing; the
// buffer doubles for anything longer (a file that grows, a pipe).
static void read_all(int fd, const std::string& file_name, byte_buffer& raw) {
    struct stat info;
    bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    std::size_t expected = regular ? static_cast<std::size_t>(info.st_size) : 0;
    raw.reserve(regular ? expected + 1 : std::size_t(1) << 16);
    advise_huge_pages(raw.data, raw.capacity);
    for (;;) {
        if (raw.size == raw.capacity) raw.reserve(raw.capacity * 2);
        ssize_t got = read(fd, raw.data + raw.size, raw.capacity - raw.size);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            fail("Sorry, couldn't open file " + shown_name(file_name));
        }
        raw.size += static_cast<std::size_t>(got);
    }
    // Another process cut the file while it was read: what was read is not
    // the file the run was given.
    if (regular && raw.size < expected)
        fail("Sorry, couldn't read file " + shown_name(file_name) + ": it was cut short while being read");
}

// Closes the descriptor however the read ends.
struct fd_closer {
    int fd;
    ~fd_closer() {
        if (fd > 0) close(fd);
    }
};

// Whether descriptor 0 was open when the program started, taken before main
// opens anything: with standard input closed (<&-), the first file opened
// takes descriptor 0, and "-" would read that file again.
static const bool standard_input_open = fcntl(0, F_GETFD) != -1;

void read_file(const std::string& file_name, int thread_n, file_bytes& bytes) {
    bytes = file_bytes();
    if (file_name == "-" && !standard_input_open) fail("Sorry, couldn't read standard input: it is closed");
    int fd = file_name == "-" ? 0 : open(file_name.c_str(), O_RDONLY);
    if (fd < 0) fail("Sorry, couldn't open file " + file_name);
    fd_closer closer{fd};
    byte_buffer raw;
    read_all(fd, file_name, raw);
    std::string_view text(raw.data, raw.size);
    if (starts_gzip(text)) {
        int threads = std::max(1, std::min(thread_n, 8));
        if (!gunzip(text, threads, bytes.buffer))
            fail("Sorry, couldn't read compressed file " + shown_name(file_name) + ": corrupt or truncated data");
    } else {
        bytes.buffer = std::move(raw);
    }
    bytes.text = std::string_view(bytes.buffer.data, bytes.buffer.size);
}

void release_file(file_bytes& bytes) { bytes = file_bytes(); }

