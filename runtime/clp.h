// Option words of the import front ends ("-d[irectory]", "-nolab[eldir]").
//
// A table entry is {word, id, 0}; the table ends with {nullptr, -1, 0}. A word
// on the command line matches an entry when it is the part before "[" followed
// by any prefix of the part in brackets: "-d", "-dir" and "-directory" all match
// "-d[irectory]"; a word without brackets must match exactly. When several
// entries match, the one with the longest part before "[" wins ("-no" is
// "-no[load]", not "-n[setevent]"); among equals the first in the table wins.
// Matching is case-sensitive. A word is a flag when it starts with "-" and is
// longer than "-"; "--" ends the flags and is not itself returned.
#pragma once

#include <string>

struct clp_option {
    const char *word;   // null ends the table
    int id;
    int flags;   // 0
};

struct clp_hdl;

enum {
    CLP_END = 0,            // no words left
    CLP_FLAG = 1,           // a flag; *id is its entry's id
    CLP_ARGS = 2,           // the next word is not a flag: arguments follow
    CLP_UNKNOWN_FLAG = 3,   // a word like a flag that matches no entry (consumed; *id = -1)
};
enum { CLP_ERR_QUOTE = 22 };

// The id of the entry that word matches by the rule above, or -1.
int clp_find_option(const clp_option *table, const std::string &word);

// argv excludes the program name. Returns 0 and the handle.
[[nodiscard]] int clp_create_hdl_using_argv(int argc, const char *const argv[], const clp_option *table,
                                            clp_hdl **out);
// Splits text into words at blanks. A double-quoted stretch keeps its blanks;
// inside quotes \" and \\ stand for " and \. Returns 0, or CLP_ERR_QUOTE for an
// unterminated quote.
[[nodiscard]] int clp_create_hdl_using_string(const char *text, const clp_option *table, clp_hdl **out);
// The word as clp_create_hdl_using_string reads it back: quoted when it holds
// blanks, quotes or backslashes, or is empty.
std::string clp_quote_word(const std::string &word);

// Reads the next word as a flag; see the CLP_ codes. Does not consume a non-flag.
[[nodiscard]] int clp_get_next_flag_value(clp_hdl *hdl, int *id);
// Takes the next word, whatever it looks like: 1 and *arg (valid until the
// handle is destroyed), or 0 when no word is left.
[[nodiscard]] int clp_get_next_arg(clp_hdl *hdl, const char **arg);
// Number of words the handle holds, consumed or not.
int clp_get_argc(const clp_hdl *hdl);
// The word last consumed as a flag, as written on the command line ("" before any).
const char *clp_last_flag_word(const clp_hdl *hdl);
void clp_destroy_hdl(clp_hdl **hdl);
