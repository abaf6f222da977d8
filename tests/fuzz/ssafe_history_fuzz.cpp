// The parser of `ss history` output, with what an export then asks of the
// records: their version numbers and the ssafeget commands. The first byte
// picks the pin, the branch and -V. Checked: a record's VersionId is its
// branch and its number, labels are single names, times are in the range
// the parser promises, every record has a command whose number is digits or
// quoted, a second parse gives the same records, and the same text with
// CRLF line ends gives the same records (comments apart from their CRs).
#include <cstddef>
#include <cstdint>
#include <string>

#include "drivers/ssafe/ssafe_driver.h"
#include "runtime/date.h"
#include "runtime/strutl.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

std::string without_cr(const std::string &s) {
    std::string out;
    for (char c : s)
        if (c != '\r')
            out += c;
    return out;
}

std::string crlf(const std::string &s) {
    std::string out;
    for (char c : s) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

bool same_records(const ssafe_element &a, const ssafe_element &b, bool ignore_cr) {
    if (a.versions.size() != b.versions.size())
        return false;
    for (size_t i = 0; i < a.versions.size(); ++i) {
        const cm_version_info &x = a.versions[i], &y = b.versions[i];
        if (x.version_id != y.version_id || x.event_time != y.event_time || x.user != y.user ||
            x.labels != y.labels || x.attributes != y.attributes || x.branch != y.branch ||
            x.comment.has_value() != y.comment.has_value())
            return false;
        if (x.comment &&
            (ignore_cr ? without_cr(*x.comment) != without_cr(*y.comment) : *x.comment != *y.comment))
            return false;
    }
    return true;
}

void check_records(const ssafe_element &e, const ssafe_location &loc) {
    int64_t last = 0;
    FUZZ_CHECK(date_civil_to_time(3001, 1, 1, 0, 0, 0, &last) == 0);
    ssafe_element holder;
    holder.locations.push_back(loc);
    for (const cm_version_info &v : e.versions) {
        FUZZ_CHECK(v.branch.value_or("") == loc.branch);
        const std::string number = ssafe_version_number(v);
        FUZZ_CHECK(!number.empty());
        FUZZ_CHECK(v.version_id == (loc.branch.empty() ? number : loc.branch + "/" + number));
        FUZZ_CHECK(v.event_time >= 0 && v.event_time < last && v.selected_time == v.event_time);
        for (const std::string &l : v.labels)
            FUZZ_CHECK(!l.empty() ? l.find_first_of("/\\") == std::string::npos : true);
        std::string text;
        int is_command = 0;
        FUZZ_CHECK(ssafe_cm_extract(&holder, &v, &text, &is_command) == CM_OK && is_command == 1);
        const std::string head = "ssafeget \"" + strutl_cmd_dquote(loc.path) + "\" ";
        FUZZ_CHECK(text.compare(0, head.size(), head) == 0);
        const std::string arg = text.substr(head.size(), text.find(' ', head.size()) - head.size());
        FUZZ_CHECK(!arg.empty() &&
                   (arg[0] == '"' || arg.find_first_not_of("0123456789") == std::string::npos));
        if (arg[0] != '"')
            FUZZ_CHECK(arg == number);
    }
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_quiet_messages();
    unsigned sel = size ? data[0] : 0;
    std::string text(reinterpret_cast<const char *>(data) + (size ? 1 : 0), size ? size - 1 : 0);
    ssafe_reset_state();
    ssafe_state().record_version = (sel >> 2) & 1;
    ssafe_location loc;
    loc.path = "$/proj/a.c";
    static const char *const branches[] = {"", "proj_dev", "rel/hot_fix", ""};
    loc.branch = branches[sel & 3];
    ssafe_history_in in;
    in.loc = &loc;
    in.leaf = "a.c";
    static const char *const pins[] = {"", "1", "2", "unknown"};
    in.pinned = pins[(sel >> 3) & 3];

    ssafe_element e;
    int rc = ssafe_parse_history(text, in, &e);
    FUZZ_CHECK(rc == 0 || rc == CM_FAILED);
    if (rc == 0)
        check_records(e, loc);
    ssafe_element again;
    FUZZ_CHECK(ssafe_parse_history(text, in, &again) == rc);
    FUZZ_CHECK(same_records(e, again, false));
    if (text.find('\r') == std::string::npos) {
        ssafe_element dos;
        FUZZ_CHECK(ssafe_parse_history(crlf(text), in, &dos) == rc);
        if (rc == 0)
            FUZZ_CHECK(same_records(e, dos, true));
    }
    ssafe_reset_state();
    return 0;
}
