// The destination tree of VOB folders.
#include <unistd.h>

#include "platform/registry/registry.h"
#include "platform/registry/vob_tag.h"
#include "runtime/nt.h"
#include "wizard/wiz_dest.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_ui.h"

namespace {

struct VobItemData : WizTreeData {
    enum state_t { NONE, NOT_FOUND, FOUND } state = NONE;   // the directory's lookup in the view
    view_fhandle fh;
    bool inaccessible = false;
};

VobItemData *data_of(WizTreeItem *item) {
    if (!item->data)
        item->data = std::make_unique<VobItemData>();
    return static_cast<VobItemData *>(item->data.get());
}

std::unique_ptr<WizTreeItem> folder_item(std::string label, WizTreeItem *parent, wiz_icon icon) {
    auto it = std::make_unique<WizTreeItem>();
    it->label = std::move(label);
    it->parent = parent;
    it->expandable = true;
    it->icon = icon;
    it->data = std::make_unique<VobItemData>();
    return it;
}

const WizTreeItem *top_of(const WizTreeItem *item) {
    while (item->parent)
        item = item->parent;
    return item;
}

}   // namespace

TreeVob::TreeVob(TempSnapshotView *view, std::string cmdline_vob, bool show_project_vobs)
    : view_(view), cmdline_vob_(std::move(cmdline_vob)), show_project_vobs_(show_project_vobs) {}

TreeVob::~TreeVob() {
    for (auto &v : vobs_)
        vob_close(v.second);
}

bool TreeVob::privileged() const { return nt_is_privileged() != 0; }
unsigned TreeVob::user_id() const { return unsigned(::geteuid()); }

std::vector<std::unique_ptr<WizTreeItem>> TreeVob::fetch(WizTreeItem *item) {
    std::vector<std::unique_ptr<WizTreeItem>> out;
    if (!item) {
        std::vector<std::string> tags;
        if (!cmdline_vob_.empty()) {
            tags.push_back(cmdline_vob_);
        } else {
            // Without a registry there is nothing to show; the tree stays empty.
            std::vector<rgy_vob> vobs;
            std::string err;
            if (rgy_vob_list("", &vobs, &err) == VOB_OK)
                for (auto &v : vobs)
                    if (show_project_vobs_ || !v.project)
                        tags.push_back(v.tag);
        }
        for (auto &t : tags)
            out.push_back(folder_item(t, nullptr, wiz_icon::VOB));
        sort_by_label(&out);
        return out;
    }
    if (check_item(item) != 0)
        return out;
    const view_fhandle *fh = dir_handle(item);
    std::vector<view_dirent> ents;
    if (!fh || view_readdir(view_->handle(), *fh, &ents) != VOB_OK)
        return out;
    for (auto &e : ents) {
        if (e.mtype != VOB_MT_DIR_ELEM || e.name == "." || e.name == "..")
            continue;
        if (!item->parent && e.name == "lost+found")
            continue;
        out.push_back(folder_item(e.name, item, wiz_icon::FOLDER));
    }
    sort_by_label(&out);
    return out;
}

std::string TreeVob::item_path(const WizTreeItem *item) {
    std::string path;
    for (auto &l : labels_of(item))
        path += (path.empty() ? "" : "/") + l;
    return path;
}

std::string TreeVob::sub_path(const WizTreeItem *item) {
    std::string path;
    auto labels = labels_of(item);
    for (size_t i = 1; i < labels.size(); ++i)
        path += (path.empty() ? "" : "/") + labels[i];
    return path;
}

bool TreeVob::inaccessible(const WizTreeItem *item) {
    auto *d = dynamic_cast<const VobItemData *>(item->data.get());
    return d && d->inaccessible;
}

vob_t *TreeVob::vob_of(const std::string &tag) {
    auto it = vobs_.find(tag);
    if (it != vobs_.end())
        return it->second;
    vob_t *v = nullptr;
    std::string err;
    if (vob_open_tag(tag, &v, &err) != VOB_OK) {
        vob_close(v);
        return nullptr;   // not cached: the VOB may come back
    }
    vobs_[tag] = v;
    return v;
}

const view_fhandle *TreeVob::dir_handle(WizTreeItem *item) {
    VobItemData *d = data_of(item);
    if (d->state == VobItemData::NONE)
        d->state = view_->file_handle(item_path(item), &d->fh) && d->fh.mtype == VOB_MT_DIR_ELEM
                       ? VobItemData::FOUND
                       : VobItemData::NOT_FOUND;
    return d->state == VobItemData::FOUND ? &d->fh : nullptr;
}

int TreeVob::check_item(WizTreeItem *item) {
    WizTreeItem *top = const_cast<WizTreeItem *>(top_of(item));
    vob_t *vob = vob_of(top->label);
    if (!vob) {
        data_of(item)->inaccessible = true;
        return IDS_NO_VOB_ACCESS;
    }
    if (!privileged() && user_id() != vob_get_owner_uid(vob))
        return IDS_NOT_OWNER;
    if (!dir_handle(item)) {
        if (item == top)
            data_of(item)->inaccessible = true;
        return IDS_NO_VOB_ACCESS;
    }
    return 0;
}

bool TreeVob::check_destination(bool silent) {
    WizTreeItem *sel = selected();
    if (!sel)
        return false;
    int why = check_item(sel);
    if (why == 0)
        return true;
    // The silent check only decides; the selection stays for the user to see.
    if (!silent) {
        if (ui())
            ui()->message_box(wiz_box::ERROR, wiz_format(why, {item_path(sel)}));
        clear_selection();
    }
    return false;
}

std::unique_ptr<ImportDestination> TreeVob::make_destination() const {
    const WizTreeItem *sel = selected();
    if (!sel)
        return nullptr;
    return std::make_unique<ImportDestination>(view_, top_of(sel)->label, sub_path(sel));
}
