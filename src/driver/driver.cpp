#include "driver/driver.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>

#include "common/output.h"
#include "common/records.h"
#include "config/config.h"
#include "input/overlap.h"
#include "stats/tau_analysis.h"

unsigned thread_count(unsigned n, int threads) {
    if (n == 0) return 0;
    auto batch = static_cast<unsigned>(std::ceil(static_cast<double>(n) / threads));
    return (n + batch - 1) / batch;
}

static void append_record(struct fstat& record) {
    std::lock_guard<std::mutex> hold(thread_lock);
    if (!mute)
        put_line(stdout, record.name + '\t' + num(record.pp) + '\t' + record.cor_dir + '\t' + num(record.tau) +
                             '\t' + num(record.estimate) + '\t' + num(record.p_value));
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

// Pairs and tests one gene set at the given PP values; the test with the
// smallest p-value is kept, the earlier one on ties. deciding_tau_tests
// returns only the tests that can be kept, which keeps the same one.
static void test_set(const std::string& name, const list_index& list, const std::vector<double>& pps) {
    fdata detail;
    overlap_set(vemo_set.find(name)->second, list, detail.genes, detail.vec_x, detail.vec_y);
    if (detail.vec_x.empty()) return;
    struct fstat record;
    record.p_value = 1.1;
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
    // Only the detail file reads the per-gene detail.
    if (dump && kept < tests.size()) {
        detail.rank_x = std::move(r.rank_x);
        detail.rank_y = std::move(r.rank_y);
        detail.weights = std::move(weights[kept]);
        record.data = std::move(detail);
    }
    append_record(record);
}

static void run_queue(work_queue* queue, const std::vector<double>& pps) {
    for (;;) {
        std::size_t k = queue->next.fetch_add(1);
        if (k >= queue->names.size()) return;
        test_set(queue->names[k], queue->list, pps);
    }
}

void performe_wrktf_analysis(work_queue* queue) { run_queue(queue, {0.5}); }

void performe_wrktf_analysis_auto_p(work_queue* queue) { run_queue(queue, auto_pp_values()); }

void performe_threading() {
    work_queue queue;
    make_list_index(rank_data, queue.list);
    for (const auto& set : vemo_set) queue.names.push_back(set.first);
    unsigned threads = thread_count(static_cast<unsigned>(queue.names.size()), thread_n);
    if (!mute) put_line(stdout, "Gene-set\tPP\tCor_dir\tTau\tEstimate\tP-value");
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) {
        try {
            workers.emplace_back(auto_p ? performe_wrktf_analysis_auto_p : performe_wrktf_analysis, &queue);
        } catch (const std::system_error& e) {
            fail(std::string("Sorry, couldn't start a worker thread: ") + e.what());
        }
    }
    for (auto& w : workers) w.join();
    // Arrival order depends on thread timing; byte order of name makes the
    // table the same for every thread count.
    std::sort(result_stats.begin(), result_stats.end(),
              [](const struct fstat& a, const struct fstat& b) { return a.name < b.name; });
}
