// The state of one fsimport_start run, shared by its modules (not a public
// header).
//
// Invariants: a fsi_dir names a directory of the VOB (elem, or 0 for one that
// a preview would make) and the source directory whose entries go into it;
// `rel` is its path below the target ("" for the target itself). The counts
// in fsi_stats hold only committed work (in a preview: the work foreseen).
// Each name enters a report table at most once.
#pragma once

#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/fsimport/fsimport_msgs.h"
#include "platform/fsimport/fsimport_start.h"
#include "platform/view/view.h"
#include "platform/store/vob.h"
#include "runtime/vcsignore.h"

// One .vantorignore line (runtime/vcsignore.h).
using fsi_pattern = vcsignore_pattern;

// What a source directory holds, as it goes into the VOB.
struct fsi_entry {
    std::string src;    // the source path
    std::string name;   // the name in the VOB (folded with downcase)
    enum kind_t { FILE, DIR, OTHER } kind = FILE;
    struct stat st = {};
};

struct fsi_dir {
    vob_oid elem = 0;           // 0: not in the VOB yet (preview only)
    std::string src;            // the source directory ("" for the target: its entries are the sources)
    std::string rel;            // below the target
    bool read_entries = true;   // recurse (or the target's own list of sources)
    bool imported = true;       // a directory of the sources: rmname and labels apply
    bool created = false;       // this run made the element
    std::vector<fsi_pattern> ignore;   // patterns in force below it (filter)
};

// A directory from the VOB root down to the target, and how it is shown.
struct fsi_path_dir {
    vob_oid elem = 0;
    std::string shown;
    std::string vpath;   // its view path, by which the config spec selects
};

struct fsi_stats {
    long elements = 0, versions = 0, unchanged = 0, removed = 0, labelled = 0, failed = 0;
};

struct fsi_run {
    fsimport_params *p = nullptr;
    std::string comment;
    std::string target;        // as given, without final separators: printed paths start with it
    std::string target_real;   // its real path

    view_t *view = nullptr;
    vob_t *vob = nullptr;   // owned by the view
    std::string view_tag;
    std::vector<vob_rule> rules;
    std::string target_vpath;           // the target's view path: the VOB tag and the path below its root
    bool rules_see_checkouts = false;   // the first rule for files is CHECKEDOUT for every file
    bool rules_select_latest = false;   // every rule selects the latest version of a branch (or a checkout)
    vob_oid target_elem = 0;            // 0 in a preview that would make it
    std::vector<fsi_path_dir> target_path;   // the VOB root down to the target (those that exist)
    vob_oid root_elem = 0;                   // the VOB root (lost+found lives there)
    vob_oid lost_found = 0;
    vob_oid lbtype = 0;   // with mklabel (0 in a preview when it would be made)
    int64_t now = 0;
    vob_event base_ev;   // the importer, the host and the comment

    fsi_stats stats;
    bool changed = false;        // this run changed the VOB
    bool stop = false;           // interrupted, or the VOB stayed busy
    std::string stopped_at;      // what was in hand then
    std::vector<fsi_dir> todo;   // directories still to import, depth first (a stack)

    // Progress on standard error.
    bool tty = false;
    std::chrono::steady_clock::time_point started, last_shown;
    std::chrono::duration<double> interval{10.0};
    long seen = 0;   // entries handled
};

// fsi_report.cpp
const imsg_catalog *fsi_cat();
// The path a user sees: the target, "/", rel.
std::string fsi_show(const fsi_run *run, const std::string &rel);
// The view path of rel (below the target), by which the rules select.
std::string fsi_view_path(const fsi_run *run, const std::string &rel);
std::string fsi_join(const std::string &dir, const std::string &leaf);
// Lists a name in the first (not imported) or second (not labelled) table.
void fsi_list_not_imported(fsi_run *run, const std::string &shown);
void fsi_list_not_labelled(fsi_run *run, const std::string &shown);
// A failure of one name: reported with the reason and listed; counted.
void fsi_fail(fsi_run *run, const std::string &rel, const std::string &why);
// A name left out on purpose (a link, a special file): a warning, and listed.
void fsi_skip(fsi_run *run, const std::string &rel, const std::string &why);
// One line of a preview: "<action>: <path>" (none with quiet); the second
// takes the path as shown.
void fsi_action(fsi_run *run, const char *action, const std::string &rel);
void fsi_action_shown(const fsi_run *run, const char *action, const std::string &shown);
void fsi_progress(fsi_run *run, bool force);
void fsi_progress_end(fsi_run *run);

// fsi_filter.cpp
// The administrative directories of other version-control tools.
bool fsi_is_admin_dir(const std::string &name, bool is_dir);
// Reads dir/.vantorignore into *out (appended). 0, or an errno value with *why.
int fsi_read_ignore(const std::string &dir, std::vector<fsi_pattern> *out, std::string *why);
// The lines of a .vantorignore text of directory dir as patterns (appended).
void fsi_parse_ignore(const std::string &text, const std::string &dir, std::vector<fsi_pattern> *out);
// Whether an entry of the source directory dir is to be skipped.
bool fsi_ignored(const std::vector<fsi_pattern> &patterns, const std::string &path, bool is_dir);

// fsi_source.cpp
// The entries of a source directory in name order, filtered and folded as
// the run asks; names it cannot take are reported and listed. 0, or nonzero
// when the directory cannot be read (reported).
// *present: every name the directory holds (folded), imported or not, so
// that rmname never removes what was only skipped.
int fsi_read_source_dir(fsi_run *run, fsi_dir &dir, std::vector<fsi_entry> *out,
                        std::set<std::string> *present);
// The entries for the sources named on the command line.
int fsi_named_sources(fsi_run *run, const char *const *sources, int count, std::vector<fsi_entry> *out);
std::string fsi_fold(const std::string &name);

// fsi_target.cpp: the view and the target directory; nothing is changed
// before every check passed. 0, or 1 after a reported refusal.
int fsi_open_target(fsi_run *run);
// Whether a source directory holds the target (a tree into itself).
bool fsi_source_holds_target(const fsi_run *run, const std::string &src);

// fsi_group.cpp: imports the entries of one directory; the directories to
// descend into go onto run->todo.
// present: the names the source holds (null: rmname does not apply).
void fsi_import_dir(fsi_run *run, const fsi_dir &dir, std::vector<fsi_entry> &entries,
                    const std::set<std::string> *present);
// Set by fsimport_request_stop.
bool fsi_stop_requested();

// fsi_element.cpp: the work of one entry inside the directory's transaction
// (or, in a preview, its lines).
struct fsi_dir_state {
    const fsi_dir *dir = nullptr;
    vob_oid branch = 0;              // the directory branch the view selects
    vob_oid start_ver = 0;           // its selected version when the work began
    std::vector<vob_dirent> names;   // of that version
    const vob_dirent *find(const std::string &name) const;
};
// What one entry did, counted when its transaction commits.
struct fsi_outcome {
    fsi_stats add;
    std::vector<std::string> not_labelled;   // as shown
    fsi_dir sub;                             // a directory to descend into
    bool descend = false;
};
// What an entry needs, decided by reads alone, so that a name that only
// proves unchanged costs no savepoint.
struct fsi_plan {
    enum kind_t { NEW, VERSION, UNCHANGED, DIR } kind = NEW;
    const vob_dirent *replace = nullptr;   // a name of the other kind that rmname removes first
    vob_oid elem = 0;                      // the existing element
    vob_oid ver = 0, branch = 0;           // the version the view selects, and its branch
};
// 0, or nonzero with *why (the name is not imported).
int fsi_plan_entry(fsi_run *run, const fsi_dir_state &ds, const fsi_entry &e, fsi_plan *plan,
                   std::string *why);
// Whether carrying out the plan changes the VOB.
bool fsi_plan_writes(const fsi_run *run, const fsi_plan &plan);
// Carries it out (in a preview: prints it). 0, or nonzero with *why (the
// caller rolls the entry back).
int fsi_apply_entry(fsi_run *run, const fsi_dir_state &ds, const fsi_entry &e, const fsi_plan &plan,
                    fsi_outcome *out, std::string *why);
// Removes a name the source no longer has.
int fsi_remove_name(fsi_run *run, const fsi_dir_state &ds, const vob_dirent &d, fsi_outcome *out,
                    std::string *why);
// Labels the directory's version after the work (with mklabel).
void fsi_label_dir(fsi_run *run, const fsi_dir_state &ds, bool made_version, fsi_outcome *out);
// The directory version the view selects for dir at view path vpath, and
// its branch; a store status.
int fsi_selected_dir(fsi_run *run, vob_oid dir, const std::string &vpath, vob_oid *ver, vob_oid *branch);
// Labels the target and the directories above it, up to the VOB root, in a
// transaction of its own, once the sources are in (with mklabel).
void fsi_label_target_path(fsi_run *run);
vob_event fsi_event(const fsi_run *run, int64_t time);
