// Date-time texts.
#pragma once

#include <cstdint>
#include <string>

// Converts text to seconds since 1970-01-01 UTC; 0 on success, nonzero when the
// text is not one of the forms that date_usage_date_time() describes.
int date_str_to_time(const char *text, int64_t *out);
// `now` overrides the current time for the relative forms (tests); 0 = real time.
int date_str_to_time_at(const char *text, int64_t now, int64_t *out);
const char *date_usage_date_time();
// "2010-01-02T03:04:05Z" for a time (UTC), used in notices and reports.
std::string date_format_utc(int64_t t);
