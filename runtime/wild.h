// Wildcards of the file-system import front end.
#pragma once

#include <string>
#include <vector>

enum { WILD_OK = 0, WILD_ERROR = -1, WILD_NO_MATCH = -6 };

// 1 when text holds "*", "?" or "[", the characters that glob(3) expands.
int wild_contains_wildcard_symbols(const char *text);
// Appends the names matching pattern (relative patterns against the current
// directory) to *names in byte order. WILD_OK, WILD_NO_MATCH when nothing
// matches, WILD_ERROR when a directory cannot be read or memory runs out.
// To hand names on in one text, quote each with clp_quote_word.
[[nodiscard]] int wild_glob_single(const char *pattern, std::vector<std::string> *names);
