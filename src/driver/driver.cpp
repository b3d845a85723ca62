#include "driver/driver.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>

#include "common/output.h"
#include "common/records.h"
#include "config/config.h"
#include "input/gene_matrix.h"
#include "input/overlap.h"
#include "permutation/permutation_test.h"
#include "progress/progress.h"
#include "results/table.h"
#include "stats/tau_analysis.h"

test_notes run_notes;

unsigned thread_count(unsigned n, int threads) {
    if (n == 0) return 0;
    auto batch = static_cast<unsigned>(std::ceil(static_cast<double>(n) / threads));
    return (n + batch - 1) / batch;
}

unsigned worker_cap() {
    unsigned cores = std::thread::hardware_concurrency();
    return 4 * std::max(cores, 1u);
}

static void append_record(struct fstat& record) {
    std::lock_guard<std::mutex> hold(thread_lock);
    if (!mute)
        put_line(stdout, result_fields(record));
    result_stats.push_back(std::move(record));
}

// The five PP values, 0.8 - j * 0.15 in double: the last two are not the
// doubles nearest to 0.35 and 0.2.
static std::vector<double> auto_pp_values() {
    std::vector<double> pps;
    for (int j = 0; j < 5; ++j) pps.push_back(0.8 - static_cast<double>(j) * 0.15);
    return pps;
}

// An unknown weighting method ends the run at the first set that pairs a
// gene, as the test itself reports it: its message, then the empty weights
// end the run in calculate_limit.
[[noreturn]] static void stop_at_unknown_method(fdata& detail) {
    double tau, estimate, p;
    char dir;
    one_tau_analysis(detail.vec_x, detail.vec_y, 0.5, tau, estimate, p, dir, detail);
    fail("x_n < 1");  // not reached: the test above has ended the run
}

static bool all_equal(const std::vector<double>& v) {
    return std::all_of(v.begin(), v.end(), [&](double x) { return x == v[0]; });
}

// What --verbose reports of the sets a worker met, kept only when asked for.
static void note_set(test_notes& notes, const std::string& name, const fdata& detail, bool tested) {
    if (!verbose) return;
    std::size_t n = detail.vec_x.size();
    if (n == 0) notes.no_pairs.push_back(name);
    if (n > 0 && !tested) notes.out_of_size.push_back(name);
    if (!tested) return;
    if (n < 5) notes.small.push_back(name);
    if (n > 1 && (all_equal(detail.vec_x) || all_equal(detail.vec_y))) notes.constant.push_back(name);
}

static bool size_in_range(std::size_t n) {
    return n >= static_cast<std::size_t>(min_size) && n <= static_cast<std::size_t>(max_size);
}

// Pairs and tests one gene set at the given PP values; the test with the
// smallest p-value is kept, the earlier one on ties; deciding_tau_tests
// returns only the tests that can be kept, which keeps the same one. Sets
// without a paired gene, or outside the size range, are not tested.
static void test_set(const work_queue& queue, std::size_t set, std::size_t ranking, const std::vector<double>& pps,
                     test_notes& notes) {
    const std::string& name = queue.sets->names[set];
    fdata detail;
    thread_local std::vector<std::uint32_t> genes;
    overlap_set(*queue.sets, set, queue.rows, list_matrix, ranking, genes, detail.vec_x, detail.vec_y);
    bool tested = !detail.vec_x.empty() && size_in_range(detail.vec_x.size());
    note_set(notes, name, detail, tested);
    if (!tested) return;
    struct fstat record;
    record.p_value = 1.1;
    record.size = detail.vec_x.size();
    record.list = ranking;
    if (wt_kind == weighting::unknown) stop_at_unknown_method(detail);
    set_ranks r;
    prepare_ranks(detail.vec_x, detail.vec_y, r);
    std::vector<tau_test> tests;
    std::vector<std::vector<double>> weights;
    deciding_tau_tests(r, pps, tests, weights);
    std::size_t kept = tests.size();
    for (std::size_t k = 0; k < tests.size(); ++k) {
        if (record.p_value > tests[k].p_value) {
            record.name = name;
            record.pp = tests[k].pp;
            record.cor_dir = tests[k].cor_dir;
            record.tau = tests[k].tau;
            record.estimate = tests[k].estimate;
            record.p_value = tests[k].p_value;
            kept = k;
        }
    }
    if (kept == tests.size()) {
        // No test gave a p-value below 1.1: the record keeps its start values.
        record.name = name;
    }
    if (permutations > 0) {
        permutation_p perm = permutation_test(name, r, pps);
        record.p_value = perm.p_value;
        record.permutations = perm.done;
        record.exact = perm.exact;
    }
    // Only the detail file and the report read the per-gene detail. The
    // report reads it only for sets with FDR below 0.05. adjust_p_values
    // sets FDR = (n * p) / i with 1 <= i <= n: n * p rounds to at least p,
    // and the division leaves at least p * (1 - 2^-52), so a set whose p is
    // 0.05 * (1 + 1e-9) or more cannot get a panel.
    bool report_reads = !report_file.empty() && record.p_value < 0.05 * (1 + 1e-9);
    if ((dump || report_reads) && kept < tests.size()) {
        gene_names(*queue.sets, genes, detail.genes);
        detail.rank_x = std::move(r.rank_x);
        detail.rank_y = std::move(r.rank_y);
        detail.weights = std::move(weights[kept]);
        record.data = std::move(detail);
    }
    append_record(record);
}

static void add_notes(std::vector<std::string>& to, std::vector<std::string>& from) {
    to.insert(to.end(), from.begin(), from.end());
}

static void run_queue(work_queue* queue, const std::vector<double>& pps) {
    test_notes notes;
    // Task k is set k % sets of ranking k / sets: one queue for all rankings
    // keeps every thread busy whatever their shapes.
    std::size_t sets = set_count(*queue->sets), tasks = sets * queue->rankings;
    for (;;) {
        std::size_t k = queue->next.fetch_add(1);
        if (k >= tasks) break;
        test_set(*queue, k % sets, k / sets, pps, notes);
        progress_step();
    }
    std::lock_guard<std::mutex> hold(thread_lock);
    add_notes(run_notes.no_pairs, notes.no_pairs);
    add_notes(run_notes.out_of_size, notes.out_of_size);
    add_notes(run_notes.small, notes.small);
    add_notes(run_notes.constant, notes.constant);
}

void performe_wrktf_analysis(work_queue* queue) { run_queue(queue, {0.5}); }

void performe_wrktf_analysis_auto_p(work_queue* queue) { run_queue(queue, auto_pp_values()); }

void performe_threading() {
    work_queue queue;
    if (!many_lists) matrix_from_list();
    queue.sets = &vemo_set;
    queue.rankings = list_matrix.names.size();
    gene_rows(vemo_set, list_matrix, queue.rows);
    std::size_t sets = set_count(vemo_set);
    // The results do not depend on the thread count, so a count beyond what
    // the processors can run only costs memory and start-up time.
    unsigned threads = std::min(thread_count(static_cast<unsigned>(sets * queue.rankings), thread_n), worker_cap());
    if (!mute) put_line(stdout, result_header());
    progress_start(sets * queue.rankings);
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) {
        try {
            workers.emplace_back(auto_p ? performe_wrktf_analysis_auto_p : performe_wrktf_analysis, &queue);
        } catch (const std::system_error& e) {
            // The workers share one queue: those that run test every set.
            if (!workers.empty()) break;
            fail(std::string("Sorry, couldn't start a worker thread: ") + e.what());
        }
    }
    for (auto& w : workers) w.join();
    progress_finish();
    // Arrival order depends on thread timing; byte order of name within each
    // ranking makes the table the same for every thread count.
    std::sort(result_stats.begin(), result_stats.end(), [](const struct fstat& a, const struct fstat& b) {
        return a.list != b.list ? a.list < b.list : a.name < b.name;
    });
    for (auto* names : {&run_notes.no_pairs, &run_notes.out_of_size, &run_notes.small, &run_notes.constant})
        std::sort(names->begin(), names->end());
}
