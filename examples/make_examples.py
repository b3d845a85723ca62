#!/usr/bin/env python3
"""Writes the example inputs gene_sets.bed and gene_list.txt next to this script.

The gene list holds 3000 genes with signed scores. Of the 30 gene sets, three
(POS_A, POS_B, POS_C) score their genes in step with the list, two (NEG_A,
NEG_B) against it, and the other 25 (BG_01 to BG_25) independently of it. A few
set genes are missing from the list, as in real data. Fixed seed: running it
again gives the same files.
"""
import math
import os
import random

SEED = 11
LIST_GENES = 3000
HERE = os.path.dirname(os.path.abspath(__file__))


def gene_name(i):
    return "GENE%04d" % i


def main():
    rnd = random.Random(SEED)
    genes = [gene_name(i) for i in range(1, LIST_GENES + 1)]
    score = {g: rnd.gauss(0.0, 2.0) for g in genes}

    # (name, direction): +1 follows the list, -1 opposes it, 0 is unrelated
    sets = [("POS_A", 1), ("POS_B", 1), ("POS_C", 1), ("NEG_A", -1), ("NEG_B", -1)]
    sets += [("BG_%02d" % k, 0) for k in range(1, 26)]
    rnd.shuffle(sets)

    bed = []
    for name, direction in sets:
        size = rnd.randint(20, 300)
        members = rnd.sample(genes, size)
        # about one gene in twenty is unknown to the list and will not pair
        for k in range(len(members)):
            if rnd.random() < 0.05:
                members[k] = "NOVEL%04d" % rnd.randint(1, 9999)
        for member in sorted(set(members)):
            if direction == 0 or member not in score:
                value = rnd.uniform(0.0, 1.0)
            else:
                # a noisy but monotone function of the list score
                value = 1.0 / (1.0 + math.exp(-(direction * score[member] + rnd.gauss(0.0, 3.0))))
            chrom = "chr%d" % rnd.randint(1, 22)
            start = rnd.randint(1000, 240000000)
            bed.append("%s\t%d\t%d\t%s; src|%s|x\t%.3f\t.\n"
                       % (chrom, start, start + rnd.randint(500, 90000), name, member, 10.5 + 100.0 * value))

    with open(os.path.join(HERE, "gene_sets.bed"), "w", newline="\n") as f:
        f.writelines(bed)
    with open(os.path.join(HERE, "gene_list.txt"), "w", newline="\n") as f:
        f.writelines("%s\t%.4f\n" % (g, score[g]) for g in genes)


if __name__ == "__main__":
    main()
