// Revision numbers and archive dates.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum { RCS_REV_MAX = 51 };   // longest revision number an archive may hold

// Order of two revision numbers (negative, 0, positive): field by field as
// numbers, a revision before every revision that extends it (1.2 < 1.2.1.1 <
// 1.3, 1.9 < 1.10). Equal numbers written differently (1.2, 1.02) order by text.
// A first argument without "." warns that a branch identifier was passed.
int rcs_rev_compare(std::string_view a, std::string_view b);
// 1 when s is digits separated by single dots.
int rcs_is_number(std::string_view s);
// 1 when s is a revision number: a number of an even count of fields.
int rcs_is_revision(std::string_view s);
int rcs_field_count(std::string_view s);
// The first n fields of a number.
std::string_view rcs_prefix(std::string_view s, int n);
// CVS's form of a branch number: 1.2.4 -> 1.2.0.4.
std::string rcs_magic_branch(std::string_view branch);
// Archive date "YY.MM.DD.hh.mm.ss" or "YYYY.MM.DD.hh.mm.ss", in UTC (as RCS
// writes it), to seconds since 1970. A year of fewer than four digits counts
// from 1900, 00 to 38 meaning 2000 to 2038. A date or time that does not exist
// (1999.02.29, hour 24) is refused; second 60 is taken at 23:59 (a leap
// second). 0 on success; 1 after a message, which the caller follows with
// the file and line.
[[nodiscard]] int rcs_parse_date(const char *text, int64_t *out);
