// The VOB model through its C++ API: version trees, labels, merges, locks,
// checkouts, removed data, directory versions and path lookup.
#include "platform/registry/vob_tag.h"
#include "platform/store/vob_int.h"
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include <filesystem>
#include <sqlite3.h>

namespace {

struct Store : testvob::VobTest {
    vob_t *v = nullptr;
    void SetUp() override {
        testvob::VobTest::SetUp();
        v = make_vob("/proj");
        ASSERT_NE(v, nullptr);
    }
    void TearDown() override {
        vob_close(v);
        testvob::VobTest::TearDown();
    }
    vob_oid root() { return vob_wk_obj(v, VOB_WK_ROOT_DIR); }
    vob_oid mkfile(vob_oid dir, const std::string &name) {
        vob_oid e = 0;
        EXPECT_EQ(vob_elem_create(v, dir, name, VOB_MT_FILE_ELEM, 0, nullptr, &e), VOB_OK) << vob_errmsg(v);
        return e;
    }
    vob_oid mkdir(vob_oid dir, const std::string &name) {
        vob_oid e = 0;
        EXPECT_EQ(vob_elem_create(v, dir, name, VOB_MT_DIR_ELEM, 0, nullptr, &e), VOB_OK) << vob_errmsg(v);
        return e;
    }
    vob_oid main_of(vob_oid e) {
        vob_elem_info ei;
        EXPECT_EQ(vob_elem_get(v, e, &ei), VOB_OK);
        return ei.main_branch;
    }
    vob_oid put(vob_oid branch, const std::string &bytes, int64_t num = -1) {
        vob_oid ver = 0;
        EXPECT_EQ(vob_ver_create(v, branch, vob_data_bytes(bytes), nullptr, &ver, num), VOB_OK)
            << vob_errmsg(v);
        return ver;
    }
    vob_oid type(int mtype, const std::string &name) {
        vob_oid t = 0;
        EXPECT_EQ(vob_type_create(v, mtype, name, nullptr, &t), VOB_OK) << vob_errmsg(v);
        return t;
    }
    vob_oid find(vob_oid e, const std::string &vid) {
        vob_oid ver = 0;
        EXPECT_EQ(vob_ver_find(v, e, vid, &ver), VOB_OK) << vob_errmsg(v);
        return ver;
    }
    std::string data(vob_oid ver) {
        std::string s;
        EXPECT_EQ(vob_ver_read_data(v, ver, &s), VOB_OK) << vob_errmsg(v);
        return s;
    }
    std::vector<std::string> tree_ids(vob_oid e) { return testvob::vtree_ids(v, e); }
    std::string sha_of(vob_oid ver) {
        vob_ver_info vi;
        EXPECT_EQ(vob_ver_get(v, ver, &vi), VOB_OK);
        return vi.sha256;
    }
    // The stored form of a blob: "form/depth", or "" without a row.
    std::string blob(const std::string &sha) {
        vob_stmt q(v, "SELECT form, depth FROM blob WHERE sha = ?1");
        q.bind(1, sha);
        return q.step() == SQLITE_ROW ? std::to_string(q.i64(0)) + "/" + std::to_string(q.i64(1)) : "";
    }
};

TEST_F(Store, FreshVobHasWellKnownObjects) {
    vob_oid lf = vob_wk_obj(v, VOB_WK_LOST_FOUND), found = 0, ver = 0;
    ASSERT_NE(lf, 0);
    ASSERT_EQ(vob_resolve_path(v, "lost+found", nullptr, "", &found, &ver), VOB_OK);
    EXPECT_EQ(found, lf);
    std::string name;
    ASSERT_EQ(vob_type_get_name(v, vob_wk_obj(v, VOB_WK_MAIN_BRTYPE), &name), VOB_OK);
    EXPECT_EQ(name, "main");
    ASSERT_EQ(vob_type_get_name(v, vob_wk_obj(v, VOB_WK_MERGE_HLTYPE), &name), VOB_OK);
    EXPECT_EQ(name, "Merge");
    EXPECT_EQ(vob_get_tag(v), "/proj");
    EXPECT_EQ(vob_get_uuid(v).size(), 32u);
}

TEST_F(Store, VersionTreeOrderNumberingAndBranchContents) {
    vob_oid e = mkfile(root(), "a.c");
    vob_oid mb = main_of(e);
    vob_oid m1 = put(mb, "one\n");
    put(mb, "two\n");
    vob_oid rel = type(VOB_MT_BRTYPE, "rel_1"), fix = type(VOB_MT_BRTYPE, "fix");
    vob_oid b = 0, b0 = 0;
    ASSERT_EQ(vob_branch_create(v, m1, rel, nullptr, &b, &b0), VOB_OK) << vob_errmsg(v);
    EXPECT_EQ(data(b0), "one\n");   // a new branch shows what it sprouts from
    vob_oid r1 = put(b, "rel one\n");
    vob_oid fb = 0;
    ASSERT_EQ(vob_branch_create(v, r1, fix, nullptr, &fb, nullptr), VOB_OK);
    put(mb, "three\n", 7);   // explicit numbers may leave gaps
    EXPECT_EQ(tree_ids(e), (std::vector<std::string>{"/main/0", "/main/1", "/main/rel_1/0", "/main/rel_1/1",
                                                     "/main/rel_1/fix/0", "/main/2", "/main/7"}));
    EXPECT_EQ(data(find(e, "/main/0")), "");
    EXPECT_EQ(data(find(e, "/main/LATEST")), "three\n");
    EXPECT_EQ(data(find(e, "/main/rel_1/LATEST")), "rel one\n");

    // Numbers never go back, and a branch type is used once per element.
    vob_oid x;
    EXPECT_EQ(vob_ver_create(v, mb, vob_data_bytes("x"), nullptr, &x, 7), VOB_EXISTS);
    EXPECT_EQ(vob_ver_create(v, mb, vob_data_bytes("x"), nullptr, &x, 3), VOB_EXISTS);
    EXPECT_EQ(vob_branch_create(v, m1, rel, nullptr, &x, nullptr), VOB_EXISTS);
    EXPECT_NE(vob_errmsg(v).find("already has branch \"rel_1\""), std::string::npos) << vob_errmsg(v);
    vob_oid next = put(mb, "four\n");
    vob_ver_info vi;
    ASSERT_EQ(vob_ver_get(v, next, &vi), VOB_OK);
    EXPECT_EQ(vi.id, "/main/8");

    // Sub-branch lists and the ids that do not exist.
    std::vector<vob_vtree_node> t;
    ASSERT_EQ(vob_elem_get_vtree(v, e, &t), VOB_OK);
    EXPECT_EQ(t[1].sub_branch_paths, std::vector<std::string>{"/main/rel_1"});
    EXPECT_EQ(t[3].sub_branch_paths, std::vector<std::string>{"/main/rel_1/fix"});
    for (const char *bad :
         {"/main/5", "/main/nope/1", "main/1", "/main/", "/main/x1", "/main/99999999999999999999"})
        EXPECT_EQ(vob_ver_find(v, e, bad, &x), VOB_NOT_FOUND) << bad;
}

TEST_F(Store, IdenticalContentsAreStoredOnce) {
    vob_oid a = mkfile(root(), "a"), b = mkfile(root(), "b");
    vob_oid va = put(main_of(a), std::string("same\0bytes", 10)),
            vb = put(main_of(b), std::string("same\0bytes", 10));
    EXPECT_EQ(sha_of(va), sha_of(vb));
    EXPECT_EQ(data(vb), std::string("same\0bytes", 10));
    vob_ver_info vi;
    ASSERT_EQ(vob_ver_get(v, va, &vi), VOB_OK);
    EXPECT_EQ(vi.size, 10);
    vob_stmt q(v, "SELECT COUNT(*) FROM blob WHERE sha = ?1");
    q.bind(1, vi.sha256);
    ASSERT_EQ(q.step(), SQLITE_ROW);
    EXPECT_EQ(q.i64(0), 1);
}

TEST_F(Store, LabelIsOnOneVersionOfAnElement) {
    vob_oid e = mkfile(root(), "a");
    vob_oid v1 = put(main_of(e), "1"), v2 = put(main_of(e), "2");
    vob_oid lb = type(VOB_MT_LBTYPE, "REL1");
    ASSERT_EQ(vob_ver_add_label(v, v1, lb, 0, nullptr), VOB_OK);
    EXPECT_EQ(vob_ver_add_label(v, v1, lb, 0, nullptr), VOB_OK);   // again on the same version
    EXPECT_EQ(vob_ver_add_label(v, v2, lb, 0, nullptr), VOB_EXISTS);
    EXPECT_NE(vob_errmsg(v).find("already on version \"/main/1\""), std::string::npos) << vob_errmsg(v);
    vob_oid at = 0;
    ASSERT_EQ(vob_elem_find_label(v, e, lb, &at), VOB_OK);
    EXPECT_EQ(at, v1);
    ASSERT_EQ(vob_ver_add_label(v, v2, lb, 1, nullptr), VOB_OK);   // moved on request
    ASSERT_EQ(vob_elem_find_label(v, e, lb, &at), VOB_OK);
    EXPECT_EQ(at, v2);
    std::vector<vob_label> l;
    ASSERT_EQ(vob_ver_get_labels(v, v1, &l), VOB_OK);
    EXPECT_TRUE(l.empty());
    EXPECT_EQ(vob_ver_remove_label(v, v1, lb), VOB_NOT_FOUND);
    EXPECT_EQ(vob_ver_remove_label(v, v2, lb), VOB_OK);
    EXPECT_EQ(vob_elem_find_label(v, e, lb, &at), VOB_NOT_FOUND);
    // Not a label type.
    EXPECT_EQ(vob_ver_add_label(v, v1, vob_wk_obj(v, VOB_WK_MAIN_BRTYPE), 0, nullptr), VOB_NOT_FOUND);
}

TEST_F(Store, AttributesAndMergeHyperlinks) {
    vob_oid e = mkfile(root(), "a"), other = mkfile(root(), "b");
    vob_oid m1 = put(main_of(e), "1");
    vob_oid dev = type(VOB_MT_BRTYPE, "dev"), st = type(VOB_MT_ATTYPE, "Status");
    vob_oid b;
    ASSERT_EQ(vob_branch_create(v, m1, dev, nullptr, &b, nullptr), VOB_OK);
    vob_oid d1 = put(b, "dev");
    vob_oid m2 = put(main_of(e), "2");
    vob_oid merge = vob_wk_obj(v, VOB_WK_MERGE_HLTYPE);
    ASSERT_EQ(vob_hlink_create(v, merge, d1, m2, nullptr, nullptr), VOB_OK) << vob_errmsg(v);
    std::vector<vob_hlink> to, from;
    ASSERT_EQ(vob_obj_get_hlinks(v, m2, merge, VOB_HL_TO, &to), VOB_OK);
    ASSERT_EQ(vob_obj_get_hlinks(v, d1, merge, VOB_HL_FROM, &from), VOB_OK);
    ASSERT_EQ(to.size(), 1u);
    ASSERT_EQ(from.size(), 1u);
    EXPECT_EQ(to[0].from, d1);
    EXPECT_EQ(from[0].to, m2);
    // A merge joins two versions of one element.
    vob_oid ov = put(main_of(other), "o");
    EXPECT_NE(vob_hlink_create(v, merge, ov, m2, nullptr, nullptr), VOB_OK);
    EXPECT_NE(vob_hlink_create(v, merge, m2, m2, nullptr, nullptr), VOB_OK);

    ASSERT_EQ(vob_obj_set_attr(v, m2, st, "\"ok\"", nullptr), VOB_OK);
    ASSERT_EQ(vob_obj_set_attr(v, m2, st, "\"better\"", nullptr), VOB_OK);
    ASSERT_EQ(vob_obj_set_attr(v, e, st, "elem", nullptr), VOB_OK);
    std::vector<vob_attr> at;
    ASSERT_EQ(vob_obj_get_attrs(v, m2, &at), VOB_OK);
    ASSERT_EQ(at.size(), 1u);
    EXPECT_EQ(at[0].value, "\"better\"");
    EXPECT_EQ(vob_obj_remove_attr(v, m2, st), VOB_OK);
    EXPECT_EQ(vob_obj_remove_attr(v, m2, st), VOB_NOT_FOUND);
}

TEST_F(Store, LocksStopChangesUntilUnlocked) {
    vob_oid e = mkfile(root(), "a");
    vob_oid m1 = put(main_of(e), "1");
    vob_oid dev = type(VOB_MT_BRTYPE, "dev"), lb = type(VOB_MT_LBTYPE, "L");
    vob_oid b;
    ASSERT_EQ(vob_branch_create(v, m1, dev, nullptr, &b, nullptr), VOB_OK);
    ASSERT_EQ(vob_obj_lock(v, b, 1, nullptr), VOB_OK);
    vob_lock lk;
    ASSERT_EQ(vob_obj_get_lock(v, b, &lk), VOB_OK);
    EXPECT_EQ(lk.obsolete, 1);
    vob_oid x;
    EXPECT_EQ(vob_ver_create(v, b, vob_data_bytes("x"), nullptr, &x), VOB_LOCKED);
    EXPECT_NE(vob_errmsg(v).find("locked"), std::string::npos);
    put(main_of(e), "main goes on");
    ASSERT_EQ(vob_obj_unlock(v, b), VOB_OK);
    EXPECT_EQ(vob_obj_get_lock(v, b, &lk), VOB_NOT_FOUND);
    EXPECT_EQ(vob_obj_unlock(v, b), VOB_NOT_FOUND);
    put(b, "dev again");

    ASSERT_EQ(vob_obj_lock(v, e, 0, nullptr), VOB_OK);
    EXPECT_EQ(vob_ver_create(v, main_of(e), vob_data_bytes("x"), nullptr, &x), VOB_LOCKED);
    EXPECT_EQ(vob_ver_add_label(v, m1, lb, 0, nullptr), VOB_LOCKED);
    EXPECT_EQ(vob_checkout(v, main_of(e), 1, "view", nullptr, &x), VOB_LOCKED);
    ASSERT_EQ(vob_obj_lock(v, e, 1, nullptr), VOB_OK);   // relocking sets the flag
    ASSERT_EQ(vob_obj_get_lock(v, e, &lk), VOB_OK);
    EXPECT_EQ(lk.obsolete, 1);
}

TEST_F(Store, CheckoutsReservedAndUnreserved) {
    vob_oid e = mkfile(root(), "a");
    vob_oid mb = main_of(e);
    vob_oid r = 0, u = 0, x = 0;
    ASSERT_EQ(vob_checkout(v, mb, 1, "alice", nullptr, &r), VOB_OK);
    EXPECT_EQ(vob_checkout(v, mb, 1, "bob", nullptr, &x), VOB_CKOUT);
    EXPECT_NE(vob_errmsg(v).find("reserved by view \"alice\""), std::string::npos) << vob_errmsg(v);
    EXPECT_EQ(vob_checkout(v, mb, 0, "alice", nullptr, &x), VOB_CKOUT);   // one per view
    ASSERT_EQ(vob_checkout(v, mb, 0, "bob", nullptr, &u), VOB_OK);
    std::vector<vob_ckout> cks;
    ASSERT_EQ(vob_elem_get_ckouts(v, e, &cks), VOB_OK);
    ASSERT_EQ(cks.size(), 2u);
    EXPECT_EQ(cks[0].reserved, 1);
    EXPECT_EQ(cks[1].reserved, 0);
    // The reserved checkout holds the branch against others.
    EXPECT_EQ(vob_checkin(v, u, vob_data_bytes("bob"), nullptr, &x), VOB_CKOUT);
    EXPECT_EQ(vob_ver_create(v, mb, vob_data_bytes("direct"), nullptr, &x), VOB_CKOUT);
    vob_oid ver = 0;
    vob_event ev = vob_event_now("alice's change");
    ASSERT_EQ(vob_checkin(v, r, vob_data_bytes("alice"), &ev, &ver), VOB_OK) << vob_errmsg(v);
    vob_event got;
    ASSERT_EQ(vob_obj_get_event(v, ver, &got), VOB_OK);
    EXPECT_EQ(got.comment, "alice's change");
    // Bob's unreserved checkout is now behind the branch.
    EXPECT_EQ(vob_checkin(v, u, vob_data_bytes("bob"), nullptr, &x), VOB_CKOUT);
    EXPECT_NE(vob_errmsg(v).find("newer version"), std::string::npos);
    ASSERT_EQ(vob_uncheckout(v, u), VOB_OK);
    ASSERT_EQ(vob_elem_get_ckouts(v, e, &cks), VOB_OK);
    EXPECT_TRUE(cks.empty());
    EXPECT_EQ(vob_uncheckout(v, u), VOB_NOT_FOUND);
}

TEST_F(Store, RemovedDataLeavesTheVersionAndFreesTheBlob) {
    vob_oid e = mkfile(root(), "a"), f = mkfile(root(), "b");
    vob_oid v1 = put(main_of(e), "unique contents");
    vob_oid v2 = put(main_of(e), "shared");
    vob_oid f1 = put(main_of(f), "shared");
    std::string s1 = sha_of(v1), s2 = sha_of(v2);
    ASSERT_EQ(vob_ver_remove_data(v, v1), VOB_OK);
    ASSERT_EQ(vob_ver_remove_data(v, v2), VOB_OK);
    EXPECT_EQ(blob(s1), "");
    EXPECT_EQ(blob(s2), "0/0");   // still named by b
    EXPECT_EQ(data(f1), "shared");
    std::string s;
    EXPECT_EQ(vob_ver_read_data(v, v1, &s), VOB_NOT_FOUND);
    EXPECT_NE(vob_errmsg(v).find("has no contents"), std::string::npos);
    EXPECT_EQ(vob_ver_remove_data(v, v1), VOB_NOT_FOUND);
    EXPECT_EQ(tree_ids(e).size(), 3u);
    // Contents put back later are stored again.
    vob_oid v3 = put(main_of(e), "unique contents");
    EXPECT_EQ(data(v3), "unique contents");

    // A delta's base stays while the delta needs it, and leaves with it.
    vob_oid g = mkfile(root(), "g");
    std::string text;
    for (int i = 0; i < 400; i++)
        text += "line " + std::to_string(i * 7919 % 1000) + " of a text that changes little\n";
    vob_oid g1 = put(main_of(g), text);
    vob_oid g2 = put(main_of(g), text + "two\n");
    vob_oid g3 = put(main_of(g), text + "two\nthree\n");
    std::string t1 = sha_of(g1), t2 = sha_of(g2), t3 = sha_of(g3);
    EXPECT_EQ(blob(t1), "1/0");
    EXPECT_EQ(blob(t2), "2/1");
    EXPECT_EQ(blob(t3), "2/2");
    ASSERT_EQ(vob_ver_remove_data(v, g2), VOB_OK);
    EXPECT_EQ(blob(t2), "2/1");   // the base of g3
    EXPECT_EQ(data(g3), text + "two\nthree\n");
    ASSERT_EQ(vob_ver_remove_data(v, g3), VOB_OK);
    EXPECT_EQ(blob(t3), "");
    EXPECT_EQ(blob(t2), "");
    EXPECT_EQ(blob(t1), "1/0");
    EXPECT_EQ(data(g1), text);
}

// How contents are stored: small ones raw, texts as whole frames then deltas
// against the version followed, at most VOB_CHAIN_MAX deep (a whole frame
// again after it), a branch against the version it sprouts from, and
// incompressible bytes raw; every version reads back as it was.
TEST_F(Store, ContentsAreStoredWholeOrAsBoundedDeltas) {
    vob_oid e = mkfile(root(), "long.c");
    std::string text;
    for (int i = 0; i < 500; i++)
        text += "int f" + std::to_string(i) + "(void) { return " + std::to_string(i * 31 % 97) + "; }\n";
    std::vector<std::pair<vob_oid, std::string>> all;
    vob_oid sprout = 0;
    for (int n = 1; n <= 80; n++) {
        text.replace(size_t(n * 97 % 9000), 5, std::to_string(10000 + n));
        all.emplace_back(put(main_of(e), text), text);
        if (n == 40)
            sprout = all.back().first;
    }
    std::vector<std::string> forms;
    for (int n : {1, 2, 33, 34, 35, 67})
        forms.push_back(blob(sha_of(all[size_t(n - 1)].first)));
    EXPECT_EQ(forms, (std::vector<std::string>{"1/0", "2/1", "2/32", "1/0", "2/1", "1/0"}));
    vob_oid br = 0, bt = type(VOB_MT_BRTYPE, "dev");
    ASSERT_EQ(vob_branch_create(v, sprout, bt, nullptr, &br), VOB_OK) << vob_errmsg(v);
    std::string on_branch = all[39].second + "on dev\n";
    vob_oid b1 = put(br, on_branch);
    EXPECT_EQ(blob(sha_of(b1)), "2/7");   // against /main/40, 6 deep after the whole /main/34
    all.emplace_back(b1, on_branch);

    vob_oid f = mkfile(root(), "noise.bin");
    std::string noise;
    for (uint64_t x = 88172645463325252ull; noise.size() < 5000;) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        noise += char(x & 0xff);
    }
    vob_oid n1 = put(main_of(f), noise), n2 = put(main_of(f), "tiny");
    EXPECT_EQ(blob(sha_of(n1)), "0/0");
    EXPECT_EQ(blob(sha_of(n2)), "0/0");
    all.emplace_back(n1, noise);
    all.emplace_back(n2, "tiny");

    vob_stmt q(v, "SELECT MAX(depth) FROM blob");
    ASSERT_EQ(q.step(), SQLITE_ROW);
    EXPECT_LE(q.i64(0), VOB_CHAIN_MAX);
    // Read back through a fresh handle, whose cache holds nothing yet.
    vob_t *r = nullptr;
    std::string err;
    ASSERT_EQ(vob_open(vob_get_storage(v), &r, &err), VOB_OK) << err;
    for (size_t i = all.size(); i-- > 0;) {
        std::string got;
        ASSERT_EQ(vob_ver_read_data(r, all[i].first, &got), VOB_OK) << vob_errmsg(r);
        EXPECT_TRUE(got == all[i].second) << i;
    }
    vob_close(r);
}

TEST_F(Store, DirectoryVersionsHoldTheNamespace) {
    vob_oid src = mkdir(root(), "src");
    vob_oid a = mkfile(src, "a.c");
    vob_oid b = mkfile(src, "b.c");
    EXPECT_EQ(tree_ids(src), (std::vector<std::string>{"/main/0", "/main/1", "/main/2"}));
    std::vector<vob_dirent> d;
    ASSERT_EQ(vob_dir_read(v, find(src, "/main/0"), &d), VOB_OK);
    EXPECT_TRUE(d.empty());
    ASSERT_EQ(vob_dir_read(v, find(src, "/main/1"), &d), VOB_OK);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].name, "a.c");
    ASSERT_EQ(vob_dir_read(v, find(src, "/main/LATEST"), &d), VOB_OK);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[1].elem, b);

    // A name removed from the latest version is still in the old ones.
    ASSERT_EQ(vob_dir_remove_name(v, src, 0, "a.c", nullptr), VOB_OK);
    vob_oid el, ver;
    EXPECT_EQ(vob_resolve_path(v, "src/a.c", nullptr, "", &el, &ver), VOB_NOT_FOUND);
    ASSERT_EQ(vob_resolve_path(v, "src@@/main/2", nullptr, "", &el, &ver), VOB_OK);
    EXPECT_EQ(vob_dir_lookup(v, ver, "a.c", &el), VOB_OK);
    EXPECT_EQ(el, a);
    // Another name for the same element.
    ASSERT_EQ(vob_dir_add_name(v, root(), 0, "alias.c", a, nullptr), VOB_OK);
    ASSERT_EQ(vob_resolve_path(v, "alias.c@@/main/0", nullptr, "", &el, &ver), VOB_OK);
    EXPECT_EQ(el, a);
    std::string path;
    ASSERT_EQ(vob_elem_get_path(v, a, &path), VOB_OK);
    EXPECT_EQ(path, "alias.c");
    ASSERT_EQ(vob_elem_get_path(v, b, &path), VOB_OK);
    EXPECT_EQ(path, "src/b.c");

    // Many names in one transaction make one directory version.
    size_t before = tree_ids(src).size();
    {
        vob_txn t(v);
        ASSERT_EQ(t.begin(), VOB_OK);
        for (int i = 0; i < 5; i++)
            mkfile(src, "n" + std::to_string(i));
        ASSERT_EQ(t.commit(), VOB_OK);
    }
    EXPECT_EQ(tree_ids(src).size(), before + 1);

    // Bad names and kinds.
    for (const char *bad : {"", ".", "..", "x/y", "a@@b"})
        EXPECT_NE(vob_elem_create(v, src, bad, VOB_MT_FILE_ELEM, 0, nullptr, &el), VOB_OK) << bad;
    EXPECT_EQ(vob_elem_create(v, src, "b.c", VOB_MT_FILE_ELEM, 0, nullptr, &el), VOB_EXISTS);
    EXPECT_NE(vob_elem_create(v, b, "under-a-file", VOB_MT_FILE_ELEM, 0, nullptr, &el), VOB_OK);
    EXPECT_NE(vob_ver_create(v, main_of(src), vob_data_bytes("x"), nullptr, &el), VOB_OK);
    EXPECT_EQ(vob_resolve_path(v, "src/b.c/x", nullptr, "", &el, &ver), VOB_NOT_FOUND);
    EXPECT_EQ(vob_resolve_path(v, "../etc", nullptr, "", &el, &ver), VOB_NOT_FOUND);
}

TEST_F(Store, SelectionRules) {
    vob_oid e = mkfile(root(), "a");
    vob_oid m1 = put(main_of(e), "1");
    put(main_of(e), "2");
    vob_oid dev = type(VOB_MT_BRTYPE, "dev"), lb = type(VOB_MT_LBTYPE, "GOOD");
    vob_oid b, d1;
    ASSERT_EQ(vob_branch_create(v, m1, dev, nullptr, &b, nullptr), VOB_OK);
    d1 = put(b, "dev1");
    ASSERT_EQ(vob_ver_add_label(v, m1, lb, 0, nullptr), VOB_OK);
    auto pick = [&](std::vector<vob_rule> rules) {
        vob_oid got = 0;
        EXPECT_EQ(vob_select_version(v, e, rules, "me", &got), VOB_OK) << vob_errmsg(v);
        return data(got);
    };
    vob_rule co{vob_rule::CHECKEDOUT, ""}, devl{vob_rule::LATEST, "/main/dev"},
        mainl{vob_rule::LATEST, "/main"}, good{vob_rule::LABEL, "GOOD"}, ver{vob_rule::VERSION, "/main/1"};
    EXPECT_EQ(pick({co, devl, mainl}), "dev1");
    EXPECT_EQ(pick({co, mainl}), "2");
    EXPECT_EQ(pick({good, mainl}), "1");
    EXPECT_EQ(pick({ver}), "1");
    vob_oid other = mkfile(root(), "b");
    vob_oid got;
    EXPECT_EQ(vob_select_version(v, other, {devl}, "me", &got), VOB_NOT_FOUND);
    vob_oid ck;
    ASSERT_EQ(vob_checkout(v, b, 1, "me", nullptr, &ck), VOB_OK);
    int checked = 0;
    ASSERT_EQ(vob_select_version(v, e, {co, mainl}, "me", &got, &checked), VOB_OK);
    EXPECT_EQ(got, d1);
    EXPECT_EQ(checked, 1);
}

TEST_F(Store, TypesAreUniqueAndNamesChecked) {
    vob_oid t = type(VOB_MT_LBTYPE, "REL_1.0-b"), again = 0;
    EXPECT_EQ(vob_type_create(v, VOB_MT_LBTYPE, "REL_1.0-b", nullptr, &again), VOB_EXISTS);
    EXPECT_EQ(again, t);
    type(VOB_MT_BRTYPE, "REL_1.0-b");   // another metatype, another name space
    // Letters of any script are names; broken or invisible characters and
    // names that read as version numbers are not.
    type(VOB_MT_LBTYPE, "é");
    type(VOB_MT_LBTYPE, std::string(255, 'n'));
    for (const std::string &bad : std::vector<std::string>{"", "-x", ".x", "a b", "a/b", "12", "\xc3",
                                                           "a\xc0\xae"
                                                           "b",
                                                           "a\u00a0b", "a\u202eb", std::string(256, 'n')})
        EXPECT_NE(vob_type_create(v, VOB_MT_LBTYPE, bad, nullptr, &again), VOB_OK) << bad;
    EXPECT_NE(vob_type_create(v, VOB_MT_VERSION, "x", nullptr, &again), VOB_OK);
    EXPECT_EQ(vob_type_find(v, VOB_MT_ATTYPE, "nope", &again), VOB_NOT_FOUND);
    vob_oid et = type(VOB_MT_ELTYPE, "text_file2"), e = 0;
    ASSERT_EQ(vob_elem_create(v, root(), "t", VOB_MT_FILE_ELEM, et, nullptr, &e), VOB_OK);
    vob_elem_info ei;
    ASSERT_EQ(vob_elem_get(v, e, &ei), VOB_OK);
    EXPECT_EQ(ei.eltype_name, "text_file2");
    EXPECT_NE(vob_elem_create(v, root(), "d", VOB_MT_DIR_ELEM, et, nullptr, &e), VOB_OK);
}

TEST_F(Store, CorruptOrForeignDatabaseIsRefusedCleanly) {
    std::string storage = vob_get_storage(v);
    vob_close(v);
    v = nullptr;
    std::string err;
    vob_t *h = nullptr;
    // A database of another program.
    std::string foreign = tmp + "/foreign";
    std::filesystem::create_directories(foreign);
    sqlite3 *db;
    ASSERT_EQ(sqlite3_open((foreign + "/vob.db").c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE t(x); INSERT INTO t VALUES(1);", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(vob_open(foreign, &h, &err), VOB_CORRUPT);
    EXPECT_NE(err.find("is not a VOB database"), std::string::npos) << err;
    // Garbage where the database should be, and a file cut short.
    std::string data = testutil::read_file(storage + "/vob.db");
    testutil::write_file(storage + "/vob.db", std::string(8192, 'x'));
    std::filesystem::remove(storage + "/vob.db-wal");
    std::filesystem::remove(storage + "/vob.db-shm");
    EXPECT_EQ(vob_open(storage, &h, &err), VOB_CORRUPT);
    EXPECT_NE(err.find("vob.db"), std::string::npos) << err;
    testutil::write_file(storage + "/vob.db", data.substr(0, 100));
    EXPECT_NE(vob_open(storage, &h, &err), VOB_OK);
    EXPECT_NE(err.find("vob.db"), std::string::npos) << err;
    EXPECT_EQ(vob_open(tmp + "/nothing-here", &h, &err), VOB_NOT_FOUND);
    EXPECT_EQ(vob_open_tag("/none", &h, &err), VOB_NOT_FOUND);
    EXPECT_NE(err.find("No VOB has tag \"/none\""), std::string::npos) << err;
}

}   // namespace
