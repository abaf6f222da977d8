// End to end: an RCS archive whose symbols the store would refuse as they
// stand (a branch starting with "#", a label starting with "-", a label with a
// byte that is no character) is exported and imported; the element arrives
// whole, on the repaired branch and with the repaired labels.
#include <gtest/gtest.h>

#include <string>

#include "tests/common/testutil.h"

namespace {

struct NamesImport : ::testing::Test {
    testutil::TempDir dir;
    std::string env() const { return "VANTOR_HOME='" + dir / "home" + "' "; }
    std::string vob(const std::string &args) {
        std::string out;
        testutil::shell(env() + "'" VANTOR_BIN "' " + args + " 2>&1", &out);
        return out;
    }
};

TEST_F(NamesImport, ElementWithRepairedNamesIsImportedWhole) {
    std::string out;
    ASSERT_EQ(testutil::shell("mkdir -p '" + dir / "src" + "' && cd '" + dir / "src" +
                                  "' && printf 'a\\n' > f.c && ci -q -t- -m'one' f.c && co -q -l f.c &&"
                                  " printf 'b\\n' >> f.c && ci -q -r1.1.1 -m'on branch' f.c &&"
                                  " rcs -q '-n#BranchStartsWithHash_X:1.1.1' \"-nrel$(printf '\\377')x:1.1\""
                                  " -n-dash:1.1 f.c 2>&1",
                              &out),
              0)
        << out;
    ASSERT_EQ(testutil::shell("cd '" + dir / "src" + "' && LC_ALL=C.UTF-8 '" VANTEXPORT_RCS "' -r -o '" +
                                  dir / "cvt_data" + "' . 2>&1",
                              &out),
              0)
        << out;
    EXPECT_NE(out.find("Had to rename branch type #BranchStartsWithHash_X to _BranchStartsWithHash_X"),
              std::string::npos)
        << out;
    std::string view = dir / "view" + "/n";
    ASSERT_EQ(
        testutil::shell(env() + "'" VANTOR_BIN "' mkvob -tag /n >/dev/null && " + env() +
                        "'" VANTOR_BIN "' mkview -tag n_view -vob /n '" + dir / "view" + "' >/dev/null"),
        0);
    ASSERT_EQ(
        testutil::shell(
            "cd '" + view + "' && " + env() + "'" VANTIMPORT_BIN "' '" + dir / "cvt_data" + "' 2>&1", &out),
        0)
        << out;
    std::string tree = vob("lsvtree -s '" + view + "/f.c'");
    EXPECT_NE(tree.find("/main/_BranchStartsWithHash_X/1"), std::string::npos) << tree;
    std::string first = vob("describe '" + view + "/f.c@@/main/1'");
    EXPECT_NE(first.find("_dash"), std::string::npos) << first;
    EXPECT_NE(first.find("rel.x"), std::string::npos) << first;
    EXPECT_EQ(vob("cat '" + view + "/f.c@@/main/_BranchStartsWithHash_X/1'"), "a\nb\n");
}

}   // namespace
