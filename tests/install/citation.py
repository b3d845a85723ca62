#!/usr/bin/env python3
"""The citation file names the version that CMake's project() defines.

Usage: citation.py CITATION.cff VERSION
"""
import re
import sys

path, version = sys.argv[1], sys.argv[2]
with open(path) as f:
    text = f.read()
errors = []
found = re.findall(r"^version:\s*['\"]?([^'\"\s]+)['\"]?\s*$", text, re.M)
if found != [version]:
    errors.append("%s gives version %s, CMakeLists.txt gives %s" % (path, found or "none", version))
for key in ["cff-version: 1.2.0", "title: quorin", "license: MIT", "authors:", "message:"]:
    if not re.search(r"^" + re.escape(key), text, re.M):
        errors.append("%s lacks '%s'" % (path, key))
for e in errors:
    print("FAIL: " + e)
sys.exit(1 if errors else 0)
