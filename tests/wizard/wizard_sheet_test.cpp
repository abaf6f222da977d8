// The sheet, the progress page's model of a run, and the error log.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "runtime/tbs.h"
#include "wizard/wiz_error.h"
#include "wizard/wiz_legacy.h"
#include "wizard/wiz_progress.h"
#include "wizard/wiz_sheet.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_ui.h"

namespace fs = std::filesystem;

namespace {

struct FakeRequest : WizRequest {
    FakeRequest(std::string s, std::string d) : src(std::move(s)), dst(std::move(d)) {}
    std::string src, dst;
    bool ran = false, ok = false;
    long examined = 0, created = 0;
    bool started() const override { return ran; }
    bool succeeded() const override { return ok; }
    bool same_pair(const WizRequest &o) const override {
        return o.source_text() == src && o.destination_text() == dst;
    }
    std::string source_text() const override { return src; }
    std::string destination_text() const override { return dst; }
    std::string vob_tag() const override { return "/v"; }
    long elements_examined() const override { return examined; }
    long elements_created() const override { return created; }
    long label_work() const override { return 0; }
};

struct RecordingUi : WizUi {
    std::vector<std::pair<wiz_box, std::string>> boxes;
    std::vector<std::string> questions;
    std::deque<bool> answers;   // Yes when it runs out
    void message_box(wiz_box kind, const std::string &text) override { boxes.emplace_back(kind, text); }
    bool ask_yes_no(const std::string &text) override {
        questions.push_back(text);
        bool a = answers.empty() || answers.front();
        if (!answers.empty())
            answers.pop_front();
        return a;
    }
};

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

ImportEvent ev(int kind, WizRequest *r, long b = 0) {
    ImportEvent e;
    e.kind = kind;
    e.request = r;
    e.b = b;
    return e;
}

std::unique_ptr<FakeRequest> req(const std::string &name) {
    return std::make_unique<FakeRequest>("/src/" + name, "/v/" + name);
}

// Runs the sheet's pending requests, each succeeding or failing by plan, as
// the import thread would report them (a few progress events first).
void run(SheetModel &sheet, ProgressModel &progress, RecordingUi &ui, const std::vector<bool> &plan) {
    WizProgressAction a = progress.activate();
    while (a.kind == WizProgressAction::START) {
        auto *r = static_cast<FakeRequest *>(a.task);
        EXPECT_EQ(r, sheet.pending()[a.request].get());
        r->ran = true;
        for (int kind : {ImportEvent::START, ImportEvent::TYPES})
            EXPECT_EQ(progress.handle(ev(kind, r), &ui).kind, WizProgressAction::NOTHING);
        ImportEvent end = ev(ImportEvent::SUCCEEDED, r);
        if (!plan[a.request]) {
            end.kind = ImportEvent::FAILED;
            end.error = std::make_shared<VantorException>(1001, "export of " + r->src + " failed\n");
        }
        r->ok = plan[a.request];
        a = progress.handle(end, &ui);
    }
    EXPECT_EQ(a.kind, WizProgressAction::FINISHED);
}

// Runs work on a new thread that starts from the caller's descriptions.
void run_handed(const std::function<void()> &work) {
    std::promise<void> gate;
    std::thread t([&, go = gate.get_future()]() mutable {
        go.wait();
        work();
        wiz_context_thread_end();
    });
    wiz_context_hand_to(t.get_id(), wiz_context_snapshot());
    gate.set_value();
    t.join();
}

class EnvGuard {
public:
    explicit EnvGuard(std::vector<std::string> names) : names_(std::move(names)) {
        for (auto &n : names_) {
            const char *v = getenv(n.c_str());
            saved_.emplace_back(v != nullptr, v ? v : "");
        }
    }
    ~EnvGuard() {
        for (size_t i = 0; i < names_.size(); ++i)
            saved_[i].first ? setenv(names_[i].c_str(), saved_[i].second.c_str(), 1)
                            : unsetenv(names_[i].c_str());
    }

private:
    std::vector<std::string> names_;
    std::vector<std::pair<bool, std::string>> saved_;
};

}   // namespace

TEST(WizLog, RecordsAreWrittenAsLaidOutAndTheFileGoesWithTheSheet) {
    // Three descriptions, each pushed on its own thread, the inner threads
    // starting from their creator's stack.
    std::unique_ptr<VantorException> nested;
    {
        DynamicContext wizard(wiz_format(IDS_CTX_RUNNING, {wiz_title()}));
        run_handed([&] {
            DynamicContext r(wiz_format(IDS_CTX_IMPORTING, {std::string("/src/a"), std::string("/v/a")}));
            run_handed([&] {
                DynamicContext c(wiz_format(IDS_CTX_EXPORT_CMD, {std::string("vantexport_rcs -r")}));
                nested = std::make_unique<VantorException>(1001, "no such archive\nsecond line\n");
            });
        });
    }
    const std::string hyphens(84, '-');
    std::string path;
    {
        SheetModel sheet;
        EXPECT_EQ(sheet.log().path(), "");
        ASSERT_TRUE(sheet.log().append(*nested));
        path = sheet.log().path();
        EXPECT_EQ(fs::path(path).extension(), ".txt");
        std::string first =
            "ERROR MESSAGE:\n  no such archive\n  second line\nERROR CONTEXT:\n"
            "  running Vantor Import Wizard\n   importing from /src/a to /v/a\n"
            "    running export command: vantexport_rcs -r\n" +
            hyphens + "\n\n";
        EXPECT_EQ(slurp(path), first);

        // A status alone: the library's text and an empty message; a message
        // without its line end still leaves the heading on its own line.
        ASSERT_TRUE(sheet.log().append(VantorException(1002)));
        ASSERT_TRUE(sheet.log().append(VantorException(0, "Sub-process creation failed.")));
        EXPECT_EQ(sheet.log().path(), path);
        EXPECT_EQ(slurp(path), first + "ERROR MESSAGE:\n" + tbs_strerror(1002) + "\nERROR CONTEXT:\n" +
                                   hyphens +
                                   "\n\nERROR MESSAGE:\n  Sub-process creation failed.\nERROR CONTEXT:\n" +
                                   hyphens + "\n\n");

        // Open, and not handed to children.
        int cloexec = -1;
        for (auto &e : fs::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            if (fs::read_symlink(e.path(), ec) == path)
                cloexec = fcntl(std::stoi(e.path().filename()), F_GETFD) & FD_CLOEXEC;
        }
        EXPECT_EQ(cloexec, FD_CLOEXEC);
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST(WizLog, ShowLogStartsTheEditorOrSaysWhyNot) {
    EnvGuard env({"WINEDITOR", "VISUAL", "EDITOR"});
    fs::path dir = fs::temp_directory_path() / ("wizlog." + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::path script = dir / "ed", marker = dir / "marker";
    std::ofstream(script) << "#!/bin/sh\necho \"$@\" > '" << marker.string() << ".tmp' && mv '"
                          << marker.string() << ".tmp' '" << marker.string() << "'\n";
    fs::permissions(script, fs::perms::owner_all);

    RecordingUi ui;
    SheetModel sheet;
    sheet.log().show(&ui);   // no log yet: nothing to open
    ASSERT_TRUE(sheet.log().append(VantorException(1001, "x")));

    unsetenv("WINEDITOR");
    setenv("VISUAL", (script.string() + "  --flag").c_str(), 1);
    setenv("EDITOR", "/bin/false", 1);
    sheet.log().show(&ui);
    for (int i = 0; i < 200 && !fs::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_EQ(slurp(marker.string()), "--flag " + sheet.log().path() + "\n");
    EXPECT_TRUE(ui.boxes.empty());
    // The editor's end is collected: no zombie child stays behind.
    auto zombies = [] {
        int n = 0;
        for (auto &e : fs::directory_iterator("/proc")) {
            std::string stat = slurp((e.path() / "stat").string());
            size_t close = stat.rfind(')');
            int ppid = 0;
            char state = 0;
            if (close != std::string::npos &&
                std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == getpid())
                n += state == 'Z';
        }
        return n;
    };
    for (int i = 0; i < 200 && zombies() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(zombies(), 0);

    setenv("WINEDITOR", "/no/such/editor", 1);
    sheet.log().show(&ui);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].first, wiz_box::WARNING);
    EXPECT_EQ(ui.boxes[0].second, "An error occurred opening file '" + sheet.log().path() +
                                      "' using editor '/no/such/editor'\r\n\r\nNo such file or directory");
    unsetenv("WINEDITOR");
    unsetenv("VISUAL");
    setenv("EDITOR", "  ", 1);
    EXPECT_EQ(ErrorLog::editor(), "xdg-open");
    fs::remove_all(dir);
}

TEST(WizSheet, CommandLines) {
    struct row {
        std::string line, vob, pvob, project, comp;
        bool show;
    } rows[] = {
        {"/vob:proj /comp:c1", "/proj", "", "", "c1", false},
        {"/vob:/a /vob:/b /pvob:pv", "/a", "/pv", "", "", false},
        {"x/project:  \"my big project\"rest /comp:\"c d", "", "", "my big project", "c d", false},
        {"/project:p1 /show_project_vobs", "", "", "p1", "", true},
        {"/VOB:x /Comp:y", "", "", "", "", false},
        // An option word as the value of another: that value is empty.
        {"/vob: /comp:c", "", "", "", "c", false},
        {"/pvob:/show_project_vobs", "", "", "", "", true},
        // Option words inside a quoted value are its text.
        {"/project:\"p /vob:inner\" /vob:outer", "/outer", "", "p /vob:inner", "", false},
        {"/comp:\"/show_project_vobs\"", "", "", "", "/show_project_vobs", false},
        {"", "", "", "", "", false},
    };
    for (const row &r : rows) {
        WizCommandLine c = WizCommandLine::parse(r.line);
        EXPECT_EQ(c.vob, r.vob) << r.line;
        EXPECT_EQ(c.pvob, r.pvob) << r.line;
        EXPECT_EQ(c.project, r.project) << r.line;
        EXPECT_EQ(c.comp, r.comp) << r.line;
        EXPECT_EQ(c.show_project_vobs, r.show) << r.line;
    }
    const char *argv[] = {"wizard", "/project:my proj", "/comp:", "the comp", "/vob:v", "odd arg"};
    std::string line = WizCommandLine::join(6, argv);
    EXPECT_EQ(line, "/project:\"my proj\" /comp: \"the comp\" /vob:v \"odd arg\"");
    WizCommandLine c = WizCommandLine::parse(line);
    EXPECT_EQ(c.project, "my proj");
    EXPECT_EQ(c.comp, "the comp");
    EXPECT_EQ(c.vob, "/v");
}

TEST(WizSheet, RoutingAndOutcomes) {
    using P = WizPage;
    for (auto [from, to] : std::vector<std::pair<P, P>>{{P::SRC_DEST, P::LEGACY_KIND},
                                                        {P::ITERATE, P::LEGACY_KIND},
                                                        {P::LEGACY_KIND, P::WELCOME},
                                                        {P::PREVIEW, P::SRC_DEST},
                                                        {P::WELCOME, P::STAY},
                                                        {P::IMPORT_PROGRESS, P::STAY}})
        EXPECT_EQ(SheetModel::back(from), to) << int(from);

    // done: the results of the done requests; then where Next leads from
    // the iterate and project pages, and the outcome.
    struct row {
        bool project;
        std::vector<bool> done;
        bool configured;
        P iterate_next, project_next;
        int outcome;
    } rows[] = {
        {false, {}, false, P::IMPORT_SUCCEED, P::PROJECT_FAIL, 2},
        {false, {true, false}, false, P::IMPORT_FAIL, P::PROJECT_FAIL, 1},
        {false, {false}, false, P::IMPORT_FAIL, P::PROJECT_FAIL, 0},
        {true, {true}, false, P::PROJECT_PROGRESS, P::PROJECT_FAIL, 5},
        {true, {true, false}, false, P::PROJECT_FAIL, P::PROJECT_FAIL, 4},
        {true, {false}, false, P::PROJECT_FAIL, P::PROJECT_FAIL, 3},
        {true, {true}, true, P::PROJECT_PROGRESS, P::PROJECT_SUCCEED, 6},
    };
    for (const row &r : rows) {
        SheetModel sheet(WizCommandLine::parse(r.project ? "/project:p" : ""));
        for (size_t i = 0; i < r.done.size(); ++i) {
            auto q = req(std::to_string(i));
            q->ok = r.done[i];
            sheet.add(std::move(q));
        }
        sheet.close_batch();
        sheet.label_types_created = sheet.labels_applied = sheet.baselines_made =
            sheet.configuration_finished = r.configured;
        EXPECT_EQ(sheet.next(P::ITERATE), r.iterate_next) << r.outcome;
        EXPECT_EQ(sheet.next(P::PROJECT_PROGRESS), r.project_next) << r.outcome;
        EXPECT_EQ(sheet.outcome(), r.outcome);
    }
    SheetModel sheet;
    P p = P::WELCOME;
    std::vector<P> path;
    for (int i = 0; i < 5; ++i)
        path.push_back(p = sheet.next(p));
    EXPECT_EQ(path,
              (std::vector<P>{P::LEGACY_KIND, P::SRC_DEST, P::PREVIEW, P::IMPORT_PROGRESS, P::ITERATE}));
    EXPECT_EQ(sheet.next(P::IMPORT_SUCCEED), P::STAY);
}

TEST(WizSheet, PendingRequestsAndTheLegacyKind) {
    SheetModel sheet;
    LegacyKind *rcs = LegacyKind::get(LegacyKind::RCS), *pvcs = LegacyKind::get(LegacyKind::PVCS);
    pvcs->reset_check();
    RecordingUi ui;
    EXPECT_EQ(sheet.leave_kind_page(rcs, &ui), WizPage::SRC_DEST);
    EXPECT_TRUE(sheet.add(req("a")));
    EXPECT_TRUE(sheet.add(req("b")));
    EXPECT_FALSE(sheet.add(req("a")));   // the same pair again
    EXPECT_TRUE(sheet.is_pending(*req("b")));
    FakeRequest other("/elsewhere", "/v/a");
    EXPECT_FALSE(sheet.remove(&other));
    EXPECT_TRUE(sheet.remove(sheet.pending()[1].get()));
    ASSERT_EQ(sheet.pending().size(), 1u);
    sheet.leave_kind_page(rcs, &ui);   // same kind: kept
    EXPECT_EQ(sheet.pending().size(), 1u);
    sheet.leave_kind_page(pvcs, &ui);   // another: dropped
    EXPECT_TRUE(sheet.pending().empty());
    EXPECT_EQ(sheet.kind(), pvcs);
    EXPECT_TRUE(pvcs->check_done());
}

TEST(WizProgress, LastFailureRetryAndSuperseding) {
    SheetModel sheet(WizCommandLine::parse("/project:p"));
    sheet.set_title_lookup([](const std::string &sel) { return "Title of " + sel; });
    ProgressModel progress(&sheet);
    RecordingUi ui;
    sheet.add(req("a"));
    sheet.add(req("b"));
    run(sheet, progress, ui, {true, false});
    // The last request's failure: an error box, no question.
    EXPECT_TRUE(ui.questions.empty());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].first, wiz_box::ERROR);
    EXPECT_EQ(progress.rows()[0].done_icon, true);
    EXPECT_EQ(progress.rows()[1].done_icon, false);
    EXPECT_EQ(sheet.next(WizPage::ITERATE), WizPage::PROJECT_FAIL);
    EXPECT_EQ(sheet.completion_text(WizPage::PROJECT_FAIL),
              wiz_format(IDS_PFAIL_SOME_TITLED, {std::string("Vantor"), std::string("Title of p")}));

    // Retried with success, the failed twin is superseded: all succeeded.
    sheet.add(req("b"));
    run(sheet, progress, ui, {true});
    EXPECT_EQ(sheet.done().size(), 2u);
    ASSERT_EQ(sheet.superseded().size(), 1u);
    EXPECT_EQ(sheet.superseded()[0]->source_text(), "/src/b");
    EXPECT_EQ(sheet.next(WizPage::ITERATE), WizPage::PROJECT_PROGRESS);
    EXPECT_EQ(progress.completion_text(), wiz_string(IDS_RUN_ALL_OK));
    SheetModel::IterateTexts t = sheet.iterate_texts();
    EXPECT_EQ(t.result, "All files were successfully imported into Vantor.");
    EXPECT_EQ(t.project,
              "Otherwise, click Next, and your Vantor project entitled \"Title of p\" will be "
              "configured to view the imported files.");
    EXPECT_FALSE(t.error_icon);

    static_cast<FakeRequest *>(sheet.done()[0].get())->examined = 7;
    static_cast<FakeRequest *>(sheet.done()[1].get())->created = 2;
    sheet.label_name = "IMPORTED_1";
    EXPECT_NE(
        sheet.completion_text(WizPage::PROJECT_SUCCEED)
            .find("There were 7 elements examined during the import; 2 elements were newly created. The "
                  "/main/LATEST version of these elements was labeled with the label \"IMPORTED_1\""),
        std::string::npos);
}

TEST(WizProgress, PhasesBarStaleEventsAndStop) {
    SheetModel sheet;
    ProgressModel progress(&sheet);
    RecordingUi ui;
    EXPECT_EQ(progress.activate().kind, WizProgressAction::FINISHED);   // nothing to run
    for (const char *n : {"a", "b", "c"})
        sheet.add(req(n));
    WizProgressAction a = progress.activate();
    ASSERT_EQ(a.kind, WizProgressAction::START);
    WizRequest *r = a.task;
    WizRequest *other = sheet.pending()[1].get();
    auto send = [&](int kind, long b = 0) { return progress.handle(ev(kind, r, b), &ui).kind; };
    send(ImportEvent::START);
    send(ImportEvent::RANGE, 2);
    send(ImportEvent::DIRECTORY);
    EXPECT_TRUE(progress.phases()[1].icon_visible && progress.phases()[2].text_enabled);
    EXPECT_FALSE(progress.phases()[3].text_enabled || progress.bar_enabled());
    for (int i = 0; i < 3; ++i)
        send(ImportEvent::VERSION);
    EXPECT_TRUE(progress.bar_enabled() && progress.phases()[3].text_enabled);
    EXPECT_EQ(progress.bar_max(), 2);
    EXPECT_EQ(progress.bar_position(), 2);
    // An event of another request changes nothing.
    EXPECT_EQ(progress.handle(ev(ImportEvent::SUCCEEDED, other), &ui).kind, WizProgressAction::NOTHING);
    EXPECT_EQ(progress.succeeded(), 0);

    progress.stop_requested();
    static_cast<FakeRequest *>(r)->ok = true;
    EXPECT_EQ(send(ImportEvent::SUCCEEDED), WizProgressAction::FINISHED);
    EXPECT_TRUE(progress.phases()[3].icon_visible);
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_EQ(sheet.run_count(), 3);
    EXPECT_EQ(sheet.run_succeeded(), 1);
    EXPECT_EQ(sheet.done().size(), 3u);
    EXPECT_EQ(send(ImportEvent::FAILED), WizProgressAction::NOTHING);   // after the end
}

TEST(WizSheet, TheCancelQuestion) {
    struct row {
        WizPage page;
        bool project, imported, yes;
        SheetModel::CancelAnswer want;
        bool asked;
    } rows[] = {
        {WizPage::ITERATE, true, true, true, SheetModel::CancelAnswer::GO_PROJECT_PROGRESS, true},
        {WizPage::SRC_DEST, true, true, false, SheetModel::CancelAnswer::CANCEL, true},
        {WizPage::ITERATE, true, false, true, SheetModel::CancelAnswer::CANCEL, false},
        {WizPage::PREVIEW, false, true, true, SheetModel::CancelAnswer::CANCEL, false},
        {WizPage::WELCOME, true, true, true, SheetModel::CancelAnswer::CANCEL, false},
    };
    for (const row &r : rows) {
        SheetModel sheet(WizCommandLine::parse(r.project ? "/project:p" : ""));
        auto q = req("a");
        q->ok = r.imported;
        sheet.add(std::move(q));
        sheet.close_batch();
        RecordingUi ui;
        ui.answers = {r.yes};
        EXPECT_EQ(sheet.cancel(r.page, &ui), r.want) << int(r.page);
        EXPECT_EQ(ui.questions.size(), r.asked ? 1u : 0u) << int(r.page);
        if (r.asked) {   // no project layer: the title is empty
            EXPECT_EQ(ui.questions[0],
                      wiz_format(IDS_CANCEL_PROJECT, {std::string("Vantor"), std::string()}));
        }
    }
}
