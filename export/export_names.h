// Type names: the check and repair of branch and label names, the tables of
// names used and renames made during a run, and the -T translation file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// 1 when name is acceptable unchanged, 0 when it was repaired; *out holds the
// acceptable (possibly repaired) name. quiet: no warnings.
int type_name_check(const char *name, int quiet, std::string *out);
// The character that replaces a bad one (EXPORT_REPLACE_CHAR, checked once
// per run; "." by default). Drivers use it too, for the separators "/" and
// "\\" inside the legacy names they make branch and label names of.
char export_replace_char();
// Renames the names of that kind ("branch" or "label") in place.
void translate_names(const char *kind, std::vector<std::string> &names);
// Rewrites the branch components of a version path in place.
void translate_branch_path(std::string &path);
// 0, or 1001 after a reported format error.
[[nodiscard]] int read_translation_file(FILE *f);
[[nodiscard]] int write_translation_file(FILE *f);
// Warns of every rename made (used when there is no translation file).
void report_renames();
// Catalog of the messages this module adds to export_elem's (bad replacement
// settings, entries that do not fit the translation file, I/O failures).
struct imsg_catalog;
const imsg_catalog *export_names_export_msg_table_adr();
// Forgets every name and rename (tests; a run starts clean).
void reset_type_names();
