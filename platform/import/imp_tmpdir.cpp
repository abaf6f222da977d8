// The run's temporary directory of fetched contents and the removal of
// those that killed runs left (see imp_tmp_dir in imp_run.h).
//
// Invariant: a directory under the visible name "vantimport.*" is locked
// from the moment the name exists until its run has removed it, so a sweep
// that can lock one knows it was left by a run that ended. A new directory
// is therefore made as "vantimport-new.*", a name the sweep of visible
// directories ignores (older programs' sweeps too), locked, and only then
// renamed to its visible name (never onto an existing one). A staging
// directory is empty by construction and lives for a few system calls; a
// sweep removes one only when it is a minute old and its lock can be taken,
// with rmdir alone, holding the lock. Should its maker still be about (it
// was stopped that long), its lock or rename fails on a directory that is
// gone and it makes another: the age keeps sweeps from starving a maker,
// the failed rename keeps it safe. A run uses its directory only once the
// inode it holds locked is the one at the visible name.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/import/imp_run.h"
#include "runtime/fileutl.h"

namespace {

// Nothing in it is worth a message: what cannot be removed now, the next
// run removes (see imp_tmp_dir).
void remove_tmp_dir(const std::string &dir) {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

const char TMP_PREFIX[] = "vantimport.";
const char NEW_PREFIX[] = "vantimport-new.";
// A staging directory younger than this is taken to be in the making.
const int STAGED_STALE_SECONDS = 60;
// Each attempt that a sweep (or a name taken meanwhile) undid is made again.
const int MAKE_ATTEMPTS = 100;

bool has_prefix(const char *name, const char *prefix, size_t n) { return std::strncmp(name, prefix, n) == 0; }

// The directory at path when it is ours, last changed before `before` (0:
// any time) and no run holds its lock: its descriptor, locked, or -1.
int lock_unowned(const std::string &path, time_t before = 0) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
        (before && st.st_mtime >= before))
        return -1;
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        fd = -1;
    }
    return fd;
}

// 1 when fd is the directory now at path.
bool same_dir(int fd, const std::string &path) {
    struct stat a, b;
    return fstat(fd, &a) == 0 && lstat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Makes a staging directory, locks it and gives it its visible name: 0 and
// its path and locked descriptor, EAGAIN when a sweep took it meanwhile, or
// another errno value.
int make_locked(const std::string &parent, std::string *path, int *lock_fd) {
    std::string staged = parent + "/" + NEW_PREFIX + "XXXXXX";
    if (!mkdtemp(staged.data()))
        return errno;
    int fd = open(staged.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno == ENOENT ? EAGAIN : errno;
    if (flock(fd, LOCK_EX) != 0) {
        int e = errno;
        close(fd);
        rmdir(staged.c_str());
        return e;
    }
    std::string visible = parent + "/" + TMP_PREFIX + staged.substr(staged.size() - 6);
    int e = fileutl_rename_noreplace(staged.c_str(), visible.c_str());
    if (e == 0 && !same_dir(fd, visible))
        e = EAGAIN;   // a sweep removed ours, and another run's staging directory took its name
    if (e != 0) {
        if (e != EAGAIN)
            rmdir(staged.c_str());   // empty; and what fd names is gone or not ours
        close(fd);
        // Gone (a sweep), or the visible name is taken: try another name.
        return e == ENOENT || e == EEXIST ? EAGAIN : e;
    }
    *path = visible;
    *lock_fd = fd;
    return 0;
}

}   // namespace

// Removes the temporary directories of killed runs (see imp_tmp_dir), each
// while holding its lock, and the staging directories that runs killed while
// making theirs left (a minute old).
void imp_sweep_tmp_dirs(const std::string &parent) {
    DIR *d = opendir(parent.c_str());
    if (!d)
        return;
    std::vector<std::string> stale, staged;
    while (dirent *e = readdir(d)) {
        if (has_prefix(e->d_name, TMP_PREFIX, sizeof TMP_PREFIX - 1))
            stale.push_back(parent + "/" + e->d_name);
        else if (has_prefix(e->d_name, NEW_PREFIX, sizeof NEW_PREFIX - 1))
            staged.push_back(parent + "/" + e->d_name);
    }
    closedir(d);
    for (const std::string &dir : stale) {
        struct stat st;
        if (lstat((dir + "/kept").c_str(), &st) == 0)
            continue;
        int fd = lock_unowned(dir);
        if (fd < 0)
            continue;
        if (same_dir(fd, dir))
            remove_tmp_dir(dir);
        close(fd);
    }
    time_t old = time(nullptr) - STAGED_STALE_SECONDS;
    for (const std::string &dir : staged) {
        int fd = lock_unowned(dir, old);
        if (fd < 0)
            continue;
        if (same_dir(fd, dir))
            rmdir(dir.c_str());
        close(fd);
    }
}

// Makes the run's temporary directory and locks it. 0, or errno.
int imp_make_tmp_dir(imp_run *run) {
    std::string parent = fileutl_tmpdir();
    imp_sweep_tmp_dirs(parent);
    std::string tmp;
    int fd = -1, e = EAGAIN;
    for (int i = 0; i < MAKE_ATTEMPTS && e == EAGAIN; i++)
        e = make_locked(parent, &tmp, &fd);
    if (e)
        return e;
    run->tmp.path = tmp;
    run->tmp.lock_fd = fd;
    run->tmp.keep = run->p->debug != 0;
    run->tmp_dir = tmp;
    if (run->tmp.keep) {
        int k = open((tmp + "/kept").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (k < 0)
            return errno;
        close(k);
    }
    return 0;
}

imp_tmp_dir::~imp_tmp_dir() {
    if (!path.empty() && !keep)
        remove_tmp_dir(path);
    if (lock_fd >= 0)
        close(lock_fd);
}
