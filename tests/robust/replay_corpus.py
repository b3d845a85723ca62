#!/usr/bin/env python3
"""Replays the committed fuzz corpus (fuzz/corpus/<target>/) through the real binary.

Usage: replay_corpus.py QUORIN CORPUS_FOLDER

Each file is turned into the run its fuzz target stands for:
  fuzz_gene_sets  the gene-set file (after the first byte, which gives -r and -g)
  fuzz_gene_list  the gene-list file (after the first byte, which gives -r)
  fuzz_options    the command line (words cut at NUL bytes; "/" becomes "_" so
                  that every file named stays in the scratch folder)
  fuzz_split      the text, once as the gene-set file and once as the gene-list file
  fuzz_analysis   one gene set with those scores, tested at the five PP values
  fuzz_gzip       the text (after four bytes) as the gene-list file, compressed
                  in the form the first byte names (one member, members, BGZF;
                  the damage the target makes is left out), or the bytes as they are
Every run must end by itself with status 0 or 1, no signal and no sanitizer report.
"""
import os
import sys
import tempfile

from quorin_run import run, show, write

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import compress  # noqa: E402

SET = b"".join(b"c\t1\t2\tS; x|g%d\t%d\t+\n" % (g, 30 - 5 * g) for g in range(3))
LIST = b"g0\t3\ng1\t2\ng2\t1\n"
HEAD = b"Gene-set\tPP\tCor_dir\tTau\tEstimate\tP-value\tFDR\n"


def mode(byte):
    """The treatment character and cut-off chosen by a reader input's first byte (fuzz/input_file.h)."""
    return "123"[byte % 3], ["10", "0", "-inf", "nan"][(byte // 3) % 4]


def value_of(b):
    """The score a byte of a fuzz_analysis input stands for (fuzz/fuzz_analysis.cpp)."""
    if b >= 0xF0:
        return ["nan", "-nan", "inf", "-inf", "0", "-0", "1.7976931348623157e308", "-1.7976931348623157e308",
                "4.9406564584124654e-324", "-4.9406564584124654e-324", "2.2250738585072014e-308", "1e-300",
                "0.1", "0.30000000000000004", "1e15", "-1e15"][b - 0xF0].encode()
    return repr(((b % 24) - 12) * 0.5).encode()


def runs_of(target, data):
    """(set file, list file, arguments, whether a bad line may end the run) for one corpus file."""
    std = ["-s", "set.bed", "-i", "list.txt"]
    if target == "fuzz_gene_sets" and data:
        c, cutoff = mode(data[0])
        return [(data[1:], LIST, std + ["-r", c + "1", "-g", cutoff])]
    if target == "fuzz_gene_list" and data:
        c, _ = mode(data[0])
        return [(SET, data[1:], std + ["-r", "1" + c])]
    if target == "fuzz_options":
        words = data.split(b"\0")[:16] if data else []
        return [(SET, LIST, [w.replace(b"/", b"_") for w in words])]
    if target == "fuzz_split" and data:
        text = data[1 + data[0] % 4:]
        return [(text, LIST, std), (SET, text, std)]
    if target == "fuzz_analysis" and len(data) >= 3:
        pairs = [(data[i], data[i + 1]) for i in range(1, len(data) - 1, 2)][:300]
        set_file = b"".join(b"c\t1\t2\tS; x|g%03d\t%s\t+\n" % (k, value_of(x)) for k, (x, _) in enumerate(pairs))
        list_file = b"".join(b"g%03d\t%s\n" % (k, value_of(y)) for k, (_, y) in enumerate(pairs))
        return [(set_file, list_file, std + ["-g", "-inf", "-w", "123"[data[0] % 3], "-p"])]
    if target == "fuzz_gzip" and len(data) >= 4:
        text, form, position = data[4:], data[0] & 3, data[2] << 8 | data[3]
        if form == 0:
            text = compress.member(text)
        elif form == 1:
            step = 1 + position % (len(text) + 1)
            text = compress.member(b"") + compress.members(text, list(range(step, len(text), step)))
        elif form == 2:
            text = compress.bgzf(text, 1 + position % 70000)
        return [(SET, text, std + ["-t", str(1 + data[1] % 3)])]
    return []


def main():
    quorin, corpus = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    count = failed = 0
    for target in sorted(os.listdir(corpus)):
        for name in sorted(os.listdir(os.path.join(corpus, target))):
            with open(os.path.join(corpus, target, name), "rb") as f:
                data = f.read()
            for set_file, list_file, args in runs_of(target, data):
                count += 1
                with tempfile.TemporaryDirectory() as work:
                    for file_name, content in (("set.bed", set_file), ("list.txt", list_file),
                                               ("gene_set.txt", SET), ("gene_list.txt", LIST)):
                        write(work, file_name, content)
                    ended = run(quorin, args, work)
                problems = []
                if ended.problem():
                    problems.append(ended.problem())
                elif ended.status not in (0, 1):
                    problems.append("exit status %d" % ended.status)
                if b"Sanitizer" in ended.stderr or b"runtime error" in ended.stderr:
                    problems.append("sanitizer report")
                if target != "fuzz_options" and ended.status == 0 and not ended.stdout.startswith(HEAD):
                    problems.append("no result table")
                if problems:
                    failed += 1
                    print("FAIL %s/%s (%s): %s\n--- stderr\n%s" % (target, name, " ".join(map(str, args)),
                                                                   "; ".join(problems), show(ended.stderr, 4000)))
    print("%d runs from the corpus, %d failed" % (count, failed))
    if count == 0:
        print("FAIL: no corpus found in %s" % corpus)
        return 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
