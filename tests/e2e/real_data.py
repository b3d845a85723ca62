#!/usr/bin/env python3
"""Runs quorin on the published pathway-footprint collection and knock-out gene
list kept beside the project, and checks the table against the values the data's
own description gives (an independent double-precision calculation, about three
significant digits)."""
import os
import subprocess
import sys

quorin, data = sys.argv[1], sys.argv[2]
sets, genes = os.path.join(data, "real_gene_sets.bed"), os.path.join(data, "real_gene_list.txt")
if not (os.path.exists(sets) and os.path.exists(genes)):
    print("SKIP: no real data at " + data)
    sys.exit(77)


def table(*extra):
    run = subprocess.run([quorin, "-s", sets, "-i", genes, "-g", "-1000"] + list(extra),
                         capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stdout + run.stderr
    lines = run.stdout.splitlines()
    assert lines[0] == "Gene-set\tPP\tCor_dir\tTau\tEstimate\tP-value\tFDR", lines[0]
    return [line.split("\t") for line in lines[1:]]


def close(got, want, rel):
    return abs(float(got) - want) <= rel * abs(want)


errors = []
rows = table("-t", "2")
if len(rows) != 14:
    errors.append("expected 14 pathways, got %d" % len(rows))
expected = [("PROGENy_MAPK", "+", 0.4205, 5.370, 7.9e-08), ("PROGENy_EGFR", "+", 0.2800, 3.209, 0.00133),
            ("PROGENy_WNT", "-", -0.2802, -2.267, 0.0234), ("PROGENy_Hypoxia", "-", -0.1706, -2.135, 0.0328)]
for row, (name, sign, tau, est, p) in zip(rows, expected):
    if row[0] != name or row[2] != sign or not (close(row[3], tau, 2e-3) and close(row[4], est, 2e-3)
                                                 and close(row[5], p, 2e-2)):
        errors.append("expected %s %s tau %g est %g p %g, got %s" % (name, sign, tau, est, p, row))
for row in rows[4:]:
    if float(row[5]) <= 0.05:
        errors.append("expected p above 0.05 for %s, got %s" % (row[0], row[5]))

auto = {row[0]: row for row in table("-p", "-t", "4")}
if auto["PROGENy_MAPK"][1] != "0.8" or not close(auto["PROGENy_MAPK"][5], 2.4e-09, 5e-2):
    errors.append("with -p, MAPK should be taken at PP 0.8 with p about 2.4e-09: %s" % auto["PROGENy_MAPK"])
if auto["PROGENy_Hypoxia"][1] != "0.2" or not close(auto["PROGENy_Hypoxia"][5], 0.005, 5e-2):
    errors.append("with -p, Hypoxia should be taken at PP 0.2 with p about 0.005: %s" % auto["PROGENy_Hypoxia"])

for e in errors:
    print("FAIL: " + e)
sys.exit(1 if errors else 0)
