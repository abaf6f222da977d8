// The iterate page: the result of the runs so far, and the way back to
// import more.
#include <QAbstractButton>
#include <QGridLayout>
#include <QLabel>

#include "wizard/gui/gui_look.h"
#include "wizard/gui/gui_pages.h"
#include "wizard/wiz_strings.h"

PageIterate::PageIterate(SheetImport *sheet) : WizPageBase(sheet, WizPage::ITERATE, false) {
    setTitle(qs(wiz_string(IDS_ITERATE_HEADER)));
    setSubTitle(qs(wiz_string(IDS_ITERATE_SUBTITLE)));
    auto *grid = new QGridLayout(this);
    error_icon_ = make_error_icon();
    result_ = make_label("resultText");
    back_ = make_label("backText");
    project_ = make_label("projectText");
    grid->addWidget(error_icon_, 0, 0, Qt::AlignTop);
    grid->addWidget(result_, 0, 1);
    grid->addWidget(back_, 1, 1);
    grid->addWidget(project_, 2, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(1, 1);
    grid->setVerticalSpacing(14);
}

void PageIterate::on_active() {
    SheetModel::IterateTexts t = sheet()->model().iterate_texts();
    result_->setText(qs(t.result));
    back_->setText(qs(t.back));
    project_->setText(qs(t.project));
    project_->setVisible(!t.project.empty());
    error_icon_->setVisible(t.error_icon);
    sheet()->set_buttons(SheetImport::BACK | SheetImport::NEXT);
    sheet()->next_button()->setFocus();
}

bool PageIterate::query_cancel() { return ask_cancel(); }
