// The VOB store: one storage directory per VOB holding an SQLite database
// (vob.db, WAL mode) and a content pool (pool/, blobs named by the SHA-256 of
// their bytes).
//
// Objects. Every stored object has an object id (vob_oid, > 0, never reused
// within a VOB) and a metatype (vob_mtype). Every object carries an event:
// who made it, where, when, and a comment. Element types, branch types,
// label types, attribute types and hyperlink types are objects too, named
// uniquely per metatype within the VOB.
//
// Elements, branches, versions. An element (file or directory) has one
// branch tree. Its main branch is made with it, of the well-known branch type
// "main". A branch sprouts from a version of its parent branch; a branch type
// is used at most once per element. Branch paths are the branch type names
// from the main branch down, each preceded by "/": "/main", "/main/dev".
// Versions are numbered per branch from 0; numbers only grow (a removed
// number is never given again). Version 0 of /main of a file is empty (zero
// bytes); version 0 of any other branch has the contents of the version it
// sprouts from, so a new branch shows what it branched from until its first
// own version. Version ids are the branch path, "/", the number: "/main/dev/3".
// "LATEST" in place of the number names the highest number on the branch.
//
// Directories. A directory version holds a namespace: names mapped to
// elements. Adding or removing a name makes a new version of the directory's
// branch (with the caller's event, but never dated before the directory's
// element or that branch was made), except that every change within one transaction goes to the version
// that the transaction already made (until vob_txn_split_dir_versions ends
// that sharing), so a transaction that adds many names to a directory makes
// one new directory version. Names are single path
// components: not empty, not "." or "..", no "/" and no NUL. Element paths
// below a VOB root use "/" separators and no leading "/". Every VOB has a
// root directory (path "") and below it the directory "lost+found".
//
// Contents. Version data is kept by its SHA-256 (identical bytes are kept
// once), compressed, and stored as a delta against the version it follows
// where that pays (at most VOB_CHAIN_MAX deltas from any version to a whole
// text); a small stored form is a row of the database, written in the
// transaction that names it, a large one a file of the pool, written to a
// temporary file, synced and renamed into place before that transaction
// commits. A crash can leave an unreferenced pool file, never a row that
// names a missing one. Version
// data can be removed (vob_ver_remove_data): the version stays, without
// contents. Directory versions never have contents.
//
// Transactions. Every mutation is atomic. A mutating call made outside a
// vob_txn runs in a transaction of its own; inside one, it joins it and
// nothing is visible to others until the commit. A call checks inside its
// write transaction before it writes, so what it checked cannot change
// under it; a refused call (VOB_EXISTS, VOB_LOCKED, VOB_CKOUT, VOB_NOT_FOUND,
// a bad argument) changes nothing and leaves a caller's vob_txn as it was. A
// call that fails after writing leaves that transaction doomed: its commit
// fails and rolls back, so nothing of a half-made step can be committed.
// One writer at a time per VOB: a writer that finds another waits up to the
// busy timeout (VANTOR_BUSY_TIMEOUT_MS, default 10000 ms), then fails with
// VOB_BUSY and a message naming the VOB. Readers never wait for writers.
//
// Handles. A vob_t belongs to one thread at a time. Every call returns a
// status (VOB_OK, or one of vob_status); after a failure vob_errmsg() holds a
// message that says what failed and on which VOB, ready to print. Calls
// without a handle take a std::string *err for the same purpose. No call
// throws, and none reports memory exhaustion: in a program started with
// ks_system_init that ends the process (runtime/ks.h). Output parameters are
// written only on success unless stated.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using vob_oid = int64_t;   // 0: no object
constexpr vob_oid VOB_OID_NULL = 0;

enum vob_status {
    VOB_OK = 0,
    VOB_ERR = 1001,         // failure (I/O, database, bad argument, ...)
    VOB_NOT_FOUND = 1002,   // no such object; no lock; no contents
    VOB_EXISTS = 1003,      // the name, label, branch or type exists already
    VOB_LOCKED = 1004,      // the element, branch or type is locked
    VOB_BUSY = 1005,        // another writer held the VOB past the busy timeout
    VOB_CORRUPT = 1006,     // not a VOB database, or a damaged one
    VOB_CKOUT = 1007,       // a checkout stands in the way (reserved elsewhere, newer version)
    VOB_TOO_LONG = 1008,    // a name or path longer than a buffer of the VOB exporter (drivers/vantor)
};

// Metatypes. Elements are 2 and 4, versions 3 and 6.
enum vob_mtype {
    VOB_MT_VOB = 1,
    VOB_MT_FILE_ELEM = 2,
    VOB_MT_VERSION = 3,
    VOB_MT_DIR_ELEM = 4,
    VOB_MT_DIR_VERSION = 6,
    VOB_MT_BRANCH = 7,
    VOB_MT_HLINK = 9,
    VOB_MT_LABEL = 10,   // one application of a label type to a version
    VOB_MT_ATTR = 11,    // one attribute value on an object
    VOB_MT_LOCK = 12,
    VOB_MT_ELTYPE = 13,
    VOB_MT_BRTYPE = 14,
    VOB_MT_ATTYPE = 15,
    VOB_MT_HLTYPE = 16,
    VOB_MT_CKOUT = 17,
    VOB_MT_LBTYPE = 20,
    // Records of the project layer (platform/orbis), in project VOBs.
    VOB_MT_PROJECT = 40,
    VOB_MT_COMPONENT = 41,
    VOB_MT_BASELINE = 42,
    VOB_MT_STREAM = 43,
};
const char *vob_mtype_name(int mtype);   // "file element", "version", ...; "unknown"

// Well-known objects (vob_wk_obj).
enum vob_wk {
    VOB_WK_ROOT_DIR = 1,        // the root directory element
    VOB_WK_MAIN_BRTYPE = 3,     // branch type "main"
    VOB_WK_FILE_ELTYPE = 4,     // element type "file"
    VOB_WK_DIR_ELTYPE = 5,      // element type "directory"
    VOB_WK_MERGE_HLTYPE = 13,   // hyperlink type "Merge"
    VOB_WK_LOST_FOUND = 17,     // the lost+found directory element
};

// Who, where, when and why. time: seconds since 1970-01-01 UTC.
struct vob_event {
    int64_t time = 0;
    std::string user, group, name, host;   // name: the user's full name
    std::string comment;                   // may be empty
};
// The process user and group, the user's full name, the host, now, and the comment.
vob_event vob_event_now(const std::string &comment = "");

// Contents for a new version: none, the bytes of a file, or bytes in memory.
// The file is read when the call runs; its bytes are copied into the pool.
struct vob_data {
    enum kind_t { NONE, FILE, BYTES } kind = NONE;
    std::string path;         // FILE
    std::string_view bytes;   // BYTES: must stay valid during the call
};
inline vob_data vob_data_none() { return {}; }
inline vob_data vob_data_file(const std::string &p) {
    vob_data d;
    d.kind = vob_data::FILE;
    d.path = p;
    return d;
}
inline vob_data vob_data_bytes(std::string_view b) {
    vob_data d;
    d.kind = vob_data::BYTES;
    d.bytes = b;
    return d;
}

struct vob_t;   // an open VOB

// ---- Opening ---------------------------------------------------------------

// Makes a new VOB in storage_dir (which must not exist or be an empty
// directory), recording tag in it; *uuid gets its identifier. The VOB is not
// registered: vob_make (registry/vob_tag.h) makes and registers one. A
// failure removes what it made.
[[nodiscard]] int vob_create(const std::string &storage_dir, const std::string &tag, int project,
                             std::string *uuid, std::string *err);
// A tag a VOB may have: begins with "/", has no "@@", "..", "//", NUL nor
// white space, does not end with "/", and is 2 to 255 bytes long.
int vob_tag_is_valid(const std::string &tag);

// Opens the VOB in storage_dir; VOB_CORRUPT for a file that is not a VOB or
// one of a schema newer than this program's. A VOB whose storage this
// process cannot write (read-only files, directory or mount) opens for
// reading only: every write then fails with a message naming the storage.
// Opening a writable VOB of an older schema upgrades it.
[[nodiscard]] int vob_open(const std::string &storage_dir, vob_t **out, std::string *err);
void vob_close(vob_t *vob);   // null is fine; rolls back an open transaction

const std::string &vob_errmsg(const vob_t *vob);
// Records msg as the handle's message and returns rc (also for the layers
// above the store that fail on a handle's behalf, so that vob_errmsg says why).
[[nodiscard]] int vob_fail(vob_t *vob, int rc, const std::string &msg);
// How many queries the store has started in this process, on all handles
// (a query that returns many rows counts once): for measurements.
int64_t vob_queries_run();
const std::string &vob_get_tag(const vob_t *vob);       // as recorded at creation
const std::string &vob_get_storage(const vob_t *vob);   // absolute
const std::string &vob_get_uuid(const vob_t *vob);      // 32 hex digits
// 1 when the handle reads a VOB whose storage it cannot write.
int vob_is_read_only(const vob_t *vob);
// VOB_OK when the handle may write; else VOB_ERR with the read-only message
// (for commands that refuse before their first change).
[[nodiscard]] int vob_check_writable(vob_t *vob);
unsigned vob_get_owner_uid(const vob_t *vob);
int vob_is_project(const vob_t *vob);
vob_oid vob_wk_obj(const vob_t *vob, int wk);   // VOB_OID_NULL for an unknown id

// ---- Transactions ------------------------------------------------------------

// RAII write transaction (or read transaction: a consistent snapshot for a
// series of reads). begin() may fail with VOB_BUSY. Nested vob_txn objects on
// the same handle join the outermost one: only its commit commits. The
// destructor rolls back what was not committed.
struct vob_txn {
    enum mode_t { WRITE, READ };
    explicit vob_txn(vob_t *vob, mode_t mode = WRITE);
    ~vob_txn();
    vob_txn(const vob_txn &) = delete;
    vob_txn &operator=(const vob_txn &) = delete;
    [[nodiscard]] int begin();
    [[nodiscard]] int commit();   // VOB_ERR (and rolled back) when a call inside failed
    void rollback();
    vob_t *vob;
    mode_t mode;
    int state = 0;   // 0 idle, 1 open (outermost), 2 joined, 3 done
};

// A savepoint inside an open write transaction, so that several steps can
// share one transaction (and one commit) while each stays atomic. rollback()
// undoes everything done since begin(): rows, the blobs made pending, the
// directory versions the transaction made, and the doom of a call that
// failed after writing; the transaction goes on as it was at begin(). When
// the database cannot return to the savepoint (it dropped the whole
// transaction after an I/O failure), rollback() returns VOB_ERR and the
// transaction stays doomed. release() keeps the changes in the transaction.
// The destructor rolls back what was neither released nor rolled back.
// Savepoints nest (each inner one must end before its outer one).
struct vob_savepoint {
    explicit vob_savepoint(vob_t *vob);
    ~vob_savepoint();
    vob_savepoint(const vob_savepoint &) = delete;
    vob_savepoint &operator=(const vob_savepoint &) = delete;
    [[nodiscard]] int begin();   // VOB_ERR outside a write transaction or in a doomed one
    [[nodiscard]] int release();
    [[nodiscard]] int rollback();
    vob_t *vob;
    int state = 0;   // 0 idle, 1 open, 2 done
    long id = 0;
    size_t drop_mark = 0;
    uint64_t pool_mark = 0;
    std::vector<std::pair<vob_oid, vob_oid>> dirvers;   // the transaction's directory versions at begin()
};

// Ends the sharing of directory versions within the open transaction: the
// next change to a directory's names makes a new directory version (and is
// checked as one), as it would in a transaction of its own. For callers that
// put several independent steps in one transaction but want the history
// each would have made alone.
void vob_txn_split_dir_versions(vob_t *vob);

// ---- Types ---------------------------------------------------------------------

// mtype: VOB_MT_ELTYPE, VOB_MT_BRTYPE, VOB_MT_LBTYPE, VOB_MT_ATTYPE or VOB_MT_HLTYPE.
// Names: letters, digits, "_", "-", "."; not beginning with "-" or "."; at
// most 255 bytes. An existing name gives VOB_EXISTS and its oid in *out.
// Element types made here are file types unless the name is "directory".
[[nodiscard]] int vob_type_create(vob_t *vob, int mtype, const std::string &name, const vob_event *ev,
                                  vob_oid *out);
[[nodiscard]] int vob_type_find(vob_t *vob, int mtype, const std::string &name,
                                vob_oid *out);   // VOB_NOT_FOUND
[[nodiscard]] int vob_type_get_name(vob_t *vob, vob_oid type, std::string *name);
[[nodiscard]] int vob_type_list(vob_t *vob, int mtype, std::vector<vob_oid> *out);   // by name

// ---- Objects (any metatype) ----------------------------------------------------

[[nodiscard]] int vob_obj_get_mtype(vob_t *vob, vob_oid obj, int *mtype);
[[nodiscard]] int vob_obj_get_event(vob_t *vob, vob_oid obj, vob_event *ev);
// The type of an element (its element type), branch (branch type), label
// (label type), attribute (attribute type) or hyperlink (hyperlink type).
[[nodiscard]] int vob_obj_get_type(vob_t *vob, vob_oid obj, vob_oid *type);

// ---- Elements --------------------------------------------------------------------

struct vob_elem_info {
    vob_oid oid = 0;
    int mtype = 0;   // VOB_MT_FILE_ELEM or VOB_MT_DIR_ELEM
    vob_oid eltype = 0;
    std::string eltype_name;
    vob_oid main_branch = 0;
    std::string name;   // the name it was made under
};
// Makes an element with its main branch and version /main/0 and enters it as
// `name` in the latest version of the main branch of directory parent_dir
// (making a new directory version). eltype 0: the well-known "file" or
// "directory" type for the kind. *ver0_out (may be null): /main/0.
[[nodiscard]] int vob_elem_create(vob_t *vob, vob_oid parent_dir, const std::string &name, int mtype,
                                  vob_oid eltype, const vob_event *ev, vob_oid *elem_out,
                                  vob_oid *ver0_out = nullptr);
// The same, entering the name in the latest version of branch parent_branch
// of parent_dir (0: its main branch), for a view that selects that branch.
[[nodiscard]] int vob_elem_create_in(vob_t *vob, vob_oid parent_dir, vob_oid parent_branch,
                                     const std::string &name, int mtype, vob_oid eltype, const vob_event *ev,
                                     vob_oid *elem_out, vob_oid *ver0_out = nullptr);
[[nodiscard]] int vob_elem_get(vob_t *vob, vob_oid elem, vob_elem_info *out);
// Every element of the VOB (both kinds), in oid order.
[[nodiscard]] int vob_elem_list(vob_t *vob, std::vector<vob_oid> *out);
// The element's path below the VOB root through the latest main-branch
// versions of its directories (the first in name order when it has several
// names); VOB_NOT_FOUND when no directory names it.
[[nodiscard]] int vob_elem_get_path(vob_t *vob, vob_oid elem, std::string *path);

// ---- Branches ------------------------------------------------------------------------

struct vob_branch_info {
    vob_oid oid = 0, elem = 0, brtype = 0;
    vob_oid sprout_ver = 0;   // 0 for the main branch
    std::string path;         // "/main/dev"
};
// Makes a branch of brtype sprouting from version from_ver, with its version 0.
// VOB_EXISTS when the element has a branch of that type.
[[nodiscard]] int vob_branch_create(vob_t *vob, vob_oid from_ver, vob_oid brtype, const vob_event *ev,
                                    vob_oid *branch_out, vob_oid *ver0_out = nullptr);
[[nodiscard]] int vob_branch_get(vob_t *vob, vob_oid branch, vob_branch_info *out);
[[nodiscard]] int vob_branch_find(vob_t *vob, vob_oid elem, const std::string &path, vob_oid *out);
[[nodiscard]] int vob_branch_get_latest(vob_t *vob, vob_oid branch, vob_oid *ver);
// Branches that sprout from a version, in creation order.
[[nodiscard]] int vob_ver_get_subbranches(vob_t *vob, vob_oid ver, std::vector<vob_oid> *out);

// ---- Versions ----------------------------------------------------------------------------

struct vob_ver_info {
    vob_oid oid = 0, elem = 0, branch = 0;
    int mtype = 0;   // VOB_MT_VERSION or VOB_MT_DIR_VERSION
    int64_t num = 0;
    std::string id;       // "/main/dev/3"
    int has_data = 0;     // 0: directory version, or data removed
    std::string sha256;   // hex, empty without data
    int64_t size = 0;
};
// Adds a version to a branch: number num, or the next number when num < 0
// (num must be higher than every number the branch has had). The branch and
// its element must not be locked; a reserved checkout of the branch by
// another view stands in the way (VOB_CKOUT). Directory elements take no data.
[[nodiscard]] int vob_ver_create(vob_t *vob, vob_oid branch, const vob_data &data, const vob_event *ev,
                                 vob_oid *ver_out, int64_t num = -1);
[[nodiscard]] int vob_ver_get(vob_t *vob, vob_oid ver, vob_ver_info *out);
[[nodiscard]] int vob_ver_get_elem(vob_t *vob, vob_oid ver, vob_oid *elem);
// "/main/dev/3" or "/main/dev/LATEST" of an element, or a label type name
// ("REL_1_0": the element's version that carries it); VOB_NOT_FOUND, with a
// message telling a bad id, an unknown label type and a missing label apart.
[[nodiscard]] int vob_ver_find(vob_t *vob, vob_oid elem, const std::string &vid, vob_oid *out);
// The contents. VOB_NOT_FOUND when the version has none (directory version,
// or data removed); VOB_CORRUPT, naming the version, when its stored form
// does not rebuild to its size (and, reading the bytes, its SHA-256).
// vob_ver_get_data gives either the path of a pool file that holds them as
// they are (read-only; a copy streams it, so that a large file is never held
// whole) or the bytes rebuilt from their stored form (shared with the
// handle's cache: not to be changed).
[[nodiscard]] int vob_ver_get_data(vob_t *vob, vob_oid ver, std::string *pool_file,
                                   std::shared_ptr<const std::string> *bytes);
[[nodiscard]] int vob_ver_read_data(vob_t *vob, vob_oid ver, std::string *bytes);
// Drops the version's contents (the version, its labels and links stay).
// The blob leaves the pool when no other version names it.
[[nodiscard]] int vob_ver_remove_data(vob_t *vob, vob_oid ver);

// Reads back the contents of every version that has them, as
// vob_ver_read_data gives them to a reader, in one read snapshot (inside a
// caller's transaction, in its). A version that cannot be read whole (a
// missing or damaged stored form, bytes other than its size or SHA-256
// say) is a damage entry with the store's message; the check goes on.
// VOB_OK when every version could be looked at (damage is in *out); a
// failure status only when the database could not be read. progress (may be
// empty) is called after each version with the versions done and the total.
struct vob_check_report {
    int64_t elements = 0;   // elements with at least one version that has contents
    int64_t versions = 0;   // versions looked at
    int64_t bytes = 0;      // bytes of the versions found whole
    struct damage {
        vob_oid elem = 0, ver = 0;
        std::string element;   // its path below the VOB root (else its name)
        std::string version;   // "/main/dev/3"
        std::string why;       // the store's message
    };
    std::vector<damage> damaged;   // in the order the versions were read
};
[[nodiscard]] int vob_check_contents(vob_t *vob, vob_check_report *out,
                                     const std::function<void(int64_t done, int64_t total)> &progress = {});

// The version tree, flattened: each version of a branch in number order,
// followed at once by the branches that sprout from it (depth first, in
// creation order). O(versions) for the whole tree.
struct vob_vtree_node {
    vob_ver_info ver;
    std::vector<vob_oid> sub_branches;
    std::vector<std::string> sub_branch_paths;
    std::vector<std::string> labels;   // label type names, by name
};
[[nodiscard]] int vob_elem_get_vtree(vob_t *vob, vob_oid elem, std::vector<vob_vtree_node> *out);

// ---- Labels ---------------------------------------------------------------------------------

// Attaches a label type to a version. An element carries a label type on at
// most one version: when it is on another version, VOB_EXISTS (nothing
// changes) unless replace is set, which moves it. On this version already: VOB_OK.
[[nodiscard]] int vob_ver_add_label(vob_t *vob, vob_oid ver, vob_oid lbtype, int replace,
                                    const vob_event *ev);
[[nodiscard]] int vob_ver_remove_label(vob_t *vob, vob_oid ver, vob_oid lbtype);   // VOB_NOT_FOUND
struct vob_label {
    vob_oid oid = 0, lbtype = 0;
    std::string name;
};
[[nodiscard]] int vob_ver_get_labels(vob_t *vob, vob_oid ver, std::vector<vob_label> *out);   // by name
// The version of elem that carries the label type; VOB_NOT_FOUND.
[[nodiscard]] int vob_elem_find_label(vob_t *vob, vob_oid elem, vob_oid lbtype, vob_oid *ver);

// ---- Attributes -----------------------------------------------------------------------------

// On any object (usually elements and versions); an attribute type holds one
// value per object, which setting again replaces. Values are text.
[[nodiscard]] int vob_obj_set_attr(vob_t *vob, vob_oid obj, vob_oid attype, const std::string &value,
                                   const vob_event *ev);
[[nodiscard]] int vob_obj_remove_attr(vob_t *vob, vob_oid obj, vob_oid attype);   // VOB_NOT_FOUND
struct vob_attr {
    vob_oid oid = 0, attype = 0;
    std::string name, value;
};
[[nodiscard]] int vob_obj_get_attrs(vob_t *vob, vob_oid obj, std::vector<vob_attr> *out);   // by name

// ---- Hyperlinks -------------------------------------------------------------------------------

// A hyperlink of hltype from one object to another (a merge: from the merged
// version to the version that received it). Both ends are objects of this VOB.
[[nodiscard]] int vob_hlink_create(vob_t *vob, vob_oid hltype, vob_oid from, vob_oid to, const vob_event *ev,
                                   vob_oid *out);
enum {
    VOB_HL_FROM = 1,   // links whose "from" end is the object
    VOB_HL_TO = 2
};   // links whose "to" end is the object
struct vob_hlink {
    vob_oid oid = 0, hltype = 0, from = 0, to = 0;
};
// hltype 0: all types. In creation order.
[[nodiscard]] int vob_obj_get_hlinks(vob_t *vob, vob_oid obj, vob_oid hltype, int dir,
                                     std::vector<vob_hlink> *out);

// ---- Locks -------------------------------------------------------------------------------------

// Locks an element, branch or type. A locked object takes no new versions,
// branches, labels or names; obsolete marks it as out of use as well.
// Locking a locked object updates the obsolete flag.
[[nodiscard]] int vob_obj_lock(vob_t *vob, vob_oid obj, int obsolete, const vob_event *ev);
[[nodiscard]] int vob_obj_unlock(vob_t *vob, vob_oid obj);   // VOB_NOT_FOUND when not locked
struct vob_lock {
    vob_oid oid = 0, target = 0;
    int obsolete = 0;
};
[[nodiscard]] int vob_obj_get_lock(vob_t *vob, vob_oid obj, vob_lock *out);   // VOB_NOT_FOUND: no lock

// ---- Checkouts -----------------------------------------------------------------------------------

// A checkout of the latest version of a branch for a view. At most one
// reserved checkout per branch; unreserved ones may be many. A view holds at
// most one checkout per element. Checking in makes the next version of the
// branch; an unreserved checkout whose branch has moved on, or a branch
// reserved by another view, refuses the checkin (VOB_CKOUT).
struct vob_ckout {
    vob_oid oid = 0, elem = 0, branch = 0, ver = 0;   // ver: the version checked out
    int reserved = 0;
    std::string view_tag;
};
[[nodiscard]] int vob_checkout(vob_t *vob, vob_oid branch, int reserved, const std::string &view_tag,
                               const vob_event *ev, vob_oid *ckout_out);
// Checks in with data (for a directory, data must be NONE: the new directory
// version keeps the names). The event's comment is the version's comment.
[[nodiscard]] int vob_checkin(vob_t *vob, vob_oid ckout, const vob_data &data, const vob_event *ev,
                              vob_oid *ver_out);
[[nodiscard]] int vob_uncheckout(vob_t *vob, vob_oid ckout);
[[nodiscard]] int vob_ckout_get(vob_t *vob, vob_oid ckout, vob_ckout *out);
[[nodiscard]] int vob_elem_get_ckouts(vob_t *vob, vob_oid elem, std::vector<vob_ckout> *out);
// The view's checkout of the element; VOB_NOT_FOUND.
[[nodiscard]] int vob_elem_find_ckout(vob_t *vob, vob_oid elem, const std::string &view_tag, vob_oid *ckout);
// The checkouts a view holds in this VOB, in oid order.
[[nodiscard]] int vob_view_ckouts(vob_t *vob, const std::string &view_tag, std::vector<vob_ckout> *out);

// ---- Directories and the namespace -------------------------------------------------------------

struct vob_dirent {
    std::string name;
    vob_oid elem = 0;
    int mtype = 0;   // of the element
};
// The names of a directory version, in byte order of the names.
[[nodiscard]] int vob_dir_read(vob_t *vob, vob_oid dirver, std::vector<vob_dirent> *out);
[[nodiscard]] int vob_dir_lookup(vob_t *vob, vob_oid dirver, const std::string &name, vob_oid *elem);
// Adds or removes a name in the latest version of a branch of directory
// element dir (branch 0: main), making a new directory version (see above).
// *dirver_out (may be null): the directory version holding the change.
[[nodiscard]] int vob_dir_add_name(vob_t *vob, vob_oid dir, vob_oid branch, const std::string &name,
                                   vob_oid elem, const vob_event *ev, vob_oid *dirver_out = nullptr);
[[nodiscard]] int vob_dir_remove_name(vob_t *vob, vob_oid dir, vob_oid branch, const std::string &name,
                                      const vob_event *ev, vob_oid *dirver_out = nullptr);

// ---- Selection and path lookup -------------------------------------------------------------------

// A config-spec rule for "element [-file|-directory] PATTERN ...": the first
// rule that applies to the element's kind and view path and selects a
// version of it wins. A view path is the VOB tag followed by the path below
// the VOB root ("/proj" is the root of VOB /proj, "/proj/src/a.c" its
// src/a.c). path "" is the pattern "*" (every element); otherwise the rule
// applies to the element whose view path is path, and with below set also to
// every element under it ("/proj/src/..."), by whole components.
struct vob_rule {
    enum kind_t { CHECKEDOUT, LATEST, VERSION, LABEL } kind = LATEST;
    std::string arg;      // LATEST: branch path "/main/dev"; VERSION: "/main/3"; LABEL: type name
    int only = 0;         // 0: any element; VOB_MT_FILE_ELEM or VOB_MT_DIR_ELEM: that kind only
    std::string path{};   // "" for "*"; else a view path without a final "/"
    int below = 0;        // the pattern is "path/...": path and everything below it
};
// The default rules: CHECKEDOUT, then /main/LATEST.
std::vector<vob_rule> vob_default_rules();
// 1 when some rule has a path pattern, so that selection needs view paths.
int vob_rules_by_path(const std::vector<vob_rule> &rules);
// The version of elem that the rules select for view_tag (CHECKEDOUT selects
// the version that view checked out; *checkedout set to 1). VOB_NOT_FOUND
// when no rule selects one. elem_mtype: the element's metatype when the
// caller knows it (a directory entry does); 0 has it looked up, only when a
// rule is restricted to one kind. view_path: the element's view path; a rule
// with a path pattern applies only when it is given and matches.
[[nodiscard]] int vob_select_version(vob_t *vob, vob_oid elem, const std::vector<vob_rule> &rules,
                                     const std::string &view_tag, vob_oid *ver, int *checkedout = nullptr,
                                     int elem_mtype = 0, const std::string *view_path = nullptr);

// Resolves a path below the VOB root ("" or "." is the root; "src/a.c";
// "src/a.c@@/main/dev/3"; "src@@/main/2" for a directory version), choosing
// directory versions by the rules (null: /main/LATEST), each by its view
// path (the VOB's tag and the components so far). On success *elem is the
// element and *ver the selected version (or the one the "@@" names).
[[nodiscard]] int vob_resolve_path(vob_t *vob, const std::string &path, const std::vector<vob_rule> *rules,
                                   const std::string &view_tag, vob_oid *elem, vob_oid *ver);
// Splits "PATH@@VERSION" at the first "@@": 1 and the parts when there is one.
int vob_split_xpname(const std::string &xpname, std::string *path, std::string *vid);

// ---- Records of the layers above the store --------------------------------------------------

// A layer above the store (the project layer, platform/orbis) keeps its
// objects as records: an object of metatype VOB_MT_PROJECT..VOB_MT_STREAM
// with its event, a name unique among the records of its metatype (at most
// 255 bytes, no NUL; the layer decides what else a name may hold) and a body
// of text that only that layer reads. The store keeps records and their
// events; what they mean and how they refer to each other is the layer's.
// A layer that checks something before it writes does both inside one
// vob_txn, so that no other writer comes between.
struct vob_record {
    vob_oid oid = 0;
    int mtype = 0;
    std::string name, body;
};
// VOB_EXISTS (nothing made) when a record of that metatype has the name.
[[nodiscard]] int vob_record_create(vob_t *vob, int mtype, const std::string &name, const std::string &body,
                                    const vob_event *ev, vob_oid *out);
[[nodiscard]] int vob_record_find(vob_t *vob, int mtype, const std::string &name,
                                  vob_oid *out);   // VOB_NOT_FOUND
[[nodiscard]] int vob_record_get(vob_t *vob, vob_oid rec, vob_record *out);
[[nodiscard]] int vob_record_list(vob_t *vob, int mtype, std::vector<vob_record> *out);   // by name
[[nodiscard]] int vob_record_set_body(vob_t *vob, vob_oid rec, const std::string &body);
[[nodiscard]] int vob_record_remove(vob_t *vob, vob_oid rec);   // with its event
