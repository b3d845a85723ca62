#pragma once
#include <exception>
#include <memory>
#include <string>
#include <string_view>

// A condition that ends a run, as the command reports it: the exact line and
// the stream it has always gone to. Bad input and bad option values are
// reported on standard output, failures of the system (a file that cannot be
// opened or written, memory) on standard error.
struct run_error {
    std::string message;          // empty: no error
    std::string_view quoted;      // input text that follows the message, held by `holder`
    std::shared_ptr<void> holder; // keeps the quoted bytes: a wrong line of a gigabyte is not copied
    bool on_stderr = false;
    // Where a refused line lies and what was expected there ("FILE line N:
    // ..."): a second line, for standard error, after the message.
    std::string detail;

    explicit operator bool() const { return !message.empty() || !quoted.empty(); }
    std::string text() const { return message + std::string(quoted); }
};

// Inside the library a fatal condition is thrown as this and turned back into
// a value where the caller's function returns (quorin.cpp), so that no part
// of the library ends the process that holds it.
struct fatal_error : std::exception {
    run_error error;
    explicit fatal_error(run_error e) : error(std::move(e)) {}
    const char* what() const noexcept override { return error.message.c_str(); }
};

// A wrong input or option value: the line goes to standard output.
[[noreturn]] void fail(const std::string& message);

// The same for a message that quotes input text: the text stays where it is,
// owned by holder, so that a line of a gigabyte is not copied on its way out.
[[noreturn]] void fail_quoting(std::string_view message, std::string_view text, std::shared_ptr<void> holder,
                               std::string detail = {});

// A warning ("warning: ...") under --strict: the run ends on it as on a wrong input.
[[noreturn]] void fail_strictly(const std::string& warning);

// A failure of the system: the line goes to standard error.
[[noreturn]] void die(const std::string& message);

// For memory taken from malloc rather than new: fails as new would, through
// the installed new-handler, or with std::bad_alloc without one.
[[noreturn]] void allocation_failed();

// The error of whatever was thrown inside the library: ours, or running out
// of memory ("Sorry, out of memory" on standard error).
run_error caught_error();
