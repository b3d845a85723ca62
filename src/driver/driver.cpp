#include "driver/driver.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "common/byte_buffer.h"
#include "common/error.h"
#include "common/parallel.h"
#include "common/radix_sort.h"
#include "common/record_order.h"
#include "input/overlap.h"
#include "permutation/moments.h"
#include "permutation/normal_max.h"
#include "permutation/permutation_p.h"
#include "progress/progress.h"
#include "stats/ranks.h"
#include "stats/tau_analysis.h"

// The records of one ranking while its sets are tested, and the keys of its
// scores (descending_keys), found by the first worker to reach it.
struct ranking_slot {
    std::vector<struct fstat> records;
    std::vector<std::uint32_t> sets;  // the set of each record
    std::uint64_t left = 0;  // sets not yet done
    // Read by every task of the ranking: apart from the fields written.
    alignas(64) std::once_flag keyed;
    side_keys keys;  // by matrix row
};

// What the workers of one run share. Task k is set k % sets of ranking
// k / sets: one queue for all rankings keeps every thread busy whatever
// their shapes. Counts are 64-bit: sets times rankings passes 2^32.
struct work_queue {
    const set_table* sets = nullptr;
    const score_matrix* rankings = nullptr;
    const run_options* o = nullptr;
    std::vector<double> pps;
    std::vector<std::uint32_t> rows;  // the matrix row of each gene number (gene_rows)
    // The keys (descending_keys) of all the sets' scores, by entry of the set
    // table, found once before the workers start; those of the magnitudes
    // only where the method weighs the set side and a score is negative.
    std::unique_ptr<std::uint32_t[]> set_keys, set_magnitude_keys;
    rank_tables tables;  // weights by rank, shared by the workers
    std::uint64_t tasks = 0;
    std::uint64_t workers = 1;
    std::atomic<bool> stop{false};  // a worker failed: the others take no more sets
    // Written as the workers go: each on a cache line of its own, apart
    // from what the tests read.
    alignas(64) std::atomic<std::uint64_t> next{0};
    alignas(64) std::mutex lock;       // guards the fields below, and the slots' records and counts
    std::condition_variable room;      // a ranking was handed over, or the run stops
    // Ranking r lies in slots[r % slots.size()] while r - handed < slots.size().
    std::vector<std::unique_ptr<ranking_slot>> slots;
    std::uint64_t handed = 0;          // rankings handed to `done`
    bool handing = false;              // a worker is handing rankings over
    test_notes notes;
    std::exception_ptr error;
    const ranking_sink* done = nullptr;
    const record_sink* each = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    progress_state progress;
};

static bool magnitudes_weighed(weighting method, bool set_side) {
    return set_side ? method != weighting::list : method != weighting::set;
}

// The keys of a ranking's scores, once: the first ranking's before the
// workers start (prepare_tables), any other's by the first worker to test
// one of its sets.
static const side_keys& ranking_keys(const work_queue& q, ranking_slot& slot, std::size_t ranking) {
    std::call_once(slot.keyed, [&] {
        const score_matrix& m = *q.rankings;
        const double* values = m.values.data() + ranking * m.genes.size();
        descending_keys(values, m.genes.size(), false, slot.keys.scores);
        if (magnitudes_weighed(q.o->wt_kind, false))
            descending_keys(values, m.genes.size(), true, slot.keys.magnitudes);
    });
    return slot.keys;
}

// Why keys found in parts give the ranks that keys of the whole set table
// give: a set is ranked from its own keys only (paired_keys, ranks_of_keys);
// keys of any stretch of values order and tie any pick of them as the values
// do (descending_keys); and every part is a stretch of whole sets, its ends
// found among the sets' starts in `from` (key_part_ends).
// Below a few hundred thousand scores threads cost more than they save.
static std::vector<std::size_t> key_part_ends(const set_table& sets, int threads) {
    std::size_t entries = sets.scores.size();
    std::size_t parts = entries < (std::size_t{1} << 18) ? 1 : static_cast<std::size_t>(std::max(1, std::min(threads, 8)));
    std::vector<std::size_t> ends{0};
    for (std::size_t p = 1; p < parts; ++p)
        ends.push_back(*std::lower_bound(sets.from.begin(), sets.from.end(), entries / parts * p));
    ends.push_back(entries);
    return ends;
}

// What the workers read besides the inputs, found side by side on the run's
// threads: the matrix row of each gene (gene_rows), the keys of the first
// ranking (which every worker would otherwise wait for at the start), and
// the keys of the set scores in parts of whole sets; then, where the method
// weighs the set side and some part has a negative score, the keys of their
// magnitudes.
static void prepare_tables(work_queue& q, bool magnitudes, int threads) {
    const set_table& sets = *q.sets;
    std::vector<std::size_t> ends = key_part_ends(sets, threads);
    std::size_t parts = ends.size() - 1, entries = sets.scores.size();
    // Left unwritten here, so that each part's pages are first written by
    // the thread that keys it.
    auto unwritten_keys = [&](std::unique_ptr<std::uint32_t[]>& keys) {
        keys.reset(new std::uint32_t[entries]);
        advise_huge_pages(keys.get(), entries * sizeof(std::uint32_t));
    };
    unwritten_keys(q.set_keys);
    auto key_parts = [&](std::size_t p, bool of_magnitudes) {
        std::uint32_t* keys = (of_magnitudes ? q.set_magnitude_keys : q.set_keys).get();
        descending_keys(sets.scores.data() + ends[p], ends[p + 1] - ends[p], of_magnitudes, keys + ends[p]);
    };
    bool first = !q.rankings->names.empty();
    std::unique_ptr<bool[]> negative(new bool[parts]());  // each written once, by its part's task
    int used = parts > 1 ? threads : 1;
    run_parallel(1 + first + parts, used, [&](std::size_t task) {
        if (task == 0) return gene_rows(sets, *q.rankings, q.rows);
        if (first && task == 1) return static_cast<void>(ranking_keys(q, *q.slots[0], 0));
        std::size_t p = task - 1 - first;
        key_parts(p, false);
        const double* from = sets.scores.data() + ends[p];
        if (magnitudes) negative[p] = std::any_of(from, from + (ends[p + 1] - ends[p]), [](double v) { return v < 0; });
    });
    if (!std::any_of(negative.get(), negative.get() + parts, [](bool b) { return b; })) return;
    unwritten_keys(q.set_magnitude_keys);
    run_parallel(parts, used, [&](std::size_t p) { key_parts(p, true); });
}

unsigned thread_count(std::uint64_t n, int threads) {
    if (n == 0 || threads < 1) return 0;
    auto t = static_cast<std::uint64_t>(threads);
    std::uint64_t batch = n / t + (n % t != 0);
    return static_cast<unsigned>(n / batch + (n % batch != 0));  // at most threads
}

unsigned worker_cap() {
    unsigned cores = std::thread::hardware_concurrency();
    return 4 * std::max(cores, 1u);
}

// The five PP values of -p, 0.8 - j * 0.15 in double: the last two are not
// the doubles nearest to 0.35 and 0.2.
static std::vector<double> pp_values(bool auto_p) {
    if (!auto_p) return {0.5};
    std::vector<double> pps;
    for (int j = 0; j < 5; ++j) pps.push_back(0.8 - static_cast<double>(j) * 0.15);
    return pps;
}

static bool all_equal(const std::vector<double>& v) {
    return std::all_of(v.begin(), v.end(), [&](double x) { return x == v[0]; });
}

// What --verbose reports of the sets a worker met, kept only when asked for.
static void note_set(test_notes& notes, const std::string& name, const fdata& detail, bool tested) {
    std::size_t n = detail.vec_x.size();
    if (n == 0) notes.no_pairs.push_back(name);
    if (n > 0 && !tested) notes.out_of_size.push_back(name);
    if (!tested) return;
    if (n < 5) notes.small.push_back(name);
    if (n > 1 && (all_equal(detail.vec_x) || all_equal(detail.vec_y))) notes.constant.push_back(name);
}

// The most genes a set can pair: the size of its largest set.
static std::size_t largest_set(const set_table& sets) {
    std::size_t largest = 0;
    for (std::size_t k = 0; k + 1 < sets.from.size(); ++k) largest = std::max(largest, sets.from[k + 1] - sets.from[k]);
    return largest;
}

static bool size_in_range(std::size_t n, const run_options& o) {
    return n >= static_cast<std::size_t>(o.min_size) && n <= static_cast<std::size_t>(o.max_size);
}

// Step 1: the genes the set shares with the ranking, and both sides' scores.
static void pair_set(const work_queue& q, std::size_t set, std::size_t ranking, std::vector<std::uint32_t>& genes,
                     fdata& detail) {
    overlap_set(*q.sets, set, q.rows, *q.rankings, ranking, genes, detail.vec_x, detail.vec_y);
}

// Step 3: the test at each PP value; the smallest p-value is kept, the
// earlier one on ties. deciding_tau_tests returns only the tests that can be
// kept, which keeps the same one. Returns the index of the kept test among
// `tests`, or tests.size() when no p-value fell below the record's start
// value 1.1 (then the record keeps its start values).
static std::size_t choose_pp(const set_ranks& r, const std::vector<double>& pps, struct fstat& record,
                             std::vector<std::vector<double>>& weights) {
    std::vector<tau_test> tests;
    deciding_tau_tests(r, pps, tests, weights);
    std::size_t kept = tests.size();
    for (std::size_t k = 0; k < tests.size(); ++k) {
        if (record.p_value > tests[k].p_value) {
            record.pp = tests[k].pp;
            record.cor_dir = tests[k].cor_dir;
            record.tau = tests[k].tau;
            record.estimate = tests[k].estimate;
            record.p_value = tests[k].p_value;
            kept = k;
        }
    }
    return kept;
}

// Step 3 with --null=moments: z = N / sqrt(Var N) at each PP value from the
// exact moments of the numerator over all orderings of the list scores
// (E N = 0, moments.h). The PP kept is the one of largest |z|, the earlier
// on ties; the p-value is two-sided, and with several PP values it is the
// tail of the largest |z| among normals with the moments' covariance, so the
// choice is paid for as in the permutation test. Tau, its direction and the
// weights come from the tau test at the PP kept, Estimate is its z. `scale`
// gets 1 / sd of each numerator, for permutations of the same statistic.
// Returns the index of the kept test in `weights` (0), or weights.size()
// when no test was made.
static std::size_t moment_null(const set_ranks& r, const std::vector<double>& pps, struct fstat& record,
                               std::vector<std::vector<double>>& weights, std::vector<double>& scale) {
    std::vector<std::vector<double>> u, v;
    moment_factors(r, pps, u, v);
    numerator_moments m = moments_of(r.rank_x, r.rank_y, u, v);
    std::size_t count = m.z.size();
    scale.assign(count, 0.0);
    for (std::size_t k = 0; k < count; ++k) {
        double var = m.covariance[k * count + k];
        if (var > 0) scale[k] = 1 / std::sqrt(var);
    }
    std::size_t kept = 0;
    for (std::size_t k = 1; k < m.z.size(); ++k)
        if (std::fabs(m.z[k]) > std::fabs(m.z[kept])) kept = k;
    std::vector<tau_test> tests;
    tau_tests(r, {pps[kept]}, tests, weights);
    if (tests.empty()) return weights.size();
    record.pp = tests[0].pp;
    record.cor_dir = tests[0].cor_dir;
    record.tau = tests[0].tau;
    record.estimate = m.z[kept];
    record.p_value = moment_p_value(m);
    return 0;
}

// Step 5: the per-gene detail, kept only where the detail file, the per-gene
// table (every tested set) or the report will read it. The report reads it only for sets with FDR below 0.05.
// adjust_p_values sets FDR = (n * p) / i with 1 <= i <= n: n * p rounds to
// at least p, and the division leaves at least p * (1 - 2^-52), so a set
// whose p is 0.05 * (1 + 1e-9) or more cannot get a panel.
static void keep_detail(const work_queue& q, const std::vector<std::uint32_t>& genes, set_ranks& r,
                        std::vector<double>& weights, fdata& detail, struct fstat& record) {
    bool report_reads = !q.o->report_file.empty() && record.p_value < 0.05 * (1 + 1e-9);
    if (!q.o->dump && !q.o->gene_table && !report_reads) return;
    gene_names(*q.sets, genes, detail.genes);
    detail.rank_x = std::move(r.rank_x);
    detail.rank_y = std::move(r.rank_y);
    detail.weights = std::move(weights);
    record.data = std::move(detail);
}

// A worker's finished tasks of one ranking, not yet in its slot. They go in
// together (hand_in), so that the workers meet at the lock once every few
// sets rather than at every set.
struct finished_tasks {
    std::uint64_t ranking = 0;
    ranking_slot* slot = nullptr;
    std::uint64_t tasks = 0;  // sets done, tested or not
    std::vector<struct fstat> records;
    std::vector<std::uint32_t> sets;  // the set of each record
};

// The keys of both sides for the paired genes: the list side from the
// ranking's keys by matrix row; the set side from the set table's keys,
// found by walking the set, whose paired genes are a part of it in the same
// order.
static void paired_keys(const work_queue& q, std::size_t set, const side_keys& list,
                        const std::vector<std::uint32_t>& genes, side_keys& x, side_keys& y) {
    std::size_t n = genes.size();
    bool list_weighed = !list.magnitudes.empty(), set_weighed = q.set_magnitude_keys != nullptr;
    y.scores.resize(n);
    y.magnitudes.resize(list_weighed ? n : 0);
    x.scores.resize(n);
    x.magnitudes.resize(set_weighed ? n : 0);
    for (std::size_t j = 0; j < n; ++j) {
        std::uint32_t row = q.rows[genes[j]];
        y.scores[j] = list.scores[row];
        if (list_weighed) y.magnitudes[j] = list.magnitudes[row];
    }
    const set_table& t = *q.sets;
    std::size_t i = t.from[set];
    for (std::size_t j = 0; j < n; ++j) {
        while (t.genes[i] != genes[j]) ++i;
        x.scores[j] = q.set_keys[i];
        if (set_weighed) x.magnitudes[j] = q.set_magnitude_keys[i];
    }
}

// Pairs and tests one gene set. Sets without a paired gene, or outside the
// size range (step 2), are not tested.
static void test_set(work_queue& q, std::size_t set, std::size_t ranking, finished_tasks& done, test_notes& notes) {
    ranking_slot& slot = *done.slot;
    const run_options& o = *q.o;
    const std::string& name = q.sets->names[set];
    fdata detail;
    thread_local std::vector<std::uint32_t> genes;
    pair_set(q, set, ranking, genes, detail);
    bool tested = !detail.vec_x.empty() && size_in_range(detail.vec_x.size(), o);
    if (o.verbose) note_set(notes, name, detail, tested);
    if (!tested) return;
    struct fstat record;
    record.name = name;
    record.size = detail.vec_x.size();
    record.list = ranking;
    if (o.wt_kind == weighting::unknown) {
        // Fails as the test itself reports an unknown method.
        double tau, estimate, p;
        char dir;
        one_tau_analysis(o, detail.vec_x, detail.vec_y, 0.5, tau, estimate, p, dir, detail);
    }
    // Every set of a ranking ranks the same scores, and every set its own
    // scores in every ranking: their order, found once as keys, ranks each
    // set's genes without comparing scores again.
    const side_keys& list = ranking_keys(q, slot, ranking);
    thread_local side_keys x, y;
    paired_keys(q, set, list, genes, x, y);
    // Kept from set to set, as are the vectors they hold: a set's detail
    // takes some of them along, and only those are made anew.
    thread_local set_ranks r;
    r.tables = &q.tables;
    prepare_keyed_ranks(detail.vec_x, detail.vec_y, &x, &y, o.wt_kind, r);
    thread_local std::vector<std::vector<double>> weights;
    std::vector<double> scale;  // with --null=moments, permutations rank pairings by |z|
    std::size_t kept = o.null_kind == null_method::moments ? moment_null(r, q.pps, record, weights, scale)
                                                           : choose_pp(r, q.pps, record, weights);
    if (o.permutations > 0) {  // step 4
        permutation_p perm = permutation_pvalue(name, r, q.pps, o, scale);
        record.p_value = perm.p_value;
        record.permutations = perm.done;
        record.exact = perm.exact;
        (perm.exact ? notes.enumerated : notes.drawn) += perm.done;
    }
    ++notes.tested;
    if (kept < weights.size()) keep_detail(q, genes, r, weights[kept], detail, record);
    done.records.push_back(std::move(record));
    done.sets.push_back(static_cast<std::uint32_t>(set));
}

// A slot with room for a record of every set: growing the records as they
// come would copy them again and again, each time into fresh pages. Room
// that no record takes is never written, and takes no memory.
static std::unique_ptr<ranking_slot> new_slot(std::size_t sets) {
    auto slot = std::make_unique<ranking_slot>();
    slot->left = sets;
    slot->records.reserve(sets);
    slot->sets.reserve(sets);
    return slot;
}

// Waits until ranking r has a slot, which it has once the rankings before
// it in the window are handed over; null when the run stops.
static ranking_slot* slot_for(work_queue& q, std::uint64_t r) {
    std::unique_lock<std::mutex> hold(q.lock);
    q.room.wait(hold, [&] { return q.stop.load() || r - q.handed < q.slots.size(); });
    return q.stop.load() ? nullptr : q.slots[r % q.slots.size()].get();
}

// The positions of the records in order of their sets. The sets are
// numbered in byte order of name (read_set_bytes), and a ranking has one
// record of a set at most: the order has no ties, and a radix sort of
// set << 32 | position gives the one any sort would.
static std::vector<std::size_t> order_by_set(const std::vector<std::uint32_t>& sets, std::size_t set_total) {
    std::vector<std::uint64_t> keyed(sets.size()), spare;
    for (std::size_t k = 0; k < sets.size(); ++k) keyed[k] = std::uint64_t{sets[k]} << 32 | k;
    radix_sort_upper(keyed, spare, static_cast<std::uint32_t>(set_total == 0 ? 0 : set_total - 1));
    std::vector<std::size_t> order(sets.size());
    for (std::size_t k = 0; k < sets.size(); ++k) order[k] = keyed[k] & 0xffffffffu;
    return order;
}

// Hands over, in order, the rankings whose sets are all tested. One worker
// at a time does so, without the lock while `done` runs, so that the others
// go on testing; the slot is then made ready for the ranking a window later.
static void hand_over(work_queue& q, std::unique_lock<std::mutex>& hold) {
    std::uint64_t rankings = q.rankings->names.size();
    q.handing = true;
    for (;;) {
        auto& slot = q.slots[q.handed % q.slots.size()];
        if (q.handed >= rankings || slot->left > 0) break;
        std::vector<struct fstat> records = std::move(slot->records);
        std::vector<std::uint32_t> sets = std::move(slot->sets);
        hold.unlock();
        // Arrival order depends on thread timing; byte order of name makes
        // the table the same for every thread count.
        std::vector<std::size_t> order = order_by_set(sets, set_count(*q.sets));
        apply_order(records.begin(), order);
        (*q.done)(records, static_cast<std::size_t>(q.handed));
        auto fresh = new_slot(set_count(*q.sets));
        hold.lock();
        slot = std::move(fresh);
        ++q.handed;
        q.room.notify_all();
    }
    q.handing = false;
}

// Puts a worker's finished tasks into their ranking's slot, and hands the
// ranking over when they were its last.
static void hand_in(work_queue& q, finished_tasks& done) {
    if (done.tasks == 0) return;
    std::unique_lock<std::mutex> hold(q.lock);
    ranking_slot& slot = *done.slot;
    for (std::size_t k = 0; k < done.records.size(); ++k) {
        if (*q.each) (*q.each)(done.records[k]);
        slot.records.push_back(std::move(done.records[k]));
        slot.sets.push_back(done.sets[k]);
    }
    done.records.clear();
    done.sets.clear();
    slot.left -= done.tasks;
    done.tasks = 0;
    if (slot.left == 0 && done.ranking == q.handed && !q.handing) hand_over(q, hold);
}

static void add_notes(test_notes& to, const test_notes& from) {
    for (auto names : {&test_notes::no_pairs, &test_notes::out_of_size, &test_notes::small, &test_notes::constant})
        (to.*names).insert((to.*names).end(), (from.*names).begin(), (from.*names).end());
    to.tested += from.tested;
    to.drawn += from.drawn;
    to.enumerated += from.enumerated;
}

static void run_queue(work_queue* q) {
    test_notes notes;
    std::uint64_t sets = set_count(*q->sets);
    // Records streamed as they are finished (-o) go in one by one.
    const std::uint64_t batch = *q->each ? 1 : 16;
    finished_tasks done;
    // A few tasks are taken at once, so that the workers seldom meet at the
    // counter; fewer as the queue empties, so that they still end together.
    std::uint64_t count = 1;
    try {
        for (bool more = true; more && !q->stop.load(std::memory_order_relaxed);) {
            std::uint64_t first = q->next.fetch_add(count), last = std::min(first + count, q->tasks);
            count = std::max<std::uint64_t>(1, std::min<std::uint64_t>(4, (q->tasks - std::min(last, q->tasks)) / (16 * q->workers)));
            more = first < q->tasks;
            for (std::uint64_t k = first; k < last && more; ++k) {
                if (q->cancel && q->cancel->load(std::memory_order_relaxed)) fail("interrupted");
                // The tasks of the ranking before go in first: its slot may
                // be what the next ranking waits for.
                if (!done.slot || k / sets != done.ranking) {
                    hand_in(*q, done);
                    done.ranking = k / sets;
                    done.slot = slot_for(*q, done.ranking);
                    more = done.slot != nullptr;
                    if (!more) break;
                }
                test_set(*q, static_cast<std::size_t>(k % sets), static_cast<std::size_t>(k / sets), done, notes);
                if (++done.tasks == batch) hand_in(*q, done);
                progress_step(q->progress);
            }
        }
        hand_in(*q, done);
    } catch (...) {
        std::lock_guard<std::mutex> hold(q->lock);
        if (!q->error) q->error = std::current_exception();
        q->stop = true;
        q->room.notify_all();
    }
    std::lock_guard<std::mutex> hold(q->lock);
    add_notes(q->notes, notes);
}

// Starts the workers; those that start test every set between them.
static void run_workers(work_queue& q, unsigned threads) {
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) {
        try {
            workers.emplace_back(run_queue, &q);
        } catch (const std::system_error& e) {
            if (!workers.empty()) break;
            fail(std::string("Sorry, couldn't start a worker thread: ") + e.what());
        }
    }
    for (auto& w : workers) w.join();
}

void performe_threading(const set_table& sets, const score_matrix& rankings, const run_options& o,
                        test_notes& notes, const ranking_sink& done, const record_sink& each,
                        const std::atomic<bool>* cancel) {
    work_queue q;
    q.cancel = cancel;
    q.sets = &sets;
    q.rankings = &rankings;
    q.o = &o;
    q.done = &done;
    q.each = &each;
    q.pps = pp_values(o.auto_p);
    start_rank_tables(q.tables, q.pps, std::min(largest_set(sets), static_cast<std::size_t>(std::max(o.max_size, 0))));
    q.tasks = static_cast<std::uint64_t>(set_count(sets)) * rankings.names.size();
    // The results do not depend on the thread count, so a count beyond what
    // the processors can run only costs memory and start-up time.
    unsigned threads = std::min(thread_count(q.tasks, o.thread_n), worker_cap());
    q.workers = std::max(threads, 1u);
    // Room for every worker's ranking and a little more, so that a large set
    // holding back its ranking seldom stops the others.
    q.slots.resize(std::min<std::uint64_t>(2 * threads + 2, std::max<std::size_t>(rankings.names.size(), 1)));
    for (auto& slot : q.slots) {
        slot = new_slot(set_count(sets));
    }
    prepare_tables(q, magnitudes_weighed(o.wt_kind, true), o.thread_n);
    progress_start(q.progress, q.tasks, o);
    run_workers(q, threads);
    progress_finish(q.progress);
    if (q.error) std::rethrow_exception(q.error);
    notes = std::move(q.notes);
    for (auto* names : {&notes.no_pairs, &notes.out_of_size, &notes.small, &notes.constant})
        std::sort(names->begin(), names->end());
}
