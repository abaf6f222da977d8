// The wizard's window and what its pages share.
#include "wizard/gui/gui_sheet.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSettings>

#include "wizard/gui/gui_look.h"
#include "wizard/gui/gui_pages.h"
#include "wizard/gui/gui_ui.h"
#include "wizard/wiz_dest.h"
#include "wizard/wiz_strings.h"

namespace {

constexpr QWizard::WizardButton BACK_BUTTON = QWizard::CustomButton1;
constexpr QWizard::WizardButton NEXT_BUTTON = QWizard::CustomButton2;
constexpr QWizard::WizardButton FINISH_BUTTON = QWizard::CustomButton3;

// The profile the window's size is kept in: "Velk/Vantor/CurrentVersion"
// under the wizard's title, in the user's configuration directory.
QSettings *profile() {
    static QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Velk", "Vantor");
    return &settings;
}
QString profile_key() { return "CurrentVersion/" + qs(wiz_title()) + "/geometry"; }

void name_button(QAbstractButton *b, const char *name, const QString &text) {
    b->setObjectName(name);
    b->setText(text);
    b->setAccessibleName(QString(text).remove('&').remove('<').remove('>').trimmed());
}

}   // namespace

WizPageBase::WizPageBase(SheetImport *sheet, WizPage id, bool exterior)
    : sheet_(sheet), id_(id), exterior_(exterior) {
    setObjectName(QString("page%1").arg(int(id)));
    // Before the page has children: they inherit the enlarged font, and the
    // exterior pages' titles keep the font they are given.
    wiz_apply_dialog_font(this);
    if (exterior)
        setPixmap(QWizard::WatermarkPixmap, wiz_watermark_pixmap());
}

WizPage WizPageBase::wizard_next() { return sheet_->model().next(id_); }
WizPage WizPageBase::wizard_back() { return SheetModel::back(id_); }

bool WizPageBase::ask_cancel() {
    if (sheet_->model().cancel(id_, sheet_->ui()) == SheetModel::CancelAnswer::CANCEL)
        return true;
    sheet_->go_to(WizPage::PROJECT_PROGRESS);
    return false;
}

QLabel *WizPageBase::make_label(const char *object_name, const QString &text) {
    auto *label = new QLabel(text, this);
    label->setObjectName(object_name);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setAccessibleName(object_name);
    label->setAccessibleDescription(text);
    return label;
}

QLabel *WizPageBase::make_error_icon() {
    QLabel *icon = make_label("errorIcon");
    icon->setPixmap(wiz_error_icon().pixmap(32));
    icon->setFixedSize(36, 36);
    icon->setAccessibleName("Errors occurred");
    icon->hide();
    return icon;
}

QLabel *WizPageBase::make_title(const char *object_name, const QString &text) {
    QLabel *title = make_label(object_name, text);
    title->setFont(wiz_title_font());
    return title;
}

SheetImport::SheetImport(TempSnapshotView *view, WizCommandLine options, QWidget *parent)
    : QWizard(parent), view_(view), model_(std::make_unique<SheetModel>(std::move(options))),
      ui_(std::make_unique<GuiUi>(this)) {
    setObjectName("SheetImport");
    setWindowTitle(qs(wiz_title()));
    setAccessibleName(qs(wiz_title()));
    setWizardStyle(QWizard::ModernStyle);
    setOption(QWizard::NoCancelButtonOnLastPage, false);
    setOption(QWizard::HaveHelpButton, false);
    setPixmap(QWizard::LogoPixmap, wiz_header_pixmap());

    const WizCommandLine &o = model_->options();
    dest_tree_ = std::make_unique<TreeVob>(view, o.vob, o.show_project_vobs);
    dest_tree_->set_ui(ui_.get());

    // The pages in the sheet's order; the welcome page starts.
    std::vector<WizPageBase *> pages = {
        new PageExterior(this, WizPage::WELCOME),      new PageLegacyKind(this),
        new PageSrcDest(this),                         new PageImportPreview(this),
        new PageImportProgress(this),                  new PageIterate(this),
        new PageProjectProgress(this),                 new PageExterior(this, WizPage::IMPORT_SUCCEED),
        new PageExterior(this, WizPage::IMPORT_FAIL),  new PageExterior(this, WizPage::PROJECT_SUCCEED),
        new PageExterior(this, WizPage::PROJECT_FAIL),
    };
    for (WizPageBase *p : pages) {
        setPage(int(p->id()), p);
        pages_[p->id()] = p;
    }
    setStartId(int(WizPage::WELCOME));

    // Back, Next and Finish are ours (see the header); Cancel stays the
    // wizard's, through reject().
    setOption(QWizard::HaveCustomButton1, true);
    setOption(QWizard::HaveCustomButton2, true);
    setOption(QWizard::HaveCustomButton3, true);
    setButtonLayout({QWizard::Stretch, BACK_BUTTON, NEXT_BUTTON, FINISH_BUTTON, QWizard::CancelButton});
    name_button(back_button(), "backButton", "< &Back");
    name_button(next_button(), "nextButton", "&Next >");
    name_button(finish_button(), "finishButton", "&Finish");
    name_button(cancel_button(), "cancelButton", "Cancel");
    connect(this, &QWizard::customButtonClicked, this, [this](int which) {
        if (which == BACK_BUTTON)
            on_back();
        else if (which == NEXT_BUTTON)
            on_next();
        else if (which == FINISH_BUTTON)
            on_finish();
    });
    connect(this, &QWizard::currentIdChanged, this, &SheetImport::on_page_changed);
    set_buttons(0);
    wiz_apply_dialog_font(this);
    resize(780, 580);
    restore_geometry();
}

SheetImport::~SheetImport() {
    // The pages stop their threads before the requests they run go away,
    // and go before the trees they show; no page is activated on the way.
    blockSignals(true);
    for (auto &[id, page] : pages_)
        page->stop_work();
    for (auto &[id, page] : pages_) {
        removePage(int(id));
        delete page;
    }
    pages_.clear();
}

QAbstractButton *SheetImport::back_button() const { return button(BACK_BUTTON); }
QAbstractButton *SheetImport::next_button() const { return button(NEXT_BUTTON); }
QAbstractButton *SheetImport::finish_button() const { return button(FINISH_BUTTON); }
QAbstractButton *SheetImport::cancel_button() const { return button(QWizard::CancelButton); }

WizPageBase *SheetImport::page_of(WizPage id) const {
    auto it = pages_.find(id);
    return it == pages_.end() ? nullptr : it->second;
}
WizPageBase *SheetImport::active_page() const { return page_of(WizPage(currentId())); }
WizPage SheetImport::active_id() const { return WizPage(currentId()); }

void SheetImport::set_buttons(int mask) {
    buttons_ = mask;
    bool finish = mask & FINISH;
    back_button()->setEnabled(mask & BACK);
    next_button()->setVisible(!finish);
    next_button()->setEnabled(mask & NEXT);
    finish_button()->setVisible(finish);
    finish_button()->setEnabled(finish);
    // Enter presses the button that moves on.
    for (QAbstractButton *b : {next_button(), finish_button()})
        if (auto *push = qobject_cast<QPushButton *>(b))
            push->setDefault(b->isVisible() && b->isEnabled());
}

void SheetImport::set_cancel_enabled(bool on) { cancel_button()->setEnabled(on); }

void SheetImport::set_finish_text(const QString &text) { name_button(finish_button(), "finishButton", text); }

void SheetImport::go_to(WizPage page) {
    if (page == WizPage::STAY || page == active_id())
        return;
    int target = int(page);
    // The pages passed on the way back are not activated.
    moving_ = true;
    if (visitedIds().contains(target)) {
        while (currentId() != target)
            back();
    } else {
        forced_next_ = target;
        next();
        forced_next_ = -1;
    }
    moving_ = false;
    on_page_changed(currentId());
}

void SheetImport::on_page_changed(int id) {
    if (moving_)
        return;
    if (WizPageBase *p = page_of(WizPage(id))) {
        set_buttons(0);
        p->on_active();
    }
}

void SheetImport::on_back() { move(BACK, &WizPageBase::wizard_back); }
void SheetImport::on_next() { move(NEXT, &WizPageBase::wizard_next); }

// The page decides where its button leads, under the wait cursor.
void SheetImport::move(int button, WizPage (WizPageBase::*route)()) {
    WizPageBase *p = active_page();
    if (!p || !(buttons_ & button))
        return;
    WizPage to;
    {
        WizWaitCursor wait(ui_.get());
        to = (p->*route)();
    }
    go_to(to);
}

void SheetImport::on_finish() {
    if (buttons_ & FINISH)
        QWizard::accept();
}

void SheetImport::reject() {
    // With Cancel disabled (a run in progress, a completion page) the
    // window's close and Escape are refused too; a completion page closes
    // as its Close button does.
    if (!cancel_button()->isEnabled()) {
        on_finish();
        return;
    }
    WizPageBase *p = active_page();
    if (p && !p->query_cancel())
        return;
    QWizard::reject();
}

void SheetImport::done(int result) {
    save_geometry();
    QWizard::done(result);
}

void SheetImport::keyPressEvent(QKeyEvent *event) {
    // Alt+Left / Alt+Right move like Back and Next, as browsers do.
    if (event->modifiers() == Qt::AltModifier && event->key() == Qt::Key_Left) {
        on_back();
        return;
    }
    if (event->modifiers() == Qt::AltModifier && event->key() == Qt::Key_Right) {
        on_next();
        return;
    }
    QWizard::keyPressEvent(event);
}

void SheetImport::restore_geometry() {
    QByteArray saved = profile()->value(profile_key()).toByteArray();
    if (!saved.isEmpty())
        restoreGeometry(saved);
}

void SheetImport::save_geometry() {
    profile()->setValue(profile_key(), saveGeometry());
    profile()->sync();
}
