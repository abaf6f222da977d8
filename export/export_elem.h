// The library's records around a driver's, the element export that drives the
// driver for one file, and the selection of the versions to write.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <unordered_set>

#include "export/cm_driver.h"
#include "export/export_records.h"
#include "runtime/eventtext.h"

// Distinct names, byte-compared; new names go to the head (front), and the
// types section lists them head first. `index` holds the same names, so that
// a lookup costs the same however many types a long history brings.
struct name_list {
    std::deque<std::string> names;
    std::unordered_set<std::string> index;
};

// How to cut names before they enter a list: at every "/" into components
// (branch paths) or not at all; each piece is cut at its first "=" (name=value).
enum name_split { NAME_WHOLE = 0, NAME_SPLIT_PATH = 1 };

void name_list_add(name_list &list, const std::string &name, name_split split);
void name_list_add_all(name_list &list, const str_list &names, name_split split);
// Moves every name of src into dst (when not present); src is left empty.
void name_list_merge(name_list &dst, name_list &src);
bool name_list_contains(const name_list &list, const std::string &name);

struct export_version_info {
    int is_version = 0;     // only versions with it set are counted and written
    cm_version_info v;      // the library's copy of the driver's record
    opt_str extract_file;   // the extract text when it names a file (not empty)
    opt_str extract_cmd;    // the extract text when it is a command
};

struct export_element {
    const cm_driver *driver = nullptr;
    void *handle = nullptr;
    bool open = false;   // close_element still owed
    element_info info;
    std::deque<export_version_info> versions;   // delivery order
    name_list label_types, branch_types, attr_types;
};

struct export_selection {
    int64_t important_until = 0;   // -I, 0 when absent
    int64_t since = 0;             // -s, 0 when absent
    int64_t prior = 0;             // -p, 0 when absent
};

// Opens the element through the driver and takes its information and every
// version with its extract text. 0, 1001 after a reported failure (not
// reported once a stop was asked), 1004 when a stop was asked between two
// versions, or the driver's open result (1003: exported under another name).
// -q: no notices per element (warnings and errors stay).
void export_set_quiet(bool on);
bool export_quiet();
[[nodiscard]] int export_element_history(const cm_driver *driver, const char *path, export_element *e);
// The records write_selected_versions wrote: the element record (0 or 1) and
// the version records inside it. On a failure they describe a partial record,
// which the caller cuts back and does not count.
struct export_written {
    long elements = 0;
    long versions = 0;
};

// Selects and writes the element's record; 0, or 1001 after a reported failure.
// With -s or -p a selected version brings the earlier versions of its branch
// and the version its branch sprouts from, so an import numbers it right.
[[nodiscard]] int write_selected_versions(export_element &e, FILE *f, const export_selection &sel,
                                          export_written *written = nullptr);
// Closes the driver's handle (once) and frees the records.
void release_element(export_element &e);

// The author map and the encoding for every record delivered from now on,
// and the tally of what they met; null for none.
void export_set_texts(const eventtext_opts *opts, eventtext_tally *tally);
