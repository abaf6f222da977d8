// vantor lsvtree as a tree (default, -l, -all) and as the flat list of -s;
// describe's comments and stored text; lsview; --version and "--".
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include <filesystem>

namespace {

const int64_t T0 = 1000000000;   // 2001-09-09T01:46:40Z

struct Vtree : testvob::ViewTest {
    vob_oid root_dir = 0;
    // An element made through the store, so that events carry the texts and
    // times of old imports: Latin-1 bytes, comments closed by a line end.
    vob_oid ver(vob_oid branch, int64_t minute, const char *comment, const char *user = "alice",
                const char *group = "staff") {
        vob_event ev;
        ev.time = T0 + 60 * minute;
        ev.user = user;
        ev.group = group;
        ev.host = "h";
        ev.comment = comment;
        vob_oid out = 0;
        EXPECT_EQ(vob_ver_create(vob, branch, vob_data_bytes(comment), &ev, &out), VOB_OK) << vob_errmsg(vob);
        return out;
    }
    vob_oid type(int mtype, const char *name) {
        vob_event ev = vob_event_now();
        vob_oid t = 0;
        EXPECT_EQ(vob_type_create(vob, mtype, name, &ev, &t), VOB_OK) << vob_errmsg(vob);
        return t;
    }
    vob_oid branch(vob_oid from, vob_oid brtype) {
        vob_event ev = vob_event_now();
        vob_oid b = 0;
        EXPECT_EQ(vob_branch_create(vob, from, brtype, &ev, &b), VOB_OK) << vob_errmsg(vob);
        return b;
    }
    void SetUp() override {
        testvob::ViewTest::SetUp();
        vob_event ev = vob_event_now();
        vob_oid e = 0, e2 = 0;
        ASSERT_EQ(vob_elem_create(vob, vob_wk_obj(vob, VOB_WK_ROOT_DIR), "a.c", VOB_MT_FILE_ELEM, 0, &ev, &e),
                  VOB_OK);
        ASSERT_EQ(vob_elem_create(vob, vob_wk_obj(vob, VOB_WK_ROOT_DIR), "-h", VOB_MT_FILE_ELEM, 0, &ev, &e2),
                  VOB_OK);
        vob_elem_info ei;
        ASSERT_EQ(vob_elem_get(vob, e, &ei), VOB_OK);
        vob_oid m = ei.main_branch;
        ver(m, 1, "first");
        vob_oid m2 = ver(m, 2, "caf\xe9 fix", "j\xf6rg", "g\xe9");
        ver(m, 3, "ends with a line end\n");
        ver(m, 4, "four");
        vob_oid m5 = ver(m, 5, "five");
        ver(m, 6, "line one\n\nline three\n");
        for (const char *l : {"REL1", "REL2"})
            ASSERT_EQ(vob_ver_add_label(vob, m2, type(VOB_MT_LBTYPE, l), 0, &ev), VOB_OK);
        vob_oid r = branch(m2, type(VOB_MT_BRTYPE, "rel_1"));
        vob_oid r1 = ver(r, 7, "r1");
        vob_oid r2 = ver(r, 8, "r2");
        ver(r, 9, "r3");
        branch(r1, type(VOB_MT_BRTYPE, "fix"));
        vob_oid h = 0;
        ASSERT_EQ(vob_hlink_create(vob, vob_wk_obj(vob, VOB_WK_MERGE_HLTYPE), r2, m5, &ev, &h), VOB_OK);
    }
    std::string run(const std::string &args, int want = 0) {
        std::string out, err;
        EXPECT_EQ(testvob::run_vantor(args, &out, &err, vob_root()), want) << args << "\n" << err;
        return want ? err : out;
    }
};

TEST_F(Vtree, TreeLongAllAndFlat) {
    EXPECT_EQ(run("lsvtree a.c"), "/main\n"
                                  "  ... 2 versions\n"
                                  "  /main/2 (REL1, REL2)\n"
                                  "    /main/rel_1\n"
                                  "      /main/rel_1/0\n"
                                  "      /main/rel_1/1\n"
                                  "        /main/rel_1/fix\n"
                                  "          /main/rel_1/fix/0\n"
                                  "      /main/rel_1/2 -> /main/5\n"
                                  "      /main/rel_1/3\n"
                                  "  ... 2 versions\n"
                                  "  /main/5\n"
                                  "  /main/6\n");
    // -s is the list of earlier releases: every version, flat.
    const std::string flat = "/main/0\n/main/1\n/main/2 (REL1, REL2)\n/main/rel_1/0\n/main/rel_1/1\n"
                             "/main/rel_1/fix/0\n/main/rel_1/2\n/main/rel_1/3\n/main/3\n/main/4\n/main/5\n/main/6\n";
    EXPECT_EQ(run("lsvtree -s a.c"), flat);
    EXPECT_EQ(run("lsvtree -s -all /t/a.c"), flat);
    EXPECT_EQ(run("lsvtree -all a.c"), "/main\n  /main/0\n  /main/1\n  /main/2 (REL1, REL2)\n    /main/rel_1\n"
                                       "      /main/rel_1/0\n      /main/rel_1/1\n        /main/rel_1/fix\n"
                                       "          /main/rel_1/fix/0\n      /main/rel_1/2 -> /main/5\n"
                                       "      /main/rel_1/3\n  /main/3\n  /main/4\n  /main/5\n  /main/6\n");
    std::string l = run("lsvtree -l a.c");
    for (const char *want : {"  /main/2 (REL1, REL2)\n      2001-09-09T01:48:40Z by j\\xf6rg\n        caf\\xe9 fix\n",
                             "      /main/rel_1/2 -> /main/5\n          2001-09-09T01:54:40Z by alice\n            r2\n"})
        EXPECT_NE(l.find(want), std::string::npos) << want << "\n" << l;
    EXPECT_TRUE(l.ends_with("  /main/6\n      2001-09-09T01:52:40Z by alice\n        line one\n        \n"
                            "        line three\n"))
        << l;
    std::string la = run("lsvtree -l -all a.c");
    EXPECT_NE(la.find("  /main/3\n      2001-09-09T01:49:40Z by alice\n        ends with a line end\n  /main/4\n"),
              std::string::npos)
        << la;
    EXPECT_NE(run("lsvtree -s -l a.c", 1).find("lsvtree: -s does not go with -l"), std::string::npos);
}

TEST_F(Vtree, DescribeShowsStoredTextAsItIs) {
    std::string d = run("describe a.c@@/main/2");
    EXPECT_NE(d.find("  created 2001-09-09T01:48:40Z by j\\xf6rg, group g\\xe9, on h\n  comment: caf\\xe9 fix\n"
                     "  contents:"),
              std::string::npos)
        << d;
    EXPECT_NE(run("describe a.c@@/main/3").find("  comment: ends with a line end\n  contents:"), std::string::npos);
    EXPECT_NE(run("describe a.c").find("  comment: line one\n\nline three\n  contents:"), std::string::npos);
    // "--" ends the options: "-h" is the element, not a request for help.
    EXPECT_NE(run("describe -- -h").find("version \"/t/-h@@/main/0\""), std::string::npos);
    EXPECT_EQ(run("lsvtree -s -- -h"), "/main/0\n");
    EXPECT_NE(run("lsvtree -h").find("Usage: vantor"), std::string::npos);
    std::string banner = run("-Ver");
    EXPECT_NE(banner.find("vantor "), std::string::npos) << banner;
    EXPECT_EQ(run("--version"), banner);
    EXPECT_EQ(run("-V"), banner);
}

TEST_F(Vtree, LsviewListsEveryRegisteredView) {
    const std::string bare = home + "/bare", gone = home + "/gone";
    run("mkview -tag bare '" + bare + "'");
    run("mkview -tag gone -vob /t '" + gone + "'");
    std::filesystem::remove_all(gone);
    std::string pad(20, ' ');
    std::string out = run("lsview");
    EXPECT_EQ(out.find("bare" + pad + " " + bare + " (loads no VOB)\n"), 0u) << out;
    EXPECT_NE(out.find("\ngone" + pad + " " + gone + " (cannot be opened: "), std::string::npos) << out;
    EXPECT_NE(out.find("\nvt" + pad + "   " + view_root + " (VOBs /t)\n"), std::string::npos) << out;
    std::string lng = run("lsview -long");
    EXPECT_NE(lng.find("view \"vt\"\n  directory: " + view_root + "\n  region: default\n  VOBs: /t\n"
                       "  stream: (none)\n"),
              std::string::npos)
        << lng;
}

}   // namespace
