// The content pool: blobs named by the SHA-256 of their bytes, in
// pool/<first two hex digits>/<hex>. A new blob goes to pool/tmp/ first and
// is synced and renamed into place by vob_pool_flush, which runs before the
// COMMIT of the transaction whose rows name it; a crash in between leaves
// only unreferenced files.
#include "platform/vob_int.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

const char *const VOB_EMPTY_SHA = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

enum { POOL_MAX_OPEN = 64 };   // pending blobs kept open for one sync at the commit

static std::string hex_of(const unsigned char *md, unsigned n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s(n * 2, '0');
    for (unsigned i = 0; i < n; i++) {
        s[2 * i] = digits[md[i] >> 4];
        s[2 * i + 1] = digits[md[i] & 15];
    }
    return s;
}

int vob_sha256_hex(std::string_view bytes, std::string *hex)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), md, &n, EVP_sha256(), nullptr) != 1)
        return VOB_ERR;
    *hex = hex_of(md, n);
    return VOB_OK;
}

std::string vob_pool_path(const vob_t *v, const std::string &sha)
{
    return v->pool + "/" + sha.substr(0, 2) + "/" + sha;
}

static int write_all(int fd, const char *p, size_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        p += w;
        n -= (size_t)w;
    }
    return 0;
}

static int pool_fail(vob_t *v, const std::string &file, int e)
{
    return vob_fail(v, VOB_ERR, VOB_MSG(VM_POOL_WRITE, v->tag.c_str(), file.c_str(), strerror(e)));
}

// Closes the open pending blobs, so that few descriptors stay open; with
// `datasync` each is synced first (else the caller syncs the file system).
static int sync_open(vob_t *v, bool datasync = true)
{
    for (auto &kv : v->pending) {
        vob_pending_blob &b = kv.second;
        if (b.fd < 0)
            continue;
        int bad = datasync && fdatasync(b.fd) != 0 ? errno : 0;
        if (close(b.fd) != 0 && !bad)
            bad = errno;
        b.fd = -1;
        if (bad)
            return pool_fail(v, b.tmp, bad);
    }
    v->pending_open = 0;
    return VOB_OK;
}

static int open_tmp(vob_t *v, std::string *tmp, int *fd)
{
    static unsigned long counter = 0;
    std::string dir = v->pool + "/tmp";
    for (int tries = 0; tries < 100; tries++) {
        *tmp = dir + "/" + std::to_string(getpid()) + "." + std::to_string(++counter);
        *fd = open(tmp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0444);
        if (*fd >= 0)
            return VOB_OK;
        if (errno == ENOENT && mkdir(dir.c_str(), 0755) == 0)
            continue;
        if (errno != EEXIST)
            return pool_fail(v, *tmp, errno);
    }
    return pool_fail(v, dir, EEXIST);
}

static int add_pending(vob_t *v, const std::string &sha, const std::string &tmp, int fd)
{
    vob_pending_blob b;
    b.sha = sha;
    b.tmp = tmp;
    b.fd = fd;
    v->pending.emplace(sha, b);
    return ++v->pending_open > POOL_MAX_OPEN ? sync_open(v) : VOB_OK;
}

static int known(vob_t *v, const std::string &sha)
{
    if (v->pending.count(sha))
        return 1;
    struct stat st;
    return stat(vob_pool_path(v, sha).c_str(), &st) == 0;
}

int vob_pool_put(vob_t *v, std::string_view bytes, std::string *sha)
{
    if (vob_sha256_hex(bytes, sha) != VOB_OK)
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_POOL_WRITE, v->tag.c_str(), "sha256", "digest failed"));
    if (known(v, *sha))
        return VOB_OK;
    std::string tmp;
    int fd;
    int rc = open_tmp(v, &tmp, &fd);
    if (rc != VOB_OK)
        return rc;
    if (write_all(fd, bytes.data(), bytes.size()) != 0) {
        int e = errno;
        close(fd);
        unlink(tmp.c_str());
        return pool_fail(v, tmp, e);
    }
    return add_pending(v, *sha, tmp, fd);
}

int vob_pool_put_file(vob_t *v, const std::string &path, std::string *sha, int64_t *size)
{
    int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_READ_FILE, v->tag.c_str(), path.c_str(), strerror(errno)));
    struct stat st;
    if (fstat(in, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(in);
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_READ_FILE, v->tag.c_str(), path.c_str(), strerror(EISDIR)));
    }
    std::string tmp;
    int fd;
    int rc = open_tmp(v, &tmp, &fd);
    if (rc != VOB_OK) {
        close(in);
        return rc;
    }
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
    std::vector<char> buf(1 << 16);
    int64_t total = 0;
    for (;;) {
        ssize_t n = read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            rc = vob_fail(v, VOB_ERR, VOB_MSG(VM_READ_FILE, v->tag.c_str(), path.c_str(), strerror(errno)));
            break;
        }
        if (n == 0)
            break;
        EVP_DigestUpdate(ctx, buf.data(), (size_t)n);
        if (write_all(fd, buf.data(), (size_t)n) != 0) {
            rc = pool_fail(v, tmp, errno);
            break;
        }
        total += n;
    }
    close(in);
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned mdlen = 0;
    EVP_DigestFinal_ex(ctx, md, &mdlen);
    EVP_MD_CTX_free(ctx);
    if (rc != VOB_OK) {
        close(fd);
        unlink(tmp.c_str());
        return rc;
    }
    *sha = hex_of(md, mdlen);
    *size = total;
    if (known(v, *sha)) {
        close(fd);
        unlink(tmp.c_str());
        return VOB_OK;
    }
    return add_pending(v, *sha, tmp, fd);
}

// Past this many blobs in one transaction, one sync of the whole file system
// is cheaper than a sync per blob and per directory; either way every blob and
// its name are on disk before the row that names it commits.
enum { POOL_SYNCFS_FROM = 3 };

static int sync_pool_fs(vob_t *v)
{
    int fd = open(v->pool.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || syncfs(fd) != 0) {
        int e = errno;
        if (fd >= 0)
            close(fd);
        return pool_fail(v, v->pool, e);
    }
    close(fd);
    return VOB_OK;
}

int vob_pool_flush(vob_t *v)
{
    if (v->pending.empty())
        return VOB_OK;
    bool whole_fs = v->pending.size() >= POOL_SYNCFS_FROM;
    int rc = sync_open(v, !whole_fs);
    if (rc != VOB_OK)
        return rc;
    std::set<std::string> dirs;
    for (auto &kv : v->pending) {
        std::string dir = v->pool + "/" + kv.first.substr(0, 2);
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
            return pool_fail(v, dir, errno);
        std::string final = dir + "/" + kv.first;
        if (rename(kv.second.tmp.c_str(), final.c_str()) != 0)
            return pool_fail(v, final, errno);
        kv.second.tmp.clear();
        dirs.insert(dir);
    }
    if (whole_fs) {
        rc = sync_pool_fs(v);
        if (rc != VOB_OK)
            return rc;
        dirs.clear();
    } else {
        dirs.insert(v->pool);
    }
    for (const std::string &d : dirs) {
        int fd = open(d.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0 || fsync(fd) != 0) {
            int e = errno;
            if (fd >= 0)
                close(fd);
            return pool_fail(v, d, e);
        }
        close(fd);
    }
    v->pending.clear();
    v->pending_open = 0;
    return VOB_OK;
}

// Blobs that lost their last version move to pool/trash/ before the COMMIT
// and are deleted after it (moved back when it fails), so that no writer can
// find a blob that is about to go.
int vob_pool_trash(vob_t *v, std::vector<std::string> *moved)
{
    std::string trash = v->pool + "/trash";
    for (const std::string &sha : v->drop_blobs) {
        if (v->pending.count(sha))
            continue;
        vob_stmt q(v, "SELECT 1 FROM ver WHERE sha = ?1 LIMIT 1");
        q.bind(1, sha);
        int rc = q.step();
        if (rc == SQLITE_ROW)
            continue;
        if (rc != SQLITE_DONE)
            return VOB_ERR;
        if (mkdir(trash.c_str(), 0755) != 0 && errno != EEXIST)
            return pool_fail(v, trash, errno);
        if (rename(vob_pool_path(v, sha).c_str(), (trash + "/" + sha).c_str()) == 0)
            moved->push_back(sha);
    }
    v->drop_blobs.clear();
    return VOB_OK;
}

void vob_pool_untrash(vob_t *v, const std::vector<std::string> &moved, int committed)
{
    for (const std::string &sha : moved) {
        std::string t = v->pool + "/trash/" + sha;
        if (committed)
            unlink(t.c_str());
        else
            rename(t.c_str(), vob_pool_path(v, sha).c_str());
    }
}

void vob_pool_discard(vob_t *v)
{
    for (auto &kv : v->pending) {
        if (kv.second.fd >= 0)
            close(kv.second.fd);
        if (!kv.second.tmp.empty())
            unlink(kv.second.tmp.c_str());
    }
    v->pending.clear();
    v->pending_open = 0;
}
