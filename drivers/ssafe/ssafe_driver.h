// The SourceSafe exporter driver. It never reads a SourceSafe database: every
// question is put to the client `ss` as a child process whose output goes to
// a temporary file, which the driver then parses. Projects below the working
// project become directories, files elements; a file's history in its own
// project is the main line, and with -F its branched places are branches and
// its other shared places alternate names. Versions are fetched at import
// time by `ssafeget`.
//
// Paths: every SourceSafe path the driver holds is full ("$/proj/a.c").
// Names relative to the working project (walk paths, element names, share
// keys) are joined to it with one "/"; a name that already begins with "$"
// is full and is taken as it is, so that nothing is ever doubled.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "export/cm_driver.h"

// Limits of the fields the data file and the commands carry; longer input is
// reported (SSAFE_TOO_LONG) and fails the element, never cut.
enum {
    SSAFE_MAX_PATH = 1024,         // a SourceSafe path of a location
    SSAFE_MAX_AT_VERSION = 4,      // digits of an "at version" number
    SSAFE_MAX_BRANCH_PATH = 255,   // a branch path
    SSAFE_MAX_DATE_TIME = 19,      // the date or the time of a history entry
    SSAFE_MAX_NESTING = 200,       // levels of branches below branches in `ss paths`
};

// Process-wide settings, fixed by init.
struct ssafe_driver_state {
    std::string ss_path;           // the `ss` found on PATH
    std::string working_project;   // "$/proj", without the trailing ":"
    int follow = 0;                // -F
    int record_version = 0;        // -V
    int64_t since = 0;             // -s, 0 when absent
    opt_str group, host;           // of the account running the export
    // The end date of pinned histories, learnt from the first element's
    // probe and kept for the run: "d12-31-00" before 6.0, else "d01-18-37".
    std::string pin_end_date;
    // Share keys (paths relative to the working project) of places written
    // as alternate names of an exported element, with that element's name.
    std::map<std::string, std::string> shares;
    // Lines of the `ss dir` listings the walk read ("$sub" for a project,
    // "a.c" or "a.c;3" for a file), by walk path without "./": the stat of
    // a listed entry and the pin check of its main line are answered from
    // them instead of running `ss` again for the same answer.
    std::map<std::string, std::string> listed;
};

ssafe_driver_state &ssafe_state();
void ssafe_reset_state();   // tests

// One place of a file whose history is read.
struct ssafe_location {
    std::string path;               // full SourceSafe path of the file there
    std::string at_version = "0";   // where the place's history starts
    std::string branch;             // branch path; empty for the main line
    std::string parent;             // the parent location's path; empty for the main line
    int sprout_found = 0;
};

struct ssafe_element {
    std::string name;                        // walk path with "/" separators, cut at the first ";"
    std::vector<cm_version_info> versions;   // in the order the histories were read
    long cursor = -1;
    std::vector<std::string> alt_names;   // share keys
    std::vector<ssafe_location> locations;
    std::vector<std::string> share_keys;   // every place's key, entered on success
};

extern const cm_driver ssafe_driver;

// The hooks, also reachable by name for the tests.
[[nodiscard]] int ssafe_cm_init(int argc, char **argv, const cm_fs_ops **fs_ops, int *kind, cm_globals *g);
void ssafe_cm_usage(const char *program);
[[nodiscard]] int ssafe_cm_help(const char *argv0, cm_help_text *text);
// A place skipped as a share: the element it is an alternate name of.
int ssafe_cm_left_out(const char *path, std::string *why);
[[nodiscard]] int ssafe_cm_shutdown();
const char *ssafe_cm_need_cmd();
[[nodiscard]] int ssafe_cm_map_name(const char *path, int recursive, int *convert, int *prune,
                                    std::string *name);
[[nodiscard]] int ssafe_cm_open_element(const char *path, void **handle);
[[nodiscard]] int ssafe_cm_element_info(void *handle, element_info *info);
[[nodiscard]] int ssafe_cm_next_version(void *handle, cm_version_info *v, int *is_version);
[[nodiscard]] int ssafe_cm_extract(void *handle, const cm_version_info *v, std::string *text,
                                   int *is_command);
void ssafe_cm_close_element(void *handle);
extern const cm_fs_ops ssafe_fs_ops;

// ---- ssafe_names.cpp
// A path of the walk relative to the working project: no leading "./",
// and "" for "." itself.
std::string ssafe_walk_path(const std::string &path);
// The full SourceSafe path of a name relative to the working project (a
// name beginning with "$" is full already); "." and "" are the project.
std::string ssafe_full_path(const std::string &wp, const std::string &name);

// ---- ssafe_date.cpp
// The regional check of start-up: the sample moment 8 June 1994 21:40:00 as
// the locale of LC_TIME prints short dates and 12-hour times, leading zeros
// of day, month and hour dropped. 0 and both texts, or 1 (the locale names
// no 12-hour or no date format: *which says "time" or "date").
[[nodiscard]] int ssafe_regional_sample(std::string *date, std::string *time, std::string *which);
// Whether the sample reads "6/8/1994" or "6/8/94" and "9:40:00 PM".
bool ssafe_regional_ok(const std::string &date, const std::string &time);
// A history entry's date (month/day/year, the year of 1 to 4 digits) and
// time (h:mm followed by "a" or "p") as local time. 0, or 1 after entry 2:
// fields out of range, or a moment before 1970 or after 3000.
[[nodiscard]] int ssafe_convert_date_time(const std::string &date, const std::string &time, int64_t *out);
// The same conversion without a message: whether the texts can be read.
bool ssafe_date_time_readable(const std::string &date, const std::string &time);

// ---- ssafe_fs.cpp
// The next entry of an `ss dir` listing from *pos: *line as listed ("$sub"
// for a project, "a.c" or "a.c;3" for a file) and *name, never empty ("sub",
// "a.c": a pin is cut off). Project headers ("$/proj/sub:") are passed over; false at the
// end of the entries (a blank line, "No items found under ...", the end).
bool ssafe_next_listed(const std::string &text, size_t *pos, std::string *name, std::string *line);

// ---- ssafe_history.cpp
// What the history parser needs besides the text.
struct ssafe_history_in {
    const ssafe_location *loc = nullptr;   // its path (messages) and branch
    std::string pinned;                    // the pinned version number; "" when not pinned
    std::string leaf;                      // the file's leaf name (the archive prefix)
};
// Parses one history file (lines with their line ends, "\r\n" or "\n") and
// appends a version record for every entry with an action line, newest
// first, to e->versions. 0; CM_FAILED after a reported bad date or field.
// Unrecognized lines are reported (entry 10) and parsing goes on.
[[nodiscard]] int ssafe_parse_history(const std::string &text, const ssafe_history_in &in, ssafe_element *e);
// The user, date and time texts of a history entry's "User:" line; false
// when the line is no such line or one of them is missing.
bool ssafe_split_user_line(const std::string &line, std::string *user, std::string *date, std::string *time);
// The SourceSafe version number of a record (the text after the last "/"
// of its VersionId).
std::string ssafe_version_number(const cm_version_info &v);

// ---- ssafe_paths.cpp
// Parses `ss paths` output into e's locations, alternate names and share
// keys. 0, or 1 after a reported fault (too long a field); the caller then
// prints entry 24.
[[nodiscard]] int ssafe_parse_paths(const std::string &text, const std::string &wp, ssafe_element *e);
// A branch path made from a project path, unique among e's locations.
// 0, or 1 when it would pass SSAFE_MAX_BRANCH_PATH (*out holds it uncut).
[[nodiscard]] int ssafe_branch_path(const std::string &project, const std::string &parent_branch,
                                    const ssafe_element &e, std::string *out);
