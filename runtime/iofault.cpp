// The fault-injection layer under the durable file calls (see iofault.h).
#include "runtime/iofault.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using ino_key = std::pair<dev_t, ino_t>;

// A file written since the last sync: a duplicate of its descriptor lets a
// cut shorten it whatever it is called by then.
struct file_track {
    int fd = -1;
    off_t durable = 0;   // its length at its last sync (or when first written)
    bool dirty = false;
};

// One change of a name. Each directory it changed is on disk once synced
// after it: a rename's new name with its target directory, the removal of
// its old name with its source directory.
struct name_change {
    enum what_t { CREATE, RENAME, UNLINK, MKDIR } what;
    std::string a, b;   // the name (RENAME: from a to b)
    std::string held;   // a link to what was removed or renamed over
    ino_key dir_a{}, dir_b{};
    bool synced_a = false, synced_b = false;
};

struct rule {
    iof_kind kind;
    long nth;
    int err;
};

struct state {
    std::mutex mu;
    std::string hold;
    long counts[IOF_KINDS + 1] = {};
    std::vector<rule> rules;
    long cut_at = 0;
    iof_cut_mode cut_mode = IOF_CUT_TRUNCATE;
    bool dead = false;
    long fired = 0;
    long held_seq = 0;
    std::map<ino_key, file_track> files;
    std::vector<name_change> names;
};

std::atomic<bool> armed{false};

state &st() {
    static state s;
    return s;
}

std::string parent_of(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool key_of_path(const std::string &path, ino_key *k) {
    struct stat sb;
    if (stat(path.c_str(), &sb) != 0)
        return false;
    *k = {sb.st_dev, sb.st_ino};
    return true;
}

void cut(state &s, iof_cut_mode mode);

// What the call should do: 0 go on, 1 dropped (report success), -1 fail
// with errno set. Counts the call.
int decide(state &s, iof_kind kind) {
    if (s.dead) {
        errno = EIO;
        return -1;
    }
    long total = ++s.counts[IOF_KINDS];
    long n = ++s.counts[kind];
    if (s.cut_at > 0 && total >= s.cut_at) {
        cut(s, s.cut_mode);
        errno = EIO;
        return -1;
    }
    for (const rule &r : s.rules)
        if (r.kind == kind && r.nth == n) {
            s.fired++;
            if (r.err == 0)
                return 1;
            errno = r.err;
            return -1;
        }
    return 0;
}

// A link to path in the hold directory, "" when none could be made.
std::string hold_link(state &s, const std::string &path) {
    std::string h = s.hold + "/" + std::to_string(++s.held_seq);
    return link(path.c_str(), h.c_str()) == 0 ? h : std::string();
}

void add_change(state &s, name_change::what_t what, const std::string &a, const std::string &b,
                const std::string &held) {
    name_change c{what, a, b, held};
    (void)key_of_path(parent_of(a), &c.dir_a);
    c.dir_b = c.dir_a;
    if (what == name_change::RENAME)
        (void)key_of_path(parent_of(b), &c.dir_b);
    s.names.push_back(std::move(c));
}

void note_written(state &s, int fd, off_t before) {
    struct stat sb;
    if (fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode))
        return;
    file_track &t = s.files[{sb.st_dev, sb.st_ino}];
    if (t.fd < 0)
        t.fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (!t.dirty) {
        t.durable = before;
        t.dirty = true;
    }
}

void note_synced(state &s, int fd) {
    struct stat sb;
    if (fstat(fd, &sb) != 0)
        return;
    ino_key k{sb.st_dev, sb.st_ino};
    if (S_ISDIR(sb.st_mode)) {
        for (name_change &c : s.names) {
            c.synced_a = c.synced_a || c.dir_a == k;
            c.synced_b = c.synced_b || c.dir_b == k;
        }
        return;
    }
    auto it = s.files.find(k);
    if (it != s.files.end()) {
        it->second.dirty = false;
        it->second.durable = sb.st_size;
    }
}

bool durable(const name_change &c) { return c.synced_a && c.synced_b; }

// A rename half on disk: the new name only (the file under both names), or
// the removal of the old one only (the file under neither).
void undo_rename(const name_change &c) {
    if (c.synced_b) {
        (void)link(c.b.c_str(), c.a.c_str());
        return;
    }
    if (c.synced_a ? unlink(c.b.c_str()) != 0 : rename(c.b.c_str(), c.a.c_str()) != 0)
        return;
    if (!c.held.empty())
        (void)link(c.held.c_str(), c.b.c_str());
}

void forget(state &s) {
    for (auto &kv : s.files)
        if (kv.second.fd >= 0)
            close(kv.second.fd);
    s.files.clear();
    s.names.clear();
}

void shorten(const file_track &t, iof_cut_mode mode) {
    struct stat sb;
    if (fstat(t.fd, &sb) != 0 || sb.st_size <= t.durable)
        return;
    if ((mode & IOF_CUT_ZERO) == 0) {
        (void)ftruncate(t.fd, t.durable);
        return;
    }
    std::string zeros(size_t(sb.st_size - t.durable), '\0');
    (void)pwrite(t.fd, zeros.data(), zeros.size(), t.durable);
}

// Undoes what is not durable, newest change first, and kills the layer.
void cut(state &s, iof_cut_mode mode) {
    for (auto &kv : s.files)
        if (kv.second.dirty)
            shorten(kv.second, mode);
    std::error_code ec;
    for (auto it = s.names.rbegin(); it != s.names.rend(); ++it) {
        if (durable(*it) || (mode & IOF_CUT_KEEP_NAMES))
            continue;
        switch (it->what) {
            case name_change::CREATE:
                unlink(it->a.c_str());
                break;
            case name_change::RENAME:
                undo_rename(*it);
                break;
            case name_change::UNLINK:
                if (!it->held.empty())
                    (void)link(it->held.c_str(), it->a.c_str());
                break;
            case name_change::MKDIR:
                std::filesystem::remove_all(it->a, ec);
                break;
        }
    }
    forget(s);
    s.dead = true;
}

}   // namespace

#define IOF_GUARD(kind, dropped)            \
    state &s = st();                        \
    std::lock_guard<std::mutex> lock(s.mu); \
    if (int d = decide(s, kind); d != 0)    \
        return d > 0 ? (dropped) : -1;

int iof_open(const char *path, int flags, mode_t mode) {
    if (!armed.load(std::memory_order_relaxed))
        return open(path, flags, mode);
    IOF_GUARD(IOF_OPEN, (errno = EIO, -1));   // a dropped open has no descriptor to give
    struct stat sb;
    bool existed = lstat(path, &sb) == 0;
    int fd = open(path, flags, mode);
    if (fd >= 0 && !existed && (flags & O_CREAT))
        add_change(s, name_change::CREATE, path, "", "");
    return fd;
}

int iof_mkostemp(char *tmpl, int flags) {
    if (!armed.load(std::memory_order_relaxed))
        return mkostemp(tmpl, flags);
    IOF_GUARD(IOF_OPEN, (errno = EIO, -1));
    int fd = mkostemp(tmpl, flags);
    if (fd >= 0)
        add_change(s, name_change::CREATE, tmpl, "", "");
    return fd;
}

ssize_t iof_write(int fd, const void *buf, size_t n) {
    if (!armed.load(std::memory_order_relaxed))
        return write(fd, buf, n);
    IOF_GUARD(IOF_WRITE, ssize_t(n));
    off_t before = lseek(fd, 0, SEEK_CUR);
    ssize_t w = write(fd, buf, n);
    if (w > 0)
        note_written(s, fd, before < 0 ? 0 : before);
    return w;
}

int iof_fsync(int fd) {
    if (!armed.load(std::memory_order_relaxed))
        return fsync(fd);
    IOF_GUARD(IOF_SYNC, 0);
    int rc = fsync(fd);
    if (rc == 0)
        note_synced(s, fd);
    return rc;
}

int iof_fdatasync(int fd) {
    if (!armed.load(std::memory_order_relaxed))
        return fdatasync(fd);
    IOF_GUARD(IOF_SYNC, 0);
    int rc = fdatasync(fd);
    if (rc == 0)
        note_synced(s, fd);
    return rc;
}

int iof_syncfs(int fd) {
    if (!armed.load(std::memory_order_relaxed))
        return syncfs(fd);
    IOF_GUARD(IOF_SYNCFS, 0);
    int rc = syncfs(fd);
    if (rc == 0) {
        for (auto &kv : s.files)
            if (kv.second.fd >= 0)
                close(kv.second.fd);
        s.files.clear();
        s.names.clear();
    }
    return rc;
}

int iof_rename(const char *from, const char *to) {
    if (!armed.load(std::memory_order_relaxed))
        return rename(from, to);
    IOF_GUARD(IOF_RENAME, 0);
    struct stat sb;
    std::string held = lstat(to, &sb) == 0 ? hold_link(s, to) : "";
    int rc = rename(from, to);
    if (rc == 0)
        add_change(s, name_change::RENAME, from, to, held);
    return rc;
}

int iof_unlink(const char *path) {
    if (!armed.load(std::memory_order_relaxed))
        return unlink(path);
    IOF_GUARD(IOF_UNLINK, 0);
    std::string held = hold_link(s, path);
    int rc = unlink(path);
    if (rc == 0)
        add_change(s, name_change::UNLINK, path, "", held);
    return rc;
}

int iof_mkdir(const char *path, mode_t mode) {
    if (!armed.load(std::memory_order_relaxed))
        return mkdir(path, mode);
    IOF_GUARD(IOF_MKDIR, 0);
    int rc = mkdir(path, mode);
    if (rc == 0)
        add_change(s, name_change::MKDIR, path, "", "");
    return rc;
}

int iof_close(int fd) { return close(fd); }

// ---- test control ----------------------------------------------------------------

void iof_start(const std::string &hold) {
    state &s = st();
    std::lock_guard<std::mutex> lock(s.mu);
    forget(s);
    std::error_code ec;
    std::filesystem::create_directories(hold, ec);
    s.hold = hold;
    for (long &c : s.counts)
        c = 0;
    s.rules.clear();
    s.cut_at = 0;
    s.dead = false;
    s.fired = 0;
    armed.store(true);
}

void iof_fail_nth(iof_kind kind, long nth, int err) {
    state &s = st();
    std::lock_guard<std::mutex> lock(s.mu);
    s.rules.push_back({kind, nth, err});
}

void iof_cut_at(long nth, iof_cut_mode mode) {
    state &s = st();
    std::lock_guard<std::mutex> lock(s.mu);
    s.cut_at = nth;
    s.cut_mode = mode;
}

void iof_cut_now(iof_cut_mode mode) {
    state &s = st();
    std::lock_guard<std::mutex> lock(s.mu);
    if (!s.dead)
        cut(s, mode);
}

long iof_calls(iof_kind kind) {
    state &s = st();
    std::lock_guard<std::mutex> lock(s.mu);
    return s.counts[kind];
}

bool iof_cut_done() {
    state &s = st();
    std::lock_guard<std::mutex> lock(s.mu);
    return s.dead;
}

long iof_faults_fired() {
    state &s = st();
    std::lock_guard<std::mutex> lock(s.mu);
    return s.fired;
}

void iof_stop() {
    state &s = st();
    std::lock_guard<std::mutex> lock(s.mu);
    armed.store(false);
    forget(s);
    s.rules.clear();
    s.cut_at = 0;
    s.dead = false;
}
