// End to end: archives written with the tests' writer are exported with -G
// and -V, imported with vantimport into a fresh VOB with the `get` stand-in
// first on PATH, and every version's contents read back through the VOB equal
// what the archive holds; labels, branches and attributes are in the VOB.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "runtime/strutl.h"
#include "tests/common/testutil.h"
#include "tests/pvcs/pvcs_writer.h"
#include "tests/rcs/rcs_test_util.h"

namespace {

using pvcs_test::archive;
using pvcs_test::revision;

std::string all_bytes() {
    std::string s;
    for (int i = 0; i < 256; ++i)
        s += char(i);
    return s + "\r\n\n";
}

struct PvcsImport : ::testing::Test {
    testutil::TempDir dir;
    std::string top = dir / "tree";
    std::string vantor = std::string(VANTOR_BUILD_DIR) + "/platform/vantor/vantor";
    std::string vantimport = std::string(VANTOR_BUILD_DIR) + "/importers/vantimport/vantimport";
    // element name -> revision -> contents, and promotion group
    std::map<std::string, std::map<std::string, std::string>> held, groups;

    std::string env() const { return "VANTOR_HOME='" + dir / "home" + "' "; }
    std::string view_root() const { return dir / "view" + "/e2e"; }

    void add(const std::string &rel, const std::string &element, archive a) {
        for (revision &r : a.revisions) {
            if (!r.contents)
                r.contents = element + " at " + r.number + "\n";
            held[element][r.number] = *r.contents;
        }
        testutil::make_dirs(top + "/" + rel.substr(0, rel.rfind('/')));
        pvcs_test::write_file(top + "/" + rel, a);
    }

    // Trunk 1.0-1.3; branch 1.1.1 (label rel1) with a nested branch 1.1.1.1.1
    // (label hot); the unnamed branch 1.2.1; 1.2 holds every byte value.
    void make_tree() {
        auto rev = [](const std::string &n, int day) {
            revision r;
            r.number = n;
            r.time = pvcs_test::dos_time(2004, 6, day, 9, 30, 0);
            r.author = "bob";
            r.comment = "change " + n;
            return r;
        };
        archive a;
        a.workfile = "C:\\WORK\\MAIN.C";
        a.owner = "bob";
        a.revisions = {rev("1.3", 9),     rev("1.2.1.0", 8), rev("1.1.1.1.1.0", 7), rev("1.2", 6),
                       rev("1.1.1.1", 5), rev("1.1.1.0", 4), rev("1.1", 3),         rev("1.0", 2)};
        a.revisions[3].contents = all_bytes();
        a.labels = {
            {"BASE", "1.0"}, {"rel1", "1.1.1"}, {"GOOD", "1.2"}, {"hot", "1.1.1.1.1"}, {"ALSO", "1.2"}};
        a.groups = {{"PROD", "1.2"}, {"DEV", "1.3"}};
        a.locks = {{"bob", "1.3"}};
        add("src/VCS/main.c_v", "src/MAIN.C", a);
        groups["src/MAIN.C"] = {{"1.2", "PROD"}, {"1.3", "DEV"}};
        archive b;
        b.workfile = "with blank.c";
        b.revisions = {rev("1.1", 4), rev("1.0", 3)};
        add("src/with blank.c_v", "src/with blank.c", b);
        // Blocks in another order than the chain's, the header last: every
        // distance leads backwards.
        archive c = b;
        c.workfile = "back.c";
        c.revisions = {rev("1.2", 5), rev("1.1", 4), rev("1.0", 3)};
        c.block_order = {2, 1, 0};
        c.header_last = true;
        add("lib/back.c_v", "lib/back.c", c);
    }

    std::string vob(const std::string &args) {
        std::string out;
        testutil::shell(env() + "'" + vantor + "' " + args + " 2>&1", &out);
        return out;
    }

    void export_and_import(const std::string &seps, data_file *df) {
        std::string out;
        ASSERT_EQ(testutil::shell("cd '" + top + "' && " + seps + " '" + PVCS_PROGRAM + "' -r -G -V -o '" +
                                      dir / "cvt_data" + "' 2>&1",
                                  &out),
                  0)
            << out;
        ASSERT_TRUE(read_data_file(dir / "cvt_data", df));
        ASSERT_EQ(
            testutil::shell(env() + "'" + vantor + "' mkvob -tag /e2e >/dev/null && " + env() + "'" + vantor +
                            "' mkview -tag e2e_view -vob /e2e '" + dir / "view" + "' >/dev/null"),
            0);
        ASSERT_EQ(testutil::shell("cd '" + view_root() + "' && " + env() + seps + " PATH='" + PVCS_GET_DIR +
                                      "':\"$PATH\" '" + vantimport + "' '" + dir / "cvt_data" + "' 2>&1",
                                  &out),
                  0)
            << out;
    }

    // The dump's record of an element, by its path; null when it has none.
    static const nlohmann::json *dumped(const nlohmann::json &dump, const std::string &name) {
        for (const nlohmann::json &e : dump["elements"]) {
            const std::string p = e["path"].is_string() ? e["path"].get<std::string>() : "";
            if (p == name || p == "./" + name)
                return &e;
        }
        return nullptr;
    }
    static const nlohmann::json *dumped_version(const nlohmann::json &e, const std::string &vid) {
        for (const nlohmann::json &v : e["versions"])
            if (v["id"] == vid)
                return &v;
        return nullptr;
    }

    // Every version through its branch and its place there: its contents, and
    // in the dump its labels and attributes.
    void check_versions(const data_file &df) {
        const nlohmann::json dump = nlohmann::json::parse(vob("dump --json /e2e"), nullptr, false);
        ASSERT_FALSE(dump.is_discarded());
        int checked = 0;
        for (const data_element &e : df.elements) {
            const std::string name = e.get("Name");
            const std::string path = view_root() + "/" + name;
            const nlohmann::json *de = dumped(dump, name);
            ASSERT_NE(de, nullptr) << name;
            std::map<std::string, int> count;
            for (const data_version &v : e.versions) {
                const std::string id = v.get("VersionId");
                std::string branch = "/main";
                if (!v.get("OnBranch").empty())
                    branch += "/" + v.get("OnBranch");
                const std::string vid = branch + "/" + std::to_string(++count[branch]);
                SCOPED_TRACE(name + " " + id + " as " + vid);
                EXPECT_EQ(vob("cat " + strutl_sh_squote(path + "@@" + vid)), held[name][id]);
                const nlohmann::json *dv = dumped_version(*de, vid);
                ASSERT_NE(dv, nullptr);
                std::vector<std::string> want = v.all("Label"), got = (*dv)["labels"];
                std::sort(want.begin(), want.end());
                std::sort(got.begin(), got.end());
                EXPECT_EQ(got, want);
                EXPECT_EQ((*dv)["attributes"].value("PVCS_REVISION", ""), id);
                EXPECT_EQ((*dv)["attributes"].value("PVCS_GROUP", ""), groups[name][id]);
                ++checked;
            }
        }
        EXPECT_EQ(checked, 13);   // every revision of the three archives
    }
};

TEST_F(PvcsImport, ArchivesLandInTheVob) {
    make_tree();
    data_file df;
    export_and_import("", &df);
    if (HasFatalFailure())
        return;
    check_versions(df);
    // The branches by their labels and, unnamed, by their numbers.
    std::string dump = vob("dump --json /e2e");
    for (const char *want : {"\"/main/rel1\"", "\"/main/rel1/hot\"", "\"/main/1.2.1\""})
        EXPECT_NE(dump.find(want), std::string::npos) << want;
}

TEST_F(PvcsImport, OtherSeparatorsOnBothSides) {
    make_tree();
    data_file df;
    export_and_import("PVCS_LEFT_SEPARATOR='[' PVCS_RIGHT_SEPARATOR=']'", &df);
    if (HasFatalFailure())
        return;
    EXPECT_NE(df.elements[0].versions[0].get("ExtractCmd").find("[%s]\""), std::string::npos);
    check_versions(df);
}

}   // namespace
