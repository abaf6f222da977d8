// Type-name repair, renames remembered across versions, and the translation
// file carried from one run to the next.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "export/export_names.h"
#include "runtime/imsg.h"
#include "tests/common/testutil.h"

namespace {

// Captures what the module prints, so tests can check its warnings.
struct NamesTest : ::testing::Test {
    testutil::ImsgCapture cap;
    void SetUp() override {
        std::setlocale(LC_ALL, "C.UTF-8");
        unsetenv("EXPORT_REPLACE_CHAR");
        unsetenv("EXPORT_REPLACE_STRING");
        reset_type_names();
    }
    void TearDown() override { reset_type_names(); }
    static std::string slurp(FILE *f) {
        std::fflush(f);
        std::rewind(f);
        std::string s;
        int c;
        while ((c = std::getc(f)) != EOF)
            s += char(c);
        std::rewind(f);
        return s;
    }
    std::string errors() { return cap.err(); }
    std::string notices() { return cap.out(); }
    static FILE *file_of(const std::string &text) {
        FILE *f = std::tmpfile();
        std::fputs(text.c_str(), f);
        std::rewind(f);
        return f;
    }
    int read_text(const std::string &text) {
        FILE *f = file_of(text);
        int r = read_translation_file(f);
        std::fclose(f);
        return r;
    }
    std::string written() {
        FILE *f = std::tmpfile();
        EXPECT_EQ(write_translation_file(f), 0);
        std::string s = slurp(f);
        std::fclose(f);
        return s;
    }
    std::string check(const char *name, int *result = nullptr, int quiet = 0) {
        std::string out_name;
        int r = type_name_check(name, quiet, &out_name);
        if (result)
            *result = r;
        return out_name;
    }
};

TEST_F(NamesTest, AcceptableNamesPassUnchanged) {
    int r;
    for (const char *n : {"rel_1", "beta-2", "v1.2", "1.2.1", "R.5", "café", "版本"}) {
        EXPECT_EQ(check(n, &r), n);
        EXPECT_EQ(r, 1) << n;
    }
    EXPECT_EQ(errors(), "");
}

TEST_F(NamesTest, RepairsBadCharactersLeadingDashAndNumbers) {
    int r;
    EXPECT_EQ(check("my label", &r), "my.label");
    EXPECT_EQ(r, 0);
    EXPECT_NE(errors().find("type name had bad characters in it."), std::string::npos);
    // The store takes no name that starts with "." or "-": the default
    // replacement "." cannot stand first, so "_" does.
    EXPECT_EQ(check("-x"), "_x");
    EXPECT_EQ(check(".x"), "_x");
    EXPECT_EQ(check("#BranchStartsWithHash_X"), "_BranchStartsWithHash_X");
    EXPECT_EQ(check("2"), "2.");
    EXPECT_NE(errors().find("type name had only numbers in it."), std::string::npos);
    // "-5" loses its dash and no longer reads as a number.
    EXPECT_EQ(check("-5"), "_5");
    // The replaced blank leaves "1.", which still reads as a number.
    EXPECT_EQ(check("1 "), "1..");
    // Names that are acceptable as they stand are never touched.
    EXPECT_EQ(check("0x1F"), "0x1F");
    // A wide space is no letter: it is replaced, once for the character.
    EXPECT_EQ(check("a\u3000b"), "a.b");
    // Nothing left to repair: the replacement string and counter take over.
    EXPECT_EQ(check(""), "REPLACED1");
    EXPECT_EQ(check(""), "REPLACED2");
}

TEST_F(NamesTest, BrokenUtf8IsReplacedBytewise) {
    int r;
    // One replacement per stray byte, one per refused character; good
    // characters around them stay.
    EXPECT_EQ(check("a\xc3", &r), "a.");
    EXPECT_EQ(r, 0);
    EXPECT_NE(errors().find("type name had bad characters in it."), std::string::npos);
    EXPECT_EQ(check("a\xe2\x82"
                    "b"),
              "a..b");
    EXPECT_EQ(check("\xc3\xa9\xc0\xae\xc3\xa9"), "\xc3\xa9..\xc3\xa9");
    EXPECT_EQ(check("x\xed\xa0\x80"), "x...");
    EXPECT_EQ(check("x\u00a0\u202e\ufeffy"), "x...y");
    // A hash symbol that became ".name" would be refused by the store.
    EXPECT_EQ(check("\xff"
                    "abc"),
              "_abc");
}

TEST_F(NamesTest, TheLocaleChangesNothing) {
    std::setlocale(LC_ALL, "C");
    int r;
    EXPECT_EQ(check("caf\u00e9", &r), "caf\u00e9");
    EXPECT_EQ(r, 1);
    EXPECT_EQ(check("a\u3000b"), "a.b");
    EXPECT_EQ(check("a\xff"), "a.");
    EXPECT_EQ(check("1 "), "1..");
}

TEST_F(NamesTest, QuietCheckPrintsNothing) {
    int r;
    check("bad name", &r, 1);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(errors(), "");
}

TEST_F(NamesTest, LongNamesAreCutAtACharacterBoundary) {
    std::string longname = " " + std::string(238, 'a');
    longname += "é";   // bytes 240 and 241
    longname += "zz";
    std::string out = check(longname.c_str());
    EXPECT_EQ(out, "_" + std::string(238, 'a'));
    EXPECT_NE(errors().find("Type name was too long!"), std::string::npos);
}

TEST_F(NamesTest, ReplacementSettingsComeFromTheEnvironment) {
    setenv("EXPORT_REPLACE_CHAR", "_x", 1);
    setenv("EXPORT_REPLACE_STRING", "FIXED", 1);
    reset_type_names();
    EXPECT_EQ(check("a b"), "a_b");
    EXPECT_EQ(check(""), "FIXED1");
}

TEST_F(NamesTest, ReplacementCharThatCannotLeadGivesWayToUnderscore) {
    setenv("EXPORT_REPLACE_CHAR", "-", 1);
    reset_type_names();
    EXPECT_EQ(check("a b"), "a-b");
    EXPECT_EQ(check(".x"), "_x");
    setenv("EXPORT_REPLACE_CHAR", "x", 1);
    reset_type_names();
    EXPECT_EQ(check("-a b"), "xaxb");
    // A replacement the store never takes: the replacement string takes over.
    setenv("EXPORT_REPLACE_CHAR", "#", 1);
    reset_type_names();
    EXPECT_EQ(check("a b"), "REPLACED1");
}

TEST_F(NamesTest, ReplacementStringThatNeverGivesGoodNamesIsRefused) {
    // "" + counter is a number and "a b" has a blank: either would loop
    // forever; so would a string too long to take every counter.
    for (const std::string &bad : {std::string(), std::string("a b"), std::string(237, 'r')}) {
        setenv("EXPORT_REPLACE_STRING", bad.c_str(), 1);
        reset_type_names();
        EXPECT_EQ(check(""), "REPLACED1");
        EXPECT_NE(errors().find("does not make acceptable type names"), std::string::npos);
    }
}

TEST_F(NamesTest, ClashSuffixesAreRememberedAcrossVersions) {
    std::vector<std::string> branches = {"rel", "dev"};
    translate_names("branch", branches);
    EXPECT_EQ(branches, (std::vector<std::string>{"rel", "dev"}));

    std::vector<std::string> labels = {"rel", "dev", "ok"};
    translate_names("label", labels);
    EXPECT_EQ(labels, (std::vector<std::string>{"rel___1", "dev___2", "ok"}));
    EXPECT_NE(errors().find("Had to rename label type rel to rel___1"), std::string::npos);

    // A later version with the same labels gets the same names.
    std::vector<std::string> again = {"dev", "rel"};
    translate_names("label", again);
    EXPECT_EQ(again, (std::vector<std::string>{"dev___2", "rel___1"}));

    report_renames();
    std::string e = errors();
    EXPECT_NE(e.find("Types were renamed.  Please consider using the \"-T\" option."), std::string::npos);
    EXPECT_NE(e.find("label type \"rel\" changed to \"rel___1\""), std::string::npos);
}

TEST_F(NamesTest, ClashSuffixOfALongNameStaysWithinTheStoresLength) {
    std::string longest(255, 'n');
    std::vector<std::string> b = {longest};
    translate_names("branch", b);
    EXPECT_EQ(b[0], longest);
    std::vector<std::string> l = {longest, std::string(253, 'm') + "\u00e9"};
    translate_names("label", l);
    EXPECT_EQ(l[0], std::string(251, 'n') + "___1");
    std::vector<std::string> b2 = {l[1]};
    translate_names("branch", b2);
    EXPECT_EQ(b2[0], std::string(251, 'm') + "___2");   // cut before the two-byte letter
}

TEST_F(NamesTest, NamesKeepTheirFormWhateverComesAfter) {
    std::vector<std::string> b = {"x"};
    translate_names("branch", b);
    std::vector<std::string> l = {"x", "y"};
    translate_names("label", l);
    std::vector<std::string> b2 = {"y", "x"};
    translate_names("branch", b2);
    EXPECT_EQ(b2, (std::vector<std::string>{"y___2", "x"}));
    std::vector<std::string> l2 = {"y", "x"};
    translate_names("label", l2);
    EXPECT_EQ(l2, (std::vector<std::string>{"y", "x___1"}));
    std::string p = "y/x";
    translate_branch_path(p);
    EXPECT_EQ(p, "y___2/x");
}

TEST_F(NamesTest, SuffixSkipsNamesTakenByOtherKinds) {
    std::vector<std::string> b = {"x", "x___1"};
    translate_names("branch", b);
    std::vector<std::string> l = {"x"};
    translate_names("label", l);
    EXPECT_EQ(l[0], "x___2");
}

TEST_F(NamesTest, RepairedNameThatClashesIsRenamedOnceForGood) {
    std::vector<std::string> b = {"a.b"};
    translate_names("branch", b);
    std::vector<std::string> l = {"a b"};
    translate_names("label", l);
    EXPECT_EQ(l[0], "a.b___1");
    std::vector<std::string> l2 = {"a b"};
    translate_names("label", l2);
    EXPECT_EQ(l2[0], "a.b___1");
    std::string w = written();
    EXPECT_NE(w.find("label a.b a.b___1\n"), std::string::npos);
    EXPECT_NE(w.find("label a b a.b___1\n"), std::string::npos);
}

TEST_F(NamesTest, BranchPathComponentsAreTranslated) {
    std::vector<std::string> l = {"hotfix"};
    translate_names("label", l);
    std::string p = "rel 1/hotfix";
    translate_branch_path(p);
    EXPECT_EQ(p, "rel.1/hotfix___1");
    // Empty components are dropped; a numeric component ends the path.
    std::string v = "/main//dev/3/extra";
    translate_branch_path(v);
    EXPECT_EQ(v, "main/dev/3");
    std::string same = "rel.1/hotfix___1";
    translate_branch_path(same);
    EXPECT_EQ(same, "rel.1/hotfix___1");
}

TEST_F(NamesTest, TranslationFileCarriesDecisionsToTheNextRun) {
    std::vector<std::string> b = {"rel"};
    translate_names("branch", b);
    std::vector<std::string> l = {"rel", "my tag"};
    translate_names("label", l);
    std::string file = written();
    EXPECT_EQ(file,
              "branch rel rel\n"
              "label rel___1 rel___1\n"
              "label my.tag my.tag\n"
              "label rel rel___1\n"
              "label my tag my.tag\n");

    // Next run: the suffix counter starts afresh, but the file keeps the names.
    reset_type_names();
    ASSERT_EQ(read_text(file), 0);
    EXPECT_NE(notices().find("Translation: label type rel -> rel___1."), std::string::npos);
    std::vector<std::string> l2 = {"rel", "my tag", "new"};
    translate_names("label", l2);
    EXPECT_EQ(l2, (std::vector<std::string>{"rel___1", "my.tag", "new"}));
    std::vector<std::string> b2 = {"rel"};
    translate_names("branch", b2);
    EXPECT_EQ(b2[0], "rel");
    EXPECT_EQ(written(), file.substr(0, file.find("label rel rel___1")) + "label new new\n" +
                             "label rel rel___1\nlabel my tag my.tag\n");
}

TEST_F(NamesTest, TranslationFileOldNameRunsToTheLastSpace) {
    ASSERT_EQ(read_text("label a b c d\n"), 0);
    std::vector<std::string> l = {"a b c"};
    translate_names("label", l);
    EXPECT_EQ(l[0], "d");
}

TEST_F(NamesTest, TranslationIntoABadNameIsRepairedAndWarned) {
    ASSERT_EQ(read_text("label old bad\r\n"), 0);   // binary read: \r is in field 3
    std::vector<std::string> l = {"old"};
    translate_names("label", l);
    EXPECT_EQ(l[0], "bad.");
    EXPECT_NE(errors().find("Translation had invalid characters in it."), std::string::npos);
}

TEST_F(NamesTest, EachFormatErrorNamesItsLine) {
    std::string f80(80, 'f'), f79(79, 'f');
    struct {
        std::string text, message;
    } cases[] = {
        {"label a a\n" + std::string(1100, 'x') + "\n", "Line is too long in translation file.  (line 2)"},
        {"label a a\n\n", "Blank line in translation file.  (line 2)"},
        {"nospace\n", "Blank line in translation file.  (line 1)"},
        {f80 + " a a\n",
         "First field is too long in translation file.  (line 1)\n    Must be less than 80 characters."},
        {"label onlyone\n", "Missing field in translation file.  (line 1)"},
        {"label " + f80 + " a\n", "Second field is too long in translation file.  (line 1)"},
        {"label a a\nlabel b c", "Missing newline in translation file.  (line 2)"},
        {"label a " + f80 + "\n", "Third field is too long in translation file.  (line 1)"},
    };
    for (auto &c : cases) {
        reset_type_names();
        cap.clear();
        EXPECT_EQ(read_text(c.text), 1001) << c.message;
        EXPECT_NE(errors().find(c.message), std::string::npos) << errors();
    }
    reset_type_names();
    EXPECT_EQ(read_text(f79 + " " + f79 + " " + f79 + "\n"), 0);
}

TEST_F(NamesTest, NamesTooLongForTheFileAreLeftOutWithAWarning) {
    std::string longname(100, 'n');
    std::vector<std::string> l = {longname};
    translate_names("label", l);
    EXPECT_EQ(l[0], longname);   // kept whole in the run
    EXPECT_EQ(written(), "");
    EXPECT_NE(errors().find("is not written to the translation file"), std::string::npos);
}

}   // namespace
