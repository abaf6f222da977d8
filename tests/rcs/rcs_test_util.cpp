#include "tests/rcs/rcs_test_util.h"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "runtime/imsg.h"

#ifndef RCS_PROGRAM_DIR
#error RCS_PROGRAM_DIR must name the directory of vantexport_rcs
#endif

captured_messages::captured_messages() {
    out = std::tmpfile();
    err = std::tmpfile();
    imsg_set_streams(out, err);
}
captured_messages::~captured_messages() {
    imsg_set_streams(nullptr, nullptr);
    std::fclose(out);
    std::fclose(err);
}
static std::string slurp(FILE *f) {
    std::fflush(f);
    long pos = std::ftell(f);
    std::rewind(f);
    std::string s;
    int c;
    while ((c = std::getc(f)) != EOF)
        s += char(c);
    std::fseek(f, pos, SEEK_SET);
    return s;
}
std::string captured_messages::errors() { return slurp(err); }
std::string captured_messages::notices() { return slurp(out); }

temp_dir::temp_dir() {
    const char *base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/rcstest.XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        std::abort();
    path = buf.data();
}
temp_dir::~temp_dir() {
    if (!std::getenv("RCS_TEST_KEEP"))
        run("rm -rf '" + path + "'");
}

void write_file(const std::string &path, const std::string &text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
}
std::string read_file(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

int run(const std::string &cmd, std::string *out) {
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        s.append(buf, n);
    int st = pclose(p);
    if (out)
        *out = s;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

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

bool read_data_file(const std::string &path, data_file *out) {
    std::string s = read_file(path);
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
