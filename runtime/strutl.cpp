// String helpers. Every function accepts null strings and treats them as empty
// or as "not found", so that callers need no guards of their own.
#include "strutl.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "stg.h"

int strutl_find_char(const char *s, size_t start, char c, size_t *pos) {
    if (!s || start > std::strlen(s))
        return 0;
    const char *p = std::strchr(s + start, c);
    if (!p || c == '\0')
        return 0;
    if (pos)
        *pos = size_t(p - s);
    return 1;
}

int strutl_find_str(const char *s, size_t start, const char *what, size_t *pos) {
    if (!s || !what || start > std::strlen(s))
        return 0;
    const char *p = std::strstr(s + start, what);
    if (!p)
        return 0;
    if (pos)
        *pos = size_t(p - s);
    return 1;
}

int strutl_right_char(const char *s, char c, size_t *pos) {
    if (!s || c == '\0')
        return 0;
    const char *p = std::strrchr(s, c);
    if (!p)
        return 0;
    if (pos)
        *pos = size_t(p - s);
    return 1;
}

int strutl_cpy_buf(char *dst, const char *src, size_t size) {
    if (!dst || size == 0)
        return 1;
    if (!src)
        src = "";
    size_t n = std::strlen(src);
    int cut = n >= size;
    if (cut)
        n = size - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return cut;
}

static int ascii_lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

int strutl_stricoll(const char *a, const char *b) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(a ? a : "");
    const unsigned char *q = reinterpret_cast<const unsigned char *>(b ? b : "");
    while (*p && ascii_lower(*p) == ascii_lower(*q)) {
        ++p;
        ++q;
    }
    return ascii_lower(*p) - ascii_lower(*q);
}

// strtol and strtod skip leading blanks; a number text here has none.
static bool starts_clean(const char *s) {
    return s && *s && *s != ' ' && *s != '\t' && *s != '\n' && *s != '\r' && *s != '\f' && *s != '\v';
}

int strutl_strtol(const char *s, int base, long *out) {
    if (!starts_clean(s))
        return 0;
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, base);
    if (errno == ERANGE || errno == EINVAL || end == s || *end != '\0')
        return 0;
    if (out)
        *out = v;
    return 1;
}

int strutl_strtod(const char *s, double *out) {
    if (!starts_clean(s))
        return 0;
    char *end = nullptr;
    errno = 0;
    double v = std::strtod(s, &end);
    if (errno == ERANGE || end == s || *end != '\0')
        return 0;
    if (out)
        *out = v;
    return 1;
}

int strutl_mblen(const char *s, size_t remaining) {
    if (!s || remaining == 0 || *s == '\0')
        return 0;
    std::mbstate_t st{};
    wchar_t wc;
    size_t n = std::mbrtowc(&wc, s, remaining, &st);
    if (n == size_t(-1) || n == size_t(-2) || n == 0)
        return 1;
    return int(n);
}

std::string strutl_count(long long n, const char *one, const char *many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

int strutl_match_prefix(const char *s, const char *prefix) {
    if (!s || !prefix)
        return 0;
    return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

std::string strutl_replace_substr(const std::string &s, const std::string &from, const std::string &to) {
    if (from.empty())
        return s;
    std::string out;
    size_t at = 0;
    for (size_t hit; (hit = s.find(from, at)) != std::string::npos; at = hit + from.size()) {
        out.append(s, at, hit - at);
        out += to;
    }
    out.append(s, at, std::string::npos);
    return out;
}

// Bytes above 127 count as letters: they belong to multibyte names.
static bool is_name_letter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c > 127;
}

static bool in_set(const char *set, char c) { return set && c && std::strchr(set, c); }

int strutl_is_ok_name(const char *name, const char *bad_lead, const char *allowed) {
    if (!name || !*name || in_set(bad_lead, name[0]))
        return 0;
    for (const char *p = name; *p; ++p)
        if (!is_name_letter(static_cast<unsigned char>(*p)) && !in_set(allowed, *p))
            return 0;
    return 1;
}

char *strutl_concat_area(stg_area *area, int count, ...) {
    va_list ap;
    va_start(ap, count);
    std::string joined;
    for (int i = 0; i < count; ++i) {
        const char *piece = va_arg(ap, const char *);
        joined += piece ? piece : "";
    }
    va_end(ap);
    return stg_area_strdup(area, joined.c_str());
}

int strutl_cvt_case_string(const char *s, int direction, size_t size, char *out) {
    int cut = strutl_cpy_buf(out, s, size);
    if (!out || size == 0)
        return 1;
    for (char *p = out; *p; ++p) {
        if (direction == STRUTL_TO_UPPER && *p >= 'a' && *p <= 'z')
            *p = char(*p - 'a' + 'A');
        else if (direction != STRUTL_TO_UPPER && *p >= 'A' && *p <= 'Z')
            *p = char(*p - 'A' + 'a');
    }
    return cut;
}

std::vector<std::string> strutl_split(std::string_view s, char sep, int drop_dot) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(sep, start);
        if (end == std::string_view::npos)
            end = s.size();
        std::string_view piece = s.substr(start, end - start);
        if (!piece.empty() && !(drop_dot && piece == "."))
            out.emplace_back(piece);
        start = end + 1;
    }
    return out;
}

std::string strutl_sh_dquote_escape(const std::string &s) {
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\' || c == '$' || c == '`')
            out += '\\';
        out += c;
    }
    return out;
}

std::string strutl_cmd_dquote(const std::string &s) {
    std::string out;
    for (char c : strutl_sh_dquote_escape(s)) {
        out += c;
        if (c == '%')
            out += '%';
    }
    return out;
}

std::string strutl_sh_squote(const std::string &s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}
