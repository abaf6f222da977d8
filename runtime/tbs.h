// Product facts shared by every program.
#pragma once

#include <string>

// The product's display name, "Vantor".
const char *tbs_product_name();
// The directory of the running program, in double quotes: the product's
// programs are installed side by side, so the exporters are found there.
// VANTOR_TOOL_DIR, when set and not empty, overrides it.
std::string tbs_product_tool_dir_quoted();
// The version-extended path name: "path@@vid", or "path@@" (the element
// itself) when vid is null or empty. Returns 0, or 1 for a null or empty
// path, a path that holds "@@" already (the result could not be read back)
// or a result of FILEUTL_MAX_PATH bytes or more; *out is then left alone.
[[nodiscard]] int tbs_version_ext_pname(std::string *out, const char *path, const char *vid);
// The text of a status code of the product's libraries (the VOB store's
// codes 1001 to 1008, 0 and 1 for success and a failure already reported);
// "status N" for a code it does not know.
std::string tbs_strerror(int status);
