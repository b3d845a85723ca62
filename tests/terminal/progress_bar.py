#!/usr/bin/env python3
"""The progress bar as a user sees it in a terminal: quorin runs in a tmux
pane of fixed size, the pane is captured while it runs and after it ends.

- While it runs, the pane shows a bar line: tasks done of total, a rate and
  the time left.
- After the end, the bar is erased: the pane holds the prompt, the command
  and what the shell printed after it, nothing more.
- Interrupted (Ctrl-C) while the bar shows, the run erases it as it ends.
- --lists shows the bar without --progress, counting (ranking, set) tasks.
- Without --progress, or with standard error redirected to a file, no bar
  byte is written, and the table on standard output is the same.

usage: progress_bar.py QUORIN
Exit status 77 (skipped) when tmux is not installed.
"""
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

SETS = 1000
BAR = re.compile(r"(\d+)/(\d+) tasks  (\d+\.\d)/s  (\d+:\d\d) left")
DONE = "RUN-ENDED"


def make_inputs(d):
    rnd = random.Random(5)
    genes = ["G%05d" % i for i in range(20000)]
    scores = [rnd.gauss(0, 1) for g in genes]
    with open(os.path.join(d, "list.txt"), "w") as f:
        for g, x in zip(genes, scores):
            f.write("%s\t%.4f\n" % (g, x))
    # Two rankings: the list and the list negated.
    with open(os.path.join(d, "lists.tsv"), "w") as f:
        f.write("gene\tup\tdown\n")
        for g, x in zip(genes, scores):
            f.write("%s\t%.4f\t%.4f\n" % (g, x, -x))
    with open(os.path.join(d, "sets.bed"), "w") as f:
        for s in range(SETS):
            for g in rnd.sample(genes, 200):
                f.write("chr1\t1\t2\tS%04d; src|%s|x\t%.3f\t.\n" % (s, g, rnd.uniform(20, 90)))


class Pane:
    def __init__(self, d):
        self.socket = os.path.join(d, "tmux.sock")
        self.tmux("-f", "/dev/null", "new-session", "-d", "-x", "120", "-y", "30", "-c", d,
                  "env", "PS1=$ ", "HOME=" + d, "sh")

    def tmux(self, *args):
        return subprocess.run(["tmux", "-S", self.socket] + list(args), check=True,
                              stdout=subprocess.PIPE, universal_newlines=True).stdout

    def send(self, line):
        self.tmux("send-keys", "-l", line)
        self.tmux("send-keys", "Enter")

    def lines(self):
        return [l.rstrip() for l in self.tmux("capture-pane", "-p").split("\n")]

    def clear(self):
        # A line of output first, so that a pane that is clean already is not
        # taken for cleared before the clear has run: a command typed then
        # would be echoed, and wiped by the clear.
        self.send("echo CLEAR-''ME")
        self.wait_for(lambda ls: any(l.endswith("CLEAR-ME") for l in ls), "the line before the clear")
        self.send("clear")
        self.wait_for(lambda ls: ls[0] == "$" and all(not l for l in ls[1:]), "a cleared pane")

    def wait_for(self, ok, what, limit=120):
        end = time.time() + limit
        while time.time() < end:
            ls = self.lines()
            if ok(ls):
                return ls
            time.sleep(0.02)
        raise AssertionError("no %s in the pane after %d s:\n%s" % (what, limit, "\n".join(self.lines())))

    def close(self):
        subprocess.run(["tmux", "-S", self.socket, "kill-server"], stderr=subprocess.DEVNULL)


def run(pane, command):
    """Runs command, returns the bar lines seen while it ran and the pane after."""
    pane.clear()
    # Quoted in two, so that only the shell's output ends with the marker.
    pane.send(command + "; echo RUN-''" + DONE[4:])
    seen = []
    end = time.time() + 600
    while time.time() < end:
        ls = pane.lines()
        seen += [l for l in ls if BAR.search(l)]
        if any(l.endswith(DONE) for l in ls):
            return seen, ls
        time.sleep(0.02)
    raise AssertionError("the run did not end:\n" + "\n".join(pane.lines()))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    quorin = os.path.abspath(sys.argv[1])
    if not shutil.which("tmux"):
        print("tmux not installed: skipped")
        sys.exit(77)
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)

    with tempfile.TemporaryDirectory() as d:
        make_inputs(d)
        pane = Pane(d)
        try:
            # A short command line, so that the pane does not wrap it.
            os.symlink(quorin, os.path.join(d, "q"))
            # Long enough for several drawings: a few seconds. Two workers
            # count and draw.
            base = "./q -s sets.bed -i list.txt -p -t 2 --permutations 100 --exceed 10000000"

            bars, after = run(pane, base + " --progress > shown.txt")
            check(bars, "no bar line seen while the run went on")
            for line in bars:
                done, total, rate, left = BAR.search(line).groups()
                check(total == str(SETS) and 0 < int(done) <= SETS,
                      "tasks done of total wrong: " + line)
                check(float(rate) > 0, "no rate: " + line)
                check(line.startswith("[") and "#" in line or int(done) < SETS / 30,
                      "no bar drawn before the numbers: " + line)
                check(len(line) < 120, "the bar line is as wide as the pane: " + line)
            counts = sorted(set(int(BAR.search(l).group(1)) for l in bars))
            # Erased: the command, then the shell's own line, then the prompt.
            rest = [l for l in after if l]
            check(rest[1:] == [DONE, "$"], "the pane after the run is not clean:\n" + "\n".join(after))

            bars, after = run(pane, "./q -s sets.bed --lists lists.tsv -t 2 --permutations 50 --exceed 10000000 > lists.txt")
            check(bars and all(BAR.search(l).group(2) == str(2 * SETS) for l in bars),
                  "no bar of %d tasks with --lists: %s" % (2 * SETS, bars))
            check([l for l in after if l][1:] == [DONE, "$"], "the pane after --lists is not clean:\n" + "\n".join(after))

            pane.clear()
            pane.send(base + " --permutations 1000 --progress > stopped.txt")
            pane.wait_for(lambda ls: any(BAR.search(l) for l in ls), "bar before Ctrl-C")
            pane.tmux("send-keys", "C-c")
            after = pane.wait_for(lambda ls: [l for l in ls if l][-1] == "$", "prompt after Ctrl-C")
            check(not any(BAR.search(l) or "[#" in l for l in after),
                  "the bar stayed after Ctrl-C:\n" + "\n".join(after))

            # Negative controls: stderr to a file, and no --progress at all.
            bars, after = run(pane, base + " --progress > quiet.txt 2> err.txt")
            check(not bars, "a bar shown with stderr redirected")
            with open(os.path.join(d, "err.txt"), "rb") as f:
                err = f.read()
            check(err == b"", "bytes on a redirected stderr: %r" % err[:200])
            bars, after = run(pane, base + " > plain.txt")
            check(not bars and [l for l in after if l][1:] == [DONE, "$"],
                  "a bar shown without --progress:\n" + "\n".join(after))

            tables = []
            for name in ("shown.txt", "quiet.txt", "plain.txt"):
                with open(os.path.join(d, name), "rb") as f:
                    tables.append(f.read())
            check(tables[0].count(b"\n") == SETS + 1, "the table has %d lines" % tables[0].count(b"\n"))
            check(tables[0] == tables[1] == tables[2], "the tables differ with and without the bar")
        finally:
            pane.close()

    for f in failures:
        print("FAIL:", f)
    if failures:
        sys.exit(1)
    print("ok: the bar shown (%d drawings seen), counted, erased; none without a terminal" % len(counts))


if __name__ == "__main__":
    main()
