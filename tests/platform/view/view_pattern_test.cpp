// Config-spec rules that select by path: a view of two VOBs whose spec picks
// one component by its label below its root, the directories above the
// component by /main/LATEST, and nothing else. Update, diff, lookups, element
// work and the file-system import must all see the same selection. Also the
// parser's patterns and the stream a view follows.
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include "platform/fsimport/fsimport_start.h"
#include "platform/view/view.h"

#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

using testutil::read_file;
using testutil::write_file;

// Files (with their bytes) and directories (ending in "/") below dir, without
// the view's records and the VOB roots' lost+found.
std::map<std::string, std::string> tree(const std::string &dir) {
    std::map<std::string, std::string> m;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
        std::string rel = fs::relative(it->path(), dir).string(), leaf = it->path().filename().string();
        if (leaf == ".vantor_view" || leaf == "lost+found") {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_directory())
            m[rel + "/"] = "";
        else
            m[rel] = read_file(it->path().string());
    }
    return m;
}

const char *const kSpec =
    "element * CHECKEDOUT\n"
    "element /vobA/... REL_A\n"
    "element \"/vobs/b/my src/comp/...\" REL_B   # the component\n"
    "element -file /vobs/b/top.txt /main/1\n"
    "element -directory /vobs/b /main/LATEST\n"
    "element -directory \"/vobs/b/my src\" /main/LATEST\n";

struct PathRules : testvob::VobTest {
    vob_t *a = nullptr, *b = nullptr;
    view_t *w = nullptr;
    std::string root;
    vob_oid comp = 0, k = 0, wip = 0;

    void SetUp() override {
        testvob::VobTest::SetUp();
        a = make_vob("/vobA");
        b = make_vob("/vobs/b");
        ASSERT_TRUE(a && b);
        // /vobA: all of it one component, labelled; draft.c and new.c are not.
        vob_oid ra = vob_wk_obj(a, VOB_WK_ROOT_DIR), lib, ac, x, draft, nc;
        ac = file(a, ra, "a.c", "a1");
        lib = dir(a, ra, "lib");
        x = file(a, lib, "x.c", "x1");
        draft = file(a, lib, "draft.c", "d1");
        label(a, "REL_A", {ra, lib, ac, x});
        put(a, ac, "a2");
        nc = file(a, ra, "new.c", "n1");
        (void)draft, (void)nc;
        // /vobs/b: the component "my src/comp" below two directories of the
        // stream, and names beside it that the view must not show.
        vob_oid rb = vob_wk_obj(b, VOB_WK_ROOT_DIR), src, compx, other, top;
        top = file(b, rb, "top.txt", "t1");
        put(b, top, "t2");
        src = dir(b, rb, "my src");
        comp = dir(b, src, "comp");
        compx = dir(b, src, "compx");
        other = dir(b, src, "other");
        file(b, other, "o.c", "o1");
        k = file(b, comp, "k.c", "k1");
        file(b, compx, "c.c", "c1");
        label(b, "REL_B", {comp, compx, k});
        wip = file(b, comp, "wip.c", "w1");   // after the label: in comp's latest only
        root = home + "/view";
        std::string err;
        ASSERT_EQ(view_make("pv", root, &err), VOB_OK) << err;
        ASSERT_EQ(view_open(root, &w, &err), VOB_OK) << err;
        ASSERT_EQ(view_add_scope(w, "/vobA"), VOB_OK) << view_errmsg(w);
        ASSERT_EQ(view_add_scope(w, "/vobs/b"), VOB_OK) << view_errmsg(w);
        ASSERT_EQ(view_set_config_spec(w, kSpec), VOB_OK) << view_errmsg(w);
    }
    void TearDown() override {
        view_close(w);
        vob_close(a);
        vob_close(b);
        testvob::VobTest::TearDown();
    }
    vob_oid main_of(vob_t *v, vob_oid e) {
        vob_elem_info ei;
        EXPECT_EQ(vob_elem_get(v, e, &ei), VOB_OK);
        return ei.main_branch;
    }
    vob_oid put(vob_t *v, vob_oid e, const std::string &bytes) {
        vob_oid ver = 0;
        EXPECT_EQ(vob_ver_create(v, main_of(v, e), vob_data_bytes(bytes), nullptr, &ver), VOB_OK)
            << vob_errmsg(v);
        return ver;
    }
    vob_oid file(vob_t *v, vob_oid parent, const std::string &name, const std::string &bytes) {
        vob_oid e = 0;
        EXPECT_EQ(vob_elem_create(v, parent, name, VOB_MT_FILE_ELEM, 0, nullptr, &e), VOB_OK)
            << vob_errmsg(v);
        put(v, e, bytes);
        return e;
    }
    vob_oid dir(vob_t *v, vob_oid parent, const std::string &name) {
        vob_oid e = 0;
        EXPECT_EQ(vob_elem_create(v, parent, name, VOB_MT_DIR_ELEM, 0, nullptr, &e), VOB_OK) << vob_errmsg(v);
        return e;
    }
    // Labels the latest version of each element (making the type when new;
    // moving the label with replace).
    void label(vob_t *v, const std::string &name, const std::vector<vob_oid> &elems, int replace = 0) {
        vob_oid lt = 0;
        if (vob_type_find(v, VOB_MT_LBTYPE, name, &lt) != VOB_OK) {
            ASSERT_EQ(vob_type_create(v, VOB_MT_LBTYPE, name, nullptr, &lt), VOB_OK) << vob_errmsg(v);
        }
        for (vob_oid e : elems) {
            vob_oid ver = 0;
            ASSERT_EQ(vob_branch_get_latest(v, main_of(v, e), &ver), VOB_OK);
            ASSERT_EQ(vob_ver_add_label(v, ver, lt, replace, nullptr), VOB_OK) << vob_errmsg(v);
        }
    }
    void update() {
        view_update_stats st;
        ASSERT_EQ(view_update(w, nullptr, &st, nullptr), VOB_OK) << view_errmsg(w);
    }
    // The version id the view selects at a path, or "-" when it selects none.
    std::string selected(const std::string &rel) {
        view_fhandle fh;
        if (view_get_fhandle(w, root + "/" + rel, &fh) != VOB_OK)
            return "-";
        vob_t *h = nullptr;
        vob_ver_info vi;
        EXPECT_EQ(view_get_vob(w, fh.vob_tag, &h), VOB_OK);
        EXPECT_EQ(vob_ver_get(h, fh.ver, &vi), VOB_OK);
        return vi.id;
    }
};

const std::map<std::string, std::string> kShown = {
    {"vobA/", ""},
    {"vobA/a.c", "a1"},
    {"vobA/lib/", ""},
    {"vobA/lib/x.c", "x1"},
    {"vobs/", ""},
    {"vobs/b/", ""},
    {"vobs/b/top.txt", "t1"},
    {"vobs/b/my src/", ""},
    {"vobs/b/my src/comp/", ""},
    {"vobs/b/my src/comp/k.c", "k1"},
};

// Update, diff and lookups agree on what the patterns select.
TEST_F(PathRules, UpdateDiffAndLookupSelectByPath) {
    update();
    EXPECT_EQ(tree(root), kShown);

    // The store's side of diff agrees with a tree of exactly those files.
    std::string cmp = tmp + "/cmp";
    for (auto &[rel, bytes] : kShown)
        if (rel.back() != '/')
            write_file(cmp + "/" + rel, bytes);
    for (const char *vob : {"vobA", "vobs/b"}) {
        std::vector<view_diff_item> d;
        view_diff_stats st;
        ASSERT_EQ(view_diff(w, root + "/" + vob, cmp + "/" + vob, 1, 0, &d, &st), VOB_OK) << view_errmsg(w);
        EXPECT_TRUE(d.empty()) << vob << ": " << d.size() << " differences, first " << d[0].path;
    }
    write_file(cmp + "/vobs/b/my src/other/o.c", "o1");
    std::vector<view_diff_item> d;
    view_diff_stats st;
    ASSERT_EQ(view_diff(w, root + "/vobs/b", cmp + "/vobs/b", 1, 0, &d, &st), VOB_OK) << view_errmsg(w);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].kind, view_diff_item::ONLY_DIR);
    EXPECT_EQ(d[0].path, "my src/other");
    ASSERT_EQ(view_diff(w, root + "/vobs/b/my src/other", cmp + "/vobs/b/my src/other", 1, 0, &d, &st),
              VOB_OK)
        << view_errmsg(w);
    EXPECT_TRUE(st.unselected);

    // Lookups through the view: the same versions, nothing outside the patterns.
    const std::pair<const char *, const char *> lookups[] = {
        {"vobA/a.c", "/main/1"},
        {"vobA/lib/x.c", "/main/1"},
        {"vobA/lib/draft.c", "-"},   // inside the component, unlabelled
        {"vobA/new.c", "-"},         // not in the labelled root
        {"vobs/b/top.txt", "/main/1"},
        {"vobs/b/my src/comp/k.c", "/main/1"},
        {"vobs/b/my src/comp/wip.c", "-"},
        {"vobs/b/my src/compx", "-"},   // "comp/..." holds by whole components
        {"vobs/b/my src/other/o.c", "-"},
        {"vobs/b/my src/comp/k.c@@/main/LATEST", "/main/1"},
    };
    for (auto &[rel, id] : lookups)
        EXPECT_EQ(selected(rel), id) << rel;
    view_fhandle fh;
    ASSERT_NE(view_get_fhandle(w, root + "/vobs/b/my src/other/o.c", &fh), VOB_OK);
    EXPECT_EQ(view_get_unselected(w, root + "/vobs/b/my src/other/o.c", &fh), VOB_OK);
    ASSERT_EQ(view_get_fhandle(w, root + "/vobs/b/my src", &fh), VOB_OK);
    std::vector<view_selected> sel;
    ASSERT_EQ(view_read_selected(w, fh, &sel), VOB_OK) << view_errmsg(w);
    ASSERT_EQ(sel.size(), 1u);
    EXPECT_EQ(sel[0].name, "comp");

    // Element work through the view finds its elements by the same rules.
    view_fhandle made;
    EXPECT_NE(view_mkelem(w, root + "/vobs/b/my src/other/n.c", VOB_MT_FILE_ELEM, "", "", 1, &made), VOB_OK);
    EXPECT_NE(view_checkout(w, root + "/vobs/b/my src/comp/wip.c", 1, ""), VOB_OK);
    ASSERT_EQ(view_checkout(w, root + "/vobs/b/my src/comp/k.c", 1, ""), VOB_OK) << view_errmsg(w);
    write_file(root + "/vobs/b/my src/comp/k.c", "k2");
    update();   // CHECKEDOUT comes first: the copy stays
    EXPECT_EQ(read_file(root + "/vobs/b/my src/comp/k.c"), "k2");
    ASSERT_EQ(view_uncheckout(w, root + "/vobs/b/my src/comp/k.c"), VOB_OK) << view_errmsg(w);
    fs::remove(root + "/vobs/b/my src/comp/k.c.keep");
    EXPECT_EQ(tree(root), kShown);

    // Without the ancestors' rules the component cannot be reached, and
    // update removes what it loaded; a spec without patterns loads all again.
    ASSERT_EQ(view_set_config_spec(w, "element /vobA/... REL_A\nelement \"/vobs/b/my src/comp/...\" REL_B\n"),
              VOB_OK);
    update();
    std::map<std::string, std::string> only_a;
    for (auto &[rel, bytes] : kShown)
        if (rel.rfind("vobA", 0) == 0)
            only_a[rel] = bytes;
    only_a["vobs/"] = only_a["vobs/b/"] = "";   // the VOB root's place stays
    EXPECT_EQ(tree(root), only_a);
    ASSERT_EQ(view_set_config_spec(w, view_default_config_spec()), VOB_OK);
    update();
    EXPECT_EQ(read_file(root + "/vobA/new.c"), "n1");
    EXPECT_EQ(read_file(root + "/vobs/b/my src/comp/wip.c"), "w1");
}

// The file-system import goes down to the component and imports into it by
// the view's path rules (into a VOB whose tag has two components).
TEST_F(PathRules, FileSystemImportIntoTheComponent) {
    // New names go into the latest version of comp, so the label moves
    // there first (wip.c in it has none, and stays out of the view).
    label(b, "REL_B", {comp}, 1);
    update();
    std::string src = tmp + "/src/comp";
    write_file(src + "/k.c", "k2");
    write_file(src + "/n.c", "n1");
    fsimport_params p;
    std::string target = root + "/vobs/b/my src";
    p.target = target.c_str();
    p.recurse = 1;
    p.mklabel = 1;
    p.label = "REL_B";
    const char *sources[] = {src.c_str()};
    int rc;
    {
        testutil::ImsgCapture cap;
        rc = fsimport_start(&p, sources, 1);
        EXPECT_EQ(rc, 0) << cap.out() << cap.err();
    }
    EXPECT_EQ(p.not_imported_count, 0);
    fsimport_params_release(&p);
    std::map<std::string, std::string> want = kShown;
    want["vobs/b/my src/comp/k.c"] = "k2";
    want["vobs/b/my src/comp/n.c"] = "n1";
    EXPECT_EQ(tree(root), want);   // wip.c, still unlabelled, stays out
    EXPECT_EQ(selected("vobs/b/my src/comp/k.c"), "/main/2");
    EXPECT_EQ(selected("vobs/b/my src/comp/wip.c"), "-");
}

// Patterns: what the parser takes, and what it refuses with the line.
TEST(ConfigSpecPatterns, GoodAndBad) {
    struct good_case {
        const char *line, *path;
        int below, only;
        vob_rule::kind_t kind;
    };
    const vob_rule::kind_t LB = vob_rule::LABEL;
    const good_case good[] = {
        {"element * REL", "", 0, 0, LB},
        {"element /vobA/... REL", "/vobA", 1, 0, LB},
        {"element /vobA REL", "/vobA", 0, 0, LB},
        {"element -directory \"/vob s/my src\" /main/LATEST", "/vob s/my src", 0, VOB_MT_DIR_ELEM,
         vob_rule::LATEST},
        {"element -file \"/vobs/b/a #1.c\" /main/3   # a comment", "/vobs/b/a #1.c", 0, VOB_MT_FILE_ELEM,
         vob_rule::VERSION},
        {"element\t\"/v/x y/...\"\tREL", "/v/x y", 1, 0, LB},
        {"element /... CHECKEDOUT", "", 0, 0, vob_rule::CHECKEDOUT},   // every element, as "*"
        {"element /v/.hidden/a..b REL", "/v/.hidden/a..b", 0, 0, LB},
        {"element /v/x \"REL\"", "/v/x", 0, 0, LB},
    };
    for (const good_case &c : good) {
        std::vector<vob_rule> r;
        std::string err;
        ASSERT_EQ(view_parse_config_spec(c.line, "cs", &r, &err), VOB_OK) << c.line << ": " << err;
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].path, c.path) << c.line;
        EXPECT_EQ(r[0].below, c.below) << c.line;
        EXPECT_EQ(r[0].only, c.only) << c.line;
        EXPECT_EQ(r[0].kind, c.kind) << c.line;
    }
    const std::pair<const char *, const char *> bad[] = {
        {"element vobA/... REL", "bad pattern \"vobA/...\": a pattern is \"*\", a path from \"/\""},
        {"element /vobA... REL", "\"...\" follows a \"/\" (\"/vobA/...\")"},
        {"element /vobA/src/../x REL", "no \".\" or \"..\" component"},
        {"element /vobA/./x REL", "no \".\" or \"..\" component"},
        {"element /vobA//x REL", "no empty component"},
        {"element /vobA/ REL", "no empty component"},
        {"element /vobA/.../x REL", "\"...\" only ends a pattern"},
        {"element /vobA/*.c REL", "\"*\" is a pattern of its own"},
        {"element / REL", "the view's root"},
        {"element \"/vob B/src REL", "unterminated quote: \"/vob B/src REL"},
        {"element \"/vob B\"x REL", "a blank must follow the closing quote"},
        {"element /vob\"B\" REL", "a quote may only enclose a whole word"},
        {"element \"-file\" /v REL", "bad pattern \"-file\""},
        {"element \"\" REL", "bad pattern \"\""},
        {"element /v/x \"\"", "bad version selector \"\""},
        {"element \"/v/x y\"", "a rule is \"element [-file|-directory] PATTERN VERSION\""},
    };
    for (auto &[line, message] : bad) {
        std::vector<vob_rule> r;
        std::string err;
        EXPECT_EQ(
            view_parse_config_spec(std::string("element * CHECKEDOUT\n") + line + "\n", "my.cs", &r, &err),
            VOB_ERR)
            << line;
        EXPECT_EQ(err.rfind("my.cs, line 2: ", 0), 0u) << line << ": " << err;
        EXPECT_NE(err.find(message), std::string::npos) << line << ": " << err;
    }
}

// The stream a view follows: kept in view.json, read back on opening,
// detached with "", checked; view.json without it opens as it did.
TEST_F(PathRules, StreamIsKeptAndDetached) {
    const std::string json = root + "/.vantor_view/view.json";
    EXPECT_EQ(view_get_stream(w), "");
    EXPECT_EQ(read_file(json).find("\"stream\""), std::string::npos);
    ASSERT_EQ(view_set_stream(w, "stream:IntegrationStream@/pvob"), VOB_OK) << view_errmsg(w);
    for (const char *bad : {"IntegrationStream@/pvob", "stream:", "stream:a\nb"}) {
        EXPECT_EQ(view_set_stream(w, bad), VOB_ERR) << bad;
        EXPECT_NE(view_errmsg(w).find("bad stream"), std::string::npos) << view_errmsg(w);
    }
    view_t *again = nullptr;
    std::string err;
    ASSERT_EQ(view_open(root, &again, &err), VOB_OK) << err;
    EXPECT_EQ(view_get_stream(again), "stream:IntegrationStream@/pvob");
    std::string cs;
    ASSERT_EQ(view_get_config_spec(again, &cs), VOB_OK);
    EXPECT_EQ(cs, kSpec);   // the stream and the config spec are kept side by side
    // Another handle's change of the config spec keeps the stream.
    ASSERT_EQ(view_set_config_spec(again, view_default_config_spec()), VOB_OK);
    view_close(again);
    ASSERT_EQ(view_open(root, &again, &err), VOB_OK) << err;
    EXPECT_EQ(view_get_stream(again), "stream:IntegrationStream@/pvob");
    ASSERT_EQ(view_set_stream(again, ""), VOB_OK) << view_errmsg(again);
    view_close(again);
    EXPECT_EQ(read_file(json).find("\"stream\""), std::string::npos);
    ASSERT_EQ(view_open(root, &again, &err), VOB_OK) << err;
    EXPECT_EQ(view_get_stream(again), "");
    view_close(again);

    std::string text = read_file(json);
    write_file(json, text.substr(0, text.rfind('}')) + ",\"stream\":7}\n");
    EXPECT_EQ(view_open(root, &again, &err), VOB_CORRUPT);
    EXPECT_NE(err.find("not view metadata"), std::string::npos) << err;
}

}   // namespace
