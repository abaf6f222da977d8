// The source trees of the disk: the base that lists directories, and the
// trees of ordinary files, RCS and PVCS archives; the trees of the kinds.
#include "wizard/wiz_source.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "wizard/wiz_archive.h"
#include "wizard/wiz_ui.h"

namespace fs = std::filesystem;

namespace {

std::string join_path(const std::string &dir, const std::string &name) {
    return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

// "$HOME" without trailing "/"; "" when unset, empty or the root itself.
std::string home_dir() {
    const char *h = std::getenv("HOME");
    std::string home = h ? h : "";
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return home == "/" ? std::string() : home;
}

std::unique_ptr<WizTreeItem> fs_item(const std::string &label, const std::string &path, bool directory,
                                     wiz_icon icon) {
    auto item = std::make_unique<WizTreeItem>();
    item->label = label;
    item->expandable = directory;
    item->icon = icon;
    auto data = std::make_unique<WizFsData>();
    data->path = path;
    data->directory = directory;
    item->data = std::move(data);
    return item;
}

bool is_directory_item(const WizTreeItem *item) {
    const WizFsData *d = TreeLegacy::fs_data(item);
    return d && d->directory;
}

std::string without_rcs_suffix(std::string name) {
    for (size_t at; (at = name.find(",v")) != std::string::npos;)
        name.erase(at, 2);
    return name;
}

}   // namespace

TreeLegacy::TreeLegacy(LegacyKind *kind) : kind_(kind) {}
TreeLegacy::~TreeLegacy() = default;

const WizFsData *TreeLegacy::fs_data(const WizTreeItem *item) {
    return item ? dynamic_cast<const WizFsData *>(item->data.get()) : nullptr;
}

const WizSsData *TreeLegacy::ss_data(const WizTreeItem *item) {
    return item ? dynamic_cast<const WizSsData *>(item->data.get()) : nullptr;
}

std::string TreeLegacy::parent_path(const WizTreeItem *item) {
    const WizFsData *d = item ? fs_data(item->parent) : nullptr;
    return d ? d->path : std::string();
}

bool TreeLegacy::fs_selectable(const WizTreeItem *item) { return fs_data(item) && fs_data(item->parent); }

wiz_icon TreeLegacy::entry_icon(const std::string &, bool directory) const {
    return directory ? wiz_icon::FOLDER : wiz_icon::PLAIN_FILE;
}

std::vector<std::unique_ptr<WizTreeItem>> TreeLegacy::list_directory(const std::string &dir) const {
    std::vector<std::unique_ptr<WizTreeItem>> items;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec)
        return items;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        std::string name = it->path().filename().string();
        std::error_code dec;
        bool directory = it->is_directory(dec);   // through symbolic links
        std::string path = join_path(dir, name);
        items.push_back(fs_item(name, path, directory, entry_icon(path, directory)));
    }
    sort_by_label(&items);
    return items;
}

std::vector<std::unique_ptr<WizTreeItem>> TreeLegacy::fetch(WizTreeItem *item) {
    WizWaitCursor wait(ui());
    if (!item) {
        std::vector<std::unique_ptr<WizTreeItem>> top;
        std::string home = home_dir();
        if (!home.empty())
            top.push_back(fs_item(home, home, true, wiz_icon::FOLDER));
        top.push_back(fs_item("/", "/", true, wiz_icon::FOLDER));
        return top;
    }
    const WizFsData *d = fs_data(item);
    if (!d || !d->directory)
        return {};
    return list_directory(d->path);
}

bool TreeLegacy::can_select(const WizTreeItem *item) { return fs_selectable(item); }

std::string TreeLegacy::display_name(const WizTreeItem *item) const { return item ? item->label : ""; }

std::unique_ptr<LegacyObject> TreeLegacy::make_legacy_object(const WizTreeItem *item) {
    if (!item || !can_select(item))
        return nullptr;
    std::string shown = display_name(item);
    if (shown.empty())
        return nullptr;
    return std::make_unique<LegacyObject>(make_legacy_repository(kind_, parent_path(item)), item->label,
                                          shown);
}

// ---- Ordinary files, RCS, PVCS ---------------------------------------------------

TreeFile::TreeFile() : TreeLegacy(LegacyKind::get(LegacyKind::FFILE)) {}

TreeRCS::TreeRCS() : TreeLegacy(LegacyKind::get(LegacyKind::RCS)) {}

bool TreeRCS::can_select(const WizTreeItem *item) {
    return fs_selectable(item) && (is_directory_item(item) || wiz_is_rcs_archive(fs_data(item)->path));
}

std::string TreeRCS::display_name(const WizTreeItem *item) const {
    const WizFsData *d = fs_data(item);
    if (!d || d->directory)
        return item ? item->label : "";
    return wiz_is_rcs_archive(d->path) ? without_rcs_suffix(item->label) : std::string();
}

wiz_icon TreeRCS::entry_icon(const std::string &path, bool directory) const {
    if (directory)
        return wiz_icon::FOLDER;
    return wiz_is_rcs_archive(path) ? wiz_icon::ARCHIVE : wiz_icon::PLAIN_FILE;
}

TreePVCS::TreePVCS() : TreeLegacy(LegacyKind::get(LegacyKind::PVCS)) {}

bool TreePVCS::can_select(const WizTreeItem *item) {
    std::string leaf;
    return fs_selectable(item) &&
           (is_directory_item(item) || wiz_pvcs_workfile_leaf(fs_data(item)->path, &leaf));
}

std::string TreePVCS::display_name(const WizTreeItem *item) const {
    const WizFsData *d = fs_data(item);
    if (!d || d->directory)
        return item ? item->label : "";
    std::string leaf;
    return wiz_pvcs_workfile_leaf(d->path, &leaf) ? leaf : std::string();
}

wiz_icon TreePVCS::entry_icon(const std::string &path, bool directory) const {
    if (directory)
        return wiz_icon::FOLDER;
    return wiz_is_pvcs_archive(path) ? wiz_icon::ARCHIVE : wiz_icon::PLAIN_FILE;
}

// ---- Repositories and the trees of the kinds ---------------------------------------

std::unique_ptr<LegacyRepository> make_legacy_repository(LegacyKind *kind, std::string location) {
    if (kind->id() == LegacyKind::SSAFE)
        return std::make_unique<SsafeRepository>(kind, std::move(location));
    return std::make_unique<LegacyRepository>(kind, std::move(location));
}

TreeLegacy *wiz_source_tree(LegacyKind *kind) {
    static std::array<std::unique_ptr<TreeLegacy>, 5> trees;
    std::unique_ptr<TreeLegacy> &tree = trees[size_t(kind->id())];
    if (!tree) {
        switch (kind->id()) {
            case LegacyKind::FFILE:
                tree = std::make_unique<TreeFile>();
                break;
            case LegacyKind::PVCS:
                tree = std::make_unique<TreePVCS>();
                break;
            case LegacyKind::SSAFE:
                tree = std::make_unique<TreeVSS>();
                break;
            case LegacyKind::RCS:
            case LegacyKind::SI:
                tree = std::make_unique<TreeRCS>();
                break;
        }
    }
    return tree.get();
}
