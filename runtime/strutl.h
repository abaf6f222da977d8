// String helpers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct stg_area;

// Position of the first c at or after start; 1 and *pos when found, 0 when not.
int strutl_find_char(const char *s, size_t start, char c, size_t *pos);
int strutl_find_str(const char *s, size_t start, const char *what, size_t *pos);
// Last occurrence of c; 1 and *pos when found.
int strutl_right_char(const char *s, char c, size_t *pos);
// Bounded copy that always terminates (size >= 1). Returns 0, or 1 when src was cut.
[[nodiscard]] int strutl_cpy_buf(char *dst, const char *src, size_t size);
// Case-insensitive comparison: 0 when equal.
int strutl_stricoll(const char *a, const char *b);
// Nonzero when the whole text is a number in that base (0 = C prefixes), value in *out.
int strutl_strtol(const char *s, int base, long *out);
int strutl_strtod(const char *s, double *out);
// Bytes of the multibyte character at s under the current locale: 1 for a
// single byte or a byte that starts no valid character, 0 at the end.
int strutl_mblen(const char *s, size_t remaining);
// 1 when s starts with prefix.
int strutl_match_prefix(const char *s, const char *prefix);
// Replaces every `from` by `to`.
std::string strutl_replace_substr(const std::string &s, const std::string &from, const std::string &to);
// Acceptable type name: only letters, digits and characters of `allowed`, not
// beginning with a character of `bad_lead`, not empty. 1 when acceptable.
int strutl_is_ok_name(const char *name, const char *bad_lead, const char *allowed);
// The pieces (count const char * arguments; null ones count as empty) joined
// into one new string allocated from area; null when memory runs out.
char *strutl_concat_area(stg_area *area, int count, ...);
// Copies s into out (size bytes, always terminated) in lower case (direction 0)
// or upper case (1), ASCII letters only. Returns 0, or 1 when out was too small.
enum { STRUTL_TO_LOWER = 0, STRUTL_TO_UPPER = 1 };
[[nodiscard]] int strutl_cvt_case_string(const char *s, int direction, size_t size, char *out);

// The pieces of s between separators, in order. Empty pieces (from a leading,
// trailing or doubled separator) are dropped, and so is "." when drop_dot is
// set: "/a//b/./c/" gives a, b, c. Callers that must refuse ".." see it as a
// piece of its own.
std::vector<std::string> strutl_split(std::string_view s, char sep, int drop_dot = 0);

// "1 version", "2 versions": a count with its noun in the number it takes.
std::string strutl_count(long long n, const char *one, const char *many);

// Text for /bin/sh: inside double quotes ("$", backquote, backslash and the
// double quote get a backslash), and as one single-quoted word.
std::string strutl_sh_dquote_escape(const std::string &s);
std::string strutl_sh_squote(const std::string &s);
// A name written inside double quotes of an extract command: escaped for
// /bin/sh as above, and every "%" doubled, since the importer reads the
// command as a template in printf's manner ("%%" is a "%").
std::string strutl_cmd_dquote(const std::string &s);
