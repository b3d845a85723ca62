// quorin._quorin: the library's read and analyse calls for the Python layer
// (quorin/__init__.py), which checks the arguments and builds the data frames.
// The work runs on a thread of its own with the GIL released; the calling
// thread looks for Ctrl-C every 100 ms and cancels the analysis on it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "quorin/quorin.h"

namespace py = pybind11;

namespace {

// An error of the library, raised in Python with its message: bad input or
// options as ValueError, a failure of the system (a file that cannot be
// opened, memory) as OSError or MemoryError.
struct library_error {
    run_error error;
};

void raise(const run_error& e) {
    if (e) throw library_error{e};
}

std::vector<double> doubles(const py::array_t<double, py::array::c_style | py::array::forcecast>& a) {
    return std::vector<double>(a.data(), a.data() + a.size());
}

// Records in memory: (set names, gene names, scores), (genes, scores) or
// (ranking names, genes, values ranking after ranking).
struct input {
    std::string path;
    std::vector<std::string> names, genes;
    std::vector<double> values;
};

input take_input(const py::object& given, bool with_names) {
    input in;
    if (py::isinstance<py::str>(given)) {
        in.path = given.cast<std::string>();
        return in;
    }
    auto parts = given.cast<py::tuple>();
    std::size_t k = 0;
    if (with_names) in.names = parts[k++].cast<std::vector<std::string>>();
    in.genes = parts[k++].cast<std::vector<std::string>>();
    in.values = doubles(parts[k].cast<py::array_t<double, py::array::c_style | py::array::forcecast>>());
    return in;
}

run_options take_options(const py::dict& d) {
    run_options o;
    o.tscore = d["tscore"].cast<double>();
    o.adj_method = d["adjust"].cast<std::string>();
    set_wt_method(o, d["weights"].cast<std::string>());
    o.auto_p = d["auto_p"].cast<bool>();
    o.thread_n = d["threads"].cast<int>();
    std::string fdr = d["fdr"].cast<std::string>();  // "": as the command without --fdr
    o.fdr_kind = fdr == "bh" ? fdr_method::bh : fdr == "position" ? fdr_method::position : fdr_method::automatic;
    o.null_kind = d["null"].cast<std::string>() == "moments" ? null_method::moments : null_method::normal;
    o.min_size = d["min_size"].cast<int>();
    o.max_size = d["max_size"].cast<int>();
    o.permutations = d["permutations"].cast<long long>();
    o.exceed = d["exceed"].cast<long long>();
    o.seed = d["seed"].cast<unsigned long long>();
    o.strip_versions = d["strip_versions"].cast<bool>();
    o.dump = d["detail"].cast<bool>();  // every tested record keeps its per-gene detail
    return o;
}

// Reads both inputs and analyses them: what runs without the GIL.
void run(const input& set_in, const input& list_in, const std::string& kind, const run_options& o,
         quorin::rankings& list, quorin::analysis& a, std::vector<std::string>& warnings,
         const std::atomic<bool>& cancel) {
    quorin::gene_sets sets;
    raise(set_in.path.empty() ? quorin::gene_sets_from_records(set_in.names, set_in.genes, set_in.values, o, sets)
                              : quorin::read_gene_sets(set_in.path, o, sets));
    if (kind == "file")
        raise(quorin::read_gene_list(list_in.path, o, list));
    else if (kind == "matrix_file")
        raise(quorin::read_rankings_matrix(list_in.path, o, list));
    else if (kind == "pairs")
        raise(quorin::gene_list_from_pairs(list_in.genes, list_in.values, o, list));
    else
        raise(quorin::rankings_from_matrix(list_in.names, list_in.genes, list_in.values, o, list));
    warnings = quorin::reading_warnings(sets, list, o);
    raise(quorin::analyse(sets, list, o, a, nullptr, &cancel));
}

// Runs `run` on a thread of its own; a signal seen by Python (Ctrl-C) stops
// it at the next gene set and is raised here.
void run_interruptibly(const input& set_in, const input& list_in, const std::string& kind, const run_options& o,
                       quorin::rankings& list, quorin::analysis& a, std::vector<std::string>& warnings) {
    std::atomic<bool> cancel{false};
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    bool interrupted = false;
    std::exception_ptr error;
    {
        py::gil_scoped_release no_gil;
        std::thread worker([&] {
            try {
                run(set_in, list_in, kind, o, list, a, warnings, cancel);
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard<std::mutex> hold(lock);
            done = true;
            finished.notify_one();
        });
        std::unique_lock<std::mutex> hold(lock);
        while (!finished.wait_for(hold, std::chrono::milliseconds(100), [&] { return done; })) {
            hold.unlock();
            {
                py::gil_scoped_acquire gil;
                interrupted = PyErr_CheckSignals() != 0;
            }
            hold.lock();
            if (interrupted) {
                cancel = true;
                break;
            }
        }
        hold.unlock();
        worker.join();
    }
    if (interrupted) throw py::error_already_set();
    if (error) std::rethrow_exception(error);
}

template <class T, class Field>
py::array_t<T> column(const std::vector<struct fstat>& records, Field field) {
    py::array_t<T> out(records.size());
    T* p = out.mutable_data();
    for (const struct fstat& s : records) *p++ = static_cast<T>(field(s));
    return out;
}

void add_detail(const std::vector<struct fstat>& records, py::dict& out) {
    std::size_t n = 0;
    for (const struct fstat& s : records) n += s.data.genes.size();
    py::array_t<std::int64_t> record(n), rank_x(n), rank_y(n);
    py::array_t<double> vec_x(n), vec_y(n), weights(n);
    py::list genes(n);
    std::size_t row = 0;
    for (std::size_t r = 0; r < records.size(); ++r) {
        const fdata& d = records[r].data;
        for (int k : quorin::detail_order(d)) {
            record.mutable_at(row) = static_cast<std::int64_t>(r);
            genes[row] = py::str(d.genes[k]);
            vec_x.mutable_at(row) = d.vec_x[k];
            vec_y.mutable_at(row) = d.vec_y[k];
            rank_x.mutable_at(row) = d.rank_x[k];
            rank_y.mutable_at(row) = d.rank_y[k];
            weights.mutable_at(row) = d.weights[k];
            ++row;
        }
    }
    out["d_record"] = record;
    out["d_gene"] = genes;
    out["d_vec_x"] = vec_x;
    out["d_vec_y"] = vec_y;
    out["d_rank_x"] = rank_x;
    out["d_rank_y"] = rank_y;
    out["d_weights"] = weights;
}

// sets: a path, or (set names, genes, scores); ranking: a path, (genes,
// scores) or (ranking names, genes, values), as kind says ("file",
// "matrix_file", "pairs", "matrix"). Returns the table's columns by name.
py::dict analyse(const py::object& sets, const py::object& ranking, const std::string& kind, const py::dict& options) {
    run_options o = take_options(options);
    input set_in = take_input(sets, true);
    input list_in = take_input(ranking, kind == "matrix");
    quorin::rankings list;
    quorin::analysis a;
    std::vector<std::string> warnings;
    run_interruptibly(set_in, list_in, kind, o, list, a, warnings);
    const std::vector<struct fstat>& r = a.records;
    py::dict out;
    out["rankings"] = list.matrix.names;
    out["list"] = column<std::int64_t>(r, [](const struct fstat& s) { return s.list; });
    py::list names, dirs;
    for (const struct fstat& s : r) {
        names.append(py::str(s.name));
        dirs.append(py::str(std::string(1, s.cor_dir)));
    }
    out["name"] = names;
    out["cor_dir"] = dirs;
    out["size"] = column<std::int64_t>(r, [](const struct fstat& s) { return s.size; });
    out["pp"] = column<double>(r, [](const struct fstat& s) { return s.pp; });
    out["tau"] = column<double>(r, [](const struct fstat& s) { return s.tau; });
    out["estimate"] = column<double>(r, [](const struct fstat& s) { return s.estimate; });
    out["permutations"] = column<std::int64_t>(r, [](const struct fstat& s) { return s.permutations; });
    out["exact"] = column<bool>(r, [](const struct fstat& s) { return s.exact; });
    out["p_value"] = column<double>(r, [](const struct fstat& s) { return s.p_value; });
    out["fdr"] = column<double>(r, [](const struct fstat& s) { return s.fdr; });
    if (o.dump) add_detail(r, out);
    out["warnings"] = warnings;
    return out;
}

}  // namespace

PYBIND11_MODULE(_quorin, m) {
    m.doc() = "quorin's library: gene-set tests by a weighted Kendall rank correlation";
    m.attr("version") = quorin::version();
    m.def("analyse", &analyse, py::arg("sets"), py::arg("ranking"), py::arg("kind"), py::arg("options"));
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const library_error& e) {
            std::string text = e.error.text();
            if (!e.error.detail.empty()) text += " (" + e.error.detail + ")";
            PyObject* type = text == "Sorry, out of memory" ? PyExc_MemoryError
                             : e.error.on_stderr          ? PyExc_OSError
                                                          : PyExc_ValueError;
            PyErr_SetString(type, text.c_str());
        }
    });
}
