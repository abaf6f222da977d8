// The type-name rule shared by the store and the exporters.
#include "runtime/typename.h"

namespace {

bool in(unsigned char c, unsigned lo, unsigned hi) { return c >= lo && c <= hi; }

// Length of the well-formed UTF-8 sequence at s[i] and its code point; 0 when
// the bytes there form none (the ranges of the Unicode standard's table of
// well-formed byte sequences, which leave out overlongs and surrogates).
size_t utf8_sequence(std::string_view s, size_t i, char32_t *code) {
    unsigned char b0 = (unsigned char)s[i];
    size_t len;
    unsigned lo = 0x80, hi = 0xBF;   // range of the second byte
    if (in(b0, 0xC2, 0xDF)) {
        len = 2;
    } else if (in(b0, 0xE0, 0xEF)) {
        len = 3;
        if (b0 == 0xE0)
            lo = 0xA0;
        else if (b0 == 0xED)
            hi = 0x9F;
    } else if (in(b0, 0xF0, 0xF4)) {
        len = 4;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (s.size() - i < len || !in((unsigned char)s[i + 1], lo, hi))
        return 0;
    for (size_t k = 2; k < len; ++k)
        if (!in((unsigned char)s[i + k], 0x80, 0xBF))
            return 0;
    char32_t c = b0 & (0xFF >> (len + 1));
    for (size_t k = 1; k < len; ++k)
        c = (c << 6) | ((unsigned char)s[i + k] & 0x3F);
    *code = c;
    return len;
}

bool is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool equals_nocase(std::string_view s, std::string_view word) {
    if (s.size() != word.size())
        return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (lower(s[i]) != word[i])
            return false;
    return true;
}

size_t skip(std::string_view s, size_t i, bool (*pred)(char)) {
    while (i < s.size() && pred(s[i]))
        ++i;
    return i;
}

// Past an exponent at s[i] ("e5", "p-3"), or i when there is none to read:
// strtod then stops before the letter.
size_t exponent(std::string_view s, size_t i, char letter) {
    if (i >= s.size() || lower(s[i]) != letter)
        return i;
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-'))
        ++j;
    size_t k = skip(s, j, is_digit);
    return k == j ? i : k;
}

// Past the mantissa and exponent of a number at s[i] in the given digits;
// i when no digit is there.
size_t mantissa(std::string_view s, size_t i, bool (*digit)(char), char exp_letter) {
    size_t j = skip(s, i, digit);
    size_t whole = j - i, frac = 0;
    if (j < s.size() && s[j] == '.') {
        size_t k = skip(s, j + 1, digit);
        frac = k - j - 1;
        j = k;
    }
    if (whole + frac == 0)
        return i;
    return exponent(s, j, exp_letter);
}

bool nan_payload(char c) { return is_hex(c) || (c >= 'g' && c <= 'z') || (c >= 'G' && c <= 'Z') || c == '_'; }

}   // namespace

bool typename_ascii_ok(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

bool typename_code_ok(char32_t c) {
    if (c < 0x80)
        return typename_ascii_ok((unsigned char)c);
    if (c <= 0xA0)   // C1 controls and the no-break space
        return false;
    switch (c) {
        case 0x061C:   // Arabic letter mark
        case 0x1680:
        case 0x2028:
        case 0x2029:
        case 0x202F:
        case 0x205F:
        case 0x3000:
        case 0xFEFF:
            return false;
        default:
            break;
    }
    // Spaces, zero-width space, and the marks that reorder what is displayed:
    // a name must look like what it is.
    if ((c >= 0x2000 && c <= 0x200B) || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
        (c >= 0x2066 && c <= 0x2069))
        return false;
    // Noncharacters are for a program's internal use, never for interchange.
    if ((c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE)
        return false;
    return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

typename_char typename_char_at(std::string_view s, size_t i) {
    unsigned char b = (unsigned char)s[i];
    if (b < 0x80)
        return {1, true, typename_ascii_ok(b), char32_t(b)};
    char32_t code = 0;
    size_t len = utf8_sequence(s, i, &code);
    if (len == 0)
        return {1, false, false, 0};
    return {len, true, typename_code_ok(code), code};
}

bool typename_is_utf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        typename_char c = typename_char_at(s, i);
        if (!c.valid)
            return false;
        i += c.len;
    }
    return true;
}

std::string typename_show_text(std::string_view s) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        typename_char c = typename_char_at(s, i);
        unsigned char b = (unsigned char)s[i];
        bool control = c.len == 1 && (b == 0x7f || (b < 0x20 && b != '\t' && b != '\n'));
        if (c.valid && !control) {
            out.append(s, i, c.len);
        } else {
            out += "\\x";
            out += digits[b >> 4];
            out += digits[b & 15];
        }
        i += c.len;
    }
    return out;
}

bool typename_is_decimal(std::string_view s) { return !s.empty() && skip(s, 0, is_digit) == s.size(); }

bool typename_reads_as_number(std::string_view s) {
    size_t i = skip(s, 0, is_c_space);
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::string_view rest = s.substr(i);
    if (rest.empty())
        return false;
    if (equals_nocase(rest, "inf") || equals_nocase(rest, "infinity") || equals_nocase(rest, "nan"))
        return true;
    if (rest.size() >= 5 && equals_nocase(rest.substr(0, 4), "nan(") && rest.back() == ')')
        return skip(rest, 4, nan_payload) == rest.size() - 1;
    // strtol's hex, octal and decimal integers are all read whole by strtod too.
    if (rest.size() >= 2 && rest[0] == '0' && lower(rest[1]) == 'x') {
        size_t end = mantissa(rest, 2, is_hex, 'p');
        return end != 2 && end == rest.size();
    }
    size_t end = mantissa(rest, 0, is_digit, 'e');
    return end != 0 && end == rest.size();
}

bool typename_acceptable(std::string_view name) {
    if (name.empty() || name.size() > TYPENAME_MAX_BYTES || name[0] == '-' || name[0] == '.' ||
        typename_is_decimal(name))
        return false;
    for (size_t i = 0; i < name.size();) {
        typename_char c = typename_char_at(name, i);
        if (!c.allowed)
            return false;
        i += c.len;
    }
    return true;
}

size_t typename_cut_length(std::string_view s, size_t max) {
    size_t i = 0;
    while (i < s.size()) {
        size_t n = typename_char_at(s, i).len;
        if (i + n > max)
            break;
        i += n;
    }
    return i;
}
