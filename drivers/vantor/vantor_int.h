// Inside the VOB driver: the open element and the steps of its hooks.
//
// An element is opened from the path the walk gave; it holds the VOB handle
// (cached for the run by vantor_calls, never closed here), the element,
// its version tree and the tree's versions in pre-order: each version of a
// branch, followed at once by every branch that sprouts from it. The cursor
// counts the versions handed out. Every failure is reported here, with the
// element's path where the message alone would not say which one failed; a
// name or path too long for its buffer fails the element, never cut.
#pragma once

#include "drivers/vantor/vantor_driver.h"
#include "drivers/vantor/vantor_calls.h"

#include <string>
#include <vector>

enum { VT_PATH_SIZE = 1024, VT_NAME_SIZE = 256 };

struct vantor_element {
    std::string path;   // as the walk gave it
    vob_t *vob = nullptr;
    vob_oid elem = 0;
    int mtype = 0;
    std::string main_path;   // "/main": "/" and the main branch type's name
    cmd_vtree_branch tree;
    std::vector<const cmd_vtree_version *> nodes;   // pre-order, into tree
    size_t cursor = 0;
};

const imsg_catalog *vt_cat();
// Versions handed out in this run (for the query count of VANTOR_SQL_STATS).
extern int64_t vt_versions_out;
// After a failed call on e's VOB: the store's reason, or, for a name that did
// not fit, which element that stops.
void vt_reason(const vantor_element *e, int rc);
// The part of a branch path below the main branch: "/main/dev/fix" gives
// "dev/fix"; the main branch itself gives "".
// Prints the entry (one without inserts), then vt_reason; CM_FAILED.
int vt_fail(const vantor_element *e, int entry, int rc);
// The name of a type, shorter than size; after a failure, reported with the
// entry no_name, CM_FAILED.
int vt_type_name(const vantor_element *e, vob_oid type, size_t size, int no_name, std::string *name);
// The creation event of obj (the element or one of its versions); after a
// failure, reported as the element's, CM_FAILED.
int vt_creation_event(const vantor_element *e, vob_oid obj, vob_event *ev);
// Who made an event, where and why, into an element's or a version's record
// (both name these fields alike; their times differ and stay the caller's).
template <class Record> void vt_copy_event_who(const vob_event &ev, Record *to) {
    to->user = ev.user;
    to->group = ev.group;
    to->event_name = ev.name;
    to->host = ev.host;
    to->comment = ev.comment;
}
// "name=value" for each attribute of obj, gathered 20 at a time; when
// update_time is given it is raised to each attribute's creation time.
int vt_attributes(const vantor_element *e, vob_oid obj, str_list *out, int64_t *update_time);
std::string vt_below_main(const vantor_element *e, const std::string &branch_path);

// The walk's file system: the view's elements as the store holds them.
extern const cm_fs_ops vt_fs_ops;

int vt_open_element(const char *path, void **handle);
int vt_element_info(void *handle, element_info *info);
int vt_next_version(void *handle, cm_version_info *v, int *is_version);
