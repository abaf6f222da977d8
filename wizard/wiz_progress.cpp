// The progress page's handling of an import run.
#include "wizard/wiz_progress.h"

#include <algorithm>
#include <climits>

#include "wizard/wiz_error.h"
#include "wizard/wiz_legacy.h"
#include "wizard/wiz_sheet.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_ui.h"

ProgressModel::ProgressModel(SheetModel *sheet)
    : sheet_(sheet),
      phases_{{{1015, IDS_PHASE_EXAMINE, 1016},
               {1013, IDS_PHASE_TYPES, 1019},
               {1012, IDS_PHASE_DIRS, 1017},
               {1014, IDS_PHASE_VERSIONS, 1020}}} {}

void ProgressModel::reset_phases() {
    for (Phase &p : phases_) {
        p.text_enabled = false;
        p.icon_visible = false;
        p.icon_failed = false;
    }
}

// Phase k (1..4) is under way: the earlier ones are done.
void ProgressModel::make_current(int phase) {
    for (int i = 0; i < phase - 1; ++i) {
        phases_[size_t(i)].text_enabled = true;
        phases_[size_t(i)].icon_visible = true;
    }
    phases_[size_t(phase - 1)].text_enabled = true;
}

WizRequest *ProgressModel::running_request() const {
    if (!running_ || current_ >= sheet_->pending().size())
        return nullptr;
    return sheet_->pending()[current_].get();
}

WizProgressAction ProgressModel::activate() {
    if (LegacyKind *kind = sheet_->kind())
        kind->prepend_tool_dir_to_path();
    succeeded_ = failed_ = 0;
    stop_ = false;
    completion_.clear();
    rows_.clear();
    for (const auto &r : sheet_->pending())
        rows_.push_back(Row{r->source_text(), r->destination_text(), false});
    bar_max_ = 100;
    bar_pos_ = 0;
    bar_enabled_ = false;
    scroll_row_ = -1;
    reset_phases();
    running_ = true;
    if (sheet_->pending().empty())
        return finish();
    return start(0);
}

WizProgressAction ProgressModel::start(size_t index) {
    current_ = index;
    WizProgressAction a;
    a.kind = WizProgressAction::START;
    a.request = index;
    a.task = sheet_->pending()[index].get();
    return a;
}

WizProgressAction ProgressModel::finish() {
    running_ = false;
    sheet_->close_batch();
    completion_ = wiz_format(failed_ > 0 ? IDS_RUN_SOME_FAILED : IDS_RUN_ALL_OK);
    WizProgressAction a;
    a.kind = WizProgressAction::FINISHED;
    return a;
}

// The running request has ended (failure: the text 138 shown for it).
WizProgressAction ProgressModel::after_request(WizUi *ui, const std::string *failure) {
    size_t next = current_ + 1;
    bool last = next >= sheet_->pending().size();
    if (!failure)
        return last || stop_ ? finish() : start(next);
    if (last || stop_) {
        if (ui)
            ui->message_box(wiz_box::ERROR, *failure);
        return finish();
    }
    std::string question =
        wiz_format_text("%s\n\n%s", {*failure, std::string(wiz_string(IDS_CONTINUE_QUESTION))});
    if (!ui || !ui->ask_yes_no(question))
        return finish();
    return start(next);
}

WizProgressAction ProgressModel::handle(const ImportEvent &event, WizUi *ui) {
    WizRequest *request = running_request();
    if (!request || event.request != request)
        return {};
    switch (event.kind) {
        case ImportEvent::START:
            scroll_row_ = int(current_);
            reset_phases();
            bar_enabled_ = false;
            make_current(1);
            break;
        case ImportEvent::RANGE:
            bar_max_ = int(std::clamp(event.b, 0L, long(INT_MAX)));
            bar_pos_ = 0;
            break;
        case ImportEvent::DIRECTORIES:
        case ImportEvent::DIRECTORY:
            make_current(3);
            break;
        case ImportEvent::TYPES:
            make_current(2);
            break;
        case ImportEvent::ELEMENT:
            make_current(4);
            break;
        case ImportEvent::VERSION:
        case ImportEvent::VERSION_IDENTICAL:
            make_current(4);
            bar_enabled_ = true;
            bar_pos_ = int(std::min(long(bar_pos_) + std::max(event.count, 1L), long(bar_max_)));
            break;
        case ImportEvent::SUCCEEDED:
            phases_[3].text_enabled = true;
            phases_[3].icon_visible = true;
            ++succeeded_;
            if (current_ < rows_.size())
                rows_[current_].done_icon = true;
            scroll_row_ = int(current_);
            return after_request(ui, nullptr);
        case ImportEvent::FAILED: {
            ++failed_;
            if (current_ < rows_.size())
                rows_[current_].failed_icon = true;
            std::string message;
            if (event.error) {
                sheet_->log().append(*event.error);
                message = event.error->message();
            }
            auto unseen =
                std::find_if(phases_.begin(), phases_.end(), [](const Phase &p) { return !p.icon_visible; });
            if (unseen != phases_.end()) {
                unseen->icon_visible = true;
                unseen->icon_failed = true;
            }
            std::string text = wiz_format(IDS_IMPORT_ERROR, {request->source_text(), message});
            return after_request(ui, &text);
        }
        default:
            break;
    }
    return {};
}
