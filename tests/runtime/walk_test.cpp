// Tree walks: order, visit codes, skipping, stopping, links, unreadable parts,
// and the replacement file-system table.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "runtime/fileutl.h"
#include "tests/common/testutil.h"

namespace {

struct Recorder {
    std::string top;                 // stripped from paths, to keep expectations short
    std::vector<std::string> seen;   // "<visit> <depth> <path>"
    std::map<std::string, int> answer_dir, answer_descend, answer_file;   // path -> result
    bool args_ok = true;
};

int record(void *ctx, const char *path, const char *path2, const char *dir, const char *leaf,
           const fileutl_stat_t *st, int depth, int visit) {
    auto *r = static_cast<Recorder *>(ctx);
    std::string p = path;
    if (p.compare(0, r->top.size(), r->top) == 0)
        p = p.substr(r->top.size());
    r->args_ok =
        r->args_ok && std::string(path) == path2 && st && std::string(path) == std::string(dir) + "/" + leaf;
    r->seen.push_back(std::to_string(visit) + " " + std::to_string(depth) + " " + p);
    auto &answers = visit == 1 ? r->answer_dir : visit == 2 ? r->answer_descend : r->answer_file;
    auto it = answers.find(p);
    return it == answers.end() ? 0 : it->second;
}

using V = std::vector<std::string>;

int walk(const std::string &dir, Recorder *r, int flags) {
    r->top = dir;
    fileutl_walk_desc desc{0, 1, record, r};
    return fileutl_walk_tree(dir.c_str(), &desc, flags);
}

class Walk : public ::testing::Test {
protected:
    void SetUp() override {
        t.dir("b/sub");
        t.dir("a");
        t.file("b/sub/deep.c");
        t.file("b/B.c");
        t.file("Z.c");
        t.file("a.c");
    }
    testutil::TempDir t;
    testutil::ImsgCapture cap;
};

TEST_F(Walk, VisitsEachEntryOnceInByteOrderAndAsksBeforeDescending) {
    Recorder r;
    EXPECT_EQ(walk(t.path(), &r, 2), 0);
    EXPECT_EQ(r.seen, (V{"0 1 /Z.c", "1 1 /a", "2 1 /a", "0 1 /a.c", "1 1 /b", "2 1 /b", "0 2 /b/B.c",
                         "1 2 /b/sub", "2 2 /b/sub", "0 3 /b/sub/deep.c"}));
    EXPECT_TRUE(r.args_ok);
    EXPECT_EQ(cap.err(), "");
}

TEST_F(Walk, SkippingAtEitherDirectoryVisitLeavesTheSubtreeOut) {
    Recorder r;
    r.answer_descend["/b"] = 1;
    EXPECT_EQ(walk(t.path(), &r, 0), 0);
    EXPECT_EQ(r.seen, (V{"0 1 /Z.c", "1 1 /a", "2 1 /a", "0 1 /a.c", "1 1 /b", "2 1 /b"}));

    Recorder pruned;   // 1 when the directory is reported: not even asked
    pruned.answer_dir["/b"] = 1;
    pruned.answer_file["/a.c"] = 1;   // 1 for a file changes nothing
    EXPECT_EQ(walk(t.path(), &pruned, 0), 0);
    EXPECT_EQ(pruned.seen, (V{"0 1 /Z.c", "1 1 /a", "2 1 /a", "0 1 /a.c", "1 1 /b"}));
}

TEST_F(Walk, MinusFourStopsAtOnceFromAnyVisit) {
    for (int visit = 0; visit < 3; ++visit) {
        Recorder r;
        if (visit == 0)
            r.answer_file["/b/B.c"] = -4;
        else
            (visit == 1 ? r.answer_dir : r.answer_descend)["/b/sub"] = -4;
        EXPECT_EQ(walk(t.path(), &r, 0), -4);
        EXPECT_EQ(r.seen.back(), std::to_string(visit) + (visit ? " 2 /b/sub" : " 2 /b/B.c"));
        // Nothing after the stop, not even the rest of the top directory.
        for (const auto &s : r.seen)
            EXPECT_EQ(s.find("deep"), std::string::npos);
    }
}

TEST_F(Walk, SymbolicLinksAreEntriesUnlessFollowed) {
    ASSERT_EQ(symlink("b", (t / "link").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (t / "dangling").c_str()), 0);
    Recorder plain;
    EXPECT_EQ(walk(t.path(), &plain, 2), 0);
    EXPECT_EQ(std::count(plain.seen.begin(), plain.seen.end(), "0 1 /link"), 1);
    EXPECT_EQ(std::count(plain.seen.begin(), plain.seen.end(), "0 1 /dangling"), 1);
    for (const auto &s : plain.seen)
        EXPECT_EQ(s.find("/link/"), std::string::npos) << s;

    Recorder follow;
    EXPECT_EQ(walk(t.path(), &follow, 2 | FILEUTL_WALK_FOLLOW), 0);
    ASSERT_GE(follow.seen.size(), 6u);
    V tail(follow.seen.end() - 6, follow.seen.end());
    EXPECT_EQ(tail, (V{"1 1 /link", "2 1 /link", "0 2 /link/B.c", "1 2 /link/sub", "2 2 /link/sub",
                       "0 3 /link/sub/deep.c"}));
    // The broken link is still reported, as what it is.
    EXPECT_NE(std::find(follow.seen.begin(), follow.seen.end(), "0 1 /dangling"), follow.seen.end());
}

TEST_F(Walk, FollowedLinkLoopIsNotEnteredTwice) {
    ASSERT_EQ(symlink("..", (t / "b/sub/up").c_str()), 0);
    Recorder r;
    EXPECT_EQ(walk(t.path(), &r, FILEUTL_WALK_FOLLOW), 0);
    EXPECT_LT(r.seen.size(), 20u);
    EXPECT_NE(cap.err().find("b/sub/up"), std::string::npos) << cap.err();
}

TEST_F(Walk, UnreadableDirectoryIsReportedAndTheWalkGoesOn) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop the superuser";
    ASSERT_EQ(chmod((t / "a").c_str(), 0), 0);
    Recorder r;
    EXPECT_EQ(walk(t.path(), &r, 0), 0);
    chmod((t / "a").c_str(), 0755);
    EXPECT_EQ(r.seen.back(), "0 3 /b/sub/deep.c");
    EXPECT_NE(cap.err().find("Cannot read directory"), std::string::npos);
}

TEST_F(Walk, MissingTopDirectoryFails) {
    Recorder r;
    EXPECT_EQ(walk(t / "absent", &r, 0), -1);
    EXPECT_EQ(walk(t / "a.c", &r, 0), -1);
    EXPECT_TRUE(r.seen.empty());
}

// A replacement file system: a map of directories to their entries.
struct FakeFs {
    std::map<std::string, std::vector<std::string>> dirs;
    std::set<std::string> unreadable;
};
FakeFs *fake;
struct FakeDir {
    std::vector<std::string> names;
    size_t at = 0;
    fileutl_dirent cur;
};
int fake_stat(const char *path, int, fileutl_stat_t *st) {
    *st = fileutl_stat_t{};
    st->nlink = 1;
    st->mode = fake->dirs.count(path) ? S_IFDIR | 0755 : S_IFREG | 0644;
    return 0;
}
void *fake_opendir(const char *path) {
    if (!fake->dirs.count(path) || fake->unreadable.count(path))
        return nullptr;
    auto *d = new FakeDir;
    d->names = fake->dirs[path];
    d->names.insert(d->names.begin(), {".", ".."});
    return d;
}
const fileutl_dirent *fake_readdir(void *h, int) {
    auto *d = static_cast<FakeDir *>(h);
    if (d->at == d->names.size())
        return nullptr;
    d->cur.name = d->names[d->at++];
    return &d->cur;
}
void fake_closedir(void *h) { delete static_cast<FakeDir *>(h); }

TEST(WalkAny, UsesTheTableAndSortsWhatItReturns) {
    testutil::ImsgCapture cap;
    FakeFs fs;
    fs.dirs["vob"] = {"z", "sub", "b", "locked"};
    fs.dirs["vob/sub"] = {"y", "x"};
    fs.dirs["vob/locked"] = {"hidden"};
    fs.unreadable.insert("vob/locked");
    fake = &fs;
    cm_fs_ops ops{fake_stat, fake_opendir, fake_readdir, fake_closedir};
    Recorder r;
    r.top = "vob";
    fileutl_walk_desc desc{0, 1, record, &r};
    EXPECT_EQ(fileutl_walk_tree_any("vob", &desc, &ops, 0), 0);
    EXPECT_EQ(r.seen, (V{"0 1 /b", "1 1 /locked", "2 1 /locked", "1 1 /sub", "2 1 /sub", "0 2 /sub/x",
                         "0 2 /sub/y", "0 1 /z"}));
    EXPECT_NE(cap.err().find("Warning: Cannot read directory \"vob/locked\""), std::string::npos)
        << cap.err();
    fs.unreadable.insert("vob");
    EXPECT_EQ(fileutl_walk_tree_any("vob", &desc, &ops, 0), -1);
}

}   // namespace
