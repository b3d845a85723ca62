#include "input/text.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <system_error>
#include <thread>

#include "common/output.h"
#include "config/config.h"
#include "input/gzip.h"

void split_fields(std::string_view text, std::string_view delim, std::vector<std::string_view>& fields) {
    fields.clear();
    if (text.empty() || delim.empty()) return;
    std::size_t start = 0;
    for (;;) {
        std::size_t p = delim.size() == 1 ? text.find(delim[0], start) : text.find(delim, start);
        if (p == std::string_view::npos) break;
        fields.push_back(text.substr(start, p - start));
        start = p + delim.size();
    }
    if (start < text.size()) fields.push_back(text.substr(start));
}

std::vector<std::string> str_split(const std::string& text, const std::string& delim) {
    std::vector<std::string_view> views;
    split_fields(text, delim, views);
    return std::vector<std::string>(views.begin(), views.end());
}

// A field that is only a plain decimal, [+-]digits[.digits] with at most 15
// digits: the digits as a whole number and the power of ten that divides it
// are both exact doubles, so one division rounds once, to the nearest double,
// which is what atof gives. Anything else is left to atof.
static bool plain_decimal(std::string_view field, double& value) {
    static const double powers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::size_t k = 0;
    bool negative = false;
    if (k < field.size() && (field[k] == '-' || field[k] == '+')) negative = field[k++] == '-';
    std::int64_t digits = 0;
    int count = 0, decimals = 0;
    bool point = false;
    for (; k < field.size(); ++k) {
        char c = field[k];
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            if (++count > 15) return false;
            digits = digits * 10 + (c - '0');
            decimals += point;
        } else {
            return false;
        }
    }
    if (count == 0) return false;
    value = static_cast<double>(digits) / powers[decimals];
    if (negative) value = -value;
    return true;
}

double field_number(std::string_view field) {
    double value;
    if (plain_decimal(field, value)) return value;
    // atof needs the field on its own: on the whole line it would skip a
    // following tab as white space and read the next field.
    static thread_local std::string buf;
    buf.assign(field);
    return std::atof(buf.c_str());
}

void trim_string(std::string_view& line) {
    std::size_t p = line.find('\r');
    if (p != std::string_view::npos) line = line.substr(0, p);
}

void trim_string(std::string& line) {
    std::string_view cut = line;
    trim_string(cut);
    line.resize(cut.size());
}

byte_buffer::byte_buffer(byte_buffer&& other) noexcept
    : data(other.data), size(other.size), capacity(other.capacity) {
    other.data = nullptr;
    other.size = other.capacity = 0;
}

byte_buffer& byte_buffer::operator=(byte_buffer&& other) noexcept {
    if (this != &other) {
        std::free(data);
        data = other.data;
        size = other.size;
        capacity = other.capacity;
        other.data = nullptr;
        other.size = other.capacity = 0;
    }
    return *this;
}

byte_buffer::~byte_buffer() { std::free(data); }

void byte_buffer::reserve(std::size_t bytes) {
    if (bytes <= capacity) return;
    char* p = static_cast<char*>(std::realloc(data, bytes));
    if (!p) allocation_failed();
    data = p;
    capacity = bytes;
}

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

// Closes the descriptor however the read ends (the fuzz builds unwind).
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

void read_file(const std::string& file_name, file_bytes& bytes) {
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

void run_parallel(std::size_t count, int threads, const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0};
    auto loop = [&] {
        for (std::size_t k; (k = next.fetch_add(1)) < count;) work(k);
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads && static_cast<std::size_t>(t) < count; ++t) {
        try {
            helpers.emplace_back(loop);
        } catch (const std::system_error&) {
            break;  // fewer helpers; the calling thread does the rest
        }
    }
    loop();
    for (auto& h : helpers) h.join();
}

bool next_line(std::string_view text, std::size_t& pos, std::string_view& line) {
    if (pos >= text.size()) return false;
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    line = text.substr(pos, end - pos);
    pos = end + 1;
    return true;
}

void advise_huge_pages(void* start, std::size_t bytes) {
    const std::uintptr_t huge = 1u << 21;
    std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(start) + huge - 1) & ~(huge - 1);
    std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(huge - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}
