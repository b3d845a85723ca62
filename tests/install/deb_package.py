#!/usr/bin/env python3
"""cpack -G DEB builds a package that unpacks into a scratch root (as dpkg -x
does) with a binary that runs and the manual page beside it.

Usage: deb_package.py CPACK BUILD_DIR SOURCE_DIR VERSION
Exits 77 (skipped) where the Debian package tools are missing.
"""
import filecmp
import glob
import os
import shutil
import subprocess
import sys
import tempfile

from probe import probe

cpack, build, source, version = sys.argv[1:5]
if not (shutil.which("dpkg-deb") and shutil.which("dpkg")):
    print("SKIP: no dpkg-deb")
    sys.exit(77)

errors = []
with tempfile.TemporaryDirectory() as work:
    out, root = os.path.join(work, "out"), os.path.join(work, "root")
    run = subprocess.run([cpack, "-G", "DEB", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", out],
                         capture_output=True, text=True, timeout=240)
    debs = glob.glob(os.path.join(out, "*.deb"))
    if run.returncode != 0 or len(debs) != 1:
        print("FAIL: cpack -G DEB made %s:\n%s%s" % (debs, run.stdout, run.stderr))
        sys.exit(1)
    deb = debs[0]
    arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True).stdout.strip()
    if os.path.basename(deb) != "quorin_%s_%s.deb" % (version, arch):
        errors.append("package file named %s" % os.path.basename(deb))
    fields = {}
    for name in ["Package", "Version", "Architecture", "Maintainer", "Depends", "Description"]:
        fields[name] = subprocess.run(["dpkg-deb", "-f", deb, name], capture_output=True, text=True).stdout.strip()
    want = {"Package": "quorin", "Version": version, "Architecture": arch}
    for name, value in want.items():
        if fields[name] != value:
            errors.append("control field %s is %r, expected %r" % (name, fields[name], value))
    for name in ["Maintainer", "Description"]:
        if not fields[name]:
            errors.append("control field %s is empty" % name)
    if "libc6" not in fields["Depends"] or "libstdc++6" not in fields["Depends"]:
        errors.append("Depends lacks the C and C++ runtime libraries: %r" % fields["Depends"])

    run = subprocess.run(["dpkg", "-x", deb, root], capture_output=True, text=True)
    if run.returncode != 0:
        errors.append("dpkg -x failed: " + run.stderr)
    quorin = os.path.join(root, "usr", "bin", "quorin")
    man = os.path.join(root, "usr", "share", "man", "man1", "quorin.1")
    if not os.path.isfile(quorin):
        errors.append("the package holds no usr/bin/quorin")
    else:
        wrong = probe(quorin, version)
        if wrong:
            errors.append(wrong)
    if not os.path.isfile(man) or not filecmp.cmp(man, os.path.join(source, "doc", "quorin.1"), shallow=False):
        errors.append("the package's usr/share/man/man1/quorin.1 is missing or differs from doc/quorin.1")
    if not os.path.isfile(os.path.join(root, "usr", "share", "doc", "quorin", "LICENSE")):
        errors.append("the package holds no usr/share/doc/quorin/LICENSE")
for e in errors:
    print("FAIL: " + e)
sys.exit(1 if errors else 0)
