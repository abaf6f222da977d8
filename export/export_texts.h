// The exporters' --authors, --authors-strict, --encoding and --list-authors:
// the author map and the legacy encoding applied to every event and comment
// the driver delivers (runtime/eventtext.h), and what the run met, reported
// at its end.
#pragma once

#include <string>

#include "runtime/eventtext.h"

struct export_texts {
    eventtext_run run;
    bool strict = false;   // --authors-strict
    bool list = false;     // --list-authors
};

struct export_run;
struct export_words;

// Takes the options, else VANTOR_AUTHORS and VANTOR_ENCODING, reads the map
// and opens the encoding, before anything of the store is read. 0, or 1
// after a reported error (the caller prints the usage for a missing value).
[[nodiscard]] int export_open_texts(export_run &r, const export_words &w);
// The end report: the texts converted, those with bytes kept as they were,
// the logins the map lacks. 1 when --authors-strict finds one (an error:
// the data file must not be written), else 0.
[[nodiscard]] int export_report_texts(const export_run &r);
// --list-authors: the logins met, as an author map to fill in, on stdout.
void export_print_authors(const export_run &r);
