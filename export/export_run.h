// The state of one exporter run, shared by the modules of the main entry, and
// the entry points each of them offers to the top-level sequence in
// export_main.cpp:
//
//   export_options.cpp  the command line, refusals by kind, the dates and their notices
//   export_walk.cpp     the operands, the walk and its callback, the failure list
//   export_output.cpp   the reserved data file, the record files, the assembly of
//                       the data file, the translation file
//
// None of them calls another or stops the run itself: each reports what went
// wrong and returns nonzero, and export_main.cpp does the cleanup (record files
// removed, failure list freed, driver shut down) and exits with status 1.
//
// Invariants: the data file exists (empty) from the moment it is reserved until
// the assembled file is renamed over it as the run's last write, so a failed
// run leaves an empty file that stops the next run until it is moved, and
// never a partial one; the element file only ever holds whole element records
// (a failed element is cut back off it); the exit status is 1 exactly when
// something that was asked for is missing from the data file for a reason
// other than a per-element failure, which is listed (or the standard output
// or error could not be written); otherwise it is 2 when the list is not
// empty. A run stopped by SIGINT or SIGTERM ends with 128 + the signal and
// the empty data file, its record files removed. What a driver left out on purpose (its 1003 with a
// reason) is listed apart and does not count. NumElements and NumVersions count the element and
// version records the data file holds, no more: a record cut back counts
// nothing.
#pragma once

#include <cstdio>
#include <string>
#include <sys/types.h>
#include <vector>

#include "export/cm_driver.h"
#include "export/export_elem.h"
#include "export/export_msgs.h"
#include "export/export_texts.h"
#include "runtime/atomic_file.h"
#include "runtime/hash.h"

struct export_state {
    int recursive = 0;
    int follow_links = 1;
    export_selection sel;
    std::string output_name = "cvt_data";
    const char *onto_branch = nullptr;
    const char *label_all = nullptr;
    const char *onto_brvid = nullptr;
    FILE *dir_file = nullptr;
    FILE *element_file = nullptr;
    name_list attr_types, branch_types, element_types, label_types;
    long num_elements = 0;              // element records written
    long num_versions = 0;              // version records written
    off_t element_file_size = 0;        // whole element records only
    bool element_file_broken = false;   // holds part of a record: never assembled
};

struct export_run {
    export_state st;
    const cm_driver *drv = nullptr;
    const cm_fs_ops *fs_ops = nullptr;
    cm_globals g{};
    int kind = 1;
    std::string program;
    std::string output_prefix;   // the output name as walked paths spell it
    std::string temp_dir;        // -t
    const char *translation_file = nullptr;
    const char *date_important = nullptr, *date_since = nullptr, *date_prior = nullptr;
    std::vector<std::string> operands;
    std::string dir_tmp, element_tmp;   // the record files; empty when not made
    // The places of the record files and of the data file being assembled
    // among the files a stop at once removes (stopsig.h); -1: none.
    int dir_slot = -1, element_slot = -1, data_slot = -1;
    std::vector<char> element_buf;   // outlives the element file it buffers
    hash_table *failures = nullptr;
    // Paths left out on purpose, in walk order, each with what became of it.
    std::vector<std::pair<std::string, std::string>> left_out;
    std::string current_source;   // the operand being walked ("" before the walk: ".")
    std::string current_path;     // the last path the walk met
    long files_walked = 0;        // regular files the walk met
    bool progress = false;        // the progress line is drawn (stderr is a terminal)
    double start_time = 0;        // monotonic seconds
    double last_draw = 0;
    bool init_ok = false;
    bool shutdown_done = false;
    int error_flag = 0;
    bool quiet = false;         // -q, --quiet
    bool double_dash = false;   // the options ended with "--"
    export_texts texts;         // --authors, --encoding and what they met
};

inline const imsg_catalog *export_main_cat() { return export_main_export_msg_table_adr(); }

// ---- export_options.cpp
// What a refused command line asks of the caller besides status 1.
enum export_stop { EXPORT_GO_ON = 0, EXPORT_STOP = 1, EXPORT_STOP_USAGE = 2 };
[[nodiscard]] export_stop export_parse_options(export_run &r, int argc, char **argv);
// The words before the source-names, read as getopt reads them (the
// values of options skipped): where the source-names begin, whether "--"
// ended the options, the main's long options (words getopt would misread,
// which the driver and getopt never see), whether --version or the letter V
// is among them.
struct export_words {
    int first_operand = 1;
    int double_dash = -1;   // its index, or -1
    std::vector<int> main_words;   // the main's own long options and their values
    bool quiet = false;            // --quiet
    bool version_word = false;
    // --authors FILE, --encoding NAME (or --authors=FILE): null when absent.
    const char *authors = nullptr, *encoding = nullptr;
    const char *missing_value = nullptr;   // a long option given without its value
    bool authors_strict = false;           // --authors-strict
    bool list_authors = false;             // --list-authors
    bool v_letter = false;
};
// driver_letters: the driver's own letters, by which a cluster is known.
export_words export_scan_words(int argc, char **argv, const char *driver_letters = nullptr);
// A word that reads as an option: a long option of the main's, or "-" and
// one of the letters.
bool export_looks_like_option(const char *word, const std::string &letters);
// Whether the common option letter c takes a value.
bool export_option_takes_value(int c);
// Whether exporters of that kind refuse the common option letter c.
bool export_option_refused(int c, int kind);
// Converts -I, -s and -p and prints the notice of the selection; 0, or 1 after
// a reported bad date.
[[nodiscard]] int export_convert_dates(export_run &r);

// ---- export_walk.cpp
// Walks the operands (or "."), writing directory records and element records
// to the record files and noting what could not be exported. 0, or 1 after a
// reported failure that ends the run (the current directory unusable).
[[nodiscard]] int export_walk_sources(export_run &r);
// The end-of-run lists: what was left out on purpose, then what could not
// be exported.
void export_report_failures(const export_run &r);
void export_free_failures(export_run &r);
long export_failure_count(const export_run &r);
// Monotonic seconds.
double export_now();
// Redraws the progress line when it is due (at most about five times a
// second), or at once with `final`, which then ends it with a line end.
void export_progress(export_run &r, bool final);

// ---- export_output.cpp
// Each returns 0, or 1 after a reported failure.
[[nodiscard]] int export_reserve_output(export_run &r);
[[nodiscard]] int export_make_record_files(export_run &r);
[[nodiscard]] int export_open_record_files(export_run &r);
[[nodiscard]] int export_close_record_files(export_run &r);
void export_remove_record_files(export_run &r);
[[nodiscard]] int export_read_translation(export_run &r);
// The data file is assembled whole beside the reserved one, and renamed over
// it only when everything else has succeeded: a run that fails part way (a
// full disk, a file-size limit, the translation file) leaves the reserved
// empty file, never a partial one that looks like a result.
[[nodiscard]] int export_assemble(export_run &r, atomic_file &file);
[[nodiscard]] int export_commit_output(export_run &r, atomic_file &file);
// The data file being assembled is no longer the stop handlers' to remove
// (committed, or removed by its atomic_file).
void export_drop_data_file(export_run &r);
// Replaces the translation file whole, or reports the renames without -T.
[[nodiscard]] int export_write_translation(export_run &r);
