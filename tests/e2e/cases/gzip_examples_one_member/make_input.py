"""The examples, each file gzip-compressed as one member: the table is the plain run's."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", ".."))
import compress  # noqa: E402

EXAMPLES = os.path.join(HERE, "..", "..", "..", "..", "examples")
for source, target in [("gene_sets.bed", "sets.bed.gz"), ("gene_list.txt", "list.txt.gz")]:
    with open(os.path.join(EXAMPLES, source), "rb") as f, open(target, "wb") as out:
        out.write(compress.member(f.read()))
