// Type names pass unchanged for now; the repair of bad names, the rename
// tables and the translation file fill these in.
#include "export/export_names.h"

#include <cstdlib>
#include <cstring>

#include "runtime/strutl.h"

static int is_integer(const char *s) {
    long v;
    return strutl_strtol(s, 10, &v);
}

int type_name_check(const char *name, int, std::string *out) {
    *out = name;
    return strutl_is_ok_name(name, "-", "_-.") && !is_integer(name);
}

void translate_names(const char *, std::vector<std::string> &) {}
void translate_branch_path(std::string &) {}
int read_translation_file(FILE *) { return 0; }
int write_translation_file(FILE *) { return 0; }
void report_renames() {}
void reset_type_names() {}
