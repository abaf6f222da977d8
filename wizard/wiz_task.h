// An import request: one legacy object into one destination folder. Running
// it exports the object with its kind's exporter into a data file, then
// imports the data file in this process into the destination, recording
// what the import made (for the labelling) while forwarding the import's
// progress as events.
//
// Invariants: the GUI thread and the import thread never touch a request at
// the same time (the thread gets one request at a time and hands it back
// with event 9 or 10). The data file exists only while run() runs. The
// counters and maps only grow during one run and are reset at its start.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "wizard/wiz_event.h"
#include "wizard/wiz_label.h"
#include "wizard/wiz_legacy.h"
#include "wizard/wiz_request.h"

class WizStop;

// The command-line form of one argument by the Windows rules, quoted: what
// wiz_split_command_line reads back as exactly that argument.
std::string wiz_quote_argument(const std::string &arg);

class ImportTask : public WizRequest {
public:
    // Receives events 1 to 8 as the import reports them (after they were
    // recorded).
    using EventSink = std::function<void(const ImportEvent &)>;

    ImportTask(std::unique_ptr<LegacyObject> object, std::unique_ptr<ImportDestination> dest);
    ~ImportTask() override;

    // Exports, imports, deletes the data file. Raises VantorException; the
    // request has succeeded only when it returns.
    void run(const EventSink &sink, WizStop *stop);

    // The first free "importWizardData.<pid>.<n>" in the temporary
    // directory; VantorException with message 110 when there is none.
    static std::string choose_datafile();

    LegacyObject *object() const { return object_.get(); }
    ImportDestination *destination() const { return dest_.get(); }
    bool started() const override { return started_; }
    bool exported() const { return exported_; }
    bool succeeded() const override { return label_.succeeded; }
    bool same_pair(const WizRequest &other) const override;
    std::string source_text() const override;
    std::string destination_text() const override;
    std::string vob_tag() const override;
    long elements_examined() const override;
    long elements_created() const override;
    long label_work() const override;

    // Labels what the import made (nothing unless it succeeded).
    void apply_label(const std::string &label, EventObserver *observer) override;

    const std::map<vob_oid, bool> &element_map() const { return label_.element_map; }
    const std::map<vob_oid, vob_oid> &created_dirs() const { return label_.created_dirs; }
    const std::map<vob_oid, vob_oid> &ancestor_dirs() const { return label_.ancestor_dirs; }
    const std::vector<vob_oid> &branch_list() const { return label_.branch_list; }
    const std::vector<std::string> &directory_names() const { return dir_names_; }
    const std::string &branch_type() const { return label_.branch_type; }
    long versions_reported() const { return versions_all_; }
    long versions_new() const { return versions_new_; }
    long versions_identical() const { return versions_identical_; }
    // The data file of the latest run ("" before the first).
    const std::string &datafile() const { return datafile_; }

private:
    struct Callbacks;
    void import(const std::string &datafile, const EventSink &sink, WizStop *stop);

    std::unique_ptr<LegacyObject> object_;
    std::unique_ptr<ImportDestination> dest_;
    bool started_ = false, exported_ = false;
    LabelRequest label_;
    std::vector<std::string> dir_names_;
    long versions_all_ = 0, versions_new_ = 0, versions_identical_ = 0;
    std::string datafile_;
};
