#!/usr/bin/env python3
"""Input files that change or fail while they are read, and standard input from a pipe.

Loads a test library (LD_PRELOAD, cut_input_file.cpp) that cuts an input file
to half its size right after quorin has taken its size, or makes every read of
it fail with EIO. Such a run must end with status 1 and one message naming the
file, never a signal (a mapped file cut short would give a bus error) and never
a table. Each faulty run is paired with the same run without the fault, which
must give the whole table: the check cannot pass because the input was bad.

Usage: input_faults.py QUORIN PRELOAD_LIBRARY
"""
import os
import subprocess
import sys
import tempfile

from quorin_run import TIMEOUT, run, show, write

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import compress  # noqa: E402

HEAD = b"Gene-set\tPP\tCor_dir\tTau\tEstimate\tP-value\tFDR\n"
# 3000 sets of one gene each (over 200 KB), and the list of that gene.
SETS = b"".join(b"c\t1\t2\tS%04d; x|g1\t20\t+\n" % k for k in range(3000))
LIST = b"g1\t1\n" + b"".join(b"x%05d\t%d\n" % (k, k) for k in range(20000))
TABLE_LINES = sorted([HEAD] + [b"S%04d\t0.5\t+\t0\t0\t1\t1\n" % k for k in range(3000)])


def whole_table(out):
    return out.startswith(HEAD) and sorted(out.splitlines(True)) == TABLE_LINES


def cut_message(name):
    return b"Sorry, couldn't read file " + name + b": it was cut short while being read\n"


def check_fault(quorin, library, fault, target, set_data, list_data, want):
    """One run with the fault made to `target`, one without; returns the problems."""
    problems = []
    with tempfile.TemporaryDirectory() as work:
        write(work, "sets.bed", set_data)
        write(work, "list.txt", list_data)
        done = os.path.join(work, "fault.done")
        env = dict(os.environ, LD_PRELOAD=library, CUT_INPUT_DONE=done)
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"
        args = ["-s", "sets.bed", "-i", "list.txt", "-t", "2"]
        clean = run(quorin, args, work, env=env)
        if clean.problem() or clean.status != 0 or not whole_table(clean.stdout):
            problems.append("without the fault: no whole table (%s)\n%s" % (clean.problem(), show(clean.stdout)))
        if os.path.exists(done):
            problems.append("without the fault: the library made one")
        env[fault] = os.path.join(work, target)
        ended = run(quorin, args, work, env=env)
        if not os.path.exists(done):
            problems.append("the fault was not made")
        if ended.problem():
            problems.append(ended.problem())
        elif ended.status != 1:
            problems.append("exit status %d, expected 1" % ended.status)
        if ended.stdout != want:
            problems.append("stdout differs\n--- expected\n%s\n--- got\n%s" % (show(want), show(ended.stdout)))
        if ended.stderr:
            problems.append("error stream not empty: %s" % show(ended.stderr))
    return problems


def check_pipe(quorin, option, data, set_data, list_data):
    """The file given on standard input through a pipe, fed in pieces."""
    with tempfile.TemporaryDirectory() as work:
        write(work, "sets.bed", set_data)
        write(work, "list.txt", list_data)
        args = ["-s", "sets.bed", "-i", "list.txt", option, "-"]
        p = subprocess.Popen([quorin] + args, cwd=work, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
        try:
            out, err = p.communicate(data, timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            p.kill()
            return ["no end within %d s" % TIMEOUT]
        problems = []
        if p.returncode != 0:
            problems.append("exit status %d, expected 0" % p.returncode)
        if not whole_table(out):
            problems.append("no whole table:\n%s" % show(out))
        if err:
            problems.append("error stream not empty: %s" % show(err))
        return problems


def main():
    quorin, library = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    gz_sets = compress.member(SETS)
    cases = [
        ("gene-set file cut while read", lambda: check_fault(
            quorin, library, "CUT_INPUT_FILE", "sets.bed", SETS, LIST, cut_message(b"sets.bed"))),
        ("gene-list file cut while read", lambda: check_fault(
            quorin, library, "CUT_INPUT_FILE", "list.txt", SETS, LIST, cut_message(b"list.txt"))),
        ("gzip gene-set file cut while read", lambda: check_fault(
            quorin, library, "CUT_INPUT_FILE", "sets.bed", gz_sets, LIST, cut_message(b"sets.bed"))),
        ("gene-set file read error", lambda: check_fault(
            quorin, library, "READ_ERROR_FILE", "sets.bed", SETS, LIST, b"Sorry, couldn't open file sets.bed\n")),
        ("gene-list file read error", lambda: check_fault(
            quorin, library, "READ_ERROR_FILE", "list.txt", SETS, LIST, b"Sorry, couldn't open file list.txt\n")),
        ("gene-set file from a pipe", lambda: check_pipe(quorin, "-s", SETS, b"", LIST)),
        ("gzip gene-list file from a pipe", lambda: check_pipe(quorin, "-i", compress.member(LIST), SETS, b"")),
        ("BGZF gene-set file from a pipe", lambda: check_pipe(quorin, "-s", compress.bgzf(SETS, 4096), b"", LIST)),
    ]
    failed = 0
    for name, check in cases:
        problems = check()
        if problems:
            failed += 1
            print("FAIL %s: %s" % (name, "\n  ".join(problems)))
        else:
            print("ok   %s" % name)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
