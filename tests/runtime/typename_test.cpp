// The type-name rule shared by the store and the exporters.
#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <random>
#include <utility>
#include <string>
#include <vector>

#include "runtime/typename.h"

namespace {

TEST(Typename, NamesOfAnyScriptAreAccepted) {
    for (const char *n : {"main", "rel_1.0-b", "R", "9lives", "1.2", "1.2.1", "0x1F", "1e5", "caf\u00e9",
                          "\u7248\u672c", "\u30ea\u30ea\u30fc\u30b9", "a\u200db", "x\U0001D518"})
        EXPECT_TRUE(typename_acceptable(n)) << n;
}

TEST(Typename, LeadAndNumbersAndBlanksAreRefused) {
    // ".BranchStartsWithHash_X" is a hash symbol with the hash replaced by the
    // default "." and nothing more: a repair must not stop there.
    for (const char *n :
         {"", "-x", ".x", ".BranchStartsWithHash_X", "#x", "a b", "a/b", "a@b", "a\tb", "12", "0", "007"})
        EXPECT_FALSE(typename_acceptable(n)) << n;
}

TEST(Typename, BrokenUtf8IsRefused) {
    std::vector<std::string> bad = {
        "a\xc3",               // cut short
        "a\xc3(",              // continuation missing
        "a\xa9",               // lone continuation
        "a\xc0\xae",           // overlong "."
        "a\xc1\xbf",           // overlong DEL
        "a\xe0\x80\xae",       // overlong in three bytes
        "a\xf0\x80\x80\xae",   // and in four
        "a\xed\xa0\x80",       // surrogate U+D800
        "a\xed\xbf\xbf",       // surrogate U+DFFF
        "a\xf4\x90\x80\x80",   // above U+10FFFF
        "a\xf5\x80\x80\x80",   // never a lead byte
        "a\xff",
        "a\xe2\x82",   // three-byte character cut short
    };
    for (const std::string &n : bad)
        EXPECT_FALSE(typename_acceptable(n)) << n;
    // The edges of the well-formed ranges pass.
    for (const char *n : {"a\xc2\xa1", "a\xe0\xa0\x80", "a\xed\x9f\xbf", "a\xee\x80\x80", "a\xf0\x90\x80\x80",
                          "a\xf4\x8f\xbf\xbd"})
        EXPECT_TRUE(typename_acceptable(n)) << n;
}

TEST(Typename, InvisibleCharactersAreRefused) {
    for (char32_t c : {0x80u,   0x85u,   0x9Fu,   0xA0u,   0x61Cu,  0x1680u, 0x2000u,  0x2007u, 0x200Bu,
                       0x200Eu, 0x200Fu, 0x2028u, 0x2029u, 0x202Au, 0x202Eu, 0x202Fu,  0x205Fu, 0x2066u,
                       0x2069u, 0x3000u, 0xFEFFu, 0xFDD0u, 0xFFFEu, 0xFFFFu, 0x10FFFFu})
        EXPECT_FALSE(typename_code_ok(c)) << std::hex << unsigned(c);
    for (char32_t c : {0xA1u, 0xE9u, 0x200Cu, 0x200Du, 0x2010u, 0x30FCu, 0xFF70u, 0xFF9Eu, 0x1D518u})
        EXPECT_TRUE(typename_code_ok(c)) << std::hex << unsigned(c);
    EXPECT_FALSE(typename_acceptable("a\u3000b"));
    EXPECT_FALSE(typename_acceptable("\ufeffmain"));
}

TEST(Typename, LengthIsCountedInBytes) {
    EXPECT_TRUE(typename_acceptable(std::string(255, 'a')));
    EXPECT_FALSE(typename_acceptable(std::string(256, 'a')));
    EXPECT_TRUE(typename_acceptable(std::string(253, 'a') + "\u00e9"));
    EXPECT_FALSE(typename_acceptable(std::string(254, 'a') + "\u00e9"));
}

TEST(Typename, CharactersAreSteppedThroughWithoutTheLocale) {
    std::string old = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_CTYPE, "C");   // the rule must not depend on it
    std::string s =
        "a\xe2\x82\xac\xe2\x82"
        "b";
    typename_char c = typename_char_at(s, 1);
    EXPECT_EQ(c.len, 3u);
    EXPECT_TRUE(c.valid);
    EXPECT_TRUE(c.allowed);
    EXPECT_EQ(c.code, char32_t(0x20AC));
    c = typename_char_at(s, 4);   // a sequence cut short: one stray byte
    EXPECT_EQ(c.len, 1u);
    EXPECT_FALSE(c.valid);
    EXPECT_FALSE(c.allowed);
    c = typename_char_at(s, 0);
    EXPECT_TRUE(c.valid && c.allowed && c.len == 1);
    EXPECT_FALSE(typename_char_at(" ", 0).allowed);
    EXPECT_TRUE(typename_acceptable("\u20ac"));
    std::setlocale(LC_CTYPE, old.c_str());

    EXPECT_EQ(typename_cut_length("a\u00e9b", 2), 1u);
    EXPECT_EQ(typename_cut_length("a\u00e9b", 3), 3u);
    EXPECT_EQ(typename_cut_length("a\xc3\xc3", 2), 2u);   // stray bytes are characters of their own
    EXPECT_EQ(typename_cut_length("ab", 10), 2u);
}

TEST(Typename, NumbersAreWhatStrtolAndStrtodReadWhole) {
    for (const char *n :
         {"0",  "12", "2.", "0x1F",    "0X1f", "017", "08",       "1e-5", "1E+5",     ".5",
          "-5", "+5", " 5", "0x1.8p3", "0x.8", "inf", "INFINITY", "nan",  "NaN(x_1)", "nan()"})
        EXPECT_TRUE(typename_reads_as_number(n)) << n;
    for (const char *n : {"", " ", "5 ", "1.2.1", "1e", "1e-", "0x", "0x.", "0x1p", "infin", "nan(",
                          "nan(a b)", "x1", "1_0", "--5", "."})
        EXPECT_FALSE(typename_reads_as_number(n)) << n;
    EXPECT_TRUE(typename_is_decimal("007"));
    EXPECT_FALSE(typename_is_decimal(""));
    EXPECT_FALSE(typename_is_decimal("1.0"));
}

// The reader agrees with the C library in the C locale on every short string
// made of the characters that matter to numbers.
TEST(Typename, NumberReadingMatchesTheCLibrary) {
    std::string old = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    const std::string alphabet = "0123456789.eExXpP+-_afinAFIN() \t";
    std::mt19937 rng(20261208);
    for (int round = 0; round < 40000; ++round) {
        std::string s;
        size_t len = rng() % 9;
        for (size_t i = 0; i < len; ++i)
            s += alphabet[rng() % alphabet.size()];
        char *end = nullptr;
        errno = 0;
        (void)std::strtol(s.c_str(), &end, 0);
        bool whole = end != s.c_str() && *end == '\0';
        (void)std::strtod(s.c_str(), &end);
        whole = whole || (end != s.c_str() && *end == '\0');
        ASSERT_EQ(typename_reads_as_number(s), whole) << '"' << s << '"';
    }
    std::setlocale(LC_NUMERIC, old.c_str());
}

}   // namespace

// What a reader's terminal gets of stored text: UTF-8 as it stands, the
// bytes of another encoding and the controls that could move the cursor as
// \xNN; a line end and a tab stay.
TEST(Typename, TextIsShownWithStrayBytesEscaped) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain\ttext\n", "plain\ttext\n"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
        {"caf\xe9 cr\xe8me", "caf\\xe9 cr\\xe8me"},
        {"\x1b[31mred\x7f", "\\x1b[31mred\\x7f"},
        {"cut \xe2\x82", "cut \\xe2\\x82"},
    };
    for (const auto &[in, shown] : cases)
        EXPECT_EQ(typename_show_text(in), shown) << in;
    EXPECT_FALSE(typename_is_utf8("caf\xe9"));
    EXPECT_TRUE(typename_is_utf8("caf\xc3\xa9\x1b"));
}
