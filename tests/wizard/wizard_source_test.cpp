// The source side of the wizard: the archive recognisers, the source trees
// with their selection rules and legacy objects, SourceSafe through the `ss`
// stand-in, and the PVCS installation check.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <tuple>

#include "tests/common/testutil.h"
#include "tests/pvcs/pvcs_writer.h"
#include "wizard/wiz_archive.h"
#include "wizard/wiz_error.h"
#include "wizard/wiz_source.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_ui.h"

namespace {

struct RecordingUi : WizUi {
    std::vector<std::pair<wiz_box, std::string>> boxes;
    void message_box(wiz_box kind, const std::string &text) override { boxes.emplace_back(kind, text); }
    bool ask_yes_no(const std::string &) override { return true; }
};

// Sets a variable for the scope (null: unsets it) and puts it back after.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name) {
        if (const char *old = std::getenv(name))
            old_ = old;
        set(value);
    }
    ~ScopedEnv() { set(old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    void set(const char *v) {
        if (v)
            ::setenv(name_.c_str(), v, 1);
        else
            ::unsetenv(name_.c_str());
    }
    std::string name_;
    std::optional<std::string> old_;
};

const char RCS_ARCHIVE[] =
    "head\t1.2;\naccess;\nsymbols\n\tREL1:1.1;\nlocks; strict;\n\n1.2\ndate\t2003.01.01;\n"
    "\ndesc\n@the file@\n";

std::string pvcs_bytes(const std::string &workfile) {
    pvcs_test::archive a;
    a.workfile = workfile;
    a.revisions.push_back({});
    a.revisions.back().number = "1.0";
    return pvcs_test::write(a);
}

std::vector<std::string> labels(const WizTreeItem *item) {
    std::vector<std::string> out;
    for (const auto &c : item->children)
        out.push_back(c->label);
    return out;
}

}   // namespace

TEST(WizArchive, RcsRecogniserReadsTheFirstLines) {
    testutil::TempDir dir;
    std::string long_line(WIZ_RCS_LINE_MAX, 'x');
    struct {
        const char *name;
        std::string text;
        bool archive;
    } rows[] = {
        {"archive", RCS_ARCHIVE, true},
        {"leading empty lines, CRLF ends", "\n\r\n\nhead 1.1;\r\naccess ;\r\nsymbols ;\r\ndesc\r\n", true},
        {"one line holds all three", "head 1.1;\naccess symbols desc\n", true},
        {"first non-empty line lacks head", "hello\nhead 1.1;\naccess;\nsymbols;\ndesc\n", false},
        {"desc before symbols", "head 1.1;\naccess;\ndesc\nsymbols;\n", false},
        {"no access", "head 1.1;\nsymbols;\ndesc\n", false},
        {"end of file before desc", "head 1.1;\naccess;\nsymbols;\n", false},
        {"empty", "", false},
        // Lines are read WIZ_RCS_LINE_MAX characters at a time.
        {"head past the first line's limit", long_line + "head\naccess\nsymbols\ndesc\n", false},
        {"desc in a long line's second part", "head\naccess symbols" + long_line + "desc\n", true},
        {"binary", std::string("\xE1\0head\0", 7), false},
    };
    for (const auto &r : rows) {
        std::string path = dir / "f,v";
        testutil::write_file(path, r.text);
        EXPECT_EQ(wiz_is_rcs_archive(path), r.archive) << r.name;
    }
    // Only regular files are read: a FIFO is refused without waiting for a writer.
    ASSERT_EQ(::mkfifo((dir / "fifo,v").c_str(), 0600), 0);
    EXPECT_FALSE(wiz_is_rcs_archive(dir / "fifo,v"));
    EXPECT_FALSE(wiz_is_rcs_archive(dir.path()));
    EXPECT_FALSE(wiz_is_rcs_archive(dir / "missing,v"));
}

TEST(WizArchive, PvcsRecogniserAndWorkfileLeafThroughTheReader) {
    testutil::TempDir dir;
    testutil::ImsgCapture msgs;
    std::string path = dir / "a.c_v";
    auto leaf_of = [&](const std::string &bytes) -> std::optional<std::string> {
        testutil::write_file(path, bytes);
        std::string leaf;
        if (!wiz_pvcs_workfile_leaf(path, &leaf))
            return std::nullopt;
        return leaf;
    };
    // The leaf after the last separator of either kind.
    EXPECT_EQ(leaf_of(pvcs_bytes("C:\\src\\lib\\main.c")), "main.c");
    EXPECT_EQ(leaf_of(pvcs_bytes("/u/src/lib.h")), "lib.h");
    EXPECT_EQ(leaf_of(pvcs_bytes("plain.c")), "plain.c");
    EXPECT_EQ(leaf_of(pvcs_bytes("C:\\src\\")), std::nullopt);

    // The first two bytes: E1 or E2, then 00.
    std::string good = pvcs_bytes("main.c");
    for (auto [b0, b1, yes] : {std::tuple{0xE1, 0x00, true},
                               {0xE2, 0x00, true},
                               {0xE1, 0x01, false},
                               {0xE3, 0x00, false},
                               {0x00, 0x00, false}}) {
        std::string bytes = good;
        bytes[0] = char(b0);
        bytes[1] = char(b1);
        testutil::write_file(path, bytes);
        EXPECT_EQ(wiz_is_pvcs_archive(path), yes) << b0 << " " << b1;
        EXPECT_EQ(leaf_of(bytes).has_value(), yes) << b0 << " " << b1;
    }
    testutil::write_file(path, std::string("\xE1\0", 2));
    EXPECT_FALSE(wiz_is_pvcs_archive(path));   // too short to hold a trailer

    // Damage: never a name, never a crash.
    EXPECT_EQ(leaf_of(good.substr(0, good.size() - 5)), std::nullopt);   // truncated
    pvcs_test::layout where;
    std::string far = pvcs_test::write(pvcs_test::archive{}, &where);
    pvcs_test::put_u32(&far, where.trailer_pos + 4, 0x7FFFFFF0u);   // distance past the end
    EXPECT_EQ(leaf_of(far), std::nullopt);
    pvcs_test::archive no_h;
    no_h.workfile.reset();
    no_h.owner = "alice";
    EXPECT_EQ(leaf_of(pvcs_test::write(no_h)), std::nullopt);
    pvcs_test::archive end_first;
    end_first.header_extra.push_back({'@', ""});
    EXPECT_EQ(leaf_of(pvcs_test::write(end_first)), std::nullopt);

    std::string leaf = "kept";
    EXPECT_FALSE(wiz_pvcs_workfile_leaf(dir / "missing", &leaf));
    EXPECT_EQ(leaf, "kept");
    EXPECT_FALSE(wiz_is_pvcs_archive(dir.path()));
    // Browsing prints nothing, whatever it met.
    EXPECT_EQ(msgs.err(), "");
    EXPECT_EQ(msgs.out(), "");
}

// A home directory of legacy files for the trees; HOME points at it.
class WizSourceTree : public ::testing::Test {
protected:
    testutil::TempDir tmp;
    std::string home = tmp / "home";
    std::optional<ScopedEnv> home_env;
    RecordingUi ui;

    void SetUp() override {
        tmp.file("home/a.txt", "plain\n");
        tmp.file("home/.hidden", "x");
        tmp.dir("home/b_dir/empty");
        tmp.file("home/rcs/x.c,v", RCS_ARCHIVE);
        tmp.file("home/rcs/notes.txt", "head but not an archive\n");
        testutil::write_file(home + "/pvcs/main.c_v", pvcs_bytes("C:\\work\\main.c"));
        tmp.file("home/pvcs/junk_v", "junk");
        home_env.emplace("HOME", home.c_str());
    }
    WizTreeItem *at(WizTree &tree, std::vector<std::string> path) {
        path.insert(path.begin(), home);
        return tree.find(path);
    }
};

TEST_F(WizSourceTree, BrowsingTheDisk) {
    TreeFile tree;
    tree.set_ui(&ui);
    tree.expand(nullptr);
    ASSERT_EQ(tree.top().size(), 2u);
    EXPECT_EQ(tree.top()[0]->label, home);
    EXPECT_EQ(tree.top()[1]->label, "/");
    for (const auto &t : tree.top()) {
        EXPECT_TRUE(t->expandable);
        EXPECT_FALSE(tree.can_select(t.get()));
        EXPECT_EQ(tree.make_legacy_object(t.get()), nullptr);
    }
    WizTreeItem *h = tree.top()[0].get();
    tree.expand(h);
    // Every entry, hidden ones too, in byte order; directories expandable.
    EXPECT_EQ(labels(h), (std::vector<std::string>{".hidden", "a.txt", "b_dir", "pvcs", "rcs"}));
    EXPECT_FALSE(h->children[1]->expandable);
    EXPECT_EQ(h->children[1]->icon, wiz_icon::PLAIN_FILE);
    EXPECT_TRUE(h->children[2]->expandable);
    EXPECT_EQ(TreeLegacy::fs_data(h->children[2].get())->path, home + "/b_dir");
    // An empty directory loses its button; one that went away shows nothing.
    WizTreeItem *empty = at(tree, {"b_dir", "empty"});
    ASSERT_NE(empty, nullptr);
    tree.expand(empty);
    EXPECT_FALSE(empty->expandable);
    WizTreeItem *rcs = at(tree, {"rcs"});
    std::filesystem::remove_all(home + "/rcs");
    tree.expand(rcs);
    EXPECT_TRUE(rcs->children.empty());
    EXPECT_TRUE(ui.boxes.empty());

    // Any file or folder below a top item is an ordinary-files object.
    std::unique_ptr<LegacyObject> o = tree.make_legacy_object(at(tree, {"a.txt"}));
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->repository()->kind(), LegacyKind::get(LegacyKind::FFILE));
    EXPECT_EQ(o->repository()->location(), home);
    EXPECT_EQ(o->object_path(), "a.txt");
    EXPECT_EQ(o->display_name(), "a.txt");
}

TEST_F(WizSourceTree, ArchiveTreesSelectAndNameTheirObjects) {
    struct {
        TreeLegacy *tree;
        std::vector<std::string> path;
        bool selectable;
        std::string shown;
        wiz_icon icon;
    } rows[] = {
        {wiz_source_tree(LegacyKind::get(LegacyKind::RCS)), {"rcs", "x.c,v"}, true, "x.c", wiz_icon::ARCHIVE},
        {wiz_source_tree(LegacyKind::get(LegacyKind::SI)), {"rcs", "x.c,v"}, true, "x.c", wiz_icon::ARCHIVE},
        {wiz_source_tree(LegacyKind::get(LegacyKind::RCS)),
         {"rcs", "notes.txt"},
         false,
         "",
         wiz_icon::PLAIN_FILE},
        {wiz_source_tree(LegacyKind::get(LegacyKind::RCS)), {"rcs"}, true, "rcs", wiz_icon::FOLDER},
        {wiz_source_tree(LegacyKind::get(LegacyKind::PVCS)),
         {"pvcs", "main.c_v"},
         true,
         "main.c",
         wiz_icon::ARCHIVE},
        {wiz_source_tree(LegacyKind::get(LegacyKind::PVCS)),
         {"pvcs", "junk_v"},
         false,
         "",
         wiz_icon::PLAIN_FILE},
        {wiz_source_tree(LegacyKind::get(LegacyKind::PVCS)), {"pvcs"}, true, "pvcs", wiz_icon::FOLDER},
    };
    for (const auto &r : rows) {
        r.tree->reset();   // the trees of the kinds outlive the tests' homes
        WizTreeItem *item = at(*r.tree, r.path);
        ASSERT_NE(item, nullptr) << r.path.back();
        EXPECT_EQ(r.tree->can_select(item), r.selectable) << r.path.back();
        EXPECT_EQ(r.tree->select(item), r.selectable) << r.path.back();
        EXPECT_EQ(item->icon, r.icon) << r.path.back();
        std::unique_ptr<LegacyObject> o = r.tree->make_legacy_object(item);
        ASSERT_EQ(o != nullptr, r.selectable) << r.path.back();
        if (!o)
            continue;
        // The label is the object path, in its parent directory; SI names RCS repositories.
        EXPECT_EQ(o->display_name(), r.shown);
        EXPECT_EQ(o->object_path(), r.path.back());
        EXPECT_EQ(o->repository()->location(), r.path.size() == 1 ? home : home + "/" + r.path[0]);
        EXPECT_EQ(o->repository()->kind(), r.tree->kind());
    }
    TreeLegacy *rcs = wiz_source_tree(LegacyKind::get(LegacyKind::RCS));
    TreeLegacy *si = wiz_source_tree(LegacyKind::get(LegacyKind::SI));
    EXPECT_NE(rcs, si);
    EXPECT_EQ(rcs, wiz_source_tree(LegacyKind::get(LegacyKind::RCS)));
    EXPECT_EQ(si->kind(), LegacyKind::get(LegacyKind::RCS));
    for (LegacyKind::Id k : {LegacyKind::FFILE, LegacyKind::RCS, LegacyKind::SI, LegacyKind::PVCS})
        wiz_source_tree(LegacyKind::get(k))->reset();
}

// SourceSafe databases through the stand-in, which reads ssdb.json of SSDIR.
class WizSourceSafe : public WizSourceTree {
protected:
    std::string db = home + "/db";
    std::optional<ScopedEnv> path_env, ssdb_env;

    void SetUp() override {
        WizSourceTree::SetUp();
        std::string path = std::string(SS_BIN_DIR) + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "");
        path_env.emplace("PATH", path.c_str());
        ssdb_env.emplace("SSDB", nullptr);
        tmp.file("home/db/srcsafe.ini", "Data_Path = data\n");
        tmp.file("home/db/ssdb.json", R"({
          "current": "$/other",
          "projects": ["$/proj", "$/proj/sub", "$/proj/sub/deep", "$/other"],
          "files": {"F1": {"entries": [{"version": 1, "user": "Admin", "date": "8/06/02",
                                         "time": "3:00p", "action": "Created", "contents": "one\n"}]}},
          "places": [{"path": "$/proj/a.c", "file": "F1", "pin": 1}, {"path": "$/proj/sub/b.c", "file": "F1"}]
        })");
        tmp.file("home/broken/srcsafe.ini", "");   // no database behind it
        tmp.file("home/plain/x.txt", "");
    }
    // The working project the next `ss` sees.
    std::string current_project(const std::string &ssdir) {
        testutil::ProcResult r = testutil::run({"ss", "dir", "-I-", "-F-"}, tmp.path(), {{"SSDIR", ssdir}});
        return r.out.substr(0, r.out.find(":\r\n"));
    }
};

TEST_F(WizSourceSafe, DatabasesProjectsAndTheirObjects) {
    TreeVSS tree;
    tree.set_ui(&ui);
    WizTreeItem *folder = at(tree, {"db"});
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->icon, wiz_icon::SSAFE_DATABASE);
    EXPECT_EQ(at(tree, {"plain"})->icon, wiz_icon::FOLDER);
    // A database folder shows its projects, not its files.
    tree.expand(folder);
    EXPECT_EQ(labels(folder), (std::vector<std::string>{"other", "proj"}));
    WizTreeItem *proj = at(tree, {"db", "proj"});
    tree.expand(proj);
    EXPECT_EQ(labels(proj), (std::vector<std::string>{"sub", "a.c"}));
    EXPECT_TRUE(proj->children[0]->expandable);
    EXPECT_EQ(proj->children[0]->icon, wiz_icon::SSAFE_PROJECT);
    EXPECT_FALSE(proj->children[1]->expandable);
    EXPECT_EQ(TreeLegacy::ss_data(proj->children[1].get())->spec, "$/proj/a.c");
    WizTreeItem *other = at(tree, {"db", "other"});
    tree.expand(other);   // an empty project: nothing, and no complaint
    EXPECT_TRUE(other->children.empty());
    EXPECT_TRUE(ui.boxes.empty());

    // A project two levels down: names joined by "/", in the database folder.
    WizTreeItem *deep = at(tree, {"db", "proj", "sub", "deep"});
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(TreeLegacy::ss_data(deep)->ini, db + "/srcsafe.ini");
    std::unique_ptr<LegacyObject> o = tree.make_legacy_object(deep);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->object_path(), "proj/sub/deep");
    EXPECT_EQ(o->display_name(), "deep");   // what the import makes of it
    EXPECT_EQ(o->repository()->location(), db);
    EXPECT_EQ(o->repository()->export_operand(o->object_path()), "deep");
    // The folder itself is the whole database: no object path.
    std::unique_ptr<LegacyObject> whole = tree.make_legacy_object(folder);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->object_path(), "");
    EXPECT_EQ(whole->display_name(), "");
    EXPECT_EQ(whole->repository()->location(), db);
    EXPECT_TRUE(*whole->repository() == *o->repository());
    // SourceSafe items always, folders below a top item, files never.
    EXPECT_TRUE(tree.can_select(at(tree, {"db", "proj", "a.c"})));
    EXPECT_TRUE(tree.can_select(at(tree, {"plain"})));
    EXPECT_FALSE(tree.can_select(at(tree, {"a.txt"})));
    EXPECT_FALSE(tree.can_select(tree.top()[0].get()));
    EXPECT_EQ(wiz_ssafe_object_path("$/proj/$/x"), "proj/x");
}

TEST_F(WizSourceSafe, DatabaseThatCannotBeOpened) {
    TreeVSS tree;
    tree.set_ui(&ui);
    std::string want = wiz_format(IDS_SSAFE_NO_DATABASE, {home + "/broken/srcsafe.ini"});
    WizTreeItem *broken = at(tree, {"broken"});
    tree.expand(broken);
    EXPECT_TRUE(broken->children.empty());
    EXPECT_FALSE(broken->expandable);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].second, want);
    // No client on PATH: the same message, once for this expansion.
    ScopedEnv no_client("PATH", (tmp / "home/plain").c_str());
    ui.boxes.clear();
    WizTreeItem *folder = at(tree, {"db"});
    tree.expand(folder);
    EXPECT_TRUE(folder->children.empty());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].second, wiz_format(IDS_SSAFE_NO_DATABASE, {db + "/srcsafe.ini"}));
}

TEST_F(WizSourceSafe, RepositoryPreparesTheExportersProject) {
    std::unique_ptr<LegacyRepository> plain = make_legacy_repository(LegacyKind::get(LegacyKind::RCS), home);
    EXPECT_EQ(dynamic_cast<SsafeRepository *>(plain.get()), nullptr);
    EXPECT_EQ(plain->export_operand("a/b"), "a/b");
    std::unique_ptr<LegacyRepository> made = make_legacy_repository(LegacyKind::get(LegacyKind::SSAFE), db);
    auto *repo = dynamic_cast<SsafeRepository *>(made.get());
    ASSERT_NE(repo, nullptr);

    ScopedEnv ssdir("SSDIR", "/elsewhere");
    struct {
        std::string object, project, operand;
    } rows[] = {
        {"proj/sub/deep", "$/proj/sub", "deep"},
        {"proj/a.c", "$/proj", "a.c"},
        {"proj", "$/", "proj"},
        {"", "$/", ""},
    };
    for (const auto &r : rows) {
        repo->prepare_export(r.object);
        EXPECT_EQ(std::string(std::getenv("SSDIR")), db) << r.object;
        EXPECT_EQ(current_project(db), r.project) << r.object;   // kept for the exporter's own ss
        EXPECT_EQ(repo->export_operand(r.object), r.operand);
    }
    // A project the client refuses stops the export before it runs elsewhere.
    repo->prepare_export("proj/sub/deep");
    try {
        repo->prepare_export("gone/x");
        ADD_FAILURE() << "no exception";
    } catch (const VantorException &e) {
        EXPECT_EQ(e.status(), VantorException::COMPLETE);
        EXPECT_NE(e.message().find("$/gone"), std::string::npos) << e.message();
    }
    EXPECT_EQ(current_project(db), "$/proj/sub");
    SsafeRepository nowhere(LegacyKind::get(LegacyKind::SSAFE), home + "/broken");
    EXPECT_THROW(nowhere.prepare_export("proj"), VantorException);
}

TEST(WizKindCheck, PvcsInstallationThroughRegistryAndPath) {
    testutil::TempDir tmp;
    ScopedEnv vantor_home("VANTOR_HOME", (tmp / "vh").c_str());
    std::string key = tmp / "vh/registry/HKLM/SOFTWARE/INTERSOLV/PVCS Version Manager";
    tmp.file("tools/get", "#!/bin/sh\n");
    ::chmod((tmp / "tools/get").c_str(), 0755);
    tmp.dir("empty");
    tmp.dir("dir_get/get");
    LegacyKind *pvcs = LegacyKind::get(LegacyKind::PVCS);
    auto check = [&](const char *path) {
        ScopedEnv p("PATH", path);
        RecordingUi ui;
        pvcs->reset_check();
        pvcs->first_selection_check(&ui);
        EXPECT_TRUE(pvcs->check_done());
        std::vector<std::string> texts;
        for (const auto &[kind, text] : ui.boxes) {
            EXPECT_EQ(kind, wiz_box::INFORMATION);
            texts.push_back(text);
        }
        return texts;
    };
    using texts = std::vector<std::string>;
    std::string tools = tmp / "tools", empty = tmp / "empty";

    // No key at all.
    EXPECT_EQ(check(tools.c_str()), texts{wiz_string(IDS_PVCS_NOT_INSTALLED)});
    // A key without a value: `get` along PATH, or 149.
    tmp.dir("vh/registry/HKLM/SOFTWARE/INTERSOLV/PVCS Version Manager/6.0");
    EXPECT_EQ(check(tools.c_str()), texts{});
    EXPECT_EQ(pvcs->tool_dir(), "");
    EXPECT_EQ(check(empty.c_str()), texts{wiz_string(IDS_PVCS_GET_NOT_ON_PATH)});
    EXPECT_EQ(check(nullptr), texts{wiz_string(IDS_PVCS_GET_NOT_ON_PATH)});
    // A value: its directory must hold a regular file `get`.
    testutil::write_file(key + "/7.0/PathString", empty + "\n");
    EXPECT_EQ(check(tools.c_str()), texts{wiz_string(IDS_PVCS_GET_MISSING)});
    testutil::write_file(key + "/7.0/PathString", tmp / "dir_get");
    EXPECT_EQ(check(tools.c_str()), texts{wiz_string(IDS_PVCS_GET_MISSING)});
    EXPECT_EQ(pvcs->tool_dir(), "");
    // The first sub-key in name order with a value wins.
    testutil::write_file(key + "/6.5/PathString", tools + "\r\n");
    EXPECT_EQ(check(empty.c_str()), texts{});
    EXPECT_EQ(pvcs->tool_dir(), tools);

    // Once per process: going back and choosing PVCS again says nothing.
    std::filesystem::remove_all(tmp / "vh");
    RecordingUi again;
    pvcs->first_selection_check(&again);
    EXPECT_TRUE(again.boxes.empty());
    EXPECT_EQ(pvcs->tool_dir(), tools);
    // Other kinds have no check.
    LegacyKind *rcs = LegacyKind::get(LegacyKind::RCS);
    rcs->first_selection_check(&again);
    EXPECT_TRUE(again.boxes.empty());
    EXPECT_FALSE(rcs->check_done());
    pvcs->reset_check();
}
