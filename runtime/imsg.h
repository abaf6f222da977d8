// Message catalogs and message printing.
//
// A catalog belongs to one module: its texts are printf formats, addressed by
// position from 0. Programs print them by number with a severity:
//   IMSG_NOTICE (0)   plain output on stdout, no prefix
//   IMSG_WARNING (4)  "<program>: Warning: <text>" on stderr
//   IMSG_ERROR (6)    "<program>: Error: <text>" on stderr
//   IMSG_CONT (7)     continuation of the previous message, on stderr, indented
// A line end is added when the formatted text does not end in one, except by
// imsg_print_nonl (progress dots). stdout is flushed before anything goes to
// stderr so that both streams read in order when they share a terminal or pipe.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

enum imsg_severity { IMSG_NOTICE = 0, IMSG_WARNING = 4, IMSG_ERROR = 6, IMSG_CONT = 7 };

struct imsg_catalog {
    const char *facility;        // library name, e.g. "export_lib"
    const char *module;          // module name, e.g. "export_main"
    int module_number;
    int count;                   // number of texts
    const char *const *texts;    // count texts
    const unsigned short *ids;   // one number per text (kept for the catalog layout; unused)
};

// Process start-up; call first.
void ks_system_init();
// Ends the program with that status (flushes the standard streams).
[[noreturn]] void pfm_exit(int status);

// The program name used in the prefix: the leaf of argv[0].
void imsg_set_app_name(const char *argv0);
const char *imsg_app_name();
// 1: no "<program>: " prefix on warnings and errors.
void imsg_suppress_prefix(int on);

// Prints text `num` of `cat` with printf arguments. With num == -1 the catalog
// argument is ignored and the first variadic argument is the format itself.
void imsg_print(int severity, const imsg_catalog *cat, int num, ...);
void imsg_vprint(int severity, const imsg_catalog *cat, int num, va_list ap);
// Same, but never adds a line end.
void imsg_print_nonl(int severity, const imsg_catalog *cat, int num, ...);
// Formats the text into a string instead of printing it (no prefix, no added line end).
std::string imsg_sprintf(const imsg_catalog *cat, int num, ...);
// Prints a message of another library's catalog as if from `module`.
void imsg_print_shared(int severity, const char *module, const imsg_catalog *cat, int num, ...);
// The text as a dialog shows it: without the line ends, tabs and blanks that
// lay it out on a terminal at its start and end.
std::string imsg_strip_style_chars(const std::string &text);
// The system's text for an errno value.
const char *imsg_strerror(int err);
// The catalog text itself, or "" when num is out of range.
const char *imsg_text(const imsg_catalog *cat, int num);

// The product's shared catalog; texts 83 (the current directory cannot be
// read) and 127 (no temporary file) take one argument, a system error text.
const imsg_catalog *_tbs_cmsg_tbs_msg_table_adr();
enum { TBS_MSG_CWD = 83, TBS_MSG_TMPFILE = 127 };

// Test hook: redirect the two streams (null restores stdout/stderr).
void imsg_set_streams(FILE *out, FILE *err);

// Defines a catalog and its accessor from an array of texts.
#define IMSG_DEFINE_CATALOG(accessor, facility_, module_, number_, texts_)                 \
    const imsg_catalog *accessor() {                                                         \
        static const imsg_catalog cat = {facility_, module_, number_,                        \
                                         int(sizeof(texts_) / sizeof(texts_[0])), texts_,    \
                                         nullptr};                                           \
        return &cat;                                                                         \
    }
