// The registry: regions, VOB and view entries, and changes from several
// processes at once.
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include "platform/registry/vob_tag.h"
#include "platform/registry/registry.h"
#include "platform/view/view.h"

#include <filesystem>
#include <set>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Registry = testvob::VobTest;

rgy_vob entry(const std::string &tag) {
    rgy_vob v;
    v.tag = tag;
    v.storage = "/nowhere" + tag;
    v.uuid = std::string(32, 'a');
    v.owner_uid = 1000;
    return v;
}

TEST_F(Registry, RegionsAndEntries) {
    std::string err, region;
    ASSERT_EQ(rgy_get_default_region(&region, &err), VOB_OK) << err;
    EXPECT_EQ(region, "default");
    EXPECT_EQ(rgy_home(), home);
    ASSERT_EQ(rgy_add_region("other", &err), VOB_OK) << err;
    EXPECT_EQ(rgy_add_region("other", &err), VOB_EXISTS);
    rgy_vob a = entry("/a");
    a.project = 1;
    ASSERT_EQ(rgy_vob_add(a, &err), VOB_OK) << err;
    EXPECT_EQ(rgy_vob_add(a, &err), VOB_EXISTS);
    rgy_vob b = entry("/a");
    b.region = "other";
    b.uuid = std::string(32, 'b');
    ASSERT_EQ(rgy_vob_add(b, &err), VOB_OK) << err;   // the same tag in another region
    rgy_vob got;
    ASSERT_EQ(rgy_vob_find("/a", "", &got, &err), VOB_OK);
    EXPECT_EQ(got.project, 1);
    EXPECT_EQ(got.owner_uid, 1000u);
    EXPECT_EQ(got.region, "default");
    ASSERT_EQ(rgy_vob_find_uuid(std::string(32, 'b'), &got, &err), VOB_OK);
    EXPECT_EQ(got.region, "other");
    EXPECT_EQ(rgy_vob_find("/a", "nosuch", &got, &err), VOB_NOT_FOUND);
    EXPECT_NE(err.find("No registry region \"nosuch\""), std::string::npos);
    ASSERT_EQ(rgy_vob_remove("/a", "", &err), VOB_OK);
    EXPECT_EQ(rgy_vob_remove("/a", "", &err), VOB_NOT_FOUND);
    ASSERT_EQ(rgy_vob_find("/a", "other", &got, &err), VOB_OK);

    rgy_view w;
    w.tag = "me";
    w.dir = "/somewhere";
    ASSERT_EQ(rgy_view_add(w, &err), VOB_OK);
    EXPECT_EQ(rgy_view_add(w, &err), VOB_EXISTS);
    std::string dir;
    ASSERT_EQ(view_tag_get_path("me", &dir, &err), VOB_OK);
    EXPECT_EQ(dir, "/somewhere");
    EXPECT_EQ(view_tag_get_path("you", &dir, &err), VOB_NOT_FOUND);
    std::vector<rgy_view> views;
    ASSERT_EQ(rgy_view_list("", &views, &err), VOB_OK);
    EXPECT_EQ(views.size(), 1u);
}

TEST_F(Registry, ConcurrentChangesAreNotLost) {
    const int procs = 4, each = 15;
    std::vector<pid_t> kids;
    for (int p = 0; p < procs; p++) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::string err;
            for (int i = 0; i < each; i++)
                if (rgy_vob_add(entry("/p" + std::to_string(p) + "_" + std::to_string(i)), &err) != VOB_OK)
                    _exit(1);
            _exit(0);
        }
        kids.push_back(pid);
    }
    for (pid_t k : kids) {
        int st;
        waitpid(k, &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    }
    std::vector<rgy_vob> all;
    std::string err;
    ASSERT_EQ(rgy_vob_list("", &all, &err), VOB_OK) << err;
    EXPECT_EQ(all.size(), (size_t)(procs * each));
    for (size_t i = 1; i < all.size(); i++)
        EXPECT_LT(all[i - 1].tag, all[i].tag);   // sorted by tag
}

// The VOB list is kept between calls while the file stays the same: every
// change, by this process or another, must still show in the next listing,
// however quickly it follows, and so must a registry replaced by hand.
TEST_F(Registry, ListingsFollowEveryChange) {
    std::string err;
    std::vector<rgy_vob> all;
    auto tags = [&] {
        std::vector<std::string> t;
        EXPECT_EQ(rgy_vob_list("", &all, &err), VOB_OK) << err;
        for (const rgy_vob &v : all)
            t.push_back(v.tag);
        return t;
    };
    ASSERT_EQ(rgy_vob_add(entry("/x"), &err), VOB_OK) << err;
    EXPECT_EQ(tags(), std::vector<std::string>{"/x"});
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
        _exit(rgy_vob_add(entry("/y"), &err) == VOB_OK ? 0 : 1);
    int st;
    waitpid(pid, &st, 0);
    ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    EXPECT_EQ(tags(), (std::vector<std::string>{"/x", "/y"}));
    ASSERT_EQ(rgy_vob_remove("/x", "", &err), VOB_OK) << err;
    EXPECT_EQ(tags(), std::vector<std::string>{"/y"});
    // Another region's list is not the default region's.
    ASSERT_EQ(rgy_add_region("other", &err), VOB_OK) << err;
    ASSERT_EQ(rgy_vob_list("other", &all, &err), VOB_OK) << err;
    EXPECT_TRUE(all.empty());
    // The same size and time, another file: read again.
    std::string file = home + "/registry/rgy.json", text = testutil::read_file(file);
    std::string swapped = text;
    size_t at = swapped.find("\"/y\"");
    ASSERT_NE(at, std::string::npos);
    swapped[at + 2] = 'z';
    struct stat before {};
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    testutil::write_file(file + ".new", swapped);
    struct timespec times[2] = {before.st_mtim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, (file + ".new").c_str(), times, 0), 0);
    ASSERT_EQ(rename((file + ".new").c_str(), file.c_str()), 0);
    EXPECT_EQ(tags(), std::vector<std::string>{"/z"});
}

TEST_F(Registry, VobTagsAndStorage) {
    std::string err, storage;
    for (const char *bad : {"", "/", "noslash", "/a/", "/a//b", "/a/../b", "/a@@b", "/a b"})
        EXPECT_NE(vob_make(bad, "", 0, nullptr, &err), VOB_OK) << bad;
    ASSERT_EQ(vob_make("/top/sub", "", 0, &storage, &err), VOB_OK) << err;
    EXPECT_EQ(storage, home + "/vobs/top_sub.vbs");
    ASSERT_EQ(vob_make("/top", tmp + "/top-storage", 1, &storage, &err), VOB_OK) << err;
    EXPECT_EQ(storage, tmp + "/top-storage");
    // A VOB whose storage is a file, or a directory in use, is refused.
    testutil::write_file(tmp + "/afile", "x");
    EXPECT_EQ(vob_make("/x", tmp + "/afile", 0, nullptr, &err), VOB_EXISTS);
    EXPECT_EQ(vob_make("/x", tmp + "/top-storage", 0, nullptr, &err), VOB_EXISTS);
    EXPECT_NE(err.find("it exists and is not an empty directory"), std::string::npos) << err;

    // The longest tag that begins a view path names its VOB.
    std::string view = home + "/view";
    ASSERT_EQ(view_make("v", view, &err), VOB_OK) << err;
    view_t *w;
    ASSERT_EQ(view_open(view, &w, &err), VOB_OK);
    ASSERT_EQ(view_add_scope(w, "/top"), VOB_OK);
    ASSERT_EQ(view_add_scope(w, "/top/sub"), VOB_OK);
    EXPECT_NE(view_add_scope(w, "/absent"), VOB_OK);
    view_loc loc;
    ASSERT_EQ(view_locate(w, view + "/top/sub/lost+found", &loc), VOB_OK) << view_errmsg(w);
    EXPECT_EQ(loc.vob_tag, "/top/sub");
    EXPECT_EQ(loc.vob_path, "lost+found");
    ASSERT_EQ(view_locate(w, view + "/top/lost+found", &loc), VOB_OK);
    EXPECT_EQ(loc.vob_tag, "/top");
    view_close(w);

    // Removing a tag whose storage is not a VOB only drops the entry.
    rgy_vob fake = entry("/fake");
    fake.storage = tmp;
    ASSERT_EQ(rgy_vob_add(fake, &err), VOB_OK);
    ASSERT_EQ(vob_remove("/fake", &err), VOB_OK) << err;
    EXPECT_TRUE(std::filesystem::exists(tmp + "/afile"));
    ASSERT_EQ(vob_remove("/top", &err), VOB_OK) << err;
    EXPECT_FALSE(std::filesystem::exists(tmp + "/top-storage"));
}

}   // namespace
