#include "common/error.h"

#include <new>
#include <stdexcept>

void fail(const std::string& message) {
    run_error e;
    e.message = message;
    throw fatal_error(std::move(e));
}

void fail_quoting(std::string_view message, std::string_view text, std::shared_ptr<void> holder,
                  std::string detail) {
    run_error e;
    e.message = std::string(message);
    e.quoted = text;
    e.holder = std::move(holder);
    e.detail = std::move(detail);
    throw fatal_error(std::move(e));
}

void fail_strictly(const std::string& warning) {
    static const std::string prefix = "warning: ";
    bool warned = warning.compare(0, prefix.size(), prefix) == 0;
    fail("stopped by --strict: " + (warned ? warning.substr(prefix.size()) : warning));
}

void die(const std::string& message) {
    run_error e;
    e.message = message;
    e.on_stderr = true;
    throw fatal_error(std::move(e));
}

void allocation_failed() {
    if (std::new_handler handler = std::get_new_handler()) handler();
    throw std::bad_alloc();
}

run_error caught_error() {
    try {
        throw;
    } catch (const fatal_error& f) {
        return f.error;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {  // a size past what can be allocated
    }
    run_error e;
    e.message = "Sorry, out of memory";
    e.on_stderr = true;
    return e;
}
