#!/usr/bin/env python3
"""A matrix of rankings tested in one --lists run gives, ranking by ranking, the
bytes of a run on a gene list holding only that ranking's column: the table
lines (behind the List column), the progress lines and the detail blocks
(whose title names the ranking).

usage: lists_equal_columns.py QUORIN EXAMPLES_FOLDER
"""
import os
import random
import subprocess
import sys
import tempfile


def make_matrix(folder, genes, rng):
    """Five rankings: the list, its negation with NA, noise with empty fields,
    a constant-ish one, and one that only a later duplicate row fills."""
    names = ["plain", "negated", "noise", "coarse", "late"]
    columns = {n: [] for n in names}
    rows = []
    for gene, value in genes:
        v = float(value)
        row = [gene, value, "NA" if rng.random() < 0.2 else "%.3f" % -v,
               "" if rng.random() < 0.3 else "%.2f" % rng.gauss(0, 2), "%d" % round(v), "NA"]
        rows.append(row)
    for gene, _ in rng.sample(genes, 200):  # later rows of a gene: only some rankings
        rows.append([gene, "NA", "", "%.1f" % rng.gauss(0, 3), "NA", "%.2f" % rng.gauss(0, 1)])
    with open(os.path.join(folder, "matrix.txt"), "w") as f:
        f.write("# rankings of the examples\ngene\t" + "\t".join(names) + "\n")
        for row in rows:
            f.write("\t".join(row) + "\n")
    # Each column as its own gene list: the lines where it has a value.
    for k, name in enumerate(names):
        with open(os.path.join(folder, name + ".txt"), "w") as f:
            for row in rows:
                if row[k + 1] not in ("", "NA"):
                    f.write("%s\t%s\n" % (row[0], row[k + 1]))
    return names


def run(quorin, folder, args):
    done = subprocess.run([quorin] + args, cwd=folder, capture_output=True, timeout=300)
    if done.returncode != 0:
        raise SystemExit("FAIL: %s ended with %d: %s" % (args, done.returncode, done.stdout[-500:] + done.stderr))
    return done.stdout


def blocks(text):
    return [b for b in text.split(b"//\n\n") if b]


def main():
    quorin, examples = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    sets = os.path.join(examples, "gene_sets.bed")
    genes = [l.split("\t") for l in open(os.path.join(examples, "gene_list.txt")).read().splitlines()]
    errors = []
    with tempfile.TemporaryDirectory() as folder:
        names = make_matrix(folder, genes, random.Random(14))
        for extra in ([], ["-p", "--fdr=bh"], ["-r", "13", "-w", "2", "--size"], ["-r", "12", "-p", "--permutations=50"]):
            lists = run(quorin, folder, ["-s", sets, "--lists=matrix.txt", "-t", "3", "-o", "all.txt", "-d", "all_detail.txt"] + extra)
            table = open(os.path.join(folder, "all.txt"), "rb").read().split(b"\n")
            detail = blocks(open(os.path.join(folder, "all_detail.txt"), "rb").read())
            want_table, want_detail, want_progress = [], [], []
            for name in names:
                alone = run(quorin, folder, ["-s", sets, "-i", name + ".txt", "-o", name + ".out", "-d", name + ".det"] + extra)
                lines = open(os.path.join(folder, name + ".out"), "rb").read().split(b"\n")
                if not want_table:
                    want_table.append(b"List\t" + lines[0])
                want_table += [name.encode() + b"\t" + l for l in lines[1:] if l]
                want_progress += [name.encode() + b"\t" + l for l in alone.split(b"\n")[1:] if l]
                for b in blocks(open(os.path.join(folder, name + ".det"), "rb").read()):
                    want_detail.append(b"# List: " + name.encode() + b"\t" + b[2:])
            if table[:-1] != want_table:
                errors.append("%s: the table differs from the columns' tables" % extra)
            if detail != want_detail:
                errors.append("%s: the detail blocks differ (%d against %d)" % (extra, len(detail), len(want_detail)))
            progress = lists.split(b"\n")
            if progress[0] != b"List\t" + want_table[0][5:].rsplit(b"\tFDR", 1)[0] or \
                    sorted(progress[1:-1]) != sorted(want_progress):
                errors.append("%s: the progress lines differ" % extra)
        if len(want_table) < 100:
            errors.append("too few result lines (%d) for the check to mean much" % len(want_table))
    for e in errors:
        print("FAIL: " + e)
    print("%d failed" % len(errors))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
