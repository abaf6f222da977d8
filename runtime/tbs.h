// Product facts shared by every program.
#pragma once

#include <string>

// The product's display name, "Vantor".
const char *tbs_product_name();
// The directory of the running program, in double quotes: the product's
// programs are installed side by side, so the exporters are found there.
std::string tbs_product_tool_dir_quoted();
// The version-extended path name "path@@version"; with a null or empty version
// the path itself. Returns 0, or 1 for a null or empty path.
[[nodiscard]] int tbs_version_ext_pname(const char *path, const char *version, std::string *out);
