// The decompressing reader: the fuzz input's text is compressed as one gzip
// member, as several members or as BGZF, possibly damaged, and read by the
// gene-list reader on 1 to 3 threads. Undamaged, it must give exactly what
// reading the plain text gives (the same table, or the same error). Damaged,
// it gives that too (a changed byte the format does not check, such as the
// time stamp) or the compressed-file error.
//
// Input: byte 0 the form (low 2 bits: one member, members, BGZF, the text
// itself as the file) and the compression level; byte 1 the damage (below 128
// none, else a changed byte or a cut) and the threads; bytes 2-3 a position
// (the damage, the members' cuts, the BGZF block size); the rest the text.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "gzip_writer.h"
#include "input_file.h"
#include "model_readers.h"
#include "quorin/quorin.h"

// The compressed file, and where each member ends in it and in the text.
struct compressed_file {
    std::string bytes;
    std::vector<std::pair<std::size_t, std::size_t>> member_ends;
    void add(const std::string& member, std::size_t text_end) {
        bytes += member;
        member_ends.emplace_back(bytes.size(), text_end);
    }
};

static compressed_file compressed(const std::string& text, int form, int level, std::size_t position) {
    compressed_file file;
    if (form == 0) {
        file.add(gzip_writer::member(text, level), text.size());
    } else if (form == 2) {
        std::size_t block = 1 + position % 70000;
        for (std::size_t at = 0; at < text.size(); at += block)
            file.add(gzip_writer::bgzf_block(text.substr(at, block), level), std::min(text.size(), at + block));
        file.add(gzip_writer::bgzf_block("", level), text.size());
    } else {
        // Members cut every `step` bytes, an empty one first.
        std::size_t step = 1 + position % (text.size() + 1);
        file.add(gzip_writer::member("", level), 0);
        for (std::size_t at = 0; at < text.size(); at += step)
            file.add(gzip_writer::member(text.substr(at, step), level), std::min(text.size(), at + step));
    }
    return file;
}

struct read_outcome {
    run_error error;
    std::vector<std::pair<std::string, double>> genes;
    std::string name;
};

static read_outcome read_list(const std::string& bytes, const run_options& o) {
    const std::string& name = input_file(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    read_outcome r;
    r.name = name;
    quorin::rankings list;
    r.error = quorin::read_gene_list(name, o, list);
    if (!r.error) r.genes = model::list_of(list.matrix);
    return r;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    int form = data[0] & 3, level = 1 + (data[0] >> 2) % 12;
    bool damaged = data[1] >= 128, cut = data[1] & 64;
    run_options o;
    o.thread_n = 1 + data[1] % 3;
    std::size_t position = data[2] << 8 | data[3];
    std::string text(reinterpret_cast<const char*>(data + 4), size - 4);

    if (form == 3) {  // the bytes as they are: a table or an error, but no crash
        read_list(text, o);
        return 0;
    }
    compressed_file made = compressed(text, form, level, position);
    std::string& file = made.bytes;
    std::string want_text = text;
    bool whole = !damaged;
    if (damaged) {
        position %= file.size();
        if (cut) {
            file.resize(position);
            // A cut between two members leaves a whole file of fewer members:
            // it reads as the text those members hold.
            for (const auto& end : made.member_ends)
                if (end.first == position) {
                    want_text = text.substr(0, end.second);
                    whole = true;
                }
        } else {
            file[position] = static_cast<char>(file[position] ^ (1 + data[1] % 255));
        }
    }
    read_outcome got = read_list(file, o);
    // Text that itself starts with the magic bytes reads as gzip when it is
    // the file, but as text once decompressed (one layer only): there is
    // nothing to compare it with but the way the run ends.
    if (want_text.size() >= 2 && static_cast<unsigned char>(want_text[0]) == 0x1f &&
        static_cast<unsigned char>(want_text[1]) == 0x8b)
        return 0;
    read_outcome plain = read_list(want_text, o);
    bool same = bool(got.error) == bool(plain.error) && got.error.text() == plain.error.text() &&
                got.error.on_stderr == plain.error.on_stderr && model::same_genes(got.genes, plain.genes);
    if (whole && !same) std::abort();
    // Damage to the first two bytes leaves no magic bytes: the file is then
    // read as text, like any other.
    if (damaged && !same && position >= 2) {
        const std::string message = "Sorry, couldn't read compressed file " + got.name + ": corrupt or truncated data";
        if (got.error.text() != message || got.error.on_stderr) std::abort();
    }
    return 0;
}
