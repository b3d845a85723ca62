#!/usr/bin/env python3
"""Runs the built quorin on one case folder and compares everything it wrote.

A case folder holds:
  args        the command-line words, one per line (none when empty)
  in/         files copied into a fresh working folder, where quorin runs
  examples    names of files of examples/ copied there too, one per line
  make_input.py  optional: run in the working folder first, to generate big inputs
                 or compressed copies of the examples
  stdin       bytes given on standard input (absent: none, standard input is empty)
  stdout      the whole expected standard output (absent: must be empty)
  stderr      the whole expected error stream (absent: not checked)
  status      the expected exit status (absent: 0)
  files/      files that must exist afterwards with exactly these bytes
  absent      names of files that must not exist afterwards, one per line
"""
import os
import shutil
import subprocess
import sys
import tempfile


EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples")


def read(path, default=None):
    if not os.path.exists(path):
        return default
    with open(path, "rb") as f:
        return f.read()


def show(data):
    text = data.decode("utf-8", "backslashreplace")
    return text if len(text) < 4000 else text[:4000] + "\n[... cut]"


def main():
    quorin, case = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    args_text = read(os.path.join(case, "args"), b"")
    args = [os.fsdecode(a) for a in args_text.split(b"\n")[:-1]] if args_text else []
    errors = []
    with tempfile.TemporaryDirectory() as work:
        if os.path.isdir(os.path.join(case, "in")):
            shutil.copytree(os.path.join(case, "in"), work, dirs_exist_ok=True)
        listed = read(os.path.join(case, "examples"), b"").decode().split()
        for name in listed:
            shutil.copy(os.path.join(EXAMPLES, name), work)
        maker = os.path.join(case, "make_input.py")
        if os.path.exists(maker):
            subprocess.run([sys.executable, maker], cwd=work, check=True)
        stdin_path = os.path.join(case, "stdin")
        try:
            with open(stdin_path if os.path.exists(stdin_path) else os.devnull, "rb") as stdin:
                run = subprocess.run([quorin] + args, cwd=work, capture_output=True, timeout=120, stdin=stdin)
        except subprocess.TimeoutExpired:
            print("FAIL: quorin did not end within 120 s")
            return 1
        status = int(read(os.path.join(case, "status"), b"0").strip() or 0)
        if run.returncode < 0:
            errors.append("quorin ended by signal %d" % -run.returncode)
        elif run.returncode != status:
            errors.append("exit status %d, expected %d" % (run.returncode, status))
        want_out = read(os.path.join(case, "stdout"), b"")
        if run.stdout != want_out:
            errors.append("stdout differs\n--- expected\n%s--- got\n%s" % (show(want_out), show(run.stdout)))
        want_err = read(os.path.join(case, "stderr"))
        if want_err is not None and run.stderr != want_err:
            errors.append("stderr differs\n--- expected\n%s--- got\n%s" % (show(want_err), show(run.stderr)))
        files = os.path.join(case, "files")
        for root, _, names in os.walk(files):
            for name in names:
                rel = os.path.relpath(os.path.join(root, name), files)
                got = read(os.path.join(work, rel))
                want = read(os.path.join(files, rel))
                if got is None:
                    errors.append("file %s was not written" % rel)
                elif got != want:
                    errors.append("file %s differs\n--- expected\n%s--- got\n%s" % (rel, show(want), show(got)))
        for name in read(os.path.join(case, "absent"), b"").decode().split():
            if os.path.exists(os.path.join(work, name)):
                errors.append("file %s should not exist" % name)
    for e in errors:
        print("FAIL: " + e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
