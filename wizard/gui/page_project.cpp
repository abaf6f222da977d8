// The project progress page: the project worker labels what was imported
// and makes the baselines; the page shows its progress and its result.
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "wizard/gui/gui_look.h"
#include "wizard/gui/gui_pages.h"
#include "wizard/gui/gui_ui.h"
#include "wizard/wiz_strings.h"

PageProjectProgress::PageProjectProgress(SheetImport *sheet)
    : WizPageBase(sheet, WizPage::PROJECT_PROGRESS, false) {
    setTitle(qs(wiz_string(IDS_PROJECT_HEADER)));
    // The header shows only with a subtitle.
    setSubTitle(" ");
    model_ = std::make_unique<ProjectProgressModel>(&sheet->model());
    auto *grid = new QGridLayout(this);
    header_ = make_label("headerText");
    bar_ = new QProgressBar(this);
    bar_->setObjectName("progressBar");
    bar_->setAccessibleName("Project configuration progress");
    bar_->setTextVisible(false);
    error_icon_ = make_error_icon();
    status_ = make_label("statusText");
    grid->addWidget(header_, 0, 0, 1, 2);
    grid->addWidget(bar_, 1, 0, 1, 2);
    grid->addWidget(error_icon_, 2, 0, Qt::AlignTop);
    grid->addWidget(status_, 2, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(3, 1);
    grid->setVerticalSpacing(14);
    status_->hide();
}

PageProjectProgress::~PageProjectProgress() { stop_work(); }

void PageProjectProgress::stop_work() { thread_.reset(); }

bool PageProjectProgress::busy() const { return thread_ && !thread_->finished(); }

void PageProjectProgress::on_active() {
    // Next at once: the user may go on while the worker runs.
    sheet()->set_buttons(SheetImport::NEXT);
    thread_.reset();
    model_->activate();
    show_model();
    thread_ = std::make_unique<ProjectThread>(this, [this](const ProjectEvent &ev) { handle(ev); });
    thread_->start(&sheet()->model());
}

void PageProjectProgress::handle(const ProjectEvent &event) {
    model_->handle(event, sheet()->ui());
    show_model();
}

void PageProjectProgress::show_model() {
    header_->setText(qs(model_->header_text()));
    bar_->setRange(0, model_->bar_max());
    bar_->setValue(model_->bar_position());
    status_->setText(qs(model_->status_text()));
    status_->setVisible(!model_->status_text().empty());
    error_icon_->setVisible(model_->error_icon());
}
