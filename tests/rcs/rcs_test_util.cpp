#include "tests/rcs/rcs_test_util.h"

#include <algorithm>
#include <ctime>
#include <stdexcept>

#include "tests/common/testutil.h"

#ifndef RCS_PROGRAM_DIR
#error RCS_PROGRAM_DIR must name the directory of vantexport_rcs
#endif

std::string program_dir() { return RCS_PROGRAM_DIR; }

std::vector<std::string> data_version::all(const std::string &k) const {
    std::vector<std::string> v;
    auto r = f.equal_range(k);
    for (auto it = r.first; it != r.second; ++it)
        v.push_back(it->second);
    return v;
}

const data_element *data_file::element(const std::string &name) const {
    for (const data_element &e : elements)
        if (e.get("Name") == name)
            return &e;
    return nullptr;
}

std::vector<std::string> data_file::element_names() const {
    std::vector<std::string> n;
    for (const data_element &e : elements)
        n.push_back(e.get("Name"));
    std::sort(n.begin(), n.end());
    return n;
}

bool read_data_file(const std::string &path, data_file *out) {
    std::string s;
    try {
        s = testutil::read_file(path);
    } catch (const std::exception &) {
        return false;
    }
    size_t i = 0;
    data_version *rec = nullptr;
    data_element *elem = nullptr;
    while (i < s.size()) {
        size_t eol = s.find('\n', i);
        if (eol == std::string::npos)
            return false;
        size_t sp = s.find(' ', i);
        std::string key, value;
        if (sp == std::string::npos || sp > eol) {
            key = s.substr(i, eol - i);
            i = eol + 1;
        } else {
            key = s.substr(i, sp - i);
            size_t colon = s.find(':', sp);
            std::string num = s.substr(sp + 1, (colon == std::string::npos ? eol : colon) - sp - 1);
            bool is_len = colon != std::string::npos && colon < eol && !num.empty() &&
                          num.find_first_not_of("0123456789") == std::string::npos;
            if (is_len) {
                size_t len = std::stoul(num);
                value = s.substr(colon + 1, len);
                i = colon + 1 + len;
                if (i >= s.size() || s[i] != '\n')
                    return false;
                ++i;
            } else {
                value = s.substr(sp + 1, eol - sp - 1);
                i = eol + 1;
            }
        }
        if (key == "GLOBALS_BEGIN") {
            rec = &out->globals;
        } else if (key == "ELEMENT_BEGIN") {
            out->elements.emplace_back();
            elem = &out->elements.back();
            rec = elem;
        } else if (key == "VERSION_BEGIN") {
            if (!elem)
                return false;
            elem->versions.emplace_back();
            rec = &elem->versions.back();
        } else if (key == "VERSION_END") {
            rec = elem;
        } else if (key == "ELEMENT_END" || key == "GLOBALS_END") {
            rec = nullptr;
            elem = nullptr;
        } else if (key == "LbType" || key == "BrType" || key == "AttrType" || key == "ElType") {
            out->types.push_back(key + ":" + value);
        } else if (key == "DirName") {
            out->dirs.push_back(value);
        } else if (rec) {
            rec->f.emplace(key, value);
        }
    }
    return true;
}

std::string utc_text(int64_t t) {
    time_t tt = time_t(t);
    struct tm tm;
    gmtime_r(&tt, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S", &tm);
    return buf;
}
