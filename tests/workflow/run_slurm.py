#!/usr/bin/env python3
"""Runs the Snakemake workflow of workflow/ through the SLURM profile
(workflow/profiles/slurm) on a single-node SLURM cluster started here
(local_slurm.py), on the five rankings of run_workflow.py in three shards,
and checks:

- the profile's settings are the ones that workflow/README.md shows, and the
  test changes only the partition (its cluster's) and the account (dropped:
  Snakemake checks an account with sacctmgr, which needs an accounting
  database that the test cluster has not);
- the combined table equals byte for byte one quorin --lists run, and every
  step ran as a batch job of its own (sacct: 3 shard_table jobs among 7,
  completed, with the profile's partition, time limit and memory);
- a shard_table job cancelled with scancel while it runs is submitted again
  (retries: 1) and the combined table is still the same.
The controls: no job is in sacct before the first run, and the single run
on the rankings in another order gives another table.

usage: run_slurm.py QUORIN SOURCE_DIR
Exit status 77 (skipped) when snakemake or SLURM is not installed or the
user is not root, except under CI (CI=true), where that fails.
"""
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_workflow as wf  # noqa: E402
from local_slurm import PARTITION, ClusterError, LocalSlurm  # noqa: E402

SHARDS = 3
# The shard whose first job holds until cancelled: its quorin is this script.
HOLD = """#!/bin/sh
case "$*" in
  */shards/1/*) if mkdir {dir}/held 2>/dev/null; then echo "$SLURM_JOB_ID" > {dir}/held/job; sleep 120; fi ;;
esac
exec {quorin} "$@"
"""


def profile_overlay(source, folder):
    """The profile with the test cluster's partition and without the
    account; returns the profile folder and the settings that stay."""
    with open(os.path.join(source, "workflow", "profiles", "slurm", "config.yaml")) as f:
        profile = f.read()
    settings = [line.split("#")[0].rstrip() for line in profile.splitlines()
                if line.split("#")[0].strip()]
    with open(os.path.join(source, "workflow", "README.md")) as f:
        readme = f.read()
    missing = [s for s in settings if "\n    " + s + "\n" not in readme]
    if missing:
        sys.exit("FAIL: workflow/README.md does not show the profile's settings %s" % missing)
    overlay, n = re.subn(r"(?m)^(\s*- slurm_partition=)\S+", r"\g<1>" + PARTITION, profile)
    overlay, m = re.subn(r"(?m)^\s*- slurm_account=.*\n", "", overlay)
    if (n, m) != (1, 1):
        sys.exit("FAIL: the profile should set slurm_partition and slurm_account once each:\n" + profile)
    os.makedirs(os.path.join(folder, "profile"))
    with open(os.path.join(folder, "profile", "config.yaml"), "w") as f:
        f.write(overlay)
    resources = dict(s.split("- ", 1)[1].split("=", 1) for s in settings if s.strip().startswith("- "))
    return os.path.join(folder, "profile"), resources


def snakemake(source, d, quorin, sheet, sets, profile, out):
    config = os.path.join(d, out + ".yaml")
    with open(config, "w") as f:
        f.write("samples: %s\ngene_sets: %s\nquorin: %s\nshards: %d\noptions: \"%s\"\noutdir: %s\n"
                % (sheet, sets, quorin, SHARDS, " ".join(wf.OPTIONS), out))
    with open(os.path.join(d, out + ".log"), "w") as log:
        return subprocess.Popen(["snakemake", "-s", os.path.join(source, "workflow", "Snakefile"),
                                 "--configfile", config, "--directory", d, "--profile", profile],
                                stdout=log, stderr=subprocess.STDOUT)


def finish(run, d, out, timeout):
    try:
        run.wait(timeout)
    except subprocess.TimeoutExpired:
        run.kill()
        run.wait()
    with open(os.path.join(d, out + ".log")) as f:
        log = f.read()
    if run.returncode != 0:
        sys.exit("FAIL: the workflow (%s) ended with status %d:\n%s" % (out, run.returncode, log[-6000:]))
    with open(os.path.join(d, out, "table.tsv"), "rb") as f:
        return f.read()


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    quorin, source = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.environ["PATH"] += os.pathsep + "/usr/sbin"
    missing = [p for p in ("snakemake", "munged", "mungekey", "slurmctld", "slurmd", "sbatch", "sacct")
               if not shutil.which(p)]
    why = ("not installed: %s (scripts/setup.sh --tests and .ci/run install them)" % " ".join(missing)
           if missing else "the cluster's daemons run as root" if os.geteuid() != 0 else None)
    if why:
        if os.environ.get("CI") == "true":
            sys.exit("FAIL: " + why)
        print(why + ": skipped")
        sys.exit(77)
    # Snakemake 7 reads the user name from USER, which a CI job may not set.
    os.environ.setdefault("USER", "root")
    sets = os.path.join(source, "examples", "gene_sets.bed")
    ranks = wf.rankings(os.path.join(source, "examples", "gene_list.txt"))
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)

    with tempfile.TemporaryDirectory() as d, LocalSlurm(os.path.join(d, "cluster")) as cluster:
        profile, resources = profile_overlay(source, d)
        sheet = wf.write_inputs(d, ranks)
        wf.write_matrix(os.path.join(d, "all.tsv"), ranks)
        single = wf.quorin_table(quorin, ["-s", sets, "--lists", os.path.join(d, "all.tsv")] + wf.OPTIONS)
        wf.write_matrix(os.path.join(d, "reordered.tsv"), ranks[::-1])
        other = wf.quorin_table(quorin, ["-s", sets, "--lists", os.path.join(d, "reordered.tsv")] + wf.OPTIONS)
        check(other != single, "the control: reordered rankings should give another table")
        check(cluster.sacct("JobIDRaw") == [], "the control: sacct lists jobs before any was submitted")

        start = time.time()
        combined = finish(snakemake(source, d, quorin, sheet, sets, profile, "results"), d, "results", 600)
        print("the workflow took %.0f s" % (time.time() - start))
        check(combined == single, "the combined table differs from the single --lists run")
        jobs = cluster.sacct("JobIDRaw,JobName,State,Partition,Timelimit")
        shard_jobs = [j for j in jobs if j[1].startswith("snakejob_shard_table_")]
        check(len(jobs) == 2 * SHARDS + 1 and len(shard_jobs) == SHARDS
              and all(j[2:] == ["COMPLETED", PARTITION, resources["runtime"]] for j in jobs),
              "sacct should list %d completed jobs, %d of them shard_table, in partition %s with time limit %s:\n%s"
              % (2 * SHARDS + 1, SHARDS, PARTITION, resources["runtime"], jobs))
        with open(os.path.join(cluster.dir, "jobcomp.txt")) as f:
            mems = re.findall(r"Tres=\S*mem=(\w+)", f.read())
        check(mems == [resources["mem_mb"] + "M"] * len(jobs),
              "every job should have the profile's mem_mb (%s), not %s" % (resources["mem_mb"], mems))

        # The held shard: cancelled once its quorin runs, then run again.
        hold = os.path.join(d, "hold_quorin")
        with open(hold, "w") as f:
            f.write(HOLD.format(dir=d, quorin=quorin))
        os.chmod(hold, stat.S_IRWXU)
        start = time.time()
        run = snakemake(source, d, hold, sheet, sets, profile, "retried")
        held = os.path.join(d, "held", "job")
        while not (os.path.exists(held) and open(held).read().strip()) and run.poll() is None \
                and time.time() < start + 300:
            time.sleep(0.5)
        cancelled = open(held).read().strip() if os.path.exists(held) else None
        if cancelled:
            cluster.run(["scancel", cancelled])
        retried = finish(run, d, "retried", 600)
        print("the workflow with a cancelled job took %.0f s" % (time.time() - start))
        check(retried == single, "after a cancelled job, the combined table differs from the single --lists run")
        states = {j[0]: j[1:] for j in cluster.sacct("JobIDRaw,JobName,State")}
        name = states.get(cancelled, [None])[0]
        again = [i for i, (n, s) in states.items() if n == name and int(i) > int(cancelled or 0)]
        check(cancelled and states.get(cancelled, [None, None])[1] == "CANCELLED"
              and name.startswith("snakejob_shard_table_")
              and [states[i][1] for i in again] == ["COMPLETED"],
              "the cancelled shard job %s should be CANCELLED and submitted once more, COMPLETED:\n%s"
              % (cancelled, states))
    for f in failures:
        print("FAIL:", f)
    if failures:
        sys.exit(1)
    print("ok: the workflow on SLURM gives the single --lists run's table, also after a cancelled job")


if __name__ == "__main__":
    try:
        main()
    except ClusterError as e:
        sys.exit("FAIL: the SLURM cluster: %s" % e)
