// Dates: the regional check of start-up and the dates of history entries.
#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <cstring>
#include <ctime>

#include "drivers/ssafe/ssafe_driver.h"
#include "drivers/ssafe/ssafe_msgs.h"
#include "runtime/date.h"

namespace {

const imsg_catalog *cat() { return ssafe_driver_ssafe_msg_table_adr(); }

// The LC_TIME part of the user's locale, freed on every path.
struct time_locale {
    locale_t loc;
    time_locale() {
        loc = newlocale(LC_TIME_MASK, "", (locale_t)0);
        if (loc == (locale_t)0)
            loc = newlocale(LC_TIME_MASK, "C", (locale_t)0);
    }
    ~time_locale() {
        if (loc != (locale_t)0)
            freelocale(loc);
    }
    time_locale(const time_locale &) = delete;
    time_locale &operator=(const time_locale &) = delete;
    std::string item(nl_item what) const {
        const char *s = nl_langinfo_l(what, loc);
        return s ? s : "";
    }
};

// The format with the composite conversions spelled out and day, month and
// hour unpadded, as the short formats print them. `depth` stops a locale
// whose formats name each other.
std::string unpadded(const std::string &fmt, const time_locale &tl, int depth) {
    std::string out;
    for (size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%' || i + 1 >= fmt.size()) {
            out += fmt[i];
            continue;
        }
        size_t j = i + 1;
        if (fmt[j] == 'E' || fmt[j] == 'O')   // alternative forms: the plain one will do
            ++j;
        if (j >= fmt.size())
            break;
        char c = fmt[j];
        std::string inner;
        switch (c) {
            case 'D':
                inner = "%m/%d/%y";
                break;
            case 'r':
                inner = tl.item(T_FMT_AMPM);
                if (inner.empty())
                    inner = "%I:%M:%S %p";
                break;
            case 'T':
                inner = "%H:%M:%S";
                break;
            case 'R':
                inner = "%H:%M";
                break;
            case 'x':
                inner = tl.item(D_FMT);
                break;
            case 'X':
                inner = tl.item(T_FMT);
                break;
            default:
                break;
        }
        if (!inner.empty() || c == 'x' || c == 'X') {
            if (depth < 4)
                out += unpadded(inner, tl, depth + 1);
        } else if (std::strchr("dmIHel", c)) {
            out += "%-";
            out += c;
        } else {
            out.append(fmt, i, j - i + 1);   // "%%", flags and every other conversion as they stand
            if (std::strchr("-_0^#", c) && j + 1 < fmt.size())
                out += fmt[++j];
        }
        i = j;
    }
    return out;
}

std::string sample(const std::string &fmt, const time_locale &tl) {
    int64_t t = 0;
    if (date_civil_to_time(1994, 6, 8, 21, 40, 0, &t) != 0)
        return "";
    time_t tt = time_t(t);
    struct tm tm;
    if (!gmtime_r(&tt, &tm))
        return "";
    std::string f = unpadded(fmt, tl, 0);
    char buf[128];
    size_t n = strftime_l(buf, sizeof buf, f.c_str(), &tm, tl.loc);
    return std::string(buf, n);
}

// Digits only, 1 to `max` of them.
bool number(const std::string &s, size_t max, int *out) {
    if (s.empty() || s.size() > max)
        return false;
    int v = 0;
    for (char c : s) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        v = v * 10 + (c - '0');
    }
    *out = v;
    return true;
}

bool convert(const std::string &date, const std::string &time, int64_t *out) {
    size_t s1 = date.find('/');
    size_t s2 = s1 == std::string::npos ? s1 : date.find('/', s1 + 1);
    if (s2 == std::string::npos)
        return false;
    int month = 0, day = 0, year = 0;
    if (!number(date.substr(0, s1), 2, &month) || !number(date.substr(s1 + 1, s2 - s1 - 1), 2, &day) ||
        !number(date.substr(s2 + 1), 4, &year))
        return false;
    size_t colon = time.find(':');
    if (colon == std::string::npos || time.size() < colon + 4)
        return false;
    int hour = 0, minute = 0;
    if (!number(time.substr(0, colon), 2, &hour) || !number(time.substr(colon + 1, 2), 2, &minute))
        return false;
    char half = char(std::tolower(static_cast<unsigned char>(time[colon + 3])));
    if ((half != 'a' && half != 'p') || hour < 1 || hour > 12)
        return false;
    for (size_t i = colon + 4; i < time.size(); ++i)
        if (time[i] != ' ' && time[i] != '\t')
            return false;
    if (half == 'p' && hour != 12)
        hour += 12;
    else if (half == 'a' && hour == 12)
        hour = 0;
    // Two-digit years: 39 to 99 are the 1900s, 0 to 38 the 2000s.
    if (year > 1900)
        year -= 1900;
    if (year <= 38)
        year += 100;
    year += 1900;
    int64_t t = 0, last = 0;
    if (date_local_to_time(year, month, day, hour, minute, 0, &t) != 0 ||
        date_civil_to_time(3001, 1, 1, 0, 0, 0, &last) != 0)
        return false;
    // The legacy conversion knew no time before 1970 either.
    if (t < 0 || t >= last)
        return false;
    *out = t;
    return true;
}

}   // namespace

int ssafe_regional_sample(std::string *date, std::string *time, std::string *which) {
    time_locale tl;
    if (tl.loc == (locale_t)0) {
        *which = "time";
        return 1;
    }
    std::string tf = tl.item(T_FMT_AMPM);
    if (tf.empty())
        tf = tl.item(T_FMT);
    if (tf.empty()) {
        *which = "time";
        return 1;
    }
    std::string df = tl.item(D_FMT);
    if (df.empty()) {
        *which = "date";
        return 1;
    }
    *date = sample(df, tl);
    *time = sample(tf, tl);
    return 0;
}

bool ssafe_regional_ok(const std::string &date, const std::string &time) {
    return (date == "6/8/1994" || date == "6/8/94") && time == "9:40:00 PM";
}

int ssafe_convert_date_time(const std::string &date, const std::string &time, int64_t *out) {
    if (convert(date, time, out))
        return 0;
    IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_BAD_DATE, date.c_str(), time.c_str());
    return 1;
}

bool ssafe_date_time_readable(const std::string &date, const std::string &time) {
    int64_t t = 0;
    return date.size() <= SSAFE_MAX_DATE_TIME && time.size() <= SSAFE_MAX_DATE_TIME &&
           convert(date, time, &t);
}
