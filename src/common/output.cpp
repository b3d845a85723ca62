#include "common/output.h"

#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>

#include "common/out_file.h"

std::string num(double v, int precision) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*g", precision, v);
    return buf;
}

// Read in signal handlers, which only a lock-free atomic allows.
static_assert(std::atomic<bool>::is_always_lock_free, "error_line_open must be lock-free");
std::atomic<bool> error_line_open{false};

void close_error_line() {
    if (!error_line_open.exchange(false)) return;
    ssize_t ignored = write(STDERR_FILENO, "\r\033[K", 4);
    (void)ignored;
}

void put_line(std::FILE* f, const std::string& line) {
    std::string text = line;
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), f);
    std::fflush(f);
}

void write_line(std::FILE* f, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::putc('\n', f);
}

void fail(const std::string& message) {
    // Standard output stays locked until the process has ended, so no other
    // thread's line can follow the fatal one, and a second fatal error on
    // another thread waits here instead of writing its own line.
    flockfile(stdout);
    close_error_line();
    put_line(stdout, message);
    remove_temporaries();
    std::_Exit(1);
}

// Writes all of the pieces, resuming after a partial write; false on an error.
static bool write_all(int fd, struct iovec* pieces, int count) {
    while (count > 0) {
        ssize_t done = writev(fd, pieces, count);
        if (done < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        auto left = static_cast<std::size_t>(done);
        for (; count > 0 && left >= pieces->iov_len; --count, ++pieces) left -= pieces->iov_len;
        if (count > 0) {
            pieces->iov_base = static_cast<char*>(pieces->iov_base) + left;
            pieces->iov_len -= left;
        }
    }
    return true;
}

void fail_quoting(std::string_view message, std::string_view text) {
    flockfile(stdout);
    close_error_line();
    std::fflush(stdout);  // lines already buffered come first
    struct iovec pieces[3] = {{const_cast<char*>(message.data()), message.size()},
                              {const_cast<char*>(text.data()), text.size()},
                              {const_cast<char*>("\n"), 1}};
    write_all(STDOUT_FILENO, pieces, 3);
    remove_temporaries();
    std::_Exit(1);
}

void die(const std::string& message) {
    close_error_line();
    put_line(stderr, message);
    std::fflush(stdout);
    remove_temporaries();
    std::_Exit(1);
}

void out_of_memory() {
    // The first thread out of memory reports; any other waits for the exit.
    static std::atomic<bool> reported{false};
    if (reported.exchange(true))
        for (;;) pause();
    close_error_line();
    static const char message[] = "Sorry, out of memory\n";
    ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    remove_temporaries();
    std::_Exit(1);
}

void allocation_failed() {
    if (std::new_handler handler = std::get_new_handler()) handler();
    throw std::bad_alloc();
}
