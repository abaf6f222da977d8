// The project commands of vantor through the real binary: a project over two
// VOBs from labels to a view of its stream, and every refusal (status 1, a
// message naming what failed, nothing changed).
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include <filesystem>
#include <nlohmann/json.hpp>

using json = nlohmann::json;

namespace {

// Two VOBs, /va (src/a.c, src/lib/l.c and top.txt beside the component's
// root src) and /vb (b.c, docs/d.txt), the labels REL1 (on src and below)
// and RB (on /vb and b.c), a project VOB /pvob with the components compA
// (root /va/src) and compB (root /vb) and their import baselines REL1 and
// BL_B, and the project web. After the labels a.c got a second version and
// src/new.c appeared.
struct Project : testvob::VobTest {
    std::string work, va, vb;
    void SetUp() override {
        testvob::VobTest::SetUp();
        work = home + "/work";
        for (const char *vob : {"-project -tag /pvob", "-project -tag /pvob2", "-tag /va", "-tag /vb"})
            ASSERT_EQ(testvob::run_vantor(std::string("mkvob ") + vob), 0) << vob;
        ASSERT_EQ(testvob::run_vantor("mkview -tag work -vob /va -vob /vb '" + work + "'"), 0);
        va = work + "/va";
        vb = work + "/vb";
        std::filesystem::create_directories(va + "/src/lib");
        std::filesystem::create_directories(vb + "/docs");
        testutil::write_file(va + "/src/a.c", "a1\n");
        testutil::write_file(va + "/src/lib/l.c", "lib\n");
        testutil::write_file(va + "/top.txt", "top\n");
        testutil::write_file(vb + "/b.c", "b\n");
        testutil::write_file(vb + "/docs/d.txt", "doc\n");
        sh(va, "mkelem -dir src src/lib");
        sh(va, "mkelem -ci src/a.c src/lib/l.c top.txt");
        sh(vb, "mkelem -dir docs");
        sh(vb, "mkelem -ci b.c docs/d.txt");
        sh(va, "mklbtype REL1 TOPONLY");
        sh(va, "mklabel REL1 src src/a.c src/lib src/lib/l.c");
        sh(va, "mklabel TOPONLY top.txt");
        sh(vb, "mklbtype RB");
        sh(vb, "mklabel RB . b.c");
        sh(va, "checkout src/a.c");
        testutil::write_file(va + "/src/a.c", "a2\n");
        sh(va, "checkin src/a.c");
        testutil::write_file(va + "/src/new.c", "new\n");
        sh(va, "mkelem -ci src/new.c");

        sh(va, "mkcomp -root src -c 'the sources' compA@/pvob");
        sh(home, "mkcomp -root /vb component:compB@pvob");
        sh(home, "mkbl -import -label REL1 -comp compA@/pvob");
        sh(home, "mkbl -import -label lbtype:RB@/vb -comp compB@/pvob -c 'from the import' BL_B");
        sh(home, "mkproject -title 'Web site' -modcomp compA -modcomp compB@/pvob web@/pvob");
    }
    std::string sh(const std::string &cwd, const std::string &args) {
        std::string out, err;
        EXPECT_EQ(testvob::run_vantor(args, &out, &err, cwd), 0) << args << "\n" << err;
        return out;
    }
    std::string run(const std::string &args) { return sh(home, args); }
    json dump(const std::string &tag = "/pvob") {
        std::string out, err;
        EXPECT_EQ(testvob::run_vantor("dump --json " + tag, &out, &err), 0) << err;
        return json::parse(out);
    }
    // Whether `text` holds every one of `lines` as a whole line.
    static void has_lines(const std::string &text, std::initializer_list<std::string> lines) {
        for (const std::string &l : lines)
            EXPECT_NE(("\n" + text).find("\n" + l + "\n"), std::string::npos) << l << "\nin\n" << text;
    }
    // A tree of files: path -> contents.
    void tree(const std::string &dir, std::initializer_list<std::pair<std::string, std::string>> files) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        for (auto &[path, bytes] : files) {
            std::filesystem::create_directories(std::filesystem::path(dir + "/" + path).parent_path());
            testutil::write_file(dir + "/" + path, bytes);
        }
    }
    int diff(const std::string &view_dir, const std::string &dir, std::string *out) {
        std::string err;
        return testvob::run_vantor("diff -r '" + view_dir + "' '" + dir + "'", out, &err);
    }
};

TEST_F(Project, FromLabelsToAViewOfTheStream) {
    has_lines(run("mkbl -comp compA@/pvob A_2"),
              {"Created normal baseline \"A_2@/pvob\" of component \"compA\": label \"A_2\" on the "
               "/main/LATEST versions of \"/va/src\" and all below it"});
    std::string out = run("mkstream -integration -project web@/pvob -baseline REL1,BL_B int@/pvob");
    has_lines(out, {"Created integration stream \"int@/pvob\" of project \"web\", foundation: REL1, BL_B",
                    "Stream \"int@/pvob\" is the default integration stream of project \"web\""});
    out = run("mkstream -development -project web -c 'my work' dev@/pvob");   // the initial baselines
    has_lines(out, {"Created development stream \"dev@/pvob\" of project \"web\", foundation: "
                    "compA_INITIAL, compB_INITIAL"});

    // The view holds exactly the labelled versions: below each root its
    // baseline, above it the directories only.
    std::string sv = home + "/sv", want = tmp + "/want", d;
    out = run("mkview -stream int@/pvob '" + sv + "'");
    has_lines(out,
              {"Created view \"int\" at \"" + sv + "\"", "View \"int\" follows stream \"stream:int@/pvob\""});
    EXPECT_NE(out.find("Updated view \"int\": 3 loaded"), std::string::npos) << out;
    tree(want + "/va", {{"src/a.c", "a1\n"}, {"src/lib/l.c", "lib\n"}});
    tree(want + "/vb", {{"b.c", "b\n"}});
    EXPECT_EQ(diff(sv + "/va", want + "/va", &d), 0) << d;
    EXPECT_EQ(diff(sv + "/vb", want + "/vb", &d), 0) << d;
    EXPECT_FALSE(std::filesystem::exists(sv + "/va/top.txt"));
    out = sh(sv, "catcs");
    has_lines(out, {"element * CHECKEDOUT", "element /va/src/... REL1", "element /vb/... RB",
                    "element -directory /va /main/LATEST"});
    EXPECT_EQ(out.rfind("# This view follows stream:int@/pvob; ", 0), 0u) << out;

    // A rebase shows after an update.
    has_lines(run("rebase int@/pvob A_2"),
              {"Stream \"int@/pvob\", component \"compA\": baseline \"A_2\" (was \"REL1\")"});
    EXPECT_EQ(testutil::read_file(sv + "/va/src/a.c"), "a1\n");
    out = sh(sv + "/va", "update");
    has_lines(out, {"View \"int\": config spec made again from stream \"stream:int@/pvob\""});
    tree(want + "/va", {{"src/a.c", "a2\n"}, {"src/lib/l.c", "lib\n"}, {"src/new.c", "new\n"}});
    EXPECT_EQ(diff(sv + "/va", want + "/va", &d), 0) << d;
    EXPECT_EQ(diff(sv + "/vb", want + "/vb", &d), 0) << d;
    has_lines(run("rebase int@/pvob baseline:A_2"),
              {"Stream \"int@/pvob\": its foundation holds those baselines already; nothing changed"});

    // The listings, short and long.
    has_lines(run("lsproject"),
              {"web@/pvob  \"Web site\"  modifiable: compA, compB  integration stream: int"});
    has_lines(run("lsproject -long web@/pvob"),
              {"project \"web@/pvob\"", "  title: Web site",
               "  modifiable components: compA (/va/src), compB (/vb)", "  default integration stream: int",
               "  streams: dev (development), int (integration)", "  comment: (none)"});
    has_lines(run("lscomp -pvob pvob"), {"compA@/pvob  root /va/src  initial baseline compA_INITIAL",
                                         "compB@/pvob  root /vb  initial baseline compB_INITIAL"});
    out = run("lscomp -long compA@/pvob");
    has_lines(out, {"component \"compA@/pvob\"", "  root: /va/src (VOB /va)",
                    "  baselines: compA_INITIAL, REL1, A_2", "  comment: the sources"});
    EXPECT_NE(out.find("  created "), std::string::npos) << out;
    has_lines(run("lsbl -comp compA@/pvob"),
              {"compA_INITIAL@/pvob  component compA  initial  /main/0 of /va/src (the empty tree)",
               "REL1@/pvob  component compA  import  label REL1 of /va",
               "A_2@/pvob  component compA  normal  label A_2 of /va"});
    has_lines(run("lsbl -long BL_B@/pvob"),
              {"baseline \"BL_B@/pvob\"", "  component: compB (/vb)", "  kind: import",
               "  selects: label RB of /vb", "  comment: from the import"});
    has_lines(run("lsstream -project web@/pvob"),
              {"dev@/pvob  development  project web  foundation: compA_INITIAL, compB_INITIAL",
               "int@/pvob  integration  project web (default)  foundation: A_2, BL_B"});
    has_lines(run("lsstream -long dev@/pvob"),
              {"stream \"dev@/pvob\"", "  project: web", "  kind: development", "  foundation:",
               "    compA: compA_INITIAL, /main/0 of /va/src (the empty tree)", "  comment: my work"});
    EXPECT_EQ(run("lsstream -pvob /pvob2"), "");

    // The dump holds the project layer's members.
    json j = dump();
    ASSERT_EQ(j["projects"].size(), 1u);
    EXPECT_EQ(j["projects"][0]["title"], "Web site");
    EXPECT_EQ(j["projects"][0]["modifiable"], json({"compA", "compB"}));
    EXPECT_EQ(j["projects"][0]["integration_stream"], "int");
    EXPECT_EQ(j["components"][0]["root"], "/va/src");
    EXPECT_EQ(j["components"][1]["vob"], "/vb");
    std::vector<std::string> names;
    for (auto &b : j["baselines"])
        names.push_back(b["name"].get<std::string>() + ":" + b["kind"].get<std::string>());
    EXPECT_EQ(names, (std::vector<std::string>{"A_2:normal", "BL_B:import", "REL1:import",
                                               "compA_INITIAL:initial", "compB_INITIAL:initial"}));
    EXPECT_EQ(j["streams"][1]["foundation"], json({"A_2", "BL_B"}));
    EXPECT_FALSE(dump("/va").contains("projects"));

    // The default integration stream stays; the project goes with its streams.
    std::string err;
    EXPECT_EQ(testvob::run_vantor("rmstream int@/pvob", &out, &err), 1);
    EXPECT_NE(err.find("is the default integration stream of project \"web\" and is not removed"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("\"vantor rmproject web@/pvob\""), std::string::npos) << err;
    has_lines(run("rmstream stream:dev@/pvob"), {"Removed stream \"dev@/pvob\""});
    has_lines(run("rmproject web@/pvob"), {"Removed project \"web@/pvob\" and its streams: int"});
    EXPECT_EQ(run("lsproject"), "");
    EXPECT_EQ(run("lsstream"), "");
    EXPECT_EQ(dump()["streams"].size(), 0u);

    // The view of a removed stream says so at its update; setcs detaches it.
    EXPECT_EQ(testvob::run_vantor("update", &out, &err, sv), 1);
    EXPECT_NE(
        err.find("View \"int\" follows stream \"stream:int@/pvob\", which cannot be read: VOB \"/pvob\": "
                 "no stream named \"int\". \"vantor setcs FILE\" detaches the view from the stream"),
        std::string::npos)
        << err;
    testutil::write_file(tmp + "/cs", "element * /main/LATEST\n");
    has_lines(
        sh(sv, "setcs '" + tmp + "/cs'"),
        {"View \"int\" no longer follows stream \"stream:int@/pvob\": its config spec is the one just set"});
    EXPECT_EQ(sh(sv, "catcs"), "element * /main/LATEST\n");
    EXPECT_EQ(testutil::read_file(sv + "/va/top.txt"), "top\n");
    sh(sv, "update");
}

TEST_F(Project, RefusalsChangeNothing) {
    run("mkstream -integration -project web@/pvob int@/pvob");
    std::string outside = tmp + "/plain", nv = home + "/nv";
    std::filesystem::create_directories(outside);
    struct bad_case {
        std::string args, message;
    };
    const bad_case cases[] = {
        {"mkproject bogus:p@/pvob", "Bad selector \"bogus:p@/pvob\": unknown kind \"bogus\""},
        {"mkproject stream:p@/pvob", "Selector \"stream:p@/pvob\" names a stream, not a project"},
        {"mkproject p", "Selector \"p\" names no VOB: add \"@VOB-TAG\""},
        {"mkproject @/pvob", "it names no object"},
        {"mkproject p@/va", "VOB \"/va\" is not a project VOB"},
        {"mkproject p@/none", "No VOB has tag \"/none\""},
        {"mkproject web@/pvob", "VOB \"/pvob\": project \"web\" already exists"},
        {"mkproject -modcomp compA,nope p@/pvob", "VOB \"/pvob\": no component named \"nope\""},
        {"mkproject -modcomp compA@/pvob2 p@/pvob",
         "mkproject: \"compA@/pvob2\" is in project VOB \"/pvob2\", but project \"p\" is in \"/pvob\""},
        {"mkproject 'bad name@/pvob'", "bad project name \"bad name\""},
        {"mkcomp c@/pvob", "mkcomp: missing argument: -root DIR"},
        {"mkcomp -root '" + outside + "' c@/pvob", "is in no view and does not begin with a VOB tag"},
        {"mkcomp -root /va/top.txt c@/pvob", "mkcomp: \"/va/top.txt\" is not a directory element"},
        {"mkcomp -root /va/nodir c@/pvob", "no name \"nodir\""},
        {"mkcomp -root /va c@/pvob",
         "component root \"/va\" is above the root \"/va/src\" of component \"compA\""},
        {"mkcomp -root /va/src/lib c", "names no VOB"},
        {"mkbl -import -label TOPONLY -comp compA@/pvob",
         "VOB \"/va\": label \"TOPONLY\" selects no version of component \"compA\""},
        {"mkbl -import -label RB@/vb -comp compA@/pvob",
         "Label type \"RB\" is in VOB \"/vb\", but component \"compA\" is in VOB \"/va\""},
        {"mkbl -import -label NOPE -comp compA@/pvob", "VOB \"/va\": no label type named \"NOPE\""},
        {"mkbl -import -label REL1 -comp compA", "Selector \"compA\" names no VOB"},
        {"mkbl -import -label REL1 -comp nope@/pvob", "VOB \"/pvob\": no component named \"nope\""},
        {"mkbl -import -label stream:REL1 -comp compA@/pvob", "names a stream, not a lbtype"},
        {"mkbl -import -comp compA@/pvob", "mkbl: missing argument: -label LABEL"},
        {"mkbl -label REL1 -comp compA@/pvob X", "mkbl: -label goes with -import"},
        {"mkbl -comp compA@/pvob", "mkbl: missing argument: baseline name"},
        {"mkbl -comp compA@/pvob REL1", "VOB \"/pvob\": baseline \"REL1\" already exists"},
        {"mkbl -import -label REL1 -comp compA@/pvob X@/pvob2", "\"X@/pvob2\" is in project VOB \"/pvob2\""},
        {"mkstream -integration -project web@/pvob -baseline REL1,compA_INITIAL s@/pvob",
         "Component \"compA\": baselines \"REL1\" and \"compA_INITIAL\" are both in the foundation"},
        {"mkstream -project web@/pvob s@/pvob", "mkstream: give one of -integration and -development"},
        {"mkstream -integration -development -project web@/pvob s@/pvob", "give one of"},
        {"mkstream -integration s@/pvob", "mkstream: missing argument: -project PROJECT"},
        {"mkstream -integration -project nope@/pvob s@/pvob", "VOB \"/pvob\": no project named \"nope\""},
        {"mkstream -integration -project web s", "Selector \"s\" names no VOB"},
        {"mkstream -integration -project web@/pvob -baseline NOPE s@/pvob", "no baseline named \"NOPE\""},
        {"mkstream -integration -project web@/pvob int@/pvob", "stream \"int\" already exists"},
        {"rebase int@/pvob NOPE", "VOB \"/pvob\": no baseline named \"NOPE\""},
        {"rebase nope@/pvob REL1", "VOB \"/pvob\": no stream named \"nope\""},
        {"rebase int@/pvob REL1 compA_INITIAL", "baselines \"REL1\" and \"compA_INITIAL\" are both"},
        {"rebase int@/pvob", "rebase: missing argument: STREAM BASELINE"},
        {"mkview -stream nope@/pvob '" + nv + "'", "VOB \"/pvob\": no stream named \"nope\""},
        {"mkview -stream int '" + nv + "'", "Selector \"int\" names no VOB"},
        {"mkview -stream int@/pvob -vob /va '" + nv + "'", "mkview: -vob does not go with -stream"},
        {"mkview -stream int@/pvob -tag work '" + nv + "'", "View tag \"work\" is already registered"},
        {"rmstream int@/pvob", "is the default integration stream of project \"web\""},
        {"rmstream nope@/pvob", "no stream named \"nope\""},
        {"rmproject nope@/pvob", "no project named \"nope\""},
        {"lsproject nope@/pvob", "no project named \"nope\""},
        {"lsproject -pvob /va", "VOB \"/va\" is not a project VOB"},
        {"lsbl -comp compA@/pvob REL1@/pvob", "lsbl: a selector names one object; -comp does not go with it"},
        {"lsbl -comp nope@/pvob", "no component named \"nope\""},
        {"lsbl -comp compA", "Selector \"compA\" names no VOB"},
        {"lsstream -project compA@/pvob", "no project named \"compA\""},
        {"lscomp -long -bogus", "lscomp: unknown option \"-bogus\""},
    };
    std::string pvob = dump().dump(), pvob2 = dump("/pvob2").dump(),
                vobs = dump("/va").dump() + dump("/vb").dump();
    std::string rgy = testutil::read_file(home + "/registry/rgy.json");
    for (const bad_case &c : cases) {
        std::string out, err;
        EXPECT_EQ(testvob::run_vantor(c.args, &out, &err, home), 1) << c.args;
        EXPECT_NE(err.find("vantor: Error: "), std::string::npos) << c.args << ": " << err;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.args << ": " << err;
        EXPECT_EQ(dump().dump(), pvob) << c.args;
        EXPECT_EQ(dump("/pvob2").dump(), pvob2) << c.args;
        EXPECT_EQ(dump("/va").dump() + dump("/vb").dump(), vobs) << c.args;
        EXPECT_EQ(testutil::read_file(home + "/registry/rgy.json"), rgy) << c.args;
    }
    EXPECT_FALSE(std::filesystem::exists(nv));
}

// The usage lists every project command; -h anywhere asks for it.
using ProjectHelp = testvob::VobTest;

TEST_F(ProjectHelp, NamesTheCommands) {
    for (const char *args : {"help", "mkbl -comp x -h", "lsstream --help"}) {
        std::string out, err;
        EXPECT_EQ(testvob::run_vantor(args, &out, &err), 0) << args << ": " << err;
        for (const char *part : {"  mkproject [-title TEXT] [-modcomp COMP[,COMP...]] [-c COMMENT] PROJECT\n",
                                 "  mkbl -import -label LABEL -comp COMPONENT [-c COMMENT] [BASELINE]\n",
                                 "  mkview -stream STREAM [-tag VIEWTAG] DIR\n", "  -modcomp COMPS ",
                                 "  -pvob TAG ", "Projects live in project VOBs", "setcs detaches the view"})
            EXPECT_NE(out.find(part), std::string::npos) << args << ": " << part;
    }
}

}   // namespace
