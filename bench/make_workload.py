#!/usr/bin/env python3
"""Writes the whole-run workloads of the benchmarks into a folder.

  list.txt        20 000 genes with signed scores (GENE<TAB>SCORE)
  nomatch.txt     a gene list that pairs with no gene of any set
  large.bed       1 000 gene sets of 50 to 5 000 genes
  wide.bed        10 000 gene sets of 15 to 300 genes
  read2m.bed      exactly 2 000 000 gene-set lines (1 000 sets of 2 000 genes)
  one20k.bed      one gene set of all 20 000 list genes
  s100k.bed       100 000 gene sets of 100 genes (10 000 000 lines, about 380 MB)
  ids250k.bed     1 000 gene sets of 2 500 identifiers drawn from 250 000 ("ENST" and 11 digits)
  unique2m.bed    1 000 gene sets of 2 000 genes, every one of the 2 000 000 lines a gene of its own
  unique5m.bed    as unique2m, 5 000 000 lines (about 225 MB)
  empty5k.txt     a --lists matrix of 5 000 genes by 5 000 rankings, every field empty

Set sizes are drawn uniformly. Every set gene is drawn, without repetition
within a set, from the gene list. Set scores lie at or above the default
cut-off 10 with one decimal, so that some repeat; list scores are signed with
three decimals. The seed is fixed: the files are the same on every machine.

usage: make_workload.py FOLDER [--only NAME ...]
"""
import os
import random
import sys

SEED = 20240601
GENES = 20000


def gene_name(k):
    return "G%05d" % k


def write_list(path, rng):
    with open(path, "w") as out:
        for k in range(GENES):
            out.write("%s\t%.3f\n" % (gene_name(k), rng.gauss(0.0, 2.0)))


def write_nomatch(path):
    with open(path, "w") as out:
        out.write("NOT_A_SET_GENE\t1.0\n")


def write_sets(path, rng, sets, smallest, largest, fixed_size=None):
    with open(path, "w") as out:
        for s in range(sets):
            size = fixed_size if fixed_size else rng.randint(smallest, largest)
            name = "SET%06d" % s if sets > 99999 else "SET%05d" % s
            lines = []
            for k in rng.sample(range(GENES), size):
                score = round(10.0 + rng.expovariate(0.1), 1)
                lines.append("chr1\t0\t1\t%s; src|%s|x\t%.1f\t.\n" % (name, gene_name(k), score))
            out.write("".join(lines))


def write_ids(path, rng):
    with open(path, "w") as out:
        for s in range(1000):
            lines = []
            for k in rng.sample(range(250000), 2500):
                score = round(10.0 + rng.expovariate(0.1), 1)
                lines.append("chr1\t0\t1\tSET%05d; src|ENST%011d|x\t%.1f\t.\n" % (s, k, score))
            out.write("".join(lines))


def write_unique(path, lines=2000000):
    with open(path, "w") as out:
        for k in range(lines):
            out.write("chr1\t0\t1\tSET%05d; src|GENE_%07d|x\t%.1f\t.\n" % (k % 1000, k, 10 + (k % 97) / 10))


def write_empty_matrix(path, size=5000):
    with open(path, "w") as out:
        out.write("gene\t" + "\t".join("R%04d" % k for k in range(size)) + "\n")
        for k in range(size):
            out.write(gene_name(k) + "\t" * size + "\n")


def main(argv):
    if len(argv) < 2:
        sys.stderr.write(__doc__)
        return 1
    folder = argv[1]
    only = set(argv[3:]) if len(argv) > 2 and argv[2] == "--only" else None
    os.makedirs(folder, exist_ok=True)
    # One generator per file, so that each file is the same whichever are made.
    jobs = [
        ("list.txt", lambda p: write_list(p, random.Random(SEED))),
        ("nomatch.txt", write_nomatch),
        ("large.bed", lambda p: write_sets(p, random.Random(SEED + 1), 1000, 50, 5000)),
        ("wide.bed", lambda p: write_sets(p, random.Random(SEED + 2), 10000, 15, 300)),
        ("read2m.bed", lambda p: write_sets(p, random.Random(SEED + 3), 1000, 0, 0, fixed_size=2000)),
        ("one20k.bed", lambda p: write_sets(p, random.Random(SEED + 4), 1, 0, 0, fixed_size=GENES)),
        ("s100k.bed", lambda p: write_sets(p, random.Random(SEED + 5), 100000, 0, 0, fixed_size=100)),
        ("ids250k.bed", lambda p: write_ids(p, random.Random(SEED + 6))),
        ("unique2m.bed", write_unique),
        ("unique5m.bed", lambda p: write_unique(p, 5000000)),
        ("empty5k.txt", write_empty_matrix),
    ]
    for name, make in jobs:
        if only is not None and name not in only:
            continue
        path = os.path.join(folder, name)
        make(path + ".part")
        os.replace(path + ".part", path)
        print("wrote", path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
