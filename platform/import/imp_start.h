// imp_start: loads an export data file into a directory of a VOB through the
// snapshot view that holds it.
//
// The caller zeroes an imp_params (value-initialise it), sets what it needs,
// calls imp_start and then owns the three name tables the call may leave in
// it (release them with imp_params_release).
//
// Order of work: read the head of the data file; check NeedCmd and, for cvs
// commands, CVSROOT and that it holds the archive the first command reads
// (nothing is made when any of these is missing); create the
// missing types; create the directories; then each element with its versions
// in file order, each element in one transaction, while a pool of worker
// processes fetches the contents of the elements ahead. An element that fails
// (its contents cannot be had, the store refuses a step, its record is damaged)
// is rolled back whole and listed; the elements before it stay. At the end of
// the file the element and version records read are held against NumElements
// and NumVersions: fewer means the file was cut short, which fails the import
// (what it held stays imported); more is only a warning. Finally, unless
// load is 0, the view is updated so that the imported files appear.
//
// Incremental import: each version the import creates carries the attribute
// IMP_ORIGIN_ATTR ("<event time> <VersionId>"); a version whose element,
// branch, VersionId and event time match one already in the VOB is skipped, so
// importing a file again changes nothing. An AbsVersion record names its
// version itself and gets no such attribute (its own attributes arrive as
// written): it is present when its branch has that number with the record's
// event time (version 0: when it exists), and that number with another time
// fails the element. Its labels are moved to it and its attributes and merges
// added, present or not; a record without a Comment gets no default comment.
#pragma once

#include <string>

#include "platform/store/vob.h"
#include "runtime/hash.h"
#include "runtime/imsg.h"

#define IMP_ORIGIN_ATTR "vantor_import_origin"

// The progress callback table. Each entry may be null; each gets ctx first.
// A nonzero result from any entry stops the import after the current element
// (imp_start then fails).
struct imp_callbacks {
    void *ctx;
    // 1: the totals announced by the data file, before anything is imported.
    int (*range)(void *ctx, long elements, long versions);
    // 2: the directories are being created.
    int (*phase_directories)(void *ctx);
    // 3 to 6: attribute, label, branch and element types are being created.
    int (*phase_attribute_types)(void *ctx);
    int (*phase_label_types)(void *ctx);
    int (*phase_branch_types)(void *ctx);
    int (*phase_element_types)(void *ctx);
    // 7: a directory of the data file, its element, the branch that holds the
    // imported names (main), and 1 when this import created the element.
    int (*directory)(void *ctx, const char *name, vob_oid elem, vob_oid branch, int created);
    // 8: an element done: its name, the element, 1 when this import created it.
    int (*element)(void *ctx, const char *name, vob_oid elem, int created);
    // 9: a version of the data file now in the VOB: its VersionId, its branch,
    // and 1 when this import created it (0: it was there from an earlier run).
    int (*version)(void *ctx, const char *version_id, vob_oid branch, int is_new);
    // 10: a version not created because its contents equal its predecessor's
    // on the branch; its labels and attributes went to that predecessor.
    int (*version_identical)(void *ctx, const char *version_id, vob_oid branch);
};

struct imp_params {
    const char *datafile = nullptr;
    const char *target_dir = nullptr;   // null: "."
    int verbose = 0;                    // a notice per element, and as the import and the update begin
    int identical = 0;                  // 1: create versions equal to their predecessor too
    int setevent = 0;                   // 1: events are the importer's user and the time of the import
    int master = 0;                     // accepted; the store has one replica
    int pcase = 0;                      // accepted; names keep their case
    int debug = 0;                      // print each command run; keep the temporary files
    int label_directory = 0;            // 1: LabelAll labels the directories too
    const char *comment = nullptr;      // for records without a comment; null: none
    // 1: no notice per element even with verbose, and no progress lines
    // when standard error is not a terminal (the summary, warnings and
    // errors as always).
    int quiet = 0;
    // The author map and the legacy encoding (runtime/eventtext.h) for the
    // records as they are read; null: VANTOR_AUTHORS and VANTOR_ENCODING,
    // when set. authors_strict: a login the map lacks stops the import
    // before anything is imported. list_authors: the logins are printed as
    // an author map on stdout, and nothing is imported.
    const char *authors = nullptr;
    const char *encoding = nullptr;
    int authors_strict = 0;
    int list_authors = 0;
    const imp_callbacks *callbacks = nullptr;   // null: a progress line on a terminal
    // With callbacks: each element is committed on its own, so that a stop
    // asked for in a callback ends the import right after that element. 1:
    // elements share commits of at most a tenth of a second, and the
    // callbacks of a commit's elements come after it, together; a stop then
    // takes effect at the next commit (far fewer syncs: a progress page).
    int group_told = 0;
    // Out: the branch type the versions went onto (the last OntoBranch
    // component), "" for main.
    std::string branch_type;
    int load = 0;   // 1: update the view afterwards
    // Out, owned by the caller (keys: element names; values null):
    hash_table *imported = nullptr;       // elements that got new versions or were created
    hash_table *unchanged = nullptr;      // elements that were already complete
    hash_table *not_imported = nullptr;   // elements that failed
};

// 0 when everything was imported; 1 when anything failed (reported, and the
// failed elements listed in not_imported), the data file ended early, or the
// import was interrupted.
int imp_start(imp_params *params);

// Interruption. imp_request_stop is async-signal-safe, for a SIGINT or SIGTERM
// handler: a running import finishes the element in hand when its contents
// are there, else rolls it back (never commits half an element); then it ends
// the extract commands, removes its temporary files, says how far it got and
// fails. The request stays until imp_clear_stop; one made before imp_start
// stops it before its first element.
void imp_request_stop();
int imp_stop_requested();
void imp_clear_stop();
void imp_params_release(imp_params *params);
void libvelkimport_print_verid();

// The import library's message catalog (numbers in imp_msgs.h).
const imsg_catalog *importer_import_msg_table_adr();
