// The list of pending requests on the source/destination and preview pages:
// two columns of equal width (source, destination), full rows selected, the
// request as each row's data. Selected rows are removed (from the list and
// from the sheet's pending requests) by remove_selected(), the Delete key and
// the context menu's one "Delete" item.
#pragma once

#include <QTreeWidget>

class SheetModel;
class WizRequest;

class WizRequestList : public QTreeWidget {
    Q_OBJECT
public:
    WizRequestList(SheetModel *model, int first_title, int second_title, QWidget *parent);
    // One row per pending request, in order.
    void rebuild();
    void add_row(WizRequest *request);
    void remove_selected();

signals:
    // Rows were removed or added.
    void rows_changed();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    SheetModel *model_;
};

// Sets a request list's two columns to share its width.
void wiz_equal_columns(QTreeWidget *list, int first_title, int second_title);
