// The sheet's shared state: options, routing, requests and page texts.
#include "wizard/wiz_sheet.h"

#include "platform/orbis/sum.h"

#include <algorithm>
#include <cstring>

#include "wizard/wiz_error.h"
#include "wizard/wiz_legacy.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_ui.h"

namespace {

enum { W_VOB, W_PVOB, W_PROJECT, W_COMP, W_SHOW, W_COUNT };
const char *const WORDS[W_COUNT] = {"/vob:", "/pvob:", "/project:", "/comp:", "/show_project_vobs"};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

int word_at(const std::string &line, size_t pos) {
    for (int w = 0; w < W_COUNT; ++w)
        if (line.compare(pos, std::strlen(WORDS[w]), WORDS[w]) == 0)
            return w;
    return -1;
}

bool quotable(int w) { return w == W_PROJECT || w == W_COMP; }

// The value after an option word that ends at `from`. A quoted value sets
// *quoted_end to just past its closing quote (or the end of the line).
std::string value_after(const std::string &line, size_t from, bool may_quote, size_t *quoted_end,
                        bool *quoted) {
    size_t n = line.size(), i = from;
    while (i < n && is_blank(line[i]))
        ++i;
    *quoted = may_quote && i < n && line[i] == '"';
    if (*quoted) {
        size_t close = line.find('"', i + 1);
        size_t end = close == std::string::npos ? n : close;
        *quoted_end = close == std::string::npos ? n : close + 1;
        return line.substr(i + 1, end - i - 1);
    }
    size_t end = i;
    while (end < n && !is_blank(line[end]))
        ++end;
    return line.substr(i, end - i);
}

std::string with_root(std::string tag) {
    if (!tag.empty() && tag[0] != '/')
        tag.insert(0, 1, '/');
    return tag;
}

bool has_blank(const std::string &s) { return std::any_of(s.begin(), s.end(), is_blank); }

}   // namespace

WizCommandLine WizCommandLine::parse(const std::string &line) {
    bool found[W_COUNT] = {};
    std::string values[W_COUNT];
    size_t i = 0;
    while (i < line.size()) {
        int w = word_at(line, i);
        if (w < 0) {
            ++i;
            continue;
        }
        size_t resume = i + std::strlen(WORDS[w]);
        if (w != W_SHOW) {
            size_t quoted_end = 0;
            bool quoted = false;
            std::string v = value_after(line, resume, quotable(w), &quoted_end, &quoted);
            // "/vob: /comp:x" gives no VOB rather than the VOB "/comp:x".
            if (!quoted && word_at(v, 0) >= 0)
                v.clear();
            if (!found[w])
                values[w] = v;
            // Words inside a quoted value are the value's text.
            if (quoted)
                resume = quoted_end;
        }
        found[w] = true;
        i = resume;
    }
    WizCommandLine c;
    c.vob = with_root(values[W_VOB]);
    c.pvob = with_root(values[W_PVOB]);
    c.project = values[W_PROJECT];
    c.comp = values[W_COMP];
    c.show_project_vobs = found[W_SHOW];
    return c;
}

std::string WizCommandLine::join(int argc, const char *const *argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i] ? argv[i] : "";
        if (!line.empty())
            line += ' ';
        if (!has_blank(a)) {
            line += a;
            continue;
        }
        int w = word_at(a, 0);
        if (w >= 0 && quotable(w)) {
            size_t len = std::strlen(WORDS[w]);
            line += a.substr(0, len) + '"' + a.substr(len) + '"';
        } else {
            line += '"' + a + '"';
        }
    }
    return line;
}

SheetModel::SheetModel(WizCommandLine options) : options_(std::move(options)) {}

SheetModel::~SheetModel() = default;

bool SheetModel::all_done_succeeded() const {
    return std::all_of(done_.begin(), done_.end(), [](const auto &r) { return r->succeeded(); });
}

bool SheetModel::any_done_succeeded() const {
    return std::any_of(done_.begin(), done_.end(), [](const auto &r) { return r->succeeded(); });
}

WizPage SheetModel::next(WizPage active) const {
    switch (active) {
        case WizPage::WELCOME:
            return WizPage::LEGACY_KIND;
        case WizPage::LEGACY_KIND:
            return WizPage::SRC_DEST;
        case WizPage::SRC_DEST:
            return WizPage::PREVIEW;
        case WizPage::PREVIEW:
            return WizPage::IMPORT_PROGRESS;
        case WizPage::IMPORT_PROGRESS:
            return WizPage::ITERATE;
        case WizPage::ITERATE:
            if (project_given())
                return all_done_succeeded() ? WizPage::PROJECT_PROGRESS : WizPage::PROJECT_FAIL;
            return all_done_succeeded() ? WizPage::IMPORT_SUCCEED : WizPage::IMPORT_FAIL;
        case WizPage::PROJECT_PROGRESS:
            return project_configured() ? WizPage::PROJECT_SUCCEED : WizPage::PROJECT_FAIL;
        default:
            return WizPage::STAY;
    }
}

WizPage SheetModel::back(WizPage active) {
    switch (active) {
        case WizPage::SRC_DEST:
        case WizPage::ITERATE:
            return WizPage::LEGACY_KIND;
        case WizPage::LEGACY_KIND:
            return WizPage::WELCOME;
        case WizPage::PREVIEW:
            return WizPage::SRC_DEST;
        default:
            return WizPage::STAY;
    }
}

int SheetModel::outcome() const {
    int base = 0;
    if (project_given()) {
        if (configuration_finished)
            return 6;
        base = 3;
    }
    if (all_done_succeeded())
        return base + 2;
    return base + (any_done_succeeded() ? 1 : 0);
}

bool SheetModel::is_pending(const WizRequest &candidate) const {
    return std::any_of(pending_.begin(), pending_.end(),
                       [&](const auto &r) { return r->same_pair(candidate); });
}

bool SheetModel::add(std::unique_ptr<WizRequest> request) {
    if (!request || is_pending(*request))
        return false;
    pending_.push_back(std::move(request));
    return true;
}

bool SheetModel::remove(const WizRequest *request) {
    auto it =
        std::find_if(pending_.begin(), pending_.end(), [&](const auto &r) { return r.get() == request; });
    if (it == pending_.end())
        return false;
    pending_.erase(it);
    return true;
}

void SheetModel::discard_pending() { pending_.clear(); }

WizPage SheetModel::leave_kind_page(LegacyKind *kind, WizUi *ui) {
    {
        WizWaitCursor wait(ui);
        if (kind)
            kind->first_selection_check(ui);
    }
    if (kind != kind_)
        discard_pending();
    kind_ = kind;
    return next(WizPage::LEGACY_KIND);
}

void SheetModel::close_batch() {
    run_count_ = int(pending_.size());
    run_succeeded_ =
        int(std::count_if(pending_.begin(), pending_.end(), [](const auto &r) { return r->succeeded(); }));
    for (auto &request : pending_) {
        if (request->succeeded()) {
            auto replaced = std::stable_partition(done_.begin(), done_.end(), [&](const auto &d) {
                return d->succeeded() || !d->same_pair(*request);
            });
            std::move(replaced, done_.end(), std::back_inserter(superseded_));
            done_.erase(replaced, done_.end());
        }
        done_.push_back(std::move(request));
    }
    pending_.clear();
}

std::string SheetModel::project_vob() const {
    if (!options_.pvob.empty())
        return options_.pvob;
    size_t at = options_.project.rfind('@');
    return at == std::string::npos ? std::string() : options_.project.substr(at + 1);
}

// The title through the project library, its messages kept from the user.
static std::string library_title(const std::string &selector, const std::string &pvob_tag) {
    SUM_ImsgRedirector quiet;
    SUM_Vob pvob;
    SUM_Project project;
    std::string title;
    int rc = pvob_tag.empty() ? 0 : SUM_Vob::construct_from_pname_or_tag(pvob_tag, 0, &pvob);
    if (rc == 0)
        rc = SUM_Project::construct_from_selector(selector, pvob, SUM_READ, &project);
    if (rc == 0)
        rc = project.title(&title);
    if (rc != 0)
        throw VantorException(rc, quiet);
    return title;
}

const std::string &SheetModel::project_title() {
    if (title_.empty() && project_given()) {
        try {
            title_ = title_lookup_ ? title_lookup_(options_.project) : library_title(options_.project, project_vob());
        } catch (const VantorException &) {
            title_.clear();
        }
    }
    return title_;
}

SheetModel::CancelAnswer SheetModel::cancel(WizPage active, WizUi *ui) {
    bool asks = active == WizPage::LEGACY_KIND || active == WizPage::SRC_DEST || active == WizPage::PREVIEW ||
                active == WizPage::ITERATE;
    if (!asks || !project_given() || !any_done_succeeded() || !ui)
        return CancelAnswer::CANCEL;
    std::string question = wiz_format(IDS_CANCEL_PROJECT, {wiz_product(), project_title()});
    return ui->ask_yes_no(question) ? CancelAnswer::GO_PROJECT_PROGRESS : CancelAnswer::CANCEL;
}

SheetModel::IterateTexts SheetModel::iterate_texts() {
    IterateTexts t;
    std::string product = wiz_product();
    bool all = all_done_succeeded();
    if (all)
        t.result = wiz_format(IDS_ITERATE_ALL_OK, {product});
    else if (run_succeeded_ < run_count_)
        t.result = wiz_format(IDS_ITERATE_SOME_FAILED, {product});
    else
        t.result = wiz_format(IDS_ITERATE_EARLIER_FAILED, {product});
    t.back = wiz_format(all ? IDS_ITERATE_BACK : IDS_ITERATE_BACK_RETRY);
    if (project_given())
        t.project = wiz_format(IDS_ITERATE_PROJECT, {product, project_title()});
    t.error_icon = !all;
    return t;
}

long SheetModel::elements_examined() const {
    long n = 0;
    for (const auto &r : done_)
        n += r->elements_examined();
    return n;
}

long SheetModel::elements_created() const {
    long n = 0;
    for (const auto &r : done_)
        n += r->elements_created();
    return n;
}

std::string SheetModel::completion_text(WizPage page) {
    std::string product = wiz_product();
    switch (page) {
        case WizPage::IMPORT_SUCCEED:
            return wiz_format(IDS_IMPORT_SUCCEEDED, {product});
        case WizPage::IMPORT_FAIL:
            return wiz_format(outcome() == 0 ? IDS_FAIL_NONE : IDS_FAIL_SOME, {product});
        case WizPage::PROJECT_SUCCEED: {
            const std::string &title = project_title();
            if (title.empty())
                return wiz_format(IDS_IMPORT_SUCCEEDED, {product});
            return wiz_format(IDS_PROJECT_SUCCEEDED, {product, (long long)elements_examined(),
                                                      (long long)elements_created(), label_name, title});
        }
        case WizPage::PROJECT_FAIL: {
            const std::string &title = project_title();
            bool titled = !title.empty();
            int o = outcome();
            // A configuration that ended with a step missing reads as a
            // failed configuration, as outcome 5 does.
            int id = o == 3   ? (titled ? IDS_PFAIL_NONE_TITLED : IDS_PFAIL_NONE)
                     : o == 4 ? (titled ? IDS_PFAIL_SOME_TITLED : IDS_PFAIL_SOME)
                              : (titled ? IDS_PFAIL_CONFIG_TITLED : IDS_PFAIL_CONFIG);
            return titled ? wiz_format(id, {product, title}) : wiz_format(id, {product});
        }
        default:
            return std::string();
    }
}
