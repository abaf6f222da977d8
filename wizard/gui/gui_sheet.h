// The wizard's window: a QWizard holding the eleven pages, the sheet model
// they share, the temporary view, the destination tree and the user
// interface of message boxes.
//
// The sheet owns its buttons: Back, Next and Finish are the wizard's custom
// buttons, enabled and shown only as the active page sets them
// (set_buttons), because the pages route by their own tables (Back from the
// iterate page goes to the legacy-kind page) and state their buttons
// themselves. Moving between pages goes through go_to(), which keeps
// QWizard's history equal to the path from the welcome page: a page already
// on the path is reached by going back to it, any other by going forward.
//
// Invariants: every page becomes active through go_to() (or the start), and
// each activation runs the page's on_active() once; Cancel, Escape and the
// window's close button all ask the active page's query_cancel().
#pragma once

#include <QWizard>
#include <QWizardPage>

#include <map>
#include <memory>
#include <string>

#include "wizard/wiz_sheet.h"

class QAbstractButton;

// The wizard's texts are UTF-8 strings; Qt's are QStrings.
inline QString qs(const std::string &s) { return QString::fromStdString(s); }

class QLabel;
class SheetImport;
class TempSnapshotView;
class TreeVob;
class GuiUi;

// What every page shares: its template number, the sheet, its activation
// and its moves.
class WizPageBase : public QWizardPage {
    Q_OBJECT
public:
    // exterior: the welcome and completion pages (no header, the watermark).
    WizPageBase(SheetImport *sheet, WizPage id, bool exterior);
    WizPage id() const { return id_; }
    SheetImport *sheet() const { return sheet_; }
    bool exterior() const { return exterior_; }

    // Every time the page becomes the active one.
    virtual void on_active() {}
    // Where Next and Back go (STAY: nowhere); by default the sheet's tables.
    virtual WizPage wizard_next();
    virtual WizPage wizard_back();
    // Whether Cancel may close the wizard now.
    virtual bool query_cancel() { return true; }
    // Whether the page's own work (an import run, the project worker) is
    // still going on.
    virtual bool busy() const { return false; }
    // Ends the page's work for good (the sheet is closing).
    virtual void stop_work() {}

protected:
    // Cancel on a page before the project work: with files imported and the
    // project not yet configured the user may go configure it instead
    // (false: the wizard stays, on the project progress page).
    bool ask_cancel();
    // A label of the page: word-wrapped, named for tests and screen readers.
    QLabel *make_label(const char *object_name, const QString &text = {});
    // The error icon of a page's result, hidden until the page shows it.
    QLabel *make_error_icon();
    // The exterior pages' title control, in the title font.
    QLabel *make_title(const char *object_name, const QString &text);

private:
    SheetImport *sheet_;
    WizPage id_;
    bool exterior_;
};

class SheetImport : public QWizard {
    Q_OBJECT
public:
    enum Buttons { BACK = 1, NEXT = 2, FINISH = 4 };

    SheetImport(TempSnapshotView *view, WizCommandLine options, QWidget *parent = nullptr);
    ~SheetImport() override;

    SheetModel &model() { return *model_; }
    TempSnapshotView *view() const { return view_; }
    GuiUi *ui() const { return ui_.get(); }
    TreeVob *dest_tree() const { return dest_tree_.get(); }

    // Back (1), Next (2), Finish (4): which are enabled; Finish takes
    // Next's place.
    void set_buttons(int mask);
    int buttons() const { return buttons_; }
    void set_cancel_enabled(bool on);
    void set_finish_text(const QString &text);
    // Makes a page the active one (STAY: nothing).
    void go_to(WizPage page);

    WizPageBase *active_page() const;
    WizPage active_id() const;
    WizPageBase *page_of(WizPage id) const;

    QAbstractButton *back_button() const;
    QAbstractButton *next_button() const;
    QAbstractButton *finish_button() const;
    QAbstractButton *cancel_button() const;

    // Cancel: the active page decides.
    void reject() override;
    void done(int result) override;

protected:
    int nextId() const override { return forced_next_; }
    void keyPressEvent(QKeyEvent *event) override;

private:
    void on_back();
    void on_next();
    void move(int button, WizPage (WizPageBase::*route)());
    void on_finish();
    void on_page_changed(int id);
    void restore_geometry();
    void save_geometry();

    TempSnapshotView *view_;
    std::unique_ptr<SheetModel> model_;
    std::unique_ptr<GuiUi> ui_;
    std::unique_ptr<TreeVob> dest_tree_;
    std::map<WizPage, WizPageBase *> pages_;
    int buttons_ = 0;
    int forced_next_ = -1;
    bool moving_ = false;
};
