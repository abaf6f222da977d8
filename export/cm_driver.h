// The driver interface: what every exporter's driver provides to the export
// library. A driver is a table of functions; the library never looks inside a
// driver's element handle, it only passes it back.
//
// Calling order for one run: init; (usage on option errors); map_name per walked
// entry; per element open_element, element_info, then next_version until it
// reports the end, with one extract after each delivered version, then
// close_element (always exactly once after open_element, with a null handle when
// the open failed); after the walk shutdown; need_cmd while the globals are written;
// end_report after the totals line.
// For -h or --help, help (when the driver has one) then usage, and nothing else:
// no init, so that help works where init would refuse to start.
#pragma once

#include <string>

#include "export/export_records.h"
#include "runtime/fileutl.h"

// Status codes shared by the exporters.
enum {
    CM_OK = 0,
    CM_NOMEM = 12,            // kept for the interface: memory exhaustion ends the process (runtime/ks.h)
    CM_FAILED = 1001,         // failure, already reported
    CM_NOT_EXPORTED = 1003,   // the element is exported under another name
    CM_STOPPED = 1004,        // the library's own: the run was asked to stop (SIGINT, SIGTERM)
    CM_NO_MORE = -1,          // next_version: no version left
};

// Exporter kinds, written as ExporterKind.
enum {
    KIND_FFILE = 2,
    KIND_RCS = 3,
    KIND_PVCS = 5,
    KIND_VANTOR = 7,
    KIND_SSAFE = 8,
    KIND_SI = 10,
    KIND_CVS = 11,
    KIND_CVS_ATTIC = 14,   // CVS with -A; the main turns it into 11
};

// The three settings that a driver may change inside init (the main gives the
// defaults just before calling it).
struct cm_globals {
    std::string extra_options;     // option letters appended to the main's; default ""
    const char *export_from_dir;   // ExportFromDir; null: the current directory
    int follow_links_default;      // default 1
};

// What a driver adds to the help of the common options (texts from its own
// catalog, each a run of whole lines; "" for none).
struct cm_help_text {
    int kind = 0;                   // the kind init would report: the main explains its options
    const char *options = "";       // the driver's own option letters
    const char *environment = "";   // the environment variables the driver reads
};

struct cm_driver {
    // 0: go on. Handles -Ver/-Version/-VerAll itself (banner, exit 0).
    int (*init)(int argc, char **argv, const cm_fs_ops **fs_ops, int *kind, cm_globals *g);
    void (*usage)(const char *program);
    int (*shutdown)();
    const char *(*need_cmd)();   // "" for none
    // 0: understood; fills convert, prune and the element name.
    int (*map_name)(const char *path, int recursive, int *convert, int *prune, std::string *element_name);
    // 0 opened; 1001 failure; 1003 not exported (see left_out); other
    // nonzero: listed, nothing written.
    int (*open_element)(const char *path, void **handle);
    int (*element_info)(void *handle, element_info *info);
    // 0: one version delivered; CM_NO_MORE: no more versions; any other
    // value: a failure the driver reported, and the element is not exported.
    int (*next_version)(void *handle, cm_version_info *v, int *is_version);
    // 0: *text holds an extract command (*is_command 1) or file path (0, empty = none).
    int (*extract)(void *handle, const cm_version_info *v, std::string *text, int *is_command);
    void (*close_element)(void *handle);   // must accept null
    // Optional (null: the common help alone, kind unknown). Takes from the
    // program name what usage needs, and fills the driver's part of the help;
    // 0, or nonzero after a reported failure (status 1).
    int (*help)(const char *argv0, cm_help_text *text);
    // Optional (null: none). Continuation lines after the totals of a run
    // that wrote its data file, about what the run left out on purpose.
    void (*end_report)();
    // Optional (null: every 1003 is listed as not exported). Asked when
    // open_element returned 1003 for path: nonzero when it was left out on
    // purpose because what it holds is exported (a share written as an
    // alternate name, a working file beside its archive), with *why saying
    // so; such a path is listed apart and is no failure. 0: a failure.
    int (*left_out)(const char *path, std::string *why);
};

// The export library's main entry, called by each exporter's main().
[[nodiscard]] int export_main(int argc, char **argv, const cm_driver *driver);

// The getopt letters of the options every exporter's main reads, for a
// driver that reads the command line again with letters of its own.
const char *export_common_options();

// What every driver's init does first: when argv[1] is "-Ver", "-Version" or
// "-VerAll" (any case), or --version is among the options, print the
// program's banner line (and for -VerAll the export library's,
// "libvelkexport") and exit with status 0. A driver that has no -V of its
// own gives its letters, V among them, as v_letters: then -V asks too.
void export_check_version_request(int argc, char **argv, const char *program,
                                  const char *v_letters = nullptr);
// The question alone: 0 none, 1 the banner, 2 -VerAll.
int export_version_asked(int argc, char **argv, const char *v_letters);
// Ends the program after a driver's own early answer (its banner) as
// export_main ends: a status of 0 becomes 1 when the standard output or
// error could not be written.
[[noreturn]] void export_exit(int status);
