"""The examples as gzip files of several members, as concatenated gzip files
are: the text cut inside lines, between a line's end and the next line, and
an empty member first. The table and the detail file are the plain run's."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", ".."))
import compress  # noqa: E402

EXAMPLES = os.path.join(HERE, "..", "..", "..", "..", "examples")
with open(os.path.join(EXAMPLES, "gene_sets.bed"), "rb") as f:
    sets = f.read()
with open(os.path.join(EXAMPLES, "gene_list.txt"), "rb") as f:
    genes = f.read()
line_end = sets.index(b"\n", 100000) + 1
with open("sets.bed.gz", "wb") as out:
    out.write(compress.members(sets, [0, 1, 7, 5000, line_end, 200001]))
with open("list.txt.gz", "wb") as out:
    out.write(compress.members(genes, [len(genes) // 2]))
