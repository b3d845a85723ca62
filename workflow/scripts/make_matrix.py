#!/usr/bin/env python3
"""Writes the matrix of rankings for one shard of a sample sheet, in the form
that quorin --lists reads: a header "gene" then one name per ranking, then a
gene and its score in every ranking, NA where the gene is not in a ranking.

The sample sheet is tab-separated with a header naming the columns "name",
"file" and, optionally, "column". A row without a column gives a gene list
(gene, tab, score, as for quorin -i); a row with one names a column of a
matrix file. Relative file names are taken from the sheet's folder. Each
ranking's scores are copied as written, so quorin reads them as it would read
that ranking alone: lines cut at a carriage return, empty lines and lines
starting with # skipped, the later line of a gene winning. A score written NA
or left empty means the gene is not in the ranking.

usage: make_matrix.py SHEET FIRST END OUT
writes the rankings of rows FIRST to END - 1 (from 0, in sheet order) to OUT.
"""
import gzip
import os
import sys


class SheetError(Exception):
    pass


def lines_of(path):
    """The lines of a file, gzip (or BGZF) read by its magic bytes, cut at a
    carriage return, with their line numbers; empty and # lines left out."""
    with open(path, "rb") as raw:
        magic = raw.read(2)
    opener = gzip.open if magic == b"\x1f\x8b" else open
    with opener(path, "rb") as f:
        for number, line in enumerate(f, 1):
            text = line.rstrip(b"\n").split(b"\r", 1)[0].decode("utf-8", "surrogateescape")
            if text and not text.startswith("#"):
                yield number, text


def read_sheet(path):
    """The rows of the sample sheet: dicts with name, file (resolved) and
    column (None for a gene list), in sheet order."""
    rows = list(lines_of(path))
    if not rows:
        raise SheetError("%s: no header line (name, file and optionally column)" % path)
    header = rows[0][1].split("\t")
    for needed in ("name", "file"):
        if needed not in header:
            raise SheetError("%s line %d: no column named %s in the header" % (path, rows[0][0], needed))
    at = {key: header.index(key) for key in header}
    base = os.path.dirname(os.path.abspath(path))
    samples, names = [], set()
    for number, text in rows[1:]:
        fields = text.split("\t")
        if len(fields) != len(header):
            raise SheetError("%s line %d: %d fields, %d expected" % (path, number, len(fields), len(header)))
        name, file = fields[at["name"]], fields[at["file"]]
        column = fields[at["column"]] if "column" in at and fields[at["column"]] else None
        if not name or not file:
            raise SheetError("%s line %d: a ranking needs a name and a file" % (path, number))
        if name in names:
            raise SheetError("%s line %d: the ranking name %s is given twice" % (path, number, name))
        if name == "gene":
            raise SheetError("%s line %d: a ranking can't be named gene" % (path, number))
        names.add(name)
        samples.append({"name": name, "file": os.path.join(base, file), "column": column})
    if not samples:
        raise SheetError("%s: no ranking below the header" % path)
    return samples


def shard_bounds(count, shards, k):
    """Rows first to end - 1 of shard k: contiguous, in sheet order, sizes
    differing by at most one."""
    return k * count // shards, (k + 1) * count // shards


def missing(score):
    return score == "" or score == "NA"


def read_gene_list(path):
    scores = {}
    for number, text in lines_of(path):
        fields = text.split("\t")
        if len(fields) < 2 or not fields[0] or not fields[1]:
            raise SheetError("%s line %d: a gene list line is a gene, a tab and a score" % (path, number))
        scores.pop(fields[0], None)  # the later line wins, and sets the order
        if not missing(fields[1]):
            scores[fields[0]] = fields[1]
    return scores


def read_columns(path, wanted):
    """The named columns of a matrix file, each as {gene: score}."""
    rows = lines_of(path)
    first = next(rows, None)
    if first is None:
        raise SheetError("%s: an empty matrix file" % path)
    header = first[1].split("\t")
    if header[0] != "gene":
        raise SheetError("%s line %d: the header must begin with the word gene" % (path, first[0]))
    at = {}
    for column in wanted:
        if column not in header[1:]:
            raise SheetError("%s: no ranking named %s in the header" % (path, column))
        at[column] = header.index(column, 1)
    columns = {column: {} for column in wanted}
    for number, text in rows:
        fields = text.split("\t")
        if len(fields) != len(header):
            raise SheetError("%s line %d: %d fields, %d expected" % (path, number, len(fields), len(header)))
        for column, k in at.items():
            # An NA on a later line of the same gene leaves the earlier value.
            if not missing(fields[k]):
                columns[column][fields[0]] = fields[k]
    return columns


def rankings_of(samples):
    """{name: {gene: score}} for the samples, each matrix file read once."""
    by_file = {}
    for s in samples:
        if s["column"] is not None:
            by_file.setdefault(s["file"], []).append(s["column"])
    columns = {path: read_columns(path, wanted) for path, wanted in by_file.items()}
    return [(s["name"], read_gene_list(s["file"]) if s["column"] is None else columns[s["file"]][s["column"]])
            for s in samples]


def write_matrix(rankings, out):
    genes = {}
    for _, scores in rankings:
        for gene in scores:
            genes.setdefault(gene, None)
    temporary = out + ".part"
    with open(temporary, "w", encoding="utf-8", errors="surrogateescape", newline="\n") as f:
        f.write("\t".join(["gene"] + [name for name, _ in rankings]) + "\n")
        for gene in genes:
            f.write("\t".join([gene] + [scores.get(gene, "NA") for _, scores in rankings]) + "\n")
    os.replace(temporary, out)


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    sheet, first, end, out = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    try:
        samples = read_sheet(sheet)
        write_matrix(rankings_of(samples[first:end]), out)
    except (SheetError, OSError) as e:
        sys.exit("make_matrix.py: %s" % e)


if __name__ == "__main__":
    main()
