// Inside the VOB store: the handle, prepared statements, transactions, and
// the internal calls of the store's modules. Not for callers of the store.
//
// The modules form layers; each calls only the layers below it:
//   top        vob_make (seeds through vob_type, vob_namespace), vob_dump,
//              vob_verify (contents read back through vob_version)
//   families   vob_type, vob_namespace, vob_branch, vob_label, vob_attr_hlink,
//              vob_lock, vob_ckout, vob_record -> vob_version (the only family
//              others call)
//   reads      vob_select (rules, paths), vob_vtree
//   checks     vob_check (names, metatypes, locks)
//   getters    vob_get (one row, or the rows of one key)
//   database   vob_db (statements, transactions, opening; owns the pool),
//              vob_blob with vob_codec (stored forms of contents)
//   pool       vob_pool (plain files)
//
// Mutators open their write scope first and check inside it, so that what
// they check cannot change before they write (see vob_wscope).
#pragma once

#include "platform/store/vob.h"
#include "platform/store/vob_blob.h"
#include "platform/store/vob_msg.h"
#include "platform/store/vob_pool.h"

#include <sqlite3.h>

#include <string>
#include <unordered_map>
#include <vector>

// Schema versions: 1 the first; 2 adds the index ver_sha; 3 the table
// record; 4 the table blob, the stored forms of contents (vob_blob.h). A VOB
// of an older schema is upgraded by its first writer and still read as it is:
// without record it has no records, without blob every blob is a raw pool
// file.
constexpr int VOB_SCHEMA_VERSION = 4;
constexpr const char *VOB_MAGIC = "vantor-vob";

struct vob_t {
    sqlite3 *db = nullptr;
    std::string storage, dbpath, tag, uuid, err;
    unsigned owner_uid = 0;
    int project = 0;
    int busy_ms = 10000;
    int schema = 0;   // the schema version of the database as last read
    // Set when the storage cannot be written (ro_why says why: permissions,
    // a read-only mount); the database is then open read-only and every
    // write transaction is refused.
    int read_only = 0;
    std::string ro_why;
    int schema_before = 0;   // schema before an upgrade in the open transaction; 0 none
    vob_oid wk[32] = {};
    std::unordered_map<std::string, sqlite3_stmt *> stmts;
    vob_pool pool;
    vob_blob_state *blobs = nullptr;   // codec and cache of contents, made at first use

    // Transaction state: depth of vob_txn nesting, whether the open one
    // writes, and whether a step inside failed after writing.
    int depth = 0;
    int writing = 0;
    int doomed = 0;
    std::vector<std::string> drop_blobs;               // shas whose last version lost its data
    std::unordered_map<vob_oid, vob_oid> txn_dirver;   // dir branch -> version made in this txn
    // Savepoints: ids are never reused on a handle; open ones innermost last.
    // Ending a savepoint ends those opened inside it; ending the transaction
    // ends them all.
    long sp_next = 0;
    long sp_txn_first = 1;   // ids from here on belong to the open transaction
    std::vector<long> sp_open;
    std::vector<long> sp_merged;   // ended by the release of an outer one: kept in the transaction
};

// ---- vob_db.cpp: the database layer ------------------------------------------

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
    // Bytes as a BLOB (zero bytes give an empty BLOB, not NULL); they must
    // stay valid until the statement is done.
    vob_stmt &bind_blob(int i, std::string_view s);
    // SQLITE_ROW, SQLITE_DONE, or an error code (message set on the handle).
    [[nodiscard]] int step();
    int64_t i64(int col) const;
    std::string str(int col) const;
    int is_null(int col) const;
    [[nodiscard]] int exec();   // steps to the end: VOB_OK or VOB_ERR
    // As exec, but a UNIQUE clash gives VOB_EXISTS (with the database's
    // message; the caller puts its own in its place).
    [[nodiscard]] int exec_insert();
    vob_t *v;
    sqlite3_stmt *st = nullptr;
    const char *sql;
};

[[nodiscard]] int vob_fail_sql(vob_t *v, const char *doing);

// Write scope of one mutating call: opens a transaction of its own when none
// is open (BEGIN IMMEDIATE: from then on no other process writes), joins the
// caller's otherwise. end(rc) commits or rolls back an own transaction;
// inside a caller's transaction, a failure after wrote() dooms it, a refusal
// before it leaves it as it was. Mutators begin() first, then check, then
// call wrote() and write.
struct vob_wscope {
    explicit vob_wscope(vob_t *v);
    ~vob_wscope();
    [[nodiscard]] int begin();
    void wrote() { written = 1; }
    [[nodiscard]] int end(int rc);
    vob_t *v;
    int own = 0, active = 0, written = 0;
};

// Runs op(w), a mutation's checks and writes, inside a write scope opened
// first, so that the checks see what any other writer committed; ends the
// scope with op's result (commit or roll back an own transaction).
template <class Op> [[nodiscard]] int vob_write(vob_t *v, Op op) {
    vob_wscope w(v);
    int rc = w.begin();
    if (rc == VOB_OK)
        rc = op(w);
    return w.end(rc);
}

// Transactions at the SQL level.
[[nodiscard]] int vob_begin(vob_t *v, int write);
[[nodiscard]] int vob_commit(vob_t *v);
void vob_rollback(vob_t *v);
// Ends the open transaction after a step whose result is rc: commits when it
// is VOB_OK, else rolls back, the handle keeping the failure's message.
// The commit's status, or rc.
[[nodiscard]] int vob_end_txn(vob_t *v, int rc);

// Opening the database of a storage directory (create: a new one).
[[nodiscard]] int vob_db_open(const std::string &storage, int create, vob_t **out, std::string *err);
[[nodiscard]] int vob_db_create_schema(vob_t *v);

// Contents, as blobs (vob_blob.h) in the database or the pool the handle
// owns; failures become store messages. base_sha: see vob_blob_put.
[[nodiscard]] int vob_db_put_bytes(vob_t *v, std::string_view bytes, std::string *sha,
                                   const std::string &base_sha = "");
[[nodiscard]] int vob_db_put_file(vob_t *v, const std::string &path, std::string *sha, int64_t *size,
                                  const std::string &base_sha = "");
// A failure of the pool as a store message (VM_READ_FILE for the caller's file).
[[nodiscard]] int vob_db_pool_fail(vob_t *v, const vob_pool_error &e);
// The pool path of the blob whose SHA-256 is sha, whether or not it is there.
std::string vob_blob_path(const vob_t *vob, const std::string &sha);
// The blob may leave the pool when the transaction commits (no row names it then).
void vob_db_drop_blob(vob_t *v, const std::string &sha);

// A new row in obj (the event of a new object); ev null: now.
[[nodiscard]] int vob_new_obj(vob_t *v, int mtype, const vob_event *ev, vob_oid *oid);

// ---- vob_get.cpp: getters ------------------------------------------------------

// Facts of a branch needed to add a version or check out.
struct vob_branch_row {
    vob_oid elem = 0;
    int64_t next_num = 0;
    int elem_mtype = 0;
    std::string path;
};
[[nodiscard]] int vob_get_branch_row(vob_t *v, vob_oid branch, vob_branch_row *b);
// The highest-numbered version of a branch (num may be null).
[[nodiscard]] int vob_latest_num(vob_t *v, vob_oid branch, vob_oid *ver, int64_t *num);
// The latest version of an element's main branch; VOB_NOT_FOUND, no message.
[[nodiscard]] int vob_latest_main(vob_t *v, vob_oid elem, vob_oid *ver);
// The view holding a reserved checkout of the branch other than `mine`, or "".
[[nodiscard]] int vob_reserved_by_other(vob_t *v, vob_oid branch, const std::string &mine, std::string *who);
// The element's path, else its name, else "element N": for messages. Keeps
// the handle's message as it was.
void vob_elem_label(vob_t *v, vob_oid elem, std::string *label);

// ---- vob_check.cpp: checks shared by the families --------------------------------

// A type name by typename_acceptable (runtime/typename.h).
[[nodiscard]] int vob_check_name(vob_t *v, const std::string &name, const char *what);
// A directory entry name: not empty, ".", ".."; no "/", NUL or "@@".
[[nodiscard]] int vob_check_entry_name(vob_t *v, const std::string &name);
// The object exists with one of the metatypes in mask (bit n: metatype n).
[[nodiscard]] int vob_check_mtype(vob_t *v, vob_oid obj, unsigned mask, const char *what, int *mtype_out);
// VOB_LOCKED (message naming `what`) when the object is locked.
[[nodiscard]] int vob_check_locked(vob_t *v, vob_oid obj, const char *what);

// ---- vob_version.cpp: new versions -------------------------------------------------

// vob_ver_create for a checkin by ckout_view ("" for none), whose reserved
// checkout does not stand in its way.
[[nodiscard]] int vob_ver_create_int(vob_t *v, vob_oid branch, const vob_data &data, const vob_event *ev,
                                     vob_oid *ver_out, int64_t num, const std::string &ckout_view);

// ---- vob_namespace.cpp -------------------------------------------------------------

// Makes the rows of an element, its main branch and version 0 (no name yet).
[[nodiscard]] int vob_elem_make_rows(vob_t *v, vob_oid parent, const std::string &name, int mtype,
                                     vob_oid eltype, const vob_event *ev, vob_oid *elem_out,
                                     vob_oid *ver0_out);
