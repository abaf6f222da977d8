// Type names (element, branch, label, attribute and hyperlink types): the one
// rule that the store enforces and that the exporters repair names towards,
// so that every name an exporter writes is one the store takes.
//
// A type name is acceptable when:
//  - it is 1 to TYPENAME_MAX_BYTES bytes long;
//  - it does not start with "-" or ".";
//  - it is not a decimal integer (it would read as a version number in a
//    branch path);
//  - its ASCII bytes are letters, digits, "_", "-" or ".";
//  - its other bytes form well-formed UTF-8 (no overlong forms, no surrogates,
//    nothing above U+10FFFF) of characters that are neither C1 controls,
//    spaces or separators, bidirectional controls nor noncharacters.
// The rule reads bytes, never the locale: a name means the same in every
// process that sees it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

enum { TYPENAME_MAX_BYTES = 255 };

// The character at a byte position of a name.
struct typename_char {
    size_t len;      // bytes it takes: 1 for ASCII and for a byte that starts
                     // no well-formed UTF-8 sequence
    bool valid;      // false for such a stray byte
    bool allowed;    // may stand in a type name (at any position)
    char32_t code;   // the code point when valid
};

// The character at s[i] (i < s.size()).
typename_char typename_char_at(std::string_view s, size_t i);
// True when every byte of s belongs to well-formed UTF-8.
bool typename_is_utf8(std::string_view s);
// s for a reader's terminal: well-formed UTF-8 as it stands, and every byte
// that is not (a stray byte of another encoding, a control other than tab
// and line end, DEL) as \xNN, so that nothing raw reaches the terminal.
std::string typename_show_text(std::string_view s);
// True when the ASCII byte c may stand in a type name.
bool typename_ascii_ok(unsigned char c);
// True when the code point may stand in a type name (ASCII by typename_ascii_ok).
bool typename_code_ok(char32_t c);
// True when the name is digits only (and not empty).
bool typename_is_decimal(std::string_view s);
// True when the whole text is read as a number by strtol (base 0) or strtod
// in the C locale, whatever the process's locale.
bool typename_reads_as_number(std::string_view s);
// The type-name rule above.
bool typename_acceptable(std::string_view name);
// The longest prefix of s, at most max bytes, that ends at a character
// boundary (stray bytes count as characters of their own).
size_t typename_cut_length(std::string_view s, size_t max);
