#include "common/out_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "common/error.h"
#include "common/output.h"

// The temporaries not yet renamed, for the signal handlers: fixed storage,
// since a handler may not allocate. Slots are filled and emptied with the
// interrupting signals blocked, so a handler never sees half a name.
static const int temporary_slots = 8;
static char temporary_names[temporary_slots][PATH_MAX];
static volatile sig_atomic_t temporary_used[temporary_slots];
// Analyses running at once in one process write outputs at once: slots are
// taken and given back under this lock (the handlers only read them).
static std::mutex slots_lock;

void remove_temporaries() {
    for (int k = 0; k < temporary_slots; ++k)
        if (temporary_used[k]) unlink(temporary_names[k]);
}

static const int interrupts[] = {SIGINT, SIGTERM, SIGHUP};

static void remove_and_end(int sig) {
    close_error_line();
    remove_temporaries();
    // The default action once the handler returns: the run ends by the
    // signal, as it would have without the handler.
    signal(sig, SIG_DFL);
    raise(sig);
}

void remove_temporaries_on_signals() {
    for (int sig : interrupts) {
        struct sigaction now;
        if (sigaction(sig, nullptr, &now) != 0 || now.sa_handler == SIG_IGN) continue;
        struct sigaction act;
        std::memset(&act, 0, sizeof act);
        act.sa_handler = remove_and_end;
        sigemptyset(&act.sa_mask);
        sigaction(sig, &act, nullptr);
    }
}

// Blocks the interrupting signals while it lives.
struct interrupts_held {
    sigset_t before;
    interrupts_held() {
        sigset_t held;
        sigemptyset(&held);
        for (int sig : interrupts) sigaddset(&held, sig);
        pthread_sigmask(SIG_BLOCK, &held, &before);
    }
    ~interrupts_held() { pthread_sigmask(SIG_SETMASK, &before, nullptr); }
};

static std::string folder_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

static std::string last_part(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The folder's path with links resolved; empty when it does not exist.
static std::string real_folder(const std::string& path) {
    char* real = realpath(folder_of(path).c_str(), nullptr);
    if (!real) return "";
    std::string folder = real;
    std::free(real);
    return folder;
}

static bool under(const std::string& path, const std::string& root) {
    return path == root || path.compare(0, root.size() + 1, root + "/") == 0;
}

// The process's file-mode mask, read without changing it: umask() can only
// be read by setting it, which would race with another thread creating a file.
static mode_t current_umask() {
    if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, f)) found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(f);
        if (found) return static_cast<mode_t>(mask);
    }
    std::lock_guard<std::mutex> hold(slots_lock);  // kernels before 4.7: at least no two outputs race
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// Where a temporary may stand in for the name: the path that it is renamed
// to, or empty when the name is written in place. An existing file that may
// not be written is left to the plain open, which reports it.
static std::string replace_target(const std::string& name, mode_t& mode) {
    if (name.empty()) return "";
    struct stat info;
    if (stat(name.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode) || access(name.c_str(), W_OK) != 0) return "";
        mode = info.st_mode & 07777;
    } else {
        if (errno != ENOENT) return "";
        // A new file gets the mode that a plain open would give it.
        mode = 0666 & ~current_umask();
    }
    // /dev/stdout and /proc/self/fd/1 stand for a descriptor even when it is
    // a regular file: replacing that file would lose what else goes there.
    std::string folder = real_folder(name);
    if (folder.empty() || under(folder, "/dev") || under(folder, "/proc")) return "";
    struct stat link;
    if (lstat(name.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        // The file the link names is replaced; the link stays.
        char* real = realpath(name.c_str(), nullptr);
        if (!real) return "";
        std::string target = real;
        std::free(real);
        return target;
    }
    return name;
}

// Creates the temporary next to the target and registers it; -1 with errno
// set when the folder takes no new file.
static int make_temporary(const std::string& target, mode_t mode, std::string& temporary) {
    // A hidden name, its length kept well within a file name's limit.
    std::string base = last_part(target).substr(0, 120);
    std::string pattern = folder_of(target) + "/." + base + ".XXXXXX";
    if (pattern.size() >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return -1;
    }
    interrupts_held held;
    std::lock_guard<std::mutex> hold(slots_lock);
    int slot = 0;
    while (slot < temporary_slots && temporary_used[slot]) ++slot;
    if (slot == temporary_slots) {
        errno = EMFILE;
        return -1;
    }
    char* buf = temporary_names[slot];
    std::memcpy(buf, pattern.c_str(), pattern.size() + 1);
    int fd = mkstemp(buf);
    if (fd < 0) return -1;
    temporary_used[slot] = 1;
    fchmod(fd, mode);  // a courtesy: without it the file is written all the same, private
    temporary = buf;
    return fd;
}

static void forget_temporary(const std::string& temporary) {
    std::lock_guard<std::mutex> hold(slots_lock);
    for (int k = 0; k < temporary_slots; ++k)
        if (temporary_used[k] && temporary == temporary_names[k]) temporary_used[k] = 0;
}

// The kernel's protected_symlinks rule, which may be switched off: in a
// sticky folder that everyone may write, such as /tmp, a link is followed only
// when it belongs to this user or to the folder's owner. Otherwise another
// user could plant it and have this run replace a file of its choosing.
// Returns the planted link, or empty. Every link along the path is checked,
// not only the last.
static std::string planted_link(const std::string& path) {
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        std::string part = path.substr(0, end);
        struct stat link, folder;
        if (lstat(part.c_str(), &link) == 0 && S_ISLNK(link.st_mode) &&
            stat(folder_of(part).c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) &&
            (folder.st_mode & S_IWOTH) && link.st_uid != geteuid() && link.st_uid != folder.st_uid)
            return part;
        if (end == std::string::npos) return "";
    }
}

out_file open_output(const std::string& name) {
    out_file out;
    out.name = name;
    std::string planted = planted_link(name);
    if (!planted.empty())
        die("Sorry, couldn't open " + name + ": won't follow " + planted +
            ", a link of another user in a folder that everyone may write");
    mode_t mode = 0;
    out.target = replace_target(name, mode);
    int fd = out.target.empty() ? -1 : make_temporary(out.target, mode, out.temporary);
    if (fd < 0 && !out.target.empty()) {
        // Writing in place would truncate the old file before the first write
        // could fail: refuse while the name still holds it.
        std::string reason = std::strerror(errno);
        die("Sorry, couldn't open " + name + ": can't create a temporary file in " + folder_of(out.target) +
            " (" + reason + ")");
    }
    if (fd >= 0) {
        out.f = fdopen(fd, "w");
        if (!out.f) {
            close(fd);
            {
                interrupts_held held;
                unlink(out.temporary.c_str());
                forget_temporary(out.temporary);
            }
            die("Sorry, couldn't open " + name);
        }
    } else {
        out.temporary.clear();
        out.f = std::fopen(name.c_str(), "w");
        if (!out.f) die("Sorry, couldn't open " + name);
    }
    // Whole blocks: one system call per line would dominate a large table.
    std::setvbuf(out.f, nullptr, _IOFBF, 1 << 18);
    return out;
}

// Makes the rename itself durable; a folder that cannot be synced loses nothing written.
static void sync_folder(const std::string& path) {
    int fd = open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

void finish_output(out_file& out) {
    bool lost = std::fflush(out.f) != 0 || std::ferror(out.f) != 0;
    if (!lost && !out.temporary.empty() && fsync(fileno(out.f)) != 0) lost = true;
    if (std::fclose(out.f) != 0) lost = true;
    out.f = nullptr;
    if (!out.temporary.empty()) {
        {
            interrupts_held held;
            if (!lost && std::rename(out.temporary.c_str(), out.target.c_str()) != 0) lost = true;
            if (lost) unlink(out.temporary.c_str());
            forget_temporary(out.temporary);
        }
        if (!lost) sync_folder(out.target);
    }
    if (lost) die("Sorry, couldn't write " + out.name);
}

void abandon_output(out_file& out) {
    if (!out.f) return;
    std::fclose(out.f);
    out.f = nullptr;
    if (!out.temporary.empty()) {
        interrupts_held held;
        unlink(out.temporary.c_str());
        forget_temporary(out.temporary);
    }
}

void write_output(out_file& out, const std::function<void(std::FILE*)>& write) {
    try {
        write(out.f);
    } catch (...) {
        abandon_output(out);
        throw;
    }
    finish_output(out);
}

bool same_output(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    bool has_a = stat(a.c_str(), &sa) == 0, has_b = stat(b.c_str(), &sb) == 0;
    // Devices and pipes take both outputs one after the other (-o /dev/null -d /dev/null).
    if (has_a && has_b) return S_ISREG(sa.st_mode) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    if (has_a || has_b) return false;
    if (a == b) return true;
    std::string folder = real_folder(a);
    return !folder.empty() && folder == real_folder(b) && last_part(a) == last_part(b);
}
