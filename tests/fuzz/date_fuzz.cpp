// The date-time parsers: the options' date_str_to_time_at (with a fixed now,
// so runs repeat) and the archive dates' rcs_parse_date. Accepted times are
// checked against the text: a date in UTC formats back to itself, and an
// archive date means the same moment as the same fields written as an option.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rcsarchive/rcs_rev.h"
#include "runtime/date.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

// The text has digits where `shape` has 'd' and the same byte elsewhere.
bool has_shape(const std::string &text, const char *shape) {
    size_t i = 0;
    for (; shape[i]; ++i) {
        if (i >= text.size())
            return false;
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != shape[i])
            return false;
    }
    return i == text.size();
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_quiet_messages();
    static bool tz_set = [] { return setenv("TZ", "Europe/Berlin", 1) == 0; }();
    (void)tz_set;
    // The parsers take C strings: the text ends at the first NUL.
    std::string text(std::string(reinterpret_cast<const char *>(data), size).c_str());
    const int64_t now = 1262401445;   // 2010-01-02T03:04:05Z
    int64_t t = 0;
    if (date_str_to_time_at(text.c_str(), now, &t) == 0) {
        // Years 0001-9999 with a zone of at most a day either way.
        check(t >= -62135596800LL - 86400 && t <= 253402300799LL + 86400);
        if (has_shape(text, "dddd-dd-ddTdd:dd:ddZ"))
            check(date_format_utc(t) == text);
    }
    int64_t a = 0;
    int ra = rcs_parse_date(text.c_str(), &a);
    if (ra == 0)
        check(a >= -62135596800LL && a <= 253402300800LL);
    std::string iso;
    if (has_shape(text, "dddd.dd.dd.dd.dd.dd"))
        iso = text;
    else if (has_shape(text, "dd.dd.dd.dd.dd.dd"))
        iso = (text.compare(0, 2, "39") < 0 ? "20" : "19") + text;
    if (!iso.empty() && iso.compare(17, 2, "60") != 0) {
        // The same fields as an option date in UTC: same verdict, same moment.
        iso[4] = iso[7] = '-';
        iso[10] = 'T';
        iso[13] = iso[16] = ':';
        iso += 'Z';
        int64_t b = 0;
        int rb = date_str_to_time_at(iso.c_str(), now, &b);
        check((ra == 0) == (rb == 0));
        if (ra == 0) {
            check(a == b);
            check(date_format_utc(a) == iso);
        }
    }
    return 0;
}
