#!/usr/bin/env python3
"""A fatal error on worker threads ends the run cleanly.

With an unknown weighting method every worker meets a fatal error at its first
gene set: each may write "unknown weighting method: 4" before the first
"x_n < 1" ends the process. Every run must end with status 1 (no signal, no
hang), every line on standard output must be whole and one of those two, the
last line must be "x_n < 1", and the error stream must stay empty (so a
sanitizer report also fails the test). Runs several times, since the
interleaving differs from run to run.

Usage: worker_fatal.py QUORIN [RUNS]
"""
import os
import sys
import tempfile

from quorin_run import run, show, write

UNKNOWN = b"unknown weighting method: 4"


def main():
    quorin = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    failed = 0
    with tempfile.TemporaryDirectory() as work:
        write(work, "set.bed", b"".join(b"c\t1\t2\tS%03d; x|g%d\t%d\t+\n" % (s, g, 20 + g)
                                        for s in range(300) for g in range(3)))
        write(work, "list.txt", b"g0\t1\ng1\t2\ng2\t3\n")
        commands = [
            ["-w", "4", "-t", "8"],
            ["-w", "4", "-t", "3", "-p"],
            ["-w", "4", "-t", "300", "-o", "out.txt"],
        ]
        for args in commands:
            for _ in range(runs):
                problems = []
                ended = run(quorin, ["-s", "set.bed", "-i", "list.txt"] + args, work)
                if ended.problem():
                    problems.append(ended.problem())
                elif ended.status != 1:
                    problems.append("exit status %d, expected 1" % ended.status)
                lines = ended.stdout.split(b"\n")
                if lines[-1] != b"":
                    problems.append("the last line is cut short")
                lines = lines[:-1]
                head = [b"Gene-set\tPP\tCor_dir\tTau\tEstimate\tP-value"] if "-o" in args else []
                if lines[:len(head)] != head:
                    problems.append("the progress header is not the first line")
                body = lines[len(head):]
                if not body or body[-1] != b"x_n < 1":
                    problems.append('the last line is not "x_n < 1"')
                if any(line not in (UNKNOWN, b"x_n < 1") for line in body):
                    problems.append("a line is neither message")
                if body.count(b"x_n < 1") != 1 or not 1 <= body.count(UNKNOWN) <= 300:
                    problems.append("unexpected message counts")
                if ended.stderr:
                    problems.append("error stream not empty")
                if os.path.exists(os.path.join(work, "out.txt")):
                    problems.append("a result file was written")
                if problems:
                    failed += 1
                    print("FAIL %s: %s\n--- stdout\n%s\n--- stderr\n%s" % (
                        " ".join(args), "; ".join(problems), show(ended.stdout), show(ended.stderr, 4000)))
    print("%d runs, %d failed" % (runs * len(commands), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
