// VantorImportWizard from start to exit.
//
// Order matters: the temporary view exists before the sheet is made and is
// removed after it closed, before the project's integration stream is set
// up (the stream's view must not see the wizard's own view); an exception
// that escaped the sheet is raised again only after that clean-up.
#include "wizard/gui/gui_app.h"

#include <QApplication>
#include <QMessageBox>
#include <QStyleFactory>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>

#include "runtime/imsg.h"
#include "runtime/ks.h"
#include "runtime/version.h"
#include "wizard/gui/gui_sheet.h"
#include "wizard/wiz_dest.h"
#include "wizard/wiz_error.h"
#include "wizard/wiz_project.h"
#include "wizard/wiz_strings.h"

void libvelkimport_print_verid();

namespace {

const char USAGE[] =
    "Usage: VantorImportWizard [/vob:TAG] [/pvob:TAG] [/project:SELECTOR] [/comp:SELECTOR]\n"
    "                          [/show_project_vobs]\n"
    "       VantorImportWizard -Ver | -VerAll | -V | --version | --help\n"
    "\n"
    "Imports the history of files kept in RCS, MKS Source Integrity, PVCS Version\n"
    "Manager, Visual SourceSafe or ordinary files into VOBs, one request at a time.\n"
    "\n"
    "  /vob:TAG            show only this VOB in the destination tree\n"
    "  /pvob:TAG           the project VOB of the project and its component\n"
    "  /project:SELECTOR   the project to give the imported files to: they are\n"
    "                      labelled, made into baselines of /comp:, and the\n"
    "                      project's integration stream is set up at exit\n"
    "  /comp:SELECTOR      the component whose baselines are made\n"
    "  /show_project_vobs  list project VOBs in the destination tree too\n"
    "  -Ver, -VerAll       print the version (with -VerAll, of the libraries too)\n"
    "  -V, --version       print the version, as -Ver does\n"
    "  --help              print this help\n"
    "\n"
    "A value holding blanks is quoted: /project:\"My project@/pvob\".\n"
    "Needs a display (DISPLAY or WAYLAND_DISPLAY), or QT_QPA_PLATFORM=offscreen.\n";

// -Ver, -VerAll, -V, --version and --help, which need no display: true when one was given
// (and answered).
bool answered_without_display(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        int all = 0;
        if (ks_is_version_request(argv[i], &all) || std::strcmp(argv[i], "--version") == 0 ||
            std::strcmp(argv[i], "-V") == 0) {
            ks_print_banner("VantorImportWizard");
            if (all) {
                libvelkimport_print_verid();
                ks_print_banner("libvelkvob");
                ks_print_banner("libvelksum");
            }
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(USAGE, stdout);
            return true;
        }
    }
    return false;
}

// A word that is none of the wizard's options is most likely a typing
// slip; the wizard still starts (the option words are looked for anywhere
// in the line), but says so on standard error.
void warn_unknown_words(int argc, char **argv) {
    static const char *const words[] = {"/vob:", "/pvob:", "/project:", "/comp:", "/show_project_vobs"};
    for (int i = 1; i < argc; ++i) {
        bool known = false;
        for (const char *w : words)
            known = known || std::strncmp(argv[i], w, std::strlen(w)) == 0;
        if (!known && argv[i][0] == '/' && std::strchr(argv[i], ':') == nullptr)
            std::fprintf(stderr, "VantorImportWizard: Warning: \"%s\" is not an option of the wizard.\n", argv[i]);
    }
}

}   // namespace

int wiz_app_main(int argc, char **argv, const WizAppHooks *hooks) {
    ks_system_init();
    if (answered_without_display(argc, argv)) {
        std::fflush(stdout);
        return 0;
    }
    std::setlocale(LC_ALL, "");
    WizCommandLine options = WizCommandLine::parse(WizCommandLine::join(argc, argv));
    warn_unknown_words(argc, argv);

    QApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QApplication app(argc, argv);
    // One look on every desktop (and in the tests' pictures).
    if (QStyle *fusion = QStyleFactory::create("Fusion"))
        QApplication::setStyle(fusion);
    QApplication::setApplicationName(QString::fromStdString(wiz_title()));
    QApplication::setOrganizationName("Velk");
    imsg_set_app_name(wiz_title().c_str());
    imsg_suppress_prefix(1);
    DynamicContext running(wiz_format(IDS_CTX_RUNNING, {wiz_title()}));

    const char *tmp = std::getenv("TMP"), *temp = std::getenv("TEMP");
    if ((!tmp || !*tmp) && temp && *temp)
        ::setenv("TMP", temp, 1);

    std::unique_ptr<TempSnapshotView> view;
    try {
        view = std::make_unique<TempSnapshotView>();
    } catch (const VantorException &e) {
        QMessageBox box(QMessageBox::Critical, QString::fromStdString(wiz_title()),
                        QString::fromStdString(wiz_format(IDS_NO_TEMP_VIEW, {e.message()})), QMessageBox::Ok);
        box.setObjectName("wizMessageBox");
        if (hooks && hooks->no_view)
            QTimer::singleShot(0, &box, [&box, hooks] { hooks->no_view(box); });
        box.exec();
        return 1;
    }

    std::exception_ptr escaped;
    auto sheet = std::make_unique<SheetImport>(view.get(), options);
    try {
        if (hooks && hooks->shown)
            QTimer::singleShot(0, sheet.get(), [&sheet, hooks] { hooks->shown(*sheet); });
        sheet->exec();
    } catch (...) {
        escaped = std::current_exception();
    }
    view.reset();
    if (!options.project.empty())
        wiz_configure_istream(sheet->model());
    sheet.reset();
    if (escaped)
        std::rethrow_exception(escaped);
    return 0;
}
