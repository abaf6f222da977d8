// What an import of plain files leaves out: the administrative directories
// of other version-control tools, and the names that .vantorignore files
// list. Shared by vantfsimport (-filter) and the flat-file exporter.
//
// A .vantorignore holds one glob per line for names below its directory;
// blank lines, lines starting with "#" and lines holding a NUL are skipped,
// trailing blanks and a CR are dropped. A final "/" limits the line to
// directories. A line holding another "/" (a leading one included) is
// matched against the path below the file's directory, with "*" and "?" not
// crossing "/"; any other line against each name alone, at any depth.
#pragma once

#include <string>
#include <vector>

// One .vantorignore line: a glob, whether it holds only for directories, and
// whether it is matched against the path below its file's directory (it holds
// a "/") rather than against the leaf.
struct vcsignore_pattern {
    std::string glob;
    bool dir_only = false;
    bool anchored = false;
    std::string base;   // the path of the directory holding the file, with a final "/" ("" for none)
};

// CVS, RCS, SCCS, .svn, .hg, .bzr, _darcs (directories) and .git (of any kind).
bool vcsignore_is_admin_dir(const std::string &name, bool is_dir);
// Reads dir/.vantorignore into *out (appended); a missing file holds none.
// 0, or an errno value with *why.
int vcsignore_read(const std::string &dir, std::vector<vcsignore_pattern> *out, std::string *why);
// The lines of a .vantorignore text of directory dir as patterns (appended).
void vcsignore_parse(const std::string &text, const std::string &dir, std::vector<vcsignore_pattern> *out);
// Whether the path (spelt as the patterns' bases are) is matched.
bool vcsignore_matches(const std::vector<vcsignore_pattern> &patterns, const std::string &path, bool is_dir);
