// The import progress page without its widgets: the four phases, the bar,
// the rows of the run, its counts, and what the page does on each event of
// the import thread. The model never drives the thread itself: activate()
// and handle() return the next step (start request i, or finished), and the
// page passes it on.
//
// Invariants: only events of the running request change anything (a stale
// queued event of an earlier request is dropped); once finished, the batch
// is closed on the sheet and later events are ignored; the failure of a
// request is counted, logged and shown on the phase it failed in.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "wizard/wiz_event.h"

class SheetModel;
class WizRequest;
class WizUi;

struct WizProgressAction {
    enum Kind { NOTHING, START, FINISHED };
    Kind kind = NOTHING;
    size_t request = 0;   // START: the index in the sheet's pending requests
    WizRequest *task = nullptr;
};

class ProgressModel {
public:
    struct Phase {
        int text_control, string_id, icon_control;
        bool text_enabled = false;
        bool icon_visible = false;
        bool icon_failed = false;   // the failure icon instead of the done icon
    };
    struct Row {
        std::string source, destination;
        bool done_icon = false;
        bool failed_icon = false;   // beside the page's done icon: the request failed
    };

    explicit ProgressModel(SheetModel *sheet);

    // A new run of the sheet's pending requests: the kind's tools on PATH,
    // counts zeroed, rows rebuilt. With nothing pending the run is finished
    // at once.
    WizProgressAction activate();
    WizProgressAction handle(const ImportEvent &event, WizUi *ui);
    // The page's Stop: the running request ends, nothing more is started and
    // the rest count as failed.
    void stop_requested() { stop_ = true; }

    const std::array<Phase, 4> &phases() const { return phases_; }
    const std::vector<Row> &rows() const { return rows_; }
    int scroll_row() const { return scroll_row_; }   // -1 for none
    int bar_min() const { return 0; }
    int bar_max() const { return bar_max_; }
    int bar_position() const { return bar_pos_; }
    bool bar_enabled() const { return bar_enabled_; }
    int succeeded() const { return succeeded_; }
    int failed() const { return failed_; }
    bool running() const { return running_; }
    // After the run: text 1038 and whether the error icon 1043 shows.
    const std::string &completion_text() const { return completion_; }
    bool error_icon() const { return failed_ > 0 && !running_; }

private:
    WizRequest *running_request() const;
    WizProgressAction start(size_t index);
    WizProgressAction after_request(WizUi *ui, const std::string *failure);
    WizProgressAction finish();
    void make_current(int phase);
    void reset_phases();

    SheetModel *sheet_;
    std::array<Phase, 4> phases_;
    std::vector<Row> rows_;
    size_t current_ = 0;
    int scroll_row_ = -1;
    int bar_max_ = 100, bar_pos_ = 0;
    bool bar_enabled_ = false;
    int succeeded_ = 0, failed_ = 0;
    bool running_ = false, stop_ = false;
    std::string completion_;
};
