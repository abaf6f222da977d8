// The source/destination page, where requests are made, and the preview
// page, where they are looked over before the run.
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "wizard/gui/gui_look.h"
#include "wizard/gui/gui_pages.h"
#include "wizard/gui/gui_request_list.h"
#include "wizard/gui/gui_ui.h"
#include "wizard/wiz_dest.h"
#include "wizard/wiz_source.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_task.h"

namespace {

// The trees' icons, drawn from the kind each item names.
class IconTreeModel : public WizTreeModel {
public:
    using WizTreeModel::WizTreeModel;
    QVariant data(const QModelIndex &index, int role) const override {
        if (role == Qt::DecorationRole) {
            QVariant kind = WizTreeModel::data(index, IconRole);
            return kind.isValid() ? QVariant(wiz_tree_icon(wiz_icon(kind.toInt()))) : QVariant();
        }
        return WizTreeModel::data(index, role);
    }
};

QTreeView *make_tree(QWidget *parent, const char *name, const QString &accessible) {
    auto *view = new QTreeView(parent);
    view->setObjectName(name);
    view->setAccessibleName(accessible);
    view->setHeaderHidden(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setUniformRowHeights(true);
    view->setAnimated(false);
    view->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view->header()->setStretchLastSection(false);
    return view;
}

QPushButton *make_remove_button(QWidget *parent) {
    auto *b = new QPushButton("&Remove", parent);
    b->setObjectName("removeButton");
    b->setAccessibleName("Remove");
    return b;
}

// Shown only with rows, enabled only with rows selected.
void update_remove(QPushButton *remove, WizRequestList *list) {
    remove->setVisible(list->topLevelItemCount() > 0);
    remove->setEnabled(!list->selectedItems().isEmpty());
}

}   // namespace

PageSrcDest::PageSrcDest(SheetImport *sheet) : WizPageBase(sheet, WizPage::SRC_DEST, false) {
    setTitle(qs(wiz_string(IDS_SRCDEST_HEADER)));
    setSubTitle(qs(wiz_string(IDS_SRCDEST_SUBTITLE)));

    source_view_ = make_tree(this, "sourceTree", "Source");
    dest_view_ = make_tree(this, "destTree", "Destination");
    dest_model_ = new IconTreeModel(sheet->dest_tree(), this);
    dest_model_->set_fetch_gate(
        [this](const QModelIndex &index) { return before_fetch(dest_view_, dest_model_, index); });
    dest_view_->setModel(dest_model_);
    connect(dest_view_->selectionModel(), &QItemSelectionModel::currentChanged, this, &PageSrcDest::dest_selected);

    QLabel *source_label = make_label("sourceLabel", qs(wiz_string(IDS_COL_SOURCE)));
    QLabel *dest_label = make_label("destLabel", qs(wiz_string(IDS_COL_DESTINATION)));
    source_label->setBuddy(source_view_);
    dest_label->setBuddy(dest_view_);
    add_ = new QPushButton(qs(wiz_string(IDS_ADD_BUTTON)), this);
    add_->setObjectName("addButton");
    add_->setAccessibleName("Import to Vantor");
    connect(add_, &QPushButton::clicked, this, &PageSrcDest::add);
    list_ = new WizRequestList(&sheet->model(), IDS_COL_SOURCE, IDS_COL_DESTINATION, this);
    remove_ = make_remove_button(this);
    connect(remove_, &QPushButton::clicked, list_, &WizRequestList::remove_selected);
    connect(list_, &WizRequestList::rows_changed, this, &PageSrcDest::update_buttons);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &PageSrcDest::update_buttons);

    auto *grid = new QGridLayout;
    grid->addWidget(source_label, 0, 0);
    grid->addWidget(dest_label, 0, 2);
    grid->addWidget(source_view_, 1, 0);
    grid->addWidget(add_, 1, 1, Qt::AlignVCenter);
    grid->addWidget(dest_view_, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(1, 3);
    auto *box = new QVBoxLayout(this);
    box->addLayout(grid, 3);
    box->addWidget(list_, 2);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(remove_);
    box->addLayout(row);

    setTabOrder(source_view_, add_);
    setTabOrder(add_, dest_view_);
    setTabOrder(dest_view_, list_);
    setTabOrder(list_, remove_);
}

void PageSrcDest::on_active() {
    show_kind_tree();
    if (!sheet()->dest_tree()->top_filled()) {
        dest_model_->fill_top();
        sheet()->dest_tree()->clear_selection();
        dest_view_->setCurrentIndex({});
    }
    list_->rebuild();
    update_buttons();
    // Focus goes to the source tree once the page is laid out.
    QTimer::singleShot(0, source_view_, [this] { source_view_->setFocus(); });
}

void PageSrcDest::show_kind_tree() {
    TreeLegacy *tree = wiz_source_tree(sheet()->model().kind());
    if (tree == shown_tree_)
        return;
    if (shown_tree_)
        source_models_[shown_tree_]->reset();
    WizTreeModel *&model = source_models_[tree];
    if (!model) {
        model = new IconTreeModel(tree, this);
        model->set_fetch_gate(
            [this, m = model](const QModelIndex &index) { return before_fetch(source_view_, m, index); });
        tree->set_ui(sheet()->ui());
    }
    model->reset();
    model->fill_top();
    tree->clear_selection();
    QItemSelectionModel *old = source_view_->selectionModel();
    source_view_->setModel(model);
    delete old;
    connect(source_view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &PageSrcDest::source_selected);
    shown_tree_ = tree;
}

bool PageSrcDest::before_fetch(QTreeView *view, WizTreeModel *model, const QModelIndex &index) {
    if (view->currentIndex() != index)
        view->setCurrentIndex(index);
    // Only the destination tree refuses: its check said why.
    return view != dest_view_ || model->tree()->selected() == model->item(index);
}

void PageSrcDest::source_selected() {
    if (!shown_tree_)
        return;
    WizTreeItem *item = source_models_[shown_tree_]->item(source_view_->currentIndex());
    if (!shown_tree_->select(item))
        shown_tree_->clear_selection();
    update_buttons();
}

void PageSrcDest::dest_selected() {
    TreeVob *tree = sheet()->dest_tree();
    WizTreeItem *item = dest_model_->item(dest_view_->currentIndex());
    if (!tree->select(item))
        tree->clear_selection();
    else if (item && !tree->check_destination(false))
        dest_view_->selectionModel()->clearSelection();
    update_buttons();
}

std::unique_ptr<WizRequest> PageSrcDest::candidate() {
    if (!shown_tree_ || !shown_tree_->selected())
        return nullptr;
    TreeVob *dest = sheet()->dest_tree();
    if (!dest->selected() || !dest->check_destination(true))
        return nullptr;
    std::unique_ptr<LegacyObject> object = shown_tree_->make_legacy_object(shown_tree_->selected());
    if (!object)
        return nullptr;
    return std::make_unique<ImportTask>(std::move(object), dest->make_destination());
}

void PageSrcDest::update_buttons() {
    std::unique_ptr<WizRequest> c = candidate();
    add_->setEnabled(c && !sheet()->model().is_pending(*c));
    update_remove(remove_, list_);
    sheet()->set_buttons(SheetImport::BACK | (sheet()->model().pending().empty() ? 0 : SheetImport::NEXT));
}

void PageSrcDest::add() {
    std::unique_ptr<WizRequest> c = candidate();
    if (!c)
        return;
    WizRequest *request = c.get();
    if (!sheet()->model().add(std::move(c)))
        return;
    list_->add_row(request);
    QTreeWidgetItem *row = list_->topLevelItem(list_->topLevelItemCount() - 1);
    list_->clearSelection();
    list_->setCurrentItem(row);
    row->setSelected(true);
    list_->scrollToItem(row);
    update_buttons();
}

bool PageSrcDest::query_cancel() { return ask_cancel(); }

PageImportPreview::PageImportPreview(SheetImport *sheet) : WizPageBase(sheet, WizPage::PREVIEW, false) {
    setTitle(qs(wiz_string(IDS_PREVIEW_HEADER)));
    setSubTitle(qs(wiz_string(IDS_PREVIEW_SUBTITLE)));
    auto *box = new QVBoxLayout(this);
    box->addWidget(make_label("previewText", qs(wiz_string(IDS_PREVIEW_TEXT))));
    list_ = new WizRequestList(&sheet->model(), IDS_COL_SOURCE, IDS_COL_DESTINATION, this);
    box->addWidget(list_, 1);
    remove_ = make_remove_button(this);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(remove_);
    box->addLayout(row);
    connect(remove_, &QPushButton::clicked, list_, &WizRequestList::remove_selected);
    connect(list_, &WizRequestList::rows_changed, this, &PageImportPreview::update_buttons);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &PageImportPreview::update_buttons);
}

void PageImportPreview::on_active() {
    list_->rebuild();
    update_buttons();
    list_->setFocus();
}

void PageImportPreview::update_buttons() {
    update_remove(remove_, list_);
    sheet()->set_buttons(SheetImport::BACK | (sheet()->model().pending().empty() ? 0 : SheetImport::NEXT));
}

bool PageImportPreview::query_cancel() { return ask_cancel(); }
