// The pending requests' list.
#include "wizard/gui/gui_request_list.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>

#include "wizard/wiz_request.h"
#include "wizard/wiz_sheet.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_tree.h"

namespace {
constexpr int REQUEST_ROLE = Qt::UserRole + 1;
}

void wiz_equal_columns(QTreeWidget *list, int first_title, int second_title) {
    list->setColumnCount(2);
    list->setHeaderLabels({QString::fromStdString(wiz_string(first_title)),
                           QString::fromStdString(wiz_string(second_title))});
    list->header()->setSectionResizeMode(QHeaderView::Stretch);
    list->header()->setStretchLastSection(true);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setAllColumnsShowFocus(true);
    list->setTextElideMode(Qt::ElideMiddle);
}

WizRequestList::WizRequestList(SheetModel *model, int first_title, int second_title, QWidget *parent)
    : QTreeWidget(parent), model_(model) {
    setObjectName("requestList");
    setAccessibleName("Requested imports");
    wiz_equal_columns(this, first_title, second_title);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void WizRequestList::rebuild() {
    clear();
    for (const auto &r : model_->pending())
        add_row(r.get());
}

void WizRequestList::add_row(WizRequest *request) {
    auto *row = new QTreeWidgetItem(this, {wiz_shown(request->source_text()), wiz_shown(request->destination_text())});
    row->setData(0, REQUEST_ROLE, QVariant::fromValue(static_cast<void *>(request)));
    for (int c = 0; c < 2; ++c)
        row->setToolTip(c, row->text(c));
    emit rows_changed();
}

void WizRequestList::remove_selected() {
    QList<QTreeWidgetItem *> rows = selectedItems();
    if (rows.isEmpty())
        return;
    for (QTreeWidgetItem *row : rows) {
        model_->remove(static_cast<const WizRequest *>(row->data(0, REQUEST_ROLE).value<void *>()));
        delete row;
    }
    emit rows_changed();
}

void WizRequestList::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Delete && !selectedItems().isEmpty()) {
        remove_selected();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void WizRequestList::contextMenuEvent(QContextMenuEvent *event) {
    // Offered over a row while rows are selected (from the keyboard: at the
    // current row).
    bool over_row = event->reason() == QContextMenuEvent::Keyboard
                        ? currentItem() != nullptr
                        : itemAt(viewport()->mapFromGlobal(event->globalPos())) != nullptr;
    if (!over_row || selectedItems().isEmpty())
        return;
    QMenu menu(this);
    menu.setObjectName("requestMenu");
    QAction *del = menu.addAction("&Delete");
    del->setObjectName("deleteAction");
    if (menu.exec(event->globalPos()) == del)
        remove_selected();
}
