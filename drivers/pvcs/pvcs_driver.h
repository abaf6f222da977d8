// The PVCS exporter driver: archives found on the walk become elements named
// after their workfiles; revisions become versions, version labels become
// labels and branch names, promotion groups and revision numbers attributes,
// locks checkouts. Each version is fetched at import time by PVCS's `get`.
#pragma once

#include <map>
#include <set>
#include <string>

#include "export/cm_driver.h"

// Process-wide settings, fixed for the run.
struct pvcs_driver_state {
    int record_group = 0;      // -G
    int record_revision = 0;   // -V
    // The extract command's separators around the workfile, from
    // PVCS_LEFT_SEPARATOR and PVCS_RIGHT_SEPARATOR, read once at start.
    std::string left_separator = "(";
    std::string right_separator = ")";
    // Archives whose header the walk found damaged, and reported.
    std::set<std::string> unreadable;
    // Element name -> the archive exported under it.
    std::map<std::string, std::string> exported;
};

pvcs_driver_state &pvcs_state();
// Reads the two separator variables ("(" and ")" when unset). The program
// does it once before main runs; tests call it after changing them.
void pvcs_read_separators();
// Back to the state before init (tests); the separators are read again.
void pvcs_reset_state();

extern const cm_driver pvcs_driver;

// The operations, also reachable by name for the tests.
[[nodiscard]] int pvcs_cm_init(int argc, char **argv, const cm_fs_ops **fs_ops, int *kind, cm_globals *g);
void pvcs_cm_usage(const char *program);
[[nodiscard]] int pvcs_cm_help(const char *argv0, cm_help_text *text);
[[nodiscard]] int pvcs_cm_shutdown();
const char *pvcs_cm_need_cmd();
[[nodiscard]] int pvcs_cm_map_name(const char *path, int recursive, int *convert, int *prune,
                                   std::string *name);
// An archive whose header the walk found damaged (and reported): its open
// fails at once rather than report the damage a second time.
void pvcs_note_unreadable(const std::string &path);
[[nodiscard]] int pvcs_cm_open_element(const char *path, void **handle);
[[nodiscard]] int pvcs_cm_element_info(void *handle, element_info *info);
[[nodiscard]] int pvcs_cm_next_version(void *handle, cm_version_info *v, int *is_version);
[[nodiscard]] int pvcs_cm_extract(void *handle, const cm_version_info *v, std::string *text, int *is_command);
void pvcs_cm_close_element(void *handle);
