#!/usr/bin/env python3
"""A worker thread that cannot be started ends the run with one message.

Loads a test library (LD_PRELOAD) that makes thread creation fail with EAGAIN,
either at the first thread or after two threads are already running. The run
must end with status 1, no signal, and "Sorry, couldn't start a worker
thread: " and the reason as the last line on standard output; no result file.

Usage: thread_start.py QUORIN PRELOAD_LIBRARY
"""
import errno
import os
import sys
import tempfile

from quorin_run import run, show, write

MESSAGE = b"Sorry, couldn't start a worker thread: " + os.strerror(errno.EAGAIN).encode() + b"\n"
PROGRESS_HEAD = b"Gene-set\tPP\tCor_dir\tTau\tEstimate\tP-value\n"


def main():
    quorin, library = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    failed = 0
    with tempfile.TemporaryDirectory() as work:
        write(work, "set.bed", b"".join(b"c\t1\t2\tS%03d; x|g%d\t%d\t+\n" % (s, g, 20 + g)
                                        for s in range(200) for g in range(3)))
        write(work, "list.txt", b"g0\t1\ng1\t2\ng2\t3\n")
        # Failing at once: no worker ran, one line. Failing at the third thread:
        # two workers print progress lines while the run ends.
        for after, args in ((0, []), (2, ["-o", "out.txt"])):
            env = dict(os.environ, LD_PRELOAD=library, FAIL_PTHREAD_CREATE_AFTER=str(after))
            # A sanitizer runtime wants to be loaded first; here it need not be.
            env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"
            ended = run(quorin, ["-s", "set.bed", "-i", "list.txt", "-t", "8"] + args, work, env=env)
            problems = []
            if ended.problem():
                problems.append(ended.problem())
            elif ended.status != 1:
                problems.append("exit status %d, expected 1" % ended.status)
            out = ended.stdout
            if after == 0:
                if out != MESSAGE:
                    problems.append("stdout is not the message alone")
            elif not (out.startswith(PROGRESS_HEAD) and out.endswith(b"\n" + MESSAGE)
                      and out.count(MESSAGE) == 1):
                problems.append("the message is not the last line")
            if ended.stderr:
                problems.append("error stream not empty")
            if os.path.exists(os.path.join(work, "out.txt")):
                problems.append("a result file was written")
            if problems:
                failed += 1
                print("FAIL after %d threads: %s\n--- stdout\n%s\n--- stderr\n%s" % (
                    after, "; ".join(problems), show(out), show(ended.stderr, 4000)))
            else:
                print("ok   thread creation failing after %d threads" % after)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
