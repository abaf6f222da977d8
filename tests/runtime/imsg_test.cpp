// Messages: prefixes, severities, continuation lines, stream order; banner;
// identities.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "runtime/credutl.h"
#include "runtime/fileutl.h"
#include "runtime/imsg.h"
#include "runtime/nt.h"
#include "runtime/sysutl.h"
#include "runtime/tbs.h"
#include "runtime/version.h"
#include "tests/common/testutil.h"

namespace {

const char *const texts[] = {"Converting element \"%s\" ... \n", "Bad %s at %d", "first line\nsecond line",
                             "\t%s\n"};
IMSG_DEFINE_CATALOG(test_msgs, "test_lib", "test_mod", 7, texts)

class Imsg : public ::testing::Test {
protected:
    void SetUp() override { imsg_set_app_name("/usr/bin/vantexport_rcs"); }
    void TearDown() override { imsg_suppress_prefix(0); }
    testutil::ImsgCapture cap;
};

TEST_F(Imsg, SeveritiesChoosePrefixAndStream) {
    EXPECT_STREQ(imsg_app_name(), "vantexport_rcs");
    imsg_print(IMSG_NOTICE, test_msgs(), 0, "a.c");
    imsg_print(IMSG_WARNING, test_msgs(), 1, "thing", 3);
    imsg_print(IMSG_ERROR, test_msgs(), 1, "other", 4);
    imsg_print(IMSG_CONT, test_msgs(), 3, "src/x.c");
    EXPECT_EQ(cap.out(), "Converting element \"a.c\" ... \n");
    EXPECT_EQ(cap.err(),
              "vantexport_rcs: Warning: Bad thing at 3\n"
              "vantexport_rcs: Error: Bad other at 4\n"
              "    \tsrc/x.c\n");
}

TEST_F(Imsg, InnerLinesAreIndentedAndPrefixCanBeSuppressed) {
    imsg_print(IMSG_ERROR, test_msgs(), 2);
    imsg_suppress_prefix(1);
    imsg_print(IMSG_WARNING, test_msgs(), 1, "x", 1);
    EXPECT_EQ(cap.err(), "vantexport_rcs: Error: first line\n    second line\nBad x at 1\n");
}

TEST_F(Imsg, FormatsWithoutCatalogAndWithoutLineEnd) {
    imsg_print_nonl(IMSG_NOTICE, nullptr, -1, "%s", ".");
    imsg_print_nonl(IMSG_NOTICE, nullptr, -1, "%s", ".");
    imsg_print(IMSG_NOTICE, nullptr, -1, "%d done", 2);
    EXPECT_EQ(cap.out(), "..2 done\n");
    EXPECT_EQ(imsg_sprintf(test_msgs(), 1, "y", 9), "Bad y at 9");
    EXPECT_EQ(imsg_sprintf(nullptr, -1, "%05d", 42), "00042");
    EXPECT_STREQ(imsg_text(test_msgs(), 99), "");
}

// The status line is erased before any message, notices included (stdout may
// be the same terminal), drawn again only by its owner, and ended on request.
TEST_F(Imsg, StatusLineGivesWayToMessages) {
    EXPECT_TRUE(imsg_status_draw("3 files"));
    imsg_print(IMSG_NOTICE, test_msgs(), 0, "a.c");
    imsg_print(IMSG_ERROR, test_msgs(), 1, "x", 1);   // nothing shown: nothing to erase
    EXPECT_TRUE(imsg_status_draw("4 files"));
    EXPECT_TRUE(imsg_status_draw("5 files"));   // redrawn in place
    imsg_print(IMSG_REPORT, test_msgs(), 1, "y", 2);
    EXPECT_TRUE(imsg_status_draw("6 files"));
    imsg_status_end();
    imsg_status_clear();   // ended: nothing left to erase
    imsg_print(IMSG_CONT, test_msgs(), 3, "z");
    EXPECT_EQ(cap.out(), "Converting element \"a.c\" ... \n");
    EXPECT_EQ(cap.err(),
              "\r3 files\x1b[K\r\x1b[K"
              "vantexport_rcs: Error: Bad x at 1\n"
              "\r4 files\x1b[K\r5 files\x1b[K\r\x1b[K"
              "Bad y at 2\n"   // a report has no prefix
              "\r6 files\x1b[K\n"
              "    \tz\n");
}

TEST_F(Imsg, MissingTextIsReportedNotPrinted) {
    imsg_print(IMSG_WARNING, test_msgs(), 4);
    EXPECT_NE(cap.err().find("message 4 missing from catalog test_mod"), std::string::npos);
}

TEST_F(Imsg, SharedCatalogAndBanner) {
    imsg_print_shared(IMSG_ERROR, "export_main", _tbs_cmsg_tbs_msg_table_adr(), TBS_MSG_TMPFILE,
                      "No space left on device");
    EXPECT_EQ(cap.err(),
              "vantexport_rcs: Error: export_main: Unable to create a temporary "
              "file: No space left on device\n");
    ks_print_banner("vantexport_rcs");
    std::string line = cap.out();
    EXPECT_EQ(line.substr(0, 34), "vantexport_rcs                    ");
    EXPECT_EQ(line.back(), '\n');
    int all = 0;
    EXPECT_TRUE(ks_is_version_request("-VERALL", &all));
    EXPECT_EQ(all, 1);
    EXPECT_TRUE(ks_is_version_request("-ver", &all));
    EXPECT_EQ(all, 0);
    EXPECT_FALSE(ks_is_version_request("-Versions", &all));
}

TEST(ImsgText, StyleCharactersAndProductFacts) {
    EXPECT_EQ(imsg_strip_style_chars("\tConverting \"a b\" ... \n"), "Converting \"a b\" ...");
    EXPECT_EQ(imsg_strip_style_chars("one\ntwo\n"), "one\ntwo");
    EXPECT_EQ(imsg_strip_style_chars("\n\n"), "");
    std::string x;
    ASSERT_EQ(tbs_version_ext_pname(&x, "src/a.c", "/main/3"), 0);
    EXPECT_EQ(x, "src/a.c@@/main/3");
    // No version names the element itself.
    ASSERT_EQ(tbs_version_ext_pname(&x, "src/a.c", ""), 0);
    EXPECT_EQ(x, "src/a.c@@");
    ASSERT_EQ(tbs_version_ext_pname(&x, "src/a.c", nullptr), 0);
    EXPECT_EQ(x, "src/a.c@@");
    EXPECT_NE(tbs_version_ext_pname(&x, "", "/main/1"), 0);
    // Refused, and *out left alone: a path read back wrong, a result too long.
    EXPECT_NE(tbs_version_ext_pname(&x, "src/a.c@@/main/2", "/main/1"), 0);
    EXPECT_NE(tbs_version_ext_pname(&x, std::string(FILEUTL_MAX_PATH - 2, 'a').c_str(), ""), 0);
    EXPECT_EQ(x, "src/a.c@@");
    ASSERT_EQ(tbs_version_ext_pname(&x, std::string(FILEUTL_MAX_PATH - 3, 'a').c_str(), ""), 0);
    EXPECT_EQ(x.size(), size_t(FILEUTL_MAX_PATH) - 1);
    std::string dir = tbs_product_tool_dir_quoted();
    ASSERT_GE(dir.size(), 3u);
    EXPECT_EQ(dir.front(), '"');
    EXPECT_EQ(dir.back(), '"');
    std::string self = dir.substr(1, dir.size() - 2) + "/runtime_tests";
    EXPECT_EQ(access(self.c_str(), X_OK), 0) << dir;   // the directory of this program
    EXPECT_STREQ(tbs_product_name(), "Vantor");
}

TEST(Sysutl, IdentitiesOfThisProcess) {
    std::string user, group;
    ASSERT_EQ(credutl_get_credentials(&user, &group), 0);
    EXPECT_FALSE(user.empty());
    EXPECT_FALSE(group.empty());
    EXPECT_EQ(sysutl_mygroupname(), group);
    EXPECT_EQ(nt_is_privileged(), geteuid() == 0 ? 1 : 0);
    EXPECT_FALSE(sysutl_myhostname().empty());
    credutl_pw pw;
    ASSERT_EQ(credutl_getpwnam(user.c_str(), &pw), 0);
    EXPECT_EQ(pw.name, user);
    EXPECT_EQ(pw.uid, unsigned(geteuid()));
    EXPECT_EQ(pw.full_name.find(','), std::string::npos);
    EXPECT_NE(credutl_getpwnam("no-such-user-xyz", &pw), 0);
    credutl_pw by_uid;
    ASSERT_EQ(credutl_getpwuid(unsigned(geteuid()), &by_uid), 0);
    EXPECT_EQ(by_uid.name, user);
    EXPECT_EQ(by_uid.dir, pw.dir);
}

#define NUMBERED_TEST_MESSAGES(X) \
    X(NT_FIRST, 2, "first %s")    \
    X(NT_LAST, 5, "last")
IMSG_DEFINE_NUMBERED_CATALOG(numbered_msgs, "test_lib", "numbered", 3, NUMBERED_TEST_MESSAGES)

// Each text stands at its number, the gaps empty; a bad progress interval is
// told through the caller's catalog and the default taken.
TEST_F(Imsg, NumberedCatalogAndIntervalWarning) {
    const imsg_catalog *cat = numbered_msgs();
    EXPECT_STREQ(cat->facility, "test_lib");
    EXPECT_EQ(cat->module_number, 3);
    ASSERT_EQ(cat->count, 6);
    EXPECT_STREQ(imsg_text(cat, 2), "first %s");
    EXPECT_STREQ(imsg_text(cat, 5), "last");
    EXPECT_STREQ(imsg_text(cat, 3), "");
    EXPECT_EQ(cat, numbered_msgs());

    std::string bad;
    ASSERT_EQ(setenv("VANTOR_PROGRESS_INTERVAL", "soon", 1), 0);
    double fallback = imsg_progress_interval(&bad);
    cap.clear();
    EXPECT_EQ(imsg_progress_interval_warn(cat, 2), fallback);
    EXPECT_NE(cap.err().find("first " + bad), std::string::npos) << cap.err();
    ASSERT_EQ(setenv("VANTOR_PROGRESS_INTERVAL", "2.5", 1), 0);
    cap.clear();
    EXPECT_EQ(imsg_progress_interval_warn(cat, 2), 2.5);
    EXPECT_EQ(cap.err(), "");
    unsetenv("VANTOR_PROGRESS_INTERVAL");
}

}   // namespace
