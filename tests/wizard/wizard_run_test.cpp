// Running requests: the command-line splitter, child processes, and whole
// requests through the import thread into a fresh VOB, with the built
// exporters (and stand-ins for failing ones) found through VANTOR_TOOL_DIR.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/import/imp_start.h"
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"
#include "wizard/wiz_child.h"
#include "wizard/wiz_dest.h"
#include "wizard/wiz_progress.h"
#include "wizard/wiz_sheet.h"
#include "wizard/wiz_source.h"
#include "wizard/wiz_error.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_task.h"
#include "wizard/wiz_thread.h"
#include "wizard/wiz_ui.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> helper_args(const std::string &out) {
    std::vector<std::string> args;
    size_t i = 0;
    while (i < out.size()) {
        size_t colon = out.find(':', i);
        size_t len = std::stoul(out.substr(i, colon - i));
        args.push_back(out.substr(colon + 1, len));
        i = colon + 1 + len + 1;
    }
    return args;
}

TEST(WizardChild, SplitsByTheWindowsRules) {
    const struct {
        std::string line;
        std::vector<std::string> args;
    } table[] = {
        {"", {}},
        {" \t ", {}},
        {"a b\tc", {"a", "b", "c"}},
        {"  a   b  ", {"a", "b"}},
        {"\"a b\" c", {"a b", "c"}},
        {"x\"a b\"y", {"xa by"}},
        {"\"\"", {""}},
        {"a \"\" b", {"a", "", "b"}},
        {R"(a\b\\c)", {R"(a\b\\c)"}},     // no quote after them: literal
        {R"(a\\"b c")", {R"(a\b c)"}},    // 2n: n, and the quote groups
        {R"(a\"b c)", {R"(a"b)", "c"}},   // 2n+1: n and a literal quote
        {R"(a\\\"b)", {R"(a\"b)"}},
        {R"("a\\" b)", {R"(a\)", "b"}},
        {R"("say ""hi"" now")", {R"(say "hi" now)"}},   // "" inside a quoted run
        {R"("unterminated quote)", {"unterminated quote"}},
        {R"(trailing\)", {R"(trailing\)"}},
    };
    for (const auto &t : table)
        EXPECT_EQ(wiz_split_command_line(t.line), t.args) << t.line;
    // Quoting reads back as the one argument, whatever it holds.
    for (std::string arg : {"", "plain", "a b", R"(q"uo"te)", R"(end\)", R"(two\\)", R"(\"x\\")",
                            "$(rm -rf x); `a` | b & c > d"})
        EXPECT_EQ(wiz_split_command_line("p " + wiz_quote_argument(arg)),
                  (std::vector<std::string>{"p", arg}))
            << arg;
}

TEST(WizardChild, RunsWithoutAShellAndCollectsItsOutput) {
    testutil::TempDir dir;
    const std::string helper = CHILD_HELPER;
    const std::string nasty = "it's a \"name\" with $HOME; `ls` | & > <*? and \\ back\\";
    {
        ChildProcess child(wiz_quote_argument(helper) + " args " + wiz_quote_argument(nasty) + " \"\" x", "");
        EXPECT_EQ(child.wait(), 0);
        EXPECT_EQ(helper_args(child.out()), (std::vector<std::string>{nasty, "", "x"}));
        EXPECT_TRUE(child.finished());
    }
    // Standard input ends at once; the directory and the extra variables hold.
    std::string out, err;
    EXPECT_EQ(wiz_run_capture({helper, "stdin"}, "", {}, &out, &err), 0);
    EXPECT_EQ(out, "0\n");
    EXPECT_EQ(
        wiz_run_capture({helper, "env", "WIZ_X"}, dir.path(), {"WIZ_X=a=b", "PATH=/nowhere"}, &out, &err), 0);
    EXPECT_EQ(out, "a=b\n" + fs::canonical(dir.path()).string() + "\n");
    // Exit codes, and a signal as 128 + its number.
    EXPECT_EQ(wiz_run_capture({helper, "exit", "7"}, "", {}, &out, &err), 7);
    EXPECT_EQ(err, "err");
    // A program searched along PATH, and one that is not there.
    EXPECT_EQ(wiz_run_capture({"true"}, "", {}, nullptr, nullptr), 0);
    for (std::vector<std::string> argv :
         std::vector<std::vector<std::string>>{{"no-such-program-anywhere"}, {dir / "missing"}, {}}) {
        try {
            wiz_run_capture(argv, "", {}, nullptr, nullptr);
            ADD_FAILURE() << "started";
        } catch (const SubProcException &e) {
            EXPECT_EQ(e.error(), ENOENT);
        }
    }
    {
        ChildProcess self_kill({"sh", "-c", "kill -TERM $$"}, "");
        EXPECT_EQ(self_kill.wait(), 128 + SIGTERM);
    }
}

// The pids a sleeping helper wrote, once it has.
std::pair<pid_t, pid_t> wait_for_pids(const std::string &file) {
    for (int i = 0; i < 500 && !fs::exists(file); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(file);
    long a = 0, b = 0;
    in >> a >> b;
    return {pid_t(a), pid_t(b)};
}

// Gone, or a zombie nobody has reaped yet: it runs no more.
bool ended(pid_t pid) {
    for (int i = 0; i < 300; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            return true;
        size_t paren = line.rfind(')');
        if (paren != std::string::npos && line.size() > paren + 2 && line[paren + 2] == 'Z')
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(WizardChild, DestroyedChildIsEndedWithItsGroup) {
    testutil::TempDir dir;
    for (std::string mode : {"sleep", "stubborn"}) {
        std::string file = dir / mode;
        auto t0 = std::chrono::steady_clock::now();
        std::pair<pid_t, pid_t> pids;
        {
            ChildProcess child({CHILD_HELPER, mode, file}, "");
            pids = wait_for_pids(file);
            ASSERT_GT(pids.first, 0) << mode;
            EXPECT_EQ(pids.first, child.pid());
            EXPECT_FALSE(child.finished());
        }
        EXPECT_TRUE(ended(pids.first)) << mode;
        EXPECT_TRUE(ended(pids.second)) << mode;   // the grandchild too
        auto took = std::chrono::steady_clock::now() - t0;
        if (mode == "stubborn") {
            EXPECT_GE(took, ChildProcess::grace) << "killed before its grace";
        }
        EXPECT_LT(took, std::chrono::seconds(10));
    }
    // A stop request ends the registered child, and one registered later.
    WizStop stop;
    std::string file = dir / "stopped";
    ChildProcess child({CHILD_HELPER, "sleep", file}, "");
    stop.set_child(&child);
    wait_for_pids(file);
    stop.request();
    EXPECT_EQ(child.wait(), 128 + SIGTERM);
    stop.set_child(nullptr);
    ChildProcess late({CHILD_HELPER, "sleep", dir / "late"}, "");
    stop.set_child(&late);
    EXPECT_EQ(late.wait(), 128 + SIGTERM);
    stop.set_child(nullptr);
    EXPECT_TRUE(stop.requested());
    imp_clear_stop();
}

// A receiver on the test's thread that records the events of one run.
struct Recorder : QObject {
    std::vector<ImportEvent> events;
    QEventLoop loop;
    std::function<void(const ImportEvent &)> on_event;
    void handle(const ImportEvent &ev) {
        events.push_back(ev);
        if (on_event)
            on_event(ev);
        if (ev.kind == ImportEvent::SUCCEEDED || ev.kind == ImportEvent::FAILED)
            loop.quit();
    }
    // The events of a kind, a gathered one counting for what it stands for.
    int count(int kind) const {
        long n = 0;
        for (const ImportEvent &e : events)
            n += e.kind == kind ? e.count : 0;
        return int(n);
    }
};

class WizardRunTest : public testvob::VobTest {
protected:
    void SetUp() override {
        testvob::VobTest::SetUp();
        tools = tmp + "/tools";
        work = tmp + "/work";
        fs::create_directories(tools);
        fs::create_directories(work);
        for (auto [name, target] : {std::pair{"vantexport_rcs", RCS_EXPORTER},
                                    {"vantexport_ffile", FFILE_EXPORTER},
                                    {"vantexport_pvcs", PVCS_EXPORTER}})
            fs::create_symlink(target, tools + "/" + name);
        ::setenv("VANTOR_TOOL_DIR", tools.c_str(), 1);
        ::setenv("TMP", work.c_str(), 1);
        ::setenv("TZ", "UTC", 1);
        vob = make_vob("/w");
        ASSERT_NE(vob, nullptr);
        view = std::make_unique<TempSnapshotView>();
    }
    void TearDown() override {
        view.reset();
        if (vob)
            vob_close(vob);
        ::unsetenv("VANTOR_TOOL_DIR");
        ::unsetenv("TMP");
        testvob::VobTest::TearDown();
    }
    void fake_exporter(const std::string &name, const std::string &script) {
        std::string path = tools + "/" + name;
        fs::remove(path);
        std::ofstream(path) << "#!/bin/sh\n" << script << "\n";
        fs::permissions(path, fs::perms::owner_all);
    }
    std::unique_ptr<ImportTask> task(LegacyKind::Id kind, const std::string &location,
                                     const std::string &object, const std::string &sub = "") {
        auto repo = std::make_unique<LegacyRepository>(LegacyKind::get(kind), location);
        auto obj = std::make_unique<LegacyObject>(std::move(repo), object, object);
        return std::make_unique<ImportTask>(std::move(obj),
                                            std::make_unique<ImportDestination>(view.get(), "/w", sub));
    }
    // Runs the task on an import thread until event 9 or 10 (or a minute).
    void run(ImportTask *t, Recorder *rec, std::function<void(ImportThread &)> after_start = {}) {
        DynamicContext outer(wiz_format(IDS_CTX_RUNNING, {std::string("wizard")}));
        ImportThread thread(rec, [rec](const ImportEvent &ev) { rec->handle(ev); });
        thread.run_thread();
        thread.start(t);
        if (after_start)
            after_start(thread);
        QTimer::singleShot(60000, &rec->loop, &QEventLoop::quit);
        rec->loop.exec();
        thread.stop();
        ASSERT_FALSE(rec->events.empty());
        EXPECT_EQ(rec->events.front().kind, ImportEvent::START);
        for (const ImportEvent &ev : rec->events)
            EXPECT_EQ(ev.request, t);
    }
    // The element at a path below the VOB root (0 when none).
    vob_oid lookup(const std::string &path) {
        vob_oid e = vob_wk_obj(vob, VOB_WK_ROOT_DIR);
        std::stringstream parts(path);
        std::string part;
        while (e && std::getline(parts, part, '/')) {
            vob_elem_info info;
            vob_oid ver = 0, next = 0;
            if (vob_elem_get(vob, e, &info) != VOB_OK ||
                vob_branch_get_latest(vob, info.main_branch, &ver) != VOB_OK ||
                vob_dir_lookup(vob, ver, part, &next) != VOB_OK)
                return 0;
            e = next;
        }
        return e;
    }
    size_t versions_of(const std::string &path) {
        vob_oid e = lookup(path);
        return e ? testvob::vtree_ids(vob, e).size() : 0;
    }
    // A succeeded run's bookkeeping against its events.
    void check_success(ImportTask *t, const Recorder &rec) {
        ASSERT_EQ(rec.events.back().kind, ImportEvent::SUCCEEDED)
            << (rec.events.back().error ? rec.events.back().error->message() : "");
        EXPECT_TRUE(t->started() && t->exported() && t->succeeded());
        EXPECT_EQ(rec.count(ImportEvent::RANGE), 1);
        EXPECT_EQ(rec.count(ImportEvent::DIRECTORIES), 1);
        EXPECT_EQ(rec.count(ImportEvent::TYPES), 4);
        EXPECT_EQ(rec.count(ImportEvent::DIRECTORY), int(t->directory_names().size()));
        EXPECT_EQ(rec.count(ImportEvent::VERSION) + rec.count(ImportEvent::VERSION_IDENTICAL),
                  t->versions_reported());
        EXPECT_EQ(long(t->branch_list().size()), t->versions_reported());
        EXPECT_EQ(t->elements_examined(), long(t->element_map().size()));
        EXPECT_EQ(t->label_work(), long(t->branch_list().size() + t->created_dirs().size()));
        EXPECT_FALSE(fs::exists(t->datafile()));
        EXPECT_EQ(fs::path(t->datafile()).parent_path(), fs::path(work));
    }

    std::string tools, work;
    vob_t *vob = nullptr;
    std::unique_ptr<TempSnapshotView> view;
};

TEST_F(WizardRunTest, RcsTreeEndToEndAgainAndLabelled) {
    std::string src = tmp + "/rcs";
    fs::create_directories(src + "/proj/sub");
    ASSERT_EQ(testutil::shell("cd '" + src +
                              "/proj' && printf 'one\\n' > a.c && ci -q -t-x -mfirst a.c && "
                              "co -q -l a.c && printf 'two\\n' >> a.c && ci -q -msecond a.c && "
                              "cd sub && printf 'b\\n' > 'b c.h' && ci -q -t-y -monly 'b c.h'"),
              0);
    auto t = task(LegacyKind::RCS, src, "proj", "");
    EXPECT_EQ(t->source_text(), src + "/proj");
    EXPECT_EQ(t->destination_text(), "/w/proj");
    EXPECT_EQ(t->vob_tag(), "/w");
    Recorder rec;
    run(t.get(), &rec);
    check_success(t.get(), rec);
    EXPECT_EQ(t->versions_reported(), 3);
    EXPECT_EQ(t->versions_new(), 3);
    EXPECT_EQ(t->elements_examined(), 5);   // the destination, proj, sub and the two files
    EXPECT_EQ(t->elements_created(), 4);
    EXPECT_EQ(t->directory_names().size(), 3u);
    EXPECT_EQ(rec.events[1].kind, ImportEvent::RANGE);
    EXPECT_EQ(rec.events[1].b, 3);
    EXPECT_EQ(versions_of("proj/a.c"), 3u);   // 0, 1, 2 on main
    EXPECT_EQ(versions_of("proj/sub/b c.h"), 2u);

    // The same pair again makes nothing new.
    auto again = task(LegacyKind::RCS, src, "proj", "");
    EXPECT_TRUE(again->same_pair(*t));
    EXPECT_FALSE(task(LegacyKind::RCS, src, "proj", "other")->same_pair(*t));
    EXPECT_FALSE(task(LegacyKind::SI, src, "proj", "")->same_pair(*t));
    Recorder rec2;
    run(again.get(), &rec2);
    check_success(again.get(), rec2);
    EXPECT_EQ(again->elements_examined(), 5);
    EXPECT_EQ(again->elements_created(), 0);
    EXPECT_EQ(again->versions_new(), 0);
    EXPECT_EQ(versions_of("proj/a.c"), 3u);

    // Labelling what the first run made.
    vob_event ev = vob_event_now();
    ASSERT_EQ(vob_type_create(vob, VOB_MT_LBTYPE, "IMP", &ev, nullptr), VOB_OK);
    struct Count : EventObserver {
        long n = 0;
        void notify() override { ++n; }
    } count;
    t->apply_label("IMP", &count);
    wiz_vob_handles_release();
    EXPECT_EQ(count.n, t->label_work());
    // The destination (the VOB root) came as a directory of the import.
    EXPECT_TRUE(t->ancestor_dirs().empty());
}

TEST_F(WizardRunTest, CvsModuleFlatTreeAndPvcsTree) {
    // A CVS module, exported as RCS archives from the module's directory.
    std::string root = tmp + "/cvsroot", co = tmp + "/co";
    ASSERT_EQ(testutil::shell(
                  "export CVSROOT='" + root + "' && cvs -Q init && mkdir -p '" + co + "/m' && cd '" + co +
                  "/m' && printf 'x\\n' > f.txt && cvs -Q import -m drop mod V R1 && cd '" + co +
                  "' && cvs -Q checkout mod && cd mod && printf 'y\\n' >> f.txt && cvs -Q commit -m more "
                  "f.txt </dev/null"),
              0);
    {
        auto t = task(LegacyKind::RCS, root, "mod", "");
        Recorder rec;
        run(t.get(), &rec);
        check_success(t.get(), rec);
        EXPECT_GE(t->versions_reported(), 2);
        EXPECT_GE(versions_of("mod/f.txt"), 3u);
    }
    // Ordinary files.
    std::string flat = tmp + "/flat";
    fs::create_directories(flat + "/tree/d");
    std::ofstream(flat + "/tree/one") << "1";
    std::ofstream(flat + "/tree/d/two") << "2";
    {
        auto t = task(LegacyKind::FFILE, flat, "tree", "");
        Recorder rec;
        run(t.get(), &rec);
        check_success(t.get(), rec);
        EXPECT_EQ(t->versions_new(), 2);
        EXPECT_EQ(t->elements_created(), 4);
        EXPECT_EQ(versions_of("tree/one"), 2u);
        EXPECT_EQ(versions_of("tree/d/two"), 2u);
    }
    // PVCS archives, their contents through the get stand-in.
    std::string pv = tmp + "/pvcs";
    ASSERT_EQ(testutil::shell("'" PVCS_MKTREE "' '" + pv + "/arch' 2 3"), 0);
    std::string path = std::string(PVCS_GET_DIR) + ":" + std::getenv("PATH");
    std::string old_path = std::getenv("PATH");
    ::setenv("PATH", path.c_str(), 1);
    {
        auto t = task(LegacyKind::PVCS, pv, "arch", "into/here");
        Recorder rec;
        run(t.get(), &rec);
        check_success(t.get(), rec);
        EXPECT_GE(t->versions_new(), 6);
        EXPECT_EQ(t->destination_text(), "/w/into/here/arch");
        EXPECT_NE(lookup("into/here/arch"), 0);   // the destination was made
    }
    ::setenv("PATH", old_path.c_str(), 1);
}

TEST_F(WizardRunTest, FailuresOfTheExporter) {
    std::string src = tmp + "/src";
    fs::create_directories(src + "/obj");
    const struct {
        std::string script;
        std::string message;
    } table[] = {
        {"exit 3", wiz_format(IDS_BAD_STATUS, {3LL})},
        {"echo 'it broke' >&2; exit 1", "it broke\n"},
        {"kill -KILL $$", wiz_format(IDS_BAD_STATUS, {137LL})},
    };
    for (const auto &row : table) {
        fake_exporter("vantexport_ffile", row.script);
        auto t = task(LegacyKind::FFILE, src, "obj");
        Recorder rec;
        run(t.get(), &rec);
        ASSERT_EQ(rec.events.back().kind, ImportEvent::FAILED) << row.script;
        const VantorException &e = *rec.events.back().error;
        EXPECT_EQ(e.status(), VantorException::COMPLETE);
        EXPECT_EQ(e.message(), row.message);
        std::string cmd = t->object()->repository()->export_command("obj", t->datafile());
        EXPECT_EQ(e.context_text(),
                  "running wizard\n " +
                      wiz_format(IDS_CTX_IMPORTING, {t->source_text(), t->destination_text()}) + "\n  " +
                      wiz_format(IDS_CTX_EXPORT_CMD, {cmd}) + "\n");
        EXPECT_TRUE(t->started());
        EXPECT_FALSE(t->exported() || t->succeeded());
        EXPECT_FALSE(fs::exists(t->datafile()));
    }
    // No exporter at all.
    fs::remove(tools + "/vantexport_ffile");
    auto t = task(LegacyKind::FFILE, src, "obj");
    Recorder rec;
    run(t.get(), &rec);
    ASSERT_EQ(rec.events.back().kind, ImportEvent::FAILED);
    EXPECT_EQ(rec.events.back().error->message(), wiz_string(IDS_NO_SUBPROCESS));

    // The command line: the quoted program, the data file and the operand as
    // single arguments; none for an empty operand.
    fs::create_symlink(CHILD_HELPER, tools + "/vantexport_ffile");
    LegacyRepository repo(LegacyKind::get(LegacyKind::FFILE), src);
    std::string odd = "a \"b\" $c\\";
    std::string out;
    EXPECT_EQ(wiz_run_capture(wiz_split_command_line(repo.export_command(odd, work + "/d f")), "", {}, &out,
                              nullptr),
              0);
    EXPECT_EQ(helper_args(out), (std::vector<std::string>{"-r", "-o", work + "/d f", odd}));
    EXPECT_EQ(wiz_split_command_line(repo.export_command("", "/t/x")),
              (std::vector<std::string>{tools + "/vantexport_ffile", "-r", "-o", "/t/x"}));
    EXPECT_EQ(repo.export_command("obj", "/t/x"), "\"" + tools + "/vantexport_ffile\" -r -o /t/x \"obj\"");

    // Leftover data files are stepped over.
    std::string first = ImportTask::choose_datafile();
    EXPECT_EQ(first, work + "/importWizardData." + std::to_string(::getpid()) + ".0");
    std::ofstream(first) << "";
    EXPECT_EQ(ImportTask::choose_datafile(), work + "/importWizardData." + std::to_string(::getpid()) + ".1");
    ::setenv("TMP", (work + "/none").c_str(), 1);
    try {
        ImportTask::choose_datafile();
        ADD_FAILURE() << "no exception";
    } catch (const VantorException &e) {
        EXPECT_EQ(e.message(), wiz_string(IDS_NO_TMPDIR));
    }
}

TEST_F(WizardRunTest, ElementsLeftOutFailTheRequestAfterTheImport) {
    std::string src = tmp + "/rcs";
    fs::create_directories(src + "/proj");
    ASSERT_EQ(testutil::shell("cd '" + src +
                              "/proj' && printf 'g\\n' > good.c && ci -q -t-x -mgood good.c && "
                              "printf 'head 1.1;\\ngarbage @' > bad.c,v"),
              0);
    auto t = task(LegacyKind::RCS, src, "proj");
    Recorder rec;
    run(t.get(), &rec);
    ASSERT_EQ(rec.events.back().kind, ImportEvent::FAILED);
    const VantorException &e = *rec.events.back().error;
    EXPECT_EQ(e.status(), VantorException::COMPLETE);
    EXPECT_NE(e.message().find("bad.c"), std::string::npos) << e.message();
    EXPECT_TRUE(t->exported());
    EXPECT_FALSE(t->succeeded());
    EXPECT_EQ(versions_of("proj/good.c"), 2u);   // what was exported is there
    EXPECT_EQ(lookup("proj/bad.c"), 0);
    EXPECT_FALSE(fs::exists(t->datafile()));
}

TEST_F(WizardRunTest, StopDuringALongExport) {
    fake_exporter("vantexport_ffile", "sleep 60");
    std::string src = tmp + "/src";
    fs::create_directories(src + "/obj");
    auto t = task(LegacyKind::FFILE, src, "obj");
    Recorder rec;
    auto t0 = std::chrono::steady_clock::now();
    run(t.get(), &rec, [&](ImportThread &thread) {
        rec.on_event = [&](const ImportEvent &ev) {
            if (ev.kind == ImportEvent::START)
                QTimer::singleShot(300, [&] { thread.stop_request(); });
        };
    });
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
    ASSERT_EQ(rec.events.back().kind, ImportEvent::FAILED);
    EXPECT_EQ(rec.events.back().error->message(), wiz_string(IDS_IMPORT_STOPPED));
    EXPECT_FALSE(t->succeeded());
    EXPECT_FALSE(fs::exists(t->datafile()));
    imp_clear_stop();
}

}   // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// A SourceSafe project two levels down, through the database's folder: the
// exporter runs in the project's parent with the leaf as its operand, and
// its versions come through the ssafeget stand-in at import time.
TEST_F(WizardRunTest, SourceSafeProjectEndToEnd) {
    fs::create_symlink(SSAFE_EXPORTER, tools + "/vantexport_ssafe");
    std::string db = tmp + "/db";
    fs::create_directories(db);
    std::ofstream(db + "/srcsafe.ini") << "Data_Path = data\n";
    std::ofstream(db + "/ssdb.json") << R"({
      "current": "$/other",
      "projects": ["$/proj", "$/proj/sub", "$/other"],
      "files": {"F1": {"entries": [
        {"version": 1, "user": "Admin", "date": "8/06/02", "time": "3:00p", "action": "Created", "contents": "one\n"},
        {"version": 2, "user": "Admin", "date": "8/07/02", "time": "9:15a", "action": "Checked in $/proj/sub",
         "comment": "second", "contents": "one\ntwo\n"}]}},
      "places": [{"path": "$/proj/sub/a.c", "file": "F1"}, {"path": "$/other/x.c", "file": "F1"}]
    })";
    std::string old_path = std::getenv("PATH");
    ::setenv("PATH", (std::string(SS_BIN_DIR) + ":" + old_path).c_str(), 1);
    ::unsetenv("SSDB");
    auto obj = std::make_unique<LegacyObject>(make_legacy_repository(LegacyKind::get(LegacyKind::SSAFE), db),
                                              wiz_ssafe_object_path("$/proj/sub"), "sub");
    ImportTask t(std::move(obj), std::make_unique<ImportDestination>(view.get(), "/w", "vss"));
    EXPECT_EQ(t.source_text(), db + "/proj/sub");
    EXPECT_EQ(t.destination_text(), "/w/vss/sub");
    Recorder rec;
    run(&t, &rec);
    check_success(&t, rec);
    EXPECT_EQ(t.versions_new(), 2);
    EXPECT_EQ(versions_of("vss/sub/a.c"), 3u);
    EXPECT_EQ(lookup("vss/sub/x.c"), 0);   // nothing of the other project
    EXPECT_STREQ(std::getenv("SSDIR"), db.c_str());
    // The whole database lands in the destination itself.
    ImportTask whole(std::make_unique<LegacyObject>(
                         make_legacy_repository(LegacyKind::get(LegacyKind::SSAFE), db), "", ""),
                     std::make_unique<ImportDestination>(view.get(), "/w", "all"));
    EXPECT_EQ(whole.destination_text(), "/w/all");
    Recorder rec2;
    run(&whole, &rec2);
    check_success(&whole, rec2);
    EXPECT_EQ(versions_of("all/proj/sub/a.c"), 3u);
    EXPECT_EQ(versions_of("all/other/x.c"), 3u);
    ::setenv("PATH", old_path.c_str(), 1);
    ::unsetenv("SSDIR");
}

// The sheet, the progress model and the thread together, as the progress
// page joins them: three requests, the first fails and the user answers No;
// the error is in the log with its context; a retry of the failed pair then
// supersedes it and the wizard reaches its success page.
TEST_F(WizardRunTest, SheetRunsABatchThroughTheThread) {
    std::string src = tmp + "/files";
    for (std::string d : {"a", "b", "c"}) {
        fs::create_directories(src + "/" + d);
        std::ofstream(src + "/" + d + "/f") << d;
    }
    struct Ui : WizUi {
        std::vector<std::string> questions, boxes;
        void message_box(wiz_box, const std::string &text) override { boxes.push_back(text); }
        bool ask_yes_no(const std::string &text) override {
            questions.push_back(text);
            return false;
        }
    } ui;
    SheetModel sheet;
    EXPECT_EQ(sheet.leave_kind_page(LegacyKind::get(LegacyKind::FFILE), &ui), WizPage::SRC_DEST);
    std::optional<ProgressModel> last_run;   // the last run's page
    auto run_batch = [&] {
        DynamicContext outer(wiz_format(IDS_CTX_RUNNING, {wiz_title()}));
        ProgressModel &progress = last_run.emplace(&sheet);
        QEventLoop loop;
        QObject receiver;
        std::unique_ptr<ImportThread> thread;
        auto act = [&](const WizProgressAction &a) {
            if (a.kind == WizProgressAction::START)
                thread->start(static_cast<ImportTask *>(a.task));
            else if (a.kind == WizProgressAction::FINISHED)
                loop.quit();
        };
        thread = std::make_unique<ImportThread>(
            &receiver, [&](const ImportEvent &ev) { act(progress.handle(ev, &ui)); });
        thread->run_thread();
        WizProgressAction first = progress.activate();
        act(first);
        if (first.kind == WizProgressAction::START) {
            QTimer::singleShot(60000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        thread->stop();
        return progress.completion_text();
    };

    // The first request's exporter fails without a word.
    std::string real = tools + "/vantexport_ffile";
    fake_exporter("vantexport_ffile",
                  "for x; do last=$x; done; [ \"$last\" = a ] && exit 3; exec '" FFILE_EXPORTER "' \"$@\"");
    for (std::string d : {"a", "b", "c"})
        EXPECT_TRUE(sheet.add(task(LegacyKind::FFILE, src, d)));
    EXPECT_FALSE(sheet.add(task(LegacyKind::FFILE, src, "b")));   // already asked for
    std::string a_source = sheet.pending()[0]->source_text();
    EXPECT_EQ(run_batch(), wiz_string(IDS_RUN_SOME_FAILED));
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0], wiz_format(IDS_IMPORT_ERROR, {a_source, wiz_format(IDS_BAD_STATUS, {3LL})}) +
                                   "\n\n" + wiz_string(IDS_CONTINUE_QUESTION));
    EXPECT_TRUE(ui.boxes.empty());
    // It failed while examining the legacy files: the first phase is marked.
    const auto &ph = last_run->phases();
    EXPECT_TRUE(ph[0].icon_visible && ph[0].icon_failed);
    EXPECT_FALSE(ph[1].icon_visible || ph[2].icon_visible || ph[3].icon_visible);
    EXPECT_EQ(last_run->failed(), 1);
    EXPECT_TRUE(last_run->rows()[0].failed_icon && !last_run->rows()[0].done_icon);
    EXPECT_FALSE(last_run->rows()[1].failed_icon);   // never started
    EXPECT_TRUE(last_run->error_icon());
    EXPECT_TRUE(sheet.pending().empty());
    EXPECT_EQ(sheet.done().size(), 3u);
    EXPECT_EQ(sheet.run_count(), 3);
    EXPECT_EQ(sheet.run_succeeded(), 0);
    EXPECT_EQ(sheet.outcome(), 0);   // none succeeded: b and c never ran
    EXPECT_FALSE(sheet.done()[1]->started());
    SheetModel::IterateTexts texts = sheet.iterate_texts();
    EXPECT_EQ(texts.result, "Not all of your files were imported successfully into Vantor.");
    EXPECT_EQ(texts.back, wiz_string(IDS_ITERATE_BACK_RETRY));
    EXPECT_EQ(texts.project, "");
    EXPECT_TRUE(texts.error_icon);
    EXPECT_EQ(sheet.completion_text(WizPage::IMPORT_FAIL),
              wiz_format(IDS_FAIL_NONE, {std::string("Vantor")}));
    EXPECT_EQ(lookup("b"), 0);
    // The log holds the failure with the three descriptions.
    std::ifstream in(sheet.log().path());
    std::stringstream log;
    log << in.rdbuf();
    EXPECT_NE(
        log.str().find("ERROR MESSAGE:\n  " + wiz_format(IDS_BAD_STATUS, {3LL}) + "\nERROR CONTEXT:\n  " +
                       wiz_format(IDS_CTX_RUNNING, {wiz_title()}) + "\n   " +
                       wiz_format(IDS_CTX_IMPORTING, {a_source, "/w/a"}) + "\n    running export command: "),
        std::string::npos)
        << log.str();

    // Back, the same three again with a working exporter: all succeed and
    // supersede the failures.
    fs::remove(real);
    fs::create_symlink(FFILE_EXPORTER, real);
    for (std::string d : {"a", "b", "c"})
        EXPECT_TRUE(sheet.add(task(LegacyKind::FFILE, src, d)));
    EXPECT_EQ(run_batch(), wiz_string(IDS_RUN_ALL_OK));
    EXPECT_EQ(sheet.superseded().size(), 3u);
    EXPECT_EQ(sheet.outcome(), 2);
    EXPECT_EQ(sheet.next(WizPage::ITERATE), WizPage::IMPORT_SUCCEED);
    EXPECT_EQ(versions_of("c/f"), 2u);
    EXPECT_EQ(sheet.elements_created(), 6);
}
