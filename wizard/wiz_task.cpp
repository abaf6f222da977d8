// Running an import request: the exporter as a child, then the import in
// this process.
#include "platform/orbis/sum.h"
#include "wizard/wiz_task.h"

#include <unistd.h>

#include "platform/import/imp_start.h"
#include "runtime/fileutl.h"
#include "runtime/tbs.h"
#include "wizard/wiz_child.h"
#include "wizard/wiz_error.h"
#include "wizard/wiz_strings.h"

std::string wiz_quote_argument(const std::string &arg) {
    std::string q = "\"";
    size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        if (c == '"') {
            q.append(2 * slashes + 1, '\\');
        } else {
            q.append(slashes, '\\');
        }
        slashes = 0;
        q += c;
    }
    q.append(2 * slashes, '\\');   // they precede the closing quote
    return q + "\"";
}

namespace {

std::string unquoted(std::string s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        s = s.substr(1, s.size() - 2);
    return s;
}

// A data file name as it stands unless it would not read back as one
// argument.
std::string datafile_argument(const std::string &path) {
    return path.find_first_of(" \t\"") == std::string::npos && !path.empty() ? path
                                                                             : wiz_quote_argument(path);
}

[[noreturn]] void raise_stopped() {
    throw VantorException(VantorException::COMPLETE, wiz_string(IDS_IMPORT_STOPPED));
}

bool stop_requested(const WizStop *stop) { return stop && stop->requested(); }

// Registers the running child with the stop request for its lifetime.
struct ChildRegistration {
    WizStop *stop;
    ChildRegistration(WizStop *s, ChildProcess *child) : stop(s) {
        if (stop)
            stop->set_child(child);
    }
    ~ChildRegistration() {
        if (stop)
            stop->set_child(nullptr);
    }
};

// Deletes the data file whatever happened to the run.
struct RemoveOnExit {
    const std::string &path;
    ~RemoveOnExit() { ::unlink(path.c_str()); }
};

}   // namespace

std::string LegacyRepository::export_command(const std::string &object_path,
                                             const std::string &datafile) const {
    std::string program = unquoted(tbs_product_tool_dir_quoted()) + "/" + kind_->program();
    std::string cmd = wiz_quote_argument(program) + " -r -o " + datafile_argument(datafile);
    std::string operand = export_operand(object_path);
    if (!operand.empty())
        cmd += " " + wiz_quote_argument(operand);
    return cmd;
}

LegacyExportResult LegacyRepository::run_export(const std::string &object_path, const std::string &datafile,
                                                WizStop *stop) const {
    std::string cmd = export_command(object_path, datafile);
    DynamicContext context(wiz_format(IDS_CTX_EXPORT_CMD, {cmd}));
    prepare_export(object_path);
    LegacyExportResult res;
    try {
        ChildProcess child(cmd, location_);
        ChildRegistration reg(stop, &child);
        res.exit_code = child.wait();
        res.out = child.out();
        res.err = child.err();
    } catch (const SubProcException &) {
        throw VantorException(VantorException::COMPLETE, wiz_string(IDS_NO_SUBPROCESS));
    }
    if (stop_requested(stop))
        raise_stopped();
    if (res.exit_code != 0 && res.exit_code != 2)
        throw VantorException(
            VantorException::COMPLETE,
            res.err.empty() ? wiz_format(IDS_BAD_STATUS, {(long long)res.exit_code}) : res.err);
    return res;
}

// The import library's callbacks: record, then forward as an event. A stop
// request makes every callback ask the library to stop.
struct ImportTask::Callbacks {
    ImportTask *task;
    const EventSink *sink;
    WizStop *stop;

    static Callbacks &of(void *ctx) { return *static_cast<Callbacks *>(ctx); }
    int send(int kind, const char *name = nullptr, long a = 0, long b = 0, long c = 0) {
        ImportEvent ev;
        ev.kind = kind;
        ev.request = task;
        ev.name = name ? name : "";
        ev.a = a;
        ev.b = b;
        ev.c = c;
        if (*sink)
            (*sink)(ev);
        return stop_requested(stop) ? 1 : 0;
    }
    static int range(void *ctx, long elements, long versions) {
        return of(ctx).send(ImportEvent::RANGE, nullptr, elements, versions);
    }
    static int directories(void *ctx) { return of(ctx).send(ImportEvent::DIRECTORIES); }
    static int types(void *ctx) { return of(ctx).send(ImportEvent::TYPES); }
    static int directory(void *ctx, const char *name, vob_oid elem, vob_oid branch, int created) {
        ImportTask *t = of(ctx).task;
        t->label_.element_map[elem] = created != 0;
        t->label_.created_dirs[elem] = branch;
        t->dir_names_.push_back(name ? name : "");
        return of(ctx).send(ImportEvent::DIRECTORY, name, long(elem), long(branch), created);
    }
    static int element(void *ctx, const char *name, vob_oid elem, int created) {
        of(ctx).task->label_.element_map[elem] = created != 0;
        return of(ctx).send(ImportEvent::ELEMENT, name, long(elem), created);
    }
    static int version(void *ctx, const char *version_id, vob_oid branch, int is_new) {
        ImportTask *t = of(ctx).task;
        ++t->versions_all_;
        if (is_new)
            ++t->versions_new_;
        t->label_.branch_list.push_back(branch);
        return of(ctx).send(ImportEvent::VERSION, version_id, long(branch), is_new);
    }
    static int version_identical(void *ctx, const char *version_id, vob_oid branch) {
        ImportTask *t = of(ctx).task;
        ++t->versions_all_;
        ++t->versions_identical_;
        t->label_.branch_list.push_back(branch);
        return of(ctx).send(ImportEvent::VERSION_IDENTICAL, version_id, long(branch));
    }
};

ImportTask::ImportTask(std::unique_ptr<LegacyObject> object, std::unique_ptr<ImportDestination> dest)
    : object_(std::move(object)), dest_(std::move(dest)) {
    label_.dest = dest_.get();
}

ImportTask::~ImportTask() = default;

std::string ImportTask::choose_datafile() {
    std::string dir = fileutl_tmpdir();
    fileutl_stat_t st;
    if (dir.empty() || fileutl_stat(dir.c_str(), 1, &st) != 0 || !S_ISDIR(st.mode))
        throw VantorException(VantorException::COMPLETE, wiz_string(IDS_NO_TMPDIR));
    std::string prefix = dir + "/importWizardData." + std::to_string(long(::getpid())) + ".";
    for (long n = 0;; ++n) {
        std::string path = prefix + std::to_string(n);
        if (!fileutl_exists(path.c_str()))
            return path;
    }
}

void ImportTask::run(const EventSink &sink, WizStop *stop) {
    started_ = true;
    exported_ = false;
    label_.succeeded = false;
    label_.element_map.clear();
    label_.created_dirs.clear();
    label_.branch_list.clear();
    label_.ancestor_dirs.clear();
    label_.branch_type.clear();
    dir_names_.clear();
    versions_all_ = versions_new_ = versions_identical_ = 0;
    datafile_ = choose_datafile();
    RemoveOnExit remove{datafile_};
    if (stop_requested(stop))
        raise_stopped();
    LegacyExportResult exported = object_->repository()->run_export(object_->object_path(), datafile_, stop);
    exported_ = true;
    import(datafile_, sink, stop);
    if (exported.exit_code == 2) {
        // The exporter left elements out (and listed them): what it wrote
        // is imported, but the request must not pass for a complete one.
        std::string list = !exported.err.empty() ? exported.err : exported.out;
        throw VantorException(VantorException::COMPLETE,
                              list.empty() ? wiz_format(IDS_BAD_STATUS, {2LL}) : list);
    }
    label_.succeeded = true;
}

void ImportTask::import(const std::string &datafile, const EventSink &sink, WizStop *stop) {
    const std::string &target = dest_->full_path();
    DynamicContext context(wiz_format(IDS_CTX_READING, {datafile, target}));
    Callbacks cb{this, &sink, stop};
    imp_callbacks table{};
    table.ctx = &cb;
    table.range = &Callbacks::range;
    table.phase_directories = &Callbacks::directories;
    table.phase_attribute_types = &Callbacks::types;
    table.phase_label_types = &Callbacks::types;
    table.phase_branch_types = &Callbacks::types;
    table.phase_element_types = &Callbacks::types;
    table.directory = &Callbacks::directory;
    table.element = &Callbacks::element;
    table.version = &Callbacks::version;
    table.version_identical = &Callbacks::version_identical;

    imp_params params{};
    params.datafile = datafile.c_str();
    params.target_dir = target.c_str();
    params.pcase = 1;
    params.load = 0;
    params.callbacks = &table;
    // A stop ends the import at its next commit, within a tenth of a second.
    params.group_told = 1;
    fileutl_stat_t st;
    // A failure here is left to imp_start, which says why it cannot use it.
    if (fileutl_stat(target.c_str(), 1, &st) != 0)
        (void)fileutl_mkpath(target.c_str(), 0777);
    imp_clear_stop();
    if (stop_requested(stop))
        raise_stopped();
    int status;
    {
        SUM_ImsgRedirector captured;
        status = imp_start(&params);
        label_.branch_type = params.branch_type;
        imp_params_release(&params);
        if (status != 0 && !stop_requested(stop))
            throw VantorException(status, captured);
    }
    if (status != 0)
        raise_stopped();
}

bool ImportTask::same_pair(const WizRequest &other) const {
    const ImportTask *o = dynamic_cast<const ImportTask *>(&other);
    return o && object_->repository()->kind() == o->object_->repository()->kind() &&
           *object_ == *o->object_ && *dest_ == *o->dest_;
}

std::string ImportTask::source_text() const {
    std::string loc = object_->repository()->location();
    if (loc.empty() || loc.back() != '/')
        loc += '/';
    return loc + object_->object_path();
}

std::string ImportTask::destination_text() const {
    // A whole SourceSafe database has no name of its own: it lands in the
    // destination itself.
    if (object_->display_name().empty())
        return dest_->vob_relative_path();
    return dest_->vob_relative_path() + "/" + object_->display_name();
}

std::string ImportTask::vob_tag() const { return dest_->vob_tag(); }

long ImportTask::elements_examined() const { return long(label_.element_map.size()); }

long ImportTask::elements_created() const {
    long n = 0;
    for (const auto &[elem, created] : label_.element_map)
        n += created ? 1 : 0;
    return n;
}

long ImportTask::label_work() const {
    return long(label_.branch_list.size() + label_.ancestor_dirs.size() + label_.created_dirs.size());
}

void ImportTask::apply_label(const std::string &label, EventObserver *observer) {
    wiz_apply_label(label_, label, observer);
}
