// The source trees: one per legacy kind, in which the user browses the disk
// (and, for SourceSafe, its databases) and picks the legacy object to import.
//
// Every tree shows the home directory and "/" at the top; an item's
// children are the entries of its directory, hidden ones too, sorted by
// label. A file-system item holds its full path ("/" separators); a top item
// cannot be selected, and a legacy object's location is the path of its
// item's parent directory. A SourceSafe item holds its database's
// srcsafe.ini path and its SourceSafe path ("$/proj/sub").
//
// Invariants: a directory that cannot be read shows no children; the trees
// of the kinds exist once each (wiz_source_tree), MKS SI with a TreeRCS of
// its own whose objects are of the RCS kind.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "wizard/wiz_legacy.h"
#include "wizard/wiz_tree.h"

// A file-system item's data.
struct WizFsData : WizTreeData {
    std::string path;   // full path
    bool directory = false;
};

// A SourceSafe item's data.
struct WizSsData : WizTreeData {
    std::string ini;    // "<database folder>/srcsafe.ini"
    std::string spec;   // "$/proj/sub" or "$/proj/a.c"
    bool project = false;
};

class TreeLegacy : public WizTree {
public:
    // kind: the kind of the repositories its objects name.
    explicit TreeLegacy(LegacyKind *kind);
    ~TreeLegacy() override;
    LegacyKind *kind() const { return kind_; }

    std::vector<std::unique_ptr<WizTreeItem>> fetch(WizTreeItem *item) override;
    // A file-system item below a top item.
    bool can_select(const WizTreeItem *item) override;
    // The name shown for the item's object in the request lists.
    virtual std::string display_name(const WizTreeItem *item) const;
    // The object of a selectable item; null when it has none.
    virtual std::unique_ptr<LegacyObject> make_legacy_object(const WizTreeItem *item);

    static const WizFsData *fs_data(const WizTreeItem *item);
    static const WizSsData *ss_data(const WizTreeItem *item);
    // The path of the item's parent directory ("" for a top item).
    static std::string parent_path(const WizTreeItem *item);

protected:
    // The entries of a directory as items, sorted; none when it cannot be read.
    std::vector<std::unique_ptr<WizTreeItem>> list_directory(const std::string &dir) const;
    // The icon of a directory or a file entry.
    virtual wiz_icon entry_icon(const std::string &path, bool directory) const;
    // A file-system item below a top item.
    static bool fs_selectable(const WizTreeItem *item);

private:
    LegacyKind *kind_;
};

// Ordinary files: any file or folder.
class TreeFile : public TreeLegacy {
public:
    TreeFile();
};

// RCS (and MKS SI) archives: folders and files the RCS recogniser accepts;
// a file is shown in the request lists without ",v".
class TreeRCS : public TreeLegacy {
public:
    TreeRCS();
    bool can_select(const WizTreeItem *item) override;
    std::string display_name(const WizTreeItem *item) const override;

protected:
    wiz_icon entry_icon(const std::string &path, bool directory) const override;
};

// PVCS archives: folders and files whose workfile name can be read; a file
// is shown under the leaf of that workfile.
class TreePVCS : public TreeLegacy {
public:
    TreePVCS();
    bool can_select(const WizTreeItem *item) override;
    std::string display_name(const WizTreeItem *item) const override;

protected:
    wiz_icon entry_icon(const std::string &path, bool directory) const override;
};

// SourceSafe: a folder holding "srcsafe.ini" is a database whose children
// are its projects and files as `ss` lists them (SSDIR set to the folder).
// A SourceSafe item can always be selected, a file-system item when it is a
// folder below a top item.
class TreeVSS : public TreeLegacy {
public:
    TreeVSS();
    std::vector<std::unique_ptr<WizTreeItem>> fetch(WizTreeItem *item) override;
    bool can_select(const WizTreeItem *item) override;
    std::string display_name(const WizTreeItem *item) const override;
    std::unique_ptr<LegacyObject> make_legacy_object(const WizTreeItem *item) override;

    // The items of a project of the database, through `ss dir`; on failure
    // message 224 with the srcsafe.ini path, and none.
    std::vector<std::unique_ptr<WizTreeItem>> list_project(const std::string &ini, const std::string &spec);

protected:
    wiz_icon entry_icon(const std::string &path, bool directory) const override;
};

// A SourceSafe object path ("proj/sub", "" for the whole database) from a
// SourceSafe project path: every "$/" removed.
std::string wiz_ssafe_object_path(const std::string &spec);

// A SourceSafe repository: the exporter runs with SSDIR set to the database
// folder, in the object's parent project, and is given the object's leaf.
class SsafeRepository : public LegacyRepository {
public:
    SsafeRepository(LegacyKind *kind, std::string location);
    // "sub" for "proj/sub"; "" for the whole database.
    std::string export_operand(const std::string &object_path) const override;
    // Sets SSDIR of this process to the location and makes the parent
    // project of the object ("$/" for a top one or the whole database) the
    // working project (`ss cp`). Raises VantorException (1001) when `ss`
    // refuses, so that no export runs in some other project.
    void prepare_export(const std::string &object_path) const override;
    // "$/proj" for "proj/sub"; "$/" for "sub" or "".
    static std::string parent_project(const std::string &object_path);
};

// The repository of a kind at a location (SourceSafe: a SsafeRepository).
std::unique_ptr<LegacyRepository> make_legacy_repository(LegacyKind *kind, std::string location);

// The one source tree of a kind, made on first use.
TreeLegacy *wiz_source_tree(LegacyKind *kind);
