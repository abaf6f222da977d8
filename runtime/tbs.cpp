// Product facts.
#include "tbs.h"

#include <string_view>
#include <unistd.h>
#include <vector>

#include "fileutl.h"

const char *tbs_product_name() { return "Vantor"; }

std::string tbs_product_tool_dir_quoted() {
    std::vector<char> buf(256);
    ssize_t n;
    while ((n = ::readlink("/proc/self/exe", buf.data(), buf.size())) == ssize_t(buf.size()))
        buf.resize(buf.size() * 2);
    std::string dir = ".";
    if (n > 0) {
        std::string leaf;
        fileutl_strip_leaf(std::string(buf.data(), size_t(n)), &dir, &leaf);
    }
    return "\"" + dir + "\"";
}

int tbs_version_ext_pname(std::string *out, const char *path, const char *vid) {
    if (!path || !*path || std::string_view(path).find("@@") != std::string_view::npos)
        return 1;
    std::string x = std::string(path) + "@@" + (vid ? vid : "");
    if (x.size() >= FILEUTL_MAX_PATH)
        return 1;
    *out = std::move(x);
    return 0;
}
