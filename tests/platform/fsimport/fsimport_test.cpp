// fsimport_start against a real VOB and snapshot view: trees imported and
// imported again after changes, with each option, and the faults a run must
// survive. After every run the view (read from the store, and the loaded
// files on disk) must show exactly the source tree.
#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/fsimport/fsimport_start.h"
#include "platform/view/view.h"
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"
#include "tests/platform/fsimport/fsimport_fixture.h"

namespace {

using testutil::read_file;
using testutil::write_file;

// Every file and directory below dir (relative paths; directories end in
// "/"), with the bytes of the files, leaving out what a view adds.
void list_tree(const std::string &dir, const std::string &rel, std::map<std::string, std::string> *out) {
    DIR *d = opendir((rel.empty() ? dir : dir + "/" + rel).c_str());
    if (!d)
        return;
    std::vector<std::string> names;
    while (dirent *e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == ".." || n == ".vantor_view" || (rel.empty() && n == "lost+found"))
            continue;
        names.push_back(n);
    }
    closedir(d);
    for (const std::string &n : names) {
        std::string r = rel.empty() ? n : rel + "/" + n, full = dir + "/" + r;
        struct stat st;
        if (lstat(full.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            (*out)[r + "/"] = "";
            list_tree(dir, r, out);
        } else {
            (*out)[r] = S_ISREG(st.st_mode) ? read_file(full) : "<special>";
        }
    }
}

std::map<std::string, std::string> tree(const std::string &dir) {
    std::map<std::string, std::string> m;
    list_tree(dir, "", &m);
    return m;
}

class FsImport : public FsImportTest {
protected:
    // fsimport_start with the front end's defaults plus what adjust sets.
    template <class F>
    int run_fsi(const std::vector<std::string> &sources, F adjust, const std::string &target = "") {
        fsimport_params p;
        std::string t = target.empty() ? vob_root() : target;
        p.target = t.c_str();
        adjust(p);
        std::vector<const char *> argv;
        for (const std::string &s : sources)
            argv.push_back(s.c_str());
        testutil::ImsgCapture cap;
        int rc = fsimport_start(&p, argv.data(), int(argv.size()));
        out = cap.out();
        err = cap.err();
        not_imported.clear();
        not_labelled.clear();
        for (int i = 0; i < p.not_imported_count; ++i)
            not_imported.push_back(p.not_imported[i]);
        for (int i = 0; i < p.not_labelled_count; ++i)
            not_labelled.push_back(p.not_labelled[i]);
        fsimport_params_release(&p);
        return rc;
    }
    int run_fsi(const std::vector<std::string> &sources) {
        return run_fsi(sources, [](fsimport_params &) {});
    }

    // What the view shows of a directory of the VOB, read from the store,
    // against a source directory: the differences.
    std::vector<std::string> store_diff(const std::string &below, const std::string &dir) {
        view_t *v = nullptr;
        std::string e;
        std::vector<std::string> out_;
        if (view_open(view_root, &v, &e) != VOB_OK) {
            out_.push_back("view: " + e);
            return out_;
        }
        std::vector<view_diff_item> items;
        view_diff_stats st;
        if (view_diff(v, vob_root() + (below.empty() ? "" : "/" + below), dir, 1, 0, &items, &st) != VOB_OK)
            out_.push_back("diff: " + view_errmsg(v));
        for (const view_diff_item &i : items)
            out_.push_back(std::to_string(int(i.kind)) + " " + i.path);
        view_close(v);
        return out_;
    }

    // Both sides of the view agree with the source tree imported as `name`.
    void expect_same(const std::string &name, const std::string &dir) {
        EXPECT_EQ(store_diff(name, dir), std::vector<std::string>{}) << err;
        EXPECT_EQ(tree(vob_root() + "/" + name), tree(dir)) << err;
    }

    std::string dump() {
        std::string o, e;
        EXPECT_EQ(testvob::run_vantor("dump --json /t", &o, &e), 0) << e;
        return o;
    }

    int64_t version_time(const std::string &xpath) {
        vob_event ev;
        EXPECT_EQ(vob_obj_get_event(vob, ver(xpath), &ev), VOB_OK) << xpath;
        return ev.time;
    }

    std::string out, err;
    std::vector<std::string> not_imported, not_labelled;
};

// A small tree with text, binary and empty files and a nested directory.
void make_tree(const std::string &src) {
    write_file(src + "/top/a.c", "int a;\n");
    write_file(src + "/top/b.txt", "bee\n");
    write_file(src + "/top/empty", "");
    std::string bin;
    for (int i = 0; i < 256; ++i)
        bin += char(i);
    write_file(src + "/top/bin/blob.dat", bin);
    write_file(src + "/top/sub/deep/d.h", "#define D 1\n");
    testutil::make_dirs(src + "/top/emptydir");
}

TEST_F(FsImport, TreeImportedThenChangedAndImportedAgain) {
    make_tree(src);
    std::string top = src + "/top";
    ASSERT_EQ(run_fsi({top}, [](fsimport_params &p) { p.recurse = 1; }), 0) << err;
    expect_same("top", top);
    EXPECT_EQ(vtree("top/a.c"), (std::vector<std::string>{"/main/0", "/main/1"}));
    EXPECT_EQ(contents("top/empty@@/main/1"), "");
    // One directory version for all the names a run added to a directory.
    EXPECT_EQ(vtree("top"), (std::vector<std::string>{"/main/0", "/main/1"}));
    EXPECT_NE(out.find("10 new elements"), std::string::npos) << out;

    // Unchanged: nothing new at all.
    std::string before = dump();
    ASSERT_EQ(run_fsi({top}, [](fsimport_params &p) { p.recurse = 1; }), 0) << err;
    EXPECT_EQ(dump(), before);

    // Edited, added, removed, a new directory, binary changed, made empty.
    write_file(top + "/a.c", "int a = 2;\n");
    write_file(top + "/new.c", "new\n");
    ASSERT_EQ(unlink((top + "/b.txt").c_str()), 0);
    write_file(top + "/added/x.txt", "x\n");
    write_file(top + "/bin/blob.dat", std::string("\0\1\2", 3));
    write_file(top + "/sub/deep/d.h", "");
    ASSERT_EQ(run_fsi({top}, [](fsimport_params &p) { p.recurse = 1; }), 0) << err;
    EXPECT_EQ(vtree("top/a.c"), (std::vector<std::string>{"/main/0", "/main/1", "/main/2"}));
    EXPECT_EQ(contents("top/a.c@@/main/2"), "int a = 2;\n");
    EXPECT_EQ(contents("top/bin/blob.dat"), std::string("\0\1\2", 3));
    EXPECT_EQ(contents("top/sub/deep/d.h"), "");
    EXPECT_EQ(vtree("top/empty").size(), 2u);   // unchanged: no version
    // Without -rmname the removed file stays.
    EXPECT_EQ(store_diff("top", top), (std::vector<std::string>{"0 b.txt"}));
    vob_oid b = elem("top/b.txt");

    ASSERT_EQ(run_fsi({top},
                      [](fsimport_params &p) {
                          p.recurse = 1;
                          p.rmname = 1;
                      }),
              0)
        << err;
    expect_same("top", top);
    // The element stays in the VOB, in the directory's earlier versions.
    vob_oid b1 = 0;
    std::string bytes;
    ASSERT_EQ(vob_ver_find(vob, b, "/main/1", &b1), VOB_OK);
    ASSERT_EQ(vob_ver_read_data(vob, b1, &bytes), VOB_OK);
    EXPECT_EQ(bytes, "bee\n");

    // -identical: a version for every file, changed or not.
    ASSERT_EQ(run_fsi({top},
                      [](fsimport_params &p) {
                          p.recurse = 1;
                          p.identical = 1;
                      }),
              0)
        << err;
    EXPECT_EQ(vtree("top/empty").size(), 3u);
    expect_same("top", top);
}

TEST_F(FsImport, NamedFilesAndDirectoriesWithoutRecurse) {
    write_file(src + "/one.txt", "1\n");
    write_file(src + "/dir/inner.txt", "inner\n");
    ASSERT_EQ(run_fsi({src + "/one.txt", src + "/dir/"}), 0) << err;
    EXPECT_EQ(contents("one.txt"), "1\n");
    EXPECT_NE(elem("dir"), 0);
    EXPECT_EQ(elem("dir/inner.txt"), 0);   // without recurse, the directory alone
    EXPECT_EQ(read_file(vob_root() + "/one.txt"), "1\n");
}

TEST_F(FsImport, LabelsOnEveryMatchingVersionOrOnlyOnNewOnes) {
    make_tree(src);
    std::string top = src + "/top";
    ASSERT_EQ(run_fsi({top},
                      [](fsimport_params &p) {
                          p.recurse = 1;
                          p.mklabel = 1;
                          p.label = "REL1";
                      }),
              0)
        << err;
    EXPECT_EQ(labels("top/a.c@@/main/1"), (std::vector<std::string>{"REL1"}));
    EXPECT_EQ(labels("top/sub/deep@@/main/1"), (std::vector<std::string>{"REL1"}));
    EXPECT_EQ(labels("top/emptydir@@/main/0"), (std::vector<std::string>{"REL1"}));

    write_file(top + "/a.c", "changed\n");
    // updates_only: only what this run made carries REL2.
    ASSERT_EQ(run_fsi({top},
                      [](fsimport_params &p) {
                          p.recurse = 1;
                          p.mklabel = 1;
                          p.label = "REL2";
                          p.updates_only = 1;
                      }),
              0)
        << err;
    EXPECT_EQ(labels("top/a.c@@/main/2"), (std::vector<std::string>{"REL2"}));
    EXPECT_TRUE(labels("top/b.txt@@/main/1") == std::vector<std::string>{"REL1"});
    // Without it, REL1 moves to the version that matches the source now.
    ASSERT_EQ(run_fsi({top},
                      [](fsimport_params &p) {
                          p.recurse = 1;
                          p.mklabel = 1;
                          p.label = "REL1";
                      }),
              0)
        << err;
    EXPECT_EQ(labels("top/a.c@@/main/2"), (std::vector<std::string>{"REL1", "REL2"}));
    EXPECT_TRUE(labels("top/a.c@@/main/1").empty());
    EXPECT_TRUE(not_labelled.empty());

    // A locked label type: imported, listed as not labelled.
    vob_oid lt = 0;
    ASSERT_EQ(vob_type_find(vob, VOB_MT_LBTYPE, "REL1", &lt), VOB_OK);
    ASSERT_EQ(vob_obj_lock(vob, lt, 0, nullptr), VOB_OK) << vob_errmsg(vob);
    write_file(top + "/a.c", "third\n");
    EXPECT_EQ(run_fsi({top},
                      [](fsimport_params &p) {
                          p.recurse = 1;
                          p.mklabel = 1;
                          p.label = "REL1";
                      }),
              0)
        << err;
    EXPECT_EQ(contents("top/a.c"), "third\n");
    EXPECT_NE(std::find(not_labelled.begin(), not_labelled.end(), vob_root() + "/top/a.c"),
              not_labelled.end());
}

// A label alone makes a view of what was imported, however deep the target:
// the VOB root and the directories down to the target carry it too; and a
// view that selects nothing still answers diff and lsvtree.
TEST_F(FsImport, LabelAloneShowsTheImportedTree) {
    make_tree(src);
    std::string target = vob_root() + "/deep/er";
    testutil::make_dirs(target);
    auto label = [](const char *name) {
        return [name](fsimport_params &p) {
            p.recurse = 1;
            p.mklabel = 1;
            p.label = name;
        };
    };
    ASSERT_EQ(run_fsi({src + "/top"}, label("REL1"), target), 0) << err;
    for (const char *dir : {"@@/main/LATEST", "deep@@/main/LATEST", "deep/er@@/main/LATEST"})
        EXPECT_EQ(labels(dir), (std::vector<std::string>{"REL1"})) << dir;
    // A later run with another label leaves REL1 where it marks the tree.
    write_file(src + "/top/a.c", "changed\n");
    ASSERT_EQ(run_fsi({src + "/top"}, label("REL2"), target), 0) << err;

    std::string cs = tmp + "/cs", o, e;
    write_file(cs, "element * REL2\n");
    ASSERT_EQ(testvob::run_vantor("setcs " + cs + " " + view_root, &o, &e), 0) << e;
    expect_same("deep/er/top", src + "/top");
    write_file(cs, "element * NONE\n");
    ASSERT_EQ(testvob::run_vantor("setcs " + cs + " " + view_root, &o, &e), 0) << e;
    EXPECT_EQ(testvob::run_vantor("diff -r " + vob_root() + "/deep " + src, &o, &e), 1) << e;
    EXPECT_NE(o.find("only in DIR: top"), std::string::npos) << o;
    EXPECT_NE(e.find("selects no version of it or of a directory above it"), std::string::npos) << e;
    EXPECT_EQ(testvob::run_vantor("lsvtree -s " + target + "/top/a.c", &o, &e), 0) << e;
    EXPECT_EQ(o, "/main/0\n/main/1 (REL1)\n/main/2 (REL2)\n");
    EXPECT_NE(e.find("its version tree is shown all the same"), std::string::npos) << e;
    EXPECT_EQ(testvob::run_vantor("describe " + target + "/top/a.c", &o, &e), 1);
    EXPECT_NE(e.find("selected by the config spec"), std::string::npos) << e;
}

TEST_F(FsImport, EventTimesFromTheFilesOrTheImport) {
    write_file(src + "/f.txt", "one\n");
    testutil::set_mtime(src + "/f.txt", 1000000000);
    ASSERT_EQ(run_fsi({src + "/f.txt"}, [](fsimport_params &p) { p.comment = "first import"; }), 0) << err;
    EXPECT_EQ(version_time("f.txt@@/main/1"), 1000000000);
    vob_event ev;
    ASSERT_EQ(vob_obj_get_event(vob, ver("f.txt@@/main/1"), &ev), VOB_OK);
    EXPECT_EQ(ev.comment, "first import");
    EXPECT_EQ(ev.user, vob_event_now().user);

    write_file(src + "/f.txt", "two\n");
    testutil::set_mtime(src + "/f.txt", 1000000000);
    int64_t before = int64_t(time(nullptr));
    ASSERT_EQ(run_fsi({src + "/f.txt"}, [](fsimport_params &p) { p.setevent = 1; }), 0) << err;
    EXPECT_GE(version_time("f.txt@@/main/2"), before);
    ASSERT_EQ(vob_obj_get_event(vob, ver("f.txt@@/main/2"), &ev), VOB_OK);
    EXPECT_EQ(ev.comment, FSIMPORT_DEFAULT_COMMENT);
}

TEST_F(FsImport, CheckedOutFileFailsUnlessUncheckedOut) {
    write_file(src + "/f.txt", "one\n");
    ASSERT_EQ(run_fsi({src + "/f.txt"}), 0) << err;
    ASSERT_EQ(testvob::run_vantor("checkout " + vob_root() + "/f.txt"), 0);
    write_file(vob_root() + "/f.txt", "my edits\n");
    write_file(src + "/f.txt", "two\n");

    EXPECT_EQ(run_fsi({src + "/f.txt"}), 1);
    EXPECT_NE(err.find("-unco"), std::string::npos) << err;
    EXPECT_EQ(not_imported, (std::vector<std::string>{vob_root() + "/f.txt"}));
    EXPECT_EQ(vtree("f.txt").size(), 2u);

    ASSERT_EQ(run_fsi({src + "/f.txt"}, [](fsimport_params &p) { p.unco = 1; }), 0) << err;
    EXPECT_EQ(read_file(vob_root() + "/f.txt.keep"), "my edits\n");
    EXPECT_EQ(contents("f.txt@@/main/2"), "two\n");
    EXPECT_EQ(read_file(vob_root() + "/f.txt"), "two\n");
}

TEST_F(FsImport, PreviewChangesNothingAndSaysEverything) {
    make_tree(src);
    std::string top = src + "/top";
    ASSERT_EQ(run_fsi({top}, [](fsimport_params &p) { p.recurse = 1; }), 0) << err;
    write_file(top + "/a.c", "edited\n");
    write_file(top + "/sub/new.txt", "new\n");
    ASSERT_EQ(unlink((top + "/b.txt").c_str()), 0);
    std::string before = dump();
    auto view_before = tree(vob_root());
    ASSERT_EQ(run_fsi({top},
                      [](fsimport_params &p) {
                          p.recurse = 1;
                          p.rmname = 1;
                          p.preview = 1;
                          p.mklabel = 1;
                          p.label = "NEVER";
                      }),
              0)
        << err;
    EXPECT_EQ(dump(), before);
    EXPECT_EQ(tree(vob_root()), view_before);
    std::string t = vob_root() + "/top";
    for (const std::string &line :
         {"new version: " + t + "/a.c", "new element: " + t + "/sub/new.txt", "remove name: " + t + "/b.txt",
          "unchanged: " + t + "/empty", "label: " + t + "/a.c", "label: " + t + "/sub"})
        EXPECT_NE(out.find(line + "\n"), std::string::npos) << line << "\n" << out;
    EXPECT_EQ(vob_type_find(vob, VOB_MT_LBTYPE, "NEVER", nullptr), VOB_NOT_FOUND);

    // A tree not in the VOB at all: every name new, below a new directory.
    write_file(src + "/fresh/x/y.txt", "y\n");
    ASSERT_EQ(run_fsi({src + "/fresh"},
                      [](fsimport_params &p) {
                          p.recurse = 1;
                          p.preview = 1;
                      }),
              0)
        << err;
    EXPECT_NE(out.find("new element: " + vob_root() + "/fresh/x/y.txt\n"), std::string::npos) << out;
    EXPECT_EQ(dump(), before);
}

TEST_F(FsImport, FilterSkipsIgnoredNamesAndOtherToolsDirectories) {
    std::string top = src + "/top";
    write_file(top + "/.vantorignore", "# build output\n*.o\nbuild/\n/docs/*.tmp\n");
    write_file(top + "/main.c", "main\n");
    write_file(top + "/main.o", "obj\n");
    write_file(top + "/build/out.txt", "out\n");
    write_file(top + "/docs/a.tmp", "tmp\n");
    write_file(top + "/docs/keep.txt", "keep\n");
    write_file(top + "/docs/sub/b.tmp", "deeper: not anchored there\n");
    write_file(top + "/lib/x.o", "obj\n");
    write_file(top + "/lib/.vantorignore", "*.a\n");
    write_file(top + "/lib/y.a", "ar\n");
    write_file(top + "/lib/build", "a file named build: dir-only pattern\n");
    write_file(top + "/CVS/Entries", "cvs\n");
    write_file(top + "/lib/.git", "gitdir: elsewhere\n");
    write_file(top + "/.svn/entries", "svn\n");
    ASSERT_EQ(run_fsi({top},
                      [](fsimport_params &p) {
                          p.recurse = 1;
                          p.filter = 1;
                      }),
              0)
        << err;
    for (const char *in : {"top/main.c", "top/.vantorignore", "top/docs/keep.txt", "top/docs/sub/b.tmp",
                           "top/lib/build", "top/lib/.vantorignore"})
        EXPECT_NE(elem(in), 0) << in;
    for (const char *outside : {"top/main.o", "top/build", "top/docs/a.tmp", "top/lib/x.o", "top/lib/y.a",
                                "top/CVS", "top/lib/.git", "top/.svn"})
        EXPECT_EQ(elem(outside), 0) << outside;
    // rmname leaves the names the filter skipped alone.
    ASSERT_EQ(run_fsi({top}, [](fsimport_params &p) { p.recurse = 1; }), 0) << err;
    EXPECT_NE(elem("top/main.o"), 0);
    ASSERT_EQ(run_fsi({top},
                      [](fsimport_params &p) {
                          p.recurse = 1;
                          p.filter = 1;
                          p.rmname = 1;
                      }),
              0)
        << err;
    EXPECT_NE(elem("top/main.o"), 0);
    EXPECT_NE(elem("top/CVS/Entries"), 0);
}

TEST_F(FsImport, DowncaseFoldsNamesAndReportsConflicts) {
    write_file(src + "/Top/ReadMe.TXT", "first\n");
    write_file(src + "/Top/README.txt", "second\n");
    write_file(src + "/Top/Sub/X.C", "x\n");
    EXPECT_EQ(run_fsi({src + "/Top"},
                      [](fsimport_params &p) {
                          p.recurse = 1;
                          p.downcase = 1;
                      }),
              1);
    // Byte order: "README.txt" comes first and keeps the name.
    EXPECT_EQ(contents("top/readme.txt"), "second\n");
    EXPECT_EQ(contents("top/sub/x.c"), "x\n");
    EXPECT_EQ(not_imported, (std::vector<std::string>{vob_root() + "/top/ReadMe.TXT"}));
    EXPECT_NE(err.find("folds to \"readme.txt\""), std::string::npos) << err;
}

TEST_F(FsImport, KindChangeNeedsRmnameAndSymlinksAreSkipped) {
    write_file(src + "/top/thing", "a file\n");
    ASSERT_EQ(run_fsi({src + "/top"}, [](fsimport_params &p) { p.recurse = 1; }), 0) << err;
    ASSERT_EQ(unlink((src + "/top/thing").c_str()), 0);
    write_file(src + "/top/thing/inside.txt", "now a directory\n");
    ASSERT_EQ(symlink("thing/inside.txt", (src + "/top/link").c_str()), 0);
    EXPECT_EQ(run_fsi({src + "/top"}, [](fsimport_params &p) { p.recurse = 1; }), 1);
    EXPECT_NE(err.find("-rmname"), std::string::npos) << err;
    EXPECT_NE(err.find("symbolic link"), std::string::npos) << err;
    EXPECT_EQ(not_imported, (std::vector<std::string>{vob_root() + "/top/link", vob_root() + "/top/thing"}));
    EXPECT_EQ(run_fsi({src + "/top"},
                      [](fsimport_params &p) {
                          p.recurse = 1;
                          p.rmname = 1;
                      }),
              1);   // the link still
    EXPECT_EQ(contents("top/thing/inside.txt"), "now a directory\n");
}

TEST_F(FsImport, TargetOutsideAViewOrMissingIsRefusedBeforeAnyChange) {
    write_file(src + "/f.txt", "f\n");
    std::string before = dump();
    EXPECT_EQ(run_fsi(
                  {src + "/f.txt"}, [](fsimport_params &) {}, vob_root() + "/nowhere"),
              1);
    EXPECT_NE(err.find("does not exist"), std::string::npos) << err;
    EXPECT_EQ(run_fsi(
                  {src + "/f.txt"}, [](fsimport_params &) {}, tmp),
              1);
    EXPECT_NE(err.find("not inside a snapshot view"), std::string::npos) << err;
    EXPECT_EQ(run_fsi(
                  {src + "/f.txt"}, [](fsimport_params &) {}, view_root),
              1);
    // A bad label name is refused before anything is made, too.
    EXPECT_EQ(run_fsi({src + "/f.txt"},
                      [](fsimport_params &p) {
                          p.mklabel = 1;
                          p.label = "-bad";
                      }),
              1);
    // A tree cannot go into itself.
    EXPECT_EQ(run_fsi({view_root}, [](fsimport_params &p) { p.recurse = 1; }), 1);
    EXPECT_NE(err.find("holds the target"), std::string::npos) << err;
    EXPECT_EQ(dump(), before);

    // A plain directory of the view below the VOB root becomes an element.
    testutil::make_dirs(vob_root() + "/plain/deeper");
    ASSERT_EQ(run_fsi(
                  {src + "/f.txt"}, [](fsimport_params &) {}, vob_root() + "/plain/deeper"),
              0)
        << err;
    EXPECT_EQ(contents("plain/deeper/f.txt"), "f\n");
}

// A file whose bytes cannot be read fails alone; its neighbours go into the
// same directory version. /proc/self/mem fails to read at offset 0 even for
// the superuser, whom permissions do not stop.
TEST_F(FsImport, UnreadableFileFailsAlone) {
    write_file(src + "/a.txt", "a\n");
    write_file(src + "/z.txt", "z\n");
    size_t root_versions = vtree("").size();
    EXPECT_EQ(run_fsi({src + "/a.txt", "/proc/self/mem", src + "/z.txt"}), 1);
    EXPECT_EQ(not_imported, (std::vector<std::string>{vob_root() + "/mem"}));
    EXPECT_NE(err.find("mem"), std::string::npos) << err;
    EXPECT_EQ(contents("a.txt"), "a\n");
    EXPECT_EQ(contents("z.txt"), "z\n");
    EXPECT_EQ(elem("mem"), 0);
    EXPECT_EQ(vtree("").size(), root_versions + 1);
    EXPECT_EQ(read_file(vob_root() + "/z.txt"), "z\n");

    if (geteuid() == 0)
        return;
    write_file(src + "/top/a.txt", "a\n");
    write_file(src + "/top/secret.txt", "no\n");
    write_file(src + "/top/z.txt", "z\n");
    ASSERT_EQ(chmod((src + "/top/secret.txt").c_str(), 0), 0);
    EXPECT_EQ(run_fsi({src + "/top"}, [](fsimport_params &p) { p.recurse = 1; }), 1);
    EXPECT_EQ(not_imported, (std::vector<std::string>{vob_root() + "/top/secret.txt"}));
    EXPECT_EQ(contents("top/z.txt"), "z\n");
    EXPECT_EQ(elem("top/secret.txt"), 0);
}

// A second writer holds the VOB past the busy timeout: the run stops with a
// message naming the VOB, changes nothing, and a later run does it all.
TEST_F(FsImport, BusyVobStopsTheRunCleanly) {
    write_file(src + "/top/a.txt", "a\n");
    write_file(src + "/top/sub/b.txt", "b\n");
    setenv("VANTOR_BUSY_TIMEOUT_MS", "200", 1);
    std::string before = dump();
    {
        vob_txn busy(vob);
        ASSERT_EQ(busy.begin(), VOB_OK);
        EXPECT_EQ(run_fsi({src + "/top"}, [](fsimport_params &p) { p.recurse = 1; }), 1);
        busy.rollback();
    }
    EXPECT_NE(err.find("/t"), std::string::npos) << err;
    EXPECT_NE(err.find("run the same command again"), std::string::npos) << err;
    EXPECT_EQ(dump(), before);
    ASSERT_EQ(run_fsi({src + "/top"}, [](fsimport_params &p) { p.recurse = 1; }), 0) << err;
    expect_same("top", src + "/top");
}

// Whatever the moment of a SIGKILL, the VOB stays whole (database intact,
// every version's blob in the pool) and the next run completes the import.
TEST_F(FsImport, KilledRunLeavesAConsistentVobThatTheNextRunCompletes) {
    std::string prog = std::string(VANTOR_BUILD_DIR) + "/importers/vantfsimport/vantfsimport";
    if (access(prog.c_str(), X_OK) != 0)
        GTEST_SKIP() << "vantfsimport not built";
    std::string top = src + "/big";
    for (int d = 0; d < 20; ++d)
        for (int f = 0; f < 60; ++f)
            write_file(top + "/d" + std::to_string(d) + "/f" + std::to_string(f) + ".txt",
                       std::string(size_t(100 + f * 37), char('a' + f % 26)));
    for (int delay_ms : {40, 120, 300}) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execl(prog.c_str(), prog.c_str(), "-r", top.c_str(), vob_root().c_str(), (char *)nullptr);
            _exit(127);
        }
        usleep(useconds_t(delay_ms) * 1000);
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);

        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open_v2((vob_dir + "/vob.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
                  SQLITE_OK);
        sqlite3_stmt *st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)), "ok");
        sqlite3_finalize(st);
        // Every version with contents reads back whole through the store.
        vob_t *r = nullptr;
        std::string open_err;
        ASSERT_EQ(vob_open(vob_dir, &r, &open_err), VOB_OK) << open_err;
        ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT oid FROM ver WHERE sha IS NOT NULL", -1, &st, nullptr), SQLITE_OK);
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::string bytes;
            EXPECT_EQ(vob_ver_read_data(r, sqlite3_column_int64(st, 0), &bytes), VOB_OK) << vob_errmsg(r);
        }
        sqlite3_finalize(st);
        vob_close(r);
        sqlite3_close(db);
    }
    ASSERT_EQ(run_fsi({top}, [](fsimport_params &p) { p.recurse = 1; }), 0) << err;
    expect_same("big", top);
    // Every file once: no element made twice by the runs before.
    for (int d = 0; d < 20; ++d)
        EXPECT_EQ(vtree("big/d" + std::to_string(d) + "/f7.txt").size(), 2u);
}

}   // namespace
