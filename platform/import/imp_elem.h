// One element's import in progress, shared by the files that import it (not a
// public header):
//   imp_element.cpp   the element: its savepoints, its record (creation, other
//                     names, locks) and the helpers the others use
//   imp_version.cpp   where each version goes: branches, numbers, presence
//   imp_contents.cpp  where each version's contents come from
//   imp_attach.cpp    labels, attributes and merge hyperlinks
//
// Invariants: everything an imp_elem_ctx holds belongs to the open savepoint
// of its element; `unlocked` lists every lock lifted in it, and the element's
// finish locks them again; `branches` and `made_branches` hold branches of
// this element only.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/import/imp_run.h"

// A branch a version lists as starting from it (SubBranch), made at the end
// when no version of the data file went to it.
struct imp_pending_sprout {
    vob_oid ver = 0;
    std::string bpath;   // branch path of ver
    std::string name;    // branch type name
    vob_event ev;
};

struct imp_pending_merge {
    vob_oid ver = 0;
    std::string vid;     // of ver, for messages
    std::string other;   // as the data file names it
    int into = 0;        // 1: Merge (other was merged into ver); 0: FMerge
    vob_event ev;        // the version's event
};

// Everything one element's import keeps while its transaction is open.
struct imp_elem_ctx {
    imp_run *run = nullptr;
    imp_queued *q = nullptr;
    const imp_element *el = nullptr;
    vob_t *vob = nullptr;
    vob_oid elem = 0;
    bool created = false;
    std::map<std::string, vob_oid> made_dirs;
    std::map<std::string, vob_oid> by_vid;    // the data file's VersionId -> version
    std::map<std::string, vob_oid> sprout;    // SubBranch type name -> the version listing it
    std::map<std::string, vob_oid> origins;   // branch path "\n" origin -> version
    std::map<std::string, vob_oid> last_on;   // branch path -> the version the last record went to
    // Label type -> the version of this element that carried it before this
    // import (0: none) and the version it ends on; see imp_el_label_counts.
    std::map<vob_oid, vob_oid> label_was, label_on;
    std::map<std::string, vob_oid> branches;   // branch path -> branch, met in this transaction
    std::map<vob_oid, int64_t> sizes;          // versions made here -> their size
    std::map<vob_oid, int> unlocked;           // object -> its obsolete flag, to lock again
    std::set<vob_oid> made_branches;           // branches this transaction made (with their version 0)
    std::vector<imp_pending_merge> merges;
    std::vector<imp_pending_sprout> sprouts;
    std::vector<imp_version_event> events;
    vob_oid onto_from = 0;   // the version the import branch sprouts from
    std::string onto_base;   // the branch path of onto_from
    long n_new = 0, n_present = 0, n_identical = 0;
    int64_t bytes = 0;   // contents written
    std::string err;
    bool gap = false;         // err is a version missing below the numbers of its branch
    bool cancelled = false;   // a stop request ended a wait for contents
};

// A version's contents: a file, bytes read in process, or none.
struct imp_contents {
    std::string path;
    const std::string *bytes = nullptr;
    std::shared_ptr<const std::string> held;   // bytes read from another VOB
    bool none() const;
    int64_t size() const;
    // SHA-256 in hex, as the store names contents; "" when unreadable.
    std::string sha256() const;
    vob_data data() const;
};

// ---- imp_element.cpp ----
// Each sets c->err (with the store's message) and returns 1.
int imp_el_store_fail(imp_elem_ctx *c, const std::string &what);
int imp_el_fail(imp_elem_ctx *c, const std::string &what);
// The name of an attribute text "name=value"; 0 when it has no "=".
int imp_el_split_attr(const std::string &text, std::string *name, std::string *value);
// A type from the run's cache (the element's types were made before its
// versions); 0, or 1 with c->err.
int imp_el_find_type(imp_elem_ctx *c, int mtype, const std::string &name, vob_oid *out);
// Unlocks a locked element or branch for the time of the transaction.
int imp_el_unlock(imp_elem_ctx *c, vob_oid obj);

// ---- imp_version.cpp ----
// The versions of the element's record, in file order.
int imp_el_import_versions(imp_elem_ctx *c);
// Branches listed by SubBranch that received no version.
int imp_el_make_empty_branches(imp_elem_ctx *c);

// ---- imp_contents.cpp ----
// Where the contents of version i are (none for a version without
// contents), waiting for its fetch. 0, or 1 with c->err (c->cancelled when a
// stop request ended the wait).
int imp_el_get_contents(imp_elem_ctx *c, size_t i, imp_contents *out);
// Collects a fetch whose contents are not wanted, so that no ticket is left.
void imp_el_drop_fetch(imp_run *run, imp_fetch *f);
// Collects what was fetched for an element and removes the files (not with
// debug, which keeps them).
void imp_el_release_fetches(imp_run *run, imp_queued *q);

// ---- imp_attach.cpp ----
// What a version record attaches to version `ver` (`ver_id`, for messages):
// its labels and LabelAll, its attributes (with only_changes those it does
// not hold yet) and its merges, noted for imp_el_make_merges.
int imp_el_attach_record(imp_elem_ctx *c, const imp_version &v, vob_oid ver, const std::string &ver_id,
                         const vob_event &ev, bool only_changes);
// Attributes "name=value" on an object (a text without "=" is warned about).
int imp_el_set_attributes(imp_elem_ctx *c, const imp_str_list &attrs, vob_oid obj, const vob_event &ev,
                          bool only_changes);
// The merge hyperlinks noted, once all versions of the element exist.
int imp_el_make_merges(imp_elem_ctx *c);
// What the element's labels came to: added (new on the element) and moved
// (from the version an earlier import or a user put them on).
void imp_el_label_counts(const imp_elem_ctx *c, long *added, long *moved);
