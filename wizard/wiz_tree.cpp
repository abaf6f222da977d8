// Trees of items filled on demand, and their Qt model.
#include "wizard/wiz_tree.h"

#include <algorithm>

#include "wizard/wiz_request.h"
#include "wizard/wiz_ui.h"
#include "runtime/typename.h"

WizUi::~WizUi() = default;
WizTreeData::~WizTreeData() = default;
WizRequest::~WizRequest() = default;
WizTree::~WizTree() = default;

void WizTree::reset() {
    selected_ = nullptr;
    top_.clear();
    top_filled_ = false;
}

void WizTree::attach(WizTreeItem *item, std::vector<std::unique_ptr<WizTreeItem>> children) {
    for (auto &c : children)
        c->parent = item;
    if (!item) {
        top_ = std::move(children);
        top_filled_ = true;
        return;
    }
    item->children = std::move(children);
    item->expanded = true;
    if (item->children.empty())
        item->expandable = false;
}

void WizTree::expand(WizTreeItem *item) {
    if (item ? item->expanded : top_filled_)
        return;
    attach(item, fetch(item));
}

bool WizTree::select(WizTreeItem *item) {
    if (item && !can_select(item))
        return false;
    selected_ = item;
    return true;
}

WizTreeItem *WizTree::find(const std::vector<std::string> &labels) {
    expand(nullptr);
    const std::vector<std::unique_ptr<WizTreeItem>> *level = &top_;
    WizTreeItem *found = nullptr;
    for (const std::string &l : labels) {
        if (found) {
            expand(found);
            level = &found->children;
        }
        auto it = std::find_if(level->begin(), level->end(), [&](const auto &c) { return c->label == l; });
        if (it == level->end())
            return nullptr;
        found = it->get();
    }
    return found;
}

std::vector<std::string> WizTree::labels_of(const WizTreeItem *item) {
    std::vector<std::string> labels;
    for (; item; item = item->parent)
        labels.insert(labels.begin(), item->label);
    return labels;
}

void WizTree::sort_by_label(std::vector<std::unique_ptr<WizTreeItem>> *items) {
    std::stable_sort(items->begin(), items->end(),
                     [](const auto &a, const auto &b) { return a->label < b->label; });
}

// ---- The model ---------------------------------------------------------------

namespace {

const std::vector<std::unique_ptr<WizTreeItem>> &siblings(const WizTree *tree, const WizTreeItem *item) {
    return item->parent ? item->parent->children : tree->top();
}

}   // namespace

WizTreeModel::WizTreeModel(WizTree *tree, QObject *parent) : QAbstractItemModel(parent), tree_(tree) {}

WizTreeItem *WizTreeModel::item(const QModelIndex &index) const {
    return index.isValid() ? static_cast<WizTreeItem *>(index.internalPointer()) : nullptr;
}

QModelIndex WizTreeModel::index_of(const WizTreeItem *it) const {
    if (!it)
        return QModelIndex();
    const auto &sib = siblings(tree_, it);
    for (size_t i = 0; i < sib.size(); ++i)
        if (sib[i].get() == it)
            return createIndex(int(i), 0, const_cast<WizTreeItem *>(it));
    return QModelIndex();
}

void WizTreeModel::fill_top() {
    if (tree_->top_filled())
        return;
    auto items = tree_->fetch(nullptr);
    if (!items.empty())
        beginInsertRows(QModelIndex(), 0, int(items.size()) - 1);
    tree_->attach(nullptr, std::move(items));
    if (!tree_->top().empty())
        endInsertRows();
}

void WizTreeModel::reset() {
    beginResetModel();
    tree_->reset();
    endResetModel();
}

QModelIndex WizTreeModel::index(int row, int column, const QModelIndex &parent) const {
    if (column != 0 || row < 0)
        return QModelIndex();
    const WizTreeItem *p = item(parent);
    const auto &kids = p ? p->children : tree_->top();
    if (size_t(row) >= kids.size())
        return QModelIndex();
    return createIndex(row, 0, kids[size_t(row)].get());
}

QModelIndex WizTreeModel::parent(const QModelIndex &index) const {
    const WizTreeItem *it = item(index);
    return it ? index_of(it->parent) : QModelIndex();
}

int WizTreeModel::rowCount(const QModelIndex &parent) const {
    if (parent.column() > 0)
        return 0;
    const WizTreeItem *p = item(parent);
    return int(p ? p->children.size() : tree_->top().size());
}

int WizTreeModel::columnCount(const QModelIndex &) const { return 1; }

QString wiz_shown(const std::string &s) { return QString::fromStdString(typename_show_text(s)); }

QVariant WizTreeModel::data(const QModelIndex &index, int role) const {
    const WizTreeItem *it = item(index);
    if (!it)
        return QVariant();
    if (role == Qt::DisplayRole)
        return wiz_shown(tree_->item_text(it));
    if (role == IconRole)
        return int(it->icon);
    return QVariant();
}

bool WizTreeModel::hasChildren(const QModelIndex &parent) const {
    const WizTreeItem *p = item(parent);
    if (!p)
        return !tree_->top().empty();
    return p->expanded ? !p->children.empty() : p->expandable;
}

bool WizTreeModel::canFetchMore(const QModelIndex &parent) const {
    const WizTreeItem *p = item(parent);
    return p && p->expandable && !p->expanded;
}

void WizTreeModel::fetchMore(const QModelIndex &parent) {
    WizTreeItem *p = item(parent);
    if (!p || p->expanded || (gate_ && !gate_(parent)))
        return;
    std::vector<std::unique_ptr<WizTreeItem>> kids;
    {
        WizWaitCursor wait(tree_->ui());
        kids = tree_->fetch(p);
    }
    if (kids.empty()) {
        tree_->attach(p, std::move(kids));
        emit dataChanged(parent, parent);
        return;
    }
    beginInsertRows(parent, 0, int(kids.size()) - 1);
    tree_->attach(p, std::move(kids));
    endInsertRows();
}
