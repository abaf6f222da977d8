// The content pool: a plain file store (see vob_pool.h).
#include "platform/store/vob_pool.h"

#include "runtime/digest.h"
#include "runtime/fileutl.h"
#include "runtime/iofault.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

const char *const VOB_EMPTY_SHA = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

enum { POOL_MAX_OPEN = 64 };   // pending blobs kept open for one sync at the commit

// Past this many blobs in one transaction, one sync of the whole file system
// is cheaper than a sync per blob and per directory; either way every blob and
// its name are on disk before the row that names it commits.
enum { POOL_SYNCFS_FROM = 3 };

std::string vob_pool_path(const vob_pool &p, const std::string &sha) {
    return p.dir + "/" + sha.substr(0, 2) + "/" + sha;
}

static int fail(vob_pool_error *e, const std::string &file, int code, int source = 0) {
    e->file = file;
    e->text = strerror(code);
    e->source = source;
    return code;
}

static int write_all(int fd, const char *p, size_t n) {
    while (n > 0) {
        ssize_t w = iof_write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += w;
        n -= (size_t)w;
    }
    return 0;
}

// Closes the open pending blobs, so that few descriptors stay open; with
// `datasync` each is synced first (else the caller syncs the file system).
static int sync_open(vob_pool *p, vob_pool_error *e, bool datasync = true) {
    for (auto &kv : p->pending) {
        vob_pool_blob &b = kv.second;
        if (b.fd < 0)
            continue;
        int bad = datasync && iof_fdatasync(b.fd) != 0 ? errno : 0;
        if (iof_close(b.fd) != 0 && !bad)
            bad = errno;
        b.fd = -1;
        if (bad)
            return fail(e, b.tmp, bad);
    }
    p->pending_open = 0;
    return 0;
}

static int open_tmp(vob_pool *p, std::string *tmp, int *fd, vob_pool_error *e) {
    static std::atomic<unsigned long> counter{0};
    std::string dir = p->dir + "/tmp";
    for (int tries = 0; tries < 100; tries++) {
        *tmp = dir + "/" + std::to_string(getpid()) + "." + std::to_string(++counter);
        *fd = iof_open(tmp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0444);
        if (*fd >= 0)
            return 0;
        if (errno == ENOENT && iof_mkdir(dir.c_str(), 0755) == 0)
            continue;
        if (errno != EEXIST)
            return fail(e, *tmp, errno);
    }
    return fail(e, dir, EEXIST);
}

static int add_pending(vob_pool *p, const std::string &sha, const std::string &tmp, int fd,
                       vob_pool_error *e) {
    vob_pool_blob b;
    b.tmp = tmp;
    b.fd = fd;
    b.seq = ++p->seq;
    p->pending.emplace(sha, b);
    // Closed unsynced: past POOL_MAX_OPEN the transaction holds more blobs than
    // POOL_SYNCFS_FROM, so the commit syncs the file system anyway; a sync per
    // blob here would cost a disk flush each.
    if (++p->pending_open <= POOL_MAX_OPEN)
        return 0;
    p->closed_unsynced = true;
    return sync_open(p, e, false);
}

// Whether a writer ended without closing its pool since markers were last
// cleared: a marker in dirty/ that no live process holds locked. Looked at
// once per handle; the stale markers found are removed at its clean close.
static bool unclean_end(vob_pool *p) {
    if (p->unclean >= 0)
        return p->unclean == 1;
    p->unclean = 0;
    std::string dirty = p->dir + "/dirty";
    for (const std::string &n : vob_pool_entries(dirty)) {
        std::string m = dirty + "/" + n;
        if (n[0] == '.' || m == p->marker)
            continue;
        int fd = open(m.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            p->unclean = 1;
            p->stale.push_back(m);
        }
        close(fd);
    }
    return p->unclean == 1;
}

int vob_pool_trusted(vob_pool *p, const std::string &sha, int64_t stored,
                     const std::function<bool(const std::string &path)> &whole_check) {
    if (p->pending.count(sha) || p->verified.count(sha))
        return 1;
    std::string path = vob_pool_path(*p, sha);
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return 0;
    bool whole = S_ISREG(st.st_mode) && st.st_size == stored;
    if (whole && unclean_end(p))
        whole = whole_check(path);
    if (!whole) {
        p->damaged.push_back(path);
        return 0;
    }
    if (p->unclean == 1)
        p->verified.insert(sha);
    return 1;
}

// 1 when the raw blob of sha (size bytes) is pending or whole in place (its
// digest checked after an unclean end); 0 when it must be written from the
// bytes in hand (the flush renames the new one over a damaged one).
static int known(vob_pool *p, const std::string &sha, int64_t size) {
    return vob_pool_trusted(p, sha, size, [&](const std::string &path) {
        std::string hex;
        return digest_sha256_file(path, &hex, nullptr) == 0 && hex == sha;
    });
}

int vob_pool_put_stored(vob_pool *p, const std::string &sha, std::string_view stored, vob_pool_error *e) {
    if (p->pending.count(sha))
        return 0;
    std::string tmp;
    int fd;
    int rc = open_tmp(p, &tmp, &fd, e);
    if (rc != 0)
        return rc;
    if ((rc = write_all(fd, stored.data(), stored.size())) != 0) {
        iof_close(fd);
        (void)iof_unlink(tmp.c_str());
        return fail(e, tmp, rc);
    }
    return add_pending(p, sha, tmp, fd, e);
}

int vob_pool_put(vob_pool *p, std::string_view bytes, std::string *sha, vob_pool_error *e) {
    if (digest_sha256_hex(bytes, sha) != 0) {
        e->file = "sha256";
        e->text = "digest failed";
        e->source = 0;
        return ENOMEM;
    }
    if (known(p, *sha, int64_t(bytes.size())))
        return 0;
    return vob_pool_put_stored(p, *sha, bytes, e);   // raw bytes are their own stored form
}

int vob_pool_put_file(vob_pool *p, const std::string &path, std::string *sha, int64_t *size,
                      vob_pool_error *e) {
    int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return fail(e, path, errno, 1);
    struct stat st;
    if (fstat(in, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(in);
        return fail(e, path, EISDIR, 1);
    }
    std::string tmp;
    int fd;
    int rc = open_tmp(p, &tmp, &fd, e);
    if (rc != 0) {
        close(in);
        return rc;
    }
    // One pass: the digest is taken while the bytes are copied.
    digest_sha256 digest;
    int64_t total = 0;
    int write_err = 0;
    int read_err = fileutl_read_chunks(in, [&](const char *data, size_t n) {
        digest.update(data, n);
        if ((write_err = write_all(fd, data, n)) != 0)
            return write_err;
        total += int64_t(n);
        return 0;
    });
    if (write_err)
        rc = fail(e, tmp, write_err);
    else if (read_err)
        rc = fail(e, path, read_err, 1);
    close(in);
    std::string hex = rc == 0 ? digest.final_hex() : "";
    if (rc == 0 && hex.empty()) {
        e->file = "sha256";
        e->text = "digest failed";
        e->source = 0;
        rc = ENOMEM;
    }
    if (rc != 0) {
        iof_close(fd);
        (void)iof_unlink(tmp.c_str());
        return rc;
    }
    *sha = hex;
    *size = total;
    if (known(p, *sha, total)) {
        iof_close(fd);
        (void)iof_unlink(tmp.c_str());
        return 0;
    }
    return add_pending(p, *sha, tmp, fd, e);
}

// The fan-out directory of a digest as a number, -1 when it is not hex.
static int fan_index(const std::string &sha) {
    auto hex = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    if (sha.size() < 2 || hex(sha[0]) < 0 || hex(sha[1]) < 0)
        return -1;
    return hex(sha[0]) * 16 + hex(sha[1]);
}

static int sync_dir(const std::string &dir, bool whole_fs, vob_pool_error *e) {
    int fd = iof_open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || (whole_fs ? iof_syncfs(fd) : iof_fsync(fd)) != 0) {
        int code = errno;
        if (fd >= 0)
            iof_close(fd);
        return fail(e, dir, code);
    }
    iof_close(fd);
    return 0;
}

// The handle's marker in dirty/, made (and synced, unless the caller's
// syncfs follows) before its first blob goes into place: locked while the
// handle lives, so that only a writer that ended without vob_pool_close
// leaves one that nobody holds.
static int make_marker(vob_pool *p, bool synced_later, vob_pool_error *e) {
    if (p->marker_fd >= 0)
        return 0;
    std::string dirty = p->dir + "/dirty";
    bool made = iof_mkdir(dirty.c_str(), 0755) == 0;
    if (!made && errno != EEXIST)
        return fail(e, dirty, errno);
    // Locked under a name scanners skip, then renamed: never seen unlocked.
    static std::atomic<unsigned long> counter{0};
    std::string name = std::to_string(getpid()) + "." + std::to_string(++counter);
    std::string tmp = dirty + "/." + name, m = dirty + "/" + name;
    int fd = iof_open(tmp.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0444);
    if (fd < 0)
        return fail(e, tmp, errno);
    if (flock(fd, LOCK_EX) != 0 || iof_rename(tmp.c_str(), m.c_str()) != 0) {
        int code = errno;
        iof_close(fd);
        (void)iof_unlink(tmp.c_str());
        return fail(e, m, code);
    }
    p->marker_fd = fd;
    p->marker = m;
    if (synced_later)
        return 0;
    int rc = sync_dir(dirty, false, e);
    return rc == 0 && made ? sync_dir(p->dir, false, e) : rc;
}

// The order that makes a committed row's blob whole after a power cut: the
// bytes are on disk (fdatasync, or one syncfs) before the rename gives them
// their final name, and the names are on disk (the directories' fsync, or a
// second syncfs) before the caller's COMMIT.
int vob_pool_flush(vob_pool *p, vob_pool_error *e) {
    if (p->pending.empty())
        return 0;
    bool whole_fs = p->pending.size() >= POOL_SYNCFS_FROM || p->closed_unsynced;
    int rc = make_marker(p, whole_fs, e);
    if (rc == 0)
        rc = sync_open(p, e, !whole_fs);
    if (rc == 0 && whole_fs)
        rc = sync_dir(p->dir, true, e);
    if (rc != 0)
        return rc;
    std::set<std::string> dirs;
    for (auto &kv : p->pending) {
        std::string dir = p->dir + "/" + kv.first.substr(0, 2);
        // A fan-out directory, once there, stays: it is made at most once.
        int fan = fan_index(kv.first);
        if (fan < 0 || !p->fan_made[size_t(fan)]) {
            if (iof_mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
                return fail(e, dir, errno);
            if (fan >= 0)
                p->fan_made[size_t(fan)] = true;
        }
        std::string final = dir + "/" + kv.first;
        if (iof_rename(kv.second.tmp.c_str(), final.c_str()) != 0)
            return fail(e, final, errno);
        kv.second.tmp.clear();
        dirs.insert(dir);
    }
    if (whole_fs) {
        if ((rc = sync_dir(p->dir, true, e)) != 0)
            return rc;
        dirs.clear();
    } else {
        dirs.insert(p->dir);
    }
    for (const std::string &d : dirs)
        if ((rc = sync_dir(d, false, e)) != 0)
            return rc;
    p->pending.clear();
    p->pending_open = 0;
    p->closed_unsynced = false;
    return 0;
}

static void drop_blob(const vob_pool_blob &b) {
    if (b.fd >= 0)
        iof_close(b.fd);
    if (!b.tmp.empty())
        (void)iof_unlink(b.tmp.c_str());
}

void vob_pool_discard(vob_pool *p) {
    for (auto &kv : p->pending)
        drop_blob(kv.second);
    p->pending.clear();
    p->pending_open = 0;
    p->closed_unsynced = false;
}

uint64_t vob_pool_mark(const vob_pool &p) { return p.seq; }

void vob_pool_discard_since(vob_pool *p, uint64_t mark) {
    for (auto it = p->pending.begin(); it != p->pending.end();) {
        if (it->second.seq <= mark) {
            ++it;
            continue;
        }
        if (it->second.fd >= 0)
            p->pending_open--;
        drop_blob(it->second);
        it = p->pending.erase(it);
    }
}

int vob_pool_trash(vob_pool *p, const std::vector<std::string> &shas, vob_pool_error *e) {
    std::string trash = p->dir + "/trash";
    for (const std::string &sha : shas) {
        if (p->pending.count(sha))
            continue;
        if (iof_mkdir(trash.c_str(), 0755) != 0 && errno != EEXIST)
            return fail(e, trash, errno);
        if (iof_rename(vob_pool_path(*p, sha).c_str(), (trash + "/" + sha).c_str()) == 0)
            p->trashed.push_back(sha);
    }
    return 0;
}

void vob_pool_trash_done(vob_pool *p, int committed) {
    for (const std::string &sha : p->trashed) {
        std::string t = p->dir + "/trash/" + sha;
        if (committed)
            (void)iof_unlink(t.c_str());
        else
            (void)iof_rename(t.c_str(), vob_pool_path(*p, sha).c_str());
    }
    p->trashed.clear();
}

std::vector<std::string> vob_pool_entries(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// What a writer killed inside a transaction leaves: blobs in tmp/ that no row
// names yet, and blobs in trash/ whose removal never committed (still named
// by versions: they go back) or whose deletion after the COMMIT was not done.
int vob_pool_has_leftovers(const vob_pool &p) {
    return !vob_pool_entries(p.dir + "/tmp").empty() || !vob_pool_entries(p.dir + "/trash").empty();
}

void vob_pool_recover(vob_pool *p, const std::function<bool(const std::string &sha)> &named) {
    for (const std::string &n : vob_pool_entries(p->dir + "/tmp"))
        (void)iof_unlink((p->dir + "/tmp/" + n).c_str());
    for (const std::string &sha : vob_pool_entries(p->dir + "/trash")) {
        std::string t = p->dir + "/trash/" + sha;
        std::string home = vob_pool_path(*p, sha);
        struct stat st;
        if (sha.size() < 2 || !named(sha) || stat(home.c_str(), &st) == 0) {
            (void)iof_unlink(t.c_str());
            continue;
        }
        std::string sub = p->dir + "/" + sha.substr(0, 2);
        if (iof_mkdir(sub.c_str(), 0755) == 0 || errno == EEXIST)
            (void)iof_rename(t.c_str(), home.c_str());
    }
}

void vob_pool_close(vob_pool *p) {
    vob_pool_discard(p);
    if (p->marker_fd >= 0) {
        (void)iof_unlink(p->marker.c_str());
        iof_close(p->marker_fd);
        p->marker_fd = -1;
        p->marker.clear();
    }
    // This handle checked what it reused after the unclean end it found.
    for (const std::string &m : p->stale)
        (void)iof_unlink(m.c_str());
    p->stale.clear();
}
