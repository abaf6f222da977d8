// The parser of `ss history` output. The history lists the newest entry
// first; each numbered entry ("*****************  Version N") whose action
// line is met becomes one version record. Labels are collected before the
// record they belong to is made (a label entry lists above the version it
// marks), and a comment runs from "Comment: " to the next entry.
#include <cstring>

#include "drivers/ssafe/ssafe_driver.h"
#include "drivers/ssafe/ssafe_msgs.h"
#include "export/export_names.h"
#include "export/export_records.h"
#include "runtime/strutl.h"

namespace {

const imsg_catalog *cat() { return ssafe_driver_ssafe_msg_table_adr(); }

const char *const VERSION_LINE = "*****************  Version ";
const char *const ACTIONS[] = {"Checked in ",
                               "Updated in ",
                               "Labeled",
                               "Labelled",
                               "Branched",
                               "Rolled back",
                               "Separated, copied, or rolled back",
                               "Separated",
                               "Created"};

bool starts(const std::string &s, const char *prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool starts(const std::string &s, const std::string &prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool line_end_only(const std::string &s, size_t from) {
    std::string rest = s.substr(from);
    return rest.empty() || rest == "\n" || rest == "\r\n";
}

// A name with the branch-path separators replaced, so that it stays one name.
std::string label_name(std::string s) {
    for (char &c : s)
        if (c == '/' || c == '\\')
            c = export_replace_char();
    return s;
}

struct parser {
    const ssafe_history_in &in;
    ssafe_element *e;
    std::string prefix;    // "<leaf> archived to version "
    std::string version;   // of the open entry; "" once its record is made
    bool record_active = false;
    bool comment_mode = false;
    bool has_comment = false;   // a comment line was kept for the active record
    std::string comment;
    str_list labels;          // pending: for the next record made
    bool have_user = false;   // the open entry has a User line
    std::string user;
    int64_t time = 0;

    parser(const ssafe_history_in &i, ssafe_element *el)
        : in(i), e(el), prefix(i.leaf + " archived to version ") {}

    const char *path() const { return in.loc->path.c_str(); }

    // The line end and the blank line that close an entry are no part of the
    // comment; nothing else is cut.
    void finish_comment() {
        if (record_active && has_comment && !e->versions.empty()) {
            for (int n = 0; n < 2 && !comment.empty() && comment.back() == '\n'; ++n) {
                comment.pop_back();
                if (!comment.empty() && comment.back() == '\r')
                    comment.pop_back();
            }
            e->versions.back().comment = comment;
        }
        comment.clear();
        has_comment = false;
    }

    void boundary() {
        finish_comment();
        record_active = false;
        comment_mode = false;
        have_user = false;
    }

    int user_line(const std::string &line);
    void make_record();
    int line(std::string line);
};

int parser::user_line(const std::string &line) {
    std::string name, date, tm;
    if (!ssafe_split_user_line(line, &name, &date, &tm))
        return 0;
    int64_t when = 0;
    if (date.size() > SSAFE_MAX_DATE_TIME || tm.size() > SSAFE_MAX_DATE_TIME) {
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_BAD_DATE, date.c_str(), tm.c_str());
        IMSG_PRINT(IMSG_CONT, cat(), SSAFE_IN_HISTORY, path());
        return CM_FAILED;
    }
    if (ssafe_convert_date_time(date, tm, &when) != 0) {
        IMSG_PRINT(IMSG_CONT, cat(), SSAFE_IN_HISTORY, path());
        return CM_FAILED;
    }
    user = name;
    time = when;
    have_user = true;
    return 0;
}

void parser::make_record() {
    const ssafe_driver_state &st = ssafe_state();
    cm_version_info v;
    v.status = VERSION_WRITE;
    v.event_time = v.selected_time = time;
    v.version_id = in.loc->branch.empty() ? version : in.loc->branch + "/" + version;
    v.user = user;
    v.group = st.group;
    v.host = st.host;
    v.event_name = std::string();
    v.branch = in.loc->branch;
    if (st.record_version && time > st.since)
        v.attributes.push_back("SSAFE_VERSION=" + v.version_id);
    v.labels.swap(labels);
    e->versions.push_back(std::move(v));
    record_active = true;
    version.clear();
}

int parser::line(std::string line) {
    if (line.compare(0, 22, std::string(22, '*')) == 0 && line_end_only(line, 22)) {
        boundary();   // an entry of its own, such as a label: the version number stays
        return 0;
    }
    if (starts(line, VERSION_LINE)) {
        boundary();
        size_t from = std::strlen(VERSION_LINE);
        size_t sp = line.find(' ', from);
        // A damaged number keeps no "/": the VersionId would read as a branch.
        version = sp == std::string::npos ? "unknown" : label_name(line.substr(from, sp - from));
        if (in.pinned.empty() || version != in.pinned)
            return 0;
        // The pinned version gets a label naming the pin.
        std::string name = "PINNED";
        if (!in.loc->branch.empty()) {
            std::vector<char> buf(in.loc->branch.size() + 1);
            (void)strutl_cvt_case_string(in.loc->branch.c_str(), STRUTL_TO_UPPER, buf.size(), buf.data());
            name = buf.data();
        }
        labels.push_back(label_name(name));
        return 0;
    }
    if (comment_mode) {
        if (record_active)
            comment += line;
        return 0;
    }
    for (const char *p : {"Comment: ", "Label comment: "}) {
        if (starts(line, p)) {
            comment_mode = true;
            if (record_active) {
                comment += line.substr(std::strlen(p));
                has_comment = true;
            }
            return 0;
        }
    }
    if (starts(line, "User: "))
        return user_line(line);
    // An action line before its entry's User line would take the user and
    // time of another entry: it makes no record and is reported instead.
    if (!version.empty() && have_user) {
        bool action = starts(line, prefix);
        for (const char *a : ACTIONS)
            action = action || starts(line, a);
        if (action) {
            make_record();
            return 0;
        }
    }
    if (starts(line, "Label: \"")) {
        size_t q = line.rfind('"');
        if (q > 7) {
            labels.push_back(label_name(line.substr(8, q - 8)));
            return 0;
        }
    }
    if (line.empty() || line[0] == '\r' || line[0] == '\n')
        return 0;
    for (const char *p : {"History of ", "Building list for ", "Labeled", "Labelled"})
        if (starts(line, p))
            return 0;
    if (line.back() != '\n')
        line += '\n';
    IMSG_PRINT(IMSG_NOTICE, cat(), SSAFE_UNRECOGNIZED, path(), line.c_str());
    return 0;
}

}   // namespace

int ssafe_parse_history(const std::string &text, const ssafe_history_in &in, ssafe_element *e) {
    parser p(in, e);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        size_t end = nl == std::string::npos ? text.size() : nl + 1;
        int rc = p.line(text.substr(pos, end - pos));
        if (rc != 0)
            return rc;
        pos = end;
    }
    p.finish_comment();
    return 0;
}

std::string ssafe_version_number(const cm_version_info &v) {
    size_t slash = v.version_id.rfind('/');
    return slash == std::string::npos ? v.version_id : v.version_id.substr(slash + 1);
}

// Where the value after the first `label` at or after `from` begins, or npos.
// The client right-aligns dates and times in columns: a short one is
// preceded by more than one blank.
static size_t value_after(const std::string &line, const char *label, size_t from) {
    size_t at = line.find(label, from);
    if (at == std::string::npos)
        return at;
    size_t value = line.find_first_not_of(' ', at + std::strlen(label));
    return value == std::string::npos ? line.size() : value;
}

bool ssafe_split_user_line(const std::string &line, std::string *user, std::string *date, std::string *time) {
    if (!starts(line, "User: "))
        return false;
    size_t u = std::strlen("User: ");
    size_t sp = line.find(' ', u);
    if (sp == std::string::npos)
        return false;
    size_t d = value_after(line, "Date: ", sp);
    if (d == std::string::npos)
        return false;
    size_t dend = line.find(' ', d);
    if (dend == std::string::npos)
        return false;
    size_t t = value_after(line, "Time: ", dend);
    if (t == std::string::npos)
        return false;
    size_t tend = line.find_first_of("\r\n", t);
    if (tend == std::string::npos)
        tend = line.size();
    *user = line.substr(u, sp - u);
    *date = line.substr(d, dend - d);
    *time = line.substr(t, tend - t);
    return true;
}
