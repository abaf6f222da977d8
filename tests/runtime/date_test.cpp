// Date-time texts: every accepted form, zones, local time and refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "runtime/date.h"

namespace {

// Sets TZ for one test and puts the old value back.
class TzGuard {
public:
    explicit TzGuard(const char *tz) {
        const char *old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TzGuard() {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

int64_t parse(const char *text) {
    int64_t t = -12345;
    EXPECT_EQ(date_str_to_time(text, &t), 0) << "refused: " << text;
    return t;
}

TEST(Date, IsoFormsInUtc) {
    TzGuard tz("UTC");
    EXPECT_EQ(parse("2010-01-02"), 1262390400);
    EXPECT_EQ(parse("2010-01-02T03:04:05"), 1262401445);
    EXPECT_EQ(parse("2010-01-02 03:04:05"), 1262401445);
    EXPECT_EQ(parse("2010-01-02T03:04"), 1262401440);
    EXPECT_EQ(parse("1970-01-01T00:00:00Z"), 0);
}

TEST(Date, ExplicitZonesIgnoreLocalTime) {
    TzGuard tz("America/New_York");
    EXPECT_EQ(parse("2010-01-02T03:04:05Z"), 1262401445);
    EXPECT_EQ(parse("2010-01-02T05:04:05+02:00"), 1262401445);
    EXPECT_EQ(parse("2010-01-01T22:34:05-04:30"), 1262401445);
    EXPECT_EQ(parse("2010-01-02 03:04:05+00:00"), 1262401445);
}

TEST(Date, LocalTimeFollowsTz) {
    {
        TzGuard tz("America/New_York");
        EXPECT_EQ(parse("2010-01-02T03:04:05"), 1262401445 + 5 * 3600);   // EST
        EXPECT_EQ(parse("2010-07-02T03:04:05"), 1278039845 + 4 * 3600);   // EDT
        EXPECT_EQ(parse("02-Jan-2010.03:04"), 1262401440 + 5 * 3600);
    }
    {
        TzGuard tz("UTC");
        EXPECT_EQ(parse("02-Jan-2010.03:04"), 1262401440);
    }
}

TEST(Date, DaylightSavingEdges) {
    TzGuard tz("America/New_York");
    // 2010-03-14 02:00 EST jumps to 03:00 EDT (07:00 UTC).
    EXPECT_EQ(parse("2010-03-14T01:59:59"), 1268549999);
    EXPECT_EQ(parse("2010-03-14T03:00:00"), 1268550000);
    int64_t gap = 0;
    EXPECT_NE(date_str_to_time("2010-03-14T02:30:00", &gap), 0);   // not on the clock
    EXPECT_NE(date_str_to_time("14-Mar-2010.02:00", &gap), 0);
    EXPECT_EQ(parse("2010-03-14T02:30:00-05:00"), 1268551800);   // with a zone it is fine
    // 2010-11-07 01:30 happens twice; either reading is an hour apart from the other.
    int64_t t = parse("2010-11-07T01:30:00");
    EXPECT_TRUE(t == 1289107800 || t == 1289111400) << t;
    // today / yesterday are local midnights, also across the change of offset.
    int64_t now = 1268575200;   // 2010-03-14 10:00 EDT
    int64_t out = 0;
    ASSERT_EQ(date_str_to_time_at("today", now, &out), 0);
    EXPECT_EQ(out, 1268542800);   // 2010-03-14 00:00 EST
    ASSERT_EQ(date_str_to_time_at("yesterday", now, &out), 0);
    EXPECT_EQ(out, 1268542800 - 86400);
}

TEST(Date, SkippedMidnightIsTheFirstMomentOfTheDay) {
    TzGuard tz("America/Sao_Paulo");   // 2018-11-04 00:00 became 01:00 (-02:00)
    EXPECT_EQ(parse("2018-11-04"), 1541300400);
    int64_t t = 0;
    EXPECT_NE(date_str_to_time("2018-11-04T00:30", &t), 0);
    EXPECT_EQ(parse("2018-11-04T01:00"), 1541300400);
}

TEST(Date, RelativeWordsAndDayMonthYearForms) {
    TzGuard tz("UTC");
    int64_t now = 1262401445, out = 0;
    ASSERT_EQ(date_str_to_time_at("now", now, &out), 0);
    EXPECT_EQ(out, now);
    ASSERT_EQ(date_str_to_time_at("NOW", now, &out), 0);
    EXPECT_EQ(out, now);
    ASSERT_EQ(date_str_to_time_at("Today", now, &out), 0);
    EXPECT_EQ(out, 1262390400);
    ASSERT_EQ(date_str_to_time_at("yesterday", now, &out), 0);
    EXPECT_EQ(out, 1262304000);
    // Across a year boundary.
    ASSERT_EQ(date_str_to_time_at("yesterday", 1262304000 + 10, &out), 0);
    EXPECT_EQ(out, 1262217600);

    int64_t real = 0;
    ASSERT_EQ(date_str_to_time("now", &real), 0);
    EXPECT_LE(std::llabs(real - int64_t(std::time(nullptr))), 2);

    EXPECT_EQ(parse("02-Jan-2010"), 1262390400);
    EXPECT_EQ(parse("2-jan-2010"), 1262390400);
    EXPECT_EQ(parse("02-JAN-2010.03:04:05"), 1262401445);
    EXPECT_EQ(parse("29-Feb-2012.23:59:59"), 1330559999);
    EXPECT_EQ(parse("31-Dec-2010"), 1293753600);
}

TEST(Date, Before1970AndAfter2038) {
    TzGuard tz("UTC");
    EXPECT_EQ(parse("1969-12-31T23:59:59"), -1);
    EXPECT_EQ(parse("1900-01-01T00:00:00Z"), -2208988800);
    EXPECT_EQ(parse("1900-03-01"), -2203891200);   // 1900 is no leap year
    EXPECT_EQ(parse("2040-01-01T00:00:00"), 2208988800);
    EXPECT_EQ(parse("2100-03-01T00:00:00Z"), 4107542400);
    EXPECT_EQ(date_format_utc(-1), "1969-12-31T23:59:59Z");
    EXPECT_EQ(date_format_utc(4107542400), "2100-03-01T00:00:00Z");
    EXPECT_EQ(date_format_utc(1262401445), "2010-01-02T03:04:05Z");
    EXPECT_EQ(date_format_utc(-2208988800), "1900-01-01T00:00:00Z");
}

TEST(Date, RefusesEverythingElse) {
    TzGuard tz("UTC");
    const char *bad[] = {
        "",
        "nowish",
        "tomorrow",
        "2010-13-01",
        "2010-00-10",
        "2010-01-32",
        "2010-02-29",
        "2012-02-30",
        "2010-04-31",
        "2010-01-02T25:00",
        "2010-01-02T24:00:00",
        "2010-01-02T03:60",
        "2010-01-02T03:04:60",
        "2010-01-02T03:04:05x",
        "2010-01-02x",
        "2010-1-2",
        "10-01-02",
        "2010/01/02",
        "2010-01-02T3:04",
        "2010-01-02T03",
        "2010-01-02T03:04:05+5",
        "2010-01-02T03:04:05+05:60",
        "2010-01-02T03:04:05+24:00",
        "2010-01-02Z",
        " 2010-01-02",
        "2010-01-02 ",
        "02-Jnx-2010",
        "02-Jan-10",
        "32-Jan-2010",
        "30-Feb-2010",
        "02-Jan-2010 03:04",
        "02-Jan-2010.3:04",
        "02-Jan-2010.03:04:05:06",
        "002-Jan-2010",
        "02-January-2010",
        "0000-01-01",
    };
    for (const char *text : bad) {
        int64_t t = 77;
        EXPECT_NE(date_str_to_time(text, &t), 0) << "accepted: \"" << text << "\"";
        EXPECT_EQ(t, 77) << "changed the output for: " << text;
    }
    int64_t t;
    EXPECT_NE(date_str_to_time(nullptr, &t), 0);
}

// The one calendar check behind the options' and the archives' dates.
TEST(Date, CivilDatesThatExist) {
    int64_t t = 0;
    ASSERT_EQ(date_civil_to_time(1970, 1, 1, 0, 0, 0, &t), 0);
    EXPECT_EQ(t, 0);
    ASSERT_EQ(date_civil_to_time(2000, 2, 29, 12, 0, 0, &t), 0);
    EXPECT_EQ(date_format_utc(t), "2000-02-29T12:00:00Z");
    ASSERT_EQ(date_civil_to_time(2400, 2, 29, 0, 0, 0, &t), 0);
    EXPECT_EQ(date_format_utc(t), "2400-02-29T00:00:00Z");
    ASSERT_EQ(date_civil_to_time(1, 1, 1, 0, 0, 0, &t), 0);
    EXPECT_EQ(t, -62135596800);
    ASSERT_EQ(date_civil_to_time(9999, 12, 31, 23, 59, 59, &t), 0);
    EXPECT_EQ(date_format_utc(t), "9999-12-31T23:59:59Z");
    ASSERT_EQ(date_civil_to_time(2016, 12, 31, 23, 59, 60, &t), 0);   // a leap second
    EXPECT_EQ(date_format_utc(t), "2017-01-01T00:00:00Z");
    t = 7;
    struct {
        int y, m, d, hh, mm, ss;
    } bad[] = {{1900, 2, 29, 0, 0, 0},   {1999, 2, 29, 0, 0, 0},   {2100, 2, 29, 0, 0, 0},
               {2010, 4, 31, 0, 0, 0},   {2010, 13, 1, 0, 0, 0},   {2010, 0, 1, 0, 0, 0},
               {2010, 1, 0, 0, 0, 0},    {2010, 1, 32, 0, 0, 0},   {0, 1, 1, 0, 0, 0},
               {10000, 1, 1, 0, 0, 0},   {2010, 1, 1, 24, 0, 0},   {2010, 1, 1, 0, 60, 0},
               {2010, 1, 1, 12, 30, 60}, {2010, 1, 1, 23, 58, 60}, {2010, 1, 1, 0, 0, 61},
               {2010, 1, 1, -1, 0, 0},   {-2010, 1, 1, 0, 0, 0}};
    for (const auto &b : bad)
        EXPECT_NE(date_civil_to_time(b.y, b.m, b.d, b.hh, b.mm, b.ss, &t), 0)
            << b.y << "-" << b.m << "-" << b.d << " " << b.hh << ":" << b.mm << ":" << b.ss;
    EXPECT_EQ(t, 7);
    // An option never names a leap second, not even at 23:59.
    EXPECT_NE(date_str_to_time_at("2016-12-31T23:59:60Z", 1, &t), 0);
    EXPECT_NE(date_str_to_time_at("1900-02-29", 1, &t), 0);
    EXPECT_EQ(date_str_to_time_at("2000-02-29T00:00Z", 1, &t), 0);
    EXPECT_EQ(t, 951782400);
}

// Local fields: the same moment as mktime gives, in and out of summer time
// and after a change of TZ; no leap second, no Feb 30.
TEST(Date, LocalFields) {
    for (const char *tz : {"UTC", "America/New_York", "Asia/Kolkata", "America/New_York"}) {
        TzGuard guard(tz);
        for (int month : {1, 7, 12}) {
            struct tm tm = {};
            tm.tm_year = 2003 - 1900;
            tm.tm_mon = month - 1;
            tm.tm_mday = 15;
            tm.tm_hour = 21;
            tm.tm_min = 40;
            tm.tm_isdst = -1;
            int64_t t = 0;
            ASSERT_EQ(date_local_to_time(2003, month, 15, 21, 40, 0, &t), 0) << tz;
            EXPECT_EQ(t, int64_t(mktime(&tm))) << tz << " " << month;
        }
    }
    int64_t t = 5;
    EXPECT_NE(date_local_to_time(2016, 12, 31, 23, 59, 60, &t), 0);
    EXPECT_NE(date_local_to_time(2003, 2, 30, 0, 0, 0, &t), 0);
    EXPECT_NE(date_local_to_time(2003, 1, 1, 24, 0, 0, &t), 0);
    EXPECT_EQ(t, 5);
}

TEST(Date, UsageNamesEveryForm) {
    std::string u = date_usage_date_time();
    for (const char *part :
         {"now", "today", "yesterday", "yyyy-mm-dd", "dd-Mon-yyyy", "Z", "+hh:mm", "local"})
        EXPECT_NE(u.find(part), std::string::npos) << part;
    EXPECT_EQ(u.back(), '\n');
}

}   // namespace
