// The trees of the source/destination page as models without widgets: the
// source trees of the legacy kinds (wiz_source.h) and the destination tree
// of VOB folders (wiz_dest.h) are WizTree objects; WizTreeModel shows any of
// them to a Qt view, filling an item's children when the view first
// expands it.
//
// Invariants: an item's children are fetched at most once (expanded); an
// item whose fetch found no children loses its expand button; the selected
// item, when there is one, is an item of the tree that can_select accepted.
#pragma once

#include <QAbstractItemModel>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class WizUi;

// What an item shows as its icon; the GUI maps these to images.
enum class wiz_icon { FOLDER, PLAIN_FILE, ARCHIVE, SSAFE_DATABASE, SSAFE_PROJECT, SSAFE_FILE, VOB };

// Kind-specific data of an item, owned by it.
struct WizTreeData {
    virtual ~WizTreeData();
};

struct WizTreeItem {
    std::string label;
    WizTreeItem *parent = nullptr;   // null for a top item
    std::vector<std::unique_ptr<WizTreeItem>> children;
    bool expandable = false;   // shows an expand button
    bool expanded = false;     // its children were fetched
    wiz_icon icon = wiz_icon::FOLDER;
    std::unique_ptr<WizTreeData> data;
};

class WizTree {
public:
    virtual ~WizTree();
    // Removes every item; nothing is selected.
    virtual void reset();
    // The children of an item (null: the top items), not yet attached, in
    // the order they are shown. Called once per item.
    virtual std::vector<std::unique_ptr<WizTreeItem>> fetch(WizTreeItem *item) = 0;
    // Attaches fetched children (the model announces them around this) and
    // marks the item expanded; without children it loses its expand button.
    void attach(WizTreeItem *item, std::vector<std::unique_ptr<WizTreeItem>> children);
    // fetch and attach, for an item not yet expanded; nothing otherwise.
    void expand(WizTreeItem *item);
    bool top_filled() const { return top_filled_; }

    virtual std::string item_text(const WizTreeItem *item) const { return item->label; }
    // Whether the item may become the selected one.
    virtual bool can_select(const WizTreeItem *item) { return item != nullptr; }
    // Selects the item when can_select accepts it (null: nothing); false,
    // with the old selection kept, when it refuses.
    bool select(WizTreeItem *item);
    WizTreeItem *selected() const { return selected_; }
    // Drops the selection without asking (the destination check refuses).
    void clear_selection() { selected_ = nullptr; }

    const std::vector<std::unique_ptr<WizTreeItem>> &top() const { return top_; }
    // The item at a path of labels from the top, expanding what is needed;
    // null when there is none (tests, and restoring a selection).
    WizTreeItem *find(const std::vector<std::string> &labels);
    // The labels from the top item down to the item.
    static std::vector<std::string> labels_of(const WizTreeItem *item);

    // The user interface for messages and the wait cursor (may be null).
    void set_ui(WizUi *ui) { ui_ = ui; }
    WizUi *ui() const { return ui_; }

protected:
    // Sorts items the way every tree shows them: by label, in byte order.
    static void sort_by_label(std::vector<std::unique_ptr<WizTreeItem>> *items);

private:
    std::vector<std::unique_ptr<WizTreeItem>> top_;
    bool top_filled_ = false;
    WizTreeItem *selected_ = nullptr;
    WizUi *ui_ = nullptr;
};

// A Qt item model over a WizTree: one column, the item's text; the icon kind
// under IconRole; lazy children through canFetchMore/fetchMore.
// Text from a store (a name, a path) as the wizard's lists show it: UTF-8
// as it stands, any other byte and a control as \xNN, never raw nor
// replaced by a mark that hides which byte it was.
QString wiz_shown(const std::string &s);

class WizTreeModel : public QAbstractItemModel {
public:
    enum { IconRole = Qt::UserRole + 1 };
    explicit WizTreeModel(WizTree *tree, QObject *parent = nullptr);
    WizTree *tree() const { return tree_; }
    WizTreeItem *item(const QModelIndex &index) const;
    QModelIndex index_of(const WizTreeItem *item) const;
    // Fills the top level (once) and announces it.
    void fill_top();
    // Removes every item (WizTree::reset) and announces it.
    void reset();
    // Asked before an item's children are fetched (a view expands it); a
    // gate that returns false leaves the item unfilled for now.
    using FetchGate = std::function<bool(const QModelIndex &)>;
    void set_fetch_gate(FetchGate gate) { gate_ = std::move(gate); }

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    WizTree *tree_;
    FetchGate gate_;
};
