// vantexport_vantor run on small VOBs seen through a snapshot view: the data
// file it writes, and what it says about what it left out.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/store/vob.h"
#include "runtime/date.h"
#include "tests/common/testvob.h"

#ifndef VANTEXPORT_BIN
#error VANTEXPORT_BIN must name the exporter of this build
#endif

namespace {

using testutil::ProcResult;

const int64_t T0 = 1000000000;   // 2001-09-09

class VantorExport : public testvob::ViewTest {
protected:
    // Runs the exporter in the VOB's root in the view (or cwd) with -o a
    // fresh data file; *data gets the file when it was written.
    ProcResult run_export(std::vector<std::string> args, std::string *data = nullptr,
                          const std::string &cwd = "", const testutil::EnvList &env = {}) {
        std::string out = tmp + "/data" + std::to_string(++runs_);
        std::vector<std::string> argv{VANTEXPORT_BIN, "-o", out};
        argv.insert(argv.end(), args.begin(), args.end());
        ProcResult r = testutil::run(argv, cwd.empty() ? vob_root() : cwd, env);
        if (data)
            *data = testutil::exists(out) ? testutil::read_file(out) : "";
        return r;
    }
    void vantor(const std::string &args) {
        std::string out, err;
        ASSERT_EQ(testvob::run_vantor(args, &out, &err, vob_root()), 0) << args << "\n" << err;
    }
    void update() { vantor("update"); }
    static vob_event at(int64_t t, const std::string &comment = "") {
        vob_event ev = vob_event_now(comment);
        ev.time = t;
        return ev;
    }
    // A file element in dir with versions /main/1.. of the given contents.
    vob_oid make_file(vob_oid dir, const std::string &name, const std::vector<std::string> &contents,
                      int64_t t = T0) {
        vob_oid e = 0;
        vob_event ev = at(t, "made");
        EXPECT_EQ(vob_elem_create(vob, dir, name, VOB_MT_FILE_ELEM, 0, &ev, &e), VOB_OK) << vob_errmsg(vob);
        vob_elem_info info;
        EXPECT_EQ(vob_elem_get(vob, e, &info), VOB_OK);
        for (size_t i = 0; i < contents.size(); i++) {
            vob_event vev = at(t + 10 * int64_t(i + 1), "v" + std::to_string(i + 1));
            vob_oid v = 0;
            EXPECT_EQ(vob_ver_create(vob, info.main_branch, vob_data_bytes(contents[i]), &vev, &v), VOB_OK)
                << vob_errmsg(vob);
        }
        return e;
    }
    vob_oid root() { return vob_wk_obj(vob, VOB_WK_ROOT_DIR); }

    int runs_ = 0;
};

// The record of one version in a data file, from VERSION_BEGIN to VERSION_END.
std::string version_block(const std::string &data, const std::string &vid) {
    std::string key = "VersionId " + std::to_string(vid.size()) + ":" + vid + "\n";
    size_t at = data.find(key);
    if (at == std::string::npos)
        return "";
    size_t begin = data.rfind("VERSION_BEGIN", at);
    size_t end = data.find("VERSION_END", at);
    return data.substr(begin, end - begin);
}

std::vector<std::string> version_ids(const std::string &data) {
    std::vector<std::string> ids;
    const std::string key = "\nVersionId ";
    for (size_t at = data.find(key); at != std::string::npos; at = data.find(key, at + 1)) {
        size_t colon = data.find(':', at);
        ids.push_back(data.substr(colon + 1, data.find('\n', colon) - colon - 1));
    }
    return ids;
}

// main, dev from /main/2, fix from /main/dev/0; a merge of /main/4 into
// /main/dev/1; the file name holds an "@", which the merge text must survive.
TEST_F(VantorExport, VersionTreeInPreOrderWithBranchesAndMerges) {
    std::string f = "a@b.c";
    testutil::write_file(vob_root() + "/" + f, "one\n");
    vantor("mkelem -ci -c first '" + f + "'");
    for (int i = 2; i <= 4; i++) {
        vantor("checkout -c c '" + f + "'");
        testutil::write_file(vob_root() + "/" + f, "v" + std::to_string(i) + "\n");
        vantor("checkin -c 'ver " + std::to_string(i) + "' '" + f + "'");
    }
    vantor("mkbrtype dev fix");
    vantor("mkbranch dev '" + f + "@@/main/2'");
    vantor("mkbranch fix '" + f + "@@/main/dev/0'");
    vantor("mklbtype REL1");
    vantor("mklabel REL1 '" + f + "@@/main/3'");
    vantor("mkattype Q");
    vantor("mkattr Q hello '" + f + "@@/main/3'");
    vantor("mkattr -element Q elemv '" + f + "'");
    vantor("merge -to '" + f + "@@/main/dev/0' /main/4");

    std::string data;
    ProcResult r = run_export({"-r"}, &data);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(version_ids(data), (std::vector<std::string>{"/main/0", "/main/1", "/main/2", "/main/dev/0",
                                                           "/main/dev/fix/0", "/main/3", "/main/4"}));
    EXPECT_EQ(testutil::count(data, "AbsVersion TRUE"), 7u);
    std::string v2 = version_block(data, "/main/2");
    EXPECT_NE(v2.find("SubBranch 3:dev\n"), std::string::npos) << v2;
    EXPECT_EQ(v2.find("OnBranch"), std::string::npos) << v2;
    std::string dev0 = version_block(data, "/main/dev/0");
    EXPECT_NE(dev0.find("OnBranch 3:dev\n"), std::string::npos) << dev0;
    EXPECT_NE(dev0.find("SubBranch 3:fix\n"), std::string::npos) << dev0;   // last component only
    EXPECT_NE(dev0.find("Merge 1:4\n"), std::string::npos) << dev0;
    EXPECT_NE(dev0.find("ExtractFile 18:a@b.c@@/main/dev/0\n"), std::string::npos) << dev0;
    EXPECT_NE(version_block(data, "/main/dev/fix/0").find("OnBranch 7:dev/fix\n"), std::string::npos);
    std::string v4 = version_block(data, "/main/4");
    EXPECT_NE(v4.find("FMerge 5:dev/0\n"), std::string::npos) << v4;
    std::string v3 = version_block(data, "/main/3");
    EXPECT_NE(v3.find("Label 4:REL1\n"), std::string::npos) << v3;
    EXPECT_NE(v3.find("Attrib 7:Q=hello\n"), std::string::npos) << v3;
    EXPECT_NE(data.find("ElType 4:file\nMode"), std::string::npos);
    EXPECT_NE(data.find("Attrib 7:Q=elemv\n"), std::string::npos);
}

TEST_F(VantorExport, CheckoutsReservedAndUnreserved) {
    testutil::write_file(vob_root() + "/r.c", "r\n");
    testutil::write_file(vob_root() + "/u.c", "u\n");
    vantor("mkelem -ci r.c u.c");
    vantor("checkout r.c");
    vantor("checkout -unreserved u.c");
    ProcResult r = run_export({"r.c", "u.c"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string user = vob_event_now().user;
    EXPECT_NE(r.out.find("User \"" + user + "\", from /main/1 (reserved)."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("User \"" + user + "\", from /main/1 (unreserved)."), std::string::npos) << r.out;
}

// The update time of a version is raised by what is hung on it later, so -s
// keeps a version labelled after the -s time though made before it.
TEST_F(VantorExport, SinceSelectsVersionsLabelledLater) {
    vob_oid e = make_file(root(), "s.c", {"1", "2"});
    vob_oid lbtype = 0, v1 = 0;
    vob_event lev = at(T0 + 1000);
    ASSERT_EQ(vob_type_create(vob, VOB_MT_LBTYPE, "LATE", &lev, &lbtype), VOB_OK);
    ASSERT_EQ(vob_ver_find(vob, e, "/main/1", &v1), VOB_OK);
    ASSERT_EQ(vob_ver_add_label(vob, v1, lbtype, 0, &lev), VOB_OK) << vob_errmsg(vob);
    update();
    std::string data;
    ProcResult r = run_export({"-s", date_format_utc(T0 + 500), "s.c"}, &data);
    ASSERT_EQ(r.status, 0) << r.err;
    // /main/0 comes with it, so that a fresh target numbers it right; /main/2
    // was not changed since.
    EXPECT_EQ(version_ids(data), (std::vector<std::string>{"/main/0", "/main/1"})) << data;
    EXPECT_NE(data.find("EventTime 1000000010\n"), std::string::npos) << data;
}

// An attribute put on an element after the -s time brings the element's
// record, without versions, so the attribute arrives; an element whose
// attributes are all older is left out.
TEST_F(VantorExport, SinceSelectsAnElementGivenAnAttributeLater) {
    vob_oid late = make_file(root(), "late.c", {"1"});
    vob_oid early = make_file(root(), "early.c", {"1"});
    vob_oid attype = 0;
    vob_event old_ev = at(T0 + 100), new_ev = at(T0 + 1000);
    ASSERT_EQ(vob_type_create(vob, VOB_MT_ATTYPE, "Note", &old_ev, &attype), VOB_OK);
    ASSERT_EQ(vob_obj_set_attr(vob, early, attype, "old", &old_ev), VOB_OK) << vob_errmsg(vob);
    ASSERT_EQ(vob_obj_set_attr(vob, late, attype, "new", &new_ev), VOB_OK) << vob_errmsg(vob);
    update();
    std::string data;
    ProcResult r = run_export({"-s", date_format_utc(T0 + 500), "late.c", "early.c"}, &data);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(data.find("Name 6:late.c\n"), std::string::npos) << data;
    EXPECT_NE(data.find("Attrib 8:Note=new\n"), std::string::npos) << data;
    EXPECT_EQ(data.find("early.c"), std::string::npos) << data;
    EXPECT_TRUE(version_ids(data).empty()) << data;
}

TEST_F(VantorExport, LostFoundIsSkippedAndNotWalked) {
    make_file(vob_wk_obj(vob, VOB_WK_LOST_FOUND), "stray.c", {"s"});
    make_file(root(), "keep.c", {"k"});
    update();
    ASSERT_TRUE(testutil::exists(vob_root() + "/lost+found/stray.c"));
    std::string data;
    ProcResult r = run_export({"-r"}, &data);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Warning: Will not recurse into the lost+found directory \"lost+found\"."),
              std::string::npos)
        << r.err;
    EXPECT_NE(data.find("Name 6:keep.c"), std::string::npos);
    EXPECT_EQ(data.find("stray"), std::string::npos);
}

TEST_F(VantorExport, RemovedDataIsWrittenWithoutExtractFile) {
    make_file(root(), "d.c", {"1", "2"});
    update();
    vantor("rmver -data d.c@@/main/1");
    std::string data;
    ProcResult r = run_export({"d.c"}, &data);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string v1 = version_block(data, "/main/1");
    ASSERT_FALSE(v1.empty()) << data;
    EXPECT_EQ(v1.find("ExtractFile"), std::string::npos) << v1;
    EXPECT_NE(version_block(data, "/main/2").find("ExtractFile 12:d.c@@/main/2"), std::string::npos);
}

TEST_F(VantorExport, ObsoleteElementAndBranch) {
    vob_oid e = make_file(root(), "o.c", {"1"});
    vob_oid brtype = 0, v1 = 0, br = 0;
    vob_event ev = at(T0 + 100);
    ASSERT_EQ(vob_type_create(vob, VOB_MT_BRTYPE, "old", &ev, &brtype), VOB_OK);
    ASSERT_EQ(vob_ver_find(vob, e, "/main/1", &v1), VOB_OK);
    ASSERT_EQ(vob_branch_create(vob, v1, brtype, &ev, &br), VOB_OK);
    ASSERT_EQ(vob_obj_lock(vob, br, 1, &ev), VOB_OK);
    ASSERT_EQ(vob_obj_lock(vob, e, 1, &ev), VOB_OK);
    update();
    std::string data;
    ProcResult r = run_export({"o.c"}, &data);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(data.find("BranchObs 3:old\n"), std::string::npos) << data;
    EXPECT_NE(data.find("Obsolete TRUE\n"), std::string::npos) << data;
}

// Attributes are read 20 at a time: all of them arrive, each once.
TEST_F(VantorExport, AttributesBeyondOneBatch) {
    vob_oid e = make_file(root(), "m.c", {"1"});
    vob_oid v1 = 0;
    ASSERT_EQ(vob_ver_find(vob, e, "/main/1", &v1), VOB_OK);
    vob_event ev = at(T0 + 100);
    for (int i = 0; i < 45; i++) {
        char name[8];
        std::snprintf(name, sizeof name, "A%02d", i);
        vob_oid attype = 0;
        ASSERT_EQ(vob_type_create(vob, VOB_MT_ATTYPE, name, &ev, &attype), VOB_OK);
        ASSERT_EQ(vob_obj_set_attr(vob, v1, attype, "v" + std::to_string(i), &ev), VOB_OK);
    }
    update();
    std::string data;
    ProcResult r = run_export({"m.c"}, &data);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string v = version_block(data, "/main/1");
    EXPECT_EQ(testutil::count(v, "\nAttrib "), 45u) << v;
    EXPECT_NE(v.find("Attrib 6:A00=v0\n"), std::string::npos);
    EXPECT_NE(v.find("Attrib 7:A44=v44\n"), std::string::npos);
}

// Option values may hold "/" (here the output and temporary paths); source
// names may not.
TEST_F(VantorExport, SlashRefusedInSourceNamesOnly) {
    make_file(root(), "x.c", {"1"});
    update();
    std::string data;
    ProcResult ok = run_export({"-t", tmp, "x.c"}, &data);
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_NE(data.find("Name 3:x.c"), std::string::npos);
    ProcResult bad = run_export({"-t", tmp, "sub/x.c"}, &data);
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.err.find("\"sub/x.c\" invalid.\n"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("Source name must not have a \"/\" in it."), std::string::npos) << bad.err;
}

TEST_F(VantorExport, RefusedOptionsAndVersionLines) {
    for (const char *opt : {"-b", "-v", "-l"}) {
        ProcResult r = run_export({opt, "x"});
        EXPECT_EQ(r.status, 1) << opt;
        EXPECT_NE(r.err.find(std::string("Option \"") + (opt + 1) + "\" not supported by this exporter."),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.out.find("Usage: vantexport_vantor [-r]"), std::string::npos) << r.out;
    }
    ProcResult l = run_export({"-L"});
    EXPECT_EQ(l.status, 1);
    ProcResult v = testutil::run({VANTEXPORT_BIN, "-verall"});
    EXPECT_EQ(v.status, 0);
    for (const char *name : {"vantexport_vantor", "libvelkexport", "libvelkcmd", "libvelkview", "libvelkcm",
                             "libvelkvob", "libvelkdbrpc"})
        EXPECT_NE(v.out.find(std::string(name) + " "), std::string::npos) << name << "\n" << v.out;
}

// The walk reads the view's directories from the store: a view-private file
// is not met at all; named on the command line it is no element, and said so.
TEST_F(VantorExport, ViewPrivateFilesAreNotElements) {
    make_file(root(), "good.c", {"1"});
    update();
    testutil::write_file(vob_root() + "/private.c", "not an element\n");
    std::string data;
    ProcResult r = run_export({"-r"}, &data);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("private"), std::string::npos) << r.err;
    EXPECT_NE(data.find("Name 6:good.c"), std::string::npos) << r.err;
    EXPECT_EQ(data.find("private"), std::string::npos);

    ProcResult op = run_export({"private.c", "good.c"}, &data);
    EXPECT_NE(op.status, 0);
    EXPECT_NE(op.err.find("Error: Unable resolve pathname \"private.c\".\n"), std::string::npos) << op.err;
    EXPECT_NE(op.err.find("Error: private.c: No such file or directory"), std::string::npos) << op.err;
    EXPECT_NE(data.find("Name 6:good.c"), std::string::npos) << op.err;
    EXPECT_EQ(data.find("private"), std::string::npos);

    // Outside any view the file system is walked, and the driver refuses
    // what is in no VOB.
    testutil::write_file(tmp + "/plain.c", "x\n");
    ProcResult o = run_export({"plain.c"}, &data, tmp);
    EXPECT_NE(o.err.find("Unable resolve pathname \"plain.c@@\"."), std::string::npos) << o.err;
    EXPECT_EQ(data.find("ELEMENT_BEGIN"), std::string::npos);
}

// A snapshot view loads no file for an element whose selected version has
// no contents; its history is exported all the same, walked or named.
TEST_F(VantorExport, ElementWithoutContentsInTheViewKeepsItsHistory) {
    make_file(root(), "gone.c", {"1", "2"});
    make_file(root(), "here.c", {"h"});
    update();
    vantor("rmver -data gone.c@@/main/2");
    update();
    ASSERT_FALSE(testutil::exists(vob_root() + "/gone.c"));
    for (const std::vector<std::string> &args : {std::vector<std::string>{"-r"}, {"gone.c"}}) {
        std::string data;
        ProcResult r = run_export(args, &data);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("Error"), std::string::npos) << r.err;
        size_t at = data.find("Name 6:gone.c\n");
        ASSERT_NE(at, std::string::npos) << data;
        // No file to read the mode from: none is written.
        EXPECT_EQ(data.substr(at, data.find("VERSION_BEGIN", at) - at).find("Mode"), std::string::npos)
            << data;
        std::string v1 = version_block(data, "/main/1"), v2 = version_block(data, "/main/2");
        EXPECT_NE(v1.find("ExtractFile 15:gone.c@@/main/1\n"), std::string::npos) << data;
        ASSERT_FALSE(v2.empty()) << data;
        EXPECT_EQ(v2.find("ExtractFile"), std::string::npos) << v2;
        EXPECT_EQ(version_ids(data).size(), args[0] == "-r" ? 5u : 3u) << data;
    }
}

// From the view root the walk meets the VOB roots of the scope and nothing
// of the view's own records.
TEST_F(VantorExport, WalkFromTheViewRoot) {
    make_file(root(), "r.c", {"1"});
    update();
    std::string data;
    ProcResult r = run_export({"-r"}, &data, view_root);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Error"), std::string::npos) << r.err;
    EXPECT_NE(data.find("DirName 1:t\n"), std::string::npos) << data;
    EXPECT_NE(data.find("Name 5:t/r.c\n"), std::string::npos) << data;
    EXPECT_EQ(data.find("vantor_view"), std::string::npos) << data;
}

// A directory whose every file was removed is loaded empty; its files are
// still walked, in the directory's order, and a name no rule selects is not.
TEST_F(VantorExport, DirectoryOfRemovedFilesIsWalked) {
    vob_oid dir = 0;
    vob_event ev = at(T0, "dir");
    ASSERT_EQ(vob_elem_create(vob, root(), "attic", VOB_MT_DIR_ELEM, 0, &ev, &dir), VOB_OK)
        << vob_errmsg(vob);
    make_file(dir, "b.c", {"b1", "b2"});
    make_file(dir, "a.c", {"a1"});
    update();
    vantor("rmver -data attic/a.c@@/main/1");
    vantor("rmver -data attic/b.c@@/main/2");
    update();
    ASSERT_TRUE(testutil::exists(vob_root() + "/attic"));
    ASSERT_FALSE(testutil::exists(vob_root() + "/attic/a.c"));
    ASSERT_FALSE(testutil::exists(vob_root() + "/attic/b.c"));
    std::string data;
    ProcResult r = run_export({"-r", "attic"}, &data);
    ASSERT_EQ(r.status, 0) << r.err;
    size_t a = data.find("Name 9:attic/a.c\n"), b = data.find("Name 9:attic/b.c\n");
    ASSERT_NE(a, std::string::npos) << data;
    ASSERT_NE(b, std::string::npos) << data;
    EXPECT_LT(a, b);
    EXPECT_NE(r.out.find("attic/a.c"), std::string::npos) << r.out;
    // The empty /main/0 of each, and b.c@@/main/1.
    EXPECT_EQ(testutil::count(data, "ExtractFile"), 3u) << data;
    EXPECT_EQ(version_ids(data).size(), 5u) << data;

    // A spec that selects no version of the files: the directory is empty.
    std::string cs = tmp + "/cs";
    testutil::write_file(cs, "element -directory * /main/LATEST\n");
    vantor("setcs " + cs);
    ProcResult none = run_export({"-r", "attic"}, &data);
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(data.find("attic/"), std::string::npos) << data;
}

// Names are never cut to fit: a branch path longer than its 1024-byte buffer
// fails the element, naming it and what was too long.
TEST_F(VantorExport, BranchPathTooLongFailsTheElementByName) {
    vob_oid e = make_file(root(), "long.c", {"1"});
    make_file(root(), "short.c", {"1"});
    vob_oid from = 0;
    ASSERT_EQ(vob_ver_find(vob, e, "/main/1", &from), VOB_OK);
    vob_event ev = at(T0 + 100);
    for (char c : std::string("abcd")) {   // /main + 4 * 256 bytes
        vob_oid brtype = 0, br = 0, ver0 = 0;
        ASSERT_EQ(vob_type_create(vob, VOB_MT_BRTYPE, std::string(255, c), &ev, &brtype), VOB_OK)
            << vob_errmsg(vob);
        ASSERT_EQ(vob_branch_create(vob, from, brtype, &ev, &br, &ver0), VOB_OK) << vob_errmsg(vob);
        from = ver0;
    }
    update();
    std::string data;
    ProcResult r = run_export({"long.c", "short.c"}, &data);
    EXPECT_NE(r.err.find("Error: \"long.c\" is not exported: VOB \"/t\": branch path \"/main/aaa"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("is 1029 bytes long; at most 1023 fit."), std::string::npos) << r.err;
    EXPECT_EQ(data.find("long.c"), std::string::npos);
    EXPECT_NE(data.find("Name 7:short.c"), std::string::npos) << r.err;
}

// A name holding "@@" cannot be extended with a version: reported with an
// unknown metatype, the run goes on. Only a walk outside views meets one: no
// element is named so.
TEST_F(VantorExport, NameWithDoubleAtCannotBeConverted) {
    testutil::write_file(tmp + "/q@@r.c", "private\n");
    testutil::write_file(tmp + "/ok.c", "private\n");
    std::string data;
    ProcResult r = run_export({"-r"}, &data, tmp);
    EXPECT_NE(r.err.find("Object \"q@@r.c\" (metatype unknown) is not a versioned object."),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Unable resolve pathname \"ok.c@@\"."), std::string::npos) << r.err;
}

TEST_F(VantorExport, DamagedDatabaseGivesAClearMessage) {
    make_file(root(), "z.c", {"1"});
    update();
    vob_close(vob);
    vob = nullptr;
    for (const char *f : {"/vob.db-wal", "/vob.db-shm"})
        std::remove((vob_dir + f).c_str());
    testutil::write_file(vob_dir + "/vob.db", std::string(8192, 'G'));
    ProcResult r = run_export({"z.c"});
    EXPECT_LT(r.status, 128) << r.err;   // no signal
    EXPECT_NE(r.err.find("Unable resolve pathname"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("is not a VOB database"), std::string::npos) << r.err;
}

// Readers see the committed state at once while another process writes.
TEST_F(VantorExport, OpenWriteTransactionDoesNotHoldTheExportBack) {
    vob_oid e = make_file(root(), "w.c", {"1"});
    update();
    vob_txn txn(vob);
    ASSERT_EQ(txn.begin(), VOB_OK);
    vob_elem_info info;
    ASSERT_EQ(vob_elem_get(vob, e, &info), VOB_OK);
    vob_event ev = at(T0 + 50);
    vob_oid v2 = 0;
    ASSERT_EQ(vob_ver_create(vob, info.main_branch, vob_data_bytes("2"), &ev, &v2), VOB_OK);
    std::string data;
    auto start = std::chrono::steady_clock::now();
    ProcResult r = run_export({"w.c"}, &data, "", {{"VANTOR_BUSY_TIMEOUT_MS", "20000"}});
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_LT(secs, 15.0);
    EXPECT_EQ(version_ids(data), (std::vector<std::string>{"/main/0", "/main/1"}));
    txn.rollback();
}

// A connection holding the database in exclusive locking mode keeps readers
// out: the export waits the busy timeout, then names the VOB by its storage.
TEST_F(VantorExport, ExclusiveLockTimesOutNamingTheVob) {
    make_file(root(), "x.c", {"1"});
    update();
    vob_close(vob);
    vob = nullptr;
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open((vob_dir + "/vob.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;", nullptr, nullptr,
                           nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    auto start = std::chrono::steady_clock::now();
    ProcResult r = run_export({"x.c"}, nullptr, "", {{"VANTOR_BUSY_TIMEOUT_MS", "300"}});
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    sqlite3_close(db);
    EXPECT_LT(r.status, 128) << r.err;
    EXPECT_GE(secs, 0.3);
    // Opening the VOB is what waits, before its tag is read: the storage names
    // it. The walk opens it first, to read the directory the run starts in.
    EXPECT_NE(r.err.find("VOB \"" + vob_dir + "/vob.db\" is busy"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Unable resolve pathname \".\""), std::string::npos) << r.err;
    EXPECT_NE(r.status, 0);
}

}   // namespace
