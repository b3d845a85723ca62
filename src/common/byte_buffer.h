#pragma once
#include <cstddef>

// A growable block of bytes from malloc, freed with its owner, so that an
// error that unwinds leaks nothing. Growing past what malloc can give fails
// as new would.
struct byte_buffer {
    char* data = nullptr;
    std::size_t size = 0;
    std::size_t capacity = 0;
    byte_buffer() = default;
    byte_buffer(const byte_buffer&) = delete;
    byte_buffer& operator=(const byte_buffer&) = delete;
    byte_buffer(byte_buffer&& other) noexcept;
    byte_buffer& operator=(byte_buffer&& other) noexcept;
    ~byte_buffer();
    void reserve(std::size_t bytes);
};

// Asks for huge pages behind a large buffer that is about to be filled:
// faulting memory in 4 KB at a time costs more than filling it on a virtual
// machine. Advice only: nothing changes when the kernel declines.
void advise_huge_pages(void* start, std::size_t bytes);
