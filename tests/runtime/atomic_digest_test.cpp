// Whole-file replacement, digests and path splitting.
#include "runtime/atomic_file.h"
#include "runtime/digest.h"
#include "runtime/strutl.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(AtomicFile, CommitReplacesAndUncommittedLeavesTheOldFile) {
    testutil::TempDir t;
    t.file("f", "old contents");
    {
        atomic_file f;
        ASSERT_EQ(f.open(t / "f"), 0);
        fputs("half written", f.stream());
        fflush(f.stream());
        EXPECT_EQ(testutil::read_file(t / "f"), "old contents");
        // dropped without commit: as a failure or an early return does
    }
    EXPECT_EQ(testutil::read_file(t / "f"), "old contents");
    EXPECT_EQ(testutil::count_entries(t.path()), 1u);

    atomic_file f;
    ASSERT_EQ(f.open(t / "f"), 0);
    fputs("new contents", f.stream());
    ASSERT_EQ(f.commit(), 0);
    EXPECT_EQ(testutil::read_file(t / "f"), "new contents");
    EXPECT_EQ(testutil::count_entries(t.path()), 1u);

    // Without the syncs the replacement is just as whole.
    atomic_file quick;
    ASSERT_EQ(quick.open(t / "f"), 0);
    fputs("quick contents", quick.stream());
    ASSERT_EQ(quick.commit(false), 0);
    EXPECT_EQ(testutil::read_file(t / "f"), "quick contents");
    EXPECT_EQ(testutil::count_entries(t.path()), 1u);

    ASSERT_EQ(fileutl_write_atomic(t / "g", std::string("a\0b", 3)), 0);
    EXPECT_EQ(testutil::read_file(t / "g"), std::string("a\0b", 3));
}

TEST(AtomicFile, FailuresAreReportedAndLeaveNothingBehind) {
    testutil::TempDir t;
    atomic_file f;
    EXPECT_NE(f.open(t / "missing/dir/f"), 0);
    EXPECT_NE(f.commit(), 0);
    t.dir("d");
    t.file("d/inner");
    // a directory cannot be replaced by a file: the rename fails at commit
    ASSERT_EQ(f.open(t / "d"), 0);
    fputs("x", f.stream());
    EXPECT_NE(f.commit(), 0);
    EXPECT_TRUE(std::filesystem::is_directory(t / "d"));
    EXPECT_EQ(testutil::count_entries(t.path()), 1u);
}

TEST(Digest, KnownValuesAndFiles) {
    std::string hex;
    ASSERT_EQ(digest_sha256_hex("abc", &hex), 0);
    EXPECT_EQ(hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    ASSERT_EQ(digest_sha256_hex("", &hex), 0);
    EXPECT_EQ(hex, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    testutil::TempDir t;
    std::string big(200000, 'x');
    t.file("big", big);
    std::string want;
    ASSERT_EQ(digest_sha256_hex(big, &want), 0);
    int64_t size = 0;
    ASSERT_EQ(digest_sha256_file(t / "big", &hex, &size), 0);
    EXPECT_EQ(hex, want);
    EXPECT_EQ(size, 200000);
    EXPECT_EQ(digest_sha256_file(t / "none", &hex, &size), ENOENT);

    digest_sha256 d;
    d.update("a", 1);
    d.update("bc", 2);
    EXPECT_EQ(d.final_hex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Split, DropsEmptyPiecesAndOptionallyDots) {
    using v = std::vector<std::string>;
    EXPECT_EQ(strutl_split("/a//b/./c/", '/'), (v{"a", "b", ".", "c"}));
    EXPECT_EQ(strutl_split("/a//b/./c/", '/', 1), (v{"a", "b", "c"}));
    EXPECT_EQ(strutl_split("a/../b", '/', 1), (v{"a", "..", "b"}));
    EXPECT_EQ(strutl_split("", '/'), v{});
    EXPECT_EQ(strutl_split("///", '/'), v{});
    EXPECT_EQ(strutl_split("main", '/'), v{"main"});
}

}   // namespace
