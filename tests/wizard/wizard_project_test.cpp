// The project configuration end to end: imports into two VOBs, the
// worker's labels and baselines through its thread and page, the stream at
// exit and a view of it; and the ways it fails.
#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/orbis/orbis.h"
#include "platform/orbis/sum.h"
#include "platform/registry/vob_tag.h"
#include "platform/view/view.h"
#include "tests/common/testvob.h"
#include "wizard/wiz_project.h"
#include "wizard/wiz_sheet.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_task.h"
#include "wizard/wiz_thread.h"
#include "wizard/wiz_ui.h"
#include "wizard/wiz_dest.h"
#include "wizard/wiz_progress.h"
#include "wizard/wiz_source.h"

namespace fs = std::filesystem;

namespace {

struct Ui : WizUi {
    std::vector<std::string> boxes;
    void message_box(wiz_box, const std::string &text) override { boxes.push_back(text); }
    bool ask_yes_no(const std::string &) override { return true; }
};

class WizardProjectTest : public testvob::VobTest {
protected:
    void SetUp() override {
        testvob::VobTest::SetUp();
        tools = tmp + "/tools";
        src = tmp + "/src";
        fs::create_directories(tools);
        fs::create_directories(tmp + "/work");
        fs::create_symlink(FFILE_EXPORTER, tools + "/vantexport_ffile");
        ::setenv("VANTOR_TOOL_DIR", tools.c_str(), 1);
        ::setenv("TMP", (tmp + "/work").c_str(), 1);
        for (std::string tag : {"/w", "/x"}) {
            vob_t *v = make_vob(tag);
            ASSERT_NE(v, nullptr);
            vob_close(v);
        }
        std::string err;
        ASSERT_EQ(vob_make("/pv", "", 1, nullptr, &err), VOB_OK) << err;
        ASSERT_EQ(vob_open_tag("/pv", &pvob, &err), VOB_OK) << err;
        vob_oid cw = 0, cx = 0, p = 0;
        ASSERT_EQ(orb_component_create(pvob, "compW", "/w", "", nullptr, &cw), VOB_OK) << vob_errmsg(pvob);
        ASSERT_EQ(orb_component_create(pvob, "compX", "/x", "", nullptr, &cx), VOB_OK) << vob_errmsg(pvob);
        ASSERT_EQ(orb_project_create(pvob, "P", "Payroll", nullptr, &p), VOB_OK) << vob_errmsg(pvob);
        ASSERT_EQ(orb_project_add_mod_comp(pvob, p, cw), VOB_OK);
        ASSERT_EQ(orb_project_add_mod_comp(pvob, p, cx), VOB_OK);
        for (std::string d : {"a", "a/sub", "b"})
            fs::create_directories(src + "/" + d);
        std::ofstream(src + "/a/one.c") << "one\n";
        std::ofstream(src + "/a/sub/two.c") << "two\n";
        std::ofstream(src + "/b/three.c") << "three\n";
        view = std::make_unique<TempSnapshotView>();
    }
    void TearDown() override {
        view.reset();
        vob_close(pvob);
        ::unsetenv("VANTOR_TOOL_DIR");
        ::unsetenv("TMP");
        testvob::VobTest::TearDown();
    }
    std::unique_ptr<ImportTask> task(const std::string &object, const std::string &tag) {
        auto repo = std::make_unique<LegacyRepository>(LegacyKind::get(LegacyKind::FFILE), src);
        auto obj = std::make_unique<LegacyObject>(std::move(repo), object, object);
        return std::make_unique<ImportTask>(std::move(obj),
                                            std::make_unique<ImportDestination>(view.get(), tag, ""));
    }
    // The sheet's pending requests run through the import thread.
    void run_batch(SheetModel &sheet) {
        ProgressModel progress(&sheet);
        QEventLoop loop;
        QObject receiver;
        std::unique_ptr<ImportThread> thread;
        auto act = [&](const WizProgressAction &a) {
            if (a.kind == WizProgressAction::START)
                thread->start(static_cast<ImportTask *>(a.task));
            else if (a.kind == WizProgressAction::FINISHED)
                loop.quit();
        };
        thread = std::make_unique<ImportThread>(&receiver,
                                                [&](const ImportEvent &ev) { act(progress.handle(ev, &ui)); });
        WizProgressAction first = progress.activate();
        act(first);
        if (first.kind == WizProgressAction::START) {
            QTimer::singleShot(60000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        thread->stop();
    }
    // The project page's worker through its thread; the kinds it sent.
    std::vector<int> configure(SheetModel &sheet, ProjectProgressModel &page) {
        std::vector<int> kinds;
        QEventLoop loop;
        QObject receiver;
        page.activate();
        ProjectThread worker(&receiver, [&](const ProjectEvent &ev) {
            kinds.push_back(ev.kind);
            page.handle(ev, &ui);
            if (ev.kind == ProjectEvent::FINISHED || ev.kind == ProjectEvent::FAILED)
                loop.quit();
        });
        worker.start(&sheet);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        worker.join();
        return kinds;
    }
    std::string label_today() { return wiz_label_base_name(std::time(nullptr)); }
    orb_stream default_stream() {
        vob_oid p = 0;
        orb_project pr;
        orb_stream st;
        EXPECT_EQ(orb_project_find(pvob, "P", &p), VOB_OK);
        EXPECT_EQ(orb_project_get(pvob, p, &pr), VOB_OK);
        if (pr.istream) {
            EXPECT_EQ(orb_stream_get(pvob, pr.istream, &st), VOB_OK);
        }
        return st;
    }
    std::vector<std::string> foundation_names(const orb_stream &st) {
        std::vector<std::string> names;
        for (vob_oid b : st.foundation) {
            orb_baseline bl;
            EXPECT_EQ(orb_baseline_get(pvob, b, &bl), VOB_OK);
            names.push_back(bl.name);
        }
        return names;
    }

    Ui ui;
    std::string tools, src;
    vob_t *pvob = nullptr;
    std::unique_ptr<TempSnapshotView> view;
};

// Two requests into the two VOBs of the project's components; /x has a
// label type of the day's name already, so the label gets ".1" in both.
TEST_F(WizardProjectTest, ImportLabelBaselineStreamAndItsView) {
    {
        vob_t *x = nullptr;
        std::string err;
        ASSERT_EQ(vob_open_tag("/x", &x, &err), VOB_OK);
        ASSERT_EQ(vob_type_create(x, VOB_MT_LBTYPE, label_today(), nullptr, nullptr), VOB_OK);
        vob_close(x);
    }
    SheetModel sheet(WizCommandLine::parse("/project:P /pvob:/pv /comp:compW"));
    sheet.leave_kind_page(LegacyKind::get(LegacyKind::FFILE), &ui);
    EXPECT_EQ(sheet.project_title(), "Payroll");
    ASSERT_TRUE(sheet.add(task("a", "/w")));
    ASSERT_TRUE(sheet.add(task("b", "/x")));
    run_batch(sheet);
    ASSERT_EQ(sheet.outcome(), 5);
    EXPECT_EQ(sheet.next(WizPage::ITERATE), WizPage::PROJECT_PROGRESS);

    ProjectProgressModel page(&sheet);
    std::vector<int> kinds = configure(sheet, page);
    long work = sheet.done()[0]->label_work() + sheet.done()[1]->label_work();
    std::vector<int> expected = {0, 1};
    expected.insert(expected.end(), size_t(work), 2);
    expected.insert(expected.end(), {3, 4, 5});
    EXPECT_EQ(kinds, expected) << (ui.boxes.empty() ? "" : ui.boxes[0]);
    EXPECT_EQ(page.header_text(), "Configuring your \"Payroll\" project to view the imported files");
    EXPECT_EQ(page.bar_max(), work);
    EXPECT_EQ(page.bar_position(), work);
    EXPECT_EQ(page.status_text(), wiz_string(IDS_PROJECT_DONE));
    EXPECT_FALSE(page.error_icon());
    EXPECT_EQ(sheet.label_name, label_today() + ".1");
    EXPECT_TRUE(sheet.project_configured());
    EXPECT_EQ(sheet.outcome(), 6);
    EXPECT_EQ(sheet.next(WizPage::PROJECT_PROGRESS), WizPage::PROJECT_SUCCEED);
    EXPECT_NE(sheet.completion_text(WizPage::PROJECT_SUCCEED).find("\"" + sheet.label_name + "\""),
              std::string::npos);
    // One import baseline per VOB, each of the component rooted there.
    ASSERT_EQ(sheet.baseline_list.size(), 2u);
    std::vector<orb_baseline> bls;
    ASSERT_EQ(orb_baseline_list(pvob, 0, &bls), VOB_OK);
    std::vector<std::string> made;
    for (const orb_baseline &b : bls)
        if (b.kind == ORB_BL_IMPORT) {
            made.push_back(b.comp_name + ":" + b.lbtype);
            EXPECT_EQ(b.ev.comment, wiz_string(IDS_BASELINE_COMMENT));
        }
    EXPECT_EQ(made, (std::vector<std::string>{"compW:" + sheet.label_name, "compX:" + sheet.label_name}));

    // At exit: the stream sees both import baselines.
    view.reset();
    ASSERT_TRUE(wiz_configure_istream(sheet));
    orb_stream st = default_stream();
    EXPECT_EQ(st.name, "IntegrationStream");
    EXPECT_EQ(st.kind, ORB_ST_INTEGRATION);
    EXPECT_EQ(foundation_names(st).size(), 2u);

    // A view of the stream holds what was imported, and only that.
    std::string spec, err;
    std::vector<std::string> scope;
    ASSERT_EQ(orb_stream_config(pvob, st.oid, &spec, &scope), VOB_OK) << vob_errmsg(pvob);
    EXPECT_EQ(scope, (std::vector<std::string>{"/w", "/x"}));
    std::string root = tmp + "/sv";
    ASSERT_EQ(view_make("sv", root, &err), VOB_OK) << err;
    view_t *sv = nullptr;
    ASSERT_EQ(view_open(root, &sv, &err), VOB_OK) << err;
    ASSERT_EQ(view_set_config_spec(sv, spec), VOB_OK) << view_errmsg(sv);
    for (const std::string &tag : scope)
        ASSERT_EQ(view_add_scope(sv, tag), VOB_OK);
    ASSERT_EQ(view_update(sv, nullptr, nullptr, nullptr), VOB_OK) << view_errmsg(sv);
    for (auto [tag, dir] : {std::pair{"/w", "a"}, {"/x", "b"}}) {
        std::vector<view_diff_item> diff;
        ASSERT_EQ(view_diff(sv, root + tag + "/" + dir, src + "/" + dir, 1, 0, &diff, nullptr), VOB_OK)
            << view_errmsg(sv);
        EXPECT_TRUE(diff.empty()) << tag << ": " << diff.size() << " " << (diff.empty() ? "" : diff[0].path);
    }
    EXPECT_TRUE(fs::exists(root + "/w/a/sub/two.c"));
    EXPECT_FALSE(fs::exists(root + "/w/lost+found"));
    view_close(sv);

    // A later run's baselines rebase the same stream.
    view = std::make_unique<TempSnapshotView>();
    std::ofstream(src + "/a/new.c") << "new\n";
    SheetModel again(WizCommandLine::parse("/project:project:P@/pv /comp:compW@/pv"));
    again.leave_kind_page(LegacyKind::get(LegacyKind::FFILE), &ui);
    EXPECT_EQ(again.project_vob(), "/pv");
    ASSERT_TRUE(again.add(task("a", "/w")));
    run_batch(again);
    ProjectProgressModel page2(&again);
    configure(again, page2);
    EXPECT_EQ(again.label_name, label_today());   // /w has only the ".1" one
    ASSERT_TRUE(again.project_configured()) << (ui.boxes.empty() ? "" : ui.boxes.back());
    view.reset();
    ASSERT_TRUE(wiz_configure_istream(again));
    orb_stream st2 = default_stream();
    EXPECT_EQ(st2.oid, st.oid);
    std::vector<std::string> names = foundation_names(st2);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], label_today());   // compW's, new
    EXPECT_EQ(names[1], foundation_names(st)[1]);   // compX's, kept
}

// The ways the configuration fails, each leaving what was done.
TEST_F(WizardProjectTest, FailuresOfTheConfiguration) {
    // All requests failed: label types made, no baseline from a label on
    // nothing, the project-failed page with outcome 3.
    {
        fs::remove(tools + "/vantexport_ffile");
        std::ofstream(tools + "/vantexport_ffile") << "#!/bin/sh\nexit 3\n";
        fs::permissions(tools + "/vantexport_ffile", fs::perms::owner_all);
        SheetModel sheet(WizCommandLine::parse("/project:P /pvob:/pv /comp:compW"));
        sheet.leave_kind_page(LegacyKind::get(LegacyKind::FFILE), &ui);
        ASSERT_TRUE(sheet.add(task("a", "/w")));
        run_batch(sheet);
        ASSERT_EQ(sheet.outcome(), 3);
        ASSERT_EQ(ui.boxes.size(), 1u);   // the import's own failure
        ui.boxes.clear();
        ProjectProgressModel page(&sheet);
        EXPECT_EQ(configure(sheet, page), (std::vector<int>{0, 1, 3, 6}));
        EXPECT_TRUE(sheet.label_types_created && sheet.labels_applied);
        EXPECT_FALSE(sheet.baselines_made || sheet.configuration_finished);
        EXPECT_EQ(sheet.outcome(), 3);
        EXPECT_EQ(sheet.next(WizPage::PROJECT_PROGRESS), WizPage::PROJECT_FAIL);
        EXPECT_EQ(page.status_text(), wiz_string(IDS_PROJECT_ERROR));
        EXPECT_TRUE(page.error_icon());
        vob_t *w = nullptr;
        std::string err;
        ASSERT_EQ(vob_open_tag("/w", &w, &err), VOB_OK);
        vob_oid lbtype = 0;
        EXPECT_EQ(vob_type_find(w, VOB_MT_LBTYPE, sheet.label_name, &lbtype), VOB_OK);
        vob_close(w);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].rfind(wiz_format(IDS_ERROR_WHILE, {wiz_format(IDS_CTX_BASELINE, {sheet.label_name,
                                                                                               "/w"}),
                                                                 ""}),
                                    0),
                  0u)
            << ui.boxes[0];
        std::ifstream log(sheet.log().path());
        EXPECT_TRUE(log.good());
        fs::remove(tools + "/vantexport_ffile");
        fs::create_symlink(FFILE_EXPORTER, tools + "/vantexport_ffile");
        ui.boxes.clear();
    }
    // No component: event 6 naming the baseline step, then outcome 5.
    {
        SheetModel sheet(WizCommandLine::parse("/project:P /pvob:/pv"));
        sheet.leave_kind_page(LegacyKind::get(LegacyKind::FFILE), &ui);
        ASSERT_TRUE(sheet.add(task("a", "/w")));
        run_batch(sheet);
        ProjectProgressModel page(&sheet);
        std::vector<int> kinds = configure(sheet, page);
        EXPECT_EQ(kinds.back(), 6);
        EXPECT_TRUE(sheet.labels_applied);
        EXPECT_EQ(sheet.outcome(), 5);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_NE(ui.boxes[0].find(wiz_format(IDS_CTX_BASELINE, {sheet.label_name, "/w"})), std::string::npos);
        EXPECT_EQ(sheet.completion_text(WizPage::PROJECT_FAIL),
                  wiz_format(IDS_PFAIL_CONFIG_TITLED, {wiz_product(), std::string("Payroll")}));
    }
    // Cancelled before any import: the stream is still made at exit, of the
    // initial baselines; an unknown project fails silently, into the log.
    {
        view.reset();
        SheetModel sheet(WizCommandLine::parse("/project:P /pvob:/pv /comp:compW"));
        sheet.leave_kind_page(LegacyKind::get(LegacyKind::FFILE), &ui);
        ASSERT_TRUE(wiz_configure_istream(sheet));
        orb_stream st = default_stream();
        EXPECT_EQ(foundation_names(st), (std::vector<std::string>{"compW_INITIAL", "compX_INITIAL"}));
        SheetModel unknown(WizCommandLine::parse("/project:Q /pvob:/pv"));
        unknown.leave_kind_page(LegacyKind::get(LegacyKind::FFILE), &ui);
        EXPECT_FALSE(wiz_configure_istream(unknown));
        std::ifstream in(unknown.log().path());
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_NE(text.str().find("ERROR MESSAGE:"), std::string::npos);
        SheetModel none;
        EXPECT_FALSE(wiz_configure_istream(none));   // no project: nothing
    }
}

}   // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
