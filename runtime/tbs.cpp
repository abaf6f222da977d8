// Product facts.
#include "tbs.h"

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

int tbs_version_ext_pname(const char *path, const char *version, std::string *out) {
    if (!path || !*path || !out)
        return 1;
    *out = path;
    if (version && *version)
        *out += std::string("@@") + version;
    return 0;
}
