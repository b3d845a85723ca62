"""What the installed binary is asked, to show that it runs: shared by the
install-tree and the package checks."""
import subprocess

USAGE = ("quorin -s gene_set -i gene_list [-g tscore] [-r adjust] [-w weight] [-p auto_p] "
         "[-t thread] [-o output] [-d outdata]\n")


def probe(quorin, version):
    """Runs the binary with -h; returns what is wrong, or None. Once quorin has
    --version, this asks for it instead and expects "quorin VERSION"."""
    run = subprocess.run([quorin, "-h"], capture_output=True, text=True, timeout=60)
    if run.returncode != 0 or run.stdout != USAGE:
        return "%s -h: exit status %d, output %r, expected %r" % (quorin, run.returncode, run.stdout, USAGE)
    return None
