// The library's read and analyse calls for analyse() (R/analyse.R), which
// checks the arguments and builds the data frames. The work runs on a thread
// of its own that never touches R; the R thread looks for an interrupt every
// 100 ms, cancels the analysis on it and raises it once the worker is done.
#include "quorin/quorin.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <Rcpp.h>

namespace {

// Records in memory: (set names, gene names, scores), (genes, scores) or
// (ranking names, genes, values ranking after ranking); or a path.
struct input {
    std::string path;
    std::vector<std::string> names, genes;
    std::vector<double> values;
};

input take_input(const Rcpp::List& given) {
    input in;
    if (given.containsElementNamed("path")) {
        in.path = Rcpp::as<std::string>(given["path"]);
        return in;
    }
    if (given.containsElementNamed("names")) in.names = Rcpp::as<std::vector<std::string>>(given["names"]);
    in.genes = Rcpp::as<std::vector<std::string>>(given["genes"]);
    in.values = Rcpp::as<std::vector<double>>(given["values"]);
    return in;
}

run_options take_options(const Rcpp::List& r) {
    run_options o;
    o.tscore = Rcpp::as<double>(r["tscore"]);
    o.adj_method = Rcpp::as<std::string>(r["adjust"]);
    set_wt_method(o, Rcpp::as<std::string>(r["weights"]));
    o.auto_p = Rcpp::as<bool>(r["auto_p"]);
    o.thread_n = Rcpp::as<int>(r["threads"]);
    std::string fdr = Rcpp::as<std::string>(r["fdr"]);  // "": as the command without --fdr
    o.fdr_kind = fdr == "bh" ? fdr_method::bh : fdr == "position" ? fdr_method::position : fdr_method::automatic;
    o.null_kind = Rcpp::as<std::string>(r["null"]) == "moments" ? null_method::moments : null_method::normal;
    o.strip_versions = Rcpp::as<bool>(r["strip_versions"]);
    o.min_size = Rcpp::as<int>(r["min_size"]);
    o.max_size = Rcpp::as<int>(r["max_size"]);
    o.permutations = static_cast<long long>(Rcpp::as<double>(r["permutations"]));
    o.exceed = static_cast<long long>(Rcpp::as<double>(r["exceed"]));
    o.seed = std::stoull(Rcpp::as<std::string>(r["seed"]));  // digits only, checked in R
    o.dump = Rcpp::as<bool>(r["detail"]);  // every tested record keeps its per-gene detail
    return o;
}

// Reads both inputs and analyses them: what runs on the worker thread.
run_error run(const input& set_in, const input& list_in, const std::string& kind, const run_options& o,
              quorin::rankings& list, quorin::analysis& a, std::vector<std::string>& warnings,
              const std::atomic<bool>& cancel) {
    quorin::gene_sets sets;
    if (run_error e = set_in.path.empty()
                          ? quorin::gene_sets_from_records(set_in.names, set_in.genes, set_in.values, o, sets)
                          : quorin::read_gene_sets(set_in.path, o, sets))
        return e;
    run_error e = kind == "file"          ? quorin::read_gene_list(list_in.path, o, list)
                  : kind == "matrix_file" ? quorin::read_rankings_matrix(list_in.path, o, list)
                  : kind == "pairs"       ? quorin::gene_list_from_pairs(list_in.genes, list_in.values, o, list)
                                          : quorin::rankings_from_matrix(list_in.names, list_in.genes, list_in.values, o, list);
    if (e) return e;
    warnings = quorin::reading_warnings(sets, list, o);
    return quorin::analyse(sets, list, o, a, nullptr, &cancel);
}

void check_interrupt(void*) { R_CheckUserInterrupt(); }

// True when the user asked to interrupt: R_CheckUserInterrupt would jump
// out of this function, so it runs inside R_ToplevelExec, which stops it.
bool interrupt_pending() { return R_ToplevelExec(check_interrupt, nullptr) == FALSE; }

// Runs `run` on a thread of its own. Returns its error; an interrupt seen in
// R stops it at the next gene set and is raised here once it has stopped.
run_error run_interruptibly(const input& set_in, const input& list_in, const std::string& kind,
                            const run_options& o, quorin::rankings& list, quorin::analysis& a,
                            std::vector<std::string>& warnings) {
    std::atomic<bool> cancel{false};
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    run_error error;
    std::exception_ptr thrown;
    std::thread worker([&] {
        try {
            error = run(set_in, list_in, kind, o, list, a, warnings, cancel);
        } catch (...) {
            thrown = std::current_exception();  // memory for the thread's own values
        }
        std::lock_guard<std::mutex> hold(lock);
        done = true;
        finished.notify_one();
    });
    bool interrupted = false;
    {
        std::unique_lock<std::mutex> hold(lock);
        while (!finished.wait_for(hold, std::chrono::milliseconds(100), [&] { return done; }))
            if (interrupt_pending()) {
                interrupted = cancel = true;
                break;
            }
    }
    worker.join();
    if (interrupted) throw Rcpp::internal::InterruptedException();
    if (thrown) std::rethrow_exception(thrown);
    return error;
}

template <class Vector, class Field>
Vector column(const std::vector<struct fstat>& records, Field field) {
    Vector out(records.size());
    for (std::size_t k = 0; k < records.size(); ++k) out[k] = field(records[k]);
    return out;
}

// One row per paired gene of every record, in the detail file's order.
Rcpp::List detail_columns(const std::vector<struct fstat>& records) {
    std::size_t n = 0;
    for (const struct fstat& s : records) n += s.data.genes.size();
    Rcpp::IntegerVector record(n), rank_x(n), rank_y(n);
    Rcpp::NumericVector vec_x(n), vec_y(n), weights(n);
    Rcpp::CharacterVector genes(n);
    std::size_t row = 0;
    for (std::size_t r = 0; r < records.size(); ++r) {
        const fdata& d = records[r].data;
        for (int k : quorin::detail_order(d)) {
            record[row] = static_cast<int>(r) + 1;
            genes[row] = d.genes[k];
            vec_x[row] = d.vec_x[k];
            vec_y[row] = d.vec_y[k];
            rank_x[row] = d.rank_x[k];
            rank_y[row] = d.rank_y[k];
            weights[row] = d.weights[k];
            ++row;
        }
    }
    return Rcpp::List::create(Rcpp::Named("record") = record, Rcpp::Named("gene") = genes,
                              Rcpp::Named("vec_x") = vec_x, Rcpp::Named("vec_y") = vec_y,
                              Rcpp::Named("rank_x") = rank_x, Rcpp::Named("rank_y") = rank_y,
                              Rcpp::Named("weights") = weights);
}

}  // namespace

// sets: list(path) or list(names, genes, values); ranking: list(path),
// list(genes, values) or list(names, genes, values), as kind says ("file",
// "matrix_file", "pairs", "matrix"). Returns the table's columns by name.
// [[Rcpp::export]]
Rcpp::List quorin_analyse(Rcpp::List sets, Rcpp::List ranking, std::string kind, Rcpp::List options) {
    run_options o = take_options(options);
    input set_in = take_input(sets);
    input list_in = take_input(ranking);
    quorin::rankings list;
    quorin::analysis a;
    std::vector<std::string> warnings;  // what the command writes on standard error, for R's warning()
    if (run_error e = run_interruptibly(set_in, list_in, kind, o, list, a, warnings)) Rcpp::stop(e.text());
    const std::vector<struct fstat>& r = a.records;
    using S = const struct fstat&;
    Rcpp::List out = Rcpp::List::create(
        Rcpp::Named("rankings") = list.matrix.names,
        Rcpp::Named("list") = column<Rcpp::IntegerVector>(r, [](S s) { return static_cast<int>(s.list) + 1; }),
        Rcpp::Named("name") = column<Rcpp::CharacterVector>(r, [](S s) { return s.name; }),
        Rcpp::Named("size") = column<Rcpp::IntegerVector>(r, [](S s) { return static_cast<int>(s.size); }),
        Rcpp::Named("pp") = column<Rcpp::NumericVector>(r, [](S s) { return s.pp; }),
        Rcpp::Named("cor_dir") = column<Rcpp::CharacterVector>(r, [](S s) { return std::string(1, s.cor_dir); }),
        Rcpp::Named("tau") = column<Rcpp::NumericVector>(r, [](S s) { return s.tau; }),
        Rcpp::Named("estimate") = column<Rcpp::NumericVector>(r, [](S s) { return s.estimate; }),
        Rcpp::Named("permutations") =
            column<Rcpp::IntegerVector>(r, [](S s) { return static_cast<int>(s.permutations); }),
        Rcpp::Named("exact") = column<Rcpp::LogicalVector>(r, [](S s) { return s.exact; }),
        Rcpp::Named("p_value") = column<Rcpp::NumericVector>(r, [](S s) { return s.p_value; }),
        Rcpp::Named("fdr") = column<Rcpp::NumericVector>(r, [](S s) { return s.fdr; }));
    out["warnings"] = warnings;
    if (o.dump) out["detail"] = detail_columns(r);
    return out;
}

// Text to numbers as the command reads them: C's strtod, correctly rounded
// (R's reader can be one unit in the last place off for 16 or more digits).
// NA for NA and for text that is not one number.
// [[Rcpp::export]]
Rcpp::NumericVector quorin_numbers(Rcpp::CharacterVector text) {
    Rcpp::NumericVector out(text.size(), NA_REAL);
    for (R_xlen_t k = 0; k < text.size(); ++k) {
        if (text[k] == NA_STRING) continue;
        const char* s = CHAR(text[k]);
        char* end = nullptr;
        double v = std::strtod(s, &end);
        while (*end == ' ' || *end == '\t') ++end;
        if (end != s && *end == '\0') out[k] = v;
    }
    return out;
}

// [[Rcpp::export]]
std::string quorin_version() { return quorin::version(); }
