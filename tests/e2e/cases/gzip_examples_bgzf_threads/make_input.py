"""The examples as BGZF files under plain names (gzip is known by its bytes): the
gene sets in blocks of 4 KiB of text, so that the two threads share about seventy
blocks; the gene list in blocks of the usual size. The table is the plain run's."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", ".."))
import compress  # noqa: E402

EXAMPLES = os.path.join(HERE, "..", "..", "..", "..", "examples")
for source, target, block in [("gene_sets.bed", "sets.bed", 4096), ("gene_list.txt", "list.txt", 65280)]:
    with open(os.path.join(EXAMPLES, source), "rb") as f, open(target, "wb") as out:
        out.write(compress.bgzf(f.read(), block))
