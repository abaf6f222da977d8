// imp_start against a real VOB and view: contents, history, every key of the
// data file, failures that roll back one element, and repeated imports.
#include "tests/platform/import/import_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/view/pname.h"

namespace {

using strs = std::vector<std::string>;

// ELEMENT_BEGIN with a name and a creation event.
void elem_head(datafile_builder &b, const std::string &name, int64_t time = 1000) {
    b.marker("ELEMENT_BEGIN").str("Name", name).num("Mode", 33188).event("ann", time);
}

// A version record; `more` holds the lines after ExtractFile (SubBranch and on).
void version(datafile_builder &b, const std::string &vid, int64_t time, const std::string &file,
             const std::string &more = "", const std::string &on_branch = "") {
    b.marker("VERSION_BEGIN").str("VersionId", vid).event("bob", time);
    if (!on_branch.empty())
        b.str("OnBranch", on_branch);
    if (!file.empty())
        b.str("ExtractFile", file);
    b.text += more;
    b.marker("VERSION_END");
}

std::string line(const std::string &key, const std::string &v) {
    return key + " " + std::to_string(v.size()) + ":" + v + "\n";
}

TEST_F(ImportFixture, FlatTreeRoundTrip) {
    std::string binary;
    for (int i = 0; i < 256; ++i)
        binary += char(i);
    std::string large(3 << 20, 'x');
    for (size_t i = 0; i < large.size(); i += 4099)
        large[i] = char(i % 251);
    const std::pair<std::string, std::string> files[] = {
        {"a.txt", "hello\nworld\n"},   {"sub/bin.dat", binary},          {"sub/empty", ""},
        {"sub/deep/large.bin", large}, {"odd name 'q\"$`\\.txt", "odd"}, {"\xc3\xbc.txt", "u"},
    };
    mkdir((src + "/sub").c_str(), 0755);
    mkdir((src + "/sub/deep").c_str(), 0755);
    datafile_builder b;
    b.head(src, 6, 6).marker("TYPES_BEGIN").marker("TYPES_END").dir(".").dir("sub").dir("sub/deep");
    int64_t t = 1262304000;
    for (const auto &[name, bytes] : files) {
        testutil::write_file(src + "/" + name, bytes);
        elem_head(b, name, t);
        b.str("Comment", "made from flat file");
        b.marker("VERSION_BEGIN").str("VersionId", "one").event("bob", ++t).str("ExtractFile", name);
        b.str("Comment", "first\nsecond").marker("VERSION_END").marker("ELEMENT_END");
    }
    ASSERT_EQ(run_import(b.text), 0) << err_text;
    t = 1262304000;
    for (const auto &[name, bytes] : files) {
        EXPECT_EQ(contents(name + "@@/main/1"), bytes) << name;
        EXPECT_EQ(vtree(name), (strs{"/main/0", "/main/1"})) << name;
        vob_event ev;
        ASSERT_EQ(vob_obj_get_event(vob, ver(name + "@@/main/1"), &ev), 0);
        EXPECT_EQ(ev.user, "bob");
        EXPECT_EQ(ev.group, "staff");
        EXPECT_EQ(ev.host, "host");
        EXPECT_EQ(ev.time, ++t);
        EXPECT_EQ(ev.comment, "first\nsecond");
        ASSERT_EQ(vob_obj_get_event(vob, elem(name), &ev), 0);
        EXPECT_EQ(ev.user, "ann");
        EXPECT_EQ(ev.time, t - 1);
        EXPECT_EQ(ev.comment, "made from flat file");
    }
    // The directories are made now and get their names from 2010's files:
    // no version of theirs is dated before they were made.
    for (const char *d : {"sub", "sub/deep"}) {
        vob_event made, ev;
        ASSERT_EQ(vob_obj_get_event(vob, elem(d), &made), 0);
        for (const std::string &id : vtree(d)) {
            ASSERT_EQ(vob_obj_get_event(vob, ver(d + ("@@" + id)), &ev), 0);
            EXPECT_GE(ev.time, made.time) << d << "@@" << id;
        }
    }
    EXPECT_NE(out_text.find("Imported 6 elements (6 new) and 6 versions"), std::string::npos) << out_text;
}

TEST_F(ImportFixture, FlatFileExporterRoundTrip) {
    std::string exporter = std::string(VANTOR_BUILD_DIR) + "/drivers/ffile/vantexport_ffile";
    if (access(exporter.c_str(), X_OK) != 0)
        GTEST_SKIP() << "vantexport_ffile is not built";
    mkdir((src + "/d").c_str(), 0755);
    testutil::write_file(src + "/d/x.c", "int x;\n");
    testutil::write_file(src + "/top", std::string("\0\1\2", 3));
    std::string cmd = "cd '" + src + "' && '" + exporter + "' -r -o ../exp.dat . >/dev/null 2>&1";
    ASSERT_EQ(system(cmd.c_str()), 0);
    ASSERT_EQ(run_import(testutil::read_file(tmp + "/exp.dat")), 0) << err_text;
    EXPECT_EQ(contents("d/x.c"), "int x;\n");
    EXPECT_EQ(contents("top"), std::string("\0\1\2", 3));

    // -l, named directory, nested target, twice: each label alone shows the
    // tree, the second one on versions the first import made.
    mkdir((src + "/d/empty").c_str(), 0755);
    std::string target = vob_root() + "/in/deep", o, e;
    testutil::make_dirs(target);
    for (const char *label : {"FLAT1", "FLAT2"}) {
        std::string dat = tmp + "/" + label + ".dat";
        cmd = "cd '" + src + "' && '" + exporter + "' -r -l " + label + " -o '" + dat + "' d >/dev/null 2>&1";
        ASSERT_EQ(system(cmd.c_str()), 0);
        ASSERT_EQ(run_import(testutil::read_file(dat), [&](imp_params &p) { p.target_dir = target.c_str(); }),
                  0)
            << err_text;
        testutil::write_file(tmp + "/cs", std::string("element * ") + label + "\n");
        ASSERT_EQ(testvob::run_vantor("setcs " + tmp + "/cs " + view_root, &o, &e), 0) << e;
        EXPECT_EQ(testvob::run_vantor("diff -r " + target + "/d " + src + "/d", &o, &e), 0) << o << e;
    }
    EXPECT_EQ(labels("in/deep/d/empty@@/main/0"), (strs{"FLAT1", "FLAT2"}));
    EXPECT_NE(out_text.find("Nothing new to import"), std::string::npos) << out_text;
    EXPECT_EQ(labels("in/deep/d/x.c@@/main/1"), (strs{"FLAT1", "FLAT2"}));
}

TEST_F(ImportFixture, RcsExtractCommands) {
    if (system("command -v ci >/dev/null && command -v co >/dev/null") != 0)
        GTEST_SKIP() << "rcs is not installed";
    testutil::write_file(src + "/a.c", "rev one\n");
    std::string cmd = "cd '" + src +
                      "' && ci -q -t-none -mfirst a.c && co -q -l a.c && printf 'rev two\\n' > a.c"
                      " && ci -q -msecond a.c";
    ASSERT_EQ(system(cmd.c_str()), 0);
    datafile_builder b = data_head(src, line("NeedCmd", "co"));
    elem_head(b, "a.c");
    b.marker("VERSION_BEGIN").str("VersionId", "1.1").event("bob", 1100);
    b.str("ExtractCmd", "co -q -r1.1 -p \"%s%ca.c,v\" > \"%s\"").marker("VERSION_END");
    b.marker("VERSION_BEGIN").str("VersionId", "1.2").event("bob", 1200);
    b.str("ExtractCmd", "co -q -r1.2 -p \"%s%ca.c,v\" > \"%s\"").marker("VERSION_END");
    b.marker("ELEMENT_END");
    ASSERT_EQ(run_import(b.text), 0) << err_text;
    EXPECT_EQ(contents("a.c@@/main/1"), "rev one\n");
    EXPECT_EQ(contents("a.c@@/main/2"), "rev two\n");
}

TEST_F(ImportFixture, BranchesLabelsAttributesAndMerges) {
    const char *names[] = {"A", "B", "C", "D", "E"};
    for (const char *n : names)
        testutil::write_file(src + "/" + n, std::string("contents ") + n);
    datafile_builder b = data_head(src);
    elem_head(b, "f.c");
    version(b, "1.1", 1100, "A", line("SubBranch", "dev") + line("Attrib", "owner=al") + line("Label", "L1"));
    version(b, "1.2", 1200, "B", line("Label", "L2") + line("Merge", "dev/1"));
    version(b, "1.1.1.1", 1300, "C", line("SubBranch", "fix") + line("Attrib", "x=1"), "dev");
    version(b, "1.1.1.1.1.1", 1400, "D", "", "dev/fix");
    version(b, "1.3", 1500, "E", line("FMerge", "1.1.1.1.1.1"));
    b.marker("ELEMENT_END");
    ASSERT_EQ(run_import(b.text), 0) << err_text;

    EXPECT_EQ(contents("f.c@@/main/1"), "contents A");
    EXPECT_EQ(contents("f.c@@/main/2"), "contents B");
    EXPECT_EQ(contents("f.c@@/main/dev/1"), "contents C");
    EXPECT_EQ(contents("f.c@@/main/dev/fix/1"), "contents D");
    EXPECT_EQ(contents("f.c@@/main/3"), "contents E");
    vob_oid br;
    vob_branch_info bi;
    ASSERT_EQ(vob_branch_find(vob, elem("f.c"), "/main/dev", &br), 0);
    ASSERT_EQ(vob_branch_get(vob, br, &bi), 0);
    EXPECT_EQ(bi.sprout_ver, ver("f.c@@/main/1"));   // where SubBranch named it
    ASSERT_EQ(vob_branch_find(vob, elem("f.c"), "/main/dev/fix", &br), 0);
    ASSERT_EQ(vob_branch_get(vob, br, &bi), 0);
    EXPECT_EQ(bi.sprout_ver, ver("f.c@@/main/dev/1"));
    EXPECT_EQ(labels("f.c@@/main/1"), strs{"L1"});
    EXPECT_EQ(labels("f.c@@/main/2"), strs{"L2"});
    EXPECT_EQ(attr(ver("f.c@@/main/1"), "owner"), "al");
    EXPECT_EQ(attr(ver("f.c@@/main/dev/1"), "x"), "1");

    vob_oid merge = vob_wk_obj(vob, VOB_WK_MERGE_HLTYPE);
    std::vector<vob_hlink> links;
    // Merge: the named version (dev/1, met later in the file) was merged into /main/2.
    ASSERT_EQ(vob_obj_get_hlinks(vob, ver("f.c@@/main/2"), merge, VOB_HL_TO, &links), 0);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].from, ver("f.c@@/main/dev/1"));
    // FMerge: /main/3 was merged into the named version.
    ASSERT_EQ(vob_obj_get_hlinks(vob, ver("f.c@@/main/3"), merge, VOB_HL_FROM, &links), 0);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].to, ver("f.c@@/main/dev/fix/1"));
}

// A version record with AbsVersion TRUE.
void abs_version(datafile_builder &b, const std::string &vid, int64_t time, const std::string &file,
                 const std::string &more = "") {
    b.marker("VERSION_BEGIN").str("VersionId", vid).flag("AbsVersion").num("EventTime", time);
    if (!file.empty())
        b.str("ExtractFile", file);
    b.text += more;
    b.marker("VERSION_END");
}

TEST_F(ImportFixture, AbsoluteVersionsLocksOtherNamesAndEmptyVersions) {
    testutil::write_file(src + "/v", "three");
    auto element = [&](bool twice) {
        datafile_builder b = data_head(src);
        b.marker("ELEMENT_BEGIN").str("Name", "e").num("EventTime", 900).str("Comment", "line 1\nline 2");
        b.flag("Obsolete").str("BranchObs", "dev").str("Attrib", "kind=x y").str("AltName", "alias/e2");
        abs_version(b, "/main/3", 1000, "v", line("SubBranch", "dev"));
        if (twice)
            abs_version(b, "/main/3", 1001, "v");
        abs_version(b, "/main/dev/2", 1100, "v");
        abs_version(b, "/main/4", 1200, "");   // no contents
        b.marker("ELEMENT_END");
        return b.text;
    };
    // /main/3 twice is a fault of the file: the store refuses it and the element goes whole.
    ASSERT_EQ(run_import(element(true)), 1);
    EXPECT_EQ(elem("e"), 0);
    EXPECT_EQ(elem("alias"), 0);
    EXPECT_NE(err_text.find("Element \"e\" was not imported"), std::string::npos) << err_text;

    std::string text = element(false);
    ASSERT_EQ(run_import(text), 0) << err_text;

    EXPECT_EQ(vtree("e"), (strs{"/main/0", "/main/3", "/main/dev/0", "/main/dev/2", "/main/4"}));
    EXPECT_EQ(contents("e@@/main/3"), "three");
    EXPECT_EQ(contents("e@@/main/4"), "<none>");
    EXPECT_EQ(elem("alias/e2"), elem("e"));
    EXPECT_EQ(attr(elem("e"), "kind"), "x y");
    vob_lock lock;
    ASSERT_EQ(vob_obj_get_lock(vob, elem("e"), &lock), 0);
    EXPECT_EQ(lock.obsolete, 1);
    vob_oid dev;
    ASSERT_EQ(vob_branch_find(vob, elem("e"), "/main/dev", &dev), 0);
    ASSERT_EQ(vob_obj_get_lock(vob, dev, &lock), 0);
    EXPECT_EQ(lock.obsolete, 1);
    vob_event ev;
    ASSERT_EQ(vob_obj_get_event(vob, elem("e"), &ev), 0);
    EXPECT_EQ(ev.comment, "line 1\nline 2");
    EXPECT_EQ(ev.time, 900);

    // The element is locked obsolete now; importing the same file again changes nothing.
    ASSERT_EQ(run_import(text), 0) << err_text;
    EXPECT_NE(out_text.find("Nothing new to import"), std::string::npos) << out_text;
}

TEST_F(ImportFixture, OntoBranchAndLabelAll) {
    testutil::write_file(src + "/a", "a1");
    testutil::write_file(src + "/b", "a2");
    datafile_builder b = data_head(src);
    elem_head(b, "x/f");
    version(b, "1.1", 1000, "a");
    version(b, "1.2", 1100, "b");
    b.marker("ELEMENT_END");
    ASSERT_EQ(run_import(b.text), 0) << err_text;

    // Onto branch "rel" sprouting from /main/1; every version and the directories labelled.
    datafile_builder o = data_head(
        src, line("OntoBranch", "rel") + line("OntoBrvid", "/main/1") + line("LabelAll", "IMPORTED"));
    o.dir("x");
    elem_head(o, "x/f");
    version(o, "1.1", 2000, "b");
    version(o, "1.2", 2100, "a");
    o.marker("ELEMENT_END");
    elem_head(o, "x/g");
    version(o, "1.1", 2000, "a");
    o.marker("ELEMENT_END");
    imp_params kept;
    ASSERT_EQ(run_import(
                  with_counts(o.text), [](imp_params &) {}, &kept),
              0)
        << err_text;
    EXPECT_EQ(kept.branch_type, "rel");
    imp_params_release(&kept);
    EXPECT_EQ(vtree("x/f"),
              (strs{"/main/0", "/main/1", "/main/rel/0", "/main/rel/1", "/main/rel/2", "/main/2"}));
    vob_oid rel;
    vob_branch_info bi;
    ASSERT_EQ(vob_branch_find(vob, elem("x/f"), "/main/rel", &rel), 0);
    ASSERT_EQ(vob_branch_get(vob, rel, &bi), 0);
    EXPECT_EQ(bi.sprout_ver, ver("x/f@@/main/1"));
    // A new element has no /main/1: its branch sprouts from /main/LATEST, its /main/0.
    EXPECT_EQ(vtree("x/g"), (strs{"/main/0", "/main/rel/0", "/main/rel/1"}));
    EXPECT_EQ(labels("x/f@@/main/rel/2"), strs{"IMPORTED"});   // the last imported version has it
    EXPECT_EQ(labels("x/f@@/main/rel/1"), strs{});
    EXPECT_EQ(labels("x/g@@/main/rel/1"), strs{"IMPORTED"});
    EXPECT_EQ(labels("x@@/main/LATEST"), strs{"IMPORTED"});
    EXPECT_EQ(labels("@@/main/LATEST"), strs{"IMPORTED"});
    EXPECT_EQ(err_text, "");

    // A Label line moves a label an earlier import put elsewhere (a tag moved
    // in the source since); two records of one data file naming the same
    // label for an element leave it on the first, and say so.
    datafile_builder l = data_head(src);
    elem_head(l, "x/f");
    version(l, "9.9", 5000, "a", line("Label", "IMPORTED"));
    version(l, "9.10", 5100, "b", line("Label", "IMPORTED"));
    l.marker("ELEMENT_END");
    ASSERT_EQ(run_import(l.text), 0) << err_text;
    EXPECT_EQ(labels("x/f@@/main/rel/2"), strs{});
    EXPECT_EQ(labels("x/f@@/main/3"), strs{"IMPORTED"});
    EXPECT_NE(err_text.find("label \"IMPORTED\" is already on version /main/3; it was not moved to /main/4"),
              std::string::npos)
        << err_text;
    EXPECT_NE(out_text.find("Labels: 0 added, 1 moved"), std::string::npos) << out_text;

    // With the label-directory field 0 the directories stay unlabelled.
    datafile_builder n = data_head(src, line("LabelAll", "NODIRS"));
    n.dir("y");
    elem_head(n, "y/h");
    version(n, "1.1", 1000, "a");
    n.marker("ELEMENT_END");
    ASSERT_EQ(run_import(n.text, [](imp_params &p) { p.label_directory = 0; }), 0) << err_text;
    EXPECT_EQ(labels("y/h@@/main/1"), strs{"NODIRS"});
    EXPECT_EQ(labels("y@@/main/LATEST"), strs{});
}

TEST_F(ImportFixture, IdenticalVersions) {
    testutil::write_file(src + "/same", "same");
    testutil::write_file(src + "/other", "other");
    datafile_builder b = data_head(src);
    elem_head(b, "s");
    version(b, "1.1", 1000, "same");
    version(b, "1.2", 1100, "same", line("Attrib", "a=2") + line("Label", "SECOND"));
    version(b, "1.3", 1200, "other");
    b.marker("ELEMENT_END");
    std::string without = b.text;
    ASSERT_EQ(run_import(without), 0) << err_text;
    EXPECT_EQ(vtree("s"), (strs{"/main/0", "/main/1", "/main/2"}));
    EXPECT_EQ(labels("s@@/main/1"), strs{"SECOND"});
    EXPECT_EQ(attr(ver("s@@/main/1"), "a"), "2");
    EXPECT_EQ(contents("s@@/main/2"), "other");
    // Again: nothing changes, the identical version is still folded.
    ASSERT_EQ(run_import(without), 0) << err_text;
    EXPECT_EQ(vtree("s"), (strs{"/main/0", "/main/1", "/main/2"}));

    std::string text = without;
    text.replace(text.find("Name 1:s"), 8, "Name 1:t");
    ASSERT_EQ(run_import(text, [](imp_params &p) { p.identical = 1; }), 0) << err_text;
    EXPECT_EQ(vtree("t"), (strs{"/main/0", "/main/1", "/main/2", "/main/3"}));
    EXPECT_EQ(labels("t@@/main/2"), strs{"SECOND"});
}

TEST_F(ImportFixture, BrokenFileKeepsEarlierElements) {
    testutil::write_file(src + "/a", "a");
    datafile_builder b = data_head(src);
    elem_head(b, "first");
    version(b, "1.1", 1000, "a");
    b.marker("ELEMENT_END");
    elem_head(b, "second");
    version(b, "1.1", 1000, "a");
    std::string text = b.text + "VERSION_BEGIN\nVersionId 99:1.2\n";
    long bad_line = long(std::count(text.begin(), text.end(), '\n'));
    ASSERT_EQ(run_import(text), 1);
    EXPECT_EQ(contents("first"), "a");
    EXPECT_EQ(elem("second"), 0);
    EXPECT_NE(err_text.find("line " + std::to_string(bad_line) + ","), std::string::npos) << err_text;
    EXPECT_NE(err_text.find("runs past the end"), std::string::npos) << err_text;
    std::vector<vob_oid> all;
    ASSERT_EQ(vob_elem_list(vob, &all), 0);
    EXPECT_EQ(all.size(), 3u);   // root, lost+found, first
}

TEST_F(ImportFixture, FailingExtractRollsBackOnlyThatElement) {
    testutil::write_file(src + "/a", "a");
    datafile_builder b = data_head(src);
    for (const char *name : {"one", "two", "three"}) {
        elem_head(b, name);
        b.marker("VERSION_BEGIN").str("VersionId", "1.1").num("EventTime", 1000);
        b.str("ExtractCmd", "cat \"%s%ca\" > \"%s\"").marker("VERSION_END");
        b.marker("VERSION_BEGIN").str("VersionId", "1.2").num("EventTime", 1100);
        b.str("ExtractCmd", std::string(name) == "two" ? "echo no such revision >&2; exit 2 > \"%s\""
                                                       : "printf second > \"%s\"");
        b.marker("VERSION_END").marker("ELEMENT_END");
    }
    imp_params kept;
    ASSERT_EQ(run_import(
                  b.text, [](imp_params &) {}, &kept),
              1);
    EXPECT_EQ(vtree("one"), (strs{"/main/0", "/main/1", "/main/2"}));
    EXPECT_EQ(elem("two"), 0);
    EXPECT_EQ(vtree("three"), (strs{"/main/0", "/main/1", "/main/2"}));
    EXPECT_EQ(hash_str_count(kept.not_imported), 1);
    EXPECT_EQ(hash_str_lookup(kept.not_imported, "two", nullptr, nullptr), 1);
    EXPECT_EQ(hash_str_count(kept.imported), 2);
    imp_params_release(&kept);
    EXPECT_NE(err_text.find("exited with status 2"), std::string::npos) << err_text;
    EXPECT_NE(err_text.find("no such revision"), std::string::npos) << err_text;
}

// Elements share a transaction; one that fails after it wrote (its versions
// made, then its other name refused) leaves nothing behind, and its
// neighbours keep the history each would have had alone: one new version of
// the root directory per element.
TEST_F(ImportFixture, GroupedElementFailingAfterItsWritesRollsBackAlone) {
    testutil::write_file(src + "/a", "a");
    datafile_builder b = data_head(src);
    for (const char *name : {"one", "two", "three"}) {
        elem_head(b, name);
        if (std::string(name) == "two")
            b.str("AltName", "one");
        b.marker("VERSION_BEGIN").str("VersionId", "1.1").num("EventTime", 1000);
        b.str("ExtractFile", "a").str("Label", std::string("L_") + name).marker("VERSION_END");
        b.marker("ELEMENT_END");
    }
    vob_oid root = vob_wk_obj(vob, VOB_WK_ROOT_DIR);
    size_t root_versions = testvob::vtree_ids(vob, root).size();
    imp_params kept;
    ASSERT_EQ(run_import(
                  b.text, [](imp_params &) {}, &kept),
              1);
    EXPECT_EQ(vtree("one"), (strs{"/main/0", "/main/1"}));
    EXPECT_EQ(elem("two"), 0);
    EXPECT_EQ(vtree("three"), (strs{"/main/0", "/main/1"}));
    EXPECT_EQ(hash_str_count(kept.not_imported), 1);
    EXPECT_EQ(hash_str_lookup(kept.not_imported, "two", nullptr, nullptr), 1);
    imp_params_release(&kept);
    EXPECT_NE(err_text.find("Element \"two\" was not imported: other name \"one\" names another element"),
              std::string::npos)
        << err_text;
    // One new version for each element that entered its name.
    EXPECT_EQ(testvob::vtree_ids(vob, root).size(), root_versions + 2);
    vob_oid lb = 0;
    EXPECT_EQ(vob_type_find(vob, VOB_MT_LBTYPE, "L_two", &lb), 0);   // types stay for others

    // The next run imports what is left, after the cause is gone.
    std::string fixed = b.text;
    fixed.erase(fixed.find("AltName 3:one\n"), 14);
    EXPECT_EQ(run_import(fixed), 0) << err_text;
    EXPECT_EQ(vtree("two"), (strs{"/main/0", "/main/1"}));
}

TEST_F(ImportFixture, IncrementalImportFetchesOnlyWhatIsNew) {
    std::string counter = tmp + "/runs";
    testutil::write_file(src + "/a", "a");
    auto file_with = [&](int n) {
        datafile_builder b = data_head(src);
        elem_head(b, "inc");
        for (int i = 1; i <= n; ++i) {
            b.marker("VERSION_BEGIN").str("VersionId", "1." + std::to_string(i)).num("EventTime", 1000 + i);
            b.str("ExtractCmd", "echo run >> '" + counter + "'; printf " + std::to_string(i) + " > \"%s\"");
            b.marker("VERSION_END");
        }
        b.marker("ELEMENT_END");
        return b.text;
    };
    ASSERT_EQ(run_import(file_with(2)), 0) << err_text;
    ASSERT_EQ(run_import(file_with(3)), 0) << err_text;
    EXPECT_EQ(vtree("inc"), (strs{"/main/0", "/main/1", "/main/2", "/main/3"}));
    EXPECT_EQ(contents("inc@@/main/3"), "3");
    EXPECT_NE(out_text.find("and 1 version; 2 versions were already present"), std::string::npos) << out_text;
    EXPECT_EQ(testutil::read_file(counter), "run\nrun\nrun\n");
    ASSERT_EQ(run_import(file_with(3)), 0) << err_text;
    EXPECT_NE(out_text.find("Nothing new to import"), std::string::npos) << out_text;
    EXPECT_EQ(vtree("inc"), (strs{"/main/0", "/main/1", "/main/2", "/main/3"}));
    EXPECT_EQ(testutil::read_file(counter), "run\nrun\nrun\n");
}

// A branch named only by SubBranch (made, never worked on) still exists after
// the import, sprouting where it was named; versions without contents (removed
// files) sprout such branches too, and importing again or with one more
// version stays exact.
TEST_F(ImportFixture, EmptyBranchesAndVersionsWithoutContents) {
    testutil::write_file(src + "/A", "contents A");
    testutil::write_file(src + "/B", "contents B");
    auto file_with = [&](bool back) {
        datafile_builder b = data_head(src);
        elem_head(b, "f.c");
        version(b, "1.1", 1100, "A", line("SubBranch", "dev") + line("SubBranch", "rel"));
        version(b, "1.2", 1200, "", line("SubBranch", "gone"));   // dead: no contents
        version(b, "1.1.2.1", 1300, "B", "", "rel");
        if (back)
            version(b, "1.3", 1400, "B");
        b.marker("ELEMENT_END");
        return with_counts(b.text);
    };
    ASSERT_EQ(run_import(file_with(false)), 0) << err_text;
    EXPECT_EQ(vtree("f.c"), (strs{"/main/0", "/main/1", "/main/rel/0", "/main/rel/1", "/main/dev/0",
                                  "/main/2", "/main/gone/0"}));
    vob_oid br;
    vob_branch_info bi;
    ASSERT_EQ(vob_branch_find(vob, elem("f.c"), "/main/dev", &br), 0);
    ASSERT_EQ(vob_branch_get(vob, br, &bi), 0);
    EXPECT_EQ(bi.sprout_ver, ver("f.c@@/main/1"));
    EXPECT_EQ(contents("f.c@@/main/dev/0"), "contents A");
    EXPECT_EQ(contents("f.c@@/main/rel/1"), "contents B");
    EXPECT_EQ(contents("f.c@@/main/2"), "<none>");
    EXPECT_EQ(contents("f.c@@/main/gone/0"), "<none>");

    ASSERT_EQ(run_import(file_with(false)), 0) << err_text;
    EXPECT_NE(out_text.find("Nothing new to import"), std::string::npos) << out_text;
    ASSERT_EQ(run_import(file_with(true)), 0) << err_text;
    EXPECT_EQ(vtree("f.c"), (strs{"/main/0", "/main/1", "/main/rel/0", "/main/rel/1", "/main/dev/0",
                                  "/main/2", "/main/gone/0", "/main/3"}));
    EXPECT_EQ(contents("f.c@@/main/3"), "contents B");
}

TEST_F(ImportFixture, LoadUpdatesTheView) {
    testutil::write_file(src + "/a", "loaded");
    datafile_builder b = data_head(src);
    elem_head(b, "a");
    version(b, "1.1", 1000, "a");
    b.marker("ELEMENT_END");
    ASSERT_EQ(run_import(b.text), 0) << err_text;
    EXPECT_NE(access((vob_root() + "/a").c_str(), F_OK), 0);
    std::string text = b.text;
    text.replace(text.find("Name 1:a"), 8, "Name 1:b");
    ASSERT_EQ(run_import(text, [](imp_params &p) { p.load = 1; }), 0) << err_text;
    EXPECT_EQ(testutil::read_file(vob_root() + "/a"), "loaded");
    EXPECT_EQ(testutil::read_file(vob_root() + "/b"), "loaded");
}

TEST_F(ImportFixture, MissingToolStopsBeforeAnything) {
    datafile_builder b = data_head(src, line("NeedCmd", "no_such_tool_4711"));
    b.dir("d");
    ASSERT_EQ(run_import(b.text), 1);
    EXPECT_NE(err_text.find("\"no_such_tool_4711\", which is not on PATH"), std::string::npos) << err_text;
    EXPECT_EQ(elem("d"), 0);
}

TEST_F(ImportFixture, TargetOutsideAViewAndNewTargetDirectory) {
    datafile_builder b = data_head(src);
    ASSERT_EQ(run_import(b.text, [&](imp_params &p) { p.target_dir = src.c_str(); }), 1);
    EXPECT_NE(err_text.find("is not inside a snapshot view"), std::string::npos) << err_text;

    // A plain directory in the view (as the wizard makes it) becomes directory elements.
    std::string sub = vob_root() + "/new/deeper";
    ASSERT_EQ(system(("mkdir -p '" + sub + "'").c_str()), 0);
    testutil::write_file(src + "/a", "a");
    elem_head(b, "f");
    version(b, "1.1", 1000, "a");
    b.marker("ELEMENT_END");
    ASSERT_EQ(run_import(b.text, [&](imp_params &p) { p.target_dir = sub.c_str(); }), 0) << err_text;
    EXPECT_EQ(contents("new/deeper/f"), "a");
}

TEST_F(ImportFixture, SetEventRecordsTheImporter) {
    testutil::write_file(src + "/a", "a");
    datafile_builder b = data_head(src);
    elem_head(b, "a");
    version(b, "1.1", 1000, "a");
    b.marker("ELEMENT_END");
    ASSERT_EQ(run_import(b.text, [](imp_params &p) { p.setevent = 1; }), 0) << err_text;
    vob_event ev, now = vob_event_now();
    ASSERT_EQ(vob_obj_get_event(vob, ver("a@@/main/1"), &ev), 0);
    EXPECT_EQ(ev.user, now.user);
    EXPECT_GE(ev.time, now.time - 60);
    EXPECT_EQ(ev.comment, "Created by importer");   // the data file had none
}

// The events the wizard relies on, in order.
TEST_F(ImportFixture, ProgressCallbacks) {
    struct log_t {
        std::vector<std::string> events;
        long range_versions = 0;
    } log;
    imp_callbacks cb{};
    cb.ctx = &log;
    cb.range = [](void *c, long, long v) {
        static_cast<log_t *>(c)->range_versions = v;
        static_cast<log_t *>(c)->events.push_back("range");
        return 0;
    };
    cb.phase_directories = [](void *c) {
        static_cast<log_t *>(c)->events.push_back("dirs");
        return 0;
    };
    cb.phase_label_types = [](void *c) {
        static_cast<log_t *>(c)->events.push_back("labels");
        return 0;
    };
    cb.directory = [](void *c, const char *name, vob_oid, vob_oid branch, int created) {
        static_cast<log_t *>(c)->events.push_back(std::string("dir ") + name + " " + std::to_string(created) +
                                                  (branch ? "" : " nobranch"));
        return 0;
    };
    cb.element = [](void *c, const char *name, vob_oid, int created) {
        static_cast<log_t *>(c)->events.push_back(std::string("elem ") + name + " " +
                                                  std::to_string(created));
        return 0;
    };
    cb.version = [](void *c, const char *vid, vob_oid, int is_new) {
        static_cast<log_t *>(c)->events.push_back(std::string("ver ") + vid + " " + std::to_string(is_new));
        return 0;
    };
    cb.version_identical = [](void *c, const char *vid, vob_oid) {
        static_cast<log_t *>(c)->events.push_back(std::string("same ") + vid);
        return 0;
    };
    testutil::write_file(src + "/a", "a");
    datafile_builder b = data_head(src);
    b.dir("d");
    elem_head(b, "d/f");
    version(b, "1.1", 1000, "a");
    version(b, "1.2", 1100, "a");
    b.marker("ELEMENT_END");
    ASSERT_EQ(run_import(b.text, [&](imp_params &p) { p.callbacks = &cb; }), 0) << err_text;
    EXPECT_EQ(log.events,
              (strs{"range", "labels", "dirs", "dir . 0", "dir d 1", "ver 1.1 1", "same 1.2", "elem d/f 1"}));
    EXPECT_EQ(log.range_versions, 1);

    // A callback that asks to stop ends the import after the current element.
    log.events.clear();
    cb.element = [](void *, const char *, vob_oid, int) { return 1; };
    std::string text = b.text;
    elem_head(b, "d/g");
    version(b, "1.1", 1000, "a");
    b.marker("ELEMENT_END");
    text = b.text;
    text.replace(text.find("Name 3:d/f"), 10, "Name 3:d/e");
    ASSERT_EQ(run_import(text, [&](imp_params &p) { p.callbacks = &cb; }), 1);
    EXPECT_NE(elem("d/e"), 0);
    EXPECT_EQ(elem("d/g"), 0);
}

TEST_F(ImportFixture, VersionExtendedExtractFileAndSsafeget) {
    testutil::write_file(src + "/a", "from the vob");
    datafile_builder b = data_head(src);
    elem_head(b, "a");
    version(b, "1.1", 1000, "a");
    b.marker("ELEMENT_END");
    ASSERT_EQ(run_import(b.text), 0) << err_text;

    // A stand-in for ssafeget: writes "<version>:<project path>" into the named leaf.
    std::string bin = tmp + "/bin";
    mkdir(bin.c_str(), 0755);
    testutil::write_file(bin + "/ssafeget", "#!/bin/sh\nprintf '%s:%s' \"$2\" \"$1\" > \"$3\"\n");
    chmod((bin + "/ssafeget").c_str(), 0755);
    std::string old_path = getenv("PATH");
    setenv("PATH", (bin + ":" + old_path).c_str(), 1);
    datafile_builder c = data_head(src, line("NeedCmd", "ssafeget"));
    elem_head(c, "copy");
    version(c, "/main/1", 1000, vob_root() + "/a@@/main/1");
    c.marker("ELEMENT_END");
    elem_head(c, "ss.c");
    c.marker("VERSION_BEGIN").str("VersionId", "/p/ss.c/2").num("EventTime", 1);
    c.str("ExtractCmd", "ssafeget \"$/p/ss.c\" 2 \"ss.c\"").marker("VERSION_END").marker("ELEMENT_END");
    int rc = run_import(c.text);
    setenv("PATH", old_path.c_str(), 1);
    ASSERT_EQ(rc, 0) << err_text;
    EXPECT_EQ(contents("copy"), "from the vob");
    EXPECT_EQ(contents("ss.c"), "2:$/p/ss.c");
}

}   // namespace
