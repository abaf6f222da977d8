// Date-time texts: a small hand-written parser for the forms listed in
// date_usage_date_time(). Every field is range-checked before any conversion,
// so the normalising of mktime never turns "Feb 30" into "Mar 2".
#include "date.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

struct fields {
    int year = 0, month = 0, day = 0;
    int hour = 0, min = 0, sec = 0;
    bool has_clock = false;   // a time of day was given, not only a date
    bool has_zone = false;
    int zone_sec = 0;   // east of UTC
};

void civil_from_days(int64_t z, int64_t *y, int *m, int *d) {
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    *d = int(doy - (153 * mp + 2) / 5 + 1);
    *m = int(mp < 10 ? mp + 3 : mp - 9);
    *y = yoe + era * 400 + (*m <= 2);
}

// A second of 60 is not a time an option can name.
bool valid(const fields &f) {
    int64_t t;
    return f.sec != 60 && date_civil_to_time(f.year, f.month, f.day, f.hour, f.min, f.sec, &t) == 0;
}

// Reads exactly n digits.
bool digits(const char *&p, int n, int *out) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(p[i])))
            return false;
        v = v * 10 + (p[i] - '0');
    }
    p += n;
    *out = v;
    return true;
}

bool take(const char *&p, char c) {
    if (*p != c)
        return false;
    ++p;
    return true;
}

// hh:mm[:ss]
bool parse_clock(const char *&p, fields *f) {
    f->has_clock = true;
    if (!digits(p, 2, &f->hour) || !take(p, ':') || !digits(p, 2, &f->min))
        return false;
    if (*p == ':') {
        ++p;
        return digits(p, 2, &f->sec);
    }
    return true;
}

// Z, +hh:mm or -hh:mm
bool parse_zone(const char *&p, fields *f) {
    if (take(p, 'Z')) {
        f->has_zone = true;
        return true;
    }
    if (*p != '+' && *p != '-')
        return true;
    int sign = *p++ == '-' ? -1 : 1;
    int h, m;
    if (!digits(p, 2, &h) || !take(p, ':') || !digits(p, 2, &m) || h > 23 || m > 59)
        return false;
    f->has_zone = true;
    f->zone_sec = sign * (h * 3600 + m * 60);
    return true;
}

// yyyy-mm-dd[(T| )hh:mm[:ss][zone]]
bool parse_iso(const char *p, fields *f) {
    if (!digits(p, 4, &f->year) || !take(p, '-') || !digits(p, 2, &f->month) || !take(p, '-') ||
        !digits(p, 2, &f->day))
        return false;
    if (*p == '\0')
        return true;
    if (*p != 'T' && *p != ' ')
        return false;
    ++p;
    return parse_clock(p, f) && parse_zone(p, f) && *p == '\0';
}

int month_number(const char *p) {
    static const char *const names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
    for (int i = 0; i < 12; ++i) {
        bool same = true;
        for (int k = 0; k < 3 && same; ++k)
            same = std::tolower(static_cast<unsigned char>(p[k])) == names[i][k];
        if (same)
            return i + 1;
    }
    return 0;
}

// d[d]-Mon-yyyy[.hh:mm[:ss]]
bool parse_dmy(const char *p, fields *f) {
    if (!digits(p, 1, &f->day))
        return false;
    int second;
    if (std::isdigit(static_cast<unsigned char>(*p)) && digits(p, 1, &second))
        f->day = f->day * 10 + second;
    if (!take(p, '-') || std::strlen(p) < 3 || !(f->month = month_number(p)))
        return false;
    p += 3;
    if (!take(p, '-') || !digits(p, 4, &f->year))
        return false;
    if (*p == '\0')
        return true;
    return take(p, '.') && parse_clock(p, f) && *p == '\0';
}

bool to_time(const fields &f, int64_t *out) {
    if (f.has_zone) {
        int64_t t;
        if (date_civil_to_time(f.year, f.month, f.day, f.hour, f.min, f.sec, &t) != 0)
            return false;
        *out = t - f.zone_sec;
        return true;
    }
    struct tm tm {};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.min;
    tm.tm_sec = f.sec;
    tm.tm_isdst = -1;
    tm.tm_wday = -1;   // mktime sets it on success; -1 is also a valid result time
    time_t t = std::mktime(&tm);
    if (tm.tm_wday == -1)
        return false;
    // mktime moves a time that a daylight-saving change skips; such a time does
    // not exist on the clock, so it is refused rather than silently shifted. A
    // bare date whose midnight is skipped means the first moment of that day.
    if (f.has_clock && (tm.tm_hour != f.hour || tm.tm_min != f.min || tm.tm_mday != f.day))
        return false;
    *out = int64_t(t);
    return true;
}

// Local midnight of the day that holds `now`, moved by day_shift days.
bool local_midnight(int64_t now, int day_shift, int64_t *out) {
    time_t t = time_t(now);
    struct tm tm {};
    if (!localtime_r(&t, &tm))
        return false;
    tm.tm_mday += day_shift;
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1;
    tm.tm_wday = -1;
    time_t r = std::mktime(&tm);
    if (tm.tm_wday == -1)
        return false;
    *out = int64_t(r);
    return true;
}

bool same_word(const char *a, const char *b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != *b)
            return false;
    return *a == '\0' && *b == '\0';
}

}   // namespace

int date_civil_to_time(int y, int m, int d, int hh, int mm, int ss, int64_t *out) {
    using namespace std::chrono;
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31)
        return 1;
    year_month_day ymd{year{y}, month{unsigned(m)}, day{unsigned(d)}};
    if (!ymd.ok())
        return 1;
    bool leap_second = ss == 60 && hh == 23 && mm == 59;
    if (hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 || (ss > 59 && !leap_second))
        return 1;
    int64_t days = sys_days(ymd).time_since_epoch().count();
    *out = days * 86400 + hh * 3600 + mm * 60 + ss;
    return 0;
}

namespace {

// mktime looks at the zone file again on every call when TZ is unset (a
// system call per conversion). The time is found instead from the fields
// read as UTC less the zone's offset: the offset of the last conversion
// first, then the one in force at that guess; localtime_r, which does not
// look at the file again, confirms that the result shows the same fields. A
// local time that no offset gives (skipped by a daylight-saving change) is
// left to mktime. A change of TZ is noticed and read again.
struct zone_state {
    std::string tz;
    bool tz_set = false;
    bool ready = false;
    long offset = 0;   // of the last time converted
};

zone_state &zone() {
    static zone_state z;
    const char *tz = std::getenv("TZ");
    if (!z.ready || z.tz_set != (tz != nullptr) || (tz && z.tz != tz)) {
        z = zone_state();
        z.ready = true;
        z.tz_set = tz != nullptr;
        z.tz = tz ? tz : "";
        tzset();
    }
    return z;
}

}   // namespace

int date_local_to_time(int y, int m, int d, int hh, int mm, int ss, int64_t *out) {
    int64_t utc = 0;
    if (ss > 59 || date_civil_to_time(y, m, d, hh, mm, ss, &utc) != 0)
        return 1;
    zone_state &z = zone();
    long offset = z.offset;
    for (int attempt = 0; attempt < 2; ++attempt) {
        time_t t = time_t(utc - offset);
        struct tm tm;
        if (!localtime_r(&t, &tm))
            break;
        if (tm.tm_year == y - 1900 && tm.tm_mon == m - 1 && tm.tm_mday == d && tm.tm_hour == hh &&
            tm.tm_min == mm && tm.tm_sec == ss) {
            z.offset = tm.tm_gmtoff;
            *out = int64_t(t);
            return 0;
        }
        offset = tm.tm_gmtoff;
    }
    struct tm tm;
    std::memset(&tm, 0, sizeof tm);
    tm.tm_year = y - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d;
    tm.tm_hour = hh;
    tm.tm_min = mm;
    tm.tm_sec = ss;
    tm.tm_isdst = -1;
    time_t t = std::mktime(&tm);
    if (t == time_t(-1))
        return 1;
    *out = int64_t(t);
    return 0;
}

int date_str_to_time_at(const char *text, int64_t now, int64_t *out) {
    if (!text || !out)
        return 1;
    if (now == 0)
        now = int64_t(std::time(nullptr));
    if (same_word(text, "now")) {
        *out = now;
        return 0;
    }
    if (same_word(text, "today"))
        return local_midnight(now, 0, out) ? 0 : 1;
    if (same_word(text, "yesterday"))
        return local_midnight(now, -1, out) ? 0 : 1;
    fields f;
    bool parsed = std::isdigit(static_cast<unsigned char>(text[0])) &&
                  (std::strlen(text) >= 10 && text[4] == '-' ? parse_iso(text, &f) : parse_dmy(text, &f));
    if (!parsed || !valid(f))
        return 1;
    return to_time(f, out) ? 0 : 1;
}

int date_str_to_time(const char *text, int64_t *out) { return date_str_to_time_at(text, 0, out); }

const char *date_usage_date_time() {
    return "A date-time is one of:\n"
           "  now, today, yesterday   (today and yesterday: local midnight)\n"
           "  yyyy-mm-dd[Thh:mm[:ss][zone]]   e.g. 2010-01-02T03:04:05 (a space may replace T)\n"
           "  dd-Mon-yyyy[.hh:mm[:ss]]        e.g. 02-Jan-2010.03:04 (Mon in any case)\n"
           "  zone: Z, +hh:mm or -hh:mm; without a zone the time is local time\n"
           "  (a local time skipped by a daylight-saving change is refused).\n";
}

std::string date_format_utc(int64_t t) {
    int64_t days = t / 86400, secs = t % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    int64_t y;
    int m, d;
    civil_from_days(days, &y, &m, &d);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld-%02d-%02dT%02d:%02d:%02dZ", static_cast<long long>(y), m, d,
                  int(secs / 3600), int(secs % 3600 / 60), int(secs % 60));
    return buf;
}
