#!/usr/bin/env python3
"""Are quorin's p-values calibrated? Null data (random set scores against a random
ranking, so nothing is associated) for several set sizes, tested with the analytic
p-value and with permutation p-values, with and without -p. Under the null the
share of sets with p < 0.05 (or 0.01) should be at most the level: a share above
the upper end of the binomial 99% interval around the level is a failure.

usage: calibration.py QUORIN [--sets K] [--permutations N] [--quick]

For the permutation p-values the share must also lie above the lower end of the
interval, except for sizes so small that all n! orderings are enumerated: their
p-values are multiples of 1/n! (at most), so the attainable level is smaller than
the nominal one (n = 2: p is at least 0.5); the table gives that level beside them.
"""
import math
import os
import random
import subprocess
import sys
import tempfile

SIZES = [2, 3, 5, 10, 50, 200]
LEVELS = [0.05, 0.01]
GENES = 4000


def write_inputs(folder, sets_per_size, rng):
    genes = ["G%05d" % k for k in range(GENES)]
    with open(os.path.join(folder, "list.txt"), "w") as f:
        for g in genes:
            f.write("%s\t%.3f\n" % (g, rng.gauss(0.0, 2.0)))
    with open(os.path.join(folder, "sets.bed"), "w") as f:
        for n in SIZES:
            for k in range(sets_per_size):
                for g in rng.sample(genes, n):
                    score = round(10.0 + rng.expovariate(0.1), 1)
                    f.write("c\t0\t1\tN%03d_%05d; x|%s|y\t%.1f\t.\n" % (n, k, g, score))


def p_values(quorin, folder, extra):
    run = subprocess.run([quorin, "-s", "sets.bed", "-i", "list.txt", "--size", "-t", "2"] + extra,
                         cwd=folder, capture_output=True, text=True, check=True)
    lines = run.stdout.splitlines()
    head = lines[0].split("\t")
    size, p = head.index("Size"), head.index("P-value")
    by_size = {}
    for line in lines[1:]:
        fields = line.split("\t")
        by_size.setdefault(int(fields[size]), []).append(float(fields[p]))
    return by_size


def interval(level, k):
    """The binomial 99% interval of the share of k sets below the level (normal approximation)."""
    half = 2.5758 * math.sqrt(level * (1 - level) / k)
    return level - half, level + half


def attainable(level, n, permutations):
    """The largest share below the level that an exact test over n! orderings can reach, or None."""
    orderings = math.factorial(n)
    if orderings > permutations:
        return None
    return (math.ceil(level * orderings) - 1) / orderings


def main(argv):
    quorin = os.path.abspath(argv[1])
    sets, permutations = 4000, 2000
    if "--quick" in argv:
        sets, permutations = 800, 400
    if "--sets" in argv:
        sets = int(argv[argv.index("--sets") + 1])
    if "--permutations" in argv:
        permutations = int(argv[argv.index("--permutations") + 1])
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        write_inputs(folder, sets, random.Random(20261208))
        print("%d null sets per size; %d permutations at most; binomial 99%% intervals" % (sets, permutations))
        for auto in ([], ["-p"]):
            analytic = p_values(quorin, folder, auto)
            permuted = p_values(quorin, folder, auto + ["--permutations=%d" % permutations, "--seed=7"])
            print("\n%s" % ("with -p (smallest of five PP values)" if auto else "PP 0.5"))
            print("size  level  interval          analytic  permutation  exact-test level")
            for n in SIZES:
                for level in LEVELS:
                    low, high = interval(level, len(permuted[n]))
                    share_a = sum(p < level for p in analytic[n]) / len(analytic[n])
                    share_p = sum(p < level for p in permuted[n]) / len(permuted[n])
                    exact = attainable(level, n, permutations)
                    bad = share_p > high or (exact is None and share_p < low)
                    print("%4d  %5.2f  %.4f-%.4f  %8.4f  %11.4f  %s%s" % (
                        n, level, low, high, share_a, share_p, "-" if exact is None else "%.4f" % exact,
                        "   FAIL" if bad else ""))
                    if bad:
                        failures.append("size %d, level %g%s: %.4f outside %.4f-%.4f" % (
                            n, level, " with -p" if auto else "", share_p, low, high))
    for f in failures:
        print("FAIL: " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
