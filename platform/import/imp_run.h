// The state of one imp_start run, shared by its modules (not a public header).
//
// Modules of the run:
//   imp_start.cpp     the entry point and the order of the work
//   imp_head.cpp      the types and directories the head of the data file names
//   imp_target.cpp    the target directory in its view; the view update
//   imp_tmpdir.cpp    the temporary directory of fetched contents
//   imp_schedule.cpp  the worker pool, the read-ahead, the loop over elements
//   imp_element.cpp   one element (with imp_version, imp_contents and
//                     imp_attach, which share imp_elem.h)
//   imp_group.cpp     the group transaction; imp_progress.cpp the progress line
//
// Invariants: `queue` holds the elements read ahead of the one being
// imported, in file order, with their fetch tickets; `queued_jobs` counts the
// revisions of the queue and of the element in hand whose contents were not
// collected yet (a batch counts its slots); the read-ahead goes past the next
// element only while fewer than `window` revisions wait and `mem` has room. The caches of types and directories hold objects of committed
// transactions and of the open group transaction (see imp_group).
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/import/imp_datafile.h"
#include "platform/import/imp_inproc.h"
#include "platform/import/imp_pool.h"
#include "platform/import/imp_start.h"
#include "platform/view/pname.h"
#include "platform/view/view.h"
#include "platform/store/vob.h"
#include "runtime/eventtext.h"

// One version's contents on the way: a pool ticket, or why there is none.
struct imp_fetch {
    long ticket = -1;   // -1: no command submitted
    imp_extract_job job;
    std::string fill_error;   // the template could not be filled
    int slot = -1;            // >= 0: read by the element's batch, in this slot
};

struct imp_queued {
    imp_element el;
    std::vector<imp_fetch> fetches;         // one per version
    std::shared_ptr<imp_rcs_batch> batch;   // the versions read from their archive
    long batch_ticket = -1;                 // -1: none, or collected
};

// A version imported, for the caller's callbacks.
struct imp_version_event {
    std::string vid;
    vob_oid branch = 0;
    int identical = 0;
    int is_new = 0;
};

// An element imported into the open group, credited when the group commits.
struct imp_done {
    std::string name;
    vob_oid elem = 0;
    bool created = false;
    long n_new = 0, n_present = 0, n_identical = 0;
    long labels_added = 0, labels_moved = 0;
    std::vector<vob_oid> labels;     // the label types the data file puts on it
    std::vector<std::string> dirs;   // with labels: the directories of its names
    std::vector<imp_version_event> events;
};

// Several elements share one transaction, and so one sync; each has a
// savepoint of its own, so a failed element rolls back alone. Invariant:
// `done` holds exactly the elements whose changes the open transaction
// holds; the caches of imp_run hold the types and directories listed here
// only while the transaction is open, and lose them if it is lost.
struct imp_group {
    std::unique_ptr<vob_txn> txn;
    std::vector<imp_done> done;
    std::vector<std::pair<int, std::string>> types;   // made in the transaction
    std::vector<std::string> dirs;                    // entered into the cache in it
    std::chrono::steady_clock::time_point start;
    int64_t bytes = 0;   // contents written in it
};

// The temporary directory of the fetched contents, removed when the run ends
// by whatever path, unless the debug flag keeps it. While the run lives it
// holds an flock on the directory; one whose lock can be taken belongs to a
// run that was killed (or cut short while it was being removed), and the
// next run removes it: the directory is locked before it gets its name (see
// imp_tmpdir.cpp). A directory that the debug flag keeps holds the file
// "kept" from the start and is never removed.
struct imp_tmp_dir {
    std::string path;
    int lock_fd = -1;   // the directory, opened and locked
    bool keep = false;
    imp_tmp_dir() = default;
    imp_tmp_dir(const imp_tmp_dir &) = delete;
    imp_tmp_dir &operator=(const imp_tmp_dir &) = delete;
    ~imp_tmp_dir();
};

// On a terminal one line redrawn in place; elsewhere (a log) whole lines,
// one every `interval` and one at the end.
struct imp_progress_line {
    bool on = false;
    bool tty = false;
    std::chrono::steady_clock::time_point start, last;
    std::chrono::duration<double> interval{10.0};
    bool drawn = false;
    int64_t update_done = 0, update_total = -1;         // the view update's last figures
    std::pair<int64_t, int64_t> update_shown{-1, -1};   // and the last ones shown
};

struct imp_run {
    imp_params *p = nullptr;
    bool verbose = false;   // p->verbose, unless p->quiet
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    // The source views and VOBs of ExtractFile names "file@@version" (an
    // export of a VOB), kept open for the run.
    std::unique_ptr<vob_pname_cache> pnames = std::make_unique<vob_pname_cache>();
    std::string datafile;
    imp_reader reader;
    imp_head head;
    std::string from_dir;   // ExportFromDir, absolute

    view_t *view = nullptr;
    vob_t *vob = nullptr;   // owned by the view
    std::string vob_tag;
    vob_oid target = 0;        // the directory element of the data file's "."
    std::string target_path;   // as given, for messages

    // Declared before the pool, so that the workers are joined (and their
    // commands ended) before the directory they write into is removed, and
    // every batch is gone before the budget it counts against.
    imp_tmp_dir tmp;
    std::string tmp_dir;
    long tmp_seq = 0;
    imp_mem_budget mem;   // contents the batches hold in memory
    imp_pool pool;
    int workers = 1;
    size_t window = 16;   // tickets to keep ahead
    std::deque<imp_queued> queue;
    size_t queued_jobs = 0;
    bool read_end = false;   // no more elements to read (end or error)
    bool read_failed = false;
    imp_error read_err;

    imp_inproc_cfg inproc;
    long revs_in_process = 0, revs_by_command = 0;   // of the batches
    imp_group group;

    // Type and directory caches: metatype and name -> oid; path -> element.
    std::map<std::pair<int, std::string>, vob_oid> types;
    std::map<std::string, vob_oid> dirs;
    vob_oid origin_attype = 0;
    std::vector<std::string> onto;   // OntoBranch components

    // Records read so far, against the counts the globals announce.
    long elements_read = 0, versions_read = 0;
    // Counts for the summary and the progress line.
    long elements_done = 0, elements_new = 0, elements_failed = 0;
    long versions_new = 0, versions_present = 0, versions_identical = 0;
    long labels_added = 0, labels_moved = 0;   // on versions of elements and directories
    // Directory (below the data file's ".", "" for it) -> the label types of
    // the elements imported into it, for imp_label_directories.
    std::map<std::string, std::set<vob_oid>> dir_labels;
    // The directories from the VOB root down to the target's parent.
    std::vector<vob_oid> target_chain;
    int failures = 0;           // anything reported as an error
    bool stopped = false;       // a callback asked to stop
    bool interrupted = false;   // imp_request_stop was called
    std::string rolled_back;    // the element in hand when it was
    imp_progress_line progress;
    eventtext_run texts;   // the author map and the encoding
};

// imp_texts.cpp: the author map and the encoding. open reads the map and
// opens the encoding before the data file is (0, or 1 after a reported
// error); apply converts one element's records as they are read; check,
// with -strictauthors, reads the elements ahead and refuses a map that
// lacks a login (1, reported; the reader is back where it was); list prints
// the map to fill in (-listauthors); report says what the run met.
int imp_texts_open(imp_run *run);
void imp_texts_apply(imp_run *run, imp_element *el);
int imp_texts_check(imp_run *run);
int imp_texts_list(imp_run *run);
void imp_texts_report(imp_run *run);
// The attributes of a record for an object the VOB holds already, whose
// event and comment an import never rewrites: an ORIGINAL_* attribute goes
// only where the object holds the converted text, so that none claims a
// conversion the object does not show. The attributes as they are when
// the record carries none (the common case, which reads nothing); nonzero
// when the object's event cannot be read.
int imp_texts_for_present(vob_t *vob, vob_oid obj, const imp_event &ev, const imp_opt_str &comment,
                          const imp_str_list &attrs, imp_str_list *out);

// imp_head.cpp: what the head of the data file names, before the elements.
// imp_make_types makes the origin attribute type (1 when it cannot: the run
// ends) and the listed types (a failure is reported and counted);
// imp_make_directories makes the directory records, each in a transaction of
// its own (a failure is reported, counted and listed; a stop request ends
// it); imp_label_directories puts the labels of what was imported on the
// directories from the VOB root down to it (and LabelAll on every directory
// record), on the version of each that holds the names, so that a config
// spec of the label alone shows the labelled tree.
int imp_make_types(imp_run *run);
void imp_make_directories(imp_run *run);
void imp_label_directories(imp_run *run);
// The word for a type's kind in messages ("element", "branch", ...).
const char *imp_type_word(int mtype);
// Finds or makes a type (its own transaction when made). 0, or nonzero with *err.
int imp_ensure_type(imp_run *run, int mtype, const std::string &name, vob_oid *out, std::string *err);
// Finds or makes the directory elements of a path below the data file's ".",
// inside the caller's transaction. *made: the directories made (paths), which
// enter the cache when the caller commits. 0, or nonzero with *err.
int imp_ensure_dir(imp_run *run, const std::string &path, vob_oid *out, std::map<std::string, vob_oid> *made,
                   std::string *err);

// imp_target.cpp: the view and VOB directory the data file's "." goes into
// (its missing directories below the VOB root made), and the view update at
// the end. 0, or 1 after a reported failure.
int imp_find_target(imp_run *run, const std::string &abs_target);
int imp_update_view(imp_run *run);

// imp_tmpdir.cpp: makes the run's temporary directory (see imp_tmp_dir) after
// removing those of killed runs. 0, or errno.
int imp_make_tmp_dir(imp_run *run);
// The removal of those of killed runs under parent, which every run makes first.
void imp_sweep_tmp_dirs(const std::string &parent);

// imp_schedule.cpp: the worker pool started (0, or 1 when no worker could
// be: reported); then the elements imported in file order, grouped into
// commits, while the pool fetches the contents of those read ahead. The last
// group is committed also after a stop request; returns the name of the
// last element handled.
int imp_start_workers(imp_run *run);
std::string imp_import_elements(imp_run *run);

// imp_element.cpp: imports one element into the group transaction, in a
// savepoint of its own. 0 on success (credited when the group commits);
// nonzero after a reported failure (rolled back, listed).
int imp_import_element(imp_run *run, imp_queued *q);
// Reports an element that was not imported and lists it; with gap, how to
// mend a gap in its version numbers follows.
void imp_report_failed(imp_run *run, const std::string &name, const std::string &why, bool gap = false);
// The origin attribute's value of a version, "<time> <VersionId>": how a
// later import of the same data file knows the versions it made.
std::string imp_origin_value(const imp_version &v);
// The origins ("<time> <VersionId>") of the versions an earlier import made
// in the element of that name, when it exists (read-only; a guess for fetching).
int imp_existing_origins(imp_run *run, const std::string &name, std::set<std::string> *out);

// imp_group.cpp: the group transaction. begin opens it when none is open
// (0, or nonzero with *err); full says it is time to commit; commit commits
// and credits its elements, or reports them all as not imported when the
// commit fails; lost does the same for a transaction the store dropped.
int imp_group_begin(imp_run *run, std::string *err);
bool imp_group_full(const imp_run *run);
void imp_group_commit(imp_run *run);
void imp_group_lost(imp_run *run, const std::string &why);

// imp_start.cpp: the event of a record: the data file's, or the importer's
// with setevent.
vob_event imp_make_event(const imp_run *run, const imp_event &ev, const imp_opt_str &comment);
// Splits a "/"-separated path into its components (empty ones dropped).
std::vector<std::string> imp_split_path(const std::string &path);

// imp_progress.cpp: the progress of an import without callbacks, on standard
// error: a line redrawn in place on a terminal (not with verbose or debug),
// else (not with quiet) a plain line every VANTOR_PROGRESS_INTERVAL seconds
// (default 10).
void imp_progress_begin(imp_run *run);
void imp_progress_tick(imp_run *run, bool force);
void imp_progress_end(imp_run *run);
// Ends a drawn progress line so that a message starts on a line of its own.
void imp_progress_break(imp_run *run);
// The view update's progress: done of total entries (total < 0: unknown);
// last: the update is over.
void imp_progress_update(imp_run *run, int64_t done, int64_t total, bool last);
