// An RCS archive opened for export or for reading revisions: its admin
// section, its deltas sorted by revision number, and the log message and text
// of every delta.
//
// Invariants once rcs_open has succeeded:
//  - deltas are sorted by rcs_rev_compare (a revision before every revision
//    that extends it) and no revision number appears twice;
//  - every revision number is well formed and at most RCS_REV_MAX characters,
//    every delta date is 17 or 19 characters and converts (rcs_parse_date);
//  - symbol names and numbers are at most RCS_SYMBOL_MAX characters, names hold
//    no "/" or "\" (replaced by the replacement character);
//  - the whole file was read once from start to end and stays in memory while
//    the element is open: log and text tokens point into it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rcsarchive/rcs_lex.h"

enum { RCS_SYMBOL_MAX = 255 };

struct rcs_delta {
    std::string rev;
    char date[20] = {0};   // as the archive writes it (17 or 19 characters)
    int64_t time = 0;      // date in seconds since 1970 (UTC)
    std::string author;    // words run together; a string keeps its blanks
    std::string state;
    std::vector<std::string> branches;   // first revisions of branches starting here
    std::string next;
    size_t rev_pos = 0;    // offset of the revision number in the admin part
    size_t text_pos = 0;   // offset of its deltatext; 0 while none was found
    rcs_token log;         // the log string (kind EOF when not found)
    rcs_token text;        // the text string (kind EOF when not found)
};

struct rcs_symbol {
    std::string name;
    std::string number;
};

struct rcs_file_map;   // the archive's bytes, mapped or read

struct rcs_element {
    std::string path;   // the archive path as given
    std::string element_name;
    std::shared_ptr<rcs_file_map> file;
    rcs_lexer lx;
    std::string head, default_branch;
    // Symbols in the reverse of their order in the archive: the first match for
    // a number is the one the archive lists last.
    std::vector<rcs_symbol> symbols;
    std::unordered_map<std::string_view, std::vector<size_t>> symbols_by_number;
    std::vector<std::string> locks;               // "user:revision"
    std::optional<std::string> comment, expand;   // the admin phrases, when present
    bool strict = false;
    // Phrases outside RCS's own grammar (admin, delta and deltatext), by
    // name, each once: CVS's "commitid", CVSNT's "kopt", "mergepoint1", ...
    std::vector<std::string> newphrases;
    std::optional<std::string> description;
    std::vector<rcs_delta> deltas;   // sorted
    std::unordered_map<std::string_view, size_t> delta_by_rev;
    size_t current = 0;   // next delta to hand out
};

// Opens and reads the whole archive. 0; 1001 after a message (which names the
// file and, where there is one, the line).
// replace_char stands for "/" and "\" in symbol names (see RCS_CHANGED_TYPE).
// quiet: no message is printed (a reader that falls back to another way).
[[nodiscard]] int rcs_open(const char *path, const char *element_name, rcs_element **out,
                           char replace_char = '.', bool quiet = false);
void rcs_close(rcs_element *e);

// The admin section's lock entries, "user:revision" each.
const std::vector<std::string> &rcs_read_locks(const rcs_element *e);
// The archive's description; none when it has none.
const std::optional<std::string> &rcs_read_description(const rcs_element *e);
// The log message of delta i; none (after a message) when it has no deltatext.
std::optional<std::string> rcs_read_log(const rcs_element *e, size_t i);
// The text of delta i ("@@" undone): the whole file for the head, an edit
// script for every other; none when it has no deltatext.
std::optional<std::string> rcs_read_text(const rcs_element *e, size_t i);
// The next symbol naming exactly `number`, after *cursor (start with 0);
// null when there is none more.
const char *rcs_find_symbol(const rcs_element *e, std::string_view number, size_t *cursor);
// The delta of that revision number, or null.
const rcs_delta *rcs_find_delta(const rcs_element *e, std::string_view rev);
