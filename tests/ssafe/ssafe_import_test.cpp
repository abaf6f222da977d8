// End to end: the fixture database exported with and without -F and
// imported with vantimport into a fresh VOB, the `ssafeget` stand-in first
// on PATH. The import makes every version, even one whose contents equal its
// predecessor's (a labelling's), so that each record has its own version. Every version's contents read back through the VOB equal the
// fixture's; labels, branches and alternate names are in the VOB.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "runtime/strutl.h"
#include "tests/rcs/rcs_test_util.h"
#include "tests/ssafe/ssafe_fixture.h"

namespace {

using ssafe_test::json;

struct SsImport : ::testing::Test {
    testutil::TempDir dir;
    json db = ssafe_test::database();
    std::string vantor = std::string(VANTOR_BUILD_DIR) + "/platform/vantor/vantor";
    std::string vantimport = std::string(VANTOR_BUILD_DIR) + "/importers/vantimport/vantimport";

    std::string env() const {
        return "VANTOR_HOME=" + strutl_sh_squote(dir / "home") +
               " SSDB=" + strutl_sh_squote(dir / "db.json") + " TMP=" + strutl_sh_squote(dir.path()) +
               " PATH=" + strutl_sh_squote(SSAFE_BIN_DIR) + ":\"$PATH\" LC_ALL=C ";
    }
    std::string view_root() const { return dir / "view" + "/e2e"; }
    std::string vob(const std::string &args) {
        std::string out;
        testutil::shell(env() + strutl_sh_squote(vantor) + " " + args + " 2>&1", &out);
        return out;
    }

    void export_and_import(const std::string &opts, int want_status, data_file *df) {
        testutil::write_file(dir / "db.json", db.dump(1));
        testutil::make_dirs(dir / "work");
        std::string out;
        ASSERT_EQ(testutil::shell("cd " + strutl_sh_squote(dir / "work") + " && " + env() +
                                      strutl_sh_squote(SSAFE_PROGRAM) + " " + opts + " -o " +
                                      strutl_sh_squote(dir / "cvt_data") + " 2>&1",
                                  &out),
                  want_status)
            << out;
        ASSERT_TRUE(read_data_file(dir / "cvt_data", df));
        ASSERT_EQ(testutil::shell(env() + strutl_sh_squote(vantor) + " mkvob -tag /e2e >/dev/null && " +
                                  env() + strutl_sh_squote(vantor) + " mkview -tag e2e_view -vob /e2e " +
                                  strutl_sh_squote(dir / "view") + " >/dev/null"),
                  0);
        ASSERT_EQ(testutil::shell("cd " + strutl_sh_squote(view_root()) + " && " + env() +
                                      strutl_sh_squote(vantimport) + " -identical " +
                                      strutl_sh_squote(dir / "cvt_data") + " 2>&1",
                                  &out),
                  0)
            << out;
    }

    static const json *dumped(const json &dump, const std::string &name) {
        for (const json &e : dump["elements"]) {
            const std::string p = e["path"].is_string() ? e["path"].get<std::string>() : "";
            if (p == name || p == "./" + name)
                return &e;
        }
        return nullptr;
    }

    // The place and number an extract command names: its first argument as
    // the shell reads it (escapes undone, "%%" a "%"), then the number.
    static void named(const std::string &cmd, std::string *place, int *n) {
        size_t i = cmd.find('"') + 1;
        place->clear();
        for (; i < cmd.size() && cmd[i] != '"'; ++i) {
            if (cmd[i] == '\\' || (cmd[i] == '%' && cmd[i + 1] == '%'))
                ++i;
            *place += cmd[i];
        }
        *n = std::stoi(cmd.substr(i + 2));
    }

    // Every version through its branch and its place there: the contents
    // the fixture holds, and the labels of the data file.
    int check_versions(const data_file &df) {
        const json dump = json::parse(vob("dump --json /e2e"), nullptr, false);
        EXPECT_FALSE(dump.is_discarded());
        int checked = 0;
        for (const data_element &e : df.elements) {
            const std::string name = e.get("Name");
            const json *de = dumped(dump, name);
            EXPECT_NE(de, nullptr) << name;
            if (!de)
                continue;
            std::map<std::string, int> count;
            for (const data_version &v : e.versions) {
                std::string branch = "/main";
                if (!v.get("OnBranch").empty())
                    branch += "/" + v.get("OnBranch");
                const std::string vid = branch + "/" + std::to_string(++count[branch]);
                SCOPED_TRACE(name + " " + v.get("VersionId") + " as " + vid);
                std::string place;
                int n = 0;
                named(v.get("ExtractCmd"), &place, &n);
                EXPECT_EQ(vob("cat " + strutl_sh_squote(view_root() + "/" + name + "@@" + vid)),
                          ssafe_test::contents_at(db, place, n));
                const json *dv = nullptr;
                for (const json &x : (*de)["versions"])
                    if (x["id"] == vid)
                        dv = &x;
                EXPECT_NE(dv, nullptr);
                if (!dv)
                    continue;
                std::vector<std::string> want = v.all("Label"), got = (*dv)["labels"];
                std::sort(want.begin(), want.end());
                std::sort(got.begin(), got.end());
                EXPECT_EQ(got, want);
                ++checked;
            }
        }
        return checked;
    }
};

TEST_F(SsImport, EachPlaceAnElementWithoutF) {
    data_file df;
    export_and_import("-r -V", 0, &df);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(check_versions(df), 5 + 5 + 3 + 5 + 2 + 2 + 3);
    const json dump = json::parse(vob("dump --json /e2e"), nullptr, false);
    const json *pinned = dumped(dump, "pinned.c");
    ASSERT_NE(pinned, nullptr);
    EXPECT_NE(pinned->dump().find("\"PINNED\""), std::string::npos);
    EXPECT_NE(pinned->dump().find("\"SSAFE_VERSION\":\"3\""), std::string::npos) << pinned->dump();
}

TEST_F(SsImport, SharesBecomeNamesAndBranchesBranchesWithF) {
    data_file df;
    export_and_import("-r -F", 2, &df);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(check_versions(df), 8 + 3 + 2);
    std::string dump = vob("dump --json /e2e");
    for (const char *want : {"\"/main/proj_dev\"", "\"/main/proj_dev/other_hot\""})
        EXPECT_NE(dump.find(want), std::string::npos) << want;
    // The shared places name the same element: one file, three names.
    EXPECT_EQ(testutil::read_file(view_root() + "/sub/a.c"), "a5\n");
    EXPECT_EQ(testutil::read_file(view_root() + "/dev/a.c"), "a5\n");
    EXPECT_EQ(vob("cat " + strutl_sh_squote(view_root() + "/sub/a.c@@/main/proj_dev/2")), "dev5\n");
}

TEST_F(SsImport, NamesWithShellCharactersArriveWhole) {
    const std::string sub = "we ird $(touch ran1)";
    const std::string leaf = "q\"uo`touch ran2` $HOME 50%.c";
    db = json();
    db["current"] = "$/proj";
    db["projects"] = {"$/proj", "$/proj/" + sub};
    db["files"]["F"] = {{"entries",
                         {ssafe_test::entry(1, "5/05/05", "Created", "one\n"),
                          ssafe_test::entry(2, "5/06/05", "Checked in $/proj", "two $(x)\n")}}};
    db["places"] = {{{"path", "$/proj/" + sub + "/" + leaf}, {"file", "F"}}};
    data_file df;
    export_and_import("-r", 0, &df);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(check_versions(df), 2);
    EXPECT_EQ(testutil::read_file(view_root() + "/" + sub + "/" + leaf), "two $(x)\n");
    std::string found;
    testutil::shell("find " + strutl_sh_squote(dir.path()) + " -name 'ran*'", &found);
    EXPECT_EQ(found, "");
}

}   // namespace
