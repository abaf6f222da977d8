// Snapshot views: loading and updating by the config spec, the checked-out
// and hijacked files, lookups through the view.
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include "platform/view/pname.h"
#include "platform/registry/registry.h"
#include "platform/view/view.h"

#include <filesystem>
#include <map>
#include <sys/stat.h>

namespace {

struct View : testvob::VobTest {
    vob_t *v = nullptr;
    view_t *w = nullptr;
    std::string root;
    vob_oid src = 0, a = 0, b = 0;
    void SetUp() override {
        testvob::VobTest::SetUp();
        v = make_vob("/proj");
        ASSERT_NE(v, nullptr);
        vob_oid r = vob_wk_obj(v, VOB_WK_ROOT_DIR);
        ASSERT_EQ(vob_elem_create(v, r, "src", VOB_MT_DIR_ELEM, 0, nullptr, &src), VOB_OK);
        ASSERT_EQ(vob_elem_create(v, src, "a.c", VOB_MT_FILE_ELEM, 0, nullptr, &a), VOB_OK);
        ASSERT_EQ(vob_elem_create(v, r, "b.txt", VOB_MT_FILE_ELEM, 0, nullptr, &b), VOB_OK);
        put(a, "a1\n");
        put(b, "b1\n");
        root = home + "/view";
        std::string err;
        ASSERT_EQ(view_make("me", root, &err), VOB_OK) << err;
        ASSERT_EQ(view_open(root, &w, &err), VOB_OK) << err;
        ASSERT_EQ(view_add_scope(w, "/proj"), VOB_OK) << view_errmsg(w);
    }
    void TearDown() override {
        view_close(w);
        vob_close(v);
        testvob::VobTest::TearDown();
    }
    vob_oid branch_of(vob_oid e) {
        vob_elem_info ei;
        EXPECT_EQ(vob_elem_get(v, e, &ei), VOB_OK);
        return ei.main_branch;
    }
    vob_oid put(vob_oid e, const std::string &bytes, vob_oid branch = 0) {
        vob_oid ver = 0;
        EXPECT_EQ(vob_ver_create(v, branch ? branch : branch_of(e), vob_data_bytes(bytes), nullptr, &ver),
                  VOB_OK)
            << vob_errmsg(v);
        return ver;
    }
    view_update_stats update(std::vector<std::string> *warnings = nullptr) {
        view_update_stats st;
        EXPECT_EQ(view_update(w, nullptr, &st, warnings), VOB_OK) << view_errmsg(w);
        return st;
    }
};

TEST_F(View, LoadsAndUpdatesLatestVersions) {
    view_update_stats st = update();
    EXPECT_EQ(st.loaded, 2);
    EXPECT_EQ(testutil::read_file(root + "/proj/src/a.c"), "a1\n");
    EXPECT_EQ(testutil::read_file(root + "/proj/b.txt"), "b1\n");
    EXPECT_TRUE(std::filesystem::is_directory(root + "/proj/lost+found"));
    struct stat sb;
    ASSERT_EQ(stat((root + "/proj/b.txt").c_str(), &sb), 0);
    EXPECT_EQ(sb.st_mode & 0222, 0u);   // loaded files are read-only

    put(a, "a2\n");
    vob_oid c;
    ASSERT_EQ(vob_elem_create(v, src, "c.c", VOB_MT_FILE_ELEM, 0, nullptr, &c), VOB_OK);
    ASSERT_EQ(vob_dir_remove_name(v, vob_wk_obj(v, VOB_WK_ROOT_DIR), 0, "b.txt", nullptr), VOB_OK);
    st = update();
    EXPECT_EQ(testutil::read_file(root + "/proj/src/a.c"), "a2\n");
    EXPECT_EQ(testutil::read_file(root + "/proj/src/c.c"), "");
    EXPECT_FALSE(std::filesystem::exists(root + "/proj/b.txt"));
    EXPECT_EQ(st.loaded, 2);
    EXPECT_EQ(st.removed, 1);
    st = update();
    EXPECT_EQ(st.loaded, 0);
    EXPECT_EQ(st.unchanged, 2);
}

TEST_F(View, ConfigSpecChoosesBranchesAndLabels) {
    vob_oid dev, lb, a1;
    ASSERT_EQ(vob_type_create(v, VOB_MT_BRTYPE, "dev", nullptr, &dev), VOB_OK);
    ASSERT_EQ(vob_type_create(v, VOB_MT_LBTYPE, "REL", nullptr, &lb), VOB_OK);
    ASSERT_EQ(vob_ver_find(v, a, "/main/1", &a1), VOB_OK);
    vob_oid br;
    ASSERT_EQ(vob_branch_create(v, a1, dev, nullptr, &br, nullptr), VOB_OK);
    put(a, "a on dev\n", br);
    put(a, "a2\n");
    ASSERT_EQ(vob_ver_add_label(v, a1, lb, 0, nullptr), VOB_OK);

    ASSERT_EQ(view_set_config_spec(w,
                                   "# dev work\nelement * CHECKEDOUT\nelement * /main/dev/LATEST\n"
                                   "element * /main/LATEST\n"),
              VOB_OK);
    update();
    EXPECT_EQ(testutil::read_file(root + "/proj/src/a.c"), "a on dev\n");
    EXPECT_EQ(testutil::read_file(root + "/proj/b.txt"), "b1\n");
    // Directories are selected too: src has no label, so its latest version is taken.
    ASSERT_EQ(view_set_config_spec(w, "element * REL\nelement * /main/LATEST\n"), VOB_OK);
    update();
    EXPECT_EQ(testutil::read_file(root + "/proj/src/a.c"), "a1\n");
    EXPECT_EQ(testutil::read_file(root + "/proj/b.txt"), "b1\n");
    ASSERT_EQ(view_set_config_spec(w, "element * /main/0\n"), VOB_OK);
    update();
    EXPECT_FALSE(std::filesystem::exists(root + "/proj/src"));   // the root's first version is empty
    ASSERT_EQ(view_set_config_spec(w, "element * REL\nelement * /main/0\n"), VOB_OK);

    // A bad spec is refused with its line, and the old one stays.
    EXPECT_NE(view_set_config_spec(w, "element * /main/LATEST\nelement src/* /main/LATEST\n"), VOB_OK);
    EXPECT_NE(view_errmsg(w).find("line 2"), std::string::npos) << view_errmsg(w);
    for (const char *bad : {"", "elements * /main/LATEST", "element * /main/LATEST -mkbranch dev",
                            "element * main/LATEST", "element * /main/", "element *"})
        EXPECT_NE(view_set_config_spec(w, bad), VOB_OK) << bad;
    std::string text;
    ASSERT_EQ(view_get_config_spec(w, &text), VOB_OK);
    EXPECT_EQ(text, "element * REL\nelement * /main/0\n");
    // The spec is kept in the view.
    view_t *again;
    std::string err;
    ASSERT_EQ(view_open(root + "/proj/src", &again, &err), VOB_OK) << err;
    ASSERT_EQ(view_get_rules(again).size(), 2u);
    EXPECT_EQ(view_get_rules(again)[0].kind, vob_rule::LABEL);
    view_close(again);
}

TEST_F(View, CheckedOutAndHijackedFilesAreKept) {
    update();
    ASSERT_EQ(view_checkout(w, root + "/proj/src/a.c", 1, "edit"), VOB_OK) << view_errmsg(w);
    testutil::write_file(root + "/proj/src/a.c", "my edit\n");
    chmod((root + "/proj/b.txt").c_str(), 0644);
    testutil::write_file(root + "/proj/b.txt", "hijack\n");
    put(b, "b2\n");
    std::vector<std::string> warnings;
    view_update_stats st = update(&warnings);
    EXPECT_EQ(st.kept, 2);
    EXPECT_EQ(testutil::read_file(root + "/proj/src/a.c"), "my edit\n");
    EXPECT_EQ(testutil::read_file(root + "/proj/b.txt"), "hijack\n");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("b.txt"), std::string::npos);

    vob_oid ver;
    ASSERT_EQ(view_checkin(w, root + "/proj/src/a.c", "", "my change", &ver), VOB_OK) << view_errmsg(w);
    std::string s;
    ASSERT_EQ(vob_ver_read_data(v, ver, &s), VOB_OK);
    EXPECT_EQ(s, "my edit\n");
    EXPECT_NE(view_checkin(w, root + "/proj/src/a.c", "", "", &ver), VOB_OK);   // not checked out now
    EXPECT_NE(view_errmsg(w).find("is not checked out"), std::string::npos);
}

TEST_F(View, LookupThroughTheView) {
    update();
    view_loc loc;
    ASSERT_EQ(view_locate(w, root + "/proj/src/new.c", &loc), VOB_OK) << view_errmsg(w);
    EXPECT_EQ(loc.vob_tag, "/proj");
    EXPECT_EQ(loc.vob_path, "src/new.c");
    EXPECT_EQ(loc.dir_path, "src");
    EXPECT_EQ(loc.leaf, "new.c");
    EXPECT_EQ(loc.dir_elem, src);
    view_fhandle fh;
    ASSERT_EQ(view_get_fhandle(w, root + "/proj/src/a.c", &fh), VOB_OK);
    EXPECT_EQ(fh.elem, a);
    EXPECT_EQ(fh.mtype, VOB_MT_FILE_ELEM);
    put(a, "a2\n");
    ASSERT_EQ(view_get_fhandle(w, root + "/proj/src/a.c@@/main/1", &fh), VOB_OK);
    vob_ver_info vi;
    ASSERT_EQ(vob_ver_get(v, fh.ver, &vi), VOB_OK);
    EXPECT_EQ(vi.id, "/main/1");
    ASSERT_EQ(view_get_fhandle(w, root + "/proj", &fh), VOB_OK);
    std::vector<view_dirent> ents;
    ASSERT_EQ(view_readdir(w, fh, &ents), VOB_OK);
    ASSERT_EQ(ents.size(), 3u);
    EXPECT_EQ(ents[0].name, "b.txt");
    EXPECT_EQ(ents[1].name, "lost+found");
    EXPECT_EQ(ents[2].name, "src");
    EXPECT_EQ(view_get_fhandle(w, root + "/proj/nope", &fh), VOB_NOT_FOUND);
    EXPECT_EQ(view_get_fhandle(w, root + "/proj/src/a.c@@/main/9", &fh), VOB_NOT_FOUND);
    EXPECT_EQ(view_locate(w, root + "/elsewhere/x", &loc), VOB_NOT_FOUND);
    EXPECT_EQ(view_locate(w, "/tmp", &loc), VOB_NOT_FOUND);

    // Command-line names: through the view, or from the VOB tag outside views.
    vob_pname p;
    std::string err;
    ASSERT_EQ(vob_resolve_pname(root + "/proj/src/a.c@@/main/1", &p, &err), VOB_OK) << err;
    EXPECT_NE(p.view, nullptr);
    EXPECT_EQ(p.elem, a);
    vob_pname q;
    ASSERT_EQ(vob_resolve_pname("/proj/src/a.c@@/main/LATEST", &q, &err), VOB_OK) << err;
    EXPECT_EQ(q.view, nullptr);
    ASSERT_EQ(vob_ver_get(q.vob, q.ver, &vi), VOB_OK);
    EXPECT_EQ(vi.id, "/main/2");
    vob_pname r;
    EXPECT_EQ(vob_resolve_pname("/nowhere/a.c", &r, &err), VOB_NOT_FOUND);
    EXPECT_NE(err.find("does not begin with a VOB tag"), std::string::npos) << err;
}

TEST_F(View, MakeElementsAndRemoveTheView) {
    update();
    testutil::write_file(root + "/proj/src/new.c", "new file\n");
    view_fhandle fh;
    ASSERT_EQ(view_mkelem(w, root + "/proj/src/new.c", VOB_MT_FILE_ELEM, "", "added", 1, &fh), VOB_OK)
        << view_errmsg(w);
    std::string s;
    ASSERT_EQ(vob_ver_read_data(v, fh.ver, &s), VOB_OK);
    EXPECT_EQ(s, "new file\n");
    ASSERT_EQ(view_mkelem(w, root + "/proj/src/sub", VOB_MT_DIR_ELEM, "", "", 0, &fh), VOB_OK);
    ASSERT_EQ(view_mkelem(w, root + "/proj/src/sub/draft.c", VOB_MT_FILE_ELEM, "", "", 0, &fh), VOB_OK);
    EXPECT_TRUE(fh.checkedout);
    EXPECT_EQ(view_mkelem(w, root + "/proj/src/sub/draft.c", VOB_MT_FILE_ELEM, "", "", 0, &fh), VOB_EXISTS);
    EXPECT_NE(view_mkelem(w, root + "/proj/nodir/x.c", VOB_MT_FILE_ELEM, "", "", 0, &fh), VOB_OK);
    EXPECT_NE(view_mkelem(w, root + "/proj/src/y.c", VOB_MT_FILE_ELEM, "no_such_type", "", 0, &fh), VOB_OK);

    std::string err;
    EXPECT_EQ(view_remove(root, 0, &err), VOB_CKOUT);
    EXPECT_NE(err.find("has 1 checkouts"), std::string::npos) << err;
    EXPECT_TRUE(std::filesystem::exists(root + "/proj/src/new.c"));
    view_close(w);
    w = nullptr;
    ASSERT_EQ(view_remove(root, 1, &err), VOB_OK) << err;
    EXPECT_FALSE(std::filesystem::exists(root));
    std::string dir;
    EXPECT_EQ(view_tag_get_path("me", &dir, &err), VOB_NOT_FOUND);
    std::vector<vob_ckout> cks;
    vob_oid draft, ver;
    ASSERT_EQ(vob_resolve_path(v, "src/sub/draft.c", nullptr, "", &draft, &ver), VOB_OK);
    ASSERT_EQ(vob_elem_get_ckouts(v, draft, &cks), VOB_OK);
    EXPECT_TRUE(cks.empty());
}

}   // namespace

namespace {

TEST_F(View, DirectoryBranchesAndFileContents) {
    // A name added on a directory's branch shows only in views that select it.
    vob_oid dev, s1;
    ASSERT_EQ(vob_type_create(v, VOB_MT_BRTYPE, "dev", nullptr, &dev), VOB_OK);
    ASSERT_EQ(vob_branch_get_latest(v, branch_of(src), &s1), VOB_OK);
    vob_oid sbr, extra;
    ASSERT_EQ(vob_branch_create(v, s1, dev, nullptr, &sbr, nullptr), VOB_OK);
    ASSERT_EQ(
        vob_elem_create(v, vob_wk_obj(v, VOB_WK_LOST_FOUND), "extra.c", VOB_MT_FILE_ELEM, 0, nullptr, &extra),
        VOB_OK);
    ASSERT_EQ(vob_dir_add_name(v, src, sbr, "extra.c", extra, nullptr), VOB_OK) << vob_errmsg(v);
    update();
    EXPECT_FALSE(std::filesystem::exists(root + "/proj/src/extra.c"));
    ASSERT_EQ(view_set_config_spec(w, "element * /main/dev/LATEST\nelement * /main/LATEST\n"), VOB_OK);
    update();
    EXPECT_TRUE(std::filesystem::exists(root + "/proj/src/extra.c"));
    EXPECT_TRUE(std::filesystem::exists(root + "/proj/src/a.c"));

    // Contents from a file, large and binary, and from files that cannot be read.
    std::string big;
    for (int i = 0; i < 300000; i++)
        big += (char)(i * 7 % 256);
    testutil::write_file(tmp + "/big", big);
    vob_oid ver;
    ASSERT_EQ(vob_ver_create(v, branch_of(b), vob_data_file(tmp + "/big"), nullptr, &ver), VOB_OK)
        << vob_errmsg(v);
    std::string back;
    ASSERT_EQ(vob_ver_read_data(v, ver, &back), VOB_OK);
    EXPECT_TRUE(back == big);
    EXPECT_EQ(vob_ver_create(v, branch_of(b), vob_data_file(tmp + "/missing"), nullptr, &ver), VOB_ERR);
    EXPECT_NE(vob_errmsg(v).find(tmp + "/missing"), std::string::npos) << vob_errmsg(v);
    EXPECT_EQ(vob_ver_create(v, branch_of(b), vob_data_file(tmp), nullptr, &ver), VOB_ERR);
    std::vector<vob_vtree_node> t;
    ASSERT_EQ(vob_elem_get_vtree(v, b, &t), VOB_OK);
    EXPECT_EQ(t.size(), 3u);
    EXPECT_TRUE(std::filesystem::is_empty(vob_get_storage(v) + "/pool/tmp"));
}

TEST_F(View, UncheckoutKeepsTheEditsAside) {
    update();
    ASSERT_EQ(view_checkout(w, root + "/proj/b.txt", 0, ""), VOB_OK) << view_errmsg(w);
    testutil::write_file(root + "/proj/b.txt", "unfinished\n");
    ASSERT_EQ(view_uncheckout(w, root + "/proj/b.txt"), VOB_OK) << view_errmsg(w);
    EXPECT_EQ(testutil::read_file(root + "/proj/b.txt"), "b1\n");
    EXPECT_EQ(testutil::read_file(root + "/proj/b.txt.keep"), "unfinished\n");
    EXPECT_NE(view_uncheckout(w, root + "/proj/b.txt"), VOB_OK);
    std::vector<vob_ckout> cks;
    ASSERT_EQ(vob_elem_get_ckouts(v, b, &cks), VOB_OK);
    EXPECT_TRUE(cks.empty());
}

// The view's files the element work and update must never touch: each name
// beside a file that a temporary copy or a keep could have taken.
std::map<std::string, std::string> names_in(const std::string &dir) {
    std::map<std::string, std::string> r;
    for (auto &e : std::filesystem::directory_iterator(dir))
        if (e.is_regular_file())
            r[e.path().filename().string()] = testutil::read_file(e.path().string());
    return r;
}

TEST_F(View, NoFileOfTheViewIsEverOverwrittenOrRemoved) {
    update();
    const std::string d = root + "/proj";
    // Look-alikes of the names update and uncheckout used to take, and a keep
    // name the user made.
    const std::map<std::string, std::string> mine = {{"b.txt.vantor-tmp", "mine: tmp\n"},
                                                     {"b.txt.tmpAbC123", "mine: tmpXXXXXX\n"},
                                                     {"b.txt.keep.1", "mine: a keep name\n"},
                                                     {"b.txt.keep.x", "mine: keep.x\n"}};
    for (auto &[name, bytes] : mine)
        testutil::write_file(d + "/" + name, bytes);
    testutil::write_file(d + "/src/a.c.vantor-tmp", "mine too\n");

    // Three cancelled checkouts: each edit kept under the next free name.
    const struct {
        const char *edit, *kept;
    } uncos[] = {{"edit 1\n", "b.txt.keep"}, {"edit 2\n", "b.txt.keep.2"}, {"edit 3\n", "b.txt.keep.3"}};
    for (auto &u : uncos) {
        ASSERT_EQ(view_checkout(w, d + "/b.txt", 1, ""), VOB_OK) << view_errmsg(w);
        testutil::write_file(d + "/b.txt", u.edit);
        std::string kept = "unset";
        ASSERT_EQ(view_uncheckout(w, d + "/b.txt", &kept), VOB_OK) << view_errmsg(w);
        EXPECT_EQ(kept, d + "/" + u.kept);
        EXPECT_EQ(testutil::read_file(d + "/b.txt"), "b1\n");
    }
    // A checkout whose file is gone: nothing to keep, and it says so.
    ASSERT_EQ(view_checkout(w, d + "/b.txt", 1, ""), VOB_OK) << view_errmsg(w);
    ASSERT_EQ(unlink((d + "/b.txt").c_str()), 0);
    std::string kept = "unset";
    ASSERT_EQ(view_uncheckout(w, d + "/b.txt", &kept), VOB_OK) << view_errmsg(w);
    EXPECT_EQ(kept, "");

    // A checkin from another file keeps the view's own copy when it differs,
    // and keeps nothing when it is the same.
    testutil::write_file(tmp + "/from", "from elsewhere\n");
    ASSERT_EQ(view_checkout(w, d + "/b.txt", 1, ""), VOB_OK) << view_errmsg(w);
    testutil::write_file(d + "/b.txt", "edit 4\n");
    vob_oid ver;
    ASSERT_EQ(view_checkin(w, d + "/b.txt", tmp + "/from", "", &ver, &kept), VOB_OK) << view_errmsg(w);
    EXPECT_EQ(kept, d + "/b.txt.keep.4");
    EXPECT_EQ(testutil::read_file(d + "/b.txt"), "from elsewhere\n");
    ASSERT_EQ(view_checkout(w, d + "/b.txt", 1, ""), VOB_OK) << view_errmsg(w);
    testutil::write_file(d + "/b.txt", "from elsewhere\n");
    ASSERT_EQ(view_checkin(w, d + "/b.txt", tmp + "/from", "", &ver, &kept), VOB_OK) << view_errmsg(w);
    EXPECT_EQ(kept, "");

    // Update writes new copies beside all of them. A copy that a killed run
    // left in the view's own tmp/ is gone once the lock is taken again.
    testutil::write_file(root + "/.vantor_view/tmp/copyKiLLed", "half a cop");
    put(b, "b3\n");
    put(a, "a2\n");
    view_update_stats st = update();
    EXPECT_EQ(names_in(root + "/.vantor_view/tmp"), (std::map<std::string, std::string>{}));
    EXPECT_EQ(st.loaded, 2);
    std::map<std::string, std::string> want = mine;
    want["b.txt"] = "b3\n";
    want["b.txt.keep"] = "edit 1\n";
    want["b.txt.keep.2"] = "edit 2\n";
    want["b.txt.keep.3"] = "edit 3\n";
    want["b.txt.keep.4"] = "edit 4\n";
    EXPECT_EQ(names_in(d), want);   // and no temporary file left behind
    EXPECT_EQ(names_in(d + "/src"),
              (std::map<std::string, std::string>{{"a.c", "a2\n"}, {"a.c.vantor-tmp", "mine too\n"}}));
    struct stat sb;
    ASSERT_EQ(stat((d + "/b.txt").c_str(), &sb), 0);
    EXPECT_EQ(sb.st_mode & 0777, 0444u);
}

}   // namespace

namespace {

// Parsing alone: qualifiers, selectors and their order, and each refusal
// naming the file and line.
TEST(ConfigSpec, QualifiersSelectorsAndRefusals) {
    std::vector<vob_rule> r;
    std::string err;
    ASSERT_EQ(view_parse_config_spec("# migrated\nelement -file * REL_1_0\n\n"
                                     "element -directory * /main/LATEST  # dirs\n"
                                     "element * CHECKEDOUT\nelement -file * /main/dev/7\n"
                                     "element * 1.0-b\nelement -directory * /main/a.b/c-d/LATEST\n"
                                     "element -file * .../BR/LATEST\nelement * .../dev/fix/2\n",
                                     "cs", &r, &err),
              VOB_OK)
        << err;
    ASSERT_EQ(r.size(), 8u);
    EXPECT_EQ(r[0].kind, vob_rule::LABEL);
    EXPECT_EQ(r[0].arg, "REL_1_0");
    EXPECT_EQ(r[0].only, VOB_MT_FILE_ELEM);
    EXPECT_EQ(r[1].kind, vob_rule::LATEST);
    EXPECT_EQ(r[1].arg, "/main");
    EXPECT_EQ(r[1].only, VOB_MT_DIR_ELEM);
    EXPECT_EQ(r[2].kind, vob_rule::CHECKEDOUT);
    EXPECT_EQ(r[2].only, 0);
    EXPECT_EQ(r[3].kind, vob_rule::VERSION);
    EXPECT_EQ(r[3].arg, "/main/dev/7");
    EXPECT_EQ(r[4].kind, vob_rule::LABEL);
    EXPECT_EQ(r[4].arg, "1.0-b");
    EXPECT_EQ(r[5].arg, "/main/a.b/c-d");
    EXPECT_EQ(r[6].kind, vob_rule::LATEST);
    EXPECT_EQ(r[6].arg, ".../BR");
    EXPECT_EQ(r[7].kind, vob_rule::VERSION);
    EXPECT_EQ(r[7].arg, ".../dev/fix/2");

    struct bad_case {
        const char *text, *message;
    };
    const bad_case cases[] = {
        {"element -dir * /main/LATEST", "unknown qualifier \"-dir\""},
        {"element -File * /main/LATEST", "unknown qualifier \"-File\""},
        {"element * /main/LATEST -mkbranch dev", "unknown qualifier \"-mkbranch\""},
        {"element * -file /main/LATEST", "one qualifier, right after \"element\""},
        {"element -file -directory * REL", "one qualifier, right after \"element\""},
        {"element -file *", "a rule is \"element [-file|-directory] PATTERN VERSION\""},
        {"element -file", "a rule is"},
        {"element -file src/* REL", "bad pattern \"src/*\""},
        {"element -file * REL extra", "unexpected \"extra\""},
        {"element * .REL", "bad version selector \".REL\""},
        {"element * REL/x", "bad version selector \"REL/x\""},
        {"element * /main//LATEST", "bad version selector"},
        {"element * /main/-x/LATEST", "bad version selector"},
        {"element * /main/dev/3x", "bad version selector"},
        {"element * /LATEST", "bad version selector"},
        {"element * .../LATEST", "bad version selector"},
        {"element * ..../BR/LATEST", "bad version selector"},
        {"element * .../#x/LATEST", "bad version selector"},
        {"element * 12", "bad version selector"},
        {"rule * REL", "only \"element\" rules"},
    };
    for (const bad_case &c : cases) {
        std::string text = std::string("element * CHECKEDOUT\n# two\n") + c.text + "\n";
        r.clear();
        EXPECT_EQ(view_parse_config_spec(text, "/tmp/my.cs", &r, &err), VOB_ERR) << c.text;
        EXPECT_EQ(err.rfind("/tmp/my.cs, line 3: ", 0), 0u) << c.text << ": " << err;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.text << ": " << err;
        EXPECT_TRUE(r.empty());
    }
    EXPECT_EQ(view_parse_config_spec("# nothing\n", "config spec", &r, &err), VOB_ERR);
    EXPECT_NE(err.find("config spec, line 1: the config spec has no rules"), std::string::npos) << err;
}

// What a migrated repository's views need: directories by one rule, files by
// a label or a branch; the first rule for the element's kind wins.
TEST_F(View, RulesForFilesAndDirectories) {
    vob_oid rel, lbd, br, a1;
    ASSERT_EQ(vob_type_create(v, VOB_MT_LBTYPE, "REL_1_0", nullptr, &rel), VOB_OK);
    ASSERT_EQ(vob_type_create(v, VOB_MT_LBTYPE, "DIRS", nullptr, &lbd), VOB_OK);
    ASSERT_EQ(vob_type_create(v, VOB_MT_BRTYPE, "BR", nullptr, &br), VOB_OK);
    ASSERT_EQ(vob_ver_find(v, a, "/main/1", &a1), VOB_OK);
    ASSERT_EQ(vob_ver_add_label(v, a1, rel, 0, nullptr), VOB_OK);
    put(a, "a2\n");
    auto set = [&](const char *cs) {
        ASSERT_EQ(view_set_config_spec(w, cs), VOB_OK) << view_errmsg(w);
        update();
    };
    auto exists = [&](const std::string &p) { return std::filesystem::exists(root + "/proj/" + p); };

    // Tags label files only: a label alone selects no directory, so nothing loads.
    set("element * REL_1_0\n");
    EXPECT_FALSE(exists("src"));
    set("element * CHECKEDOUT\nelement -directory * /main/LATEST\nelement -file * REL_1_0\n");
    EXPECT_EQ(testutil::read_file(root + "/proj/src/a.c"), "a1\n");
    EXPECT_FALSE(exists("b.txt"));
    EXPECT_TRUE(exists("lost+found"));
    // The order of the rules decides: the first one for the kind wins.
    set("element -file * /main/LATEST\nelement -file * REL_1_0\nelement * /main/LATEST\n");
    EXPECT_EQ(testutil::read_file(root + "/proj/src/a.c"), "a2\n");
    EXPECT_TRUE(exists("b.txt"));

    // A branch view: only files that have the branch; version 0 of a branch
    // without versions shows its branch point.
    vob_oid abr;
    ASSERT_EQ(vob_branch_create(v, a1, br, nullptr, &abr, nullptr), VOB_OK);
    set("element -directory * /main/LATEST\nelement -file * /main/BR/LATEST\n");
    EXPECT_EQ(testutil::read_file(root + "/proj/src/a.c"), "a1\n");
    EXPECT_FALSE(exists("b.txt"));
    put(a, "a on BR\n", abr);
    set("element -directory * /main/LATEST\nelement -file * /main/BR/LATEST\n");
    EXPECT_EQ(testutil::read_file(root + "/proj/src/a.c"), "a on BR\n");
    // ".../NAME": the branch of that name wherever it sprouts, as branch
    // names of migrated histories are global: FIX sprouts from BR here.
    vob_oid fix, abr1, afix;
    ASSERT_EQ(vob_type_create(v, VOB_MT_BRTYPE, "FIX", nullptr, &fix), VOB_OK);
    ASSERT_EQ(vob_ver_find(v, a, "/main/BR/1", &abr1), VOB_OK);
    ASSERT_EQ(vob_branch_create(v, abr1, fix, nullptr, &afix, nullptr), VOB_OK);
    put(a, "a on FIX\n", afix);
    set("element -directory * /main/LATEST\nelement -file * /main/FIX/LATEST\n");
    EXPECT_FALSE(exists("src/a.c"));
    set("element -directory * /main/LATEST\nelement -file * .../FIX/LATEST\n");
    EXPECT_EQ(testutil::read_file(root + "/proj/src/a.c"), "a on FIX\n");
    set("element -directory * /main/LATEST\nelement -file * .../BR/FIX/0\n");
    EXPECT_EQ(testutil::read_file(root + "/proj/src/a.c"), "a on BR\n");
    vob_oid got;
    ASSERT_EQ(vob_ver_find(v, a, ".../FIX/LATEST", &got), VOB_OK) << vob_errmsg(v);
    ASSERT_EQ(vob_ver_find(v, a, ".../main/BR/FIX/1", &got), VOB_OK) << vob_errmsg(v);
    EXPECT_EQ(vob_ver_find(v, a, ".../IX/LATEST", &got), VOB_NOT_FOUND);   // names match whole
    EXPECT_EQ(vob_ver_find(v, a, ".../LATEST", &got), VOB_NOT_FOUND);

    // A directory no rule selects is not loaded, not even empty.
    vob_oid rootv;
    ASSERT_EQ(vob_branch_get_latest(v, branch_of(vob_wk_obj(v, VOB_WK_ROOT_DIR)), &rootv), VOB_OK);
    ASSERT_EQ(vob_ver_add_label(v, rootv, lbd, 0, nullptr), VOB_OK);
    set("element -directory * DIRS\nelement -file * /main/LATEST\n");
    EXPECT_FALSE(exists("src"));
    EXPECT_FALSE(exists("lost+found"));
    EXPECT_EQ(testutil::read_file(root + "/proj/b.txt"), "b1\n");
    // The same rules in path lookups through the view.
    view_fhandle fh;
    EXPECT_EQ(view_get_fhandle(w, root + "/proj/src/a.c", &fh), VOB_NOT_FOUND);
    ASSERT_EQ(view_get_fhandle(w, root + "/proj/b.txt", &fh), VOB_OK) << view_errmsg(w);
    ASSERT_EQ(view_get_fhandle(w, root + "/proj/src@@/main/LATEST", &fh), VOB_OK) << view_errmsg(w);
    EXPECT_EQ(fh.elem, src);
}

// A selected version without contents loads no file; update counts such
// names instead of warning about each, and a copy loaded before goes.
TEST_F(View, VersionsWithoutContentsAreCounted) {
    update();
    vob_oid b2;   // as a migration records a removed file
    ASSERT_EQ(vob_ver_create(v, branch_of(b), vob_data_none(), nullptr, &b2), VOB_OK) << vob_errmsg(v);
    std::vector<std::string> warnings;
    view_update_stats st = update(&warnings);
    EXPECT_TRUE(warnings.empty()) << warnings[0];
    EXPECT_EQ(st.no_contents, 1);
    EXPECT_EQ(st.unchanged, 1);
    EXPECT_FALSE(std::filesystem::exists(root + "/proj/b.txt"));
    st = update(&warnings);
    EXPECT_EQ(st.no_contents, 1);
    EXPECT_EQ(st.loaded + st.removed + st.kept, 0);
    std::string bytes;
    EXPECT_EQ(vob_ver_read_data(v, b2, &bytes), VOB_NOT_FOUND);
    EXPECT_NE(vob_errmsg(v).find("version \"/main/2\" of \"b.txt\" has no contents"), std::string::npos)
        << vob_errmsg(v);
    put(b, "b3\n");
    st = update();
    EXPECT_EQ(st.no_contents, 0);
    EXPECT_EQ(testutil::read_file(root + "/proj/b.txt"), "b3\n");
    // Contents removed from the very version loaded: its copy goes too.
    vob_oid b3;
    ASSERT_EQ(vob_branch_get_latest(v, branch_of(b), &b3), VOB_OK);
    ASSERT_EQ(vob_ver_remove_data(v, b3), VOB_OK) << vob_errmsg(v);
    st = update();
    EXPECT_EQ(st.no_contents, 1);
    EXPECT_EQ(st.unchanged, 1);
    EXPECT_FALSE(std::filesystem::exists(root + "/proj/b.txt"));
}

// What a walk of the store sees: the names a rule selects, loaded or not
// (a version without contents loads no file), and the directories above
// the VOB roots with the next component of each tag, once each, in order.
TEST_F(View, WalkSeesWhatTheRulesSelectAndWhatLiesAbove) {
    vob_oid c, a1;
    ASSERT_EQ(vob_elem_create(v, src, "c.c", VOB_MT_FILE_ELEM, 0, nullptr, &c), VOB_OK);   // only /main/0
    ASSERT_EQ(vob_ver_find(v, a, "/main/1", &a1), VOB_OK);
    ASSERT_EQ(vob_ver_remove_data(v, a1), VOB_OK) << vob_errmsg(v);
    ASSERT_EQ(view_set_config_spec(w, "element -directory * /main/LATEST\nelement -file * /main/1\n"),
              VOB_OK);
    view_fhandle fh;
    ASSERT_EQ(view_get_fhandle(w, root + "/proj/src", &fh), VOB_OK) << view_errmsg(w);
    std::vector<view_selected> sel;
    ASSERT_EQ(view_read_selected(w, fh, &sel), VOB_OK) << view_errmsg(w);
    ASSERT_EQ(sel.size(), 1u);
    EXPECT_EQ(sel[0].name, "a.c");
    EXPECT_EQ(sel[0].elem, a);
    EXPECT_EQ(sel[0].ver, a1);
    EXPECT_EQ(sel[0].mtype, VOB_MT_FILE_ELEM);
    ASSERT_EQ(view_get_fhandle(w, root + "/proj/src/a.c", &fh), VOB_OK);
    EXPECT_EQ(view_read_selected(w, fh, &sel), VOB_ERR);   // a file is no directory
    EXPECT_EQ(sel.size(), 1u);

    for (const char *tag : {"/grp/y", "/grp/x"}) {
        vob_t *g = make_vob(tag);
        ASSERT_NE(g, nullptr);
        vob_close(g);
        ASSERT_EQ(view_add_scope(w, tag), VOB_OK) << view_errmsg(w);
    }
    std::vector<std::string> next;
    EXPECT_EQ(view_above_vobs(w, root, &next), 1);
    EXPECT_EQ(next, (std::vector<std::string>{"grp", "proj"}));
    next.clear();
    EXPECT_EQ(view_above_vobs(w, root + "/grp/", &next), 1);
    EXPECT_EQ(next, (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(view_above_vobs(w, root + "/proj", nullptr), 0);   // a VOB root is in the VOB
    EXPECT_EQ(view_above_vobs(w, root + "/gr", nullptr), 0);
    EXPECT_EQ(view_above_vobs(w, home, nullptr), 0);   // outside the view
}

}   // namespace
