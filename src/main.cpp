#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "common/out_file.h"
#include "common/output.h"
#include "config/config.h"
#include "config/options.h"
#include "diagnostics/diagnostics.h"
#include "driver/driver.h"
#include "input/gene_list.h"
#include "input/gene_matrix.h"
#include "input/gene_sets.h"
#include "report/page.h"
#include "results/detail.h"
#include "results/table.h"

int main(int argc, char** argv) {
    // A reader that has gone (a pager quit early) or a file-size limit is a
    // write error, reported as such, not a signal that ends the run mid-file.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    remove_temporaries_on_signals();
    std::set_new_handler(out_of_memory);
    run_files files;
    take_options(argc, argv, files);
    read_vemo_dataset_bed(files.gene_set);
    if (many_lists)
        read_list_matrix(files.gene_list);
    else
        read_rank_data(files.gene_list);
    if (verbose) report_reading(files.gene_set, files.gene_list);
    performe_threading();
    if (verbose) report_testing();
    if (mute)
        print_result();
    else
        save_result(files.output);
    if (dump) save_data(files.outdata);
    if (!report_file.empty()) save_report(report_file, describe_run(argc, argv, files));
    // Progress lines go to standard output too; a lost one is a failed run.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) die("Sorry, couldn't write standard output");
    // The system releases the tables at once; freeing the result records
    // and their detail one by one would only cost time.
    std::_Exit(0);
}
