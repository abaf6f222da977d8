// The project configuration: the worker's steps, its thread, the page's
// handling of its events, and the integration stream at exit.
#include "wizard/wiz_project.h"

#include <cstdio>
#include <map>
#include <set>

#include "platform/orbis/sum.h"
#include "runtime/imsg.h"
#include "wizard/wiz_label.h"
#include "wizard/wiz_sheet.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_ui.h"

namespace {

// Raises the captured messages of a failed project call.
void sum_check(int rc, const SUM_ImsgRedirector &captured) {
    if (rc != 0)
        throw VantorException(rc, captured);
}

void vob_check(vob_t *vob, int rc) {
    if (rc != VOB_OK)
        throw VantorException(rc, vob_errmsg(vob));
}

// The destination VOBs of the done requests, sorted, each once.
std::set<std::string> destination_vobs(const SheetModel &sheet) {
    std::set<std::string> tags;
    for (const auto &r : sheet.done())
        tags.insert(r->vob_tag());
    return tags;
}

// The first of base, base.1, base.2, ... that no VOB has as a label type.
std::string unused_label(const std::map<std::string, vob_t *> &vobs, const std::string &base) {
    DynamicContext ctx(wiz_string(IDS_CTX_UNUSED_LABEL));
    std::string name = base;
    for (long n = 1;; n++) {
        bool taken = false;
        for (const auto &[tag, vob] : vobs) {
            vob_oid have = 0;
            int rc = vob_type_find(vob, VOB_MT_LBTYPE, name, &have);
            if (rc == VOB_OK) {
                taken = true;
                break;
            }
            if (rc != VOB_NOT_FOUND)
                throw VantorException(rc, vob_errmsg(vob));
        }
        if (!taken)
            return name;
        name = base + "." + std::to_string(n);
    }
}

void create_label_type(vob_t *vob, const std::string &tag, const std::string &label) {
    DynamicContext ctx(wiz_format(IDS_CTX_CREATE_LABEL, {label, tag}));
    vob_event ev = vob_event_now("Import Wizard: creating label type for baselining imported files");
    vob_oid oid = 0;
    vob_check(vob, vob_type_create(vob, VOB_MT_LBTYPE, label, &ev, &oid));
}

// The component whose baseline the label of `tag` makes: the one the
// command line names, or, when its root lies in another VOB, the
// project's modifiable component rooted in `tag` (so that an import into
// several VOBs reaches each of their components).
SUM_Component component_for(const SheetModel &sheet, const SUM_Vob &pvob, const std::string &tag,
                            const SUM_ImsgRedirector &captured) {
    SUM_Component comp;
    sum_check(SUM_Component::construct_from_selector(sheet.options().comp, pvob, SUM_READ, &comp), captured);
    std::string comp_vob;
    sum_check(comp.vob_tag(&comp_vob), captured);
    if (comp_vob == tag)
        return comp;
    SUM_Project project;
    std::vector<SUM_Component> mods;
    if (SUM_Project::construct_from_selector(sheet.options().project, pvob, SUM_READ, &project) == 0 &&
        project.mod_comps(&mods) == 0)
        for (const SUM_Component &m : mods) {
            std::string v;
            if (m.vob_tag(&v) == 0 && v == tag)
                return m;
        }
    return comp;   // its baseline is refused, saying why
}

void make_baseline(SheetModel &sheet, const std::string &label, const std::string &tag) {
    DynamicContext ctx(wiz_format(IDS_CTX_BASELINE, {label, tag}));
    SUM_ImsgRedirector captured;
    SUM_LabelType lbtype;
    sum_check(SUM_LabelType::construct_from_selector(label + "@" + tag, SUM_Vob(), &lbtype), captured);
    SUM_Vob pvob;
    sum_check(SUM_Vob::construct_from_pname_or_tag(sheet.project_vob(), 0, &pvob), captured);
    SUM_Component comp = component_for(sheet, pvob, tag, captured);
    SUM_Baseline bl;
    sum_check(SUM_Baseline::create_import(lbtype, nullptr, comp, wiz_string(IDS_BASELINE_COMMENT), &bl), captured);
    sheet.baseline_list.push_back(bl.selector());
}

// Tells the page of each label attached.
class LabellingObserver : public EventObserver {
public:
    explicit LabellingObserver(const std::function<void(const ProjectEvent &)> &sink) : sink_(sink) {}
    void notify() override { sink_({ProjectEvent::STEP, 0, nullptr}); }

private:
    const std::function<void(const ProjectEvent &)> &sink_;
};

void work(SheetModel &sheet, const std::function<void(const ProjectEvent &)> &sink) {
    std::set<std::string> tags = destination_vobs(sheet);
    std::map<std::string, vob_t *> vobs;
    {
        DynamicContext ctx(wiz_string(IDS_CTX_VOB_HANDLES));
        for (const std::string &tag : tags)
            vobs[tag] = wiz_vob_handle(tag);
    }
    std::string label = unused_label(vobs, wiz_label_base_name(std::time(nullptr)));
    sheet.label_name = label;
    for (const auto &[tag, vob] : vobs)
        create_label_type(vob, tag, label);
    sink({ProjectEvent::TYPES_CREATED, 0, nullptr});
    long work = 0;
    for (const auto &r : sheet.done())
        work += r->label_work();
    sink({ProjectEvent::RANGE, work, nullptr});
    LabellingObserver observer(sink);
    for (const auto &r : sheet.done())
        if (r->succeeded())
            r->apply_label(label, &observer);
    sink({ProjectEvent::LABELLED, 0, nullptr});
    for (const std::string &tag : tags)
        make_baseline(sheet, label, tag);
    sink({ProjectEvent::BASELINES, 0, nullptr});
    sink({ProjectEvent::FINISHED, 0, nullptr});
}

}   // namespace

std::string wiz_label_base_name(std::time_t when) {
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    localtime_r(&when, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "IMPORTED_%04d-%s-%02d", tm.tm_year + 1900, months[tm.tm_mon % 12],
                  tm.tm_mday);
    return buf;
}

void wiz_project_work(SheetModel &sheet, const std::function<void(const ProjectEvent &)> &sink) {
    try {
        work(sheet, sink);
    } catch (const VantorException &e) {
        sink({ProjectEvent::FAILED, 0, std::make_shared<VantorException>(e)});
    } catch (const std::exception &e) {
        sink({ProjectEvent::FAILED, 0, std::make_shared<VantorException>(VantorException::COMPLETE, e.what())});
    }
}

// ---- The worker's thread -------------------------------------------------------------

ProjectThread::ProjectThread(QObject *receiver, Handler handler)
    : sender_(receiver), handler_(std::move(handler)) {}

ProjectThread::~ProjectThread() {
    sender_.abandon();
    join();
}

void ProjectThread::start(SheetModel *sheet) {
    if (thread_.joinable())
        return;
    try {
        thread_ = std::thread([this, sheet] {
            {
                std::unique_lock<std::mutex> g(lock_);
                cv_.wait(g, [&] { return gate_open_; });
            }
            Handler handler = handler_;
            wiz_project_work(*sheet, [this, handler](const ProjectEvent &ev) {
                sender_.send([handler, ev] { handler(ev); });
            });
            wiz_vob_handles_release();
            wiz_context_thread_end();
            std::lock_guard<std::mutex> g(lock_);
            finished_ = true;
        });
    } catch (const std::system_error &e) {
        throw SubProcException(e.code().value());
    }
    // The worker starts with a copy of the page's descriptions.
    wiz_context_hand_to(thread_.get_id(), wiz_context_snapshot());
    std::lock_guard<std::mutex> g(lock_);
    gate_open_ = true;
    cv_.notify_all();
}

void ProjectThread::join() {
    if (thread_.joinable())
        thread_.join();
}

bool ProjectThread::finished() const {
    std::lock_guard<std::mutex> g(lock_);
    return finished_;
}

// ---- The page ---------------------------------------------------------------------------

ProjectProgressModel::ProjectProgressModel(SheetModel *sheet) : sheet_(sheet) {}

void ProjectProgressModel::activate() {
    header_ = wiz_format(IDS_PROJECT_CONFIGURING, {sheet_->project_title()});
    status_.clear();
    error_icon_ = false;
    bar_max_ = 100;
    bar_pos_ = 0;
}

void ProjectProgressModel::handle(const ProjectEvent &ev, WizUi *ui) {
    switch (ev.kind) {
        case ProjectEvent::TYPES_CREATED:
            sheet_->label_types_created = true;
            break;
        case ProjectEvent::RANGE:
            // The bar takes the whole count (no 16-bit cut).
            bar_max_ = ev.value > 0 ? int(std::min<long>(ev.value, 0x7fffffff)) : 0;
            bar_pos_ = 0;
            break;
        case ProjectEvent::STEP:
            if (bar_pos_ < bar_max_)
                bar_pos_++;
            break;
        case ProjectEvent::LABELLED:
            sheet_->labels_applied = true;
            break;
        case ProjectEvent::BASELINES:
            sheet_->baselines_made = true;
            break;
        case ProjectEvent::FINISHED:
            sheet_->configuration_finished = true;
            status_ = wiz_string(IDS_PROJECT_DONE);
            break;
        case ProjectEvent::FAILED:
            if (ev.error) {
                sheet_->log().append(*ev.error);
                if (ui)
                    ui->message_box(wiz_box::ERROR,
                                    wiz_format(IDS_ERROR_WHILE, {ev.error->innermost(), ev.error->message()}));
            }
            status_ = wiz_string(IDS_PROJECT_ERROR);
            error_icon_ = true;
            break;
        default:
            break;
    }
}

// ---- The stream at exit -----------------------------------------------------------------

namespace {

// The foundation's baseline of each modifiable component: this run's, else
// the default integration stream's, else the initial one.
std::vector<SUM_Baseline> exit_foundation(const SheetModel &sheet, const SUM_Project &project,
                                          const SUM_Vob &pvob, const std::vector<SUM_Component> &comps,
                                          const SUM_ImsgRedirector &captured) {
    std::map<std::string, SUM_Baseline> made, current;
    for (const std::string &sel : sheet.baseline_list) {
        SUM_Baseline bl;
        SUM_Component comp;
        if (SUM_Baseline::construct_from_selector(sel, pvob, SUM_READ, &bl) == 0 &&
            bl.component(&comp) == 0)
            made[comp.name()] = bl;
    }
    SUM_Stream istream;
    if (project.default_integration_stream(&istream) == 0) {
        std::vector<SUM_Baseline> now;
        sum_check(istream.foundation(&now), captured);
        for (const SUM_Baseline &bl : now) {
            SUM_Component comp;
            sum_check(bl.component(&comp), captured);
            current[comp.name()] = bl;
        }
    }
    std::vector<SUM_Baseline> out;
    for (const SUM_Component &c : comps) {
        if (made.count(c.name()))
            out.push_back(made[c.name()]);
        else if (current.count(c.name()))
            out.push_back(current[c.name()]);
        else {
            SUM_Baseline initial;
            sum_check(c.initial_baseline(&initial), captured);
            out.push_back(initial);
        }
    }
    return out;
}

void configure(SheetModel &sheet) {
    const std::string &selector = sheet.options().project;
    SUM_ImsgRedirector captured;
    SUM_Vob pvob;
    if (!sheet.project_vob().empty())
        sum_check(SUM_Vob::construct_from_pname_or_tag(sheet.project_vob(), 0, &pvob), captured);
    SUM_Project project;
    sum_check(SUM_Project::construct_from_selector(selector, pvob, SUM_READ, &project), captured);
    std::vector<SUM_Component> comps;
    sum_check(project.mod_comps(&comps), captured);
    std::vector<SUM_Baseline> baselines = exit_foundation(sheet, project, pvob, comps, captured);

    DynamicContext ctx(wiz_format(IDS_CTX_ISTREAM, {selector}));
    SUM_ImsgRedirector messages;
    sum_check(SUM_Project::construct_from_selector(selector, pvob, &project), messages);
    SUM_Foundation foundation;
    sum_check(SUM_Foundation::construct_from_baselines(baselines, &foundation), messages);
    foundation.diagnose_conflicts();
    SUM_ConfigCallbacks callbacks;
    callbacks.config_change = [](const SUM_ConfigChange &change) {
        if (change.report)
            imsg_printf(IMSG_NOTICE, "%s", change.message.c_str());
    };
    std::unique_ptr<SUM_NewConfig> config;
    bool flagged = false;
    sum_check(SUM_NewConfig::validate_new_istream_config(project, foundation, callbacks, &config, &flagged),
              messages);
    if (!config || flagged || !config->is_valid()) {
        imsg_printf(IMSG_ERROR, "%s", wiz_string(IDS_ISTREAM_INVALID));
        throw VantorException(VantorException::COMPLETE, messages);
    }
    SUM_Stream stream;
    if (project.default_integration_stream(&stream) == 0) {
        sum_check(stream.rebase(*config), messages);
        return;
    }
    // A stream of another project of the same project VOB may have the name.
    std::string name = wiz_string(IDS_ISTREAM_NAME);
    int rc = SUM_Stream::create(name, project, *config, &stream);
    if (rc == VOB_EXISTS)
        rc = SUM_Stream::create(name + "_" + project.name(), project, *config, &stream);
    sum_check(rc, messages);
    sum_check(project.set_default_integration_stream(stream, 0), messages);
}

}   // namespace

bool wiz_configure_istream(SheetModel &sheet) {
    if (!sheet.project_given())
        return false;
    try {
        configure(sheet);
        return true;
    } catch (const VantorException &e) {
        sheet.log().append(e);
        std::fprintf(stderr, "%s\n", e.message().c_str());
    } catch (const std::exception &e) {
        VantorException x(VantorException::COMPLETE, e.what());
        sheet.log().append(x);
        std::fprintf(stderr, "%s\n", x.message().c_str());
    }
    return false;
}
