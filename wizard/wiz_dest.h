// Where requests import to: the wizard's temporary snapshot view, the
// destination tree of VOB folders and the destination a picked folder
// becomes.
//
// The view exists from start-up to exit. Its load scope starts empty and
// grows by the VOB of each destination made, so that the view loads only
// what the user imports into. Destination paths use "/" throughout: the VOB
// tag is "/proj", the sub-path "src/lib", the full path
// "<view root>/proj/src/lib".
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/view/view.h"
#include "wizard/wiz_tree.h"

class TempSnapshotView {
public:
    // Makes the view: an unused tag "VantorImportWizard.<pid>.<n>", a new
    // workspace directory under the temporary directory, the two-line
    // config spec. Raises VantorException; a half-made view is removed first.
    TempSnapshotView();
    // Removes the view and its workspace; a failure is logged to standard
    // error (the wizard shows none).
    virtual ~TempSnapshotView();
    TempSnapshotView(const TempSnapshotView &) = delete;
    TempSnapshotView &operator=(const TempSnapshotView &) = delete;

    const std::string &tag() const { return tag_; }
    const std::string &workspace() const { return workspace_; }
    const std::string &root() const { return root_; }   // workspace + "/" + tag
    // Adds a VOB to the load scope once; a failure is ignored.
    void add_to_scope(const std::string &vob_tag);
    const std::set<std::string> &scopes() const { return scopes_; }
    // The view library's handle, for the GUI thread's reading of the view.
    view_t *handle() const { return handle_; }
    // The view's file handle of a path below the root ("/proj/src" or
    // "proj/src"); false when the view has no such element.
    bool file_handle(const std::string &path, view_fhandle *out) const;

private:
    std::string tag_, workspace_, root_;
    view_t *handle_ = nullptr;
    std::set<std::string> scopes_;
};

class ImportDestination {
public:
    // Adds the VOB to the view's load scope.
    ImportDestination(TempSnapshotView *view, std::string vob_tag, std::string sub_path);
    virtual ~ImportDestination();
    TempSnapshotView *view() const { return view_; }
    const std::string &vob_tag() const { return vob_tag_; }
    const std::string &sub_path() const { return sub_path_; }
    // View root + VOB tag [+ "/" + sub-path].
    const std::string &full_path() const { return full_path_; }
    // VOB tag [+ "/" + sub-path].
    const std::string &vob_relative_path() const { return vob_relative_path_; }
    bool operator==(const ImportDestination &o) const {
        return view_ == o.view_ && vob_tag_ == o.vob_tag_ && sub_path_ == o.sub_path_;
    }

private:
    TempSnapshotView *view_;
    std::string vob_tag_, sub_path_;
    std::string full_path_, vob_relative_path_;
};

// The destination tree: VOBs at the top, their directories below, read
// through the temporary view. Items are filled lazily; a directory is filled
// only when the user may import into its VOB and the view has the directory.
//
// Reading needs no load scope (the view reads any registered VOB): the scope
// grows only when a destination is made, so browsing loads nothing.
class TreeVob : public WizTree {
public:
    // cmdline_vob: the one VOB to show ("" for all of the default region);
    // show_project_vobs: list project VOBs too (always shown when named).
    TreeVob(TempSnapshotView *view, std::string cmdline_vob, bool show_project_vobs);
    ~TreeVob() override;

    std::vector<std::unique_ptr<WizTreeItem>> fetch(WizTreeItem *item) override;
    // Whether the selected item is a folder the user may import into; when
    // it is not and silent is false, says why and drops the selection.
    bool check_destination(bool silent);
    // The destination of the selected item; null when nothing is selected.
    std::unique_ptr<ImportDestination> make_destination() const;

    // "/proj/src/lib": the labels joined; sub_path: "src/lib".
    static std::string item_path(const WizTreeItem *item);
    static std::string sub_path(const WizTreeItem *item);
    static bool inaccessible(const WizTreeItem *item);

protected:
    // The process's privilege and user, virtual so that tests can be
    // someone else.
    virtual bool privileged() const;
    virtual unsigned user_id() const;

private:
    // 0 when acceptable, else the number of the message that says why.
    int check_item(WizTreeItem *item);
    // The VOB's handle, opened once per tag; null when it cannot be opened.
    vob_t *vob_of(const std::string &tag);
    // The item's directory in the view, looked up once; null when the view
    // has none.
    const view_fhandle *dir_handle(WizTreeItem *item);

    TempSnapshotView *view_;
    std::string cmdline_vob_;
    bool show_project_vobs_;
    std::map<std::string, vob_t *> vobs_;
};
