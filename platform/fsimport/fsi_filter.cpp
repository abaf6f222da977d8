// The filter of a file-system import: .vantorignore files and the
// administrative directories of other version-control tools, as the
// runtime reads them (runtime/vcsignore.h), which the flat-file exporter
// shares.
#include "platform/fsimport/fsi_run.h"

bool fsi_is_admin_dir(const std::string &name, bool is_dir) { return vcsignore_is_admin_dir(name, is_dir); }

int fsi_read_ignore(const std::string &dir, std::vector<fsi_pattern> *out, std::string *why) {
    return vcsignore_read(dir, out, why);
}

void fsi_parse_ignore(const std::string &text, const std::string &dir, std::vector<fsi_pattern> *out) {
    vcsignore_parse(text, dir, out);
}

bool fsi_ignored(const std::vector<fsi_pattern> &patterns, const std::string &path, bool is_dir) {
    return vcsignore_matches(patterns, path, is_dir);
}
