"""A single-node SLURM cluster on this machine, for tests: munged, slurmctld
and slurmd in the foreground as children of the test, as root, everything
(key, configuration, state, spool, logs, job completion records) in one
folder. The node is this machine as `slurmd -C` sees it, named after
`hostname -s` and reached at 127.0.0.1, so name resolution plays no part.

There is no accounting database: plain `sacct` answers "accounting storage
is disabled", and `sacct --completion` reads the job completion file
(jobcomp/filetxt) instead.

    with LocalSlurm(folder) as cluster:   # sets SLURM_CONF for child processes
        cluster.sacct("JobIDRaw,JobName,State")
"""
import ctypes
import os
import signal
import socket
import subprocess
import time

PARTITION = "quorin_test"

CONF = """ClusterName=quorintest
SlurmctldHost={node}(127.0.0.1)
SlurmctldPort={ctld_port}
SlurmdPort={d_port}
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket={dir}/munge.socket
StateSaveLocation={dir}/state
SlurmdSpoolDir={dir}/spool
SlurmctldPidFile={dir}/slurmctld.pid
SlurmdPidFile={dir}/slurmd.pid
SlurmctldLogFile={dir}/slurmctld.log
SlurmdLogFile={dir}/slurmd.log
# No cgroups: process groups track a job's processes.
ProctrackType=proctrack/pgid
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/filetxt
JobCompLoc={dir}/jobcomp.txt
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
ReturnToService=2
MpiDefault=none
NodeName={node} NodeAddr=127.0.0.1 {hardware} State=UNKNOWN
PartitionName={partition} Nodes={node} Default=YES MaxTime=INFINITE State=UP
"""


class ClusterError(Exception):
    pass


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def die_with_parent():
    # The daemons end with the test even when it is killed outright.
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class LocalSlurm:
    def __init__(self, folder):
        self.dir = os.path.abspath(folder)
        self.conf = os.path.join(self.dir, "slurm.conf")
        self.daemons = []

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        os.makedirs(self.dir, mode=0o700, exist_ok=True)
        for sub in ("state", "spool"):
            os.makedirs(os.path.join(self.dir, sub), exist_ok=True)
        # slurmd -C: "NodeName=NAME CPUs=... RealMemory=..." for this machine.
        node_line = subprocess.run(["slurmd", "-C"], stdout=subprocess.PIPE, universal_newlines=True,
                                   check=True).stdout.splitlines()[0].split()
        self.node = node_line[0].split("=", 1)[1]
        with open(self.conf, "w") as f:
            f.write(CONF.format(dir=self.dir, node=self.node, hardware=" ".join(node_line[1:]),
                                partition=PARTITION, ctld_port=free_port(), d_port=free_port()))
        os.environ["SLURM_CONF"] = self.conf

        key = os.path.join(self.dir, "munge.key")
        subprocess.run(["mungekey", "--create", "--keyfile", key], check=True)
        # --force: munged refuses root and /tmp otherwise.
        self.daemon("munged", ["munged", "--foreground", "--force", "--key-file", key,
                               "--socket", os.path.join(self.dir, "munge.socket"),
                               "--pid-file", os.path.join(self.dir, "munged.pid"),
                               "--seed-file", os.path.join(self.dir, "munged.seed"),
                               "--log-file", os.path.join(self.dir, "munged.log")])
        self.wait_for(lambda: os.path.exists(os.path.join(self.dir, "munge.socket")), "munged's socket")
        self.daemon("slurmctld", ["slurmctld", "-D", "-f", self.conf])
        self.daemon("slurmd", ["slurmd", "-D", "-f", self.conf, "-N", self.node])
        self.wait_for(lambda: self.run(["sinfo", "-h", "-o", "%T"]).stdout.strip() == "idle",
                      "the node to be idle in sinfo")

    def daemon(self, name, argv):
        out = open(os.path.join(self.dir, name + ".out"), "w")
        self.daemons.append((name, subprocess.Popen(argv, stdout=out, stderr=subprocess.STDOUT,
                                                    stdin=subprocess.DEVNULL, preexec_fn=die_with_parent)))
        out.close()

    def run(self, argv):
        return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)

    def wait_for(self, ready, what, seconds=60):
        end = time.time() + seconds
        while time.time() < end:
            for name, p in self.daemons:
                if p.poll() is not None:
                    raise ClusterError("%s ended with status %d while waiting for %s\n%s"
                                       % (name, p.returncode, what, self.logs()))
            if ready():
                return
            time.sleep(0.5)
        raise ClusterError("no %s after %d s\n%s" % (what, seconds, self.logs()))

    def logs(self):
        text = []
        for name in ("munged.log", "munged.out", "slurmctld.log", "slurmctld.out", "slurmd.log", "slurmd.out"):
            path = os.path.join(self.dir, name)
            if os.path.exists(path):
                with open(path, errors="replace") as f:
                    text.append("--- %s\n%s" % (name, "".join(f.readlines()[-40:])))
        return "\n".join(text)

    def sacct(self, fields):
        """Every job's FIELDS (comma-separated) from the job completion
        records, one list of values per job."""
        out = self.run(["sacct", "--completion", "-P", "-n", "-o", fields])
        if out.returncode != 0:
            raise ClusterError("sacct --completion failed:\n" + out.stdout)
        return [line.split("|") for line in out.stdout.splitlines() if line]

    def stop(self):
        """Cancels what is left of the jobs (their steps outlive slurmd), then
        ends the daemons, the last one first."""
        if any(name == "slurmd" and p.poll() is None for name, p in self.daemons):
            self.run(["scancel", "--full", "--partition", PARTITION])
            end = time.time() + 30
            while time.time() < end and self.run(["squeue", "-h"]).stdout.strip():
                time.sleep(0.5)
        for name, p in reversed(self.daemons):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        self.daemons = []
