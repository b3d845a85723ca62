#pragma once
#include "common/error.h"

// The error that work ends with, as the library returns it at its edge;
// empty when work returns.
template <class Work> run_error error_of(Work work) {
    try {
        work();
    } catch (...) {
        return caught_error();
    }
    return run_error();
}
