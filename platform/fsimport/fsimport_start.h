// fsimport_start: copies ordinary files and directories into a directory of
// a VOB, through the snapshot view that holds it, as new elements and new
// versions.
//
// The caller value-initialises an fsimport_params, sets what it needs, calls
// fsimport_start and then owns the report tables the call may leave in it
// (release them with fsimport_params_release).
//
// What a run does, per source (a file or a directory, landing under the
// target with its own leaf name):
// - A file without an element becomes a file element whose /main/1 holds its
//   bytes. A file whose element exists gets a new version on the branch of
//   the version the view selects, when its bytes differ from that version's
//   (or always, with identical); an unchanged file gets nothing.
// - A directory becomes a directory element; with recurse its whole tree is
//   imported, else the directory alone. Symbolic links and other special
//   files are reported and skipped.
// - The work of one directory is one VOB transaction (a few, in a very large
//   one) holding one new directory version, and within it each element is
//   atomic: an element that fails is rolled back alone, reported with its
//   path and the reason, listed in the first report table, and the run goes
//   on. A killed run leaves every element either whole or untouched; running
//   it again completes it.
// - The view is updated at the end so that it shows what was imported.
// Nothing is changed with preview: each action is printed instead.
#pragma once

#include "runtime/hash.h"
#include "runtime/imsg.h"
#include "runtime/stg.h"

#define FSIMPORT_DEFAULT_COMMENT "created by vantfsimport"

struct fsimport_params {
    int recurse = 0;                 // import the trees of source directories
    int rmname = 0;                  // remove names the imported directories' sources no longer have
    int mklabel = 0;                 // label the versions that match the sources with `label`
    int setevent = 0;                // 1: new versions get the time of the import, not the files' times
    int identical = 0;               // 1: a new version even when the bytes are unchanged
    int master = 0;                  // accepted; the store has one replica
    int unco = 0;                    // cancel this view's checkouts in the way (edits kept as FILE.keep)
    int preview = 0;                 // change nothing; print what would be done
    int downcase = 0;                // lower-case names on the way in
    int updates_only = 0;            // with mklabel: only the versions this run created
    int filter = 0;                  // skip .vantorignore matches and other tools' admin directories
    const char *comment = nullptr;   // of every element and version made; null: the default
    const char *target = nullptr;    // the target directory, inside a snapshot view
    const char *label = nullptr;     // the label type name, with mklabel
    // 1: no line per name (with preview), no line as the view update begins
    // and no progress lines when standard error is not a terminal; the
    // summary, warnings and errors as always.
    int quiet = 0;
    // Out, owned by the caller: the names of the two report tables live in
    // `area`; `reported` keeps each name listed once per table.
    stg_area *area = nullptr;
    hash_table *reported = nullptr;
    const char **not_labelled = nullptr;   // second report table: imported, not labelled
    const char **not_imported = nullptr;   // first report table: not imported (would not be, with preview)
    int not_labelled_count = 0;
    int not_imported_count = 0;
};

// 0 when everything was imported (or, with preview, would be); 1 when anything
// failed, was skipped as unimportable, or the run was refused or interrupted.
int fsimport_start(fsimport_params *params, const char *const *sources, int count);
void fsimport_params_release(fsimport_params *params);
void libvelkfsimport_print_verid();

// Interruption, as for imp_start: async-signal-safe; the run finishes or
// rolls back the element in hand, commits what is done and stops.
void fsimport_request_stop();

// The library's message catalog (numbers in fsimport_msgs.h).
const imsg_catalog *fsimport_fsimport_msg_table_adr();
