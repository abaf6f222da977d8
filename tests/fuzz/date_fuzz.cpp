// The date-time parsers: the options' date_str_to_time_at (with a fixed now,
// so runs repeat) and the archive dates' rcs_parse_date. An accepted time is
// formatted back, which checks that it lies in the range the formats promise.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "drivers/rcs/rcs_rev.h"
#include "runtime/date.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_quiet_messages();
    static bool tz_set = [] { return setenv("TZ", "Europe/Berlin", 1) == 0; }();
    (void)tz_set;
    std::string text(reinterpret_cast<const char *>(data), size);   // may hold NULs: cut there
    const int64_t now = 1262401445;   // 2010-01-02T03:04:05Z
    int64_t t = 0;
    if (date_str_to_time_at(text.c_str(), now, &t) == 0) {
        // Years 0001-9999 with a zone of at most a day either way.
        if (t < -62135596800LL - 86400 || t > 253402300799LL + 86400)
            std::abort();
        (void)date_format_utc(t);
    }
    if (rcs_parse_date(text.c_str(), &t) == 0) {
        // Two-digit years are 1939-2038, four-digit ones at most 9999.
        if (t < -62135596800LL || t > 253402300800LL)
            std::abort();
        (void)date_format_utc(t);
    }
    return 0;
}
