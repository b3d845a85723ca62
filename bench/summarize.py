#!/usr/bin/env python3
"""Ratios from one run of quorin_micro (its JSON output).

usage: summarize.py micro.json

For each pair "what/fast/N" and "what/reference/N" it prints both CPU times and
the ratio; for the pair pass, ns per pair per path and the speed-up over the
straightforward loop; for the five tests of one set, each forced path against
the straightforward tests; for one -p set, the tests that can be kept against
all five.
"""
import json
import sys
from collections import defaultdict


def load(path):
    with open(path) as f:
        doc = json.load(f)
    # With repetitions, the fastest one ("min") stands for the benchmark.
    with_min = any(b.get("aggregate_name") == "min" for b in doc["benchmarks"])
    rows = {}
    for b in doc["benchmarks"]:
        if b.get("error_occurred"):
            continue
        if with_min and b.get("aggregate_name") != "min":
            continue
        if not with_min and b.get("run_type", "iteration") != "iteration":
            continue
        # what/variant/n, without the iterations:/repeats: parts of the name.
        parts = [p for p in b.get("run_name", b["name"]).split("/") if ":" not in p]
        # CPU time in microseconds (every benchmark is registered in us).
        rows[tuple(parts[:3])] = b
    return doc.get("context", {}), rows


def us(b):
    return b["cpu_time"]


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 1
    context, rows = load(argv[1])
    print("load average:", context.get("load_avg"))
    by_what = defaultdict(dict)
    for key, b in rows.items():
        if len(key) == 3:
            by_what[key[0]].setdefault(int(key[2]), {})[key[1]] = b

    print("\n## fast vs straightforward (CPU time, us)")
    print("%-12s %6s %12s %12s %10s" % ("what", "n", "fast", "reference", "ratio"))
    for what in ["argsort", "ranks", "lexsort", "prepare", "test_pp0.5", "five"]:
        for n in sorted(by_what.get(what, {})):
            v = by_what[what][n]
            if "fast" in v and "reference" in v:
                print("%-12s %6d %12.1f %12.1f %9.1fx" % (what, n, us(v["fast"]), us(v["reference"]),
                                                          us(v["reference"]) / us(v["fast"])))

    print("\n## five tests of one set, pair pass forced onto one path (CPU time, us)")
    print("%-8s %6s %12s %12s" % ("path", "n", "time", "vs reference"))
    for n in sorted(by_what.get("five", {})):
        v = by_what["five"][n]
        for path in ["avx512", "avx2", "sse2"]:
            if path in v and "reference" in v:
                print("%-8s %6d %12.1f %11.1fx" % (path, n, us(v[path]), us(v["reference"]) / us(v[path])))

    print("\n## pair pass, method 1 weights at PP 0.5 (ns per pair per weight vector)")
    paths = ["avx512", "avx2", "sse2", "sequential", "sequential2", "literal"]
    print("%6s " % "n" + " ".join("%11s" % p for p in paths) + "   literal/avx512")
    for n in sorted(by_what.get("pass", {})):
        v = by_what["pass"][n]
        cells = ["%11.3f" % v[p]["ns_per_pair"] if p in v else "%11s" % "-" for p in paths]
        ratio = v["literal"]["ns_per_pair"] / v["avx512"]["ns_per_pair"] if "avx512" in v and "literal" in v else 0
        print("%6d " % n + " ".join(cells) + "   %.1fx" % ratio)

    print("\n## pair pass, method 1 weights at PP 0.2 (ns per pair)")
    paths = ["rowwise", "sequential", "literal"]
    print("%6s " % "n" + " ".join("%11s" % p for p in paths) + "   literal/rowwise")
    for n in sorted(by_what.get("pass_pp0.2", {})):
        v = by_what["pass_pp0.2"][n]
        cells = ["%11.3f" % v[p]["ns_per_pair"] if p in v else "%11s" % "-" for p in paths]
        ratio = v["literal"]["ns_per_pair"] / v["rowwise"]["ns_per_pair"] if "rowwise" in v and "literal" in v else 0
        print("%6d " % n + " ".join(cells) + "   %.1fx" % ratio)

    print("\n## pair pass as the library chooses it, per PP of automatic selection")
    print("%6s %6s %6s %8s %12s" % ("n", "PP", "exact", "rowwise", "ns/pair"))
    chosen = sorted(((int(k[2]), -float(k[1][2:])), k[1], b) for k, b in rows.items() if k[0] == "pass_chosen")
    for (n, _), pp, b in chosen:
        print("%6d %6s %6.2f %8.2f %12.3f" % (n, pp[2:], b["exact"], b.get("rowwise", 0), b["ns_per_pair"]))

    print("\n## one -p set: pair pass for the tests that can be kept vs all five (CPU time, us)")
    print("%6s %12s %12s %8s %12s %9s" % ("n", "chosen", "all_five", "ratio", "ranges_only", "one_pass"))
    for n in sorted(by_what.get("one_p_set", {})):
        v = by_what["one_p_set"][n]
        if "chosen" in v and "all_five" in v:
            ranges = "%12.1f" % us(v["ranges_only"]) if "ranges_only" in v else "%12s" % "-"
            print("%6d %12.1f %12.1f %7.2fx %s %9.2f" % (n, us(v["chosen"]), us(v["all_five"]),
                                                       us(v["all_five"]) / us(v["chosen"]), ranges,
                                                       v["chosen"]["one_pass"]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
