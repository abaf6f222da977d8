// The legacy-kind page: which kind of repository the files come from.
#include <QComboBox>
#include <QLabel>
#include <QVBoxLayout>

#include "wizard/gui/gui_pages.h"
#include "wizard/gui/gui_ui.h"
#include "wizard/wiz_legacy.h"
#include "wizard/wiz_strings.h"

PageLegacyKind::PageLegacyKind(SheetImport *sheet) : WizPageBase(sheet, WizPage::LEGACY_KIND, false) {
    setTitle(qs(wiz_string(IDS_KIND_HEADER)));
    setSubTitle(qs(wiz_string(IDS_KIND_SUBTITLE)));
    auto *box = new QVBoxLayout(this);
    QLabel *text = make_label("kindText", qs(wiz_string(IDS_KIND_TEXT)));
    box->addWidget(text);
    box->addSpacing(12);
    kinds_ = new QComboBox(this);
    kinds_->setObjectName("kindList");
    kinds_->setAccessibleName("Legacy repository kind");
    for (LegacyKind *k : LegacyKind::offered())
        kinds_->addItem(qs(k->display()), QVariant::fromValue(static_cast<void *>(k)));
    kinds_->setCurrentIndex(0);
    kinds_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    text->setBuddy(kinds_);
    auto *row = new QHBoxLayout;
    row->addWidget(kinds_);
    row->addStretch(1);
    box->addLayout(row);
    box->addStretch(1);
}

void PageLegacyKind::on_active() {
    sheet()->set_buttons(SheetImport::BACK | SheetImport::NEXT);
    kinds_->setFocus();
}

WizPage PageLegacyKind::wizard_next() {
    auto *kind = static_cast<LegacyKind *>(kinds_->currentData().value<void *>());
    return sheet()->model().leave_kind_page(kind, sheet()->ui());
}

bool PageLegacyKind::query_cancel() { return ask_cancel(); }
