#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "error_of.h"
#include "gzip_writer.h"
#include "input/gzip.h"
#include "input/read_file.h"

namespace {

// Text with lines of random length; bytes of every value now and then.
std::string random_text(std::mt19937& rng, std::size_t size) {
    std::string text;
    while (text.size() < size) {
        int kind = rng() % 8;
        text += kind == 0 ? '\n' : kind == 1 ? static_cast<char>(rng()) : static_cast<char>('a' + rng() % 8);
    }
    return text;
}

using gzip_writer::bgzf;
using gzip_writer::bgzf_block;
using gzip_writer::member;

bool gunzip_text(const std::string& in, int threads, std::string& text) {
    byte_buffer out;
    bool ok = gunzip(in, threads, out);
    text.assign(out.data ? out.data : "", out.size);
    return ok;
}

}  // namespace

TEST(Gzip, KnownByMagicBytesOnly) {
    EXPECT_TRUE(starts_gzip(std::string("\x1f\x8b", 2)));
    EXPECT_TRUE(starts_gzip(member("x")));
    EXPECT_FALSE(starts_gzip(""));
    EXPECT_FALSE(starts_gzip("\x1f"));
    EXPECT_FALSE(starts_gzip("\x8b\x1f"));
    EXPECT_FALSE(starts_gzip("c\t1\t2\tS; x|g\t3\t.\n"));
}

// One member, members cut anywhere (empty ones too) and BGZF in blocks of
// several sizes give back the text, on any number of threads. The BGZF files
// are recognised as such, the others are not, so both ways are tested.
TEST(Gzip, EveryFormGivesTheText) {
    std::mt19937 rng(11);
    for (std::size_t size : {0, 1, 2, 100, 5000, 300000}) {
        std::string text = random_text(rng, size), got;
        ASSERT_TRUE(gunzip_text(member(text), 1, got));
        EXPECT_EQ(got, text) << size;
        EXPECT_EQ(bgzf_block_count(member(text)), 0u);

        std::string several;
        for (std::size_t at = 0; at < text.size() || several.empty();) {
            std::size_t take = rng() % 4 == 0 ? 0 : rng() % (text.size() / 3 + 2);
            several += member(text.substr(at, take));
            at += take;
        }
        ASSERT_TRUE(gunzip_text(several, 2, got));
        EXPECT_EQ(got, text) << size;

        for (std::size_t block : {1, 700, 65280}) {
            if (size / block > 20000) continue;
            std::string file = bgzf(text, block);
            EXPECT_EQ(bgzf_block_count(file), (size + block - 1) / block + 1);
            for (int threads : {1, 2, 5}) {
                ASSERT_TRUE(gunzip_text(file, threads, got)) << size << " " << block << " " << threads;
                EXPECT_EQ(got, text) << size << " " << block << " " << threads;
            }
        }
    }
}

// A small last member gives a small size hint, and repeated lines compress
// far more than four to one: the buffer grows for the large first member.
TEST(Gzip, OutputGrowsPastTheGuess) {
    std::string big, got;
    for (int k = 0; k < 200000; ++k) big += "gene\t1.5\n";
    ASSERT_LT(member(big).size() * 4 * 16, big.size());
    ASSERT_TRUE(gunzip_text(member(big) + member("x"), 1, got));
    EXPECT_EQ(got, big + "x");
    ASSERT_TRUE(gunzip_text(member(big) + member(""), 1, got));
    EXPECT_EQ(got, big);
}

// Every cut of a member and every changed byte after the header is refused.
// (Header bytes 4 to 9, time stamp and the like, are not checked by gzip.)
TEST(Gzip, CutOrChangedDataIsRefused) {
    std::mt19937 rng(13);
    std::string text = random_text(rng, 2000), got;
    std::string file = member(text);
    for (std::size_t cut = 1; cut < file.size(); ++cut)
        EXPECT_FALSE(gunzip_text(file.substr(0, cut), 1, got)) << "cut at " << cut;
    for (std::size_t at = 10; at < file.size(); ++at) {
        std::string changed = file;
        changed[at] ^= 0x5a;
        EXPECT_FALSE(gunzip_text(changed, 1, got)) << "byte " << at;
    }
    EXPECT_FALSE(gunzip_text(file + "\n", 1, got));
    EXPECT_FALSE(gunzip_text(file + std::string("\x1f\x8b", 2), 1, got));
    EXPECT_FALSE(gunzip_text(file + std::string(8, '\0') + "x", 1, got));
}

// Zero bytes after the last member are padding, as gzip reads them; BGZF so
// padded is still read block by block.
TEST(Gzip, ZeroPaddingAfterTheLastMemberIsIgnored) {
    std::mt19937 rng(16);
    std::string text = random_text(rng, 20000), got;
    struct form {
        const char* label;
        std::string file;
        std::size_t blocks;
    };
    const form forms[] = {
        {"one member", member(text), 0},
        {"two members", member(text.substr(0, 700)) + member(text.substr(700)), 0},
        {"BGZF", bgzf(text, 4096), 6},
    };
    for (const form& f : forms)
        for (std::size_t padding : {1, 8, 512, 70000}) {
            std::string padded = f.file + std::string(padding, '\0');
            ASSERT_TRUE(gunzip_text(padded, 2, got)) << f.label << " " << padding;
            EXPECT_EQ(got, text) << f.label << " " << padding;
            EXPECT_EQ(bgzf_block_count(padded), f.blocks) << f.label << " " << padding;
        }
}

TEST(Gzip, CutOrChangedBgzfIsRefused) {
    std::mt19937 rng(14);
    std::string text = random_text(rng, 200000), got;
    std::string file = bgzf(text, 4096);
    ASSERT_GT(bgzf_block_count(file), 40u);
    // A changed byte in the deflate data of a middle block, on several threads.
    std::size_t middle = file.size() / 2;
    for (std::size_t at = middle; at < middle + 64; ++at) {
        std::string changed = file;
        changed[at] ^= 0x5a;
        EXPECT_FALSE(gunzip_text(changed, 3, got)) << "byte " << at;
    }
    // The length trailer of the first block, larger and smaller.
    std::size_t first = bgzf_block(text.substr(0, 4096)).size();
    for (int step : {1, -1}) {
        std::string changed = file;
        changed[first - 4] = static_cast<char>(changed[first - 4] + step);
        EXPECT_FALSE(gunzip_text(changed, 2, got));
    }
    std::size_t end_block = bgzf_block("").size();
    for (std::size_t cut : {file.size() - 1, file.size() - end_block - 1, file.size() / 3})
        EXPECT_FALSE(gunzip_text(file.substr(0, cut), 2, got)) << "cut at " << cut;
    // Without its end-of-file block the file is still whole.
    ASSERT_TRUE(gunzip_text(file.substr(0, file.size() - end_block), 2, got));
    EXPECT_EQ(got, text);
}

// "-" reads standard input; a compressed file reads as its text.
TEST(ReadFile, StandardInputAndCompressedFiles) {
    std::mt19937 rng(15);
    std::string text = random_text(rng, 100000);
    char name[] = "/tmp/quorin_read_file_XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    std::string gz = member(text);
    ASSERT_EQ(write(fd, gz.data(), gz.size()), static_cast<ssize_t>(gz.size()));
    file_bytes bytes;
    read_file(name, 1, bytes);
    EXPECT_EQ(bytes.text, text);

    int saved = dup(0);
    ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
    ASSERT_GE(dup2(fd, 0), 0);
    read_file("-", 1, bytes);
    EXPECT_EQ(bytes.text, text);
    dup2(saved, 0);
    close(saved);
    close(fd);
    release_file(bytes);
    EXPECT_TRUE(bytes.text.empty());
    std::remove(name);
    EXPECT_EQ(shown_name("-"), "standard input");
    EXPECT_EQ(shown_name("a.gz"), "a.gz");
}

// A file of 8 MiB or more is read in stretches, one a thread: the same
// bytes for any number of threads, and for sizes that do not divide evenly.
TEST(ReadFile, LargeFileReadInStretchesEqualsTheFile) {
    std::mt19937 rng(16);
    std::string text = random_text(rng, (std::size_t(8) << 20) + 12345);
    char name[] = "/tmp/quorin_read_file_XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    for (int threads : {1, 2, 3, 7}) {
        file_bytes bytes;
        read_file(name, threads, bytes);
        EXPECT_TRUE(bytes.text == text) << threads << " threads";
    }
    std::remove(name);
}

TEST(ReadFile, CorruptCompressedFileFailsWithItsName) {
    char name[] = "/tmp/quorin_read_file_XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    std::string gz = member("c\t1\t2\tS; x|g\t30\t.\n");
    gz.resize(gz.size() - 1);
    ASSERT_EQ(write(fd, gz.data(), gz.size()), static_cast<ssize_t>(gz.size()));
    close(fd);
    file_bytes bytes;
    run_error e = error_of([&] { read_file(name, 1, bytes); });
    EXPECT_EQ(e.text(), "Sorry, couldn't read compressed file " + std::string(name) + ": corrupt or truncated data");
    EXPECT_FALSE(e.on_stderr);
    std::remove(name);
}
