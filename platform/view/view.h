// Snapshot views: a directory tree of loaded copies of versions plus the
// view's metadata in <root>/.vantor_view/ (view.json: tag, config spec, load
// scope, the stream it follows; loaded.txt: what was loaded, for update).
//
// A VOB with tag "/proj" appears at <root>/proj: view root + tag is the VOB
// root in the view. The load scope is a set of VOB tags; loading (update)
// copies, for every element of every VOB in scope, the version that the
// config spec selects. Loaded files are read-only; a checked-out file is
// writable and is left alone by update; a loaded file changed by hand
// ("hijacked") is not overwritten: update leaves it and warns.
//
// Config spec: lines "element [-file|-directory] PATTERN SELECTOR", the
// selector one of CHECKEDOUT, /main/LATEST, /main/dev/LATEST, /main/dev/3,
// .../dev/LATEST (the branch dev wherever it sprouts) or a label; "-file" and
// "-directory" limit the rule to that kind of element. PATTERN is "*" (every
// element), a view path "/vobA/src/a.c" (that element alone) or a view path
// followed by "/..." ("/vobA/src/...": the element there and every element
// below it). A view path is the VOB tag followed by the path below the VOB
// root ("/vobA" is the root of VOB /vobA, "/vobs/a/src" a directory of VOB
// /vobs/a); it begins with "/" and has no empty component, "." or "..", and
// matches by whole components ("/vobA/..." does not hold for "/vobAB"). A
// pattern in double quotes may hold blanks ("/vobA/my src/..."); nothing else
// is quoted, and there are no wildcards inside paths. "#" starts a comment
// (outside quotes); blank lines are ignored. For each element, the first
// rule whose kind and pattern hold and that selects a version wins; an
// element that none selects is not loaded (a directory's names neither), nor
// a file whose selected version has no contents. The default spec is
// "element * CHECKEDOUT" and "element * /main/LATEST". A view of a stream
// selects each component's baseline below the component's root and the
// /main/LATEST of the directories above it:
//     element * CHECKEDOUT
//     element "/vobA/my src/comp/..." REL_A
//     element -directory /vobA /main/LATEST
//     element -directory "/vobA/my src" /main/LATEST
//
// Paths given to these calls may be absolute or relative to the working
// directory, and may name a version with "@@" (PATH@@/main/dev/3,
// PATH@@/main/dev/LATEST, PATH@@LABEL).
// Handles are not shared between threads. Changes to one view by several
// processes (update, element work, config spec, scope) take turns, each on
// the view as the one before left it; a killed update leaves a view that the
// next update completes. Calls return vob_status codes;
// view_errmsg() holds the message of the last failure.
#pragma once

#include "platform/registry/registry.h"
#include "platform/store/vob.h"

#include <cstdint>
#include <string>
#include <vector>

struct view_t;

// Parses a config spec; errors name the file (or "config spec") and line.
[[nodiscard]] int view_parse_config_spec(const std::string &text, const std::string &where,
                                         std::vector<vob_rule> *rules, std::string *err);
std::string view_default_config_spec();

// Makes an empty snapshot view at dir (which must not exist or be empty)
// with the default config spec and registers its tag.
[[nodiscard]] int view_make(const std::string &tag, const std::string &dir, std::string *err);
// Unregisters the view and deletes its directory. Refused while elements are
// checked out to it unless force is set (the checkouts are then cancelled).
[[nodiscard]] int view_remove(const std::string &dir, int force, std::string *err);

// Opens the view that holds path (the root or anything below it).
// VOB_NOT_FOUND when path is inside no view.
[[nodiscard]] int view_open(const std::string &path, view_t **out, std::string *err);
void view_close(view_t *view);
const std::string &view_errmsg(const view_t *view);
const std::string &view_get_tag(const view_t *view);
const std::string &view_get_root(const view_t *view);   // absolute

[[nodiscard]] int view_get_config_spec(view_t *view, std::string *text);
const std::vector<vob_rule> &view_get_rules(const view_t *view);
// Replaces the config spec (after parsing it); the next update applies it.
[[nodiscard]] int view_set_config_spec(view_t *view, const std::string &text);
[[nodiscard]] int view_set_config_spec_file(view_t *view, const std::string &path);

// The stream the view follows: a selector text ("stream:Integration@/pvob"),
// "" for none. Only kept here; whoever attaches the view makes its config
// spec from the stream. Setting "" detaches the view. A stream text begins
// with "stream:" and holds no control characters.
const std::string &view_get_stream(const view_t *view);
[[nodiscard]] int view_set_stream(view_t *view, const std::string &stream);

// The load scope: VOB tags, sorted. Adding a tag that is there is VOB_OK.
[[nodiscard]] int view_add_scope(view_t *view, const std::string &vob_tag);
[[nodiscard]] int view_remove_scope(view_t *view, const std::string &vob_tag);
const std::vector<std::string> &view_get_scopes(const view_t *view);
// The registered views (default region) whose load scope holds vob_tag, in
// tag order: those a removal of that VOB would leave without it. A view
// whose metadata cannot be read (its directory gone, say) loads nothing and
// is not listed. The scope alone decides: a config spec's patterns only
// choose among the elements of the VOBs in scope.
[[nodiscard]] int view_list_loading(const std::string &vob_tag, std::vector<rgy_view> *out, std::string *err);

// Progress of long operations: called now and then with counts so far, and
// once at the end with done == total. Halfway total is -1 unless with_total
// is set: update then first walks the directories (not the files) to count
// the entries it will visit, and gives that count (at least done) instead.
struct view_progress {
    void (*cb)(void *ctx, int64_t done, int64_t total) = nullptr;
    void *ctx = nullptr;
    int with_total = 0;
};
struct view_update_stats {
    int64_t loaded = 0, removed = 0, unchanged = 0, kept = 0;   // kept: hijacked or checked out
    int64_t no_contents = 0;   // names not loaded: their selected version has no contents
};
// Loads the scope by the config spec. Warnings (hijacked files) go to
// *warnings when it is not null.
[[nodiscard]] int view_update(view_t *view, const view_progress *progress, view_update_stats *stats,
                              std::vector<std::string> *warnings);

// Comparison of what the view shows below path (a directory of a VOB in the
// view) with an ordinary directory tree dir. The view's side is read from
// the store: the names and versions the config spec selects, walked and
// selected as update does (a version without contents shows no file), so a
// stale or hijacked copy hides nothing; a file the view has checked out is
// its copy on disk. Names are compared by kind (file, directory, other),
// files by SHA-256 of dir's file against the version's recorded hash (sizes
// first). No file modes: the store keeps none. Left out on both sides: the
// directories CVS, RCS, .svn and .git (.git of any kind), and lost+found at
// the VOB root. Without recursive only the entries of path itself.
struct view_diff_item {
    enum kind_t { ONLY_VIEW, ONLY_DIR, DIFFERS, KIND_DIFFERS } kind = DIFFERS;
    std::string path;   // relative to the directories compared, "/"-separated
};
struct view_diff_stats {
    int64_t files = 0, dirs = 0;   // names on both sides, by kind
    bool unselected = false;       // the view selects no version of the path: it shows nothing there
};
// *out: the differences, sorted by path. VOB_OK whether or not there are
// any; another status when the two cannot be compared (the message says why).
// With prune, a directory that holds no file at any depth counts as absent
// on either side (for trees from tools that do not keep directories, which
// leave out those without files). A directory element the config spec
// selects no version of shows nothing: all of dir is only in dir.
[[nodiscard]] int view_diff(view_t *view, const std::string &path, const std::string &dir, int recursive,
                            int prune, std::vector<view_diff_item> *out, view_diff_stats *stats);

// The VOB handle for a tag in the scope (or any registered tag), opened on
// first use and owned by the view.
[[nodiscard]] int view_get_vob(view_t *view, const std::string &vob_tag, vob_t **vob);

// Where a path in the view lies: its VOB, the path below the VOB root, the
// directory that holds it and its leaf. The leaf need not exist (mkelem);
// the directory must. For the VOB root itself vob_path is "" and dir_elem 0.
struct view_loc {
    std::string vob_tag;
    std::string vob_path;   // "src/a.c"
    std::string dir_path;   // "src"
    std::string leaf;       // "a.c"
    std::string vid;        // the version after "@@", or ""
    vob_oid dir_elem = 0, dir_ver = 0;
};
[[nodiscard]] int view_locate(view_t *view, const std::string &path, view_loc *out);

// The view's file handle of a path: the element and the version the view
// selects (or the "@@" names).
struct view_fhandle {
    std::string vob_tag;
    std::string vob_path;
    vob_oid elem = 0, ver = 0;
    int mtype = 0;        // of the element
    int checkedout = 0;   // the view has it checked out
};
[[nodiscard]] int view_get_fhandle(view_t *view, const std::string &path, view_fhandle *out);
// For a path (without "@@") whose element, or a directory above it, the
// config spec selects no version of: the element as /main/LATEST shows it
// (ver is that version). VOB_NOT_FOUND when the path names no element
// that way either, or the view selects it after all.
[[nodiscard]] int view_get_unselected(view_t *view, const std::string &path, view_fhandle *out);

// Directory reading through the view: the names of the directory version
// the view selects, in byte order; for a VOB root in the view, its names.
struct view_dirent {
    std::string name;
    vob_oid elem = 0;
    int mtype = 0;
};
[[nodiscard]] int view_readdir(view_t *view, const view_fhandle &dir, std::vector<view_dirent> *out);

// The view's directories as the store holds them, for a walk that must meet
// every element the config spec selects, loaded or not (a version without
// contents loads no file; a view-private file is no element).
// 1 when path lies on the way to the root of a VOB in the scope (the view
// root, or <root>/a for the VOB /a/b), else 0. *next, when given, gets the
// next component of each such VOB tag, once each, in byte order.
int view_above_vobs(const view_t *view, const std::string &path, std::vector<std::string> *next);
// The names of directory dir whose elements a rule selects, with the
// versions it selects, as update loads them; in byte order of the names.
struct view_selected {
    std::string name;
    vob_oid elem = 0, ver = 0;
    int mtype = 0;   // of the element
};
[[nodiscard]] int view_read_selected(view_t *view, const view_fhandle &dir, std::vector<view_selected> *out);

// Element work through the view, each one transaction, the view's files kept
// in step.
// mkelem: makes the element named by path (its directory must be an
// element). A file element is left checked out (reserved) with the view's
// file as its contents-to-be, unless checkin is set: then the file's bytes
// (or nothing, when there is no file) become /main/1 at once.
[[nodiscard]] int view_mkelem(view_t *view, const std::string &path, int mtype, const std::string &eltype,
                              const std::string &comment, int checkin, view_fhandle *out);
[[nodiscard]] int view_checkout(view_t *view, const std::string &path, int reserved,
                                const std::string &comment);
// from: a file whose bytes become the new version ("": the view's file).
// The view's file then holds the new version; when it held other bytes
// before, it is first kept aside as the uncheckout keeps it, and *kept (may
// be null) names where ("" when nothing was kept).
[[nodiscard]] int view_checkin(view_t *view, const std::string &path, const std::string &from,
                               const std::string &comment, vob_oid *ver_out, std::string *kept = nullptr);
// Cancels this view's checkout. The view's file is first moved aside to
// PATH.keep, or PATH.keep.N (the lowest N free) when that name is taken:
// no file is ever overwritten. *kept (may be null) gets the name used, ""
// when there was no file to keep.
[[nodiscard]] int view_uncheckout(view_t *view, const std::string &path, std::string *kept = nullptr);
