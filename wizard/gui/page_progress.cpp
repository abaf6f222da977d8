// The import progress page: runs the pending requests on the import thread
// and shows their phases, the bar and each request's result.
//
// Every event the thread sends is handled here on the GUI thread while the
// thread waits, so the widgets always show the state of the model. A ticker
// keeps the elapsed time moving while an exporter runs without events.
#include <QAbstractButton>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <functional>

#include "wizard/gui/gui_look.h"
#include "wizard/gui/gui_pages.h"
#include "wizard/gui/gui_request_list.h"
#include "wizard/gui/gui_ui.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_task.h"
#include "wizard/wiz_tree.h"
#include "wizard/wiz_thread.h"

namespace {

QString elapsed_text(qint64 ms) {
    qint64 s = ms / 1000;
    return s >= 3600 ? QString("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar('0')).arg(s % 60, 2, 10, QChar('0'))
                     : QString("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QChar('0'));
}

// Rows not yet done keep the icon's room, so that the texts line up.
QIcon blank_icon() {
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

QString count_text(long n, const char *one, const char *many) {
    return QString("%L1 %2").arg(n).arg(n == 1 ? one : many);
}

// The page's boxes: the page first shows what the model now says (the phase
// a request failed in), so that the question is asked over the failure.
class ShowingUi : public WizUi {
public:
    ShowingUi(WizUi *ui, std::function<void()> show) : ui_(ui), show_(std::move(show)) {}
    void message_box(wiz_box kind, const std::string &text) override {
        show_();
        ui_->message_box(kind, text);
    }
    bool ask_yes_no(const std::string &text) override {
        show_();
        return ui_->ask_yes_no(text);
    }
    void wait_cursor(bool on) override { ui_->wait_cursor(on); }

private:
    WizUi *ui_;
    std::function<void()> show_;
};

}   // namespace

PageImportProgress::PageImportProgress(SheetImport *sheet)
    : WizPageBase(sheet, WizPage::IMPORT_PROGRESS, false) {
    setTitle(qs(wiz_string(IDS_PROGRESS_HEADER)));
    setSubTitle(qs(wiz_format(IDS_PROGRESS_SUBTITLE, {wiz_product()})));
    auto *box = new QVBoxLayout(this);

    rows_ = new QTreeWidget(this);
    rows_->setObjectName("requestList");
    rows_->setAccessibleName("Imports of this run");
    wiz_equal_columns(rows_, IDS_COL_ORIGINAL, IDS_COL_IMPORTED);
    rows_->setSelectionMode(QAbstractItemView::NoSelection);
    box->addWidget(rows_, 1);

    static const char *const text_names[4] = {"phase1Text", "phase2Text", "phase3Text", "phase4Text"};
    static const char *const icon_names[4] = {"phase1Icon", "phase2Icon", "phase3Icon", "phase4Icon"};
    auto *phases = new QGridLayout;
    icon_px_ = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    model_ = std::make_unique<ProgressModel>(&sheet->model());
    for (int i = 0; i < 4; ++i) {
        phase_icon_[i] = make_label(icon_names[i]);
        phase_icon_[i]->setFixedSize(icon_px_ + 4, icon_px_ + 4);
        phase_icon_[i]->setPixmap(wiz_done_icon().pixmap(icon_px_));
        phase_icon_[i]->setAccessibleName(QString("Phase %1 result").arg(i + 1));
        phase_text_[i] = make_label(text_names[i], qs(wiz_string(model_->phases()[size_t(i)].string_id)));
        phase_text_[i]->setEnabled(false);
        phases->addWidget(phase_icon_[i], i, 0);
        phases->addWidget(phase_text_[i], i, 1);
    }
    phases->setColumnStretch(1, 1);
    box->addLayout(phases);

    bar_ = new QProgressBar(this);
    bar_->setObjectName("progressBar");
    bar_->setAccessibleName("Import progress");
    bar_->setTextVisible(false);
    box->addWidget(bar_);

    auto *status_row = new QHBoxLayout;
    status_ = make_label("statusText");
    status_->setWordWrap(false);
    stop_ = new QPushButton("&Stop", this);
    stop_->setObjectName("stopButton");
    stop_->setAccessibleName("Stop");
    stop_->setToolTip("Ends the running import; the requests not yet run are not started.");
    connect(stop_, &QPushButton::clicked, this, &PageImportProgress::stop);
    status_row->addWidget(status_, 1);
    status_row->addWidget(stop_);
    box->addLayout(status_row);

    auto *done_row = new QHBoxLayout;
    error_icon_ = make_error_icon();
    completion_ = make_label("completionText");
    done_row->addWidget(error_icon_);
    done_row->addWidget(completion_, 1);
    box->addLayout(done_row);
    completion_->hide();

    ticker_ = new QTimer(this);
    ticker_->setInterval(250);
    connect(ticker_, &QTimer::timeout, this, &PageImportProgress::show_status);
}

PageImportProgress::~PageImportProgress() { stop_work(); }

void PageImportProgress::stop_work() {
    ticker_->stop();
    if (thread_)
        thread_->stop_request();
    thread_.reset();
}

bool PageImportProgress::busy() const { return model_->running(); }

void PageImportProgress::on_active() {
    completion_->hide();
    error_icon_->hide();
    sheet()->set_buttons(0);
    sheet()->set_cancel_enabled(false);
    model_ = std::make_unique<ProgressModel>(&sheet()->model());
    thread_ = std::make_unique<ImportThread>(this, [this](const ImportEvent &ev) { handle(ev); });
    thread_->run_thread();
    elements_ = versions_ = 0;
    clock_.start();
    stop_->setEnabled(true);
    stop_->show();
    WizProgressAction first = model_->activate();
    rows_->clear();
    for (const ProgressModel::Row &r : model_->rows())
        (new QTreeWidgetItem(rows_, {wiz_shown(r.source), wiz_shown(r.destination)}))->setIcon(0, blank_icon());
    ticker_->start();
    show_model();
    show_status();
    act(first);
}

void PageImportProgress::handle(const ImportEvent &event) {
    if (event.kind == ImportEvent::ELEMENT)
        elements_ += event.count;
    else if (event.kind == ImportEvent::VERSION || event.kind == ImportEvent::VERSION_IDENTICAL)
        versions_ += event.count;
    ShowingUi ui(sheet()->ui(), [this] { show_model(); });
    WizProgressAction next = model_->handle(event, &ui);
    show_model();
    act(next);
}

void PageImportProgress::act(const WizProgressAction &action) {
    if (action.kind == WizProgressAction::START) {
        thread_->start(static_cast<ImportTask *>(action.task));
        return;
    }
    if (action.kind != WizProgressAction::FINISHED)
        return;
    thread_->stop();
    ticker_->stop();
    stop_->hide();
    sheet()->set_buttons(SheetImport::NEXT);
    show_model();
    show_status();
    completion_->setText(qs(model_->completion_text()));
    completion_->show();
    error_icon_->setVisible(model_->error_icon());
    sheet()->next_button()->setFocus();
}

void PageImportProgress::show_model() {
    for (size_t i = 0; i < 4; ++i) {
        const ProgressModel::Phase &p = model_->phases()[i];
        phase_text_[i]->setEnabled(p.text_enabled);
        // The icon keeps its place while hidden, so the texts do not move.
        QPixmap icon = (p.icon_failed ? wiz_failure_icon() : wiz_done_icon()).pixmap(icon_px_);
        phase_icon_[i]->setPixmap(p.icon_visible ? icon : QPixmap());
    }
    bar_->setRange(model_->bar_min(), model_->bar_max());
    bar_->setValue(model_->bar_position());
    bar_->setEnabled(model_->bar_enabled());
    const auto &rows = model_->rows();
    for (int i = 0; i < rows_->topLevelItemCount() && size_t(i) < rows.size(); ++i) {
        QTreeWidgetItem *row = rows_->topLevelItem(i);
        // 0 not yet done, 1 done, 2 failed: the icon is set when it changes.
        int state = rows[size_t(i)].done_icon ? 1 : rows[size_t(i)].failed_icon ? 2 : 0;
        if (row->data(0, Qt::UserRole).toInt() != state) {
            row->setIcon(0, state == 1 ? wiz_done_icon() : state == 2 ? wiz_failure_icon() : blank_icon());
            row->setData(0, Qt::UserRole, state);
        }
    }
    if (int at = model_->scroll_row(); at >= 0 && at < rows_->topLevelItemCount())
        rows_->scrollToItem(rows_->topLevelItem(at));
}

void PageImportProgress::show_status() {
    QString text = QString("Elapsed %1 \u2014 %2, %3")
                       .arg(elapsed_text(clock_.isValid() ? clock_.elapsed() : 0))
                       .arg(count_text(elements_, "element", "elements"))
                       .arg(count_text(versions_, "version", "versions"));
    if (model_->succeeded() + model_->failed() > 0)
        text += QString(" \u2014 %1 succeeded, %2 failed").arg(model_->succeeded()).arg(model_->failed());
    if (status_->text() != text)
        status_->setText(text);
}

void PageImportProgress::stop() {
    stop_->setEnabled(false);
    model_->stop_requested();
    if (thread_)
        thread_->stop_request();
}

WizPage PageImportProgress::wizard_next() {
    sheet()->set_cancel_enabled(true);
    return WizPageBase::wizard_next();
}
