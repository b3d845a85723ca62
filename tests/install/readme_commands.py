#!/usr/bin/env python3
"""The README's quick start holds exactly two set-up commands: one that builds,
installs what users import and runs quorin without the tests, and one that builds and passes the tests,
which CI runs word for word.

Usage: readme_commands.py README.md CI_SCRIPT
"""
import re
import sys

readme, ci = sys.argv[1], sys.argv[2]
with open(readme) as f:
    text = f.read()
with open(ci) as f:
    ci_lines = [line.strip() for line in f]
quick = re.search(r"^## Quick start\n(.*?)^## ", text, re.M | re.S)
commands = re.findall(r"^    (\S.*)$", quick.group(1), re.M) if quick else []
commands = [c for c in commands if c.startswith("scripts/setup.sh")]
errors = []
if len(commands) != 2:
    errors.append("the quick start should hold two set-up commands, found %s" % commands)
else:
    run, test = commands
    if "--tests" in run or "QUORIN_TESTS=ON" in run or "ctest" in run or "./build/quorin " not in run:
        errors.append("the first command should build and run quorin without the tests: " + run)
    if "cmake --install build" not in run:
        errors.append("the first command should install the command and the Python package: " + run)
    if not ("--tests" in test and "-DQUORIN_TESTS=ON" in test and "--no-tests=error" in test):
        errors.append("the second command should require and run the tests: " + test)
    if not any(line == test or line.startswith(test + " ||") for line in ci_lines):
        errors.append("%s does not run the README's test command: %s" % (ci, test))
for e in errors:
    print("FAIL: " + e)
sys.exit(1 if errors else 0)
