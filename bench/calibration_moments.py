#!/usr/bin/env python3
"""Are the p-values of --null=moments calibrated, and do they agree with the
permutation p-values?

1. Null data (set scores drawn apart from the ranking): for n = 10, 30, 100 and
   300 paired genes, positive set scores (the gene-set file's usual scores,
   10 and above) and signed ones (real-data-like weights, with -g -1000), ties
   on both sides (one decimal), -w 1, 2 and 3, with and without -p: the share
   of p < 0.05 and of p < 0.01 must lie in the binomial 99% interval of the
   level. Beside it the analytic and (full run) the permutation shares.
2. Sets with a real association: |log10(p_moments / p_permutation)| <= 0.3
   wherever the permutation p-value is at least the floor (1e-3 with 10^5
   permutations in the full run; 1e-2 with 2*10^4 in the quick one), at one
   PP value and (full run) with -p. The permutations are those of the same
   statistic, --null=moments --permutations: |z|, with -p the largest of five
   (at one PP value the same p-value as that of |estimate|, z being the
   estimate times a number that no permutation changes).
3. (full run) How many p < 0.05 calls of --permutations=10000 -p change
   between two seeds, with --exceed 20 (the default) and 200.

usage: calibration_moments.py QUORIN [--quick] [--parts 1,2,3]
The quick run (CTest) has 400 sets per size and skips the tables of 1 and 3;
the data are drawn from fixed seeds, so a run gives the same numbers each time.
"""
import math
import os
import random
import subprocess
import sys
import tempfile

SIZES = [10, 30, 100, 300]
LEVELS = [0.05, 0.01]
GENES = 4000


def interval(level, k):
    """The binomial 99% interval of the share of k sets below the level (normal approximation)."""
    half = 2.5758 * math.sqrt(level * (1 - level) / k)
    return level - half, level + half


def set_score(kind, rng):
    if kind == "positive":
        return round(10.0 + rng.expovariate(0.1), 1)
    return round(rng.gauss(0.0, 3.0), 1)  # signed, like the weights of a pathway footprint


def write_null(folder, sets_per_size, rng):
    genes = ["G%05d" % k for k in range(GENES)]
    with open(os.path.join(folder, "list.txt"), "w") as f:
        for g in genes:
            f.write("%s\t%.1f\n" % (g, rng.gauss(0.0, 2.0)))
    for kind in ("positive", "signed"):
        with open(os.path.join(folder, kind + ".bed"), "w") as f:
            for n in SIZES:
                for k in range(sets_per_size):
                    for g in rng.sample(genes, n):
                        f.write("c\t0\t1\tN%03d_%05d; x|%s|y\t%.1f\t.\n" % (n, k, g, set_score(kind, rng)))


def write_associated(folder, count, rng):
    """Sets whose signed scores follow the list scores to a varying degree."""
    scores = {}
    for line in open(os.path.join(folder, "list.txt")):
        gene, value = line.split()
        scores[gene] = float(value)
    genes = sorted(scores)
    with open(os.path.join(folder, "associated.bed"), "w") as f:
        for k in range(count):
            n = [30, 100][k % 2]
            strength = 0.02 + 0.5 * rng.random() / math.sqrt(n / 30)
            for g in rng.sample(genes, n):
                value = strength * scores[g] + rng.gauss(0.0, 1.0)
                f.write("c\t0\t1\tA%04d; x|%s|y\t%.1f\t.\n" % (k, g, value))


def table(quorin, folder, bed, extra):
    run = subprocess.run([quorin, "-s", bed, "-i", "list.txt", "--size", "-t", "2", "-g", "-1000",
                          "--digits=17"] + extra, cwd=folder, capture_output=True, text=True, check=True)
    lines = run.stdout.splitlines()
    head = lines[0].split("\t")
    return {f[0]: dict(zip(head, f)) for f in (line.split("\t") for line in lines[1:])}


def shares(rows, n, level):
    ps = [float(r["P-value"]) for r in rows.values() if int(r["Size"]) == n]
    return sum(p < level for p in ps) / len(ps), len(ps)


def calibration(quorin, folder, full, failures):
    for kind in ("positive", "signed"):
        for w in ("1", "2", "3"):
            for auto in ([], ["-p"]):
                base = ["-w", w] + auto
                moments = table(quorin, folder, kind + ".bed", base + ["--null=moments"])
                analytic = table(quorin, folder, kind + ".bed", base) if full else None
                permuted = table(quorin, folder, kind + ".bed", base + ["--permutations=2000", "--seed=7"]) \
                    if full else None
                print("\n%s set scores, -w %s%s" % (kind, w, " -p" if auto else ""))
                print("size  level  interval          moments  analytic  permutation")
                for n in SIZES:
                    for level in LEVELS:
                        share, k = shares(moments, n, level)
                        low, high = interval(level, k)
                        bad = not low <= share <= high
                        print("%4d  %5.2f  %.4f-%.4f  %7.4f  %8s  %11s%s" % (
                            n, level, low, high, share,
                            "%.4f" % shares(analytic, n, level)[0] if full else "-",
                            "%.4f" % shares(permuted, n, level)[0] if full else "-", "   FAIL" if bad else ""))
                        if bad:
                            failures.append("%s, -w %s%s, size %d, level %g: %.4f outside %.4f-%.4f" % (
                                kind, w, " -p" if auto else "", n, level, share, low, high))


def agreement(quorin, folder, full, failures):
    permutations, floor = (100000, 1e-3) if full else (20000, 1e-2)
    print("\nassociated sets: moments against %d permutations (--exceed 500), where p_perm >= %g" % (
        permutations, floor))
    print("-w  -p  sets  compared  largest |log10 ratio|")
    for w in ("1", "2", "3"):
        for auto in ([], ["-p"]) if full else ([],):
            base = ["-w", w] + auto
            moments = table(quorin, folder, "associated.bed", base + ["--null=moments"])
            # Sets far below the floor would only spend permutations.
            kept = {name for name, r in moments.items() if float(r["P-value"]) >= floor / 20}
            with open(os.path.join(folder, "associated.bed")) as f, \
                    open(os.path.join(folder, "compared.bed"), "w") as out:
                out.writelines(line for line in f if line.split("\t")[3].split(";")[0] in kept)
            permuted = table(quorin, folder, "compared.bed",
                             base + ["--null=moments", "--permutations=%d" % permutations, "--exceed=500",
                                     "--seed=3"])
            worst, compared = 0.0, 0
            for name, r in permuted.items():
                p_perm, p_mom = float(r["P-value"]), float(moments[name]["P-value"])
                if p_perm < floor:
                    continue
                compared += 1
                gap = abs(math.log10(p_mom / p_perm))
                if gap > worst:
                    worst = gap
                if gap > 0.3:
                    failures.append("associated %s, -w %s%s: moments %.3g, permutations %.3g" % (
                        name, w, " -p" if auto else "", p_mom, p_perm))
            print("%2s  %2s  %4d  %8d  %.3f" % (w, "-p" if auto else "", len(moments), compared, worst))


def seed_stability(quorin, folder):
    print("\np < 0.05 calls of --permutations=10000 -p that change between seeds 1 and 2 (associated and null sets)")
    print("exceed  calls (either seed)  changed  share")
    for exceed in (20, 200):
        calls = []
        for seed in (1, 2):
            rows = {}
            for bed in ("associated.bed", "signed.bed"):
                rows.update(table(quorin, folder, bed, ["-p", "--permutations=10000", "--exceed=%d" % exceed,
                                                        "--seed=%d" % seed]))
            calls.append({name for name, r in rows.items() if float(r["P-value"]) < 0.05})
        either, changed = calls[0] | calls[1], calls[0] ^ calls[1]
        print("%6d  %19d  %7d  %.3f" % (exceed, len(either), len(changed), len(changed) / max(1, len(either))))


def main(argv):
    quorin = os.path.abspath(argv[1])
    full = "--quick" not in argv
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        rng = random.Random(20261208)
        write_null(folder, 2000 if full else 400, rng)
        write_associated(folder, 200 if full else 40, rng)
        parts = argv[argv.index("--parts") + 1].split(",") if "--parts" in argv else ["1", "2", "3"]
        if "1" in parts:
            calibration(quorin, folder, full, failures)
        if "2" in parts:
            agreement(quorin, folder, full, failures)
        if full and "3" in parts:
            seed_stability(quorin, folder)
    for f in failures:
        print("FAIL: " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
