// Product facts.
#include "tbs.h"

#include <cstdlib>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "fileutl.h"

const char *tbs_product_name() { return "Vantor"; }

std::string tbs_product_tool_dir_quoted() {
    // VANTOR_TOOL_DIR, when set and not empty, names the directory instead:
    // for an installation whose programs are not side by side, and for tests
    // that run programs of the build (or stand-ins) from elsewhere.
    const char *env = std::getenv("VANTOR_TOOL_DIR");
    if (env && *env)
        return "\"" + std::string(env) + "\"";
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

std::string tbs_strerror(int status) {
    // The store's codes (platform/store/vob.h); the runtime knows them by number.
    switch (status) {
    case 0: return "Success";
    case 1: return "Operation failed";
    case 1001: return "Operation failed";
    case 1002: return "Not found";
    case 1003: return "Already exists";
    case 1004: return "Object is locked";
    case 1005: return "VOB is busy";
    case 1006: return "VOB database is damaged";
    case 1007: return "Element is checked out";
    case 1008: return "Name too long";
    default: return "status " + std::to_string(status);
    }
}
