// Message catalogs and message printing.
//
// A catalog belongs to one module: its texts are printf formats, addressed by
// position from 0. Programs print them by number with a severity:
//   IMSG_NOTICE (0)   plain output on stdout, no prefix
//   IMSG_WARNING (4)  "<program>: Warning: <text>" on stderr
//   IMSG_REPORT (5)   plain output on stderr, no prefix (end-of-run summaries)
//   IMSG_ERROR (6)    "<program>: Error: <text>" on stderr
//   IMSG_CONT (7)     continuation of the previous message, on stderr, indented
// A line end is added when the formatted text does not end in one, except by
// imsg_print_nonl (progress dots). stdout is flushed before anything goes to
// stderr so that both streams read in order when they share a terminal or pipe.
#pragma once

#include <cstdio>
#include <cstdarg>
#include <string>
#include <vector>

enum imsg_severity { IMSG_NOTICE = 0, IMSG_WARNING = 4, IMSG_REPORT = 5, IMSG_ERROR = 6, IMSG_CONT = 7 };

struct imsg_catalog {
    const char *facility;   // library name, e.g. "export_lib"
    const char *module;     // module name, e.g. "export_main"
    int module_number;
    int count;                   // number of texts
    const char *const *texts;    // count texts
    const unsigned short *ids;   // one number per text (kept for the catalog layout; unused)
};

// The program name used in the prefix: the leaf of argv[0].
void imsg_set_app_name(const char *argv0);
const char *imsg_app_name();
// 1: no "<program>: " prefix on warnings and errors.
void imsg_suppress_prefix(int on);

// Prints text `num` of `cat` with printf arguments. With num == -1 the catalog
// argument is ignored and the first variadic argument is the format itself.
void imsg_print(int severity, const imsg_catalog *cat, int num, ...);
// Same, but never adds a line end.
void imsg_print_nonl(int severity, const imsg_catalog *cat, int num, ...);
// Prints a format of the caller's own (no catalog); the compiler checks it.
void imsg_printf(int severity, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void imsg_printf_nonl(int severity, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
// "<what>: <system's text for err>", as perror prints it.
void imsg_print_errno(int severity, const char *what, int err);
// Formats the text into a string instead of printing it (no prefix, no added line end).
std::string imsg_sprintf(const imsg_catalog *cat, int num, ...);
// The text of entry num (imsg_text) formatted with ap: for the formatters
// of the catalogs that take their own variadic calls.
std::string imsg_vsprintf_text(const imsg_catalog *cat, int num, va_list ap);
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
#define TBS_MESSAGES(X)                                                   \
    X(TBS_MSG_CWD, 83, "Unable to get the current working directory: %s") \
    X(TBS_MSG_TMPFILE, 127, "Unable to create a temporary file: %s")
#define TBS_MSG_ENUM(name, num, text) name = num,
enum { TBS_MESSAGES(TBS_MSG_ENUM) };
#undef TBS_MSG_ENUM

// The status line: one line of stderr that its owner redraws in place (a
// progress line on a terminal). Every message erases it before it is written,
// and it is not drawn while a notice has left a terminal's line of stdout
// open, so that the two never share a line; the owner draws it again on its
// next tick. The owner decides whether stderr is a terminal.
// Draws the text ("\r", the text, erase to the end of the line); false when
// it could not be drawn now. With `force` an open line of stdout is ended
// first, so that the line is always drawn (a last drawing).
bool imsg_status_draw(const std::string &text, bool force = false);
// Erases the status line when one is shown.
void imsg_status_clear();
// Ends the status line shown with a line end, leaving it on the screen.
void imsg_status_end();
// Seconds between the progress lines of a long run written to a log:
// VANTOR_PROGRESS_INTERVAL (fractions allowed), default 10. A value that is
// not a number from 0 to 86400 gives the default and *bad says so.
double imsg_progress_interval(std::string *bad);

// The errno value of the first write of notices that failed, 0 while none did.
int imsg_out_errno();

// Redirection of one thread's messages (a dialog shows them instead): while
// an imsg_redirect lives, every message its thread prints, of any severity,
// is appended to `messages` as the stream would have shown it, and nothing
// is written. Nested ones take turns: the innermost gets them. Other threads
// print as before.
struct imsg_redirect {
    imsg_redirect();
    ~imsg_redirect();
    imsg_redirect(const imsg_redirect &) = delete;
    imsg_redirect &operator=(const imsg_redirect &) = delete;
    std::vector<std::string> messages;
    imsg_redirect *outer;
};

// Test hook: redirect the two streams (null restores stdout/stderr).
void imsg_set_streams(FILE *out, FILE *err);

// Checked printing. A catalog is written once, as an X-macro list of entries
// X(NAME, "text"): the list makes the enum of positions, the array of texts,
// and, through IMSG_FORMAT, a constant imsg_fmt_NAME holding each text where
// the compiler can read it. The upper-case forms print exactly as the
// functions of the same name, and also hand the arguments and the entry's
// text to the compiler's printf-format check, so that -Werror refuses a
// message printed with too few, too many or the wrong kind of inserts. Call
// the functions directly only where the entry is chosen at run time.
#define IMSG_FORMAT(name, text) inline constexpr char imsg_fmt_##name[] = text;
#define IMSG_CHECK(name, ...) ((void)(0 && std::printf(imsg_fmt_##name __VA_OPT__(, ) __VA_ARGS__)))
#define IMSG_PRINT(sev, cat, name, ...) \
    (IMSG_CHECK(name __VA_OPT__(, ) __VA_ARGS__), imsg_print(sev, cat, name __VA_OPT__(, ) __VA_ARGS__))
#define IMSG_PRINT_NONL(sev, cat, name, ...) \
    (IMSG_CHECK(name __VA_OPT__(, ) __VA_ARGS__), imsg_print_nonl(sev, cat, name __VA_OPT__(, ) __VA_ARGS__))
#define IMSG_SPRINTF(cat, name, ...) \
    (IMSG_CHECK(name __VA_OPT__(, ) __VA_ARGS__), imsg_sprintf(cat, name __VA_OPT__(, ) __VA_ARGS__))
#define IMSG_PRINT_SHARED(sev, module, cat, name, ...) \
    (IMSG_CHECK(name __VA_OPT__(, ) __VA_ARGS__),      \
     imsg_print_shared(sev, module, cat, name __VA_OPT__(, ) __VA_ARGS__))

// A catalog whose texts are numbered with gaps: each entry's text at the
// position of its number, empty texts in between.
struct imsg_numbered {
    int num;
    const char *text;
};
std::vector<const char *> imsg_layout_numbered(const imsg_numbered *entries, size_t count);

// Defines a catalog and its accessor from an array of texts.
#define IMSG_DEFINE_CATALOG(accessor, facility_, module_, number_, texts_)                          \
    const imsg_catalog *accessor() {                                                                \
        static const imsg_catalog cat = {                                                           \
            facility_, module_, number_, int(sizeof(texts_) / sizeof(texts_[0])), texts_, nullptr}; \
        return &cat;                                                                                \
    }

// A catalog listed as X(NAME, "text"), numbered from 0 in list order: the
// enum of its names with their checked formats (in the header the callers
// include), and the catalog with its accessor (in one source file).
#define IMSG_LISTED_ENUM(name, text) name,
#define IMSG_LISTED_TEXT(name, text) text,
#define IMSG_DECLARE_LISTED(enum_name, list_)   \
    enum enum_name { list_(IMSG_LISTED_ENUM) }; \
    list_(IMSG_FORMAT)
#define IMSG_DEFINE_LISTED_CATALOG(accessor, facility_, module_, number_, list_) \
    namespace {                                                                  \
    const char *const accessor##_texts_[] = {list_(IMSG_LISTED_TEXT)};           \
    }                                                                            \
    IMSG_DEFINE_CATALOG(accessor, facility_, module_, number_, accessor##_texts_)

#define TBS_MSG_FORMAT(name, num, text) IMSG_FORMAT(name, text)
TBS_MESSAGES(TBS_MSG_FORMAT)
#undef TBS_MSG_FORMAT

// Defines a catalog and its accessor from an X-macro list of numbered entries
// X(NAME, number, "text"), laid out by imsg_layout_numbered (its locals are
// named so that they shadow no name of the file that uses it).
#define IMSG_NUMBERED_ENTRY(name, num, text) {num, text},
#define IMSG_DEFINE_NUMBERED_CATALOG(accessor, facility_, module_, number_, list_)               \
    const imsg_catalog *accessor() {                                                             \
        static const imsg_numbered imsg_entries_[] = {list_(IMSG_NUMBERED_ENTRY)};               \
        static const std::vector<const char *> imsg_texts_ =                                     \
            imsg_layout_numbered(imsg_entries_, sizeof imsg_entries_ / sizeof imsg_entries_[0]); \
        static const imsg_catalog imsg_cat_ = {                                                  \
            facility_, module_, number_, int(imsg_texts_.size()), imsg_texts_.data(), nullptr};  \
        return &imsg_cat_;                                                                       \
    }

// imsg_progress_interval for a library's progress lines: a bad value is
// reported as message `warning` of `cat` (a text of one "%s") and the
// default taken.
double imsg_progress_interval_warn(const imsg_catalog *cat, int warning);
