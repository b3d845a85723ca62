#include "common/byte_buffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "common/error.h"

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

void advise_huge_pages(void* start, std::size_t bytes) {
    const std::uintptr_t huge = 1u << 21;
    std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(start) + huge - 1) & ~(huge - 1);
    std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(huge - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}
