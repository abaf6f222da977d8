// The author map's reader (the format is described in authormap.h).
#include "runtime/authormap.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "runtime/typename.h"

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string trim(const std::string &s) {
    size_t b = 0, e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

std::string fold(const std::string &s) {
    std::string f = s;
    for (char &c : f)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return f;
}

// The line without its comment: a "#" after a blank, outside "<...>".
std::string strip_comment(const std::string &line) {
    bool in_mail = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '<')
            in_mail = true;
        else if (c == '>')
            in_mail = false;
        else if (c == '#' && !in_mail && (i == 0 || blank(line[i - 1])))
            return line.substr(0, i);
    }
    return line;
}

// What is wrong with the name part, or null: the mail, when there is one,
// is one "<...>" at its end, not empty.
const char *check_name(const std::string &name) {
    if (name.empty())
        return "no name after \"=\"";
    size_t lt = name.find('<'), gt = name.find('>');
    if (lt == std::string::npos && gt == std::string::npos)
        return nullptr;
    if (lt == std::string::npos || gt == std::string::npos || gt < lt)
        return "the mail address is not written as <mail>";
    if (gt != name.size() - 1 || name.find('<', lt + 1) != std::string::npos)
        return "the mail address \"<...>\" must end the line and come once";
    if (gt == lt + 1)
        return "the mail address \"<>\" is empty";
    return nullptr;
}

bool has_control(const std::string &s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7f)
            return true;
    return false;
}

}   // namespace

int authormap_parse(const std::string &text, const std::string &path, author_map *out, std::string *why) {
    out->path = path;
    std::istringstream in(text);
    std::string raw;
    long n = 0;
    auto fail = [&](const std::string &what) {
        *why = path + ", line " + std::to_string(n) + ": " + what;
        return 1;
    };
    while (std::getline(in, raw)) {
        ++n;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        std::string line = trim(strip_comment(raw));
        if (line.empty())
            continue;
        if (!typename_is_utf8(line))
            return fail("the line is not UTF-8 (write the map in UTF-8)");
        if (has_control(line))
            return fail("the line holds a control character");
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            return fail("no \"=\" in \"" + line + "\" (write login = Full Name <mail>)");
        std::string login = trim(line.substr(0, eq));
        std::string name = trim(line.substr(eq + 1));
        if (login.empty())
            return fail("no login before \"=\"");
        if (const char *bad = check_name(name))
            return fail(bad);
        auto had = out->names.find(login);
        if (had != out->names.end()) {
            if (had->second != name)
                return fail("\"" + login + "\" is mapped at line " + std::to_string(out->line_of[login]) +
                            " already, to \"" + had->second + "\"");
            continue;
        }
        out->names.emplace(login, name);
        out->line_of.emplace(login, n);
        out->folded.emplace(fold(login), login);
    }
    return 0;
}

int authormap_read(const std::string &path, author_map *out, std::string *why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *why = path + ": " + std::strerror(errno ? errno : ENOENT);
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        *why = path + ": " + std::strerror(errno ? errno : EIO);
        return 1;
    }
    return authormap_parse(text.str(), path, out, why);
}

const std::string *authormap_find(const author_map &m, const std::string &login) {
    auto it = m.names.find(login);
    if (it != m.names.end())
        return &it->second;
    auto f = m.folded.find(fold(login));
    return f == m.folded.end() ? nullptr : &m.names.at(f->second);
}
