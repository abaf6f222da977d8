// Names relative to the working project and full SourceSafe paths.
#include "drivers/ssafe/ssafe_driver.h"

std::string ssafe_walk_path(const std::string &path) {
    std::string rel = path;
    while (rel.compare(0, 2, "./") == 0)
        rel.erase(0, 2);
    return rel == "." ? std::string() : rel;
}

std::string ssafe_full_path(const std::string &wp, const std::string &name) {
    std::string rel = ssafe_walk_path(name);
    if (rel.empty())
        return wp;
    if (rel[0] == '$')
        return rel;
    if (!wp.empty() && wp.back() == '/')
        return wp + rel;   // the root project, "$/"
    return wp + "/" + rel;
}
