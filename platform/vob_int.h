// Inside the VOB store: the handle, prepared statements, transactions and
// the content pool. Not for callers of the store.
#pragma once

#include "platform/vob.h"
#include "platform/vob_msg.h"

#include <sqlite3.h>

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

constexpr int VOB_SCHEMA_VERSION = 1;
constexpr const char *VOB_MAGIC = "vantor-vob";

// A blob written to the pool's tmp/ and not yet renamed into place.
struct vob_pending_blob {
    std::string sha, tmp;
    int fd = -1;    // open until synced
};

struct vob_t {
    sqlite3 *db = nullptr;
    std::string storage, dbpath, pool, tag, uuid, err;
    unsigned owner_uid = 0;
    int project = 0;
    int busy_ms = 10000;
    vob_oid wk[32] = {};
    std::unordered_map<std::string, sqlite3_stmt *> stmts;

    // Transaction state: depth of vob_txn nesting, whether the open one
    // writes, and whether a step inside failed after writing.
    int depth = 0;
    int writing = 0;
    int doomed = 0;
    std::map<std::string, vob_pending_blob> pending;        // by sha
    size_t pending_open = 0;                                // of them with an open descriptor
    std::vector<std::string> drop_blobs;                    // shas whose last version lost its data
    std::unordered_map<vob_oid, vob_oid> txn_dirver;        // dir branch -> version made in this txn
};

// A prepared statement from the handle's cache, reset and unbound on scope exit.
struct vob_stmt {
    vob_stmt(vob_t *v, const char *sql);
    ~vob_stmt();
    vob_stmt(const vob_stmt &) = delete;
    vob_stmt &operator=(const vob_stmt &) = delete;
    vob_stmt &bind(int i, int64_t x);
    vob_stmt &bind(int i, const std::string &s);
    vob_stmt &bind_null(int i);
    vob_stmt &bind_blob_text(int i, std::string_view s);
    // SQLITE_ROW, SQLITE_DONE, or an error code (message set on the handle).
    int step();
    int64_t i64(int col) const;
    std::string str(int col) const;
    int is_null(int col) const;
    int exec();   // steps to the end: VOB_OK or VOB_ERR
    vob_t *v;
    sqlite3_stmt *st = nullptr;
    const char *sql;
};

// Records a failure on the handle and returns rc.
int vob_fail(vob_t *v, int rc, const std::string &msg);
int vob_fail_sql(vob_t *v, const char *doing);

// Write scope of one mutating call: opens a transaction of its own when none
// is open. end(rc) commits or rolls back an own transaction; inside a
// caller's transaction, a failure after wrote() dooms it.
struct vob_wscope {
    explicit vob_wscope(vob_t *v);
    ~vob_wscope();
    int begin();
    void wrote() { written = 1; }
    int end(int rc);
    vob_t *v;
    int own = 0, active = 0, written = 0;
};

// Transactions at the SQL level.
int vob_begin(vob_t *v, int write);
int vob_commit(vob_t *v);
void vob_rollback(vob_t *v);

// The content pool.
int vob_pool_put(vob_t *v, std::string_view bytes, std::string *sha);
int vob_pool_put_file(vob_t *v, const std::string &path, std::string *sha, int64_t *size);
int vob_pool_flush(vob_t *v);       // syncs and renames pending blobs (before COMMIT)
void vob_pool_discard(vob_t *v);    // drops pending blobs (after ROLLBACK)
int vob_pool_trash(vob_t *v, std::vector<std::string> *moved);
void vob_pool_untrash(vob_t *v, const std::vector<std::string> &moved, int committed);
std::string vob_pool_path(const vob_t *v, const std::string &sha);
void vob_pool_recover(vob_t *v);    // clears what a killed writer left in tmp/ and trash/ (at open)
int vob_sha256_hex(std::string_view bytes, std::string *hex);
extern const char *const VOB_EMPTY_SHA;

// Opening the database of a storage directory (create: a new one).
int vob_db_open(const std::string &storage, int create, vob_t **out, std::string *err);
int vob_db_create_schema(vob_t *v);

// Shared helpers of the store modules.
int vob_new_obj(vob_t *v, int mtype, const vob_event *ev, vob_oid *oid);
int vob_check_locked(vob_t *v, vob_oid obj, const char *what);
int vob_elem_label(vob_t *v, vob_oid elem, std::string *label);    // path or name, for messages
int vob_check_name(vob_t *v, const std::string &name, const char *what);
int vob_ver_create_int(vob_t *v, vob_oid branch, const vob_data &data, const vob_event *ev,
                       vob_oid *ver_out, int64_t num, const std::string &ckout_view);
int vob_latest_num(vob_t *v, vob_oid branch, vob_oid *ver, int64_t *num);
int vob_check_mtype(vob_t *v, vob_oid obj, unsigned mask, const char *what, int *mtype_out);
int vob_elem_make_rows(vob_t *v, vob_oid parent, const std::string &name, int mtype, vob_oid eltype,
                       const vob_event *ev, vob_oid *elem_out, vob_oid *ver0_out);
// Checkouts held by a view, in oid order.
int vob_view_ckouts(vob_t *v, const std::string &view_tag, std::vector<vob_ckout> *out);
