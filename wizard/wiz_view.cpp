// The temporary snapshot view and the destinations in it.
#include "wizard/wiz_dest.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "platform/registry/registry.h"
#include "runtime/fileutl.h"
#include "runtime/tbs.h"
#include "wizard/wiz_error.h"
#include "wizard/wiz_strings.h"

namespace {

void remove_tree(const std::string &dir) {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

std::string unused_tag() {
    DynamicContext ctx(wiz_string(IDS_CTX_VIEWTAG));
    for (int n = 0;; ++n) {
        std::string tag =
            "VantorImportWizard." + std::to_string(unsigned(::getpid())) + "." + std::to_string(n);
        std::string dir, err;
        int rc = view_tag_get_path(tag, &dir, &err);
        if (rc == VOB_NOT_FOUND)
            return tag;
        if (rc != VOB_OK)
            throw VantorException(rc, err);
    }
}

std::string new_workspace() {
    DynamicContext ctx(wiz_string(IDS_CTX_WORKSPACE));
    std::string templ = fileutl_tmpdir() + "/ImportWizard.XXXXXX";
    if (!::mkdtemp(templ.data()))
        throw VantorException(VOB_ERR, std::string("cannot make a directory in ") + fileutl_tmpdir() + ": " +
                                           std::strerror(errno));
    return templ;
}

}   // namespace

TempSnapshotView::TempSnapshotView() {
    DynamicContext ctx(wiz_string(IDS_CTX_TEMP_VIEW));
    tag_ = unused_tag();
    workspace_ = new_workspace();
    root_ = workspace_ + "/" + tag_;
    std::string err;
    int rc = view_make(tag_, root_, &err);
    if (rc != VOB_OK) {
        remove_tree(workspace_);
        throw VantorException(rc, err);
    }
    auto undo = [&]() {
        view_close(handle_);
        handle_ = nullptr;
        std::string ignored;
        (void)view_remove(root_, 1, &ignored);
        remove_tree(workspace_);
    };
    rc = view_open(root_, &handle_, &err);
    if (rc != VOB_OK) {
        undo();
        throw VantorException(
            VantorException::COMPLETE,
            wiz_format(IDS_NO_WS_HANDLE, {tag_, tbs_strerror(rc) + (err.empty() ? "" : ": " + err)}));
    }
    std::string spec = root_ + "/config_spec";
    {
        std::ofstream f(spec);
        f << "element * CHECKEDOUT\nelement * /main/LATEST\n";
    }
    rc = view_set_config_spec_file(handle_, spec);
    if (rc != VOB_OK) {
        std::string why = tbs_strerror(rc) + ": " + view_errmsg(handle_);
        undo();
        throw VantorException(VantorException::COMPLETE, wiz_format(IDS_NO_CONFIG_SPEC, {tag_, why}));
    }
}

TempSnapshotView::~TempSnapshotView() {
    view_close(handle_);
    DynamicContext ctx(wiz_format(IDS_CTX_RMVIEW, {tag_}));
    std::string err;
    if (view_remove(root_, 1, &err) != VOB_OK)
        std::fprintf(stderr, "%s: %s\n", wiz_title().c_str(), err.c_str());
    remove_tree(workspace_);
}

void TempSnapshotView::add_to_scope(const std::string &vob_tag) {
    if (scopes_.count(vob_tag))
        return;
    if (view_add_scope(handle_, vob_tag) == VOB_OK)
        scopes_.insert(vob_tag);
}

bool TempSnapshotView::file_handle(const std::string &path, view_fhandle *out) const {
    std::string full = root_ + (path.empty() || path[0] != '/' ? "/" : "") + path;
    return view_get_fhandle(handle_, full, out) == VOB_OK;
}

ImportDestination::ImportDestination(TempSnapshotView *view, std::string vob_tag, std::string sub_path)
    : view_(view), vob_tag_(std::move(vob_tag)), sub_path_(std::move(sub_path)) {
    // Made here, not on first use: the GUI and the import thread read them
    // at the same time.
    vob_relative_path_ = vob_tag_ + (sub_path_.empty() ? "" : "/" + sub_path_);
    full_path_ = view_->root() + vob_relative_path_;
    view_->add_to_scope(vob_tag_);
}

ImportDestination::~ImportDestination() = default;
