#!/usr/bin/env python3
"""A large gene-set file reads the same with one thread as with several.

Gene-set files over 4 MB are read in stretches on the run's threads. This
makes random large files of every kind of line the reader accepts (records of
sets spread over the whole file, repeated genes, comments, blank lines,
carriage returns, records below the cut-off with a malformed name field, odd
score texts) and checks that -t 1, -t 3 and -t 8 give the same result table
and detail file; then puts two bad lines into such a file and checks that the
first one in file order is the one reported, whatever the thread count.

Usage: parallel_read.py QUORIN
"""
import os
import random
import sys
import tempfile

from quorin_run import run, show, write

SIZE = 5 * 1024 * 1024


def score_text(rnd):
    v = rnd.randint(-30, 60)
    return rnd.choice([b"%d" % v, b"%d.25" % v, b" %de0" % v, b"+%d" % v if v >= 0 else b"%d" % v,
                       b"0x%x" % v if v >= 0 else b"-0x%x" % -v, b"%d,5" % v, b"%dabc" % v])


def random_set_file(rnd):
    lines = []
    size = 0
    while size < SIZE:
        kind = rnd.random()
        if kind < 0.80:
            name = b"set%d" % rnd.randrange(3000)
            line = b"chr\t%d\t%d\t%s; id|g%d|x\t%s\t+" % (rnd.randrange(9), rnd.randrange(9), name,
                                                         rnd.randrange(40), score_text(rnd))
        elif kind < 0.85:
            line = b"chr\t1\t2\tno name field\t%d\t+" % rnd.randint(-30, 9)  # below the cut-off: skipped
        elif kind < 0.90:
            line = b"# comment\t\t\t\t\t\t"
        elif kind < 0.95:
            line = rnd.choice([b"", b"\r", b"\r\tjunk"])
        else:
            line = b"chr\t1\t2\tset%d; id|g%d\t%d\t+\t\textra\r" % (rnd.randrange(3000), rnd.randrange(40),
                                                                 rnd.randint(10, 40))
        lines.append(line)
        size += len(line) + 1
    return b"\n".join(lines) + b"\n"


def table_lines(out):
    # Lines with equal FDR come in no defined order.
    lines = out.split(b"\n")
    return lines[:1] + sorted(lines[1:])


def main():
    quorin = os.path.abspath(sys.argv[1])
    failed = 0
    rnd = random.Random(20240607)
    with tempfile.TemporaryDirectory() as work:
        write(work, "list.txt", b"".join(b"g%d\t%d\n" % (g, rnd.randint(-50, 50)) for g in range(40)))
        for round in range(2):
            text = random_set_file(rnd)
            write(work, "set.bed", text)
            results = {}
            for threads in ("1", "3", "8"):
                ended = run(quorin, ["-s", "set.bed", "-i", "list.txt", "-t", threads, "-p", "-d", "d.txt"], work)
                with open(os.path.join(work, "d.txt"), "rb") as f:
                    detail = f.read()
                results[threads] = (ended.problem(), ended.status, table_lines(ended.stdout), ended.stderr,
                                    sorted(detail.split(b"\n//\n")))
            one = results["1"]
            # The scores that are not numbers ("7,5", "7abc") are warned of, the same way whatever -t.
            warned_only = all(line.startswith(b"warning: ") for line in one[3].splitlines())
            if one[0] or one[1] != 0 or not warned_only or len(one[2]) < 1000:
                failed += 1
                print("FAIL round %d, -t 1: %s status %s, %d lines\n%s" % (
                    round, one[0], one[1], len(one[2]), show(one[3], 4000)))
            for threads in ("3", "8"):
                if results[threads] != one:
                    failed += 1
                    print("FAIL round %d: -t %s differs from -t 1" % (round, threads))

            lines = text.split(b"\n")
            first, second = sorted(rnd.sample(range(len(lines) // 4, len(lines) - 1), 2))
            lines[first] = b"bad line one\tA"
            lines[second] = b"bad line two\tB"
            write(work, "set.bed", b"\n".join(lines))
            for threads in ("1", "4", "8"):
                ended = run(quorin, ["-s", "set.bed", "-i", "list.txt", "-t", threads], work)
                if ended.problem() or ended.status != 1 or ended.stdout != b"wrong line: bad line one\tA\n":
                    failed += 1
                    print("FAIL round %d, bad lines, -t %s: %s status %s\n--- stdout\n%s\n--- stderr\n%s" % (
                        round, threads, ended.problem(), ended.status, show(ended.stdout),
                        show(ended.stderr, 4000)))
    print("%d failed" % failed)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
