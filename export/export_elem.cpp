// Element export: one file's history through the driver, then the selection
// of its versions by -I, -s and -p and the writing of its record.
#include "export/export_elem.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "export/export_cmd.h"
#include "export/export_msgs.h"
#include "export/export_names.h"
#include "runtime/stopsig.h"
#include "runtime/strutl.h"

namespace {

const imsg_catalog *cat() { return export_elem_export_msg_table_adr(); }

bool quiet = false;
const eventtext_opts *texts = nullptr;
eventtext_tally *texts_tally = nullptr;

void fix_texts(opt_str *user, opt_str *group, opt_str *name, opt_str *comment, str_list *attributes,
               const std::string &where) {
    if (texts)
        eventtext_apply(*texts, {user, group, name, comment, attributes}, where, texts_tally);
}

// The lines an element makes (its name, the dots, "Completed."): none with -q.
#define ELEM_NOTICE(name, ...) \
    (quiet ? (void)0 : (void)IMSG_PRINT_NONL(IMSG_NOTICE, cat(), name __VA_OPT__(, ) __VA_ARGS__))

std::string cut_at_equals(const std::string &s) {
    size_t eq = s.find('=');
    return eq == std::string::npos ? s : s.substr(0, eq);
}

void add_piece(name_list &list, const std::string &piece) {
    std::string name = cut_at_equals(piece);
    if (list.index.insert(name).second)
        list.names.push_front(std::move(name));
}

// Each checkout is "user:where"; a text without a colon means the driver
// misread its archive, which ends the report but not the export.
void report_checkouts(const str_list &checkouts) {
    if (checkouts.empty())
        return;
    if (!quiet)
        IMSG_PRINT(IMSG_NOTICE, cat(), ELEM_CHECKOUTS);
    for (const std::string &c : checkouts) {
        size_t colon = c.find(':');
        if (colon == std::string::npos) {
            IMSG_PRINT(IMSG_ERROR, cat(), ELEM_CHECKOUT_BAD);
            return;
        }
        if (!quiet)
            IMSG_PRINT_NONL(IMSG_NOTICE, cat(), ELEM_CHECKOUT, c.substr(0, colon).c_str(),
                            c.substr(colon + 1).c_str());
    }
}

int fail_open(export_element *e, int rc) {
    if (e->open && e->driver)
        e->driver->close_element(e->handle);
    e->open = false;
    e->handle = nullptr;
    return rc;
}

// Takes one delivered version into the element: its extract text, and the
// type names it brings (attributes, sub-branches, labels), after translation.
int take_version(export_element *e, const char *path, cm_version_info &&v, int is_version) {
    e->versions.emplace_back();
    export_version_info &node = e->versions.back();
    node.is_version = is_version;
    node.v = std::move(v);
    fix_texts(&node.v.user, &node.v.group, &node.v.event_name, &node.v.comment, &node.v.attributes,
              std::string(path) + " " + node.v.version_id);
    std::string text;
    int is_command = 0;
    if (e->driver->extract(e->handle, &node.v, &text, &is_command) != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), ELEM_CANT_EXTRACT);
        return CM_FAILED;
    }
    if (is_command)
        node.extract_cmd = std::move(text);
    else if (!text.empty())
        node.extract_file = std::move(text);
    name_list_add_all(e->attr_types, node.v.attributes, NAME_WHOLE);
    for (std::string &sub : node.v.subbranches) {
        translate_branch_path(sub);
        name_list_add(e->branch_types, sub, NAME_SPLIT_PATH);
    }
    translate_names("label", node.v.labels);
    name_list_add_all(e->label_types, node.v.labels, NAME_WHOLE);
    for (std::string &m : node.v.merges)
        translate_branch_path(m);
    for (std::string &m : node.v.fmerges)
        translate_branch_path(m);
    ELEM_NOTICE(ELEM_PROGRESS);
    return 0;
}

int export_history(const cm_driver *driver, const char *path, export_element *e) {
    e->driver = driver;
    int rc = driver->open_element(path, &e->handle);
    e->open = true;   // close is owed even when the open failed (null handle)
    if (rc == CM_FAILED) {
        if (!ks_stop_signal())
            IMSG_PRINT(IMSG_ERROR, cat(), ELEM_CANT_OPEN, path);
        return fail_open(e, CM_FAILED);
    }
    if (rc != 0)
        return fail_open(e, rc);
    if (driver->element_info(e->handle, &e->info) != 0) {
        if (!ks_stop_signal())
            IMSG_PRINT(IMSG_ERROR, cat(), ELEM_CANT_GET_INFO, path);
        return fail_open(e, CM_FAILED);
    }
    fix_texts(&e->info.user, &e->info.group, &e->info.event_name, &e->info.comment, &e->info.attributes, path);
    name_list_add_all(e->attr_types, e->info.attributes, NAME_WHOLE);
    report_checkouts(e->info.checkouts);
    ELEM_NOTICE(ELEM_EXTRACTING);
    for (;;) {
        cm_version_info v;
        int is_version = 0;
        // Only CM_NO_MORE ends the list: a failing driver would otherwise
        // have the element written with part of its history.
        rc = driver->next_version(e->handle, &v, &is_version);
        if (ks_stop_signal())
            return fail_open(e, CM_STOPPED);   // a long history need not be read to its end
        if (rc == CM_NO_MORE)
            break;
        if (rc != 0) {
            IMSG_PRINT(IMSG_ERROR, cat(), ELEM_CANT_GET_VERSION, path);
            return fail_open(e, CM_FAILED);
        }
        if (take_version(e, path, std::move(v), is_version) != 0)
            return fail_open(e, CM_FAILED);
    }
    ELEM_NOTICE(ELEM_NEWLINE);
    ELEM_NOTICE(ELEM_COMPLETED);
    return 0;
}

// -I: versions older than the limit stay only when they are important: the
// last of their branch (matched by version id alone, so two branches whose
// last versions share an id keep both), or carrying labels, sub-branches or
// merges. Attributes alone do not make a version important. A merge needs
// both of its ends: the version a kept version's Merge or FMerge names by
// its id stays too.
void mark_important(std::deque<export_version_info> &versions, int64_t until) {
    std::map<opt_str, std::string> last_on_branch;   // an absent branch is a key of its own
    std::unordered_map<std::string, std::vector<size_t>> by_id;
    for (size_t i = 0; i < versions.size(); ++i) {
        last_on_branch[versions[i].v.branch] = versions[i].v.version_id;
        by_id[versions[i].v.version_id].push_back(i);
    }
    std::unordered_set<std::string> last_ids;
    for (const auto &p : last_on_branch)
        last_ids.insert(p.second);
    std::vector<char> keep(versions.size(), 0);
    std::vector<size_t> todo;
    for (size_t i = 0; i < versions.size(); ++i) {
        const cm_version_info &v = versions[i].v;
        bool linked = !v.labels.empty() || !v.subbranches.empty() || !v.merges.empty() || !v.fmerges.empty();
        if (v.event_time >= until || last_ids.count(v.version_id) || linked) {
            keep[i] = 1;
            todo.push_back(i);
        }
    }
    while (!todo.empty()) {
        const cm_version_info &v = versions[todo.back()].v;
        todo.pop_back();
        for (const str_list *list : {&v.merges, &v.fmerges})
            for (const std::string &m : *list)
                if (auto it = by_id.find(m); it != by_id.end())
                    for (size_t j : it->second)
                        if (!keep[j]) {
                            keep[j] = 1;
                            todo.push_back(j);
                        }
    }
    for (size_t i = 0; i < versions.size(); ++i) {
        cm_version_info &v = versions[i].v;
        if (v.event_time >= until)
            continue;
        if (last_ids.count(v.version_id)) {
            if (v.status == VERSION_WRITE)
                v.status = VERSION_IMPORTANT;
            else if (v.status == VERSION_ABSOLUTE)
                v.status = VERSION_ABS_IMPORTANT;
        }
        if (!keep[i])
            v.status = VERSION_SKIP;
    }
}

bool in_range(int64_t t, const export_selection &sel) {
    return t > sel.since && (sel.prior == 0 || t < sel.prior);
}

bool writable(const export_version_info &n) {
    return n.is_version && n.v.status != VERSION_SKIP && n.v.status != VERSION_SKIP_OTHER;
}

// The branch a version is on; an empty path is the main branch, as absent is.
opt_str branch_key(const cm_version_info &v) { return v.branch && v.branch->empty() ? opt_str() : v.branch; }

// The path of a branch that a SubBranch value of a version on `on` names: a
// value with a "/" is the whole path below main, a bare name hangs below `on`.
std::string child_branch(const opt_str &on, const std::string &sub) {
    if (sub.find('/') != std::string::npos || !on || on->empty())
        return sub;
    return *on + "/" + sub;
}

// Which versions -s or -p write. A selected version needs what an import
// puts before it: every earlier version of its branch, since numbers only
// grow and an absolute number skipped now can never be filled, and the
// version its branch sprouts from, with that version's own needs. Branches
// with no selected version stay out, so -s still means "changed since".
std::vector<char> versions_to_write(const std::deque<export_version_info> &versions,
                                    const export_selection &sel) {
    std::vector<char> out(versions.size(), 0);
    std::map<opt_str, std::vector<size_t>> on_branch;   // in delivery order
    std::vector<size_t> pos(versions.size());
    std::map<std::string, size_t> sprout;   // branch path -> the first version listing it
    for (size_t i = 0; i < versions.size(); ++i) {
        const cm_version_info &v = versions[i].v;
        std::vector<size_t> &list = on_branch[branch_key(v)];
        pos[i] = list.size();
        list.push_back(i);
        for (const std::string &sub : v.subbranches)
            sprout.emplace(child_branch(v.branch, sub), i);
    }
    bool partial = sel.since != 0 || sel.prior != 0;
    std::map<opt_str, size_t> needed;   // branch -> how many of its first versions are written
    std::vector<size_t> todo;
    for (size_t i = 0; i < versions.size(); ++i) {
        out[i] = in_range(versions[i].v.selected_time, sel);
        if (partial && out[i] && writable(versions[i]))
            todo.push_back(i);
    }
    while (!todo.empty()) {
        size_t i = todo.back();
        todo.pop_back();
        out[i] = 1;
        opt_str key = branch_key(versions[i].v);
        size_t &have = needed[key];
        if (pos[i] < have)
            continue;
        const std::vector<size_t> &list = on_branch[key];
        for (size_t k = have; k < pos[i]; ++k)
            out[list[k]] = 1;
        have = pos[i] + 1;
        if (key)
            if (auto s = sprout.find(*key); s != sprout.end())
                todo.push_back(s->second);
    }
    return out;
}

int write_head(export_element &e, FILE *f) {
    const element_info &i = e.info;
    compose_event(i.user, i.group, i.event_name, i.host, i.created);
    if (write_element_header(f, i) != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), ELEM_CANT_ADD_MKELEM);
        return CM_FAILED;
    }
    return 0;
}

}   // namespace

bool name_list_contains(const name_list &list, const std::string &name) {
    return list.index.count(name) != 0;
}

// Sub-branch paths bring every component as a branch type (a nested branch
// needs the types of the branches it sprouts from as much as its own).
void name_list_add(name_list &list, const std::string &name, name_split split) {
    if (split == NAME_WHOLE) {
        add_piece(list, name);
        return;
    }
    for (const std::string &piece : strutl_split(name, '/'))
        add_piece(list, piece);
}

void name_list_add_all(name_list &list, const str_list &names, name_split split) {
    for (const std::string &n : names)
        name_list_add(list, n, split);
}

void name_list_merge(name_list &dst, name_list &src) {
    if (dst.names.empty()) {
        std::swap(dst, src);
        return;
    }
    for (const std::string &n : src.names)
        add_piece(dst, n);
    src = name_list();
}

void export_set_quiet(bool on) { quiet = on; }

void export_set_texts(const eventtext_opts *opts, eventtext_tally *tally) {
    texts = opts;
    texts_tally = tally;
}
bool export_quiet() { return quiet; }

int export_element_history(const cm_driver *driver, const char *path, export_element *e) {
    ELEM_NOTICE(ELEM_CONVERTING, path);
    return export_history(driver, path, e);
}

int write_selected_versions(export_element &e, FILE *f, const export_selection &sel,
                            export_written *written) {
    export_written local;
    export_written &w = written ? *written : local;
    w = export_written();
    ELEM_NOTICE(ELEM_CONVERTING_ELEMENT);
    ELEM_NOTICE(ELEM_CREATING_ELEMENT);
    if (sel.important_until != 0)
        mark_important(e.versions, sel.important_until);
    bool head = false;
    // An element changed since -s, with no version to show it, still needs
    // its record written for the change to arrive.
    if (in_range(e.info.created, sel) || (e.info.updated != 0 && in_range(e.info.updated, sel))) {
        if (write_head(e, f) != 0)
            return CM_FAILED;
        head = true;
        w.elements = 1;
    }
    // Branch paths are compared with the sub-branch paths, which were
    // translated as they arrived.
    for (export_version_info &n : e.versions)
        if (n.v.branch)
            translate_branch_path(*n.v.branch);
    std::vector<char> chosen = versions_to_write(e.versions, sel);
    for (size_t i = 0; i < e.versions.size(); ++i) {
        export_version_info &n = e.versions[i];
        cm_version_info &v = n.v;
        if (!chosen[i])
            continue;
        if (!head) {
            if (write_head(e, f) != 0)
                return CM_FAILED;
            head = true;
            w.elements = 1;
        }
        compose_event(v.user, v.group, v.event_name, v.host, v.event_time);
        if (!writable(n))
            continue;
        if (v.status < VERSION_SKIP || v.status > VERSION_ABS_IMPORTANT) {
            IMSG_PRINT(IMSG_ERROR, cat(), ELEM_BAD_STATUS, v.version_id.c_str());
            return CM_FAILED;
        }
        if (write_version(f, n) != 0) {
            IMSG_PRINT(IMSG_ERROR, cat(), ELEM_CANT_MAKE_VERSION, v.version_id.c_str(), e.info.name.c_str());
            return CM_FAILED;
        }
        w.versions++;
    }
    if (head && write_element_end(f) != 0)
        return CM_FAILED;   // the writer has warned; the caller cuts the record back
    ELEM_NOTICE(ELEM_ELEMENT_COMPLETED, e.info.name.c_str());
    return 0;
}

void release_element(export_element &e) {
    if (e.open && e.driver)
        e.driver->close_element(e.handle);
    e.open = false;
    e.handle = nullptr;
    e.versions.clear();
    e.info = element_info();
}
