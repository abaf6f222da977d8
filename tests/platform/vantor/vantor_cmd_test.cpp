// The vantor command: output formats, the JSON dump, and bad input to every
// command (a clear message, status 1, nothing changed).
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include <algorithm>
#include <filesystem>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <nlohmann/json.hpp>

using json = nlohmann::json;

namespace {

struct Cmd : testvob::VobTest {
    std::string view, vobdir;
    void SetUp() override {
        testvob::VobTest::SetUp();
        view = home + "/view";
        ASSERT_EQ(testvob::run_vantor("mkvob -tag /proj"), 0);
        ASSERT_EQ(testvob::run_vantor("mkview -tag me -vob /proj '" + view + "'"), 0);
        vobdir = view + "/proj";
        std::filesystem::create_directories(vobdir);
        testutil::write_file(vobdir + "/a.c", "one\n");
        sh("mkelem -ci -c 'first version' a.c");
        sh("checkout -c co a.c");
        testutil::write_file(vobdir + "/a.c", std::string("two\0bin\n", 8));
        sh("checkin -c 'second' a.c");
        sh("mkbrtype rel_1");
        sh("mkbranch rel_1 a.c@@/main/1");
        testutil::write_file(tmp + "/r1", "rel\n");
        sh("mklbtype REL1 REL2");
        sh("mklabel REL1 a.c@@/main/1");
        sh("mklabel REL2 a.c@@/main/1");
        sh("mkattype Status");
        sh("mkattr Status '\"good\"' a.c@@/main/2");
        sh("merge -to a.c@@/main/2 /main/rel_1/0");
        sh("mkelem -dir -c 'a dir' sub");
    }
    void sh(const std::string &args) {
        std::string out, err;
        ASSERT_EQ(testvob::run_vantor(args, &out, &err, vobdir), 0) << args << "\n" << err;
    }
    std::string dump() {
        std::string out, err;
        EXPECT_EQ(testvob::run_vantor("dump --json /proj", &out, &err), 0) << err;
        return out;
    }
};

TEST_F(Cmd, LsvtreeCatDescribe) {
    std::string out, err;
    ASSERT_EQ(testvob::run_vantor("lsvtree -s a.c", &out, &err, vobdir), 0) << err;
    EXPECT_EQ(out, "/main/0\n/main/1 (REL1, REL2)\n/main/rel_1/0\n/main/2\n");
    ASSERT_EQ(testvob::run_vantor("cat a.c@@/main/2", &out, &err, vobdir), 0) << err;
    EXPECT_EQ(out, std::string("two\0bin\n", 8));
    ASSERT_EQ(testvob::run_vantor("cat /proj/a.c@@/main/rel_1/LATEST", &out, &err, tmp), 0) << err;
    EXPECT_EQ(out, "one\n");
    ASSERT_EQ(testvob::run_vantor("describe a.c@@/main/2", &out, &err, vobdir), 0) << err;
    for (const char *want :
         {"version \"/proj/a.c@@/main/2\"", "comment: second", "Status = \"good\"", "Merge <- /main/rel_1/0",
          "element type: file", "comment: first version", "checkouts: (none)"})
        EXPECT_NE(out.find(want), std::string::npos) << want << "\n" << out;
    sh("checkout -unreserved a.c");
    ASSERT_EQ(testvob::run_vantor("describe a.c", &out, &err, vobdir), 0);
    EXPECT_NE(out.find(":/main/2 (unreserved) in view \"me\""), std::string::npos) << out;
    ASSERT_EQ(testvob::run_vantor("lsvob", &out, &err), 0);
    EXPECT_NE(out.find("/proj"), std::string::npos);
    ASSERT_EQ(testvob::run_vantor("mkvob -tag /pvob -project", &out, &err), 0) << err;
    ASSERT_EQ(testvob::run_vantor("lsvob", &out, &err), 0);
    EXPECT_NE(out.find("pvob.vbs (project VOB)"), std::string::npos) << out;
    ASSERT_EQ(testvob::run_vantor("rmvob /pvob", &out, &err), 0) << err;
    EXPECT_FALSE(std::filesystem::exists(home + "/vobs/pvob.vbs"));
}

TEST_F(Cmd, DumpFollowsTheSchema) {
    sh("rmver -data a.c@@/main/1");
    sh("lock -obsolete a.c");
    json j = json::parse(dump());
    EXPECT_EQ(j["tag"], "/proj");
    auto &els = j["elements"];
    ASSERT_EQ(els.size(), 4u);
    std::vector<std::string> paths;
    for (auto &e : els) {
        paths.push_back(e["path"]);
        ASSERT_TRUE(e["kind"] == "file" || e["kind"] == "directory");
        ASSERT_TRUE(e["type"].is_string());
        ASSERT_TRUE(e["comment"].is_null() || e["comment"].is_string());
        ASSERT_TRUE(e["attributes"].is_object());
        ASSERT_TRUE(e["obsolete"].is_boolean());
        for (const char *k : {"user", "group", "name", "host"})
            ASSERT_TRUE(e["event"][k].is_string()) << k;
        ASSERT_TRUE(e["event"]["time"].is_number_integer());
        ASSERT_TRUE(e["branches"].is_array());
        EXPECT_EQ(e["branches"][0], json({{"path", "/main"}, {"obsolete", false}}));
        EXPECT_EQ(e.size(), 9u);
        for (auto &x : e["versions"]) {
            EXPECT_EQ(x.size(), 7u);
            ASSERT_TRUE(x["id"].is_string());
            ASSERT_TRUE(x["labels"].is_array());
            ASSERT_TRUE(x["merges_from"].is_array());
            ASSERT_TRUE(x["attributes"].is_object());
            ASSERT_TRUE(x["sha256"].is_null() || x["sha256"].get<std::string>().size() == 64);
            ASSERT_TRUE(x["event"]["time"].is_number_integer());
        }
    }
    EXPECT_EQ(paths, (std::vector<std::string>{".", "a.c", "lost+found", "sub"}));
    json &a = els[1];
    EXPECT_EQ(a["comment"], "first version");
    EXPECT_EQ(a["obsolete"], true);
    std::vector<std::string> ids;
    for (auto &x : a["versions"])
        ids.push_back(x["id"]);
    EXPECT_EQ(ids, (std::vector<std::string>{"/main/0", "/main/1", "/main/rel_1/0", "/main/2"}));
    EXPECT_EQ(a["versions"][0]["sha256"], "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_TRUE(a["versions"][1]["sha256"].is_null());   // data removed
    EXPECT_EQ(a["versions"][1]["labels"], json({"REL1", "REL2"}));
    EXPECT_EQ(a["versions"][3]["merges_from"], json({"/main/rel_1/0"}));
    EXPECT_EQ(a["versions"][3]["attributes"]["Status"], "\"good\"");
    EXPECT_EQ(a["versions"][3]["comment"], "second");
    EXPECT_EQ(els[3]["kind"], "directory");
    EXPECT_EQ(els[0]["versions"].size(), 4u);   // root: empty, lost+found, a.c, sub
}

static std::string unbase64(const json &j) {
    std::string b64 = j.at("base64");
    std::string out(b64.size(), '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char *>(out.data()),
                            reinterpret_cast<const unsigned char *>(b64.data()), int(b64.size()));
    EXPECT_GE(n, 0);
    out.resize(size_t(std::max(n, 0)));
    // EVP_DecodeBlock keeps the zero bytes that padding stands for.
    size_t pad = b64.size() - b64.find_last_not_of('=') - 1;
    out.resize(out.size() - std::min(pad, out.size()));
    return out;
}

// Bytes that are not UTF-8 (Latin-1 from old stores) reach the dump unchanged,
// and every branch is listed with its obsolete flag in version-tree order.
TEST_F(Cmd, DumpKeepsLatin1BytesAndListsBranches) {
    const std::string name = "f\xfcr.c", comment = "f\xfcr alle \xe9t\xe9s";
    testutil::write_file(vobdir + "/" + name, "x\n");
    sh("mkelem -ci -c '" + comment + "' '" + name + "'");
    sh("mkattr Status '\"gr\xfcn\"' a.c@@/main/1");
    sh("mkbrtype fix dev");
    sh("mkbranch fix a.c@@/main/rel_1/0");
    sh("mkbranch dev a.c@@/main/2");
    sh("lock -obsolete a.c@@/main/rel_1");
    json j = json::parse(dump());
    auto &els = j["elements"];
    ASSERT_EQ(els.size(), 5u);
    json &a = els[1], &f = els[2];
    EXPECT_EQ(a["path"], "a.c");
    EXPECT_EQ(unbase64(f["path"]), name);
    EXPECT_EQ(unbase64(f["comment"]), comment);
    EXPECT_EQ(unbase64(f["versions"][1]["comment"]), comment);
    EXPECT_EQ(unbase64(a["versions"][1]["attributes"]["Status"]), "\"gr\xfcn\"");
    std::vector<std::string> ids;
    for (auto &x : a["versions"])
        ids.push_back(x["id"]);
    EXPECT_EQ(ids, (std::vector<std::string>{"/main/0", "/main/1", "/main/rel_1/0", "/main/rel_1/fix/0",
                                             "/main/2", "/main/dev/0"}));
    EXPECT_EQ(a["versions"][4]["attributes"]["Status"], "\"good\"");
    EXPECT_EQ(a["branches"], json::parse(R"([{"path": "/main", "obsolete": false},
        {"path": "/main/rel_1", "obsolete": true}, {"path": "/main/rel_1/fix", "obsolete": false},
        {"path": "/main/dev", "obsolete": false}])"));
    // A string of 1 and of 2 bytes: the padding is dropped again.
    testutil::write_file(vobdir + "/\xe9", "");
    sh("mkelem -c '\xe9\xe9' '\xe9'");
    j = json::parse(dump());
    json &e = j["elements"].back();
    EXPECT_EQ(unbase64(e["path"]), "\xe9");
    EXPECT_EQ(unbase64(e["comment"]), "\xe9\xe9");
}

TEST_F(Cmd, BadInputChangesNothing) {
    struct bad_case {
        std::string args, cwd, message;
    };
    std::string outside = tmp;
    const bad_case cases[] = {
        {"frobnicate", "", "Unknown command \"frobnicate\""},
        {"mkvob", "", "missing argument: -tag TAG"},
        {"mkvob -tag proj", "", "Bad VOB tag \"proj\""},
        {"mkvob -tag /proj", "", "VOB tag \"/proj\" is already registered"},
        {"mkvob -tag /x -bogus", "", "unknown option \"-bogus\""},
        {"mkvob -tag /x '" + view + "'", "", "it exists and is not an empty directory"},
        {"rmvob /none", "", "No VOB has tag \"/none\""},
        {"lsvob extra", "", "unexpected argument \"extra\""},
        {"mkview -tag me '" + home + "/v2'", "", "View tag \"me\" is already registered"},
        {"mkview -tag other -vob /none '" + home + "/v3'", "", "No VOB has tag \"/none\""},
        {"mkview -tag bad/tag '" + home + "/v4'", "", "bad view tag name"},
        {"rmview '" + outside + "'", "", "is not inside a snapshot view"},
        {"update '" + outside + "'", "", "is not inside a snapshot view"},
        {"lsvtree nope.c", "V", "no name \"nope.c\""},
        {"lsvtree /none/a.c", "T", "does not begin with a VOB tag"},
        {"cat a.c@@/main/9", "V", "has no version \"/main/9\""},
        {"cat a.c@@/main/nobranch/1", "V", "has no version \"/main/nobranch/1\""},
        {"cat a.c@@main", "V", "no label type named \"main\""},
        {"cat a.c@@x/1", "V", "bad version id \"x/1\""},
        {"cat a.c@@/main", "V", "bad version id \"/main\""},
        {"describe a.c@@/main/7", "V", "has no version \"/main/7\""},
        {"mklabel REL1 a.c@@/main/2", "V", "label \"REL1\" is already on version \"/main/1\""},
        {"mklabel NOLABEL a.c", "V", "no label type named \"NOLABEL\""},
        {"mklbtype REL1", "V", "label type \"REL1\" already exists"},
        {"mklbtype -vob /none X", "", "No VOB has tag \"/none\""},
        {"mklbtype X", "T", "no VOB given"},
        {"mklbtype 'bad name'", "V", "bad label type name \"bad name\""},
        {"mkbranch nobr a.c", "V", "no branch type named \"nobr\""},
        {"mkbranch rel_1 a.c", "V", "already has branch \"rel_1\""},
        {"mkattr Nope 1 a.c", "V", "no attribute type named \"Nope\""},
        {"mkattr Status 1", "V", "missing argument"},
        {"mkelem a.c", "V", "\"a.c\" already exists in directory"},
        {"mkelem '" + outside + "/x.c'", "", "is not inside a snapshot view"},
        {"mkelem missing/x.c", "V", "no name \"missing\""},
        {"checkout nope.c", "V", "no name \"nope.c\""},
        {"checkin a.c", "V", "is not checked out to view \"me\""},
        {"checkout a.c@@/main/1", "V", "not the latest of its branch"},
        {"uncheckout a.c", "V", "is not checked out"},
        {"merge -to a.c /main/5", "V", "has no version \"/main/5\""},
        {"merge /main/1", "V", "missing argument: -to PATH"},
        {"lock a.c@@/main/nobranch", "V", "names no branch"},
        {"unlock a.c", "V", "is not locked"},
        {"rmver a.c@@/main/1", "V", "only \"-data\" is supported"},
        {"rmver -data a.c", "V", "names no version"},
        {"rmver -data a.c@@/main/8", "V", "has no version \"/main/8\""},
        {"dump /proj", "", "missing argument: --json"},
        {"dump --json /none", "", "No VOB has tag \"/none\""},
        {"setcs '" + outside + "/nofile'", "V", "cannot read"},
    };
    testutil::write_file(tmp + "/badcs", "element * /main/LATEST\nbogus rule\n");
    std::string before = dump(), rgy = testutil::read_file(home + "/registry/rgy.json");
    std::string loaded = testutil::read_file(view + "/.vantor_view/loaded.txt");
    for (const bad_case &c : cases) {
        std::string cwd = c.cwd == "V" ? vobdir : c.cwd == "T" ? tmp : home;
        std::string out, err;
        EXPECT_EQ(testvob::run_vantor(c.args, &out, &err, cwd), 1) << c.args;
        EXPECT_NE(err.find("vantor: Error: "), std::string::npos) << c.args << ": " << err;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.args << ": " << err;
        EXPECT_EQ(dump(), before) << c.args;
        EXPECT_EQ(testutil::read_file(home + "/registry/rgy.json"), rgy) << c.args;
    }
    std::string out, err;
    EXPECT_EQ(testvob::run_vantor("setcs '" + tmp + "/badcs'", &out, &err, vobdir), 1);
    EXPECT_NE(err.find("badcs, line 2"), std::string::npos) << err;
    testutil::write_file(tmp + "/badq", "element -directory * /main/LATEST\nelement -files * REL1\n");
    EXPECT_EQ(testvob::run_vantor("setcs '" + tmp + "/badq'", &out, &err, vobdir), 1);
    EXPECT_NE(err.find("badq, line 2: unknown qualifier \"-files\""), std::string::npos) << err;
    EXPECT_EQ(testutil::read_file(view + "/.vantor_view/loaded.txt"), loaded);
    EXPECT_FALSE(std::filesystem::exists(home + "/v2"));
    EXPECT_FALSE(std::filesystem::exists(home + "/v3"));
}

// mklabel resolves every operand before it labels, and labels each VOB's
// operands in one transaction: a failing operand leaves no label behind.
TEST_F(Cmd, MklabelIsAllOrNothingPerVob) {
    sh("mklbtype NEW");
    std::string before = dump(), out, err;
    EXPECT_EQ(testvob::run_vantor("mklabel NEW sub a.c nope.c", &out, &err, vobdir), 1);
    EXPECT_NE(err.find("no name \"nope.c\""), std::string::npos) << err;
    EXPECT_EQ(dump(), before);
    EXPECT_EQ(testvob::run_vantor("mklabel NEW sub a.c@@/main/1 a.c@@/main/2", &out, &err, vobdir), 1);
    EXPECT_NE(err.find("label \"NEW\" is already on version \"/main/1\""), std::string::npos) << err;
    EXPECT_EQ(dump(), before);

    // A path in the view and one by VOB tag: the same VOB, one transaction.
    sh("mklabel NEW sub /proj/a.c@@/main/2");
    ASSERT_EQ(testvob::run_vantor("lsvtree -s a.c", &out, &err, vobdir), 0) << err;
    EXPECT_NE(out.find("/main/2 (NEW)\n"), std::string::npos) << out;
    ASSERT_EQ(testvob::run_vantor("describe sub", &out, &err, vobdir), 0) << err;
    EXPECT_NE(out.find("labels: NEW\n"), std::string::npos) << out;

    // Another VOB that refuses keeps its labels; the VOB done before it keeps its own.
    ASSERT_EQ(testvob::run_vantor("mkvob -tag /q", &out, &err), 0) << err;
    sh("mklbtype REL3");
    EXPECT_EQ(testvob::run_vantor("mklabel REL3 a.c /q", &out, &err, vobdir), 1);
    EXPECT_NE(err.find("no label type named \"REL3\""), std::string::npos) << err;
    ASSERT_EQ(testvob::run_vantor("lsvtree -s a.c", &out, &err, vobdir), 0) << err;
    EXPECT_NE(out.find("/main/2 (NEW, REL3)\n"), std::string::npos) << out;
}

// A command whose output cannot be written fails and says so.
TEST_F(Cmd, OutputThatCannotBeWrittenIsAFailure) {
    for (const char *args :
         {"lsvtree a.c", "cat a.c", "describe a.c", "catcs", "lsvob", "dump --json /proj"}) {
        std::string out, err;
        EXPECT_EQ(testvob::run_vantor(std::string(args) + " > /dev/full", &out, &err, vobdir), 1) << args;
        EXPECT_NE(err.find("cannot write"), std::string::npos) << args << ": " << err;
    }
    std::string out, err;
    EXPECT_EQ(testvob::run_vantor("diff . '" + tmp + "' > /dev/full", &out, &err, vobdir), 2);
    EXPECT_NE(err.find("diff: cannot write the standard output"), std::string::npos) << err;
}

TEST_F(Cmd, ViewCommandsUpdateAndRemove) {
    std::string out, err;
    testutil::write_file(tmp + "/cs",
                         "element * CHECKEDOUT\nelement * /main/rel_1/LATEST\nelement * /main/LATEST\n");
    ASSERT_EQ(testvob::run_vantor("setcs '" + tmp + "/cs'", &out, &err, vobdir), 0) << err;
    EXPECT_EQ(testutil::read_file(vobdir + "/a.c"), "one\n");
    ASSERT_EQ(testvob::run_vantor("catcs", &out, &err, vobdir), 0);
    EXPECT_EQ(out, testutil::read_file(tmp + "/cs"));
    std::string v2 = home + "/second";
    ASSERT_EQ(testvob::run_vantor("mkview -tag two -vob /proj '" + v2 + "'", &out, &err), 0) << err;
    EXPECT_EQ(testutil::read_file(v2 + "/proj/a.c"), std::string("two\0bin\n", 8));
    EXPECT_TRUE(std::filesystem::is_directory(v2 + "/proj/sub"));
    ASSERT_EQ(testvob::run_vantor("update", &out, &err, v2 + "/proj"), 0) << err;
    EXPECT_NE(out.find("Updated view \"two\""), std::string::npos) << out;
    ASSERT_EQ(testvob::run_vantor("rmview '" + v2 + "'", &out, &err), 0) << err;
    EXPECT_FALSE(std::filesystem::exists(v2));
}

// rmvob refuses a VOB that views load, naming them, unless -force; a VOB no
// view loads goes as before. uncheckout says where it kept the edits.
TEST_F(Cmd, RmvobOfALoadedVobAndUncheckoutKeeps) {
    std::string out, err;
    for (const char *keep : {"a.c.keep", "a.c.keep.1"}) {
        sh("checkout a.c");
        testutil::write_file(vobdir + "/a.c", std::string("edit of ") + keep + "\n");
        ASSERT_EQ(testvob::run_vantor("uncheckout a.c", &out, &err, vobdir), 0) << err;
        EXPECT_EQ(out, "Kept the view's copy of \"a.c\" as \"" + vobdir + "/" + keep + "\"\n");
        EXPECT_EQ(testutil::read_file(vobdir + "/" + keep), std::string("edit of ") + keep + "\n");
    }

    ASSERT_EQ(testvob::run_vantor("mkvob -tag /other"), 0);
    ASSERT_EQ(testvob::run_vantor("rmvob /other", &out, &err), 0) << err;
    EXPECT_EQ(out + err, "");
    EXPECT_FALSE(std::filesystem::exists(home + "/vobs/other.vbs"));

    std::string v2 = home + "/second", v3 = home + "/third";
    ASSERT_EQ(testvob::run_vantor("mkview -tag two -vob /proj '" + v2 + "'"), 0);
    ASSERT_EQ(testvob::run_vantor("mkview -tag three '" + v3 + "'"), 0);   // loads no VOB
    const struct {
        const char *before;   // a command run first
        std::string named;    // the views the refusal names
    } refusals[] = {
        {"", "view \"me\" at \"" + view + "\", view \"two\" at \"" + v2 + "\""},
        {"rmview", "view \"me\" at \"" + view + "\""},
    };
    for (auto &r : refusals) {
        SCOPED_TRACE(r.named);
        if (*r.before) {
            ASSERT_EQ(testvob::run_vantor(std::string(r.before) + " '" + v2 + "'"), 0);
        }
        EXPECT_EQ(testvob::run_vantor("rmvob /proj", &out, &err), 1);
        EXPECT_EQ(err,
                  "vantor: Error: VOB \"/proj\" is in the load scope of " + r.named +
                      ": remove those views first (rmview), or give -force to remove the VOB all the same\n");
        EXPECT_TRUE(std::filesystem::exists(home + "/vobs/proj.vbs/vob.db"));
        EXPECT_EQ(testvob::run_vantor("lsvtree a.c", &out, &err, vobdir), 0) << err;
    }
    ASSERT_EQ(testvob::run_vantor("rmvob -force /proj", &out, &err), 0) << err;
    EXPECT_EQ(err,
              "vantor: Warning: Removed VOB \"/proj\", which stays in the load scope of view \"me\" at \"" +
                  view + "\": their update fails until a VOB with that tag is made again\n");
    EXPECT_FALSE(std::filesystem::exists(home + "/vobs/proj.vbs"));
    ASSERT_EQ(testvob::run_vantor("lsvob", &out, &err), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(testvob::run_vantor("update", &out, &err, view), 1);
    EXPECT_NE(err.find("No VOB has tag \"/proj\""), std::string::npos) << err;
}

// A version id that does not begin with "/" names a label; branches by
// LATEST. Both wherever a command takes PATH@@VERSION.
TEST_F(Cmd, LabelsAndBranchesInVersionNames) {
    std::string out, err;
    ASSERT_EQ(testvob::run_vantor("cat a.c@@REL1", &out, &err, vobdir), 0) << err;
    EXPECT_EQ(out, "one\n");
    ASSERT_EQ(testvob::run_vantor("cat /proj/a.c@@REL2", &out, &err, tmp), 0) << err;
    EXPECT_EQ(out, "one\n");
    ASSERT_EQ(testvob::run_vantor("cat a.c@@/main/rel_1/LATEST", &out, &err, vobdir), 0) << err;
    EXPECT_EQ(out, "one\n");   // version 0 of a new branch: its branch point
    ASSERT_EQ(testvob::run_vantor("describe a.c@@REL1", &out, &err, vobdir), 0) << err;
    EXPECT_NE(out.find("version \"/proj/a.c@@/main/1\""), std::string::npos) << out;
    EXPECT_NE(out.find("labels: REL1 REL2"), std::string::npos) << out;
    ASSERT_EQ(testvob::run_vantor("lsvtree -s a.c@@REL2", &out, &err, vobdir), 0) << err;
    EXPECT_EQ(out, "/main/0\n/main/1 (REL1, REL2)\n/main/rel_1/0\n/main/2\n");
    sh("mklabel REL1 sub");
    ASSERT_EQ(testvob::run_vantor("describe sub@@REL1", &out, &err, vobdir), 0) << err;
    EXPECT_EQ(out.rfind("directory version \"/proj/sub@@/main/0\"", 0), 0u) << out;
    sh("merge -to a.c@@/main/2 REL1");
    ASSERT_EQ(testvob::run_vantor("describe a.c@@/main/2", &out, &err, vobdir), 0) << err;
    EXPECT_NE(out.find("Merge <- /main/1\n"), std::string::npos) << out;
    sh("mkbrtype rel_2");
    sh("mkbranch rel_2 a.c@@REL2");
    ASSERT_EQ(testvob::run_vantor("lsvtree -s a.c", &out, &err, vobdir), 0) << err;
    EXPECT_NE(out.find("/main/1 (REL1, REL2)\n/main/rel_1/0\n/main/rel_2/0\n"), std::string::npos) << out;

    // A label type the element does not carry, and one that does not exist.
    sh("mklbtype UNUSED");
    EXPECT_EQ(testvob::run_vantor("cat a.c@@UNUSED", &out, &err, vobdir), 1);
    EXPECT_NE(err.find("element \"a.c\" has no version labelled \"UNUSED\""), std::string::npos) << err;
    EXPECT_EQ(testvob::run_vantor("describe /proj/a.c@@NOSUCH", &out, &err, tmp), 1);
    EXPECT_NE(err.find("no label type named \"NOSUCH\""), std::string::npos) << err;
    EXPECT_EQ(out, "");
}

// Versions without contents: no file in views, one count per update, and
// cat refuses them.
TEST_F(Cmd, VersionsWithoutContents) {
    std::string out, err;
    ASSERT_EQ(testvob::run_vantor("update", &out, &err, vobdir), 0) << err;
    EXPECT_EQ(out.find("Left out"), std::string::npos) << out;
    sh("rmver -data a.c@@/main/2");
    EXPECT_EQ(testvob::run_vantor("cat a.c@@/main/2", &out, &err, vobdir), 1);
    EXPECT_NE(err.find("version \"/main/2\" of \"a.c\" has no contents"), std::string::npos) << err;
    EXPECT_EQ(out, "");
    ASSERT_EQ(testvob::run_vantor("describe a.c", &out, &err, vobdir), 0) << err;
    EXPECT_NE(out.find("contents: (none)"), std::string::npos) << out;

    std::string v2 = home + "/second";
    ASSERT_EQ(testvob::run_vantor("mkview -tag two -vob /proj '" + v2 + "'", &out, &err), 0) << err;
    EXPECT_NE(out.find("Left out 1 name: the version selected for it has no contents"), std::string::npos)
        << out;
    EXPECT_EQ(err, "");   // no warning per file
    EXPECT_FALSE(std::filesystem::exists(v2 + "/proj/a.c"));
    testutil::write_file(tmp + "/one", "element -file * /main/1\nelement * /main/LATEST\n");
    testutil::write_file(tmp + "/latest", "element * /main/LATEST\n");
    ASSERT_EQ(testvob::run_vantor("setcs '" + tmp + "/one'", &out, &err, v2), 0) << err;
    EXPECT_EQ(testutil::read_file(v2 + "/proj/a.c"), "one\n");
    EXPECT_EQ(out.find("Left out"), std::string::npos) << out;
    ASSERT_EQ(testvob::run_vantor("setcs '" + tmp + "/latest'", &out, &err, v2), 0) << err;
    EXPECT_NE(out.find("Left out 1 name:"), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(v2 + "/proj/a.c"));   // the earlier copy went
}

// vantor diff: names by kind and contents by hash, from the store; the
// administrative directories of other systems left out; status 0, 1 or 2.
TEST_F(Cmd, DiffComparesTheViewWithATree) {
    std::string tree = tmp + "/tree", out, err;
    auto diff = [&](const std::string &args, const std::string &cwd = "") {
        return testvob::run_vantor("diff " + args, &out, &err, cwd.empty() ? vobdir : cwd);
    };
    std::filesystem::create_directories(tree + "/sub");
    testutil::write_file(tree + "/a.c", std::string("two\0bin\n", 8));
    ASSERT_EQ(diff("-r . '" + tree + "'"), 0) << out << err;
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("0 differences"), std::string::npos) << err;
    EXPECT_NE(err.find("1 file and 1 directory"), std::string::npos) << err;
    // Left out on both sides; lost+found only at the VOB root.
    for (const char *d : {"/CVS", "/sub/CVS", "/RCS", "/sub/.svn", "/lost+found"})
        std::filesystem::create_directories(tree + d);
    testutil::write_file(tree + "/CVS/Entries", "x\n");
    testutil::write_file(tree + "/.git", "gitdir: elsewhere\n");
    ASSERT_EQ(diff("-r '" + vobdir + "' '" + tree + "'", tmp), 0) << out << err;
    std::filesystem::create_directories(tree + "/sub/lost+found");
    testutil::write_file(tree + "/sub/CVS.txt", "");
    ASSERT_EQ(diff("-r . '" + tree + "'"), 1);
    EXPECT_EQ(out, "only in DIR: sub/CVS.txt\nonly in DIR: sub/lost+found\n");
    std::filesystem::remove_all(tree + "/sub");
    std::filesystem::create_directories(tree + "/sub");

    // Each kind of difference, sorted by path ("sub.c" before "sub/...").
    sh("mkelem -dir sub/deep");
    testutil::write_file(vobdir + "/sub/deep/v.c", "in view\n");
    sh("mkelem -ci sub/deep/v.c");
    sh("mkelem -dir d2");
    std::filesystem::create_directories(tree + "/sub/deep");
    testutil::write_file(tree + "/sub/deep/v.c", "in view!\n");
    testutil::write_file(tree + "/sub/x.c", "x\n");
    testutil::write_file(tree + "/sub.c", "");
    testutil::write_file(tree + "/d2", "a file here\n");
    ASSERT_EQ(diff("-r . '" + tree + "'"), 1) << err;
    EXPECT_EQ(out, "kind differs: d2\nonly in DIR: sub.c\ndiffers: sub/deep/v.c\nonly in DIR: sub/x.c\n");
    EXPECT_NE(err.find("4 differences (0 only in view, 2 only in DIR, 1 differ, 1 kind differs)"),
              std::string::npos)
        << err;
    // Without -r only the entries of VIEW-PATH itself; from a subdirectory,
    // paths relative to it.
    ASSERT_EQ(diff(". '" + tree + "'"), 1);
    EXPECT_EQ(out, "kind differs: d2\nonly in DIR: sub.c\n");
    ASSERT_EQ(diff("sub '" + tree + "/sub'"), 1);
    EXPECT_EQ(out, "only in DIR: x.c\n");
    ASSERT_EQ(diff("-r sub '" + tree + "/sub'"), 1);
    EXPECT_EQ(out, "differs: deep/v.c\nonly in DIR: x.c\n");
    std::filesystem::remove(tree + "/sub/x.c");
    std::filesystem::remove_all(tree + "/sub/deep");
    ASSERT_EQ(diff("-r sub '" + tree + "/sub'"), 1);
    EXPECT_EQ(out, "only in view: deep\n");

    // The store decides, not the copy on disk: a hijacked copy hides nothing;
    // a checked-out file is its copy.
    std::filesystem::create_directories(tree + "/sub/deep");
    testutil::write_file(tree + "/sub/deep/v.c", "edited\n");
    chmod((vobdir + "/sub/deep/v.c").c_str(), 0644);
    testutil::write_file(vobdir + "/sub/deep/v.c", "edited\n");
    ASSERT_EQ(diff("-r sub '" + tree + "/sub'"), 1);
    EXPECT_EQ(out, "differs: deep/v.c\n");
    std::filesystem::remove(vobdir + "/sub/deep/v.c");
    ASSERT_EQ(testvob::run_vantor("update", &out, &err, vobdir), 0) << err;
    sh("checkout sub/deep/v.c");
    testutil::write_file(vobdir + "/sub/deep/v.c", "edited\n");
    ASSERT_EQ(diff("-r sub '" + tree + "/sub'"), 0) << out;
    // A version without contents shows no file.
    sh("rmver -data a.c@@/main/2");
    ASSERT_EQ(diff(". '" + tree + "'"), 1);
    EXPECT_EQ(out, "only in DIR: a.c\nkind differs: d2\nonly in DIR: sub.c\n");

    // Status 2 when the two cannot be compared.
    struct bad_case {
        std::string args, message;
    };
    const bad_case cases[] = {
        {". '" + tmp + "/missing'", "Cannot read \"" + tmp + "/missing\""},
        {". '" + tree + "/a.c'", "is not a directory"},
        {"a.c '" + tree + "'", "\"a.c\" is not a directory"},
        {"nope '" + tree + "'", "no name \"nope\""},
        {"'" + tmp + "' '" + tree + "'", "is not inside a snapshot view"},
        {"-x . '" + tree + "'", "unknown option \"-x\""},
        {".", "missing argument: VIEW-PATH DIR"},
    };
    for (const bad_case &c : cases) {
        EXPECT_EQ(diff(c.args), 2) << c.args;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.args << ": " << err;
        EXPECT_EQ(out, "") << c.args;
    }

    // -prune: a directory without files, at any depth, counts as absent on
    // both sides (d2 is an empty directory of the view, a file in the tree).
    std::filesystem::create_directories(tree + "/sub/empty/deeper");
    sh("mkelem -dir sub/vempty");
    sh("mkelem -dir sub/vempty/inner");
    ASSERT_EQ(diff("-r . '" + tree + "'"), 1);
    EXPECT_EQ(out,
              "only in DIR: a.c\nkind differs: d2\nonly in DIR: sub.c\nonly in DIR: sub/empty\n"
              "only in view: sub/vempty\n");
    ASSERT_EQ(diff("-r -prune . '" + tree + "'"), 1);
    EXPECT_EQ(out, "only in DIR: a.c\nonly in DIR: d2\nonly in DIR: sub.c\n");
}

}   // namespace

namespace {

using PlatformTest = testvob::VobTest;

TEST_F(PlatformTest, DamagedRegistryIsReportedNotTrusted) {
    ASSERT_EQ(testvob::run_vantor("mkvob -tag /r"), 0);
    std::string rgy = home + "/registry/rgy.json";
    for (const char *bad : {"{not json", "[]",
                            "{\"default_region\": \"default\", \"regions\": {\"default\": "
                            "{\"vobs\": [{\"tag\": 5}], \"views\": []}}}"}) {
        testutil::write_file(rgy, bad);
        std::string out, err;
        EXPECT_EQ(testvob::run_vantor("lsvob", &out, &err), 1) << bad;
        EXPECT_NE(err.find("rgy.json\" is damaged"), std::string::npos) << err;
        EXPECT_EQ(testvob::run_vantor("mkvob -tag /s", &out, &err), 1) << bad;
        EXPECT_EQ(testutil::read_file(rgy), bad);
    }
}

}   // namespace

namespace {

using HelpTest = testvob::VobTest;

// The usage, then what the options and the environment mean; status 0 and
// nothing made, wherever -h stands. Without a command only the usage, status 1.
TEST_F(HelpTest, UsageThenExplanations) {
    for (const char *args : {"-h", "--help", "help", "mkvob --help", "mkvob -tag /x -h", "lsvob -h"}) {
        SCOPED_TRACE(args);
        std::string out, err;
        EXPECT_EQ(testvob::run_vantor(args, &out, &err), 0) << err;
        EXPECT_EQ(err, "");
        EXPECT_EQ(out.rfind("Usage: vantor COMMAND [ARGUMENTS]\n", 0), 0u) << out;
        size_t at = 0;
        for (const char *part : {"  diff [-r] [-prune] VIEW-PATH DIR\n",
                                 "  dump --json TAG\n",
                                 "Options:\n",
                                 "  -tag TAG ",
                                 "  -vob TAG ",
                                 "  -force ",
                                 "  -eltype TYPE ",
                                 "  -c COMMENT ",
                                 "  -from FILE ",
                                 "  -to PATH ",
                                 "  --json ",
                                 "  -r ",
                                 "  -h, --help, help ",
                                 "Config specs: ",
                                 "diff compares ",
                                 "Environment:\n",
                                 "  VANTOR_HOME ",
                                 "  VANTOR_BUSY_TIMEOUT_MS ",
                                 "Exit status:\n",
                                 "  diff: 0 "}) {
            size_t found = out.find(part, at);
            EXPECT_NE(found, std::string::npos) << "\"" << part << "\" in order in\n" << out;
            if (found != std::string::npos)
                at = found;
        }
    }
    std::string out, err;
    EXPECT_EQ(testvob::run_vantor("lsvob", &out), 0);
    EXPECT_EQ(out, "");   // "mkvob -tag /x -h" made nothing
    EXPECT_EQ(testvob::run_vantor("", &out, &err), 1);
    EXPECT_EQ(out.rfind("Usage: vantor", 0), 0u) << out;
    EXPECT_EQ(out.find("Options:"), std::string::npos) << out;
    // -h as the value of -c is a comment, not a request for help.
    EXPECT_EQ(testvob::run_vantor("mkbrtype -c -h -vob /none b", &out, &err), 1);
    EXPECT_EQ(out.find("Options:"), std::string::npos) << out;
}

}   // namespace
