// The export library driven by a scripted driver: selection by -I, -s and -p,
// statuses, list orders, failures of the driver's operations, and the
// refusals of the common options for every exporter kind.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "tests/export/export_test_util.h"

using nlohmann::json;
using testutil::TempDir;

namespace {

const std::string SCRIPTED = SCRIPTED_BIN;

// The tree to export lives in dir; the script and the call log beside it.
struct Scripted {
    TempDir root;
    std::string dir = root / "tree";
    json script = json::object();
    Scripted() { testutil::make_dirs(dir); }
    ExportRun run(std::vector<std::string> args, testutil::EnvList env = {}) {
        env.push_back({"SCRIPTED_DRIVER", scripted_env_file(root.path(), script)});
        env.push_back({"SCRIPTED_LOG", root / "calls.log"});
        return run_exporter(SCRIPTED, dir, args, env);
    }
    std::string at(const std::string &rel) const { return dir + "/" + rel; }
    void element(const std::string &path, json spec) {
        testutil::write_file(at(path), "contents");
        script["elements"][path] = spec.is_null() ? json::object() : spec;
    }
    std::string log() {
        return testutil::exists(root / "calls.log") ? testutil::read_file(root / "calls.log") : "";
    }
};

json version(const std::string &id, long long t, json extra = json::object()) {
    json v = {{"id", id}, {"time", t}};
    v.update(extra);
    return v;
}

std::vector<std::string> version_ids(const std::string &data) {
    std::vector<std::string> ids;
    for (size_t p = data.find("VersionId "); p != std::string::npos; p = data.find("VersionId ", p + 1)) {
        size_t colon = data.find(':', p), nl = data.find('\n', p);
        ids.push_back(data.substr(colon + 1, nl - colon - 1));
    }
    return ids;
}

using Ids = std::vector<std::string>;

TEST(ExportSelection, ImportantUntilKeepsLastOfEachBranchAndLinkedVersions) {
    Scripted s;
    s.element("f", {{"versions", json::array({
                                     version("1.1", 100),
                                     version("1.2", 200, {{"labels", {"REL1"}}}),
                                     version("1.3", 300),
                                     version("1.4", 400),
                                     version("1.2.1.1", 250, {{"branch", "b1"}}),
                                     version("1.2.1.2", 260, {{"branch", "b1"}, {"attributes", {"a=1"}}}),
                                     version("1.3.1.1", 350, {{"branch", "b2"}, {"merges", {"/main/1.1"}}}),
                                     version("1.3.1.2", 360, {{"branch", "b2"}}),
                                     version("late", 5000, {{"branch", "b2"}, {"status", 1004}}),
                                 })}});
    ExportRun r = s.run({"-I", "1970-01-01T00:01:40Z"});   // 100 s: nothing is older
    EXPECT_EQ(version_ids(r.data).size(), 9u);
    ExportRun r2 = [&] {
        Scripted s2;
        s2.script = s.script;
        s2.element("f", s.script["elements"]["f"]);
        return s2.run({"-I", "1970-01-01T01:00:00Z"});   // 3600 s: all but "late" are older
    }();
    ASSERT_EQ(r2.proc.status, 0) << r2.proc.err;
    // 1.2 keeps its label, 1.3.1.1 its merge; 1.4 and 1.2.1.2 end their branches;
    // b2's last version is "late", so 1.3.1.2 goes; attributes alone do not count.
    EXPECT_EQ(version_ids(r2.data), (Ids{"1.2", "1.4", "1.2.1.2", "1.3.1.1", "late"}));
    EXPECT_NE(r2.proc.err.find("Only important versions until \"1970-01-01T01:00:00Z\" will be converted."),
              std::string::npos);
    EXPECT_EQ(testutil::count(r2.data, "AbsVersion TRUE"), 1u);
}

TEST(ExportSelection, BranchesWhoseLastVersionsShareAnIdAreBothKept) {
    Scripted s;
    s.element("f", {{"versions", json::array({
                                     version("1", 10, {{"branch", "a"}}),
                                     version("2", 20, {{"branch", "a"}}),
                                     version("1", 30, {{"branch", "b"}}),
                                     version("3", 35),
                                     version("2", 40, {{"branch", "b"}}),
                                 })}});
    ExportRun r = s.run({"-I", "now"});
    EXPECT_EQ(version_ids(r.data), (Ids{"2", "3", "2"}));
}

TEST(ExportSelection, SinceAndPriorAreStrictAndHeadComesBeforeFirstSelectedVersion) {
    Scripted s;
    // Version 1 is on a branch of its own, so that no selected version needs it.
    s.element("f", {{"element", {{"created", 100}, {"user", "ann"}}},
                    {"versions",
                     json::array({version("1", 100, {{"branch", "b"}}), version("2", 200, {{"user", "bob"}}),
                                  version("3", 300), version("4", 400)})}});
    ExportRun r = s.run({"-s", "1970-01-01T00:01:40Z", "-p", "1970-01-01T00:06:40Z"});
    ASSERT_EQ(r.proc.status, 0) << r.proc.err;
    EXPECT_EQ(version_ids(r.data), (Ids{"2", "3"}));
    // The element was created at the since time (not after it), so its head is
    // written just before version 2, with the element's own event.
    EXPECT_NE(
        r.data.find(
            "ELEMENT_BEGIN\nName 1:f\nEventUser 3:ann\nEventTime 100\nVERSION_BEGIN\nVersionId 1:2\nEventUser 3:bob\n"),
        std::string::npos)
        << r.data;
    EXPECT_NE(r.proc.err.find("Only revisions between"), std::string::npos);
}

TEST(ExportSelection, NothingInRangeWritesAndCountsNothing) {
    Scripted s;
    s.element("f", {{"element", {{"created", 100}}}, {"versions", json::array({version("1", 100)})}});
    ExportRun r = s.run({"-p", "1970-01-01T00:01:40Z"});
    EXPECT_EQ(r.data.find("ELEMENT_BEGIN"), std::string::npos);
    EXPECT_EQ(r.proc.status, 0) << r.proc.err;
    EXPECT_NE(r.data.find("NumElements 0\nNumVersions 0\n"), std::string::npos);
    EXPECT_NE(r.data.find("TYPES_BEGIN\nTYPES_END\nDIR_BEGIN\nDirName 1:.\nDIR_END\n"), std::string::npos);
}

TEST(ExportStatuses, SkippedAbsoluteAndNotVersions) {
    Scripted s;
    s.element("f", {{"versions", json::array({
                                     version("a", 10, {{"status", 1001}}),
                                     version("b", 20, {{"status", 1003}}),
                                     version("c", 30, {{"status", 1004}}),
                                     version("d", 40, {{"is_version", 0}}),
                                     version("e", 50, {{"no_contents", 1}}),
                                     version("g", 60, {{"extract", ""}, {"command", 0}}),
                                     version("h", 70, {{"extract", "file/h"}, {"command", 0}}),
                                 })}});
    ExportRun r = s.run({});
    ASSERT_EQ(r.proc.status, 0) << r.proc.err;
    EXPECT_EQ(version_ids(r.data), (Ids{"c", "e", "g", "h"}));
    EXPECT_NE(r.data.find("VersionId 1:c\nAbsVersion TRUE\n"), std::string::npos);
    EXPECT_NE(r.data.find("NumElements 1\nNumVersions 4\n"), std::string::npos);   // the four written
    size_t e = r.data.find("VersionId 1:e"), g = r.data.find("VersionId 1:g"),
           h = r.data.find("VersionId 1:h");
    EXPECT_EQ(r.data.substr(e, g - e).find("Extract"), std::string::npos);
    EXPECT_EQ(r.data.substr(g, h - g).find("Extract"), std::string::npos);
    EXPECT_NE(r.data.find("ExtractFile 6:file/h\n"), std::string::npos);
}

TEST(ExportStatuses, BadStatusFailsTheElementAndLeavesNoPartialRecord) {
    Scripted s;
    s.element("bad", {{"versions", json::array({version("1", 10), version("2", 20, {{"status", 7}})})}});
    s.element("good", {{"versions", json::array({version("1", 10)})}});
    ExportRun r = s.run({});
    EXPECT_EQ(r.proc.status, 2);
    EXPECT_NE(r.proc.err.find("Version \"2\" has bad status."), std::string::npos);
    EXPECT_NE(r.proc.err.find("Unable to output version info to file."), std::string::npos);
    EXPECT_NE(r.proc.err.find("could not be exported:\n    \tbad\n"), std::string::npos) << r.proc.err;
    EXPECT_EQ(r.data.find("Name 3:bad"), std::string::npos);
    EXPECT_EQ(testutil::count(r.data, "ELEMENT_BEGIN"), testutil::count(r.data, "ELEMENT_END"));
    EXPECT_NE(r.data.find("Name 4:good"), std::string::npos);
}

TEST(ExportRecords, EveryKeyInItsOrderAndListOrders) {
    Scripted s;
    s.element("f", {{"element",
                     {{"type", "text_file"},
                      {"mode", 420},
                      {"user", "u"},
                      {"group", "g"},
                      {"event_name", "Ann"},
                      {"host", "h"},
                      {"comment", "elem"},
                      {"state", 8},
                      {"obsolete_branches", {"ob1", "ob2"}},
                      {"attributes", {"E1=1", "E2=2"}},
                      {"alt_names", {"alt1", "alt2"}},
                      {"created", 5}}},
                    {"versions", json::array({version("/main/1", 7,
                                                      {{"branch", "dev/fix"},
                                                       {"user", ""},
                                                       {"comment", "two\nlines"},
                                                       {"subbranches", {"dev/fix/s1", "s2"}},
                                                       {"attributes", {"A1=x", "A2=y"}},
                                                       {"labels", {"L1", "L2"}},
                                                       {"merges", {"m1", "m2"}},
                                                       {"fmerges", {"f1", "f2"}}})})}});
    ExportRun r = s.run({});
    ASSERT_EQ(r.proc.status, 0) << r.proc.err;
    const std::string expected =
        "ELEMENT_BEGIN\nName 1:f\nElType 9:text_file\nMode 420\nEventUser 1:u\nEventGroup 1:g\n"
        "EventName 3:Ann\nEventHost 1:h\nEventTime 5\nComment 4:elem\nObsolete TRUE\n"
        "BranchObs 3:ob1\nBranchObs 3:ob2\nAttrib 4:E1=1\nAttrib 4:E2=2\nAltName 4:alt1\nAltName 4:alt2\n"
        "VERSION_BEGIN\nVersionId 7:/main/1\nEventTime 7\nOnBranch 7:dev/fix\nExtractCmd 13:get f /main/1\n"
        "SubBranch 2:s1\nSubBranch 2:s2\nAttrib 4:A2=y\nAttrib 4:A1=x\nLabel 2:L2\nLabel 2:L1\n"
        "Merge 2:m2\nMerge 2:m1\nFMerge 2:f2\nFMerge 2:f1\nComment 9:two\nlines\nVERSION_END\nELEMENT_END\n";
    EXPECT_NE(r.data.find(expected), std::string::npos) << r.data;
    // Types: names put at the head of each list as they come.
    EXPECT_NE(r.data.find("TYPES_BEGIN\nATTYPE_BEGIN\nAttrType 2:A2\nATTYPE_END\n"), std::string::npos)
        << r.data;
    for (const char *t :
         {"AttrType 2:E1", "LbType 2:L1", "BrType 2:s1", "BrType 3:dev", "ElType 9:text_file"})
        EXPECT_NE(r.data.find(t), std::string::npos) << t;
}

TEST(ExportDriverFailures, OpenInfoExtractEachListedAndClosedOnce) {
    Scripted s;
    s.element("open_fails", {{"open", 1001}});
    s.element("not_here", {{"open", 1003}});
    s.element("info_fails", {{"info", 5}, {"versions", json::array()}});
    s.element("extract_fails", {{"versions", json::array({version("1", 10, {{"extract_rc", 1}})})}});
    s.element("nomem", {{"open", 12}});
    s.element("ok", {{"element", {{"checkouts", {"ann:/home/ann/ok", "bob"}}}},
                     {"versions", json::array({version("1", 10)})}});
    ExportRun r = s.run({});
    EXPECT_EQ(r.proc.status, 2) << r.proc.err;
    EXPECT_NE(r.proc.err.find("Couldn't open element \"open_fails\"."), std::string::npos);
    EXPECT_NE(r.proc.err.find("Can't get element information for \"info_fails\"."), std::string::npos);
    EXPECT_NE(r.proc.err.find("Can't add extract version command to script file."), std::string::npos);
    EXPECT_EQ(testutil::count(r.proc.err, "Unable to get element info."), 3u);
    for (const char *n : {"open_fails", "not_here", "info_fails", "extract_fails", "nomem"})
        EXPECT_NE(r.proc.err.find(std::string("\t") + n + "\n"), std::string::npos) << n;
    EXPECT_EQ(r.proc.err.find("\tok\n"), std::string::npos);
    EXPECT_NE(r.proc.out.find("The following checkouts exist:\n\tUser \"ann\", from /home/ann/ok.\n"),
              std::string::npos);
    EXPECT_NE(r.proc.err.find("does not have a \":\" in it."), std::string::npos);
    std::string log = s.log();
    EXPECT_EQ(testutil::count(log, "close null"), 3u) << log;   // the three failed opens
    for (const char *n : {"info_fails", "extract_fails", "ok"})
        EXPECT_EQ(testutil::count(log, std::string("close ") + n + "\n"), 1u) << n;
    EXPECT_EQ(testutil::count(log, "shutdown"), 1u);
    // Counted: the one element written, and nothing of the failed ones.
    EXPECT_NE(r.data.find("NumElements 1\nNumVersions 1\n"), std::string::npos) << r.data;
}

// A driver failing in the middle of the version list fails the element: none
// of its history is written, rather than the part before the failure.
TEST(ExportDriverFailures, FailedNextVersionIsNotTheEndOfTheList) {
    Scripted s;
    s.element("broken", {{"versions", json::array({version("1", 10), version("2", 20, {{"next_rc", 1001}}),
                                                   version("3", 30)})}});
    s.element("whole", {{"versions", json::array({version("1", 10)})}});
    ExportRun r = s.run({});
    EXPECT_NE(r.proc.err.find("Can't get the next version of \"broken\"."), std::string::npos) << r.proc.err;
    EXPECT_NE(r.proc.err.find("\tbroken\n"), std::string::npos) << r.proc.err;
    EXPECT_EQ(r.data.find("broken"), std::string::npos) << r.data;
    EXPECT_NE(r.data.find("NumElements 1\nNumVersions 1\n"), std::string::npos) << r.data;
    EXPECT_EQ(testutil::count(s.log(), "close broken\n"), 1u) << s.log();
}

TEST(ExportDriverFailures, InitAndShutdown) {
    Scripted s;
    s.script["init"] = 1;
    ExportRun r = s.run({});
    EXPECT_EQ(r.proc.status, 1);
    EXPECT_NE(r.proc.err.find("CM driver initialization failed."), std::string::npos);
    Scripted s2;
    s2.script["shutdown"] = 1;
    ExportRun r2 = s2.run({});
    EXPECT_EQ(r2.proc.status, 0);
    EXPECT_NE(r2.proc.err.find("CM driver shutdown failed."), std::string::npos);
    EXPECT_NE(r2.data.find("GLOBALS_END"), std::string::npos);
}

// The driver's end report follows the totals of a run that wrote its file,
// and is not asked for by a run that failed.
TEST(ExportDriverFailures, EndReportAfterTheTotalsOnly) {
    Scripted s;
    s.script["end_report"] = "    left out: 3\n";
    testutil::write_file(s.at("f"), "x");
    ExportRun r = s.run({});
    ASSERT_EQ(r.proc.status, 0) << r.proc.err;
    size_t totals = r.proc.err.find("Exported 1 element with 1 version ");
    ASSERT_NE(totals, std::string::npos) << r.proc.err;
    EXPECT_EQ(r.proc.err.find("    left out: 3\n"), r.proc.err.find('\n', totals) + 1) << r.proc.err;
    EXPECT_EQ(testutil::count(s.log(), "end_report"), 1u);
    std::string log = s.log();
    EXPECT_LT(log.find("shutdown"), log.find("end_report"));

    Scripted failed;
    failed.script["end_report"] = "    left out: 3\n";
    testutil::write_file(failed.at("cvt_data"), "");
    ExportRun r2 = failed.run({});
    EXPECT_EQ(r2.proc.status, 1);
    EXPECT_EQ(r2.proc.err.find("left out"), std::string::npos) << r2.proc.err;
    EXPECT_EQ(failed.log().find("end_report"), std::string::npos);
}

TEST(ExportDriverFailures, MapNameResults) {
    Scripted s;
    s.element("skip", {});
    s.element("unresolved", {});
    s.element("renamed", {});
    testutil::write_file(s.at("pruned/inside"), "x");
    s.script["map"]["skip"] = {{"convert", 0}};
    s.script["map"]["unresolved"] = {{"rc", 1}};
    s.script["map"]["renamed"] = {{"name", "other name"}};
    s.script["map"]["pruned"] = {{"convert", 0}, {"prune", 1}};
    ExportRun flat = s.run({});
    EXPECT_NE(flat.proc.err.find("Could not resolve \"unresolved\"."), std::string::npos);
    std::remove(s.at("cvt_data").c_str());
    ExportRun rec = s.run({"-r"});
    EXPECT_EQ(rec.proc.err.find("Could not resolve"), std::string::npos);   // quiet with -r
    EXPECT_EQ(s.log().find("map pruned/inside"), std::string::npos);
    EXPECT_EQ(rec.data.find("Name 4:skip"), std::string::npos);
    EXPECT_NE(rec.data.find("Name 7:renamed"), std::string::npos);   // files keep their path
}

// A directory the walk cannot read is no silent success: named with the
// reason, and the run fails; the other operands are still exported.
TEST(ExportDriverFailures, UnreadableDirectoryFailsTheRun) {
    Scripted s;
    s.element("sub/a", {});
    s.element("top", {});
    s.script["unreadable"] = {"sub", "."};
    ExportRun op = s.run({"-r", "sub", "top"});
    EXPECT_EQ(op.proc.status, 1) << op.proc.err;
    EXPECT_NE(op.proc.err.find("sub: Permission denied"), std::string::npos) << op.proc.err;
    EXPECT_NE(op.data.find("Name 3:top"), std::string::npos) << op.proc.err;
    std::remove(s.at("cvt_data").c_str());
    ExportRun all = s.run({"-r"});
    EXPECT_EQ(all.proc.status, 1) << all.proc.err;
    EXPECT_NE(all.proc.err.find(".: Permission denied"), std::string::npos) << all.proc.err;
}

TEST(ExportGlobals, KindsNeedCmdAndExportFrom) {
    Scripted s;
    s.script = {{"kind", 14}, {"extra", "AVS"}, {"need_cmd", "cvs"}, {"export_from", "/from/here"}};
    ExportRun no_r = s.run({"-A"});
    EXPECT_EQ(no_r.proc.status, 1);
    EXPECT_NE(no_r.proc.err.find("The -A option may not be specified without -r."), std::string::npos);
    ExportRun r = s.run({"-r", "-A", "-V", "-S"});
    ASSERT_EQ(r.proc.status, 0) << r.proc.err;
    EXPECT_NE(r.data.find("ExportFromDir 10:/from/here\n"), std::string::npos);
    EXPECT_NE(r.data.find("ExporterKind 11\nNeedCmd 3:cvs\nGLOBALS_END\n"), std::string::npos) << r.data;
}

// The common options, refused or accepted for each kind of exporter.
TEST(ExportCommandLine, RefusalsPerKind) {
    struct Case {
        int kind;
        std::string refused, accepted;
    };
    const std::vector<Case> cases = {
        {2, "IT", "LblvrstpoU"}, {3, "Lbvl", "ITrstpo"},  {5, "Lbvl", "ITrstpo"},  {7, "Lbvl", "ITrstpo"},
        {8, "Ll", "ITbvrstpo"},  {10, "Lbvl", "ITrstpo"}, {11, "Lbvl", "ITrstpo"},
    };
    auto arg_for = [](char c) -> std::vector<std::string> {
        switch (c) {
            case 'I':
            case 's':
            case 'p':
                return {std::string("-") + c, "2000-01-01"};
            case 'T':
                return {"-T", "names.tr"};
            case 'o':
                return {"-o", "out.dat"};
            case 't':
                return {"-t", "."};
            case 'b':
                return {"-b", "br"};
            case 'v':
                return {"-v", "/main/1"};
            case 'l':
                return {"-l", "LB"};
            default:
                return {std::string("-") + c};
        }
    };
    for (const Case &c : cases) {
        for (char o : c.refused) {
            Scripted s;
            s.script["kind"] = c.kind;
            ExportRun r = s.run(arg_for(o));
            EXPECT_EQ(r.proc.status, 1) << c.kind << " " << o;
            EXPECT_NE(r.proc.err.find(std::string("Option \"") + o + "\" not supported by this exporter."),
                      std::string::npos)
                << c.kind << " " << o;
            EXPECT_NE(r.proc.out.find("usage:"), std::string::npos);
        }
        for (char o : c.accepted) {
            if (o == 'U')
                continue;
            Scripted s;
            s.script["kind"] = c.kind;
            ExportRun r = s.run(arg_for(o));
            EXPECT_EQ(r.proc.status, 0) << c.kind << " " << o << ": " << r.proc.err;
        }
    }
}

TEST(ExportCommandLine, SinceAndImportantExcludeEachOtherInBothOrders) {
    for (auto args : {std::vector<std::string>{"-s", "2000-01-01", "-I", "now"},
                      std::vector<std::string>{"-I", "now", "-s", "2000-01-01"}}) {
        Scripted s;
        ExportRun r = s.run(args);
        EXPECT_EQ(r.proc.status, 1);
        EXPECT_NE(r.proc.err.find("Options -s and -I are mutually exclusive."), std::string::npos);
        EXPECT_NE(r.proc.out.find("usage:"), std::string::npos);
        EXPECT_FALSE(testutil::exists(s.at("cvt_data")));
    }
}

TEST(ExportCommandLine, TypeNameArgumentsAndUnknownLetters) {
    Scripted s;
    s.script["kind"] = 2;
    ExportRun bad = s.run({"-l", "has space"});
    EXPECT_EQ(bad.proc.status, 1);
    EXPECT_NE(bad.proc.err.find("Type name \"has space\" contains invalid characters."), std::string::npos);
    ExportRun num = s.run({"-b", "dev/12"});
    EXPECT_EQ(num.proc.status, 1);
    ExportRun unknown = s.run({"-Z"});
    EXPECT_EQ(unknown.proc.status, 1);
    EXPECT_NE(unknown.proc.out.find("usage:"), std::string::npos);
    ExportRun missing = s.run({"-o"});
    EXPECT_EQ(missing.proc.status, 1);
    // -b is checked piece by piece: empty pieces and "=value" tails pass, and
    // the argument is written as given.
    ExportRun pieces = s.run({"-b", "/dev//rel=2/"});
    EXPECT_EQ(pieces.proc.status, 0) << pieces.proc.err;
    EXPECT_NE(pieces.data.find("OntoBranch 12:/dev//rel=2/\nGLOBALS_END"), std::string::npos);
    EXPECT_NE(pieces.data.find("BrType 3:rel\nBRTYPE_END\nBRTYPE_BEGIN\nBrType 3:dev\n"), std::string::npos)
        << pieces.data;
}

TEST(ExportCommandLine, TemporaryFilesGoToTheTempDirAndAreRemoved) {
    Scripted s;
    testutil::make_dirs(s.at("tmp"));
    s.element("f", {{"versions", json::array({version("1", 10)})}});
    ExportRun r = s.run({"-t", "tmp"});
    EXPECT_EQ(r.proc.status, 0) << r.proc.err;
    EXPECT_NE(r.data.find("Name 1:f"), std::string::npos);
    testutil::ProcResult ls = testutil::run({"ls", "-A", s.at("tmp")});
    EXPECT_EQ(ls.out, "");
    Scripted s2;
    ExportRun nodir = s2.run({"-t", "no/such/dir"});
    EXPECT_EQ(nodir.proc.status, 1);
    EXPECT_NE(nodir.proc.err.find("export/export_main: "), std::string::npos) << nodir.proc.err;
}

}   // namespace

namespace {

TEST(ExportTranslationFile, CreatedReadBackAndFormatErrorsStopTheRun) {
    Scripted s;
    s.element("f", {{"versions", json::array({version("1", 10, {{"labels", {"REL 1"}}})})}});
    ExportRun first = s.run({"-T", "../names.tr"});
    ASSERT_EQ(first.proc.status, 0) << first.proc.err;
    EXPECT_NE(first.proc.out.find("Creating translation file."), std::string::npos);
    std::string table = testutil::read_file(s.root / "names.tr");
    EXPECT_NE(table.find("label REL 1 REL.1\n"), std::string::npos) << table;
    EXPECT_NE(first.data.find("Label 5:REL.1\n"), std::string::npos);

    std::remove(s.at("cvt_data").c_str());
    ExportRun second = s.run({"-T", "../names.tr"});
    ASSERT_EQ(second.proc.status, 0) << second.proc.err;
    EXPECT_NE(second.proc.out.find("Reading Translation table."), std::string::npos);
    EXPECT_NE(second.data.find("Label 5:REL.1\n"), std::string::npos);

    testutil::write_file(s.root / "names.tr", "label only_two_fields\n");
    std::remove(s.at("cvt_data").c_str());
    ExportRun broken = s.run({"-T", "../names.tr"});
    EXPECT_EQ(broken.proc.status, 1);
    EXPECT_NE(broken.proc.err.find("Missing field in translation file.  (line 1)"), std::string::npos);
    EXPECT_NE(broken.proc.err.find("Cannot open output file \"../names.tr\"."), std::string::npos);
    EXPECT_EQ(broken.data, "");   // reserved, then left empty
}

// The table is replaced whole: a run that cannot write the new one keeps the
// decisions of the earlier runs as they were.
TEST(ExportTranslationFile, FailedWriteKeepsThePreviousTable) {
    Scripted s;
    std::string old_table;
    for (int i = 0; i < 60; ++i)
        old_table += "label OLD " + std::to_string(i) + " OLD." + std::to_string(i) + "\n";
    testutil::write_file(s.root / "names.tr", old_table);
    chmod((s.root / "names.tr").c_str(), 0640);
    s.element("f", {{"versions", json::array({version("1", 10, {{"labels", {"NEW 1"}}})})}});
    // Larger than the data file and the old table, smaller than the new table.
    std::string limit = "--fsize=" + std::to_string(old_table.size() + 1);
    testutil::EnvList env = {{"SCRIPTED_DRIVER", scripted_env_file(s.root.path(), s.script)}};
    ExportRun r = run_exporter("prlimit", s.dir, {limit, SCRIPTED, "-T", "../names.tr"}, env);
    EXPECT_EQ(r.proc.status, 1) << r.proc.err;
    EXPECT_NE(r.proc.err.find("File too large"), std::string::npos) << r.proc.err;
    EXPECT_NE(r.proc.err.find("Cannot open output file \"../names.tr\"."), std::string::npos);
    EXPECT_EQ(testutil::read_file(s.root / "names.tr"), old_table);
    for (const auto &e : std::filesystem::directory_iterator(s.root.path()))
        EXPECT_EQ(e.path().filename().string().find("names.tr."), std::string::npos) << e.path();
    // The data file is renamed into place last: the failed run leaves it empty.
    EXPECT_EQ(r.data, "");
    for (const auto &e : std::filesystem::directory_iterator(s.dir))
        EXPECT_EQ(e.path().filename().string().find("cvt_data."), std::string::npos) << e.path();

    std::remove(s.at("cvt_data").c_str());
    ExportRun ok = s.run({"-T", "../names.tr"});
    ASSERT_EQ(ok.proc.status, 0) << ok.proc.err;
    std::string table = testutil::read_file(s.root / "names.tr");
    EXPECT_NE(table.find("label OLD 59 OLD.59\n"), std::string::npos);
    EXPECT_NE(table.find("label NEW 1 NEW.1\n"), std::string::npos) << table;
    struct stat st;
    ASSERT_EQ(stat((s.root / "names.tr").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);   // the replacement keeps the permissions
}

}   // namespace

// A string value as the data file writes it.
std::string field(const std::string &key, const std::string &value) {
    return key + " " + std::to_string(value.size()) + ":" + value + "\n";
}

TEST(ExportTexts, AuthorMapAndEncodingInEveryKind) {
    // cp1252: 0x93 and 0x94 are quotes; 0x81 stands for nothing and stays.
    const std::string raw = "\x93hi\x94 \x81", converted = "\xe2\x80\x9chi\xe2\x80\x9d \x81";
    for (int kind : {2, 3, 5, 7, 8, 10, 11}) {
        Scripted s;
        s.script["kind"] = kind;
        s.element("f", {{"element", {{"user", "jose"}}},
                        {"versions", json::array({version("1", 100, {{"user", "jose"}, {"comment_hex", "93686994" "2081"}}),
                                                  version("2", 200, {{"user", "bob"}, {"event_name", "B"}})})}});
        testutil::write_file(s.root / "map", "jose = Jos\xc3\xa9 <j@x>   # the only one\n");
        ExportRun r = s.run({"-q", "--authors=" + (s.root / "map"), "--encoding", "cp-1252"});
        ASSERT_EQ(r.proc.status, 0) << kind << r.proc.err;
        for (const std::string &want :
             {field("AttrType", "ORIGINAL_COMMENT"), field("EventName", "Jos\xc3\xa9 <j@x>"),
              field("Comment", converted), field("Attrib", "ORIGINAL_COMMENT=" + raw),
              field("Attrib", "ORIGINAL_ENCODING=cp-1252"), field("EventName", "B")})
            EXPECT_NE(r.data.find(want), std::string::npos) << kind << " " << want;
        EXPECT_EQ(r.data.find("ORIGINAL_USER"), std::string::npos);
        for (const char *want : {"1 text converted from cp-1252", "1 text kept bytes", "f 1, comment: \\x81 at byte 5",
                                 "1 login is not in the author map", "bob (1 event)"})
            EXPECT_NE(r.proc.err.find(want), std::string::npos) << kind << " " << want << "\n" << r.proc.err;
    }
    // From the environment; the options' values in either form; none missing.
    Scripted s;
    s.element("f", {{"versions", json::array({version("1", 100, {{"user", "jose"}})})}});
    testutil::write_file(s.root / "map", "jose = J\n");
    ExportRun env = s.run({}, {{"VANTOR_AUTHORS", s.root / "map"}});
    EXPECT_NE(env.data.find(field("EventName", "J")), std::string::npos) << env.proc.err;
    ExportRun missing = s.run({"--encoding"});
    EXPECT_EQ(missing.proc.status, 1);
    EXPECT_NE(missing.proc.err.find("Option \"--encoding\" needs a value."), std::string::npos);
    EXPECT_NE(missing.proc.out.find("usage:"), std::string::npos);
    ExportRun list = s.run({"--list-authors", "--authors", s.root / "map", "-o", "listed"});
    EXPECT_EQ(list.proc.status, 0);
    EXPECT_FALSE(testutil::exists(s.at("listed")));
    EXPECT_EQ(list.proc.out.substr(0, 9), "jose = J ") << list.proc.out;   // the list alone
}
