#include "config/file_clashes.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include "common/error.h"
#include "common/out_file.h"

namespace {

struct named_file {
    const char* option;
    std::string name;
};

// The file a name stands for: "-" is standard input.
bool file_of(const std::string& name, struct stat& info) {
    return name == "-" ? fstat(0, &info) == 0 : stat(name.c_str(), &info) == 0;
}

bool same_inode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

std::string shown(const std::string& name) { return name == "-" ? "- (standard input)" : name; }

}  // namespace

static std::vector<named_file> outputs_of(const run_files& files, const run_options& o) {
    std::vector<named_file> outputs;
    if (!files.output.empty()) outputs.push_back({"-o", files.output});
    if (!files.outdata.empty()) outputs.push_back({"-d", files.outdata});
    if (!o.report_file.empty()) outputs.push_back({"--report", o.report_file});
    if (!files.genes.empty()) outputs.push_back({"--genes", files.genes});
    return outputs;
}

void check_output_clashes(const run_files& files, const run_options& o) {
    std::vector<named_file> outputs = outputs_of(files, o);
    for (std::size_t a = 0; a < outputs.size(); ++a)
        for (std::size_t b = a + 1; b < outputs.size(); ++b)
            if (same_output(outputs[a].name, outputs[b].name))
                fail(std::string(outputs[a].option) + " and " + outputs[b].option + " name the same file: " +
                     outputs[a].name + (outputs[b].name == outputs[a].name ? "" : " and " + outputs[b].name));
}

void check_input_clashes(const run_files& files, const run_options& o) {
    const named_file inputs[] = {{o.long_table ? "--net" : "-s", files.gene_set},
                                 {o.many_lists ? "--lists" : "-i", files.gene_list}};
    struct stat in[2], out;
    bool has[2] = {file_of(inputs[0].name, in[0]), file_of(inputs[1].name, in[1])};
    for (const named_file& w : outputs_of(files, o)) {
        // A device or a pipe may be read and written (-s /dev/stdin -o /dev/stdout).
        if (stat(w.name.c_str(), &out) != 0 || !S_ISREG(out.st_mode)) continue;
        for (int k = 0; k < 2; ++k)
            if (has[k] && same_inode(in[k], out))
                fail("wrong output: " + std::string(w.option) + " " + w.name + " is the input file of " +
                     inputs[k].option + " " + shown(inputs[k].name));
    }
    // Standard input read twice, once by its name: the second read finds it
    // spent. A regular file given twice by name is read twice whole.
    bool one_is_stdin = (inputs[0].name == "-") != (inputs[1].name == "-");
    if (one_is_stdin && has[0] && has[1] && same_inode(in[0], in[1]) && !S_ISREG(in[0].st_mode))
        fail(std::string("wrong input files: ") + inputs[0].option + " and " + inputs[1].option +
             " can't both be - (standard input)");
}
