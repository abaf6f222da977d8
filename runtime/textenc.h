// Texts of a legacy store's encoding made UTF-8, through the C library's
// iconv. A text that is valid UTF-8 already is never converted: most stores
// mix old texts in a code page with newer ones in UTF-8, and a valid UTF-8
// text is far more likely UTF-8 than a code page's accident.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct textenc_state;

struct textenc {
    std::string name;   // as the user wrote it
    std::shared_ptr<textenc_state> state;
};

// Opens a converter from the named encoding. Names are taken as iconv knows
// them, and also without their "-" and "_" ("latin-1" is "latin1"); names
// holding "/" (iconv's suffixes, which would change what a failure does) are
// refused. 0, or 1 when no such encoding is known.
int textenc_open(const std::string &name, textenc *out);
// Converts s into *out. Bytes that do not convert are kept as they were, and
// their offsets in s appended to *kept. Returns whether *out differs from s.
bool textenc_convert(const textenc &e, std::string_view s, std::string *out, std::vector<size_t> *kept);
