#!/usr/bin/env python3
"""The workflow's checks of its configuration:

- every form in which getopt_long takes an option the workflow sets itself
  (abbreviated, "=value", a value attached to a short option, bundled) is
  refused, with the option named; options the workflow leaves alone pass;
- counts that are not whole numbers from 1 on are refused with a message;
- the option table of workflow/scripts/quorin_options.py is quorin's
  (src/config/options.cpp);
- through snakemake (when installed): "shards: two" and "--li=m.tsv" stop
  the workflow with the message, not a traceback, and write no table.

usage: config_checks.py QUORIN SOURCE_DIR
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

SOURCE = os.path.abspath(sys.argv[2])
sys.path.insert(0, os.path.join(SOURCE, "workflow", "scripts"))
from quorin_options import LONG, SHORT, whole_number, workflow_option_in  # noqa: E402

SET_BY_WORKFLOW = "is set by the workflow itself"
OPTION_ROWS = [
    # options, what the message must hold (None: accepted)
    ("-p --fdr=bh -t 2 --digits 8", None),
    ("--li=m.tsv", "--lists (given as --li=m.tsv) " + SET_BY_WORKFLOW),
    ("--lists m.tsv", "--lists (given as --lists) " + SET_BY_WORKFLOW),
    ("--outd=x", "-d (--outdata) (given as --outd=x) " + SET_BY_WORKFLOW),
    ("--outp x", "-o (--output) (given as --outp) " + SET_BY_WORKFLOW),
    ("--rank_d x", "-i (--rank_data) (given as --rank_d) " + SET_BY_WORKFLOW),
    ("--rep=r.html", "--report (given as --rep=r.html) " + SET_BY_WORKFLOW),
    ("-ofoo", "-o (--output) (given as -ofoo) " + SET_BY_WORKFLOW),
    ("-po x", "-o (--output) (given as -po) " + SET_BY_WORKFLOW),
    ("-ps x", "-s (--rank_set) (given as -ps) " + SET_BY_WORKFLOW),
    ("-d x", "-d (--outdata) (given as -d) " + SET_BY_WORKFLOW),
    ("word -i x", "-i (--rank_data) (given as -i) " + SET_BY_WORKFLOW),
    # values that look like the options are values
    ("-g -o", None),
    ("-r-o --fdr -o", None),
    ("--seed=1 --exceed -i", None),
    ("--o=x", None),  # ambiguous (output, outdata): quorin refuses it itself
    ("-- -p", "-- would end quorin's options"),
    ("-p -g", "-g needs a value"),
    ("--digit", "--digit needs a value"),
]
NUMBER_ROWS = [(1, 1), ("3", 3), (" 2 ", 2), ("two", None), (0, None), (-1, None), ("1.5", None), (True, None),
               (None, None)]

failed = 0


def check(label, problems):
    global failed
    if problems:
        failed += 1
        print("FAIL %s: %s" % (label, "; ".join(problems)))
    else:
        print("ok   %s" % label)


def option_table():
    with open(os.path.join(SOURCE, "src", "config", "options.cpp")) as f:
        source = f.read()
    short = re.search(r'getopt_long\(argc, argv, "([^"]*)"', source).group(1)
    long = {}
    for name, arg, val in re.findall(r'\{"([^"]+)", (no_argument|required_argument), nullptr, ([^}]+)\}', source):
        long[name] = (arg == "required_argument", val.strip("'") if val.startswith("'") else None)
    return short, long


def snakemake_rows():
    if not shutil.which("snakemake"):
        print("skip the snakemake runs: snakemake not installed")
        return
    quorin = os.path.abspath(sys.argv[1])
    for label, setting, message in [("shards: two", "shards: two\noptions: \"\"",
                                      "shards must be a whole number from 1 on, not 'two'"),
                                     ("options --li", "shards: 1\noptions: \"--li=m.tsv\"",
                                      "--lists (given as --li=m.tsv) " + SET_BY_WORKFLOW)]:
        with tempfile.TemporaryDirectory() as d:
            with open(os.path.join(d, "list.txt"), "w") as f:
                f.write("g1\t1\ng2\t2\n")
            with open(os.path.join(d, "samples.tsv"), "w") as f:
                f.write("name\tfile\nA\tlist.txt\n")
            with open(os.path.join(d, "config.yaml"), "w") as f:
                f.write("samples: %s\ngene_sets: %s\nquorin: %s\n%s\n" % (
                    os.path.join(d, "samples.tsv"), os.path.join(SOURCE, "examples", "gene_sets.bed"), quorin,
                    setting))
            run = subprocess.run(["snakemake", "-s", os.path.join(SOURCE, "workflow", "Snakefile"), "--cores", "1",
                                  "--configfile", os.path.join(d, "config.yaml"), "--directory", d, "-q"],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)
            problems = []
            if run.returncode == 0 or message not in run.stdout or "Traceback" in run.stdout:
                problems.append("status %d:\n%s" % (run.returncode, run.stdout))
            if os.path.exists(os.path.join(d, "results", "table.tsv")):
                problems.append("a table was written")
            check("snakemake, %s" % label, problems)


def main():
    for options, expected in OPTION_ROWS:
        got = workflow_option_in(options)
        ok = got is None if expected is None else got is not None and expected in got
        check("options %r" % options, [] if ok else ["got %r, expected %r" % (got, expected)])
    for value, expected in NUMBER_ROWS:
        try:
            got = whole_number("shards", value)
        except ValueError as e:
            got = None
            if "shards must be a whole number from 1 on" not in str(e):
                got = "message %r" % str(e)
        check("shards %r" % (value,), [] if got == expected else ["got %r, expected %r" % (got, expected)])
    short, long = option_table()
    check("the option table is quorin's", [] if (short, long) == (SHORT, LONG) else
          ["options.cpp has %r %r" % (short, long)])
    snakemake_rows()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
