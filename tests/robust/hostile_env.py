#!/usr/bin/env python3
"""No run ends by a signal, and no result file looks complete when it is not.

Runs quorin as a hostile environment would:

- standard output a pipe whose reader has gone (a pager quit early): with the
  table on standard output, with result and detail files, with a fatal
  message, after -h. Every run ends with status 1 and no signal; the result
  files are still complete. Control: a probe that keeps the default SIGPIPE
  dies of it on the same pipe.
- -h and --help into /dev/full: status 1 and the write error.
- a file-size limit below the table's size: status 1, "Sorry, couldn't
  write NAME", no file at the name (or the old one unchanged), no temporary
  left. Control: a probe that keeps the default SIGXFSZ dies of it.
- SIGINT, SIGTERM and SIGHUP while the table is complete in its temporary
  but not yet renamed (a preloaded library stops quorin just before it syncs
  the file): the temporary exists then and holds the whole table while the
  old file is untouched (so the check below is not vacuous); after the
  signal the run has ended by it, the temporary is gone and the old file is
  still there. A SIGINT that the parent ignores stays ignored.
- two runs writing the same -o, both held with their tables complete: the
  name ends up holding one whole table.
- names written in place: /dev/stdout, a FIFO, /dev/null; a link keeps
  being a link to the file that gets the table; an existing file keeps its
  mode.
- memory limits (skipped in sanitizer builds, which reserve terabytes):
  /dev/zero as input ends with "Sorry, out of memory"; 40 MB of empty lines
  (32 bytes reserved per line would be 1.3 GB) and a 64 MB wrong line (one
  copy would pass the limit) run within a limit a little above the file; a
  --lists matrix of 9 million empty fields within 130 MB (9 bytes a field).

Usage: hostile_env.py QUORIN STOP_LIBRARY
"""
import os
import resource
import signal
import stat
import subprocess
import sys
import tempfile
import threading

from quorin_run import run, show, write

WRITE_ERROR = b"Sorry, couldn't write standard output\n"
failed = 0


def check(label, problems):
    global failed
    if problems:
        failed += 1
        print("FAIL %s:\n  %s" % (label, "\n  ".join(problems)))
    else:
        print("ok   %s" % label)


def status_problems(ended, status):
    if ended.problem():
        return [ended.problem()]
    if ended.status != status:
        return ["exit status %d, expected %d" % (ended.status, status)]
    return []


def read(path):
    """The file's bytes, or None when there is no file."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def temporaries(folder):
    return sorted(n for n in os.listdir(folder) if n.startswith("."))


def run_closed_pipe(command, cwd, env=None):
    """Runs with standard output on a pipe that nobody reads any more."""
    r, w = os.pipe()
    os.close(r)
    try:
        done = subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=w, stderr=subprocess.PIPE,
                              env=env, timeout=300)
    finally:
        os.close(w)
    return done


def closed_pipe(quorin, work, table, detail):
    base = [quorin, "-s", "set.bed", "-i", "list.txt"]
    probe = [sys.executable, "-c", "import signal, sys\nsignal.signal(signal.SIGPIPE, signal.SIG_DFL)\n"
             "sys.stdout.write('x\\n'); sys.stdout.flush()"]
    done = run_closed_pipe(probe, work)
    check("control: a probe with the default SIGPIPE dies of it",
          [] if done.returncode == -signal.SIGPIPE else ["probe ended with %d" % done.returncode])
    cases = [
        ("table on standard output", [], WRITE_ERROR),
        ("-o and -d, progress on standard output", ["-o", "out.txt", "-d", "detail.txt"], WRITE_ERROR),
        ("a fatal message", ["-s", "wrong.bed"],
         b"wrong.bed, line 1: 1 field, six tab-separated fields expected (the fourth SET; x|GENE, the fifth the score)\n"),
        ("-h", ["-h"], WRITE_ERROR),
    ]
    for label, args, err in cases:
        done = run_closed_pipe(base + args, work)
        problems = []
        if done.returncode != 1:
            problems.append("ended with %d, expected status 1" % done.returncode)
        if done.stderr != err:
            problems.append("error stream: %s" % show(done.stderr))
        if "-o" in args:
            if read(os.path.join(work, "out.txt")) != table:
                problems.append("result file differs")
            if read(os.path.join(work, "detail.txt")) != detail:
                problems.append("detail file differs")
            for name in ("out.txt", "detail.txt"):
                if os.path.exists(os.path.join(work, name)):
                    os.remove(os.path.join(work, name))
        check("closed pipe, %s" % label, problems)


def full_device(quorin, work):
    for args in (["-h"], ["--help"]):
        with open("/dev/full", "wb") as full:
            ended = run(quorin, args, work, stdout=full)
        problems = status_problems(ended, 1)
        if ended.stderr != WRITE_ERROR:
            problems.append("error stream: %s" % show(ended.stderr))
        check("%s into /dev/full" % args[0], problems)
    ended = run(quorin, ["-h"], work)
    check("control: -h into a pipe", status_problems(ended, 0) + ([] if ended.stdout.startswith(b"quorin -s")
                                                                  else ["no usage line"]))


def size_limit(quorin, work, table):
    limit = 64 * 1024
    if len(table) <= 2 * limit:
        check("file-size limit", ["the table (%d bytes) is too small for the test" % len(table)])
        return

    def limited():
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

    probe = [sys.executable, "-c", "import signal\nsignal.signal(signal.SIGXFSZ, signal.SIG_DFL)\n"
             "open('probe.txt', 'wb').write(b'x' * %d)" % (2 * limit)]
    done = subprocess.run(probe, cwd=work, preexec_fn=limited)
    check("control: a probe with the default SIGXFSZ dies of it",
          [] if done.returncode == -signal.SIGXFSZ else ["probe ended with %d" % done.returncode])
    os.remove(os.path.join(work, "probe.txt"))
    write(work, "old.txt", b"old\n")
    for name, before in (("new.txt", None), ("old.txt", b"old\n")):
        done = subprocess.run([quorin, "-s", "set.bed", "-i", "list.txt", "-o", name], cwd=work,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, preexec_fn=limited, timeout=300)
        problems = []
        if done.returncode != 1:
            problems.append("ended with %d, expected status 1" % done.returncode)
        if done.stderr != b"Sorry, couldn't write %s\n" % name.encode():
            problems.append("error stream: %s" % show(done.stderr))
        path = os.path.join(work, name)
        if before is None and os.path.exists(path):
            problems.append("a file was left at the name")
        if before is not None and read(path) != before:
            problems.append("the old file was changed")
        if temporaries(work):
            problems.append("temporaries left: %s" % temporaries(work))
        check("file-size limit, -o %s" % name, problems)
    os.remove(os.path.join(work, "old.txt"))


def start_stopped(quorin, args, work, library, preexec=None):
    env = dict(os.environ, LD_PRELOAD=library)
    env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"
    p = subprocess.Popen([quorin] + args, cwd=work, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, env=env, preexec_fn=preexec)
    _, status = os.waitpid(p.pid, os.WUNTRACED)
    return p, status


def finish(p, status):
    """Continues a run that start_stopped left stopped; returns its wait status."""
    if not os.WIFSTOPPED(status):
        return status  # it has ended already
    os.kill(p.pid, signal.SIGCONT)
    _, status = os.waitpid(p.pid, 0)
    p.returncode = 0  # reaped here; keeps Popen from waiting again
    return status


def interrupts(quorin, work, library, table):
    args = ["-s", "set.bed", "-i", "list.txt", "-o", "out.txt"]
    out = os.path.join(work, "out.txt")
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        write(work, "out.txt", b"old\n")
        os.chmod(out, 0o640)
        p, status = start_stopped(quorin, args, work, library)
        problems = []
        if not os.WIFSTOPPED(status):
            problems.append("quorin did not stop before the sync")
            check("signal %d" % sig, problems)
            continue
        temps = temporaries(work)
        if len(temps) != 1 or read(os.path.join(work, temps[0])) != table:
            problems.append("no temporary holding the whole table mid-write: %s" % temps)
        if read(out) != b"old\n":
            problems.append("the old file changed before the rename")
        os.kill(p.pid, sig)
        status = finish(p, status)
        if not (os.WIFSIGNALED(status) and os.WTERMSIG(status) == sig):
            problems.append("did not end by the signal (wait status %d)" % status)
        if temporaries(work):
            problems.append("temporaries left: %s" % temporaries(work))
        if read(out) != b"old\n":
            problems.append("the old file changed")
        check("%s while the table is in its temporary" % signal.Signals(sig).name, problems)

    # An interrupt the parent ignores (nohup, a background job) stays ignored.
    p, status = start_stopped(quorin, args, work, library,
                              preexec=lambda: signal.signal(signal.SIGINT, signal.SIG_IGN))
    if os.WIFSTOPPED(status):
        os.kill(p.pid, signal.SIGINT)
    status = finish(p, status)
    problems = []
    if not (os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0):
        problems.append("wait status %d, expected exit status 0" % status)
    if read(out) != table:
        problems.append("the table was not written")
    if os.path.exists(out) and stat.S_IMODE(os.stat(out).st_mode) != 0o640:
        problems.append("mode %o, expected 640 as before" % stat.S_IMODE(os.stat(out).st_mode))
    if temporaries(work):
        problems.append("temporaries left: %s" % temporaries(work))
    check("an ignored SIGINT stays ignored; the file keeps its mode", problems)
    if os.path.exists(out):
        os.remove(out)

    # Two runs, both held with a complete temporary, then both renamed.
    first, s1 = start_stopped(quorin, args, work, library)
    second, s2 = start_stopped(quorin, args, work, library)
    problems = []
    if not (os.WIFSTOPPED(s1) and os.WIFSTOPPED(s2)):
        problems.append("the runs did not stop")
    if len(temporaries(work)) != 2:
        problems.append("not two temporaries at once: %s" % temporaries(work))
    s1, s2 = finish(first, s1), finish(second, s2)
    if not all(os.WIFEXITED(s) and os.WEXITSTATUS(s) == 0 for s in (s1, s2)):
        problems.append("wait statuses %d, %d" % (s1, s2))
    if read(out) != table:
        problems.append("the file is not one whole table")
    if temporaries(work):
        problems.append("temporaries left: %s" % temporaries(work))
    check("two runs writing the same -o", problems)
    if os.path.exists(out):
        os.remove(out)


def in_place(quorin, work, table, progress):
    base = ["-s", "set.bed", "-i", "list.txt"]
    ended = run(quorin, base + ["-o", "/dev/stdout"], work)
    check("-o /dev/stdout on a pipe", status_problems(ended, 0) +
          ([] if ended.stdout == progress + table else ["stdout is not the progress lines and the table"]))
    ended = run(quorin, base + ["-o", "/dev/null", "-d", "/dev/null"], work)
    check("-o /dev/null -d /dev/null", status_problems(ended, 0))

    fifo = os.path.join(work, "fifo")
    os.mkfifo(fifo)
    got = []
    reader = threading.Thread(target=lambda: got.append(read(fifo)))
    reader.start()
    ended = run(quorin, base + ["-o", "fifo"], work)
    reader.join(60)
    problems = status_problems(ended, 0)
    if got != [table]:
        problems.append("the FIFO's reader did not get the table")
    if not stat.S_ISFIFO(os.lstat(fifo).st_mode):
        problems.append("the FIFO was replaced")
    if temporaries(work):
        problems.append("temporaries left: %s" % temporaries(work))
    check("-o FIFO", problems)
    os.remove(fifo)

    os.mkdir(os.path.join(work, "real"))
    write(work, "real/target.txt", b"old\n")
    os.symlink("real/target.txt", os.path.join(work, "link.txt"))
    ended = run(quorin, base + ["-o", "link.txt"], work)
    problems = status_problems(ended, 0)
    if not os.path.islink(os.path.join(work, "link.txt")):
        problems.append("the link was replaced by a file")
    if read(os.path.join(work, "real/target.txt")) != table:
        problems.append("the file the link names does not hold the table")
    if temporaries(work) or temporaries(os.path.join(work, "real")):
        problems.append("temporaries left")
    check("-o a link", problems)
    os.remove(os.path.join(work, "link.txt"))


def sanitized(quorin):
    data = read(quorin)
    return b"__asan_init" in data or b"__tsan_init" in data


def memory_limits(quorin, work):
    if sanitized(quorin):
        print("skip memory limits: a sanitizer build reserves more address space than any limit allows")
        return

    def limit_to(megabytes):
        def set_limit():
            resource.setrlimit(resource.RLIMIT_AS, (megabytes << 20, megabytes << 20))
        return set_limit

    def limited_run(args, megabytes):
        return subprocess.run([quorin] + args, cwd=work, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, preexec_fn=limit_to(megabytes), timeout=300)

    done = limited_run(["-s", "/dev/zero", "-i", "list.txt"], 200)
    check("/dev/zero as the gene-set file under a 200 MB limit",
          ([] if done.returncode == 1 else ["ended with %d, expected status 1" % done.returncode]) +
          ([] if done.stderr == b"Sorry, out of memory\n" else ["error stream: %s" % show(done.stderr)]))

    write(work, "empty.bed", b"\n" * (40 << 20))
    done = limited_run(["-s", "empty.bed", "-i", "list.txt"], 120)
    check("40 MB of empty lines under a 120 MB limit",
          ([] if done.returncode == 0 else ["ended with %d: %s" % (done.returncode, show(done.stderr))]) +
          ([] if done.stdout == b"Gene-set\tPP\tCor_dir\tTau\tEstimate\tP-value\tFDR\n" else ["stdout differs"]))
    os.remove(os.path.join(work, "empty.bed"))

    line = b"x" * (64 << 20)
    write(work, "huge.bed", line + b"\n")
    done = limited_run(["-s", "huge.bed", "-i", "list.txt"], 112)
    check("a 64 MB wrong line under a 112 MB limit",
          ([] if done.returncode == 1 else ["ended with %d: %s" % (done.returncode, show(done.stderr))]) +
          ([] if done.stdout == b"wrong line: " + line + b"\n" else ["stdout is not the whole line"]))
    os.remove(os.path.join(work, "huge.bed"))

    # The matrix is made once at its size, 9 bytes a field: 81 MB here, which
    # grown row by row and turned round took twice that.
    size = 3000
    write(work, "empty.tsv", ("gene\t" + "\t".join("R%d" % k for k in range(size)) + "\n").encode() +
          b"".join(b"g%d" % k + b"\t" * size + b"\n" for k in range(size)))
    done = limited_run(["-s", "set.bed", "--lists", "empty.tsv"], 130)
    check("a matrix of 3000 x 3000 empty fields under a 130 MB limit",
          ([] if done.returncode == 0 else ["ended with %d: %s" % (done.returncode, show(done.stderr))]) +
          ([] if done.stdout == b"List\tGene-set\tPP\tCor_dir\tTau\tEstimate\tP-value\tFDR\n" else ["stdout differs"]))
    os.remove(os.path.join(work, "empty.tsv"))


def main():
    quorin, library = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    with tempfile.TemporaryDirectory() as work:
        # 3000 sets: a table of about 140 kB, beyond the file-size limit.
        write(work, "set.bed", b"".join(b"c\t1\t2\tS%05d; x|g%d\t%d\t+\n" % (s, (g * 7 + s) % 50, 20 + (s * g) % 17)
                                        for s in range(3000) for g in range(5)))
        write(work, "list.txt", b"".join(b"g%d\t%d\n" % (g, (g * 13) % 50) for g in range(50)))
        write(work, "wrong.bed", b"no tabs here\n")
        reference = run(quorin, ["-s", "set.bed", "-i", "list.txt", "-o", "table.txt", "-d", "detail.txt"], work)
        if reference.problem() or reference.status != 0:
            print("FAIL the reference run: %s" % show(reference.stderr))
            return 1
        table, detail = read(os.path.join(work, "table.txt")), read(os.path.join(work, "detail.txt"))
        progress = reference.stdout
        for name in ("table.txt", "detail.txt"):
            os.remove(os.path.join(work, name))
        closed_pipe(quorin, work, table, detail)
        full_device(quorin, work)
        size_limit(quorin, work, table)
        interrupts(quorin, work, library, table)
        in_place(quorin, work, table, progress)
        memory_limits(quorin, work)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
