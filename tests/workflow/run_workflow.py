#!/usr/bin/env python3
"""Runs the Snakemake workflow of workflow/ on this machine (snakemake
--cores 2) on five rankings made from the example gene list, in three
shards, and checks:

- its combined table equals byte for byte the table of one quorin --lists
  run on a matrix of all five rankings written here, independently of the
  workflow's own script;
- the shards really split the rankings (1, 2 and 2, in sheet order);
- every ranking's rows equal a quorin -i run on that ranking alone;
- a sample sheet naming a ranking twice stops the workflow with a message
  naming the sheet and the line, and writes no table.
The control: the single run on the same rankings in another column order
gives a different table, so the byte comparison can fail.

usage: run_workflow.py QUORIN SOURCE_DIR
Exit status 77 (skipped) when snakemake is not installed.
"""
import gzip
import os
import random
import shutil
import subprocess
import sys
import tempfile

OPTIONS = ["-p"]


def read_list(path):
    scores = {}
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if line.strip() and not line.startswith("#"):
                scores[fields[0]] = fields[1]
    return scores


def negate(score):
    return score[1:] if score.startswith("-") else "-" + score


def rankings(example):
    """Five rankings (name, {gene: score text}) and how the sheet gives each:
    a gene list (plain or gzip) or a column of a matrix file."""
    base = read_list(example)
    genes = list(base)
    rnd = random.Random(14)
    shuffled_scores = [base[g] for g in genes]
    rnd.shuffle(shuffled_scores)
    half = set(rnd.sample(genes, len(genes) // 2))
    return [
        ("as_given", base, "list"),
        ("negated", {g: negate(s) for g, s in base.items()}, "matrix"),
        ("shuffled", dict(zip(genes, shuffled_scores)), "list"),
        ("no_thirds", {g: s for k, (g, s) in enumerate(base.items()) if k % 3}, "matrix"),
        ("half_doubled", {g: "%.4f" % (2 * float(s)) for g, s in base.items() if g in half}, "gzip"),
    ]


def write_matrix(path, ranks):
    genes = []
    seen = set()
    for _, scores, _ in ranks:
        for g in scores:
            if g not in seen:
                seen.add(g)
                genes.append(g)
    with open(path, "w") as f:
        f.write("\t".join(["gene"] + [name for name, _, _ in ranks]) + "\n")
        for g in genes:
            f.write("\t".join([g] + [scores.get(g, "NA") for _, scores, _ in ranks]) + "\n")


def write_list(path, scores, compress=False):
    text = "".join("%s\t%s\n" % gs for gs in scores.items()).encode()
    with (gzip.open if compress else open)(path, "wb") as f:
        f.write(text)


def write_inputs(d, ranks, sheet_rows=None):
    """The sample sheet and its files; returns the sheet's path."""
    write_matrix(os.path.join(d, "columns.tsv"), [r for r in ranks if r[2] == "matrix"])
    rows = ["name\tfile\tcolumn"]
    for name, scores, kind in ranks:
        if kind == "matrix":
            rows.append("%s\tcolumns.tsv\t%s" % (name, name))
        else:
            file = name + (".txt.gz" if kind == "gzip" else ".txt")
            write_list(os.path.join(d, file), scores, kind == "gzip")
            rows.append("%s\t%s\t" % (name, file))
    path = os.path.join(d, "samples.tsv")
    with open(path, "w") as f:
        f.write("\n".join(sheet_rows or rows) + "\n")
    return path


def snakemake(source, d, quorin, sheet, sets, shards):
    config = os.path.join(d, "config.yaml")
    with open(config, "w") as f:
        f.write("samples: %s\ngene_sets: %s\nquorin: %s\nshards: %d\noptions: \"%s\"\noutdir: results\n"
                % (sheet, sets, quorin, shards, " ".join(OPTIONS)))
    return subprocess.run(["snakemake", "-s", os.path.join(source, "workflow", "Snakefile"), "--cores", "2",
                           "--configfile", config, "--directory", d, "-q"],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)


def quorin_table(quorin, args):
    return subprocess.run([quorin] + args, stdout=subprocess.PIPE, check=True).stdout


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    quorin, source = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    if not shutil.which("snakemake"):
        print("snakemake not installed: skipped")
        sys.exit(77)
    sets = os.path.join(source, "examples", "gene_sets.bed")
    ranks = rankings(os.path.join(source, "examples", "gene_list.txt"))
    names = [name for name, _, _ in ranks]
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)

    with tempfile.TemporaryDirectory() as d:
        sheet = write_inputs(d, ranks)
        run = snakemake(source, d, quorin, sheet, sets, 3)
        if run.returncode != 0:
            sys.exit("FAIL: the workflow ended with status %d:\n%s" % (run.returncode, run.stdout))
        with open(os.path.join(d, "results", "table.tsv"), "rb") as f:
            combined = f.read()

        write_matrix(os.path.join(d, "all.tsv"), ranks)
        single = quorin_table(quorin, ["-s", sets, "--lists", os.path.join(d, "all.tsv")] + OPTIONS)
        check(combined == single, "the combined table differs from the single --lists run")
        lists = [line.split(b"\t", 1)[0].decode() for line in combined.splitlines()[1:]]
        check(sorted(set(lists), key=names.index) == names and lists == sorted(lists, key=names.index),
              "the combined table's rankings are not the sheet's, in its order: %s" % sorted(set(lists)))

        # The shards: 1, 2 and 2 rankings, contiguous in sheet order.
        for k, expected in enumerate([names[0:1], names[1:3], names[3:5]]):
            with open(os.path.join(d, "results", "shards", str(k), "table.tsv")) as f:
                got = sorted(set(line.split("\t", 1)[0] for line in f.read().splitlines()[1:]), key=names.index)
            check(got == expected, "shard %d holds %s, not %s" % (k, got, expected))

        # Each ranking as it would be tested alone.
        for name, scores, _ in ranks:
            alone = os.path.join(d, "alone.txt")
            write_list(alone, scores)
            lines = quorin_table(quorin, ["-s", sets, "-i", alone] + OPTIONS).decode().splitlines()
            expected = ["List\t" + lines[0]] + [name + "\t" + line for line in lines[1:]]
            got = [line for line in combined.decode().splitlines() if line.split("\t", 1)[0] in ("List", name)]
            check(len(expected) > 10 and got == expected, "the rows of %s differ from its -i run" % name)

        # The control: another column order gives another table.
        write_matrix(os.path.join(d, "reordered.tsv"), ranks[::-1])
        other = quorin_table(quorin, ["-s", sets, "--lists", os.path.join(d, "reordered.tsv")] + OPTIONS)
        check(other != combined and sorted(other.splitlines()) == sorted(combined.splitlines()),
              "the control: reordered rankings should give the same rows in another order")

    with tempfile.TemporaryDirectory() as d:
        sheet = write_inputs(d, ranks)
        with open(sheet) as f:
            rows = f.read().splitlines()
        write_inputs(d, ranks, rows + [rows[2]])
        run = snakemake(source, d, quorin, sheet, sets, 3)
        check(run.returncode != 0 and "line 7: the ranking name negated is given twice" in run.stdout
              and not os.path.exists(os.path.join(d, "results", "table.tsv")),
              "a ranking named twice was not refused (status %d):\n%s" % (run.returncode, run.stdout))

    for f in failures:
        print("FAIL:", f)
    if failures:
        sys.exit(1)
    print("ok: the workflow's table equals the single --lists run")


if __name__ == "__main__":
    main()
