#!/usr/bin/env python3
"""cpack -G DEB builds a package that unpacks into a scratch root (as dpkg -x
does) with a binary that runs and the manual page beside it, and whose
Depends names the package of every shared library the binary needs.

Usage: deb_package.py CPACK BUILD_DIR SOURCE_DIR VERSION
Exits 77 (skipped) where the Debian package tools are missing.
"""
import filecmp
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

from probe import probe

cpack, build, source, version = sys.argv[1:5]
if not all(shutil.which(tool) for tool in ["dpkg-deb", "dpkg", "readelf", "ldd"]):
    print("SKIP: no dpkg-deb, dpkg, readelf or ldd")
    sys.exit(77)


def library_packages(binary):
    """The shared libraries the binary names (NEEDED), each with the Debian package that holds it."""
    dynamic = subprocess.run(["readelf", "-d", binary], capture_output=True, text=True).stdout
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^]]+)\]", dynamic)
    paths = dict(re.findall(r"^\s*(\S+) => (/\S+)", subprocess.run(["ldd", binary], capture_output=True,
                                                                 text=True).stdout, re.M))
    found = {}
    for library in needed:
        found[library] = None
        path = paths.get(library, "")
        # With /lib merged into /usr/lib, dpkg may know the file under either name.
        for name in [path, path[4:] if path.startswith("/usr/") else "/usr" + path]:
            owner = subprocess.run(["dpkg", "-S", name], capture_output=True, text=True)
            if path and owner.returncode == 0:
                found[library] = owner.stdout.split(":")[0]
                break
    if not needed:
        found["(none)"] = None  # a binary that names no library at all was not read
    return found


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
    depends = {re.match(r"[^ (|]+", d.strip()).group(0) for d in fields["Depends"].split(",") if d.strip()}

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
        for library, package in library_packages(quorin).items():
            if package is None:
                errors.append("no Debian package holds %s, which quorin needs" % library)
            elif package not in depends:
                errors.append("quorin needs %s from %s, which Depends (%r) lacks"
                              % (library, package, fields["Depends"]))
    if not os.path.isfile(man) or not filecmp.cmp(man, os.path.join(source, "doc", "quorin.1"), shallow=False):
        errors.append("the package's usr/share/man/man1/quorin.1 is missing or differs from doc/quorin.1")
    if not os.path.isfile(os.path.join(root, "usr", "share", "doc", "quorin", "LICENSE")):
        errors.append("the package holds no usr/share/doc/quorin/LICENSE")
for e in errors:
    print("FAIL: " + e)
sys.exit(1 if errors else 0)
