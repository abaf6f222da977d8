// Message printing: see imsg.h for the severities and the layout of a line.
#include "imsg.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <string_view>
#include <vector>

namespace {

std::string app_name = "vantor";
int no_prefix = 0;
FILE *out_stream = nullptr;
FILE *err_stream = nullptr;

FILE *out() { return out_stream ? out_stream : stdout; }
FILE *err() { return err_stream ? err_stream : stderr; }

// The reason of the first write to the notice stream that failed: stdio
// keeps only the error flag, and a later flush no longer says why.
int out_errno = 0;
void note_out() {
    if (!out_errno && std::ferror(out()))
        out_errno = errno ? errno : EIO;
}

bool status_shown = false;
bool out_line_open = false;   // a notice left stdout in the middle of a line

// Ends a shown status line: erased ("\r" and erase to the end of the line),
// or kept with a line feed.
void status_finish(const char *ending) {
    if (!status_shown)
        return;
    status_shown = false;
    std::fputs(ending, err());
    std::fflush(err());
}

void status_erase() { status_finish("\r\x1b[K"); }

std::string vformat(const char *fmt, va_list ap) {
    char small[512];
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n <= 0)
        return std::string();
    if (size_t(n) < sizeof small)
        return std::string(small, size_t(n));
    std::string s(size_t(n) + 1, '\0');
    std::vsnprintf(s.data(), s.size(), fmt, ap);
    s.resize(size_t(n));
    return s;
}

const char *lookup(const imsg_catalog *cat, int num) {
    if (!cat || num < 0 || num >= cat->count)
        return nullptr;
    return cat->texts[num];
}

thread_local imsg_redirect *redirect = nullptr;

// Writes one formatted message with the prefix its severity calls for.
void emit(int severity, std::string_view text, bool add_newline) {
    bool needs_nl = add_newline && (text.empty() || text.back() != '\n');
    if (redirect) {
        std::string line(text);
        if (severity == IMSG_CONT)
            line.insert(0, "    ");
        else if (!no_prefix && severity != IMSG_NOTICE && severity != IMSG_REPORT)
            line.insert(0, app_name + (severity == IMSG_WARNING ? ": Warning: " : ": Error: "));
        if (needs_nl)
            line += '\n';
        redirect->messages.push_back(std::move(line));
        return;
    }
    status_erase();
    if (severity == IMSG_NOTICE) {
        errno = 0;
        std::fwrite(text.data(), 1, text.size(), out());
        if (needs_nl)
            std::fputc('\n', out());
        note_out();
        if (needs_nl || !text.empty())
            out_line_open = !needs_nl && text.back() != '\n';
        return;
    }
    errno = 0;
    std::fflush(out());
    note_out();
    std::string line;
    if (severity == IMSG_CONT) {
        line = "    ";
    } else if (!no_prefix && severity != IMSG_REPORT) {
        line = app_name + ": ";
        line += severity == IMSG_WARNING ? "Warning: " : "Error: ";
    }
    // Continuation lines inside one text are indented under the first.
    for (size_t i = 0; i < text.size(); ++i) {
        line += text[i];
        if (text[i] == '\n' && i + 1 < text.size() && severity != IMSG_CONT)
            line += "    ";
    }
    if (needs_nl)
        line += '\n';
    std::fputs(line.c_str(), err());
    std::fflush(err());
}

void print_text(int severity, const char *fmt, va_list ap, bool add_nl);

void vprint(int severity, const imsg_catalog *cat, int num, va_list ap, bool add_nl) {
    const char *fmt;
    if (num == -1) {
        fmt = va_arg(ap, const char *);
    } else {
        fmt = lookup(cat, num);
        if (!fmt) {
            emit(IMSG_ERROR,
                 "message " + std::to_string(num) + " missing from catalog " +
                     (cat && cat->module ? cat->module : "?"),
                 true);
            return;
        }
    }
    print_text(severity, fmt, ap, add_nl);
}

void print_text(int severity, const char *fmt, va_list ap, bool add_nl) {
    // Most notices are fixed texts: print them without formatting.
    if (!std::strchr(fmt, '%')) {
        emit(severity, fmt, add_nl);
        return;
    }
    char small[512];
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n >= 0 && size_t(n) < sizeof small)
        emit(severity, std::string_view(small, size_t(n)), add_nl);
    else
        emit(severity, vformat(fmt, ap), add_nl);
}

const char *const tbs_texts[] = {
#define X8 "", "", "", "", "", "", "", ""
    X8, X8, X8, X8, X8, X8, X8, X8, X8, X8, X8, X8, X8, X8, X8, X8,   // 0..127 placeholders
#undef X8
};
std::vector<const char *> tbs_table() {
    std::vector<const char *> v(tbs_texts, tbs_texts + 128);
#define TBS_MSG_SET(name, num, text) v[num] = text;
    TBS_MESSAGES(TBS_MSG_SET)
#undef TBS_MSG_SET
    return v;
}

}   // namespace

void imsg_set_app_name(const char *argv0) {
    if (!argv0)
        return;
    const char *slash = std::strrchr(argv0, '/');
    app_name = slash ? slash + 1 : argv0;
}

const char *imsg_app_name() { return app_name.c_str(); }

void imsg_suppress_prefix(int on) { no_prefix = on; }

bool imsg_status_draw(const std::string &text, bool force) {
    if (redirect)
        return false;
    if (out_line_open && isatty(fileno(out()))) {
        if (!force)
            return false;
        std::fputc('\n', out());
        out_line_open = false;
    }
    errno = 0;
    std::fflush(out());
    note_out();
    std::string line = "\r" + text + "\x1b[K";
    std::fputs(line.c_str(), err());
    std::fflush(err());
    status_shown = true;
    return true;
}

void imsg_status_clear() { status_erase(); }

int imsg_out_errno() { return out_errno; }

void imsg_status_end() { status_finish("\n"); }

imsg_redirect::imsg_redirect() : outer(redirect) { redirect = this; }

imsg_redirect::~imsg_redirect() { redirect = outer; }

void imsg_set_streams(FILE *o, FILE *e) {
    out_stream = o;
    err_stream = e;
}

void imsg_print(int severity, const imsg_catalog *cat, int num, ...) {
    va_list ap;
    va_start(ap, num);
    vprint(severity, cat, num, ap, true);
    va_end(ap);
}

void imsg_print_nonl(int severity, const imsg_catalog *cat, int num, ...) {
    va_list ap;
    va_start(ap, num);
    vprint(severity, cat, num, ap, false);
    va_end(ap);
}

void imsg_printf(int severity, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    print_text(severity, fmt, ap, true);
    va_end(ap);
}

void imsg_printf_nonl(int severity, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    print_text(severity, fmt, ap, false);
    va_end(ap);
}

void imsg_print_errno(int severity, const char *what, int err) {
    imsg_printf(severity, "%s: %s", what, imsg_strerror(err));
}

std::string imsg_vsprintf_text(const imsg_catalog *cat, int num, va_list ap) {
    return vformat(imsg_text(cat, num), ap);
}

std::string imsg_sprintf(const imsg_catalog *cat, int num, ...) {
    va_list ap;
    va_start(ap, num);
    const char *fmt = num == -1 ? va_arg(ap, const char *) : lookup(cat, num);
    std::string s = fmt ? vformat(fmt, ap) : std::string();
    va_end(ap);
    return s;
}

void imsg_print_shared(int severity, const char *module, const imsg_catalog *cat, int num, ...) {
    const char *fmt = lookup(cat, num);
    va_list ap;
    va_start(ap, num);
    std::string text = fmt ? vformat(fmt, ap) : std::string("unknown shared message");
    va_end(ap);
    if (module && *module)
        text = std::string(module) + ": " + text;
    emit(severity, text, true);
}

std::string imsg_strip_style_chars(const std::string &text) {
    const char *style = "\n\r\t ";
    size_t first = text.find_first_not_of(style);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(style) - first + 1);
}

const char *imsg_strerror(int e) { return std::strerror(e); }

double imsg_progress_interval(std::string *bad) {
    const double fallback = 10.0;
    const char *env = std::getenv("VANTOR_PROGRESS_INTERVAL");
    if (!env || !*env)
        return fallback;
    char *end = nullptr;
    double v = std::strtod(env, &end);
    if (*end || !std::isfinite(v) || v < 0 || v > 86400) {
        *bad = "VANTOR_PROGRESS_INTERVAL=\"" + std::string(env) +
               "\" is not a number of seconds from 0 to 86400; using 10";
        return fallback;
    }
    return v;
}

std::vector<const char *> imsg_layout_numbered(const imsg_numbered *entries, size_t count) {
    int top = 0;
    for (size_t i = 0; i < count; ++i)
        top = entries[i].num > top ? entries[i].num : top;
    std::vector<const char *> texts(size_t(top) + 1, "");
    for (size_t i = 0; i < count; ++i)
        texts[size_t(entries[i].num)] = entries[i].text;
    return texts;
}

const char *imsg_text(const imsg_catalog *cat, int num) {
    const char *t = lookup(cat, num);
    return t ? t : "";
}

const imsg_catalog *_tbs_cmsg_tbs_msg_table_adr() {
    static const std::vector<const char *> texts = tbs_table();
    static const imsg_catalog cat = {"tbs", "tbs_cmsg", 0, int(texts.size()), texts.data(), nullptr};
    return &cat;
}

double imsg_progress_interval_warn(const imsg_catalog *cat, int warning) {
    std::string bad;
    double v = imsg_progress_interval(&bad);
    if (!bad.empty())
        imsg_print(IMSG_WARNING, cat, warning, bad.c_str());
    return v;
}
