#!/usr/bin/env python3
"""cmake --install puts the binary, the manual page and the licence under the
prefix, and the installed binary runs.

Usage: install_prefix.py CMAKE BUILD_DIR SOURCE_DIR VERSION
"""
import filecmp
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
for e in errors:
    print("FAIL: " + e)
sys.exit(1 if errors else 0)
