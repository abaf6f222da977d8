// Inside the VOB driver: the calls through which it reads a VOB as a view
// shows it, where they add something to the store (vob.h) and the views
// (view.h, pname.h): handles cached for the run, version trees as trees, the
// other end of hyperlinks, cursors, names checked against the driver's
// buffer sizes. For everything else the driver calls the store itself.
//
// Statuses are those of vob.h: VOB_OK, VOB_ERR, VOB_NOT_FOUND, and
// VOB_TOO_LONG for a text that does not fit the size the caller gave (a size
// counts a terminating NUL, so a text fits when its length is below it).
// Texts never come back cut. After a failure of a call that takes a VOB
// handle, vob_errmsg(vob) says what failed; the calls without one take
// std::string *err.
//
// VOB handles given out by vob_resolve_vob_obj are cached per VOB tag for the
// whole process, and so are the views the paths lie in: every handle stays
// valid until vob_ob_all_cache_action flushes the cache. A handle belongs to
// the thread that runs the export; nothing here is shared between threads.
#pragma once

#include "platform/store/vob.h"

#include <cstddef>
#include <string>
#include <vector>

// With flush set, closes every cached view and VOB handle: handles given out
// before are invalid afterwards. The other two arguments are kept for the
// callers and mean nothing here. Returns VOB_OK.
int vob_ob_all_cache_action(int scope, int flush, int all);

// A path in a snapshot view, or one beginning with a VOB tag, to its VOB
// and object: "path" gives the version the view selects (metatype 3 or 6),
// "path@@" the element (2 or 4), "path@@/main/3" that version.
// VOB_NOT_FOUND when the path is in no VOB or names nothing there.
[[nodiscard]] int vob_resolve_vob_obj(const std::string &path, vob_t **vob, vob_oid *obj, std::string *err);

// A well-known object (vob_wk); VOB_NOT_FOUND, with a message, for an id
// the VOB lacks.
[[nodiscard]] int vob_ob_get_wk_obj(vob_t *vob, int wk, vob_oid *obj);

// VOB_OK when text fits a buffer of size bytes; VOB_TOO_LONG otherwise, with
// a message naming what the text is ("type name", ...), for the driver's
// buffers (1024 bytes for paths and ids, 256 for the element type's name).
[[nodiscard]] int vt_fits(vob_t *vob, const std::string &text, size_t size, const char *what);

// The version tree of an element. A branch holds its versions in number
// order; each version holds the branches that sprout from it (in creation
// order) and its label applications (by label type name). Every version of
// the element appears once, below the main branch.
struct cmd_vtree_branch;
struct cmd_vtree_version {
    vob_oid ver = 0;
    std::vector<cmd_vtree_branch> branches;
    std::vector<vob_label> labels;
};
struct cmd_vtree_branch {
    vob_oid branch = 0;
    std::vector<cmd_vtree_version> versions;
};
[[nodiscard]] int cmd_utl_get_vtree(vob_t *vob, vob_oid elem, cmd_vtree_branch *main_branch);

// The version id ("/main/dev/3"), when it fits size. This and the next two
// answer from the last version tree read where it holds the version.
[[nodiscard]] int vob_ver_get_idstr(vob_t *vob, vob_oid ver, size_t size, std::string *id);
[[nodiscard]] int vob_ver_get_branch(vob_t *vob, vob_oid ver, vob_oid *branch);
// 1 when the version has no contents (a directory version, or contents
// removed), else 0: a failure to tell is left to the read of the contents.
int vt_ver_no_contents(vob_t *vob, vob_oid ver);
// The branch path ("/main/dev"), when it fits size.
[[nodiscard]] int vob_branch_get_pname(vob_t *vob, vob_oid branch, size_t size, std::string *path);

enum { VOB_EV_CREATE = 1, VOB_EV_CHECKOUT = 3 };
// The event of an object: VOB_EV_CREATE for any object, VOB_EV_CHECKOUT for
// a checkout. VOB_NOT_FOUND for another kind, or a checkout event asked of
// an object that is no checkout.
[[nodiscard]] int vob_obj_find_event(vob_t *vob, vob_oid obj, int kind, vob_event *ev);

// The hyperlinks of a type at a version: dir VOB_HL_TO (2) those that end
// at it, VOB_HL_FROM (1) those that start there; with the object at the
// other end and that object's VOB (a link joins objects of one VOB). In
// creation order.
struct cmd_hlink {
    vob_oid hlink = 0;
    vob_t *other_vob = nullptr;
    vob_oid other = 0;
};
[[nodiscard]] int cmd_utl_get_hlinks(vob_t *vob, vob_oid ver, vob_oid hltype, int dir,
                                     std::vector<cmd_hlink> *out);
// The element path extended by the other end's version id: "path@@/main/dev/3",
// when it fits size.
[[nodiscard]] int cmd_utl_get_vob_ext_pname(const std::string &elem_path, vob_t *vob, vob_oid ver,
                                            size_t size, std::string *out);

// Attributes of an object, at most max at a time, by type name. The cursor
// starts zeroed; *got (may be empty) receives the next ones; cursor.done is
// set with the last batch. The object is read once, at the first call.
struct vob_attr_cursor {
    std::vector<vob_attr> all;
    size_t pos = 0;
    int started = 0, done = 0;
};
[[nodiscard]] int vob_obj_next_attrs(vob_t *vob, vob_oid obj, vob_attr_cursor *cursor, size_t max,
                                     std::vector<vob_attr> *got);
// Attribute values are stored as text: the text itself.
[[nodiscard]] int vob_val_value_to_str(const std::string &value, int flags, std::string *out);

// The checkouts of an element, one per call. *cursor starts null; each call
// gives the next checkout in *out, and sets *cursor back to null (freed)
// when there is none left, leaving *out alone. After a failure the caller
// closes the cursor.
struct vob_ckout_cursor;
[[nodiscard]] int vob_elem_next_ckouts(vob_t *vob, vob_oid elem, vob_ckout_cursor **cursor, vob_ckout *out);
void vob_ob_cursor_close(vob_ckout_cursor *cursor);   // null is fine

// The walk's file system: the view's directories as the store holds them
// (view_above_vobs, view_read_selected), through the views cached here, for
// paths as the walk gives them. The names a directory read gives are
// remembered with their elements and versions, so that resolving them later
// costs nothing. A path in a view is one of:
//   VOB_VIEW_ELEMENT  an element of a VOB in the view's scope that the
//                     config spec selects (mtype and elem set);
//   VOB_VIEW_ABOVE    the view root or a directory on the way to a VOB root;
//   VOB_VIEW_OUTSIDE  in no view: the caller reads the file system.
// Anything else in a view (a view-private file, a name no rule selects) is
// VOB_NOT_FOUND, with the store's reason in *err.
enum { VOB_VIEW_OUTSIDE = 0, VOB_VIEW_ABOVE = 1, VOB_VIEW_ELEMENT = 2 };
struct vob_view_stat {
    int where = VOB_VIEW_OUTSIDE;
    int mtype = 0;
    vob_oid elem = 0;
    std::string vob_tag;
};
[[nodiscard]] int vob_view_stat_path(const std::string &path, vob_view_stat *out, std::string *err);
// The names of a directory of the view (VOB_VIEW_ELEMENT or VOB_VIEW_ABOVE)
// in byte order: those of the directory version the config spec selects
// whose elements a rule selects, as update loads them; above the VOB roots,
// the next component of each VOB tag in scope. VOB_ERR for a path that is
// no directory; VOB_NOT_FOUND as for vob_view_stat_path.
[[nodiscard]] int vob_view_readdir(const std::string &path, std::vector<std::string> *names,
                                   std::string *err);
