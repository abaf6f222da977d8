// The wizard's sheet: what every page shares. The command line, the page
// routing, the import requests (pending, done, superseded), the results of
// the last run, the project flags, the cancel question and the texts of the
// iterate and completion pages; and the error log.
//
// Invariants: the sheet owns every request it holds, and each request is in
// exactly one of the three lists; no two pending requests are the same pair;
// a superseded request is a failed one that a later success of the same pair
// replaced, so it no longer counts against "all done requests succeeded".
// The log lives (and its file exists) as long as the sheet.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "wizard/wiz_log.h"
#include "wizard/wiz_request.h"

class LegacyKind;
class WizUi;

// The pages by their dialog template numbers; STAY keeps the active page.
enum class WizPage : int {
    STAY = -1,
    WELCOME = 141,
    LEGACY_KIND = 129,
    SRC_DEST = 107,
    PREVIEW = 179,
    IMPORT_PROGRESS = 130,
    ITERATE = 180,
    PROJECT_PROGRESS = 106,
    IMPORT_SUCCEED = 142,
    IMPORT_FAIL = 176,
    PROJECT_SUCCEED = 177,
    PROJECT_FAIL = 178,
};

// The wizard's options. Each option word is looked for anywhere in the line
// (case matters; the first occurrence counts); its value runs from the next
// non-blank to the next blank. A /project: or /comp: value in double quotes
// runs to the closing quote, and option words inside it are not options.
// A value that is itself an option word counts as empty. A VOB tag lacking
// its leading "/" gets one.
struct WizCommandLine {
    std::string vob, pvob, project, comp;
    bool show_project_vobs = false;

    static WizCommandLine parse(const std::string &line);
    // argv[1..] as one line; an argument holding blanks is quoted again
    // (after its option word for /project: and /comp:), as the shell had it.
    static std::string join(int argc, const char *const *argv);
};

class SheetModel {
public:
    explicit SheetModel(WizCommandLine options = {});
    ~SheetModel();
    SheetModel(const SheetModel &) = delete;
    SheetModel &operator=(const SheetModel &) = delete;

    const WizCommandLine &options() const { return options_; }
    bool project_given() const { return !options_.project.empty(); }

    // Routing from the active page (STAY where the page has no move).
    WizPage next(WizPage active) const;
    static WizPage back(WizPage active);
    // 0..2 without a project (none, some, all done requests succeeded);
    // 3..5 likewise with one; 6 once the project is configured.
    int outcome() const;
    bool all_done_succeeded() const;   // true for no done request
    bool any_done_succeeded() const;

    // Requests.
    using Requests = std::vector<std::unique_ptr<WizRequest>>;
    const Requests &pending() const { return pending_; }
    const Requests &done() const { return done_; }
    const Requests &superseded() const { return superseded_; }
    bool is_pending(const WizRequest &candidate) const;   // the same pair is pending
    // Adopts the request; false (and the request is deleted) for a pair
    // that is pending already.
    bool add(std::unique_ptr<WizRequest> request);
    // Deletes a pending request; false when it is not one.
    bool remove(const WizRequest *request);
    void discard_pending();

    // Leaving the legacy-kind page: the kind's check, then a change of
    // kind drops what was asked of the old one. Returns where Next goes.
    WizPage leave_kind_page(LegacyKind *kind, WizUi *ui);
    LegacyKind *kind() const { return kind_; }

    // Closing a run: its counts; each success supersedes the failed done
    // requests of its pair; every pending request (run or never started)
    // becomes a done one, in order.
    void close_batch();
    int run_count() const { return run_count_; }
    int run_succeeded() const { return run_succeeded_; }

    // The project configuration's progress.
    bool label_types_created = false, labels_applied = false, baselines_made = false,
         configuration_finished = false;
    std::string label_name;
    // The baselines the project's worker made ("baseline:NAME@/pvob"), for
    // the integration stream at exit.
    std::vector<std::string> baseline_list;
    // The project VOB: /pvob:, else the VOB of the project selector ("").
    std::string project_vob() const;
    bool project_configured() const {
        return label_types_created && labels_applied && baselines_made && configuration_finished;
    }

    // The project's title from its selector; lookup may throw
    // VantorException (the title then stays empty). Cached once found.
    // Without a lookup of its own the sheet asks the project library.
    using TitleLookup = std::function<std::string(const std::string &selector)>;
    void set_title_lookup(TitleLookup lookup) { title_lookup_ = std::move(lookup); }
    const std::string &project_title();

    // The sheet's Cancel while `active` is shown: with imported files and a
    // project not yet configured, the user may go configure it instead.
    enum class CancelAnswer { CANCEL, GO_PROJECT_PROGRESS };
    CancelAnswer cancel(WizPage active, WizUi *ui);

    // The iterate page.
    struct IterateTexts {
        std::string result;    // 1046
        std::string back;      // 1048
        std::string project;   // 1047, "" (hidden) without a project
        bool error_icon = false;
    };
    IterateTexts iterate_texts();
    // Text 1025 of a completion page ("" for another page).
    std::string completion_text(WizPage page);
    long elements_examined() const;   // summed over the done requests
    long elements_created() const;

    ErrorLog &log() { return log_; }

private:
    WizCommandLine options_;
    LegacyKind *kind_ = nullptr;
    Requests pending_, done_, superseded_;
    int run_count_ = 0, run_succeeded_ = 0;
    TitleLookup title_lookup_;
    std::string title_;
    ErrorLog log_;
};
