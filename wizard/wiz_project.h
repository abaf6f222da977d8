// Making the imported files part of a project: the project progress page
// without its widgets, its worker, and the configuration of the project's
// integration stream when the program ends.
//
// The worker labels what the done requests imported with a label type new
// in every destination VOB, makes one import baseline per destination VOB
// from it, and tells the page of each step by an event (kinds 0 to 6). The
// baselines it made are kept on the sheet, so that the stream configured at
// exit sees them.
//
// Invariants: the worker writes only the sheet's label name and baseline
// list, each before the event that lets the page read it; everything else
// it reads. The page changes the sheet's flags only in its handler of the
// worker's events, in the order 0, 3, 4, 5; a failure (6) ends the worker
// and leaves the later flags unset.
#pragma once

#include <condition_variable>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "wizard/wiz_error.h"
#include "wizard/wiz_thread.h"

class QObject;
class SheetModel;
class WizUi;

struct ProjectEvent {
    enum Kind {
        TYPES_CREATED = 0,
        RANGE = 1,   // value: the label work of all done requests
        STEP = 2,
        LABELLED = 3,
        BASELINES = 4,
        FINISHED = 5,
        FAILED = 6,   // error
    };
    int kind = TYPES_CREATED;
    long value = 0;
    std::shared_ptr<VantorException> error;
};

// The label name for `when` (local time): "IMPORTED_%Y-%b-%d" with the
// month's English abbreviation, whatever the locale.
std::string wiz_label_base_name(std::time_t when);

// The worker's steps on the calling thread, each event given to sink (which
// returns once the page has handled it). Raises nothing: a failure is event 6.
void wiz_project_work(SheetModel &sheet, const std::function<void(const ProjectEvent &)> &sink);

// Runs wiz_project_work on a thread of its own, delivering the events on
// the receiver's thread as sent calls (the worker waits for each).
class ProjectThread {
public:
    using Handler = std::function<void(const ProjectEvent &)>;
    ProjectThread(QObject *receiver, Handler handler);
    // Abandons a send in progress and joins the worker.
    ~ProjectThread();
    ProjectThread(const ProjectThread &) = delete;
    ProjectThread &operator=(const ProjectThread &) = delete;
    // Hands the calling thread's description stack to the worker and lets it
    // run on the sheet (once).
    void start(SheetModel *sheet);
    void join();
    bool finished() const;

private:
    WizSender sender_;
    Handler handler_;
    mutable std::mutex lock_;
    std::condition_variable cv_;
    bool gate_open_ = false, finished_ = false;
    std::thread thread_;
};

// The project progress page: its texts, bar and icon, and what it does on
// each of the worker's events.
class ProjectProgressModel {
public:
    explicit ProjectProgressModel(SheetModel *sheet);
    // A new activation: the header text (223 with the title), the bar at 0,
    // text 1039 and the error icon hidden.
    void activate();
    void handle(const ProjectEvent &event, WizUi *ui);

    const std::string &header_text() const { return header_; }   // 1031
    int bar_max() const { return bar_max_; }
    int bar_position() const { return bar_pos_; }
    const std::string &status_text() const { return status_; }   // 1039, "" hidden
    bool error_icon() const { return error_icon_; }              // 1040

private:
    SheetModel *sheet_;
    std::string header_, status_;
    int bar_max_ = 100, bar_pos_ = 0;
    bool error_icon_ = false;
};

// The project's integration stream when the program ends (only with a
// project selector, whatever happened in the wizard, also after Cancel):
// for each modifiable component the baseline this run made of it, else the
// one the project's default integration stream has, else its initial
// baseline; the default integration stream is rebased to that foundation,
// or "IntegrationStream" is made and becomes the default. Shows nothing: a
// failure goes to the sheet's error log and to standard error. Returns
// whether the stream was configured.
bool wiz_configure_istream(SheetModel &sheet);
