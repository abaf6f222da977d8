// One SourceSafe file as an element: its locations, their histories read
// newest first from the last location to the first, the branches tied to
// the versions they sprout from, and what the export library asks of it.
#include <cstdlib>
#include <memory>

#include "drivers/ssafe/ssafe_driver.h"
#include "drivers/ssafe/ssafe_msgs.h"
#include "drivers/ssafe/ssafe_run.h"
#include "runtime/stopsig.h"
#include "runtime/strutl.h"

namespace {

const imsg_catalog *cat() { return ssafe_driver_ssafe_msg_table_adr(); }

std::string leaf_of(const std::string &path) {
    std::string dir, leaf;
    fileutl_strip_leaf(path, &dir, &leaf);
    return leaf;
}

// The walk path as the element's name: "\" as "/", no "./", no ";pin".
std::string element_name(const char *path) {
    std::string name = path;
    for (char &c : name)
        if (c == '\\')
            c = '/';
    name = ssafe_walk_path(name);
    size_t semi = name.find(';');
    if (semi != std::string::npos)
        name.erase(semi);
    return name;
}

// The end date of pinned histories depends on the client's version: before
// 6.0 it cannot read a later date. The client does not change during a run,
// so it is asked once.
const std::string &pin_end_date() {
    ssafe_driver_state &s = ssafe_state();
    if (!s.pin_end_date.empty())
        return s.pin_end_date;
    bool old = true;
    std::string out, err, text;
    if (ssafe_tmpfile(&out) == 0 && ssafe_tmpfile(&err) == 0) {
        int status;
        std::string why;
        if (ssafe_run({"about"}, {out, err}, &status, &why) == 0 || status >= 0)
            (void)ssafe_read_file(out, &text);
    }
    if (!out.empty())
        (void)fileutl_rm(out.c_str());
    if (!err.empty())
        (void)fileutl_rm(err.c_str());
    std::string line = ssafe_first_line(text);
    if (!line.empty()) {
        size_t at = line.find("Version");
        std::string major;
        if (at != std::string::npos && at + 8 <= line.size()) {
            std::string rest = line.substr(at + 8);
            size_t b = rest.find_first_not_of('.');
            if (b != std::string::npos)
                major = rest.substr(b, rest.find('.', b) - b);
        }
        if (major.empty())
            IMSG_PRINT(IMSG_WARNING, cat(), SSAFE_UNKNOWN_VERSION);
        else
            old = major[0] == '4' || major[0] == '5';
    }
    s.pin_end_date = old ? "d12-31-00" : "d01-18-37";
    return s.pin_end_date;
}

// The pinned version of a location ("" when not pinned), from the line that
// `ss dir` gives for it.
int pin_of(const std::string &path, const std::string &listed_line, std::string *pinned) {
    std::string line = listed_line;
    if (line.empty()) {
        std::string text, why, command;
        int status;
        int rc = ssafe_capture({"dir", "-I-", "-O", path}, &text, &status, &why, &command);
        if (rc > 0)
            return 1;
        if (rc < 0) {
            if (!ks_stop_signal())   // a client ended by the run's stop is no failure of its own
                IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_CANT_OPEN_PROCESS, command.c_str(), why.c_str());
            return 1;
        }
        line = ssafe_first_line(text);
        if (line.empty()) {
            IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_CANT_READ_PROCESS, command.c_str(),
                       IMSG_SPRINTF(cat(), SSAFE_REASON_EMPTY).c_str());
            return 1;
        }
    }
    size_t semi = line.find(';');
    pinned->clear();
    if (semi != std::string::npos)
        *pinned = line.substr(semi + 1);
    return 0;
}

long number_of(const std::string &text) {
    long n = 0;
    return strutl_strtol(text.c_str(), 10, &n) ? n : -1;
}

// The branches that sprout from the versions just read for loc.
void tie_sprouts(ssafe_element *e, const ssafe_location &loc, size_t first) {
    for (size_t k = first; k < e->versions.size(); ++k) {
        long v = number_of(ssafe_version_number(e->versions[k]));
        for (ssafe_location &b : e->locations) {
            if (b.sprout_found || b.parent != loc.path || number_of(b.at_version) - 1 != v || v < 0)
                continue;
            b.sprout_found = 1;
            e->versions[k].subbranches.push_back(b.branch);
        }
    }
}

int read_location(ssafe_element *e, size_t index, const std::string &listed_line) {
    ssafe_location &loc = e->locations[index];
    std::vector<std::string> rest;
    if (!loc.branch.empty())
        rest.push_back("-V~" + loc.at_version);
    else
        loc.sprout_found = 1;
    ssafe_history_in in;
    in.loc = &loc;
    in.leaf = leaf_of(loc.path);
    if (pin_of(loc.path, listed_line, &in.pinned) != 0)
        return CM_FAILED;
    rest.push_back(in.pinned.empty() ? loc.path : loc.path + ";" + pin_end_date());
    std::string text;
    if (ssafe_query("history", rest, &text) != 0)
        return CM_FAILED;
    size_t first = e->versions.size();
    int rc = ssafe_parse_history(text, in, e);
    if (rc != 0)
        return rc;
    tie_sprouts(e, e->locations[index], first);
    return CM_OK;
}

int build_element(const char *path, ssafe_element *e) {
    ssafe_driver_state &s = ssafe_state();
    const std::string full = ssafe_full_path(s.working_project, e->name);
    if (full.size() > SSAFE_MAX_PATH) {
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_TOO_LONG, full.c_str(), "path", full.c_str(),
                   int(SSAFE_MAX_PATH));
        return CM_FAILED;
    }
    if (s.follow) {
        std::string text;
        if (ssafe_query("paths", {full}, &text) != 0)
            return CM_FAILED;
        if (ssafe_parse_paths(text, s.working_project, e) != 0) {
            IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_NO_BRANCH_INFO);
            return CM_FAILED;
        }
    } else {
        // Without -F nothing else is read, so `ss paths` is not run.
        ssafe_location own;
        own.path = full;
        e->locations.push_back(own);
    }
    // The listing line the walk read answers the pin check of the file's
    // own place.
    auto listed = s.listed.find(ssafe_walk_path(path));
    for (size_t k = e->locations.size(); k-- > 0;) {
        const bool own = e->locations[k].path == full && listed != s.listed.end();
        int rc = read_location(e, k, own ? listed->second : std::string());
        if (rc != CM_OK)
            return rc;
    }
    for (const ssafe_location &loc : e->locations)
        if (!loc.sprout_found) {
            IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_NO_VERSION_TREE);
            IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_NO_SPROUT, loc.path.c_str());
            return CM_FAILED;
        }
    if (e->versions.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_NO_VERSIONS, e->name.c_str());
        return CM_FAILED;
    }
    e->cursor = long(e->versions.size()) - 1;
    return CM_OK;
}

// `ss status`: "user   where" per checkout, or a line saying there is none.
str_list checkouts_of(const ssafe_element *e) {
    ssafe_driver_state &s = ssafe_state();
    std::string text;
    str_list out;
    if (ssafe_query("status", {ssafe_full_path(s.working_project, e->name)}, &text) != 0)
        return out;
    size_t pos = 0;
    std::string line;
    while (ssafe_next_line(text, &pos, &line)) {
        if (line.empty())
            continue;
        if (line.compare(0, 27, "No checked out files found.") == 0)
            return {};
        if (line.compare(0, 23, "Error reading from file") == 0) {
            IMSG_PRINT(IMSG_WARNING, cat(), SSAFE_STATUS_ERROR, "ss", s.working_project.c_str(), '/',
                       e->name.c_str());
            return {};
        }
        size_t sp = line.find(' ');
        if (sp == std::string::npos)
            continue;
        size_t where = line.find_first_not_of(' ', sp);
        std::string co = line.substr(0, sp) + ":" + (where == std::string::npos ? "" : line.substr(where));
        if (co.size() > 1023) {
            IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_STATUS_TOO_SMALL);
            return {};
        }
        out.push_back(co);
    }
    return out;
}

}   // namespace

int ssafe_cm_map_name(const char *path, int, int *convert, int *prune, std::string *name) {
    *name = element_name(path);
    *convert = 1;
    *prune = 0;
    return 0;
}

int ssafe_cm_open_element(const char *path, void **handle) {
    *handle = nullptr;
    auto e = std::make_unique<ssafe_element>();
    e->name = element_name(path);
    ssafe_driver_state &s = ssafe_state();
    // Written already as an alternate name of an element met earlier.
    if (s.follow && s.shares.count(e->name))
        return CM_NOT_EXPORTED;
    int rc = build_element(path, e.get());
    if (rc != CM_OK)
        return rc;
    // Only an element that opened has its other places written as its
    // alternate names; a failed one leaves them to be tried on their own.
    for (const std::string &key : e->share_keys)
        s.shares.emplace(key, e->name);
    *handle = e.release();
    return CM_OK;
}

int ssafe_cm_left_out(const char *path, std::string *why) {
    const ssafe_driver_state &s = ssafe_state();
    auto it = s.follow ? s.shares.find(element_name(path)) : s.shares.end();
    if (it == s.shares.end())
        return 0;
    *why = IMSG_SPRINTF(cat(), SSAFE_ALT_NAME_OF, it->second.c_str());
    return 1;
}

int ssafe_cm_element_info(void *handle, element_info *info) {
    ssafe_element *e = static_cast<ssafe_element *>(handle);
    const cm_version_info &first = e->versions[size_t(e->cursor)];
    *info = element_info();
    info->created = first.event_time;
    info->name = e->name;
    info->user = first.user;
    info->group = first.group;
    info->event_name = first.event_name;
    info->host = first.host;
    info->checkouts = checkouts_of(e);
    info->alt_names = e->alt_names;
    return CM_OK;
}

int ssafe_cm_next_version(void *handle, cm_version_info *v, int *is_version) {
    ssafe_element *e = static_cast<ssafe_element *>(handle);
    if (e->cursor < 0)
        return CM_NO_MORE;
    *v = e->versions[size_t(e->cursor)];
    *is_version = 1;
    e->cursor--;
    return CM_OK;
}

// ssafeget "$/proj/a.c" 7 "a.c": the names go through /bin/sh at import
// time, so each is quoted for it.
int ssafe_cm_extract(void *handle, const cm_version_info *v, std::string *text, int *is_command) {
    ssafe_element *e = static_cast<ssafe_element *>(handle);
    const std::string branch = v->branch ? *v->branch : std::string();
    const ssafe_location *loc = nullptr;
    for (const ssafe_location &l : e->locations)
        if (l.branch == branch) {
            loc = &l;
            break;
        }
    if (!loc)
        return CM_FAILED;
    // The number comes from the history as text: anything but digits (a
    // damaged history) is quoted like the names.
    std::string number = ssafe_version_number(*v);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
        number = "\"" + strutl_cmd_dquote(number) + "\"";
    *is_command = 1;
    *text = "ssafeget \"" + strutl_cmd_dquote(loc->path) + "\" " + number + " \"" +
            strutl_cmd_dquote(leaf_of(loc->path)) + "\"";
    return CM_OK;
}

void ssafe_cm_close_element(void *handle) { delete static_cast<ssafe_element *>(handle); }
