// Wildcard expansion through glob(3).
#include "wild.h"

#include <algorithm>
#include <cstring>
#include <glob.h>

int wild_contains_wildcard_symbols(const char *text) { return text && std::strpbrk(text, "*?[") != nullptr; }

int wild_glob_single(const char *pattern, std::vector<std::string> *names) {
    if (!pattern || !*pattern || !names)
        return WILD_ERROR;
    glob_t g{};
    int r = ::glob(pattern, GLOB_ERR | GLOB_NOSORT, nullptr, &g);
    int status = r == 0 ? WILD_OK : r == GLOB_NOMATCH ? WILD_NO_MATCH : WILD_ERROR;
    size_t before = names->size();
    for (size_t i = 0; status == WILD_OK && i < g.gl_pathc; ++i)
        names->emplace_back(g.gl_pathv[i]);
    ::globfree(&g);
    // glob would sort by the locale's collation; byte order is the same everywhere.
    std::sort(names->begin() + std::ptrdiff_t(before), names->end());
    return status;
}
