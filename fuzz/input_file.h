#pragma once
// The readers take a file name: the fuzz input is put into an in-memory file
// that is opened by its /proc path.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

inline const std::string& input_file(const uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("quorin-fuzz-input", 0);
    static const std::string name = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0) std::abort();
    for (std::size_t done = 0; done < size;) {
        ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
    return name;
}

// The first input byte picks the treatment of the scores (the character of
// adj_method: '1' unchanged, '2' absolute values, '3' negated) and the gene-set
// cut-off; the corpus replay passes the same choices as -r and -g.
inline char treatment_of(uint8_t mode) { return "123"[mode % 3]; }
inline const char* cutoff_text_of(uint8_t mode) {
    static const char* const texts[] = {"10", "0", "-inf", "nan"};
    return texts[(mode / 3) % 4];
}
