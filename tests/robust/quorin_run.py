"""Runs the built quorin for the robustness scripts and reports how it ended."""
import os
import subprocess

# Generous: sanitizer builds are several times slower than the plain one.
TIMEOUT = 300


class Ended:
    """What one run left: status (None after a time-out), stdout, stderr, a note on how it ended."""

    def __init__(self, status, stdout, stderr, how):
        self.status, self.stdout, self.stderr, self.how = status, stdout, stderr, how

    def problem(self):
        """Why the run did not end by itself with an exit status, or None."""
        return self.how


def run(quorin, args, cwd, stdout=subprocess.PIPE, env=None, timeout=TIMEOUT, close_stdout=False,
        close_stdin=False):
    """Runs quorin; close_stdout (close_stdin) starts it with file descriptor 1 (0) closed."""
    closed = [fd for fd, close in ((0, close_stdin), (1, close_stdout)) if close]
    try:
        done = subprocess.run([quorin] + list(args), cwd=cwd, stdin=subprocess.DEVNULL, stdout=stdout,
                              stderr=subprocess.PIPE, env=env, timeout=timeout,
                              preexec_fn=(lambda: [os.close(fd) for fd in closed]) if closed else None)
    except subprocess.TimeoutExpired as e:
        return Ended(None, e.stdout or b"", e.stderr or b"", "no end within %d s" % timeout)
    if done.returncode < 0:
        return Ended(done.returncode, done.stdout or b"", done.stderr, "ended by signal %d" % -done.returncode)
    return Ended(done.returncode, done.stdout or b"", done.stderr, None)


def show(data, limit=600):
    text = data.decode("utf-8", "backslashreplace")
    return text if len(text) <= limit else text[:limit] + "[... %d bytes in all]" % len(data)


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)
