// The RCS, CVS and SI exporter driver: one program whose mode comes from the
// name it is started under.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "export/cm_driver.h"

enum rcs_mode { RCS_MODE_NONE = 0, RCS_MODE_RCS = 3, RCS_MODE_SI = 10, RCS_MODE_CVS = 11 };

// Process-wide settings, fixed by init for the whole run.
struct rcs_driver_state {
    int mode = RCS_MODE_NONE;
    int record_revision = 0;         // -V
    int record_state = 0;            // -S
    int export_attic = 0;            // -A (CVS)
    int64_t since = 0;               // -s
    std::string cvs_rel_cwd = ".";   // CVS: the current directory relative to the repository
    int64_t archive_mtime = 0;       // of the archive whose element information was read last
    long attic_left_out = 0;         // CVS without -A: archives in the pruned Attic directories
    // RCS and SI: working files met on the walk, with the archive of each.
    std::map<std::string, std::string> work_files;
    // RCS and SI: per directory, its archive directories ("RCS" in any case).
    std::map<std::string, std::vector<std::string>> archive_dirs;
};

rcs_driver_state &rcs_state();
// The mode's prefix of the attribute names (RCS_REVISION, CVS_STATE, ...).
const char *rcs_attribute_prefix();
// Back to the state before init (tests).
void rcs_reset_state();

extern const cm_driver rcs_driver;

// The operations, also reachable by name for the tests.
[[nodiscard]] int rcs_cm_init(int argc, char **argv, const cm_fs_ops **fs_ops, int *kind, cm_globals *g);
void rcs_cm_usage(const char *program);
// The mode named by the program name (its leaf), RCS_MODE_NONE for another name.
int rcs_mode_of_program(const char *argv0);
[[nodiscard]] int rcs_cm_help(const char *argv0, cm_help_text *text);
[[nodiscard]] int rcs_cm_shutdown();
const char *rcs_cm_need_cmd();
[[nodiscard]] int rcs_cm_map_name(const char *path, int recursive, int *convert, int *prune,
                                  std::string *name);
[[nodiscard]] int rcs_cm_open_element(const char *path, void **handle);
[[nodiscard]] int rcs_cm_element_info(void *handle, element_info *info);
[[nodiscard]] int rcs_cm_next_version(void *handle, cm_version_info *v, int *is_version);
[[nodiscard]] int rcs_cm_extract(void *handle, const cm_version_info *v, std::string *text, int *is_command);
void rcs_cm_close_element(void *handle);
// After the totals: what the run left out on purpose (Attic without -A).
void rcs_cm_end_report();
// A working file passed over: its archive.
int rcs_cm_left_out(const char *path, std::string *why);

// Archive names: src/RCS/main.c,v -> src/main.c; for CVS src/Attic/x.c,v ->
// src/x.c with -A.
std::string rcs_element_name(const std::string &archive_path);
// A name ending ",v" after at least one byte.
bool rcs_has_archive_suffix(const std::string &name);
// Whether path lies directly in an archive directory ("RCS", for CVS
// "Attic"; in any letter case).
bool rcs_in_archive_dir(const std::string &path);
