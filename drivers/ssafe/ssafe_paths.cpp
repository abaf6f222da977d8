// The parser of `ss paths` output: the tree of a physical file and of the
// files branched from it. Each level (indented two spaces deeper than its
// parent) is a name line followed by one project line per place of that
// file; the first place that is not deleted becomes a location, every place
// inside the working project a share key.
#include <cctype>
#include <cstring>

#include "drivers/ssafe/ssafe_driver.h"
#include "drivers/ssafe/ssafe_msgs.h"

namespace {

const imsg_catalog *cat() { return ssafe_driver_ssafe_msg_table_adr(); }

struct line_t {
    std::string text;      // without its line end; a leading ">" made a space
    bool marked = false;   // the queried place
    int number = 0;        // 1-based, for messages
};

struct paths_parser {
    std::vector<line_t> lines;
    size_t next = 0;
    const std::string &wp;
    ssafe_element *e;
    int nesting = 0;

    int level(int depth, const std::string &parent, const std::string &parent_branch);
    int project_line(const line_t &l, int depth, const std::string &project_text, const std::string &name,
                     bool *pending, const std::string &at, const std::string &parent,
                     const std::string &parent_branch, std::string *last_path, std::string *last_branch);
};

int too_long(const ssafe_element &e, const char *what, const std::string &value, int limit) {
    IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_TOO_LONG, e.name.c_str(), what, value.c_str(), limit);
    return 1;
}

bool inside(const std::string &place, const std::string &wp) {
    if (wp.empty() || place.compare(0, wp.size(), wp) != 0)
        return false;
    return wp.back() == '/' || place.size() == wp.size() || place[wp.size()] == '/';
}

int paths_parser::project_line(const line_t &l, int depth, const std::string &project_text,
                               const std::string &name, bool *pending, const std::string &at,
                               const std::string &parent, const std::string &parent_branch,
                               std::string *last_path, std::string *last_branch) {
    std::string project = project_text;
    bool deleted = project.find(" is deleted in this project)") != std::string::npos ||
                   project.find(" is Removed in this project)") != std::string::npos;
    if (deleted) {
        size_t cut = project.find("   (");
        if (cut != std::string::npos)
            project.erase(cut);
    }
    if (project == "$/")
        project = "$";
    std::string place = project + "/" + name;
    if (place.size() > SSAFE_MAX_PATH)
        return too_long(*e, "path", place, SSAFE_MAX_PATH);
    if (deleted) {
        IMSG_PRINT(IMSG_WARNING, cat(), SSAFE_SKIP_DELETED, place.c_str());
        return 0;
    }
    if (!inside(place, wp)) {
        IMSG_PRINT(IMSG_WARNING, cat(), SSAFE_SHARE_OUT_OF_SCOPE, place.c_str(), wp.c_str());
        IMSG_PRINT(IMSG_WARNING, cat(), SSAFE_NO_ALT_NAME);
    } else {
        size_t from = wp.size();
        while (from < place.size() && place[from] == '/')
            ++from;
        std::string key = place.substr(from);
        e->share_keys.push_back(key);
        if (!l.marked)
            e->alt_names.push_back(key);
    }
    if (!*pending)
        return 0;
    ssafe_location loc;
    loc.path = place;
    loc.at_version = at;
    loc.parent = parent;
    if (depth > 2 && ssafe_branch_path(project, parent_branch, *e, &loc.branch) != 0)
        return too_long(*e, "branch path", loc.branch, SSAFE_MAX_BRANCH_PATH);
    *last_path = loc.path;
    *last_branch = loc.branch;
    e->locations.push_back(std::move(loc));
    *pending = false;
    return 0;
}

int paths_parser::level(int depth, const std::string &parent, const std::string &parent_branch) {
    std::string name, at = "0", last_path, last_branch;
    bool pending = false;
    while (next < lines.size()) {
        const line_t &l = lines[next];
        int spaces = 0;
        while (size_t(spaces) < l.text.size() && l.text[size_t(spaces)] == ' ')
            ++spaces;
        if (spaces > depth) {
            // Each deeper level is a branch of a branch: no real tree nests
            // this far, and the parser's stack must not follow one that does.
            if (++nesting > SSAFE_MAX_NESTING) {
                IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_IN_PATHS, e->name.c_str(), l.number,
                           "branches nested too deep");
                return 1;
            }
            int rc = level(spaces, last_path, last_branch);
            --nesting;
            if (rc != 0)
                return rc;
            continue;
        }
        if (spaces < depth) {
            if (depth > 2)
                return 0;
            // Nothing shallower belongs to the tree.
            std::string shown = l.text + "\n";
            IMSG_PRINT(IMSG_NOTICE, cat(), SSAFE_PATHS_UNRECOGNIZED, shown.c_str());
            ++next;
            continue;
        }
        ++next;
        std::string text = l.text.substr(size_t(spaces));
        if (text[0] == '$') {
            if (name.empty()) {   // a place of no file
                IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_IN_PATHS, e->name.c_str(), l.number, l.text.c_str());
                return 1;
            }
            int rc = project_line(l, depth, text, name, &pending, at, parent, parent_branch, &last_path,
                                  &last_branch);
            if (rc != 0)
                return rc;
            continue;
        }
        // A name may hold blanks: only a closing parenthesis ("a b.c (at
        // version 4)") follows it.
        std::string note;
        size_t open = text.rfind(" (");
        if (!text.empty() && text.back() == ')' && open != std::string::npos) {
            note = text.substr(open);
            text.erase(open);
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        // The tree has one root: a second file at the top would be read as a
        // second main line, its versions mixed with the first one's. A leaf
        // name holds no "/": its places would name other files.
        if ((depth == 2 && !name.empty()) || text.find('/') != std::string::npos) {
            IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_IN_PATHS, e->name.c_str(), l.number, l.text.c_str());
            return 1;
        }
        name = text;
        // Branches below hang from this file's place, not from the one
        // before it: none (they then find no sprout) until it is met.
        last_path.clear();
        last_branch.clear();
        if (name.size() > SSAFE_MAX_PATH)
            return too_long(*e, "name", name, SSAFE_MAX_PATH);
        at = "0";
        text = note;
        size_t av = text.find("at version ");
        if (av != std::string::npos) {
            av += std::strlen("at version ");
            size_t close = text.find(')', av);
            at = text.substr(av, close == std::string::npos ? std::string::npos : close - av);
            if (at.size() > SSAFE_MAX_AT_VERSION)
                return too_long(*e, "at version", at, SSAFE_MAX_AT_VERSION);
            bool digits = !at.empty();
            for (char c : at)
                digits = digits && std::isdigit(static_cast<unsigned char>(c));
            if (!digits) {
                IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_IN_PATHS, e->name.c_str(), l.number, l.text.c_str());
                return 1;
            }
        }
        pending = true;
    }
    return 0;
}

}   // namespace

int ssafe_parse_paths(const std::string &text, const std::string &wp, ssafe_element *e) {
    paths_parser p{{}, 0, wp, e, 0};
    size_t pos = 0;
    int number = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        size_t end = nl == std::string::npos ? text.size() : nl + 1;
        line_t l;
        l.number = ++number;
        l.text = text.substr(pos, end - pos);
        pos = end;
        size_t cut = l.text.find_first_of("\r\n");
        if (cut != std::string::npos)
            l.text.erase(cut);
        if (l.text.empty() || l.text.compare(0, 8, "Showing ") == 0)
            continue;
        if (l.text.compare(0, 2, "> ") == 0) {
            l.marked = true;
            l.text[0] = ' ';
        }
        if (l.text.find_first_not_of(' ') == std::string::npos)
            continue;
        p.lines.push_back(std::move(l));
    }
    return p.level(2, "", "");
}

int ssafe_branch_path(const std::string &project, const std::string &parent_branch, const ssafe_element &e,
                      std::string *out) {
    size_t from = 0;
    while (from < project.size() && project[from] == '$')
        ++from;
    while (from < project.size() && project[from] == '/')
        ++from;
    std::string name = project.substr(from);
    for (char &c : name)
        if (c == '/')
            c = '_';
    auto taken = [&e](const std::string &b) {
        for (const ssafe_location &l : e.locations)
            if (l.branch == b)
                return true;
        return false;
    };
    auto full = [&parent_branch](const std::string &n) {
        return parent_branch.empty() ? n : parent_branch + "/" + n;
    };
    // The name alone is tested first, as it always was, so that the branches
    // of earlier exports keep their names; the whole path as well, so that
    // two branches of one parent never share one. An empty name is never
    // one: it would be the main line's.
    for (int attempt = 1; name.empty() || taken(name) || taken(full(name)); ++attempt)
        name = name.empty() ? std::string("branch") : name + "." + std::to_string(attempt);
    *out = full(name);
    return out->size() > SSAFE_MAX_BRANCH_PATH ? 1 : 0;
}
