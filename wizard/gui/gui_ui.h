// The engine's user interface as dialogs: message boxes and the Yes/No
// question as QMessageBox (titled with the wizard's title, modal to the
// sheet), the wait cursor as the application's override cursor.
#pragma once

#include "wizard/wiz_ui.h"

class QWidget;

class GuiUi : public WizUi {
public:
    explicit GuiUi(QWidget *parent) : parent_(parent) {}
    void message_box(wiz_box kind, const std::string &text) override;
    bool ask_yes_no(const std::string &text) override;
    void wait_cursor(bool on) override;

private:
    QWidget *parent_;
};
