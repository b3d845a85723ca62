"""What the installed binary is asked, to show that it runs: shared by the
install-tree and the package checks."""
import subprocess


def probe(quorin, version):
    """Runs the binary with --version; returns what is wrong, or None."""
    want = "quorin %s\n" % version
    run = subprocess.run([quorin, "--version"], capture_output=True, text=True, timeout=60)
    if run.returncode != 0 or run.stdout != want:
        return "%s --version: exit status %d, output %r, expected %r" % (quorin, run.returncode, run.stdout, want)
    return None
