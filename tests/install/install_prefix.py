#!/usr/bin/env python3
"""cmake --install puts the binary, the manual page and the licence under the
prefix, and the installed binary runs; where the build has the Python package,
it is installed too and Debian's python3 imports it from there.

Usage: install_prefix.py CMAKE BUILD_DIR SOURCE_DIR VERSION
"""
import filecmp
import glob
import os
import subprocess
import sys
import tempfile

from probe import probe

cmake, build, source, version = sys.argv[1:5]
errors = []
with tempfile.TemporaryDirectory() as prefix:
    run = subprocess.run([cmake, "--install", build, "--prefix", prefix], capture_output=True, text=True)
    if run.returncode != 0:
        errors.append("cmake --install failed:\n" + run.stdout + run.stderr)
    installed = {
        "bin/quorin": None,
        "share/man/man1/quorin.1": os.path.join(source, "doc", "quorin.1"),
        "share/doc/quorin/LICENSE": os.path.join(source, "LICENSE"),
    }
    for rel, origin in installed.items():
        path = os.path.join(prefix, rel)
        if not os.path.isfile(path):
            errors.append("%s was not installed" % rel)
        elif origin and not filecmp.cmp(path, origin, shallow=False):
            errors.append("%s differs from %s" % (rel, origin))
    if os.path.isfile(os.path.join(prefix, "bin/quorin")):
        wrong = probe(os.path.join(prefix, "bin/quorin"), version)
        if wrong:
            errors.append(wrong)
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        with_python = "QUORIN_PYTHON:BOOL=ON" in f.read()
    if with_python:
        found = glob.glob(os.path.join(prefix, "lib", "python3*", "dist-packages", "quorin", "__init__.py"))
        if not found:
            errors.append("the Python package was not installed under lib/python3*/dist-packages")
        else:
            env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(found[0])))
            got = subprocess.run(["/usr/bin/python3", "-c", "import quorin; print(quorin.__version__)"],
                                 capture_output=True, text=True, env=env, cwd=prefix)
            if got.stdout != version + "\n":
                errors.append("the installed package printed %r, not the version: %s" % (got.stdout, got.stderr))
for e in errors:
    print("FAIL: " + e)
sys.exit(1 if errors else 0)
