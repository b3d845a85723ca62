// Test-only shared library, loaded into quorin with LD_PRELOAD: stops the
// process (SIGSTOP) the first time it is about to sync a file to disk, so
// that a test can look at the folder while the result file is complete in
// its temporary but not yet renamed, and send a signal from there.
#include <dlfcn.h>
#include <signal.h>

using fsync_fn = int (*)(int);

extern "C" int fsync(int fd) {
    static bool stopped = false;  // quorin syncs from its main thread only
    if (!stopped) {
        stopped = true;
        raise(SIGSTOP);
    }
    static fsync_fn real = reinterpret_cast<fsync_fn>(dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}
