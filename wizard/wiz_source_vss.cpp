// The SourceSafe source tree and repository, through the client `ss`: a
// database is the folder its SSDIR names, holding srcsafe.ini.
#include <filesystem>
#include <system_error>

#include "wizard/wiz_child.h"
#include "wizard/wiz_error.h"
#include "wizard/wiz_source.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_ui.h"

namespace fs = std::filesystem;

namespace {

const char SRCSAFE_INI[] = "srcsafe.ini";

std::string join_path(const std::string &dir, const std::string &name) {
    return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

// The database folder of a srcsafe.ini path.
std::string database_dir(const std::string &ini) {
    size_t slash = ini.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : ini.substr(0, slash);
}

bool holds_srcsafe_ini(const std::string &dir) {
    std::error_code ec;
    return fs::is_regular_file(join_path(dir, SRCSAFE_INI), ec);
}

// Runs `ss` on the database of a folder: its exit code, or -1 when it cannot
// be started.
int run_ss(const std::string &db_dir, const std::vector<std::string> &args, std::string *out,
           std::string *err) {
    std::vector<std::string> argv = {"ss"};
    argv.insert(argv.end(), args.begin(), args.end());
    try {
        return wiz_run_capture(argv, "", {"SSDIR=" + db_dir}, out, err);
    } catch (const SubProcException &) {
        return -1;
    }
}

// One item of a `ss dir` listing: "$sub" a project, "a.c" or "a.c;3" a file.
struct ss_entry {
    std::string name;
    bool project = false;
};

// The items after the "$/proj:" line, up to the empty line before the count;
// "No items found under ..." lists none.
std::vector<ss_entry> parse_dir(const std::string &text) {
    std::vector<ss_entry> entries;
    size_t at = 0;
    bool header = true;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        std::string line = text.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        at = nl == std::string::npos ? text.size() : nl + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (header) {
            header = false;
            continue;
        }
        if (line.empty() || line.rfind("No items found under ", 0) == 0)
            break;
        ss_entry e;
        if (line[0] == '$') {
            e.project = true;
            e.name = line.substr(1);
        } else {
            e.name = line.substr(0, line.find(';'));
        }
        if (!e.name.empty())
            entries.push_back(std::move(e));
    }
    return entries;
}

std::string child_spec(const std::string &spec, const std::string &name) {
    return spec.back() == '/' ? spec + name : spec + "/" + name;
}

}   // namespace

std::string wiz_ssafe_object_path(const std::string &spec) {
    std::string p = spec;
    for (size_t at; (at = p.find("$/")) != std::string::npos;)
        p.erase(at, 2);
    return p;
}

// ---- The tree ------------------------------------------------------------------

TreeVSS::TreeVSS() : TreeLegacy(LegacyKind::get(LegacyKind::SSAFE)) {}

wiz_icon TreeVSS::entry_icon(const std::string &path, bool directory) const {
    if (!directory)
        return wiz_icon::PLAIN_FILE;
    return holds_srcsafe_ini(path) ? wiz_icon::SSAFE_DATABASE : wiz_icon::FOLDER;
}

std::vector<std::unique_ptr<WizTreeItem>> TreeVSS::list_project(const std::string &ini,
                                                                const std::string &spec) {
    WizWaitCursor wait(ui());
    std::string out, err;
    int code = run_ss(database_dir(ini), {"dir", "-I-", spec}, &out, &err);
    // 1 is the client's "nothing found": an empty project, no failure.
    if (code != 0 && code != 1) {
        if (ui())
            ui()->message_box(wiz_box::ERROR, wiz_format(IDS_SSAFE_NO_DATABASE, {ini}));
        return {};
    }
    std::vector<std::unique_ptr<WizTreeItem>> items;
    for (const ss_entry &e : parse_dir(out)) {
        auto item = std::make_unique<WizTreeItem>();
        item->label = e.name;
        item->expandable = e.project;
        item->icon = e.project ? wiz_icon::SSAFE_PROJECT : wiz_icon::SSAFE_FILE;
        auto data = std::make_unique<WizSsData>();
        data->ini = ini;
        data->spec = child_spec(spec, e.name);
        data->project = e.project;
        item->data = std::move(data);
        items.push_back(std::move(item));
    }
    return items;
}

std::vector<std::unique_ptr<WizTreeItem>> TreeVSS::fetch(WizTreeItem *item) {
    if (const WizSsData *s = ss_data(item))
        return s->project ? list_project(s->ini, s->spec) : std::vector<std::unique_ptr<WizTreeItem>>{};
    const WizFsData *d = fs_data(item);
    if (d && d->directory && holds_srcsafe_ini(d->path))
        return list_project(join_path(d->path, SRCSAFE_INI), "$/");
    return TreeLegacy::fetch(item);
}

bool TreeVSS::can_select(const WizTreeItem *item) {
    if (ss_data(item))
        return true;
    const WizFsData *d = fs_data(item);
    return d && d->directory && fs_selectable(item);
}

// What the import makes of the object: the exporter runs in the parent
// project and names the directory it writes by the leaf, and the whole
// database lands in the destination itself. So the request lists show the
// leaf, and nothing for the database, rather than a path the VOB will not
// hold.
static std::string leaf_of(const std::string &object_path) {
    size_t slash = object_path.rfind('/');
    return slash == std::string::npos ? object_path : object_path.substr(slash + 1);
}

std::string TreeVSS::display_name(const WizTreeItem *item) const {
    if (const WizSsData *s = ss_data(item))
        return leaf_of(wiz_ssafe_object_path(s->spec));
    return "";
}

std::unique_ptr<LegacyObject> TreeVSS::make_legacy_object(const WizTreeItem *item) {
    if (!item || !can_select(item))
        return nullptr;
    if (const WizSsData *s = ss_data(item)) {
        std::string object = wiz_ssafe_object_path(s->spec);
        return std::make_unique<LegacyObject>(make_legacy_repository(kind(), database_dir(s->ini)), object,
                                              leaf_of(object));
    }
    // The folder itself: the whole database.
    return std::make_unique<LegacyObject>(make_legacy_repository(kind(), fs_data(item)->path), "", "");
}

// ---- The repository ---------------------------------------------------------------

SsafeRepository::SsafeRepository(LegacyKind *kind, std::string location)
    : LegacyRepository(kind, std::move(location)) {}

std::string SsafeRepository::export_operand(const std::string &object_path) const {
    size_t slash = object_path.rfind('/');
    return slash == std::string::npos ? object_path : object_path.substr(slash + 1);
}

std::string SsafeRepository::parent_project(const std::string &object_path) {
    size_t slash = object_path.rfind('/');
    return slash == std::string::npos ? std::string("$/") : "$/" + object_path.substr(0, slash);
}

void SsafeRepository::prepare_export(const std::string &object_path) const {
    ::setenv("SSDIR", location().c_str(), 1);
    std::string out, err;
    int code = run_ss(location(), {"cp", "-I-", parent_project(object_path)}, &out, &err);
    if (code == 0)
        return;
    // The exporter would run in whatever project was current: refuse instead.
    if (code > 0 && !err.empty())
        throw VantorException(VantorException::COMPLETE, err);
    throw VantorException(VantorException::COMPLETE,
                          wiz_format(IDS_SSAFE_NO_DATABASE, {join_path(location(), SRCSAFE_INI)}));
}
