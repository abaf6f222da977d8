// Message boxes and the wait cursor for the engine.
#include "wizard/gui/gui_ui.h"

#include <QApplication>
#include <QMessageBox>

#include "wizard/wiz_strings.h"

namespace {

QMessageBox::Icon icon_of(wiz_box kind) {
    switch (kind) {
    case wiz_box::INFORMATION:
        return QMessageBox::Information;
    case wiz_box::WARNING:
        return QMessageBox::Warning;
    case wiz_box::ERROR:
        break;
    }
    return QMessageBox::Critical;
}

// A box over the sheet, named so that tests and screen readers find it. The
// wait cursor of a step in progress must not cover the box.
int run_box(QWidget *parent, QMessageBox::Icon icon, const std::string &text, QMessageBox::StandardButtons buttons,
            QMessageBox::StandardButton deflt) {
    QMessageBox box(icon, QString::fromStdString(wiz_title()), QString::fromStdString(text), buttons, parent);
    box.setObjectName("wizMessageBox");
    box.setAccessibleName(QString::fromStdString(wiz_title()));
    box.setDefaultButton(deflt);
    bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    int answer = box.exec();
    if (waiting)
        QApplication::restoreOverrideCursor();
    return answer;
}

}   // namespace

void GuiUi::message_box(wiz_box kind, const std::string &text) {
    run_box(parent_, icon_of(kind), text, QMessageBox::Ok, QMessageBox::Ok);
}

bool GuiUi::ask_yes_no(const std::string &text) {
    return run_box(parent_, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

void GuiUi::wait_cursor(bool on) {
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}
