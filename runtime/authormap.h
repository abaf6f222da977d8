// An author map: the people behind the logins a legacy store records.
//
// One mapping per line, "login = Full Name <mail>"; the mail part is
// optional. Blank lines and lines whose first non-blank is "#" are skipped;
// a "#" after a blank starts a comment outside the brackets of the mail.
// Blanks around the login and the name are dropped; a login may hold blanks
// inside (SourceSafe users do) but no "=". The file is UTF-8, as the names
// are stored. A login mapped twice to different names is an error; the same
// line twice is not.
//
// A login is found as it is written, else by its ASCII letters folded to one
// case (the first line of the file with that folding wins), because some
// stores record the same user in several spellings of case.
#pragma once

#include <string>
#include <unordered_map>

struct author_map {
    std::string path;   // as given; names the file in errors
    std::unordered_map<std::string, std::string> names;   // login -> "Full Name <mail>"
    std::unordered_map<std::string, long> line_of;        // login -> its line
    std::unordered_map<std::string, std::string> folded;  // folded login -> login
};

// Reads the map from a file. 0, or 1 with *why: "FILE, line N: what is wrong",
// or "FILE: reason" when it cannot be read.
int authormap_read(const std::string &path, author_map *out, std::string *why);
// The same from a text already in memory; path names it in errors.
int authormap_parse(const std::string &text, const std::string &path, author_map *out, std::string *why);
// The name a login maps to, or null.
const std::string *authormap_find(const author_map &m, const std::string &login);
