#!/usr/bin/env python3
"""Worker threads that cannot be started, and thread counts beyond the machine.

Loads a test library (LD_PRELOAD) that makes thread creation fail with EAGAIN
after a given number of threads, and can count the threads started.

- Failing at the first thread: no worker runs, so the run ends with status 1,
  no signal, and "Sorry, couldn't start a worker thread: " and the reason as
  the only line on standard output; no result file.
- Failing at the third thread: the two workers that run test every set, so
  the run completes with the same table as a run with one thread, status 0.
- -t 100000 with more sets than the cap: at most four workers per processor
  start (counted by the library), and the table is that of one thread. The
  negative control: with -t 3 the library counts exactly 3, so the count is
  real and the cap check cannot pass by counting nothing.

Usage: thread_start.py QUORIN PRELOAD_LIBRARY
"""
import errno
import os
import sys
import tempfile

from quorin_run import run, show, write

MESSAGE = b"Sorry, couldn't start a worker thread: " + os.strerror(errno.EAGAIN).encode() + b"\n"


def preload_env(library, after, count_file=None):
    env = dict(os.environ, LD_PRELOAD=library, FAIL_PTHREAD_CREATE_AFTER=str(after))
    # A sanitizer runtime wants to be loaded first; here it need not be.
    env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"
    if count_file:
        env["COUNT_PTHREAD_CREATE"] = count_file
    return env


def read_count(path):
    if not os.path.exists(path):
        return 0
    with open(path) as f:
        return int(f.read().split()[0])


def main():
    quorin, library = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    failed = 0

    def report(label, problems, ended):
        nonlocal failed
        if problems:
            failed += 1
            print("FAIL %s: %s\n--- stdout\n%s\n--- stderr\n%s" % (
                label, "; ".join(problems), show(ended.stdout), show(ended.stderr, 4000)))
        else:
            print("ok   %s" % label)

    with tempfile.TemporaryDirectory() as work:
        write(work, "set.bed", b"".join(b"c\t1\t2\tS%03d; x|g%d\t%d\t+\n" % (s, g, 20 + g)
                                        for s in range(200) for g in range(3)))
        write(work, "list.txt", b"g0\t1\ng1\t2\ng2\t3\n")
        base = ["-s", "set.bed", "-i", "list.txt"]
        single = run(quorin, base, work)
        if single.problem() or single.status != 0:
            print("FAIL the run on one thread did not complete: %s" % show(single.stderr))
            return 1

        # No thread at all: the failure stays.
        ended = run(quorin, base + ["-t", "8"], work, env=preload_env(library, 0))
        problems = []
        if ended.problem():
            problems.append(ended.problem())
        elif ended.status != 1:
            problems.append("exit status %d, expected 1" % ended.status)
        if ended.stdout != MESSAGE:
            problems.append("stdout is not the message alone")
        if ended.stderr:
            problems.append("error stream not empty")
        report("thread creation failing at the first thread", problems, ended)

        # Two threads run: they do all the work.
        out = os.path.join(work, "out.txt")
        ended = run(quorin, base + ["-t", "8", "-o", "out.txt"], work, env=preload_env(library, 2))
        problems = []
        if ended.problem():
            problems.append(ended.problem())
        elif ended.status != 0:
            problems.append("exit status %d, expected 0" % ended.status)
        if ended.stderr:
            problems.append("error stream not empty")
        if not os.path.exists(out):
            problems.append("no result file")
        else:
            with open(out, "rb") as f:
                if f.read() != single.stdout:
                    problems.append("the result file differs from the table of one thread")
            os.remove(out)
        if ended.stdout.count(b"\n") != 201:
            problems.append("not a header and 200 progress lines")
        report("thread creation failing at the third thread", problems, ended)

        # The cap: more sets than four workers per processor, a huge -t.
        cap = 4 * (os.cpu_count() or 1)
        sets = cap + 50
        write(work, "many.bed", b"".join(b"c\t1\t2\tM%05d; x|g%d\t%d\t+\n" % (s, g, 20 + g)
                                         for s in range(sets) for g in range(3)))
        many = ["-s", "many.bed", "-i", "list.txt"]
        one = run(quorin, many, work)
        for threads, expected in (("3", 3), ("100000", None)):
            count_file = os.path.join(work, "count_%s" % threads)
            ended = run(quorin, many + ["-t", threads], work, env=preload_env(library, 10 ** 9, count_file))
            started = read_count(count_file)
            problems = []
            if ended.problem():
                problems.append(ended.problem())
            elif ended.status != 0:
                problems.append("exit status %d, expected 0" % ended.status)
            if ended.stdout != one.stdout:
                problems.append("the table differs from the table of one thread")
            if expected is not None and started != expected:
                problems.append("%d threads counted, expected %d" % (started, expected))
            if expected is None and not 1 <= started <= cap:
                problems.append("%d threads started for %d sets, the cap is %d" % (started, sets, cap))
            report("-t %s on %d sets: %d threads started" % (threads, sets, started), problems, ended)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
