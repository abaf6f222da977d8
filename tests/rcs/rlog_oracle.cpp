#include "tests/rcs/rlog_oracle.h"

#include <sstream>

#include "tests/common/testutil.h"

namespace {

const std::string SEP = "----------------------------";
const std::string END = "=============================================================================";

std::string field(const std::string &line, const std::string &name) {
    size_t at = line.find(name + ": ");
    if (at == std::string::npos)
        return "";
    at += name.size() + 2;
    size_t end = line.find(';', at);
    return line.substr(at, end - at);
}

}   // namespace

bool rlog_read(const std::string &archive, rlog_archive *out) {
    std::string text;
    if (testutil::shell("rlog '" + archive + "' 2>/dev/null", &text) != 0)
        return false;
    std::istringstream in(text);
    std::string line;
    enum { HEAD, SYMBOLS, LOCKS, DESC, REV } where = HEAD;
    rlog_revision *rev = nullptr;
    bool in_log = false;
    while (std::getline(in, line)) {
        if (line == SEP || line == END) {
            where = REV;
            rev = nullptr;
            continue;
        }
        if (where == REV) {
            if (!rev) {
                if (line.compare(0, 9, "revision ") != 0)
                    return false;
                std::string num = line.substr(9, line.find_first_of("\t ", 9) - 9);
                rev = &out->revisions[num];
                in_log = false;
                continue;
            }
            if (!in_log && line.compare(0, 6, "date: ") == 0) {
                rev->date = field(line, "date");
                rev->author = field(line, "author");
                rev->state = field(line, "state");
                continue;
            }
            if (!in_log && line.compare(0, 10, "branches: ") == 0) {
                std::istringstream b(line.substr(10));
                std::string n;
                // Later fields share the line: "branches:  1.1.1;  commitid: x;".
                while (b >> n) {
                    while (!n.empty() && n.back() == ';')
                        n.pop_back();
                    if (n.empty() || n.find_first_not_of("0123456789.") != std::string::npos)
                        break;
                    rev->branches.push_back(n);
                }
                continue;
            }
            in_log = true;
            rev->log += line + "\n";
            continue;
        }
        if (line.compare(0, 7, "branch:") == 0 && where == HEAD) {
            size_t b = line.find_first_not_of(" \t", 7);
            out->default_branch = b == std::string::npos ? "" : line.substr(b);
        } else if (line.compare(0, 15, "symbolic names:") == 0) {
            where = SYMBOLS;
        } else if (line.compare(0, 6, "locks:") == 0) {
            where = LOCKS;
        } else if (line.compare(0, 12, "description:") == 0) {
            where = DESC;
        } else if (where == DESC) {
            out->description += line + "\n";
        } else if (!line.empty() && line[0] == '\t' && (where == SYMBOLS || where == LOCKS)) {
            size_t colon = line.find(": ");
            auto entry = std::make_pair(line.substr(1, colon - 1), line.substr(colon + 2));
            (where == SYMBOLS ? out->symbols : out->locks).push_back(entry);
        } else {
            where = HEAD;
        }
    }
    return !out->revisions.empty() || text.find("total revisions: 0") != std::string::npos;
}
