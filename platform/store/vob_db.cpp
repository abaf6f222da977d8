// The VOB database: opening, the schema, prepared statements, transactions.
//
// Schema (one row per object in obj, which carries its event; the other
// tables hold what each metatype adds):
//   meta(key, value)                       magic, schema, tag, uuid, owner, project, well-known ids
//   obj(oid, mtype, time, user, grp, uname, host, comment)
//   type(oid, mtype, name)                 element/branch/label/attribute/hyperlink types
//   elem(oid, mtype, eltype, main_branch, parent, name)
//   branch(oid, elem, brtype, sprout, path, next_num)
//   ver(oid, elem, branch, num, sha, size) sha null: no contents; ver_sha on sha (schema 2)
//   dirent(dirver, name, elem)             the namespace of each directory version
//   label(oid, ver, elem, lbtype)          at most one per (elem, lbtype)
//   attr(oid, target, attype, value)       at most one per (target, attype)
//   hlink(oid, hltype, src, dst)
//   lock(oid, target, obsolete)
//   ckout(oid, elem, branch, ver, reserved, view)
//   record(oid, mtype, name, body)         records of the layers above (schema 3), UNIQUE(mtype, name)
//   blob(id, sha, size, form, base, depth, stored, data)
//                                          stored forms of contents (schema 4, vob_blob.h), UNIQUE(sha)
#include "platform/store/vob_int.h"

#include "runtime/fileutl.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

static const char *const schema_sql =
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;"
    "CREATE TABLE obj(oid INTEGER PRIMARY KEY AUTOINCREMENT, mtype INTEGER NOT NULL,"
    " time INTEGER NOT NULL, user TEXT NOT NULL, grp TEXT NOT NULL, uname TEXT NOT NULL,"
    " host TEXT NOT NULL, comment TEXT NOT NULL);"
    "CREATE TABLE type(oid INTEGER PRIMARY KEY, mtype INTEGER NOT NULL, name TEXT NOT NULL,"
    " UNIQUE(mtype, name));"
    "CREATE TABLE elem(oid INTEGER PRIMARY KEY, mtype INTEGER NOT NULL, eltype INTEGER NOT NULL,"
    " main_branch INTEGER NOT NULL, parent INTEGER NOT NULL, name TEXT NOT NULL);"
    "CREATE TABLE branch(oid INTEGER PRIMARY KEY, elem INTEGER NOT NULL, brtype INTEGER NOT NULL,"
    " sprout INTEGER NOT NULL, path TEXT NOT NULL, next_num INTEGER NOT NULL,"
    " UNIQUE(elem, brtype));"
    "CREATE INDEX branch_path ON branch(elem, path);"
    "CREATE INDEX branch_sprout ON branch(sprout);"
    "CREATE TABLE ver(oid INTEGER PRIMARY KEY, elem INTEGER NOT NULL, branch INTEGER NOT NULL,"
    " num INTEGER NOT NULL, sha TEXT, size INTEGER NOT NULL, UNIQUE(branch, num));"
    "CREATE INDEX ver_sha ON ver(sha) WHERE sha IS NOT NULL;"
    "CREATE TABLE dirent(dirver INTEGER NOT NULL, name TEXT NOT NULL, elem INTEGER NOT NULL,"
    " PRIMARY KEY(dirver, name)) WITHOUT ROWID;"
    "CREATE TABLE label(oid INTEGER PRIMARY KEY, ver INTEGER NOT NULL, elem INTEGER NOT NULL,"
    " lbtype INTEGER NOT NULL, UNIQUE(elem, lbtype));"
    "CREATE INDEX label_ver ON label(ver);"
    "CREATE TABLE attr(oid INTEGER PRIMARY KEY, target INTEGER NOT NULL, attype INTEGER NOT NULL,"
    " value TEXT NOT NULL, UNIQUE(target, attype));"
    "CREATE TABLE hlink(oid INTEGER PRIMARY KEY, hltype INTEGER NOT NULL, src INTEGER NOT NULL,"
    " dst INTEGER NOT NULL);"
    "CREATE INDEX hlink_src ON hlink(src);"
    "CREATE INDEX hlink_dst ON hlink(dst);"
    "CREATE TABLE lock(oid INTEGER PRIMARY KEY, target INTEGER NOT NULL UNIQUE,"
    " obsolete INTEGER NOT NULL);"
    "CREATE TABLE ckout(oid INTEGER PRIMARY KEY, elem INTEGER NOT NULL, branch INTEGER NOT NULL,"
    " ver INTEGER NOT NULL, reserved INTEGER NOT NULL, view TEXT NOT NULL, UNIQUE(elem, view));"
    "CREATE INDEX ckout_branch ON ckout(branch);"
    "CREATE TABLE record(oid INTEGER PRIMARY KEY, mtype INTEGER NOT NULL, name TEXT NOT NULL,"
    " body TEXT NOT NULL, UNIQUE(mtype, name));"
    "CREATE TABLE blob(id INTEGER PRIMARY KEY, sha TEXT NOT NULL UNIQUE, size INTEGER NOT NULL,"
    " form INTEGER NOT NULL, base INTEGER, depth INTEGER NOT NULL, stored INTEGER NOT NULL, data BLOB);"
    "CREATE INDEX blob_base ON blob(base) WHERE base IS NOT NULL;";

// What raises a database of schema n-1 to n, at index n. Each step must be
// idempotent and make nothing a reader of the older schema needs, so that an
// old VOB reads the same without it.
static const char *const upgrade_sql[VOB_SCHEMA_VERSION + 1] = {
    nullptr,
    nullptr,
    "CREATE INDEX IF NOT EXISTS ver_sha ON ver(sha) WHERE sha IS NOT NULL",
    "CREATE TABLE IF NOT EXISTS record(oid INTEGER PRIMARY KEY, mtype INTEGER NOT NULL,"
    " name TEXT NOT NULL, body TEXT NOT NULL, UNIQUE(mtype, name))",
    // Every blob of an older schema is a raw pool file: each gets its row.
    "CREATE TABLE IF NOT EXISTS blob(id INTEGER PRIMARY KEY, sha TEXT NOT NULL UNIQUE, size INTEGER NOT NULL,"
    " form INTEGER NOT NULL, base INTEGER, depth INTEGER NOT NULL, stored INTEGER NOT NULL, data BLOB);"
    "CREATE INDEX IF NOT EXISTS blob_base ON blob(base) WHERE base IS NOT NULL;"
    "INSERT OR IGNORE INTO blob(sha, size, form, base, depth, stored, data)"
    " SELECT sha, MAX(size), 0, NULL, 0, MAX(size), NULL FROM ver WHERE sha IS NOT NULL GROUP BY sha",
};

// ---- statements -------------------------------------------------------------

vob_stmt::vob_stmt(vob_t *v_, const char *sql_) : v(v_), sql(sql_) {
    auto it = v->stmts.find(sql);
    if (it != v->stmts.end()) {
        st = it->second;
        return;
    }
    if (sqlite3_prepare_v3(v->db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK) {
        (void)vob_fail_sql(v, "preparing a query");   // the message stays; step() then fails
        st = nullptr;
        return;
    }
    v->stmts.emplace(sql, st);
}

vob_stmt::~vob_stmt() {
    if (st) {
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
    }
}

vob_stmt &vob_stmt::bind(int i, int64_t x) {
    if (st)
        sqlite3_bind_int64(st, i, x);
    return *this;
}
vob_stmt &vob_stmt::bind(int i, const std::string &s) {
    if (st)
        sqlite3_bind_text(st, i, s.data(), (int)s.size(), SQLITE_TRANSIENT);
    return *this;
}
vob_stmt &vob_stmt::bind_blob_text(int i, std::string_view s) {
    if (st)
        sqlite3_bind_text(st, i, s.data(), (int)s.size(), SQLITE_TRANSIENT);
    return *this;
}
vob_stmt &vob_stmt::bind_blob(int i, std::string_view s) {
    if (st)
        sqlite3_bind_blob64(st, i, s.data() ? s.data() : "", s.size(), SQLITE_STATIC);
    return *this;
}
vob_stmt &vob_stmt::bind_null(int i) {
    if (st)
        sqlite3_bind_null(st, i);
    return *this;
}

// Statements started in this process, for measurements (vob_queries_run).
static std::atomic<int64_t> queries_run{0};

int64_t vob_queries_run() { return queries_run.load(std::memory_order_relaxed); }

int vob_stmt::step() {
    if (!st)
        return SQLITE_ERROR;
    if (!sqlite3_stmt_busy(st))
        queries_run.fetch_add(1, std::memory_order_relaxed);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        (void)vob_fail_sql(v, "running a query");   // the message stays; the caller sees rc
    return rc;
}

int64_t vob_stmt::i64(int col) const { return sqlite3_column_int64(st, col); }
int vob_stmt::is_null(int col) const { return sqlite3_column_type(st, col) == SQLITE_NULL; }
std::string vob_stmt::str(int col) const {
    const unsigned char *t = sqlite3_column_text(st, col);
    int n = sqlite3_column_bytes(st, col);
    return t ? std::string((const char *)t, (size_t)n) : std::string();
}

int vob_stmt::exec() {
    int rc;
    while ((rc = step()) == SQLITE_ROW) {
    }
    return rc == SQLITE_DONE ? VOB_OK : VOB_ERR;
}

int vob_stmt::exec_insert() {
    int rc = exec();
    if (rc != VOB_OK && sqlite3_errcode(v->db) == SQLITE_CONSTRAINT)
        return VOB_EXISTS;
    return rc;
}

int vob_new_obj(vob_t *v, int mtype, const vob_event *ev, vob_oid *oid) {
    vob_event now;
    if (!ev) {
        now = vob_event_now();
        ev = &now;
    }
    vob_stmt q(v,
               "INSERT INTO obj(mtype, time, user, grp, uname, host, comment)"
               " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    q.bind(1, (int64_t)mtype).bind(2, ev->time).bind(3, ev->user).bind(4, ev->group);
    q.bind(5, ev->name).bind(6, ev->host).bind(7, ev->comment);
    if (q.exec() != VOB_OK)
        return VOB_ERR;
    *oid = sqlite3_last_insert_rowid(v->db);
    return VOB_OK;
}

// ---- failures -----------------------------------------------------------------

int vob_fail(vob_t *v, int rc, const std::string &msg) {
    v->err = msg;
    return rc;
}

int vob_fail_sql(vob_t *v, const char *doing) {
    int code = sqlite3_errcode(v->db);
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        return vob_fail(v, VOB_BUSY, VOB_MSG(VM_BUSY, v->tag.c_str(), v->busy_ms, v->dbpath.c_str()));
    int rc = (code == SQLITE_CORRUPT || code == SQLITE_NOTADB) ? VOB_CORRUPT : VOB_ERR;
    return vob_fail(v, rc,
                    VOB_MSG(VM_SQL, v->tag.c_str(), doing, sqlite3_errmsg(v->db)) + " (" + v->dbpath + ")");
}

// ---- transactions ------------------------------------------------------------------

// The transaction ended: so did its savepoints.
static void end_savepoints(vob_t *v) {
    v->sp_open.clear();
    v->sp_merged.clear();
    v->sp_txn_first = v->sp_next + 1;
}

static int read_only_fail(vob_t *v) {
    return vob_fail(v, VOB_ERR, VOB_MSG(VM_READ_ONLY, v->tag.c_str(), v->storage.c_str(), v->ro_why.c_str()));
}

static int upgrade_in_txn(vob_t *v);

int vob_begin(vob_t *v, int write) {
    if (write && v->read_only)
        return read_only_fail(v);
    int rc = sqlite3_exec(v->db, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return vob_fail_sql(v, "starting a transaction");
    v->depth = 1;
    v->writing = write;
    v->doomed = 0;
    v->txn_dirver.clear();
    end_savepoints(v);
    // Opening could not upgrade (another writer held the VOB): the first
    // write transaction does, so that the writes go to the current schema.
    if (write && v->schema < VOB_SCHEMA_VERSION && (rc = upgrade_in_txn(v)) != VOB_OK) {
        std::string keep = v->err;
        vob_rollback(v);
        v->err = keep;
        return rc;
    }
    return VOB_OK;
}

int vob_db_pool_fail(vob_t *v, const vob_pool_error &e) {
    if (e.source)
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_READ_FILE, v->tag.c_str(), e.file.c_str(), e.text.c_str()));
    return vob_fail(v, VOB_ERR, VOB_MSG(VM_POOL_WRITE, v->tag.c_str(), e.file.c_str(), e.text.c_str()));
}

// Rolls back after the failure rc, whose message the handle keeps.
static int rollback_after(vob_t *v, int rc) {
    std::string keep = v->err;
    vob_rollback(v);
    v->err = keep;
    return rc;
}

// The WAL on disk, so that a COMMIT that trashed blobs outlives a power loss
// before they are deleted: with synchronous=NORMAL the COMMIT alone may be
// undone, and a version would name a deleted blob. SQLite cannot change its
// sync level inside a transaction; a sync of its file by another descriptor
// flushes the same data.
static bool wal_synced(const vob_t *v) {
    int fd = open((v->dbpath + "-wal").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;   // no WAL: the COMMIT went to the database file
    bool ok = fdatasync(fd) == 0;
    close(fd);
    return ok;
}

// Pending blobs go into place and unreferenced ones into trash/ before the
// COMMIT; trash is emptied after it (once the COMMIT is on disk: else its
// blobs stay for the next recovery), or put back when it fails.
int vob_commit(vob_t *v) {
    if (v->doomed) {
        vob_rollback(v);
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_TXN_DOOMED, v->tag.c_str()));
    }
    if (v->writing) {
        vob_pool_error pe;
        std::vector<std::string> gone;
        int rc = VOB_OK;
        if (vob_pool_flush(&v->pool, &pe) != 0)
            rc = vob_db_pool_fail(v, pe);
        if (rc == VOB_OK)
            rc = vob_blob_collect(v, &gone);
        if (rc == VOB_OK && vob_pool_trash(&v->pool, gone, &pe) != 0)
            rc = vob_db_pool_fail(v, pe);
        if (rc != VOB_OK) {
            vob_pool_trash_done(&v->pool, 0);
            return rollback_after(v, rc);
        }
    }
    if (sqlite3_exec(v->db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        int rc = vob_fail_sql(v, "committing");
        vob_pool_trash_done(&v->pool, 0);
        return rollback_after(v, rc);
    }
    if (!v->pool.trashed.empty() && !wal_synced(v))
        v->pool.trashed.clear();
    vob_pool_trash_done(&v->pool, 1);
    v->schema_before = 0;
    v->depth = 0;
    v->writing = 0;
    v->txn_dirver.clear();
    end_savepoints(v);
    return VOB_OK;
}

int vob_end_txn(vob_t *v, int rc) { return rc == VOB_OK ? vob_commit(v) : rollback_after(v, rc); }

void vob_rollback(vob_t *v) {
    if (sqlite3_get_autocommit(v->db) == 0)
        sqlite3_exec(v->db, "ROLLBACK", nullptr, nullptr, nullptr);
    vob_pool_discard(&v->pool);
    v->drop_blobs.clear();
    if (v->schema_before) {   // the upgrade went with the transaction
        v->schema = v->schema_before;
        v->schema_before = 0;
    }
    v->depth = 0;
    v->writing = 0;
    v->doomed = 0;
    v->txn_dirver.clear();
    end_savepoints(v);
}

// ---- contents --------------------------------------------------------------------------

int vob_db_put_bytes(vob_t *v, std::string_view bytes, std::string *sha, const std::string &base_sha) {
    if (v->read_only)
        return read_only_fail(v);
    return vob_blob_put(v, bytes, base_sha, sha);
}

int vob_db_put_file(vob_t *v, const std::string &path, std::string *sha, int64_t *size,
                    const std::string &base_sha) {
    if (v->read_only)
        return read_only_fail(v);
    return vob_blob_put_file(v, path, base_sha, sha, size);
}

void vob_db_drop_blob(vob_t *v, const std::string &sha) { v->drop_blobs.push_back(sha); }

std::string vob_blob_path(const vob_t *v, const std::string &sha) { return vob_pool_path(v->pool, sha); }

vob_txn::vob_txn(vob_t *v, mode_t m) : vob(v), mode(m) {}

vob_txn::~vob_txn() {
    if (state == 1)
        rollback();
    else if (state == 2 && vob->depth > 1)
        vob->depth--;
}

int vob_txn::begin() {
    if (state != 0)
        return VOB_OK;
    if (vob->depth > 0) {
        if (mode == WRITE && !vob->writing)
            return vob_fail(vob, VOB_ERR,
                            VOB_MSG(VM_ELEM_KIND, vob->tag.c_str(),
                                    "a write transaction cannot join a read transaction"));
        vob->depth++;
        state = 2;
        return VOB_OK;
    }
    int rc = vob_begin(vob, mode == WRITE);
    if (rc == VOB_OK)
        state = 1;
    return rc;
}

int vob_txn::commit() {
    if (state == 2) {
        vob->depth--;
        state = 3;
        return vob->doomed ? vob_fail(vob, VOB_ERR, VOB_MSG(VM_TXN_DOOMED, vob->tag.c_str())) : VOB_OK;
    }
    if (state != 1)
        return VOB_OK;
    state = 3;
    return vob_commit(vob);
}

void vob_txn::rollback() {
    if (state == 1) {
        vob_rollback(vob);
    } else if (state == 2) {
        vob->doomed = 1;
        vob->depth--;
    }
    state = 3;
}

// ---- savepoints -------------------------------------------------------------------------

static std::string sp_name(long id) { return "vob_sp" + std::to_string(id); }

static int sp_exec(vob_t *v, const std::string &sql) {
    return sqlite3_exec(v->db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK ? VOB_OK : VOB_ERR;
}

// The database lost the transaction (or the savepoint): nothing done since
// BEGIN can be trusted to commit, so the transaction stays doomed.
static int sp_lost(vob_t *v, const char *why) {
    v->doomed = 1;
    return vob_fail(v, VOB_ERR, VOB_MSG(VM_SAVEPOINT_LOST, v->tag.c_str(), why));
}

// Takes savepoint id and those opened inside it off the open list; with
// `merged`, the inner ones are remembered as kept in the transaction.
static void sp_close(vob_t *v, long id, bool merged) {
    auto at = std::find(v->sp_open.begin(), v->sp_open.end(), id);
    if (merged)
        v->sp_merged.insert(v->sp_merged.end(), at + 1, v->sp_open.end());
    else   // what was merged into this one is undone with it
        std::erase_if(v->sp_merged, [id](long m) { return m > id; });
    v->sp_open.erase(at, v->sp_open.end());
}

vob_savepoint::vob_savepoint(vob_t *v) : vob(v) {}

// Keeps the handle's message (a failed commit's, say) unless the rollback
// doomed the transaction.
vob_savepoint::~vob_savepoint() {
    if (state != 1)
        return;
    std::string keep = vob->err;
    if (rollback() == VOB_OK || !vob->doomed)
        vob->err = keep;
}

int vob_savepoint::begin() {
    if (state == 1)
        return VOB_OK;
    if (state == 2)
        return vob_fail(vob, VOB_ERR,
                        VOB_MSG(VM_ELEM_KIND, vob->tag.c_str(), "a savepoint is begun only once"));
    if (vob->depth == 0 || !vob->writing)
        return vob_fail(
            vob, VOB_ERR,
            VOB_MSG(VM_ELEM_KIND, vob->tag.c_str(), "a savepoint needs an open write transaction"));
    if (vob->doomed)
        return vob_fail(vob, VOB_ERR, VOB_MSG(VM_TXN_DOOMED, vob->tag.c_str()));
    if (sqlite3_get_autocommit(vob->db))
        return sp_lost(vob, "the database ended the transaction");
    long n = ++vob->sp_next;
    if (sp_exec(vob, "SAVEPOINT " + sp_name(n)) != VOB_OK)
        return vob_fail_sql(vob, "making a savepoint");
    id = n;
    drop_mark = vob->drop_blobs.size();
    pool_mark = vob_pool_mark(vob->pool);
    dirvers.assign(vob->txn_dirver.begin(), vob->txn_dirver.end());
    vob->sp_open.push_back(id);
    state = 1;
    return VOB_OK;
}

// A savepoint ended by an outer one or by the end of its transaction.
static int sp_gone(vob_t *v, long id, bool rollback) {
    bool merged = std::find(v->sp_merged.begin(), v->sp_merged.end(), id) != v->sp_merged.end();
    bool same_txn = v->depth > 0 && id >= v->sp_txn_first;
    if (rollback && merged && same_txn)   // its changes sit in the transaction
        return sp_lost(v, "a savepoint was rolled back after the one around it was released");
    if (same_txn && (merged || rollback))   // merged: kept; else undone by the outer rollback
        return VOB_OK;
    return vob_fail(
        v, VOB_ERR,
        VOB_MSG(VM_ELEM_KIND, v->tag.c_str(), "the savepoint ended with its transaction or an outer one"));
}

static int sp_not_open(vob_t *v) {
    return vob_fail(v, VOB_ERR, VOB_MSG(VM_ELEM_KIND, v->tag.c_str(), "the savepoint is not open"));
}

// The first steps of ending a savepoint either way: it must be open, and
// still in the transaction, else its end is told by sp_gone (*go stays
// false). With *go set, the caller goes on to end it in the database.
static int sp_end(vob_savepoint *sp, bool rollback, bool *go) {
    vob_t *v = sp->vob;
    *go = false;
    if (sp->state != 1)
        return sp_not_open(v);
    sp->state = 2;
    if (std::find(v->sp_open.begin(), v->sp_open.end(), sp->id) == v->sp_open.end())
        return sp_gone(v, sp->id, rollback);
    sp_close(v, sp->id, !rollback);
    // After an I/O failure SQLite may have rolled back the whole transaction.
    if (sqlite3_get_autocommit(v->db))
        return sp_lost(v, "the database ended the transaction");
    *go = true;
    return VOB_OK;
}

int vob_savepoint::release() {
    bool go;
    if (int rc = sp_end(this, false, &go); !go)
        return rc;
    if (sp_exec(vob, "RELEASE " + sp_name(id)) != VOB_OK)
        return sp_lost(vob, sqlite3_errmsg(vob->db));
    return VOB_OK;
}

int vob_savepoint::rollback() {
    bool go;
    if (int rc = sp_end(this, true, &go); !go)
        return rc;
    std::string name = sp_name(id);
    if (sp_exec(vob, "ROLLBACK TO " + name) != VOB_OK || sqlite3_get_autocommit(vob->db) ||
        sp_exec(vob, "RELEASE " + name) != VOB_OK)
        return sp_lost(vob, sqlite3_get_autocommit(vob->db) ? "the database ended the transaction"
                                                            : sqlite3_errmsg(vob->db));
    vob_pool_discard_since(&vob->pool, pool_mark);
    if (vob->drop_blobs.size() > drop_mark)
        vob->drop_blobs.resize(drop_mark);
    vob->txn_dirver.clear();
    vob->txn_dirver.insert(dirvers.begin(), dirvers.end());
    vob->doomed = 0;
    return VOB_OK;
}

vob_wscope::vob_wscope(vob_t *v_) : v(v_) {}

vob_wscope::~vob_wscope() {
    if (active && own)
        vob_rollback(v);
}

int vob_wscope::begin() {
    if (v->depth > 0) {
        if (!v->writing)
            return vob_fail(
                v, VOB_ERR,
                VOB_MSG(VM_ELEM_KIND, v->tag.c_str(), "cannot change a VOB inside a read transaction"));
        if (v->doomed)
            return vob_fail(v, VOB_ERR, VOB_MSG(VM_TXN_DOOMED, v->tag.c_str()));
        active = 1;
        return VOB_OK;
    }
    int rc = vob_begin(v, 1);
    if (rc != VOB_OK)
        return rc;
    own = active = 1;
    return VOB_OK;
}

int vob_wscope::end(int rc) {
    if (!active)
        return rc;
    active = 0;
    if (own)
        return vob_end_txn(v, rc);
    if (rc != VOB_OK && written)
        v->doomed = 1;
    return rc;
}

// ---- opening -------------------------------------------------------------------------

// The schema version in meta: *n, 0 when it is not a plain positive number.
static int parse_schema(const std::string &text) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return atoi(text.c_str());
}

static int newer_fail(vob_t *v, int schema) {
    return vob_fail(v, VOB_CORRUPT,
                    VOB_MSG(VM_SCHEMA_NEWER, v->tag.c_str(), v->storage.c_str(), schema, VOB_SCHEMA_VERSION));
}

static int load_meta(vob_t *v) {
    vob_stmt q(v, "SELECT key, value FROM meta");
    std::map<std::string, std::string> m;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW)
        m[q.str(0)] = q.str(1);
    if (rc != SQLITE_DONE)
        return vob_fail(v, VOB_CORRUPT, VOB_MSG(VM_NOT_VOB, v->dbpath.c_str(), sqlite3_errmsg(v->db)));
    if (m["magic"] != VOB_MAGIC)
        return vob_fail(v, VOB_CORRUPT, VOB_MSG(VM_NOT_VOB, v->dbpath.c_str(), "no VOB identification"));
    v->tag = m["tag"];
    int schema = parse_schema(m["schema"]);
    if (schema > VOB_SCHEMA_VERSION)
        return newer_fail(v, schema);
    if (schema < 1)
        return vob_fail(v, VOB_CORRUPT,
                        VOB_MSG(VM_NOT_VOB, v->dbpath.c_str(),
                                ("unknown schema version \"" + m["schema"] + "\"").c_str()));
    v->schema = schema;
    v->uuid = m["uuid"];
    v->owner_uid = (unsigned)strtoul(m["owner"].c_str(), nullptr, 10);
    v->project = atoi(m["project"].c_str());
    static const int ids[] = {VOB_WK_ROOT_DIR,   VOB_WK_MAIN_BRTYPE,  VOB_WK_FILE_ELTYPE,
                              VOB_WK_DIR_ELTYPE, VOB_WK_MERGE_HLTYPE, VOB_WK_LOST_FOUND};
    for (int id : ids) {
        v->wk[id] = strtoll(m["wk" + std::to_string(id)].c_str(), nullptr, 10);
        if (v->wk[id] <= 0)
            return vob_fail(v, VOB_CORRUPT,
                            VOB_MSG(VM_NOT_VOB, v->dbpath.c_str(), "well-known objects missing"));
    }
    return VOB_OK;
}

// Raises the schema inside the open write transaction. It reads the version
// again first: another process may have upgraded since this one opened, or a
// newer program may have raised it past this one's.
static int upgrade_in_txn(vob_t *v) {
    int schema = 0;
    {
        vob_stmt q(v, "SELECT value FROM meta WHERE key = 'schema'");
        int rc = q.step();
        if (rc != SQLITE_ROW)
            return rc == SQLITE_DONE
                       ? vob_fail(v, VOB_CORRUPT, VOB_MSG(VM_NOT_VOB, v->dbpath.c_str(), "no schema version"))
                       : VOB_ERR;
        schema = parse_schema(q.str(0));
    }
    if (schema > VOB_SCHEMA_VERSION)
        return newer_fail(v, schema);
    if (schema < 1)
        return vob_fail(v, VOB_CORRUPT, VOB_MSG(VM_NOT_VOB, v->dbpath.c_str(), "unknown schema version"));
    for (int n = schema + 1; n <= VOB_SCHEMA_VERSION; n++) {
        char *msg = nullptr;
        if (upgrade_sql[n] && sqlite3_exec(v->db, upgrade_sql[n], nullptr, nullptr, &msg) != SQLITE_OK) {
            std::string m = msg ? msg : sqlite3_errmsg(v->db);
            sqlite3_free(msg);
            return vob_fail(
                v, VOB_ERR,
                VOB_MSG(VM_SQL, v->tag.c_str(), "upgrading the schema", m.c_str()) + " (" + v->dbpath + ")");
        }
    }
    if (schema < VOB_SCHEMA_VERSION) {
        vob_stmt q(v, "UPDATE meta SET value = ?1 WHERE key = 'schema'");
        q.bind(1, std::to_string(VOB_SCHEMA_VERSION));
        if (q.exec() != VOB_OK)
            return VOB_ERR;
    }
    if (!v->schema_before)
        v->schema_before = v->schema;
    v->schema = VOB_SCHEMA_VERSION;
    return VOB_OK;
}

static int configure(vob_t *v) {
    const char *env = getenv("VANTOR_BUSY_TIMEOUT_MS");
    if (env && *env) {
        long ms = strtol(env, nullptr, 10);
        if (ms >= 0 && ms < 3600 * 1000)
            v->busy_ms = (int)ms;
    }
    sqlite3_busy_timeout(v->db, v->busy_ms);
    sqlite3_extended_result_codes(v->db, 0);
    // A writer keeps the -wal (emptied) and -shm when it closes, so that a
    // reader that cannot write the directory finds them and reads through
    // them, in step with any writer (see open_flags).
    int persist = 1;
    if (!v->read_only)
        sqlite3_file_control(v->db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    char *msg = nullptr;
    int rc = sqlite3_exec(v->db,
                          v->read_only
                              ? "PRAGMA foreign_keys=OFF; PRAGMA cache_size=-16000; PRAGMA temp_store=MEMORY;"
                              : "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=OFF;"
                                " PRAGMA cache_size=-16000; PRAGMA temp_store=MEMORY;"
                                " PRAGMA journal_size_limit=67108864;",
                          nullptr, nullptr, &msg);
    if (rc != SQLITE_OK) {
        std::string m = msg ? msg : sqlite3_errstr(rc);
        sqlite3_free(msg);
        if (rc == SQLITE_BUSY)
            return vob_fail(v, VOB_BUSY, VOB_MSG(VM_BUSY, v->dbpath.c_str(), v->busy_ms, v->dbpath.c_str()));
        return vob_fail(v, rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT ? VOB_CORRUPT : VOB_ERR,
                        VOB_MSG(VM_NOT_VOB, v->dbpath.c_str(), m.c_str()));
    }
    return VOB_OK;
}

// Upkeep of a writable VOB at opening, when the write lock can be had at
// once (with another writer at work, a later open or the first write
// transaction does it): the schema raised to this program's, and what a
// writer killed inside a transaction left in the pool cleared.
static int open_upkeep(vob_t *v) {
    int old = v->schema < VOB_SCHEMA_VERSION;
    if (!old && !vob_pool_has_leftovers(v->pool))
        return VOB_OK;
    sqlite3_busy_timeout(v->db, 0);
    int locked = sqlite3_exec(v->db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_busy_timeout(v->db, v->busy_ms);
    if (!locked)
        return VOB_OK;
    v->depth = 1;
    v->writing = 1;
    int rc = old ? upgrade_in_txn(v) : VOB_OK;
    if (rc == VOB_OK)
        vob_pool_recover(&v->pool, [v](const std::string &sha) { return vob_blob_in_pool(v, sha); });
    if (rc == VOB_OK && sqlite3_exec(v->db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        rc = vob_fail_sql(v, "upgrading the schema");
    if (rc != VOB_OK) {
        std::string keep = v->err;
        vob_rollback(v);
        v->err = keep;
        return rc;
    }
    v->schema_before = 0;
    v->depth = 0;
    v->writing = 0;
    return VOB_OK;
}

static int exists(const std::string &path, off_t *size = nullptr) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return 0;
    if (size)
        *size = st.st_size;
    return 1;
}

// Why this process cannot write the storage ("" when it can): a read-only
// mount (*mount_ro set), or a directory or database file it may not write.
// Checked by the effective ids, as the kernel will.
static std::string storage_read_only(const vob_t *v, int *mount_ro) {
    struct statvfs fs;
    *mount_ro = statvfs(v->storage.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY);
    if (*mount_ro)
        return strerror(EROFS);
    // The side files only count when they are there: the directory makes them.
    static const char *const names[] = {"", "/vob.db", "/vob.db-wal", "/vob.db-shm"};
    for (int i = 0; i < 4; i++) {
        std::string p = v->storage + names[i];
        if ((i < 2 || exists(p)) && faccessat(AT_FDCWD, p.c_str(), W_OK, AT_EACCESS) != 0)
            return std::string("cannot write ") + (i ? names[i] + 1 : "the directory") + ": " +
                   strerror(errno);
    }
    return "";
}

// The path as a URI file name (RFC 3986: all but unreserved bytes and "/"
// escaped).
static std::string uri_path(const std::string &path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string u = "file:";
    for (unsigned char c : path) {
        if (isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            u += (char)c;
        } else {
            u += '%';
            u += hex[c >> 4];
            u += hex[c & 15];
        }
    }
    return u;
}

// The name and flags that open the database of storage this process cannot
// write. SQLite reads a WAL database read-only through its -wal and -shm, which
// it cannot make in a directory it may not write: when both are there (a
// writer keeps them), mode=ro reads through them and stays consistent with a
// writer that may be at work or start (the storage may be writable by
// others). A -wal holding frames needs them too, or committed work would be
// missed. With neither there, no writer is at work (each keeps both open), so
// the file alone holds every commit and immutable=1 reads it without locks or
// side files, as it must on a read-only mount; the one risk left, a writer
// that starts and checkpoints during the read, only exists where another user
// may write.
static std::string read_only_uri(const vob_t *v, int mount_ro) {
    off_t wal_size = 0;
    int wal = exists(v->dbpath + "-wal", &wal_size), shm = exists(v->dbpath + "-shm");
    if ((wal && wal_size > 0) || (wal && shm && !mount_ro))
        return uri_path(v->dbpath) + "?mode=ro";
    return uri_path(v->dbpath) + "?mode=ro&immutable=1";
}

int vob_db_open(const std::string &storage, int create, vob_t **out, std::string *err) {
    vob_t *v = new vob_t;
    v->storage = storage;
    v->dbpath = storage + "/vob.db";
    v->pool.dir = storage + "/pool";
    v->tag = storage;
    if (!create && access(v->dbpath.c_str(), F_OK) != 0) {
        if (err)
            *err = VOB_MSG(VM_OPEN, v->dbpath.c_str(), strerror(errno));
        delete v;
        return VOB_NOT_FOUND;
    }
    int mount_ro = 0;
    if (!create)
        v->ro_why = storage_read_only(v, &mount_ro);
    v->read_only = !v->ro_why.empty();
    int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
    std::string name = uri_path(v->dbpath);
    if (v->read_only) {
        flags |= SQLITE_OPEN_READONLY;
        name = read_only_uri(v, mount_ro);
    } else {
        flags |= SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    }
    if (sqlite3_open_v2(name.c_str(), &v->db, flags, nullptr) != SQLITE_OK) {
        if (err)
            *err = VOB_MSG(VM_OPEN, v->dbpath.c_str(), v->db ? sqlite3_errmsg(v->db) : "out of memory");
        vob_close(v);
        return VOB_ERR;
    }
    int rc = configure(v);
    if (rc == VOB_OK && !create)
        rc = load_meta(v);
    if (rc == VOB_OK && !create && !v->read_only)
        rc = open_upkeep(v);
    // Read-only with a -wal but no -shm: SQLite can neither read the log nor
    // make the file it needs (see read_only_uri).
    if (rc != VOB_OK && v->read_only && sqlite3_errcode(v->db) == SQLITE_CANTOPEN)
        rc = vob_fail(v, VOB_ERR, VOB_MSG(VM_READ_ONLY_LOG, v->storage.c_str(), v->ro_why.c_str()));
    if (rc != VOB_OK) {
        if (err)
            *err = v->err;
        vob_close(v);
        return rc;
    }
    *out = v;
    return VOB_OK;
}

int vob_db_create_schema(vob_t *v) {
    char *msg = nullptr;
    if (sqlite3_exec(v->db, schema_sql, nullptr, nullptr, &msg) != SQLITE_OK) {
        std::string m = msg ? msg : "";
        sqlite3_free(msg);
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_SQL, v->dbpath.c_str(), "making the schema", m.c_str()));
    }
    v->schema = VOB_SCHEMA_VERSION;
    return VOB_OK;
}

int vob_open(const std::string &storage_dir, vob_t **out, std::string *err) {
    return vob_db_open(fileutl_make_abs_pn(storage_dir), 0, out, err);
}

void vob_close(vob_t *v) {
    if (!v)
        return;
    if (v->db && v->depth > 0)
        vob_rollback(v);
    vob_pool_close(&v->pool);
    vob_blob_state_free(v->blobs);
    for (auto &kv : v->stmts)
        sqlite3_finalize(kv.second);
    if (v->db)
        sqlite3_close_v2(v->db);
    delete v;
}

const std::string &vob_errmsg(const vob_t *v) { return v->err; }
const std::string &vob_get_tag(const vob_t *v) { return v->tag; }
const std::string &vob_get_storage(const vob_t *v) { return v->storage; }
const std::string &vob_get_uuid(const vob_t *v) { return v->uuid; }
int vob_is_read_only(const vob_t *v) { return v->read_only; }
int vob_check_writable(vob_t *v) { return v->read_only ? read_only_fail(v) : VOB_OK; }
unsigned vob_get_owner_uid(const vob_t *v) { return v->owner_uid; }
int vob_is_project(const vob_t *v) { return v->project; }
vob_oid vob_wk_obj(const vob_t *v, int wk) { return wk > 0 && wk < 32 ? v->wk[wk] : VOB_OID_NULL; }

void vob_txn_split_dir_versions(vob_t *vob) { vob->txn_dirver.clear(); }
