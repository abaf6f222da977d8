// The temporary view, the destination tree with its checks, and the
// labelling of an import's versions, against a private VANTOR_HOME.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <unistd.h>

#include "platform/registry/registry.h"
#include "platform/registry/vob_tag.h"
#include "tests/common/testvob.h"
#include "wizard/wiz_dest.h"
#include "wizard/wiz_error.h"
#include "wizard/wiz_label.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_ui.h"

namespace {

struct RecordingUi : WizUi {
    std::vector<std::string> errors;
    void message_box(wiz_box, const std::string &text) override { errors.push_back(text); }
    bool ask_yes_no(const std::string &) override { return true; }
};

// A tree whose user is whoever the test says.
struct UserTree : TreeVob {
    using TreeVob::TreeVob;
    bool root_user = true;
    unsigned uid = unsigned(::geteuid());
    bool privileged() const override { return root_user; }
    unsigned user_id() const override { return uid; }
};

struct Counter : EventObserver {
    int n = 0;
    void notify() override { ++n; }
};

std::vector<std::string> labels_of_items(const std::vector<std::unique_ptr<WizTreeItem>> &items) {
    std::vector<std::string> out;
    for (auto &i : items)
        out.push_back(i->label);
    return out;
}

class WizardDestTest : public testvob::VobTest {
protected:
    void TearDown() override {
        wiz_vob_handles_release();
        testvob::VobTest::TearDown();
    }
    vob_oid mkdir(vob_t *v, vob_oid parent, const std::string &name, int mtype = VOB_MT_DIR_ELEM) {
        vob_event ev = vob_event_now();
        vob_oid e = 0;
        EXPECT_EQ(vob_elem_create(v, parent, name, mtype, 0, &ev, &e), VOB_OK) << vob_errmsg(v);
        return e;
    }
    void set_owner(vob_t *v, unsigned uid) {
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open((vob_get_storage(v) + "/vob.db").c_str(), &db), SQLITE_OK);
        std::string sql = "UPDATE meta SET value = '" + std::to_string(uid) + "' WHERE key = 'owner'";
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    std::vector<std::string> labels_on(vob_t *v, vob_oid ver) {
        std::vector<vob_label> ls;
        EXPECT_EQ(vob_ver_get_labels(v, ver, &ls), VOB_OK);
        std::vector<std::string> out;
        for (auto &l : ls)
            out.push_back(l.name);
        return out;
    }
    vob_oid latest(vob_t *v, vob_oid branch) {
        vob_oid ver = 0;
        EXPECT_EQ(vob_branch_get_latest(v, branch, &ver), VOB_OK);
        return ver;
    }
    vob_oid main_branch(vob_t *v, vob_oid elem) {
        vob_elem_info info;
        EXPECT_EQ(vob_elem_get(v, elem, &info), VOB_OK);
        return info.main_branch;
    }
};

TEST_F(WizardDestTest, TemporaryViewTagsAndRemoval) {
    std::string err, pid = std::to_string(unsigned(::getpid()));
    // A crashed wizard of this pid left its view registered.
    ASSERT_EQ(rgy_view_add({"VantorImportWizard." + pid + ".0", tmp + "/stale", ""}, &err), VOB_OK) << err;
    std::string tag1, ws1;
    {
        TempSnapshotView one;
        TempSnapshotView two;
        EXPECT_EQ(one.tag(), "VantorImportWizard." + pid + ".1");
        EXPECT_EQ(two.tag(), "VantorImportWizard." + pid + ".2");
        EXPECT_EQ(one.root(), one.workspace() + "/" + one.tag());
        tag1 = one.tag();
        ws1 = one.workspace();
        std::string dir;
        EXPECT_EQ(view_tag_get_path(tag1, &dir, &err), VOB_OK);
    }
    std::string dir;
    EXPECT_EQ(view_tag_get_path(tag1, &dir, &err), VOB_NOT_FOUND);
    EXPECT_FALSE(std::filesystem::exists(ws1));
}

TEST_F(WizardDestTest, TreeShowsFoldersTheUserMayImportInto) {
    vob_t *a = make_vob("/a");
    ASSERT_NE(a, nullptr);
    std::string err;
    ASSERT_EQ(vob_make("/b", "", 1, nullptr, &err), VOB_OK) << err;   // a project VOB
    vob_t *c = make_vob("/c");
    set_owner(c, 4242);
    vob_oid root = vob_wk_obj(a, VOB_WK_ROOT_DIR);
    vob_oid src = mkdir(a, root, "src");
    mkdir(a, root, "readme", VOB_MT_FILE_ELEM);
    mkdir(a, src, "sub");
    mkdir(a, src, "lost+found");
    mkdir(c, vob_wk_obj(c, VOB_WK_ROOT_DIR), "x");
    vob_oid lf = 0;
    ASSERT_EQ(vob_dir_lookup(a, latest(a, main_branch(a, root)), "lost+found", &lf),
              VOB_OK);   // there, but hidden
    vob_close(a);
    vob_close(c);
    // Registered, but its storage is gone.
    rgy_vob gone;
    gone.tag = "/gone";
    gone.storage = tmp + "/no-such-vob";
    gone.uuid = std::string(32, '0');
    ASSERT_EQ(rgy_vob_add(gone, &err), VOB_OK) << err;

    TempSnapshotView view;
    struct {
        std::string vob;
        bool projects;
        std::vector<std::string> top;
    } tops[] = {
        {"", false, {"/a", "/c", "/gone"}},
        {"", true, {"/a", "/b", "/c", "/gone"}},
        {"/b", false, {"/b"}},   // named on the command line: shown though a project VOB
        {"/nope", false, {"/nope"}},
    };
    for (auto &t : tops) {
        TreeVob tree(&view, t.vob, t.projects);
        tree.expand(nullptr);
        EXPECT_EQ(labels_of_items(tree.top()), t.top) << t.vob << t.projects;
        for (auto &i : tree.top())
            EXPECT_TRUE(i->expandable && i->icon == wiz_icon::VOB && !i->expanded);
    }

    RecordingUi ui;
    UserTree tree(&view, "", false);
    tree.set_ui(&ui);
    tree.expand(nullptr);
    WizTreeItem *ta = tree.top()[0].get();
    EXPECT_FALSE(ta->expanded);   // filled only when expanded
    tree.expand(ta);
    EXPECT_EQ(labels_of_items(ta->children), std::vector<std::string>{"src"});   // no lost+found, no file
    WizTreeItem *tsrc = ta->children[0].get();
    tree.expand(tsrc);
    EXPECT_EQ(labels_of_items(tsrc->children), (std::vector<std::string>{"lost+found", "sub"}));
    WizTreeItem *tsub = tree.find({"/a", "src", "sub"});
    EXPECT_EQ(TreeVob::item_path(tsub), "/a/src/sub");
    EXPECT_EQ(TreeVob::sub_path(tsub), "src/sub");
    tree.expand(tsub);
    EXPECT_FALSE(tsub->expandable);   // an empty folder loses its button

    // The check, as the user and as root.
    const unsigned me = unsigned(::geteuid());   // the owner of /a
    struct {
        std::vector<std::string> item;
        bool root_user;
        unsigned uid;
        bool ok;
        std::string error;
    } checks[] = {
        {{"/a", "src"}, false, me, true, ""},
        {{"/a"}, false, me, true, ""},
        {{"/a"}, false, 4242, false, wiz_format(IDS_NOT_OWNER, {"/a"})},
        {{"/c"}, true, me, true, ""},
        {{"/c"}, false, 4242, true, ""},
        {{"/c"}, false, 1000, false, wiz_format(IDS_NOT_OWNER, {"/c"})},
        {{"/gone"}, true, 0, false, wiz_format(IDS_NO_VOB_ACCESS, {"/gone"})},
    };
    for (auto &k : checks) {
        tree.root_user = k.root_user;
        tree.uid = k.uid;
        WizTreeItem *it = tree.find(k.item);
        ASSERT_NE(it, nullptr);
        ASSERT_TRUE(tree.select(it));
        ui.errors.clear();
        EXPECT_EQ(tree.check_destination(true), k.ok) << k.item[0];
        EXPECT_TRUE(ui.errors.empty());
        EXPECT_EQ(tree.selected(), it);   // a silent check keeps the selection
        EXPECT_EQ(tree.check_destination(false), k.ok);
        EXPECT_EQ(ui.errors, k.ok ? std::vector<std::string>{} : std::vector<std::string>{k.error});
        EXPECT_EQ(tree.selected(), k.ok ? it : nullptr);
    }
    EXPECT_TRUE(TreeVob::inaccessible(tree.find({"/gone"})));
    EXPECT_FALSE(tree.check_destination(false));   // nothing selected
    // Someone else's VOB is not even read.
    tree.root_user = false;
    tree.uid = 1000;
    WizTreeItem *tc = tree.find({"/c"});
    tree.expand(tc);
    EXPECT_TRUE(tc->children.empty());
    EXPECT_EQ(tree.make_destination(), nullptr);

    // The destination of a folder loads its VOB into the view.
    EXPECT_TRUE(view.scopes().empty());
    ASSERT_TRUE(tree.select(tree.find({"/a", "src", "sub"})));
    auto d = tree.make_destination();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->vob_tag(), "/a");
    EXPECT_EQ(d->sub_path(), "src/sub");
    EXPECT_EQ(view.scopes(), std::set<std::string>{"/a"});
}

TEST_F(WizardDestTest, LabelsWhatTheImportMadeAndWhatLeadsToIt) {
    vob_t *v = make_vob("/p");
    ASSERT_NE(v, nullptr);
    vob_event ev = vob_event_now();
    vob_oid lb1 = 0, lb2 = 0, lb3 = 0, dev = 0;
    ASSERT_EQ(vob_type_create(v, VOB_MT_LBTYPE, "IMP_1", &ev, &lb1), VOB_OK);
    ASSERT_EQ(vob_type_create(v, VOB_MT_LBTYPE, "IMP_2", &ev, &lb2), VOB_OK);
    ASSERT_EQ(vob_type_create(v, VOB_MT_LBTYPE, "IMP_3", &ev, &lb3), VOB_OK);
    ASSERT_EQ(vob_type_create(v, VOB_MT_BRTYPE, "dev", &ev, &dev), VOB_OK);
    vob_oid root = vob_wk_obj(v, VOB_WK_ROOT_DIR);
    vob_oid top = mkdir(v, root, "top");
    // What an import to /p/top made: a directory with two files on dev.
    vob_oid made = mkdir(v, top, "new");
    vob_oid f1 = mkdir(v, made, "f1", VOB_MT_FILE_ELEM), f2 = mkdir(v, made, "f2", VOB_MT_FILE_ELEM);
    std::vector<vob_oid> branches;
    for (vob_oid f : {f1, f2}) {
        vob_oid b = 0, ver = 0;
        ASSERT_EQ(vob_branch_create(v, latest(v, main_branch(v, f)), dev, &ev, &b), VOB_OK);
        ASSERT_EQ(vob_ver_create(v, b, vob_data_bytes("x"), &ev, &ver), VOB_OK);
        branches.push_back(b);
    }
    vob_oid root_ver = latest(v, main_branch(v, root)), top_ver = latest(v, main_branch(v, top));

    TempSnapshotView view;
    ImportDestination dest(&view, "/p", "top");
    LabelRequest req;
    req.dest = &dest;
    req.created_dirs = {{made, main_branch(v, made)}};
    req.branch_list = {main_branch(v, f1), branches[0], branches[1]};
    req.branch_type = "dev";
    Counter count;
    wiz_apply_label(req, "IMP_1", &count);   // not succeeded: nothing
    EXPECT_EQ(count.n, 0);
    EXPECT_TRUE(req.ancestor_dirs.empty());

    req.succeeded = true;
    wiz_apply_label(req, "IMP_1", &count);
    EXPECT_EQ(req.ancestor_dirs, (std::map<vob_oid, vob_oid>{{root, root_ver}, {top, top_ver}}));
    EXPECT_EQ(count.n, int(req.branch_list.size() + req.ancestor_dirs.size() + req.created_dirs.size()));
    const std::vector<std::string> l1{"IMP_1"}, none;
    EXPECT_EQ(labels_on(v, latest(v, main_branch(v, made))), l1);
    EXPECT_EQ(labels_on(v, root_ver), l1);
    EXPECT_EQ(labels_on(v, top_ver), l1);
    EXPECT_EQ(labels_on(v, latest(v, branches[0])), l1);
    EXPECT_EQ(labels_on(v, latest(v, branches[1])), l1);
    EXPECT_EQ(labels_on(v, latest(v, main_branch(v, f1))), none);   // not the import's branch type

    // Into the VOB root: only the root is above.
    ImportDestination at_root(&view, "/p", "");
    LabelRequest r2;
    r2.dest = &at_root;
    r2.succeeded = true;
    Counter c2;
    wiz_apply_label(r2, "IMP_2", &c2);
    EXPECT_EQ(r2.ancestor_dirs, (std::map<vob_oid, vob_oid>{{root, root_ver}}));
    EXPECT_EQ(c2.n, 1);
    EXPECT_EQ(labels_on(v, root_ver), (std::vector<std::string>{"IMP_1", "IMP_2"}));
    // Also for a tag of two components: the walk ends at the VOB root.
    vob_t *xy = make_vob("/x/y");
    ASSERT_EQ(vob_type_create(xy, VOB_MT_LBTYPE, "IMP_2", &ev, nullptr), VOB_OK);
    ImportDestination at_xy(&view, "/x/y", "");
    LabelRequest r4;
    r4.dest = &at_xy;
    r4.succeeded = true;
    wiz_apply_label(r4, "IMP_2", nullptr);
    vob_oid xy_root = vob_wk_obj(xy, VOB_WK_ROOT_DIR);
    EXPECT_EQ(r4.ancestor_dirs,
              (std::map<vob_oid, vob_oid>{{xy_root, latest(xy, main_branch(xy, xy_root))}}));
    vob_close(xy);

    // A failure leaves no label of the request, and says where it happened.
    LabelRequest r3 = req;
    r3.branch_list.push_back(987654);
    try {
        wiz_apply_label(r3, "IMP_3", nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const VantorException &e) {
        EXPECT_NE(e.status(), VOB_OK);
        EXPECT_NE(e.context_text().find(wiz_format(IDS_CTX_LABEL_FILES, {dest.full_path()})),
                  std::string::npos)
            << e.context_text();
    }
    vob_oid found = 0;
    EXPECT_EQ(vob_elem_find_label(v, top, lb3, &found), VOB_NOT_FOUND);
    try {
        wiz_apply_label(r2, "NO_SUCH", nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const VantorException &e) {
        EXPECT_EQ(e.status(), VOB_NOT_FOUND);
        EXPECT_NE(e.context_text().find("applying label \"NO_SUCH\""), std::string::npos) << e.context_text();
    }
    vob_close(v);
}

}   // namespace
