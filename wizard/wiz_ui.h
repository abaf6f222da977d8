// What the engine asks of the user interface: message boxes, a question,
// the wait cursor. The GUI implements it with dialogs; tests record the
// calls and answer as a scenario needs.
#pragma once

#include <string>

enum class wiz_box { INFORMATION, WARNING, ERROR };

class WizUi {
public:
    virtual ~WizUi();
    virtual void message_box(wiz_box kind, const std::string &text) = 0;
    // A Yes/No question; true for Yes.
    virtual bool ask_yes_no(const std::string &text) = 0;
    // The wait cursor while a long step (an expansion, a check) runs.
    virtual void wait_cursor(bool on) { (void)on; }
};

// Shows the wait cursor for its lifetime (ui may be null).
class WizWaitCursor {
public:
    explicit WizWaitCursor(WizUi *ui) : ui_(ui) {
        if (ui_)
            ui_->wait_cursor(true);
    }
    ~WizWaitCursor() {
        if (ui_)
            ui_->wait_cursor(false);
    }
    WizWaitCursor(const WizWaitCursor &) = delete;
    WizWaitCursor &operator=(const WizWaitCursor &) = delete;

private:
    WizUi *ui_;
};
