#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <new>
#include <system_error>
#include <thread>

#include "quorin/quorin.h"

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

// The line of an error, where the command has always written it, then exit
// status 1. Lines already buffered on standard output come first; a quoted
// input line is written from where it lies, not copied.
[[noreturn]] static void end_with(const run_error& e) {
    close_error_line();
    if (e.on_stderr) {
        put_line(stderr, e.message);
        std::fflush(stdout);
    } else {
        std::fflush(stdout);
        struct iovec pieces[3] = {{const_cast<char*>(e.message.data()), e.message.size()},
                                  {const_cast<char*>(e.quoted.data()), e.quoted.size()},
                                  {const_cast<char*>("\n"), 1}};
        write_all(STDOUT_FILENO, pieces, 3);
    }
    if (!e.detail.empty()) put_line(stderr, e.detail);
    remove_temporaries();
    std::_Exit(1);
}

static void check(const run_error& e) {
    if (e) end_with(e);
}

// The new-handler: "Sorry, out of memory" on the error stream, written
// without allocating, then exit status 1. The first thread out of memory
// reports; any other waits for the exit.
[[noreturn]] static void out_of_memory() {
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

static run_error read_list(const run_files& files, const run_options& o, quorin::rankings& list) {
    return o.many_lists ? quorin::read_rankings_matrix(files.gene_list, o, list)
                        : quorin::read_gene_list(files.gene_list, o, list);
}

static bool regular_file(const std::string& path, off_t at_least) {
    struct stat file;
    return path != "-" && stat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) && file.st_size >= at_least;
}

// With threads to spare, a gene list in a regular file is read while a large
// gene-set file is (below 4 MB a thread costs more than it saves). Standard
// input or a pipe is read only once the gene sets are in, so that a run that
// fails on them never waits on its list. An error of the gene-set file comes
// first, as when they are read in turn.
static void read_inputs(const run_files& files, const run_options& o, quorin::gene_sets& sets,
                        quorin::rankings& list) {
    bool at_once = o.thread_n > 1 && regular_file(files.gene_set, off_t{1} << 22) && regular_file(files.gene_list, 0);
    std::thread reader;
    run_error list_error;
    if (at_once) {
        try {
            reader = std::thread([&] { list_error = read_list(files, o, list); });
        } catch (const std::system_error&) {
            at_once = false;
        }
    }
    run_error set_error = quorin::read_gene_sets(files.gene_set, o, sets);
    if (at_once) reader.join();
    check(set_error);
    check(at_once ? list_error : read_list(files, o, list));
}

static void say_all(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) put_line(stderr, line);
}

// -h, --version or no argument: the line, then the status.
[[noreturn]] static void stop_with(const command_line& c) {
    put_line(stdout, c.stop_text);
    if (std::ferror(stdout)) end_with(run_error{"Sorry, couldn't write standard output", {}, nullptr, true, {}});
    std::exit(c.stop_status);
}

int main(int argc, char** argv) {
    // A reader that has gone (a pager quit early) or a file-size limit is a
    // write error, reported as such, not a signal that ends the run mid-file.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    remove_temporaries_on_signals();
    std::set_new_handler(out_of_memory);
    command_line c;
    check(quorin::parse_command_line(argc, argv, c));
    if (c.stop_status >= 0) stop_with(c);
    const run_options& o = c.options;
    say_all(c.warnings);
    const run_files& files = c.files;
    quorin::gene_sets sets;
    quorin::rankings list;
    read_inputs(files, o, sets, list);
    std::vector<std::string> warnings = quorin::reading_warnings(sets, list, o);
    check(quorin::strict_error(warnings, o));
    if (o.quiet) warnings.clear();
    say_all(warnings);
    // What the run says on standard error, also for the report.
    std::vector<std::string> notes = c.warnings;
    notes.insert(notes.end(), warnings.begin(), warnings.end());
    if (o.verbose) {
        std::vector<std::string> read = quorin::reading_notes(sets, list, o);
        say_all(read);
        notes.insert(notes.end(), read.begin(), read.end());
    }
    // With -o, each record goes to standard output as it is finished.
    std::function<void(const struct fstat&)> stream;
    if (!o.mute) {
        put_line(stdout, quorin::record_header(o));
        stream = [&](const struct fstat& s) { put_line(stdout, quorin::record_line(s, o, list)); };
    }
    // The table and the detail are written a ranking at a time, so that a run
    // of many rankings holds the records of a few; the report needs them all.
    quorin::result_files results;
    quorin::start_results(files, o, list, results);
    quorin::analysis a;
    // The report and the per-gene table need every record.
    bool keep = !o.report_file.empty() || o.gene_table;
    auto write = [&](std::vector<struct fstat>& records) {
        run_error e = quorin::add_results(results, records, list, o);
        if (keep)
            a.records.insert(a.records.end(), std::make_move_iterator(records.begin()),
                             std::make_move_iterator(records.end()));
        return e;
    };
    check(quorin::analyse_rankings(sets, list, o, a.notes, write, stream));
    if (o.verbose) {
        std::vector<std::string> tested = quorin::testing_notes(sets, a.notes, o);
        say_all(tested);
        notes.insert(notes.end(), tested.begin(), tested.end());
    }
    check(quorin::close_results(results, o));
    if (o.gene_table) check(quorin::write_genes(files.genes, a, list, o));
    if (!o.report_file.empty())
        check(quorin::write_report(o.report_file, a, sets, list, o, std::vector<std::string>(argv, argv + argc),
                                   files.output, files.outdata, notes));
    // Progress lines go to standard output too; a lost one is a failed run.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        end_with(run_error{"Sorry, couldn't write standard output", {}, nullptr, true, {}});
    // The system releases the tables at once; freeing the result records
    // and their detail one by one would only cost time.
    std::_Exit(0);
}
