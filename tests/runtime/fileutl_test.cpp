// Paths and files: splitting, true path names, temporary files, PATH search.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/fileutl.h"
#include "tests/common/testutil.h"

namespace {

// Sets or clears an environment variable for one scope.
class EnvGuard {
public:
    EnvGuard(const char *name, const char *value) : name_(name) {
        const char *old = std::getenv(name);
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvGuard() {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char *name_;
    bool had_ = false;
    std::string old_;
};

std::string split(const char *path) {
    std::string d, l;
    fileutl_strip_leaf(std::string(path), &d, &l);
    return d + "|" + l;
}

TEST(StripLeaf, SplitsAtTheLastSeparator) {
    EXPECT_EQ(split("a/b/c"), "a/b|c");
    EXPECT_EQ(split("c"), "|c");
    EXPECT_EQ(split("/c"), "/|c");
    EXPECT_EQ(split("/"), "/|");
    EXPECT_EQ(split(""), "|");
    EXPECT_EQ(split("a/b/"), "a|b");
    EXPECT_EQ(split("a//b"), "a|b");
    EXPECT_EQ(split("//c"), "/|c");
    EXPECT_EQ(split("./x,v"), ".|x,v");
    EXPECT_EQ(split("a b/c d"), "a b|c d");
}

TEST(StripLeaf, TrailingSeparatorsCanBeRemovedAlone) {
    char p[] = "target//";
    fileutl_strip_pname_sep(p);
    EXPECT_STREQ(p, "target");
    char root[] = "//";
    fileutl_strip_pname_sep(root);
    EXPECT_STREQ(root, "/");
    EXPECT_EQ(fileutl_strip_pname_sep(std::string("a/b/")), "a/b");
    EXPECT_EQ(fileutl_strip_pname_sep(std::string("")), "");
}

TEST(StripLeaf, BufferFormCutsAndSaysSo) {
    char dir[8], leaf[4];
    EXPECT_EQ(fileutl_strip_leaf("ab/cd", sizeof dir, dir, sizeof leaf, leaf), 0);
    EXPECT_STREQ(dir, "ab");
    EXPECT_STREQ(leaf, "cd");
    EXPECT_EQ(fileutl_strip_leaf("abcdefghij/leaf", sizeof dir, dir, sizeof leaf, leaf), 1);
    EXPECT_STREQ(dir, "abcdefg");
    EXPECT_STREQ(leaf, "lea");
    EXPECT_EQ(fileutl_strip_leaf("x/y", sizeof dir, dir, 0, nullptr), 0);
    EXPECT_STREQ(dir, "x");
}

TEST(TruePname, TidiesExistingPathsAndRefusesTheRest) {
    testutil::TempDir t;
    t.dir("d/e");
    char out[FILEUTL_MAX_PATH];
    std::string messy = t.path() + "//d/./e/";
    ASSERT_EQ(fileutl_get_true_pname(messy.c_str(), sizeof out, out), 0);
    EXPECT_EQ(std::string(out), t / "d/e");
    ASSERT_EQ(chdir(t.path().c_str()), 0);
    ASSERT_EQ(fileutl_get_true_pname("./d", sizeof out, out), 0);
    EXPECT_STREQ(out, "d");
    ASSERT_EQ(fileutl_get_true_pname(".", sizeof out, out), 0);
    EXPECT_STREQ(out, ".");
    ASSERT_EQ(fileutl_get_true_pname("d/../d", sizeof out, out), 0);
    EXPECT_STREQ(out, "d/../d");   // ".." is left alone: links make it ambiguous
    errno = 0;
    EXPECT_NE(fileutl_get_true_pname("missing", sizeof out, out), 0);
    EXPECT_EQ(errno, ENOENT);
    char tiny[3];
    errno = 0;
    EXPECT_NE(fileutl_get_true_pname("d/e", sizeof tiny, tiny), 0);
    EXPECT_EQ(errno, ENAMETOOLONG);
    ASSERT_EQ(chdir("/"), 0);
}

TEST(Stat, FollowsLinksOnlyWhenAsked) {
    testutil::TempDir t;
    t.file("f", "12345");
    ASSERT_EQ(symlink("f", (t / "l").c_str()), 0);
    fileutl_stat_t st{};
    ASSERT_EQ(fileutl_stat((t / "l").c_str(), 1, &st), 0);
    EXPECT_TRUE(S_ISREG(st.mode));
    EXPECT_EQ(st.size, 5);
    EXPECT_GE(st.nlink, 1u);
    EXPECT_GT(st.mtime, 1500000000);
    ASSERT_EQ(fileutl_stat((t / "l").c_str(), 0, &st), 0);
    EXPECT_TRUE(S_ISLNK(st.mode));
    EXPECT_NE(fileutl_stat((t / "none").c_str(), 1, &st), 0);
}

TEST(TmpFiles, DirectoryOrderAndNewFiles) {
    testutil::TempDir t;
    {
        EnvGuard a("TMP", nullptr), b("TEMP", nullptr), c("TMPDIR", nullptr);
        EXPECT_EQ(fileutl_tmpdir(), "/tmp");
        EnvGuard d("TMPDIR", "/x3");
        EXPECT_EQ(fileutl_tmpdir(), "/x3");
        EnvGuard e("TEMP", "/x2");
        EXPECT_EQ(fileutl_tmpdir(), "/x2");
        EnvGuard f("TMP", "");   // empty counts as unset
        EXPECT_EQ(fileutl_tmpdir(), "/x2");
        EnvGuard g("TMP", t.path().c_str());
        EXPECT_EQ(fileutl_tmpdir(), t.path());
        std::string p1, p2;
        ASSERT_EQ(fileutl_tmpfile_ext(nullptr, 0, 0, &p1), 0);
        ASSERT_EQ(fileutl_tmpfile_ext("", 0, 0, &p2), 0);
        EXPECT_NE(p1, p2);
        EXPECT_EQ(p1.compare(0, t.path().size() + 1, t.path() + "/"), 0) << p1;
        fileutl_stat_t st{};
        ASSERT_EQ(fileutl_stat(p1.c_str(), 0, &st), 0);
        EXPECT_EQ(st.size, 0);
        EXPECT_EQ(fileutl_rm(p1.c_str()), 0);
        EXPECT_FALSE(fileutl_exists(p1.c_str()));
        EXPECT_NE(fileutl_rm(p1.c_str()), 0);
    }
    std::string p;
    EXPECT_EQ(fileutl_tmpfile_ext((t / "no/such").c_str(), 0, 0, &p), ENOENT);
}

// The whole file in order across several chunks; a take that says stop ends
// the read with its value; a failed read gives its errno.
TEST(ReadChunks, WholeFileStopAndFailure) {
    testutil::TempDir t;
    std::string bytes;
    for (int i = 0; i < 200000; ++i)
        bytes += char('a' + i % 26);
    t.file("f", bytes);
    int fd = open((t / "f").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    std::string got;
    int chunks = 0;
    EXPECT_EQ(fileutl_read_chunks(fd,
                                  [&](const char *d, size_t n) {
                                      got.append(d, n);
                                      ++chunks;
                                      return 0;
                                  }),
              0);
    EXPECT_EQ(got, bytes);
    EXPECT_GT(chunks, 1);
    ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
    chunks = 0;
    EXPECT_EQ(fileutl_read_chunks(fd, [&](const char *, size_t) { return ++chunks, 7; }), 7);
    EXPECT_EQ(chunks, 1);
    close(fd);
    int dir = open(t.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dir, 0);
    EXPECT_EQ(fileutl_read_chunks(dir, [](const char *, size_t) { return 0; }), EISDIR);
    close(dir);
}

// A rename that must not replace: a file or a directory moves only to a free
// name, and whatever holds the name (even an empty directory, which a plain
// rename would replace) stays as it was, with the source.
TEST(RenameNoReplace, MovesOnlyToAFreeName) {
    testutil::TempDir t;
    t.file("a", "a");
    t.file("taken", "taken");
    ASSERT_EQ(mkdir((t / "d").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((t / "empty").c_str(), 0700), 0);
    const struct {
        const char *from, *to;
        int want;
    } cases[] = {
        {"a", "taken", EEXIST},   {"a", "empty", EEXIST}, {"d", "empty", EEXIST}, {"d", "taken", EEXIST},
        {"missing", "x", ENOENT}, {"a", "b", 0},          {"d", "d2", 0},
    };
    for (auto &c : cases)
        EXPECT_EQ(fileutl_rename_noreplace((t / c.from).c_str(), (t / c.to).c_str()), c.want)
            << c.from << " -> " << c.to;
    EXPECT_EQ(testutil::read_file(t / "taken"), "taken");
    EXPECT_EQ(testutil::read_file(t / "b"), "a");
    EXPECT_FALSE(testutil::exists(t / "a"));
    EXPECT_TRUE(testutil::exists(t / "d2") && testutil::exists(t / "empty") && !testutil::exists(t / "d"));
}

TEST(Paths, AbsoluteMkpathAndPathSearch) {
    testutil::TempDir t;
    EXPECT_TRUE(fileutl_is_abspn("/a"));
    EXPECT_FALSE(fileutl_is_abspn("a/b"));
    EXPECT_EQ(fileutl_make_abs_pn("/a/./b//c/../d/"), "/a/b/d");
    EXPECT_EQ(fileutl_make_abs_pn("/../x"), "/x");
    ASSERT_EQ(chdir(t.path().c_str()), 0);
    std::string cwd = fileutl_getcwd();
    EXPECT_EQ(fileutl_make_abs_pn("s/./t"), cwd + "/s/t");
    EXPECT_EQ(fileutl_make_abs_pn("."), cwd);

    EXPECT_EQ(fileutl_mkpath("p/q/r", 0755), 0);
    EXPECT_EQ(fileutl_mkpath("p/q/r", 0755), 0);   // already there
    t.file("plain");
    EXPECT_EQ(fileutl_mkpath("plain/sub", 0755), ENOTDIR);
    EXPECT_TRUE(fileutl_exists("p/q/r"));

    t.dir("bin");
    t.file("bin/tool", "#!/bin/sh\n");
    t.file("bin/notexec");
    t.dir("bin/dir");
    ASSERT_EQ(chmod("bin/tool", 0755), 0);
    EnvGuard path("PATH", (std::string("/nonexistent::") + cwd + "/bin").c_str());
    EXPECT_EQ(fileutl_resolve_pathname("tool"), cwd + "/bin/tool");
    EXPECT_EQ(fileutl_resolve_pathname("notexec"), "");
    EXPECT_EQ(fileutl_resolve_pathname("dir"), "");
    EXPECT_EQ(fileutl_resolve_pathname("bin/tool"), "bin/tool");
    EXPECT_EQ(fileutl_resolve_pathname(""), "");
    ASSERT_EQ(chdir("/"), 0);
}

}   // namespace
