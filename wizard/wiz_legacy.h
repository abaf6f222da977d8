// The kinds of legacy repository the wizard imports from, and the legacy
// objects picked in their source trees (wiz_source.h).
//
// A LegacyObject is a repository (a kind and a directory, its location), an
// object path within it (a name in that directory, or a SourceSafe project
// path; empty for a whole SourceSafe database) and the name shown for it.
// The exporter of its kind is run in the location with the object path as
// its one operand (wiz_task.h).
#pragma once

#include <memory>
#include <string>
#include <vector>

class WizUi;
class WizStop;

class LegacyKind {
public:
    enum Id { FFILE, PVCS, SSAFE, RCS, SI };
    // The one object of a kind, made on first use, kept for the process.
    static LegacyKind *get(Id id);
    // The kinds the legacy-kind page offers, in its order: ordinary files,
    // PVCS, SourceSafe (only with an English user interface), RCS, MKS SI.
    static std::vector<LegacyKind *> offered();
    // Whether the user interface is in English (LC_ALL, LC_MESSAGES, LANG:
    // the first set; unset or "C"/"POSIX" count as English).
    static bool ui_is_english();

    Id id() const { return id_; }
    const char *program() const { return program_; }   // "vantexport_rcs", ...
    int string_id() const { return string_id_; }
    const std::string &display();   // its string, loaded on first use

    // The check run when the user leaves the legacy-kind page with this kind
    // (PVCS only, once per process): the installation through the registry
    // and PATH; an informational message through ui when something is
    // missing. Sets the tool directory when it finds `get`.
    void first_selection_check(WizUi *ui);
    bool check_done() const { return check_done_; }
    const std::string &tool_dir() const { return tool_dir_; }
    // Puts the tool directory (when there is one) in front of PATH.
    void prepend_tool_dir_to_path() const;

    // Tests: forget the check and the tool directory.
    void reset_check();

private:
    LegacyKind(Id id, const char *program, int string_id);
    Id id_;
    const char *program_;
    int string_id_;
    std::string display_;
    std::string tool_dir_;
    bool check_done_ = false;
};

// What an export run produced.
struct LegacyExportResult {
    int exit_code = 0;
    std::string out, err;   // the exporter's standard output and error
};

class LegacyRepository {
public:
    LegacyRepository(LegacyKind *kind, std::string location);
    virtual ~LegacyRepository();
    LegacyKind *kind() const { return kind_; }
    const std::string &location() const { return location_; }
    bool operator==(const LegacyRepository &o) const { return kind_ == o.kind_ && location_ == o.location_; }

    // The exporter's command line for an object and a data file.
    std::string export_command(const std::string &object_path, const std::string &datafile) const;
    // Runs the exporter of the kind in the location (wiz_task.cpp): returns
    // when it has ended. Exit code 0 and 2 return; any other raises
    // VantorException (1001, its standard error or string 208), and a child
    // that cannot be run 1001 with string 209. stop may end the child.
    LegacyExportResult run_export(const std::string &object_path, const std::string &datafile,
                                  WizStop *stop) const;

    // The exporter's operand for an object path (SourceSafe: the leaf, run
    // in its parent project); "" for none.
    virtual std::string export_operand(const std::string &object_path) const { return object_path; }

protected:
    // Set-up the kind needs in the wizard's own process before the child
    // starts (SourceSafe: SSDIR and the working project).
    virtual void prepare_export(const std::string &object_path) const;

private:
    LegacyKind *kind_;
    std::string location_;
};

class LegacyObject {
public:
    LegacyObject(std::unique_ptr<LegacyRepository> repo, std::string object_path, std::string display_name);
    virtual ~LegacyObject();
    LegacyRepository *repository() const { return repo_.get(); }
    const std::string &object_path() const { return object_path_; }
    const std::string &display_name() const { return display_name_; }
    bool operator==(const LegacyObject &o) const {
        return object_path_ == o.object_path_ && *repo_ == *o.repo_;
    }

private:
    std::unique_ptr<LegacyRepository> repo_;
    std::string object_path_, display_name_;
};
