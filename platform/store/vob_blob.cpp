// Blobs: the stored forms of version contents (see vob_blob.h), between the
// versions that name them and the database and pool that keep them.
#include "platform/store/vob_blob.h"
#include "platform/store/vob_int.h"
#include "runtime/digest.h"
#include "runtime/fileutl.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

// Full bytes kept for bases and chains; one entry larger than half of it is
// not kept.
enum : size_t { CACHE_MAX = size_t(64) << 20 };
// A delta is taken at once when it is this many times smaller than the
// bytes; otherwise a whole frame is tried too, and wins unless the delta is
// clearly smaller (a whole text ends the chain).
enum { DELTA_GOOD = 4 };

struct vob_blob_state {
    vob_codec *codec = vob_codec_new();
    struct entry {
        std::shared_ptr<const std::string> bytes;
        std::list<std::string>::iterator at;
    };
    std::unordered_map<std::string, entry> cache;
    std::list<std::string> lru;   // most recent first
    size_t cached = 0;
    ~vob_blob_state() { vob_codec_free(codec); }
};

vob_blob_state *vob_blob_state_new() { return new vob_blob_state; }
void vob_blob_state_free(vob_blob_state *s) { delete s; }

static vob_blob_state *state(vob_t *v) {
    if (!v->blobs)
        v->blobs = vob_blob_state_new();
    return v->blobs;
}

static std::shared_ptr<const std::string> cache_get(vob_blob_state *s, const std::string &sha) {
    auto it = s->cache.find(sha);
    if (it == s->cache.end())
        return nullptr;
    s->lru.splice(s->lru.begin(), s->lru, it->second.at);
    return it->second.bytes;
}

static void cache_put(vob_blob_state *s, const std::string &sha, std::shared_ptr<const std::string> bytes) {
    if (bytes->size() > CACHE_MAX / 2 || s->cache.count(sha))
        return;
    s->lru.push_front(sha);
    s->cached += bytes->size();
    s->cache.emplace(sha, vob_blob_state::entry{std::move(bytes), s->lru.begin()});
    while (s->cached > CACHE_MAX) {
        auto old = s->cache.find(s->lru.back());
        s->cached -= old->second.bytes->size();
        s->cache.erase(old);
        s->lru.pop_back();
    }
}

// ---- rows ---------------------------------------------------------------------------

struct blob_row {
    int64_t id = 0, size = 0, stored = 0;
    int form = VOB_FORM_RAW, depth = 0;
    std::string base;
    bool in_pool = false;
    std::string data;   // the stored form, when read with it and kept in the database
};

// The row of sha: VOB_OK, VOB_NOT_FOUND (no message), or VOB_ERR. A VOB of
// an older schema keeps every blob raw in the pool, without rows.
static int get_row(vob_t *v, const std::string &sha, bool with_data, blob_row *r) {
    if (v->schema < 4) {
        r->form = VOB_FORM_RAW;
        r->in_pool = true;
        r->stored = -1;   // whatever the version says
        return VOB_OK;
    }
    // A delta names its base by the base's id; the base's digest comes with it.
    vob_stmt q(v, with_data ? "SELECT a.id, a.size, a.form, b.sha, a.depth, a.stored, a.data IS NULL, a.data"
                              " FROM blob a LEFT JOIN blob b ON b.id = a.base WHERE a.sha = ?1"
                            : "SELECT a.id, a.size, a.form, b.sha, a.depth, a.stored, a.data IS NULL"
                              " FROM blob a LEFT JOIN blob b ON b.id = a.base WHERE a.sha = ?1");
    q.bind(1, sha);
    int rc = q.step();
    if (rc == SQLITE_DONE)
        return VOB_NOT_FOUND;
    if (rc != SQLITE_ROW)
        return VOB_ERR;
    r->id = q.i64(0);
    r->size = q.i64(1);
    r->form = int(q.i64(2));
    r->base = q.str(3);
    r->depth = int(q.i64(4));
    r->stored = q.i64(5);
    r->in_pool = q.i64(6) != 0;
    if (with_data && !r->in_pool) {
        const void *p = sqlite3_column_blob(q.st, 7);
        r->data.assign(p ? static_cast<const char *>(p) : "", size_t(sqlite3_column_bytes(q.st, 7)));
    }
    return VOB_OK;
}

static int read_pool_file(const std::string &path, int64_t want, std::string *out, std::string *why) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *why = errno == ENOENT ? "its pool file " + path + " is missing" : path + ": " + strerror(errno);
        return VOB_CORRUPT;
    }
    out->clear();
    if (want > 0)
        out->reserve(size_t(want));
    int err = fileutl_read_chunks(fd, [&](const char *d, size_t n) {
        out->append(d, n);
        return 0;
    });
    close(fd);
    if (err) {
        *why = path + ": " + strerror(err);
        return VOB_ERR;
    }
    if (want >= 0 && int64_t(out->size()) != want) {
        *why = "its pool file " + path + " has " + std::to_string(out->size()) + " bytes where " +
               std::to_string(want) + " were stored";
        return VOB_CORRUPT;
    }
    return VOB_OK;
}

// The stored form of a row read with its data: from the row, or its pool file.
static int stored_form(vob_t *v, const std::string &sha, blob_row *r, std::string *why) {
    if (!r->in_pool)
        return VOB_OK;
    return read_pool_file(vob_blob_path(v, sha), r->stored, &r->data, why);
}

static std::string short_sha(const std::string &sha) { return sha.substr(0, 12); }

// ---- reading --------------------------------------------------------------------------

// The rows of a blob's whole chain with their stored forms, in one query
// rather than one per delta (what a view's load of many files pays for).
static int prefetch_chain(vob_t *v, const std::string &sha, std::unordered_map<std::string, blob_row> *out) {
    if (v->schema < 4)
        return VOB_OK;
    vob_stmt q(v,
               "WITH RECURSIVE c(id, n) AS (SELECT id, 0 FROM blob WHERE sha = ?1"
               " UNION ALL SELECT b.base, c.n + 1 FROM blob b JOIN c ON b.id = c.id"
               " WHERE b.form = 2 AND b.base IS NOT NULL AND c.n <= ?2)"
               " SELECT a.sha, a.id, a.size, a.form, bb.sha, a.depth, a.stored, a.data IS NULL, a.data"
               " FROM c JOIN blob a ON a.id = c.id LEFT JOIN blob bb ON bb.id = a.base");
    q.bind(1, sha).bind(2, int64_t(VOB_CHAIN_MAX));
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        blob_row r;
        r.id = q.i64(1);
        r.size = q.i64(2);
        r.form = int(q.i64(3));
        r.base = q.str(4);
        r.depth = int(q.i64(5));
        r.stored = q.i64(6);
        r.in_pool = q.i64(7) != 0;
        if (!r.in_pool) {
            const void *p = sqlite3_column_blob(q.st, 8);
            r.data.assign(p ? static_cast<const char *>(p) : "", size_t(sqlite3_column_bytes(q.st, 8)));
        }
        out->emplace(q.str(0), std::move(r));
    }
    return rc == SQLITE_DONE ? VOB_OK : VOB_ERR;
}

int vob_blob_read(vob_t *v, const std::string &sha, int64_t size, std::shared_ptr<const std::string> *bytes,
                  std::string *why) {
    vob_blob_state *s = state(v);
    if ((*bytes = cache_get(s, sha)))
        return VOB_OK;
    // The chain from the blob to a whole text (or to bytes in the cache).
    std::vector<std::pair<std::string, blob_row>> chain;
    std::unordered_map<std::string, blob_row> fetched;
    if (prefetch_chain(v, sha, &fetched) != VOB_OK) {
        *why = vob_errmsg(v);
        return VOB_ERR;
    }
    std::shared_ptr<const std::string> start;
    std::string at = sha;
    int64_t at_size = size;
    for (;;) {
        blob_row r;
        auto got = fetched.find(at);
        int rc = got != fetched.end() ? VOB_OK : get_row(v, at, true, &r);
        if (got != fetched.end())
            r = std::move(got->second);
        if (rc == VOB_NOT_FOUND) {
            *why = at == sha ? "it has no stored form" : "the contents it is stored against (" + short_sha(at) + ") are gone";
            return VOB_CORRUPT;
        }
        if (rc != VOB_OK) {
            *why = vob_errmsg(v);
            return rc;
        }
        if (r.stored < 0)   // an older schema's raw blob: the version's size
            r.stored = r.size = at_size;
        if (at_size >= 0 && r.size != at_size) {
            *why = "its stored form holds " + std::to_string(r.size) + " bytes where " + std::to_string(at_size) +
                   " are expected";
            return VOB_CORRUPT;
        }
        if ((rc = stored_form(v, at, &r, why)) != VOB_OK) {
            if (at != sha)
                *why = "the contents it is stored against (" + short_sha(at) + ") are damaged: " + *why;
            return rc;
        }
        bool delta = r.form == VOB_FORM_DELTA;
        std::string base = r.base;
        if (delta && base.empty()) {
            *why = at == sha ? "the contents it is stored against are gone"
                             : "the contents " + short_sha(at) + " it is stored against are gone";
            return VOB_CORRUPT;
        }
        chain.emplace_back(at, std::move(r));
        if (!delta)
            break;
        if (chain.size() > size_t(VOB_CHAIN_MAX) + 1) {
            *why = "its chain of deltas is longer than " + std::to_string(VOB_CHAIN_MAX);
            return VOB_CORRUPT;
        }
        if ((start = cache_get(s, base)))
            break;
        at = base;
        at_size = -1;   // a base's own row says its size
    }
    // Rebuilt from the far end: each frame needs the full bytes before it.
    for (size_t i = chain.size(); i-- > 0;) {
        const std::string &name = chain[i].first;
        blob_row &r = chain[i].second;
        auto full = std::make_shared<std::string>();
        bool ok = true;
        if (r.form == VOB_FORM_RAW) {
            *full = std::move(r.data);
            if (int64_t(full->size()) != r.size) {
                *why = "its stored form gives " + std::to_string(full->size()) + " bytes where the version has " +
                       std::to_string(r.size);
                ok = false;
            }
        }
        else if (r.form == VOB_FORM_ZSTD)
            ok = vob_codec_decode(s->codec, r.data, {}, r.size, full.get(), why);
        else if (r.form == VOB_FORM_DELTA && start)
            ok = vob_codec_decode(s->codec, r.data, *start, r.size, full.get(), why);
        else {
            *why = "its stored form is of an unknown kind " + std::to_string(r.form);
            ok = false;
        }
        if (!ok) {
            if (name != sha)
                *why = "the contents it is stored against (" + short_sha(name) + ") are damaged: " + *why;
            return VOB_CORRUPT;
        }
        // Only the blob asked for is kept: a later read of its successor
        // starts there; the steps before it are seldom asked for again.
        if (i == 0)
            cache_put(s, name, full);
        start = std::move(full);
    }
    *bytes = std::move(start);
    return VOB_OK;
}

void vob_blob_cache_drop(vob_t *v) {
    vob_blob_state *s = state(v);
    s->cache.clear();
    s->lru.clear();
    s->cached = 0;
}

int vob_blob_stream_path(vob_t *v, const std::string &sha, std::string *path) {
    path->clear();
    blob_row r;
    int rc = get_row(v, sha, false, &r);
    if (rc == VOB_OK && r.in_pool && r.form == VOB_FORM_RAW)
        *path = vob_blob_path(v, sha);
    return rc == VOB_ERR ? VOB_ERR : VOB_OK;
}

// ---- writing --------------------------------------------------------------------------

// The stored form of bytes: raw, whole, or a delta against base (full bytes
// of the blob base_sha at depth base_depth; null for none).
struct encoded {
    int form = VOB_FORM_RAW, depth = 0;
    int64_t base = 0;   // the base's id
    std::string frame;
};

static bool encode(vob_codec *c, std::string_view bytes, const std::string *base, int64_t base_id,
                   int base_depth, encoded *e) {
    *e = encoded();
    if (bytes.size() < VOB_COMPRESS_MIN)
        return true;
    std::string delta, whole;
    if (base) {
        if (!vob_codec_encode(c, bytes, *base, &delta))
            return false;
        if (delta.size() * DELTA_GOOD <= bytes.size()) {
            e->form = VOB_FORM_DELTA;
            e->base = base_id;
            e->depth = base_depth + 1;
            e->frame = std::move(delta);
            return true;
        }
    }
    if (!vob_codec_encode(c, bytes, {}, &whole))
        return false;
    if (base && delta.size() + delta.size() / 4 < whole.size()) {
        e->form = VOB_FORM_DELTA;
        e->base = base_id;
        e->depth = base_depth + 1;
        e->frame = std::move(delta);
    } else if (whole.size() + bytes.size() / 32 < bytes.size()) {
        e->form = VOB_FORM_ZSTD;
        e->frame = std::move(whole);
    }   // else incompressible: kept raw
    return true;
}

// The full bytes of a delta base, when the new contents may be stored
// against it: it exists, its chain has room, and it is small enough to hold.
static std::shared_ptr<const std::string> usable_base(vob_t *v, const std::string &base_sha, int64_t size,
                                                      int *depth, int64_t *id) {
    if (base_sha.empty() || size < int64_t(VOB_COMPRESS_MIN))
        return nullptr;
    blob_row b;
    if (get_row(v, base_sha, false, &b) != VOB_OK || b.depth >= VOB_CHAIN_MAX ||
        b.size < int64_t(VOB_COMPRESS_MIN) || b.size + size > VOB_DELTA_MAX)
        return nullptr;
    std::shared_ptr<const std::string> full;
    std::string why;
    if (vob_blob_read(v, base_sha, b.size, &full, &why) != VOB_OK)
        return nullptr;   // a damaged base is no base; check tells of it
    *depth = b.depth;
    *id = b.id;
    return full;
}

static int pool_write(vob_t *v, const std::string &sha, std::string_view stored) {
    vob_pool_error pe;
    return vob_pool_put_stored(&v->pool, sha, stored, &pe) == 0 ? VOB_OK : vob_db_pool_fail(v, pe);
}

// Inserts the row of a new blob (or replaces the stored form of a damaged
// one, id > 0), its data in the database or its pool file pending.
static int write_row(vob_t *v, int64_t id, const std::string &sha, std::string_view bytes, const encoded &e,
                     bool force_pool) {
    std::string_view stored = e.form == VOB_FORM_RAW ? bytes : std::string_view(e.frame);
    bool in_pool = force_pool || stored.size() > VOB_INLINE_MAX;
    if (in_pool) {
        int rc = pool_write(v, sha, stored);
        if (rc != VOB_OK)
            return rc;
    }
    vob_stmt q(v, id ? "UPDATE blob SET size = ?2, form = ?3, base = ?4, depth = ?5, stored = ?6, data = ?7 WHERE id = ?8"
                     : "INSERT INTO blob(sha, size, form, base, depth, stored, data) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    q.bind(1, sha).bind(2, int64_t(bytes.size())).bind(3, int64_t(e.form)).bind(5, int64_t(e.depth));
    q.bind(6, int64_t(stored.size()));
    if (!e.base)
        q.bind_null(4);
    else
        q.bind(4, e.base);
    if (in_pool)
        q.bind_null(7);
    else
        q.bind_blob(7, stored);
    if (id)
        q.bind(8, id);
    return q.exec();
}

// Whether the pool file of an existing blob is whole: of its stored size,
// and after an unclean end rebuilt to its digest (once per handle).
static bool pool_blob_whole(vob_t *v, const std::string &sha, const blob_row &r) {
    return vob_pool_trusted(&v->pool, sha, r.stored, [&](const std::string &) {
        std::shared_ptr<const std::string> full;
        std::string why, hex;
        return vob_blob_read(v, sha, r.size, &full, &why) == VOB_OK && digest_sha256_hex(*full, &hex) == 0 &&
               hex == sha;
    });
}

static int put_known(vob_t *v, const std::string &sha, std::string_view bytes, const blob_row &r) {
    if (!r.in_pool || pool_blob_whole(v, sha, r))
        return VOB_OK;
    // Damaged: written again whole from the bytes in hand, renamed over it.
    encoded e;
    if (!encode(state(v)->codec, bytes, nullptr, 0, 0, &e))
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_POOL_WRITE, v->tag.c_str(), "zstd", "compression failed"));
    return write_row(v, r.id, sha, bytes, e, true);
}

int vob_blob_put(vob_t *v, std::string_view bytes, const std::string &base_sha, std::string *sha) {
    if (digest_sha256_hex(bytes, sha) != 0)
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_POOL_WRITE, v->tag.c_str(), "sha256", "digest failed"));
    blob_row r;
    int rc = get_row(v, *sha, false, &r);
    if (rc == VOB_OK)
        return put_known(v, *sha, bytes, r);
    if (rc != VOB_NOT_FOUND)
        return rc;
    vob_blob_state *s = state(v);
    int base_depth = 0;
    int64_t base_id = 0;
    auto base = usable_base(v, base_sha, int64_t(bytes.size()), &base_depth, &base_id);
    encoded e;
    if (!encode(s->codec, bytes, base.get(), base_id, base_depth, &e))
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_POOL_WRITE, v->tag.c_str(), "zstd", "compression failed"));
    if ((rc = write_row(v, 0, *sha, bytes, e, false)) != VOB_OK)
        return rc;
    if (bytes.size() >= VOB_COMPRESS_MIN)
        cache_put(s, *sha, std::make_shared<const std::string>(bytes));
    return VOB_OK;
}

int vob_blob_put_file(vob_t *v, const std::string &path, const std::string &base_sha, std::string *sha,
                      int64_t *size) {
    vob_pool_error pe;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > VOB_WHOLE_MAX) {
        // Copied raw as it is read; a row names it unless one does already.
        if (vob_pool_put_file(&v->pool, path, sha, size, &pe) != 0)
            return vob_db_pool_fail(v, pe);
        blob_row r;
        int rc = get_row(v, *sha, false, &r);
        if (rc != VOB_NOT_FOUND)
            return rc;
        vob_stmt q(v, "INSERT INTO blob(sha, size, form, base, depth, stored, data) VALUES(?1, ?2, 0, NULL, 0, ?2, NULL)");
        q.bind(1, *sha).bind(2, *size);
        return q.exec();
    }
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int err = fd < 0 ? errno : 0;
    std::string bytes;
    if (fd >= 0) {
        if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
            err = EISDIR;
        else
            err = fileutl_read_chunks(fd, [&](const char *d, size_t n) {
                bytes.append(d, n);
                return 0;
            });
        close(fd);
    }
    if (err) {
        pe.file = path;
        pe.text = strerror(err);
        pe.source = 1;
        return vob_db_pool_fail(v, pe);
    }
    *size = int64_t(bytes.size());
    return vob_blob_put(v, bytes, base_sha, sha);
}

// ---- leaving --------------------------------------------------------------------------

// Whether anything still names the blob: a version, or a delta as its base.
static int still_named(vob_t *v, const std::string &sha, int64_t id, bool *named) {
    vob_stmt q(v, "SELECT 1 FROM ver WHERE sha = ?1 LIMIT 1");
    q.bind(1, sha);
    int rc = q.step();
    if (rc == SQLITE_DONE && id) {
        vob_stmt b(v, "SELECT 1 FROM blob WHERE base = ?1 LIMIT 1");
        b.bind(1, id);
        rc = b.step();
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return VOB_ERR;
    *named = rc == SQLITE_ROW;
    return VOB_OK;
}

int vob_blob_collect(vob_t *v, std::vector<std::string> *pool_gone) {
    std::vector<std::string> work;
    work.swap(v->drop_blobs);
    while (!work.empty()) {
        std::string sha = work.back();
        work.pop_back();
        blob_row r;
        int rc = get_row(v, sha, false, &r);
        if (rc == VOB_NOT_FOUND)
            continue;
        bool named = false;
        if (rc == VOB_OK)
            rc = still_named(v, sha, r.id, &named);
        if (rc != VOB_OK)
            return rc;
        if (named)
            continue;
        if (r.in_pool)
            pool_gone->push_back(sha);
        if (v->schema < 4)
            continue;
        vob_stmt d(v, "DELETE FROM blob WHERE id = ?1");
        d.bind(1, r.id);
        if (d.exec() != VOB_OK)
            return VOB_ERR;
        if (r.form == VOB_FORM_DELTA)
            work.push_back(r.base);
    }
    return VOB_OK;
}

bool vob_blob_in_pool(vob_t *v, const std::string &sha) {
    if (v->schema < 4) {
        vob_stmt q(v, "SELECT 1 FROM ver WHERE sha = ?1 LIMIT 1");
        q.bind(1, sha);
        return q.step() == SQLITE_ROW;
    }
    vob_stmt q(v, "SELECT 1 FROM blob WHERE sha = ?1 AND data IS NULL");
    q.bind(1, sha);
    return q.step() == SQLITE_ROW;
}
