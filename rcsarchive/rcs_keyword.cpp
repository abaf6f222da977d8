#include "rcsarchive/rcs_keyword.h"
int rcs_kmode_parse(const std::optional<std::string> &, rcs_kmode *out) { *out = RCS_K_KV; return 0; }
int rcs_expand_keywords(std::string_view, const rcs_kw_values &, std::string *, std::string *why) {
    *why = "stub";
    return 1;
}
