#!/usr/bin/env python3
"""Standard output that cannot be written ends the run with status 1.

Runs quorin with standard output on /dev/full (every write fails), and with
it closed: with the result table on standard output, and with a result file
while the progress lines go to standard output. Each run must end with status 1, no signal, and
"Sorry, couldn't write standard output" on the error stream; the result file
is still complete, since it is written before standard output is checked.

Usage: stdout_full.py QUORIN
"""
import os
import sys
import tempfile

from quorin_run import run, show, write

TABLE = (b"Gene-set\tPP\tCor_dir\tTau\tEstimate\tP-value\tFDR\n"
         b"S\t0.5\t+\t1\t2.28192\t0.0224943\t0.0224943\n")


def main():
    quorin = os.path.abspath(sys.argv[1])
    failed = 0
    with tempfile.TemporaryDirectory() as work:
        write(work, "set.bed", b"".join(b"c\t1\t2\tS; x|g%d\t%d\t+\n" % (g, 30 - 5 * g) for g in range(3)))
        write(work, "list.txt", b"g0\t3\ng1\t2\ng2\t1\n")
        for closed in (False, True):
            for args in ([], ["-o", "out.txt"], ["-t", "4", "-o", "out.txt", "-d", "detail.txt"]):
                label = "%s, %s" % (" ".join(args) or "table on stdout", "closed" if closed else "/dev/full")
                with open("/dev/full", "wb") as full:
                    ended = run(quorin, ["-s", "set.bed", "-i", "list.txt"] + args, work, stdout=full,
                                close_stdout=closed)
                problems = []
                if ended.problem():
                    problems.append(ended.problem())
                elif ended.status != 1:
                    problems.append("exit status %d, expected 1" % ended.status)
                if ended.stderr != b"Sorry, couldn't write standard output\n":
                    problems.append("error stream differs:\n" + show(ended.stderr, 4000))
                if "-o" in args:
                    with open(os.path.join(work, "out.txt"), "rb") as f:
                        if f.read() != TABLE:
                            problems.append("result file differs")
                    os.remove(os.path.join(work, "out.txt"))
                if problems:
                    failed += 1
                    print("FAIL %s: %s" % (label, "; ".join(problems)))
                else:
                    print("ok   %s" % label)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
