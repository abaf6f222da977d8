#include "rcsarchive/rcs_rev.h"

#include <cstring>

#include "rcsarchive/rcs_msgs.h"
#include "runtime/date.h"

namespace {

// Next field of a number starting at *i; advances past its dot.
std::string_view next_field(std::string_view s, size_t *i) {
    size_t start = *i, dot = s.find('.', start);
    if (dot == std::string_view::npos)
        dot = s.size();
    *i = dot + 1;
    return s.substr(start, dot - start);
}

// Compares two digit strings as numbers, without overflow.
int compare_numbers(std::string_view a, std::string_view b) {
    while (a.size() > 1 && a[0] == '0')
        a.remove_prefix(1);
    while (b.size() > 1 && b[0] == '0')
        b.remove_prefix(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool parse_field(const char *s, size_t len, long *out) {
    if (len == 0 || len > 4)
        return false;
    long v = 0;
    for (size_t i = 0; i < len; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        v = v * 10 + (s[i] - '0');
    }
    *out = v;
    return true;
}

}   // namespace

int rcs_rev_compare(std::string_view a, std::string_view b) {
    if (a.find('.') == std::string_view::npos) {
        RCS_SAY(IMSG_WARNING, rcs_driver_rcs_msg_table_adr(), RCS_BRANCH_ID);
        return 0;
    }
    if (b.find('.') == std::string_view::npos)
        return 0;
    size_t i = 0, j = 0;
    for (;;) {
        bool more_a = i <= a.size(), more_b = j <= b.size();
        if (!more_a || !more_b) {
            if (more_a == more_b)
                break;
            return more_a ? 1 : -1;
        }
        int c = compare_numbers(next_field(a, &i), next_field(b, &j));
        if (c)
            return c;
    }
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int rcs_is_number(std::string_view s) {
    if (s.empty() || s.front() == '.' || s.back() == '.')
        return 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '.') {
            if (s[i + 1] == '.')
                return 0;
        } else if (s[i] < '0' || s[i] > '9') {
            return 0;
        }
    }
    return 1;
}

int rcs_field_count(std::string_view s) {
    int n = 1;
    for (char c : s)
        n += c == '.';
    return n;
}

int rcs_is_revision(std::string_view s) { return rcs_is_number(s) && rcs_field_count(s) % 2 == 0; }

std::string_view rcs_prefix(std::string_view s, int n) {
    size_t i = 0;
    for (int k = 0; k < n; ++k) {
        size_t dot = s.find('.', i);
        if (dot == std::string_view::npos)
            return s;
        if (k == n - 1)
            return s.substr(0, dot);
        i = dot + 1;
    }
    return s;
}

std::string rcs_magic_branch(std::string_view branch) {
    size_t dot = branch.rfind('.');
    if (dot == std::string_view::npos)
        return std::string(branch);
    std::string s(branch.substr(0, dot));
    s += ".0";
    s += branch.substr(dot);
    return s;
}

int rcs_parse_date(const char *text, int64_t *out) {
    const imsg_catalog *cat = rcs_driver_rcs_msg_table_adr();
    size_t len = text ? std::strlen(text) : 0;
    if (len == 0) {
        RCS_SAY(IMSG_ERROR, cat, RCS_EMPTY_DATE);
        return 1;
    }
    if (len != 17 && len != 19) {
        RCS_SAY(IMSG_ERROR, cat, RCS_DATE_LENGTH, text);
        return 1;
    }
    long f[6];
    size_t year_digits = 0;
    const char *p = text;
    for (int k = 0; k < 6; ++k) {
        const char *dot = k < 5 ? std::strchr(p, '.') : p + std::strlen(p);
        if (!dot || !parse_field(p, size_t(dot - p), &f[k])) {
            RCS_SAY(IMSG_ERROR, cat, RCS_BAD_DATE, text);
            return 1;
        }
        if (k == 0)
            year_digits = size_t(dot - p);
        p = dot + 1;
    }
    // Four digits are the year itself. Fewer count from 1900, as RCS wrote
    // years before 2000; years 00 to 38 are 2000 to 2038, and three digits
    // (100 and more) come from writers that kept counting from 1900.
    long year = f[0];
    if (year_digits < 4)
        year += year < 39 ? 2000 : 1900;
    if (date_civil_to_time(int(year), int(f[1]), int(f[2]), int(f[3]), int(f[4]), int(f[5]), out) != 0) {
        RCS_SAY(IMSG_ERROR, cat, RCS_BAD_DATE, text);
        return 1;
    }
    return 0;
}
