// The eleven pages of the wizard, in the order of the flow. Each shows what
// the engine's models (wizard/wiz_*.h) say and passes the user's actions to
// them; the pages hold no logic of their own beyond the wiring.
#pragma once

#include <QElapsedTimer>

#include <map>
#include <memory>

#include "wizard/gui/gui_sheet.h"
#include "wizard/wiz_progress.h"
#include "wizard/wiz_project.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeView;
class QTreeWidget;
class ImportThread;
class ProjectThread;
class TreeLegacy;
class WizTreeModel;
class WizRequestList;

// The welcome and completion pages: the watermark, the title in the title
// font, the page's texts; the failure pages add Show Log.
class PageExterior : public WizPageBase {
    Q_OBJECT
public:
    PageExterior(SheetImport *sheet, WizPage id);
    void on_active() override;

private:
    void show_log();
    QLabel *text_ = nullptr;
};

class PageLegacyKind : public WizPageBase {
    Q_OBJECT
public:
    explicit PageLegacyKind(SheetImport *sheet);
    void on_active() override;
    WizPage wizard_next() override;
    bool query_cancel() override;

private:
    QComboBox *kinds_;
};

// The source/destination page and the preview share the request list: its
// rows are the sheet's pending requests; rows are removed by the button,
// the Delete key and the context menu.
class PageSrcDest : public WizPageBase {
    Q_OBJECT
public:
    explicit PageSrcDest(SheetImport *sheet);
    void on_active() override;
    bool query_cancel() override;

private:
    void show_kind_tree();
    void source_selected();
    void dest_selected();
    // Expanding an item first selects it (the destination tree fills only
    // when the selection was accepted).
    bool before_fetch(QTreeView *view, WizTreeModel *model, const QModelIndex &index);
    std::unique_ptr<WizRequest> candidate();
    void update_buttons();
    void add();

    QTreeView *source_view_, *dest_view_;
    WizTreeModel *dest_model_;
    TreeLegacy *shown_tree_ = nullptr;
    std::map<TreeLegacy *, WizTreeModel *> source_models_;
    QPushButton *add_, *remove_;
    WizRequestList *list_;
};

class PageImportPreview : public WizPageBase {
    Q_OBJECT
public:
    explicit PageImportPreview(SheetImport *sheet);
    void on_active() override;
    bool query_cancel() override;

private:
    void update_buttons();
    WizRequestList *list_;
    QPushButton *remove_;
};

// Runs the pending requests on the import thread and shows their progress;
// Stop ends the running request and starts no other.
class PageImportProgress : public WizPageBase {
    Q_OBJECT
public:
    explicit PageImportProgress(SheetImport *sheet);
    ~PageImportProgress() override;
    void on_active() override;
    WizPage wizard_next() override;
    bool busy() const override;
    void stop_work() override;

private:
    void handle(const ImportEvent &event);
    void act(const WizProgressAction &action);
    void show_model();
    void show_status();
    void stop();

    std::unique_ptr<ProgressModel> model_;
    std::unique_ptr<ImportThread> thread_;
    QTreeWidget *rows_;
    QProgressBar *bar_;
    QLabel *phase_text_[4], *phase_icon_[4];
    QLabel *completion_, *error_icon_, *status_;
    QPushButton *stop_;
    QTimer *ticker_;
    QElapsedTimer clock_;
    int icon_px_;   // the phases' icons
    long elements_ = 0, versions_ = 0;
};

class PageIterate : public WizPageBase {
    Q_OBJECT
public:
    explicit PageIterate(SheetImport *sheet);
    void on_active() override;
    bool query_cancel() override;

private:
    QLabel *result_, *back_, *project_, *error_icon_;
};

// Labels what was imported and makes the baselines, on the project worker.
class PageProjectProgress : public WizPageBase {
    Q_OBJECT
public:
    explicit PageProjectProgress(SheetImport *sheet);
    ~PageProjectProgress() override;
    void on_active() override;
    bool busy() const override;
    void stop_work() override;

private:
    void handle(const ProjectEvent &event);
    void show_model();

    std::unique_ptr<ProjectProgressModel> model_;
    std::unique_ptr<ProjectThread> thread_;
    QLabel *header_, *status_, *error_icon_;
    QProgressBar *bar_;
};
