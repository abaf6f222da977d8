// A driver whose answers come from a JSON script (path in SCRIPTED_DRIVER), so
// that tests can hand the export library any element and version records.
// Every driver call is appended to the log named by SCRIPTED_LOG.
//
// Script: {"kind": 3, "extra": "AVS", "need_cmd": "co", "export_from": "/x",
//          "init": 0, "shutdown": 0, "end_report": "text for stderr",
//          "unreadable": ["dir"],
//          "map": {"path": {"rc": 0, "convert": 1, "prune": 0, "name": "n"}},
//          "elements": {"path": {"open": 0, "info": 0, "element": {...},
//                                "versions": [{..., "is_version": 1,
//                                              "extract": "text", "command": 1,
//                                              "extract_rc": 0, "next_rc": 0}]}}}
// Any text ("user", "comment", ...) may be given in hex as "user_hex".
// A version with a nonzero "next_rc" is not delivered: next_version returns that.
// "slow_ms" (at the top or in an element's entry) makes each open_element
// take that long, however many signals arrive meanwhile.
// A path without an entry is one plain element with one version "1".
// With "unreadable" the driver supplies a file system whose directories of
// those paths (as the walk names them, "./" left out) cannot be opened
// (EACCES), though they stat as directories.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <nlohmann/json.hpp>

#include "export/cm_driver.h"

using nlohmann::json;

namespace {

json script;
FILE *log_file = nullptr;

struct element {
    std::string path;
    json spec;
    size_t next = 0;
};

void log_call(const std::string &what) {
    if (log_file) {
        std::fprintf(log_file, "%s\n", what.c_str());
        std::fflush(log_file);
    }
}

// A text may also be given as "<key>_hex", for bytes that JSON cannot carry.
opt_str get_opt(const json &j, const char *key) {
    std::string hex_key = std::string(key) + "_hex";
    if (j.contains(hex_key)) {
        std::string hex = j[hex_key].get<std::string>(), bytes;
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
        return bytes;
    }
    if (!j.contains(key) || j[key].is_null())
        return std::nullopt;
    return j[key].get<std::string>();
}

str_list get_list(const json &j, const char *key) {
    return j.contains(key) ? j[key].get<str_list>() : str_list();
}

json element_spec(const std::string &path) {
    if (script.contains("elements") && script["elements"].contains(path))
        return script["elements"][path];
    return json{{"versions", json::array({json{{"id", "1"}, {"time", 1000}}})}};
}

struct s_dir {
    DIR *d;
    fileutl_dirent cur;
};

void *s_opendir(const char *path) {
    std::string p = path;
    while (p.compare(0, 2, "./") == 0)
        p = p.substr(2);
    str_list bad = script["unreadable"].get<str_list>();
    if (std::find(bad.begin(), bad.end(), p) != bad.end()) {
        errno = EACCES;
        return nullptr;
    }
    DIR *d = ::opendir(path);
    return d ? new s_dir{d, {}} : nullptr;
}

const fileutl_dirent *s_readdir(void *dir, int) {
    s_dir *sd = static_cast<s_dir *>(dir);
    struct dirent *e = ::readdir(sd->d);
    if (!e)
        return nullptr;
    sd->cur.name = e->d_name;
    return &sd->cur;
}

void s_closedir(void *dir) {
    s_dir *sd = static_cast<s_dir *>(dir);
    ::closedir(sd->d);
    delete sd;
}

const cm_fs_ops s_fs_ops = {fileutl_stat, s_opendir, s_readdir, s_closedir};

int s_init(int argc, char **argv, const cm_fs_ops **ops, int *kind, cm_globals *g) {
    export_check_version_request(argc, argv, "scripted_exporter");
    const char *path = std::getenv("SCRIPTED_DRIVER");
    if (path) {
        std::ifstream in(path);
        script = json::parse(in);
    } else {
        script = json::object();
    }
    if (const char *log = std::getenv("SCRIPTED_LOG"))
        log_file = std::fopen(log, "a");
    log_call("init");
    *ops = script.contains("unreadable") ? &s_fs_ops : nullptr;
    *kind = script.value("kind", 3);
    g->extra_options = script.value("extra", "");
    static std::string from;
    if (script.contains("export_from")) {
        from = script["export_from"].get<std::string>();
        g->export_from_dir = from.c_str();
    }
    return script.value("init", 0);
}

void s_usage(const char *program) { std::printf("usage: %s [options] [source-name ...]\n", program); }

int s_shutdown() {
    log_call("shutdown");
    return script.value("shutdown", 0);
}

const char *s_need_cmd() {
    static std::string cmd;
    cmd = script.value("need_cmd", "");
    return cmd.c_str();
}

int s_map_name(const char *path, int, int *convert, int *prune, std::string *name) {
    log_call(std::string("map ") + path);
    json m = script.contains("map") && script["map"].contains(path) ? script["map"][path] : json::object();
    *convert = m.value("convert", 1);
    *prune = m.value("prune", 0);
    *name = m.value("name", std::string(path));
    return m.value("rc", 0);
}

int s_open_element(const char *path, void **handle) {
    log_call(std::string("open ") + path);
    json spec = element_spec(path);
    int slow = spec.value("slow_ms", script.value("slow_ms", 0));
    if (slow > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(slow));   // goes on after a signal
    int rc = spec.value("open", 0);
    if (rc != 0)
        return rc;
    *handle = new element{path, spec, 0};
    return 0;
}

int s_element_info(void *h, element_info *info) {
    element *e = static_cast<element *>(h);
    log_call("info " + e->path);
    const json el = e->spec.value("element", json::object());
    info->state = el.value("state", 0);
    info->type_name = get_opt(el, "type");
    info->created = el.value("created", int64_t(500));
    info->name = el.value("name", e->path);
    info->mode = el.value("mode", 0);
    info->user = get_opt(el, "user");
    info->group = get_opt(el, "group");
    info->event_name = get_opt(el, "event_name");
    info->host = get_opt(el, "host");
    info->comment = get_opt(el, "comment");
    info->checkouts = get_list(el, "checkouts");
    info->attributes = get_list(el, "attributes");
    info->obsolete_branches = get_list(el, "obsolete_branches");
    info->alt_names = get_list(el, "alt_names");
    return e->spec.value("info", 0);
}

int s_next_version(void *h, cm_version_info *v, int *is_version) {
    element *e = static_cast<element *>(h);
    const json &list = e->spec["versions"];
    if (e->next >= list.size())
        return CM_NO_MORE;
    const json &j = list[e->next++];
    if (int rc = j.value("next_rc", 0))
        return rc;
    *v = cm_version_info();
    v->status = j.value("status", int(VERSION_WRITE));
    v->event_time = j.value("time", int64_t(1000));
    v->selected_time = j.value("selected", v->event_time);
    v->version_id = j.value("id", std::string("1"));
    v->user = get_opt(j, "user");
    v->group = get_opt(j, "group");
    v->event_name = get_opt(j, "event_name");
    v->host = get_opt(j, "host");
    v->comment = get_opt(j, "comment");
    v->branch = get_opt(j, "branch");
    v->no_contents = j.value("no_contents", 0);
    v->attributes = get_list(j, "attributes");
    v->labels = get_list(j, "labels");
    v->merges = get_list(j, "merges");
    v->fmerges = get_list(j, "fmerges");
    v->subbranches = get_list(j, "subbranches");
    *is_version = j.value("is_version", 1);
    return 0;
}

int s_extract(void *h, const cm_version_info *v, std::string *text, int *is_command) {
    element *e = static_cast<element *>(h);
    const json &j = e->spec["versions"][e->next - 1];
    log_call("extract " + e->path + " " + v->version_id);
    *text = j.value("extract", std::string("get ") + e->path + " " + v->version_id);
    *is_command = j.value("command", 1);
    return j.value("extract_rc", 0);
}

void s_close_element(void *h) {
    element *e = static_cast<element *>(h);
    log_call(e ? "close " + e->path : std::string("close null"));
    delete e;
}

void s_end_report() {
    log_call("end_report");
    if (script.contains("end_report"))
        std::fprintf(stderr, "%s", script["end_report"].get<std::string>().c_str());
}

const cm_driver scripted_driver = {s_init,     s_usage,         s_shutdown,     s_need_cmd,
                                   s_map_name, s_open_element,  s_element_info, s_next_version,
                                   s_extract,  s_close_element, nullptr,        s_end_report,
                                   nullptr};

}   // namespace

int main(int argc, char **argv) { return export_main(argc, argv, &scripted_driver); }
