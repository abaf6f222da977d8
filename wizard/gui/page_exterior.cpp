// The welcome page and the four completion pages.
#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "wizard/gui/gui_pages.h"
#include "wizard/gui/gui_ui.h"
#include "wizard/wiz_strings.h"

namespace {

bool completion_page(WizPage id) { return id != WizPage::WELCOME; }

bool failure_page(WizPage id) { return id == WizPage::IMPORT_FAIL || id == WizPage::PROJECT_FAIL; }

}   // namespace

PageExterior::PageExterior(SheetImport *sheet, WizPage id) : WizPageBase(sheet, id, true) {
    auto *box = new QVBoxLayout(this);
    std::string product = wiz_product();
    if (!completion_page(id)) {
        box->addWidget(make_title("title", qs(wiz_format(IDS_WELCOME_TITLE, {product}))));
        box->addSpacing(16);
        box->addWidget(make_label("intro", qs(wiz_format(IDS_WELCOME_TEXT, {product}))));
        box->addStretch(1);
        box->addWidget(make_label("continueText", qs(wiz_string(IDS_WELCOME_NEXT))));
        return;
    }
    box->addWidget(make_title("title", qs(wiz_format(IDS_COMPLETE_TITLE, {product}))));
    box->addSpacing(16);
    text_ = make_label("text");
    box->addWidget(text_);
    if (failure_page(id)) {
        auto *log = new QPushButton("Show &Log", this);
        log->setObjectName("showLogButton");
        log->setAccessibleName("Show Log");
        log->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(log, &QPushButton::clicked, this, &PageExterior::show_log);
        box->addSpacing(8);
        box->addWidget(log);
    }
    box->addStretch(1);
    box->addWidget(make_label("closeText", qs(wiz_string(IDS_COMPLETE_CLOSE))));
}

void PageExterior::on_active() {
    if (!completion_page(id())) {
        sheet()->set_buttons(SheetImport::NEXT);
        return;
    }
    // The outcome is known only now.
    QString text = qs(sheet()->model().completion_text(id()));
    text_->setText(text);
    text_->setAccessibleDescription(text);
    sheet()->set_buttons(SheetImport::FINISH);
    sheet()->set_finish_text(qs(wiz_string(IDS_CLOSE_BUTTON)));
    sheet()->set_cancel_enabled(false);
    sheet()->finish_button()->setFocus();
}

void PageExterior::show_log() { sheet()->model().log().show(sheet()->ui()); }
