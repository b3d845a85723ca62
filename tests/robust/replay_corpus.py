#!/usr/bin/env python3
"""Replays the committed fuzz corpus (fuzz/corpus/<target>/) through the real binary.

Usage: replay_corpus.py QUORIN CORPUS_FOLDER

Each file is turned into the run its fuzz target stands for:
  fuzz_gene_sets  the gene-set file (after the first byte, which gives -r and -g)
  fuzz_gene_list  the gene-list file (after the first byte, which gives -r)
  fuzz_lists      the matrix of rankings for --lists (after the first byte, which gives -r)
  fuzz_options    the command line (words cut at NUL bytes; "/" becomes "_" so
                  that every file named stays in the scratch folder)
  fuzz_split      the text, once as the gene-set file and once as the gene-list file
  fuzz_analysis   one gene set with those scores, tested at the five PP values
  fuzz_gzip       the text (after four bytes) as the gene-list file, compressed
                  in the form the first byte names (one member, members, BGZF;
                  the damage the target makes is left out), or the bytes as they are
  fuzz_large_sets the large gene set its generator builds, tested at the five PP values
Every run must end by itself with status 0 or 1, no signal and no sanitizer report.
"""
import math
import os
import struct
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


SPECIALS = [float("nan"), float("nan"), math.inf, -math.inf, 0.0, -0.0, 1.7976931348623157e308,
            -1.7976931348623157e308, 5e-324, -5e-324, 2.2250738585072014e-308, 1e-300, 0.1,
            0.30000000000000004, 1e15, -1e15]
MASK = (1 << 64) - 1


def splitmix64(state):
    """The next (state, number) of the generator in fuzz/fuzz_large_sets.cpp."""
    state = (state + 0x9E3779B97F4A7C15) & MASK
    z = state
    z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
    z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
    return state, z ^ (z >> 31)


def large_scores(style, n, state):
    """The scores fuzz/fuzz_large_sets.cpp makes for one style byte (the order of equal
    values after sorting may differ, which changes no rank)."""
    v = []
    for _ in range(n):
        state, r = splitmix64(state)
        kind = style & 7
        if kind == 0:
            x = float(r % 4)
        elif kind == 1:
            x = (r % 40) * 0.5
        elif kind == 2:
            x = (r % 100000) / 1000.0
        elif kind == 3:
            x = math.ldexp(float(r % 1000 + 1), (r >> 40) % 80 - 40)
        elif kind == 4:
            x = struct.unpack("<d", struct.pack("<Q", r))[0]
            if not math.isfinite(x):
                x = float(r % 7)
        elif kind == 5:
            x = math.ldexp(1.0, r % 64 - 32)
        elif kind == 6:
            x = 1.0 + float(r % 3) * 1e-16 * float(r % 5)
        else:
            x = float(r % 2001 - 1000)
        sign = (style >> 3) & 3
        if sign == 1:
            x = -abs(x)
        elif sign == 2 and r & (1 << 20):
            x = -x
        v.append(x)
    order = style & 0x60
    if order == 0x20:
        v.sort()
    elif order == 0x40:
        v.sort(reverse=True)
    elif order == 0x60:
        v = [v[0]] * n
    if style & 0x80:
        for k in range(n):
            state, r = splitmix64(state)
            if r % 64 == 0:
                v[k] = SPECIALS[((r >> 8) & 0xFF) % 16]
    return v, state


def large_set_files(data):
    """The set and list files for a fuzz_large_sets input, or None when it is too short."""
    if len(data) < 13:
        return None
    size = data[1] << 8 | data[2]
    n = 256 + (size % 4096 if size % 16 == 15 else size % 1024)
    state = struct.unpack("<Q", data[5:13])[0]
    xs, state = large_scores(data[3], n, state)
    ys, state = large_scores(data[4], n, state)
    for i in range(13, len(data) - 1, 2):
        at = (data[i] * 131 + i) % n
        (ys if data[i + 1] & 0x10 else xs)[at] = SPECIALS[data[i + 1] % 16]
    set_file = b"".join(b"c\t1\t2\tS; x|g%05d\t%s\t+\n" % (k, repr(x).encode()) for k, x in enumerate(xs))
    list_file = b"".join(b"g%05d\t%s\n" % (k, repr(y).encode()) for k, y in enumerate(ys))
    return set_file, list_file


def runs_of(target, data):
    """(set file, list file, arguments, whether a bad line may end the run) for one corpus file."""
    std = ["-s", "set.bed", "-i", "list.txt"]
    if target == "fuzz_gene_sets" and data:
        c, cutoff = mode(data[0])
        return [(data[1:], LIST, std + ["-r", c + "1", "-g", cutoff])]
    if target == "fuzz_gene_list" and data:
        c, _ = mode(data[0])
        return [(SET, data[1:], std + ["-r", "1" + c])]
    if target == "fuzz_lists" and data:
        c, _ = mode(data[0])
        return [(SET, data[1:], ["-s", "set.bed", "--lists=list.txt", "-r", "1" + c])]
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
    if target == "fuzz_large_sets" and large_set_files(data):
        set_file, list_file = large_set_files(data)
        return [(set_file, list_file, std + ["-g", "-inf", "-w", "123"[data[0] % 3], "-p"])]
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
                head = b"List\t" + HEAD if target == "fuzz_lists" else HEAD
                if target != "fuzz_options" and ended.status == 0 and not ended.stdout.startswith(head):
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
