// Date-time texts.
#pragma once

#include <cstdint>
#include <string>

// Converts text to seconds since 1970-01-01 UTC; 0 on success, nonzero when the
// text is not one of the forms that date_usage_date_time() describes (*out is
// then left alone). The forms: "now", "today", "yesterday" (any letter case;
// the last two are local midnights), yyyy-mm-dd[(T| )hh:mm[:ss][zone]] with
// zone Z, +hh:mm or -hh:mm, and dd-Mon-yyyy[.hh:mm[:ss]] (day of one or two
// digits, the month's three-letter name in any case). Without a zone the time
// is local; a local time skipped by a daylight-saving change is refused, a bare
// date whose midnight is skipped means the first moment of that day. Fields out
// of range (month 13, Feb 30, 24:00, second 60) and anything after the form are
// refused; years run from 0001 to 9999.
[[nodiscard]] int date_str_to_time(const char *text, int64_t *out);
// `now` overrides the current time for the relative forms (tests); 0 = real time.
[[nodiscard]] int date_str_to_time_at(const char *text, int64_t now, int64_t *out);
// Seconds since 1970-01-01 UTC of a civil date and time of day in the
// proleptic Gregorian calendar; 0, or nonzero (with *out left alone) when no
// such moment exists: years outside 1..9999, month 13, Feb 29 of a common
// year, day 32, hour 24, minute 60. Second 60 is accepted only at 23:59, where
// UTC inserts leap seconds; it counts as the next day's first second, since
// the time scale has no leap seconds. Every date parser checks fields here.
[[nodiscard]] int date_civil_to_time(int y, int m, int d, int hh, int mm, int ss, int64_t *out);
// The same fields read as local time (the zone of TZ); 0, or 1 (with *out
// left alone) when they are no date and time (second 60 included: no local
// clock shows it) or mktime cannot convert them. A local time skipped by a
// daylight-saving change is moved forward as mktime moves it.
[[nodiscard]] int date_local_to_time(int y, int m, int d, int hh, int mm, int ss, int64_t *out);
const char *date_usage_date_time();
// "2010-01-02T03:04:05Z" for a time (UTC), used in notices and reports.
std::string date_format_utc(int64_t t);
