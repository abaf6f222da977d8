// Elements and versions from an opened archive: element information, one
// version per revision in the reader's sorted order, and the `get` command
// that extracts each.
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>

#include "drivers/pvcs/pvcs_archive.h"
#include "drivers/pvcs/pvcs_driver.h"
#include "drivers/pvcs/pvcs_msgs.h"
#include "export/export_names.h"
#include "runtime/fileutl.h"
#include "runtime/strutl.h"

namespace {

const imsg_catalog *cat() { return pvcs_driver_pvcs_msg_table_adr(); }

// One open element: the archive and the branch path of every revision (by
// index into its revisions), named once at open so that a path too long
// rejects the archive before any version is handed out.
// Also per revision, the revisions that start or continue a branch from it
// (two numbers longer, its number as prefix) that come after it in the
// sorted list, in that list's order: its sub-branches come from them.
struct pvcs_handle {
    pvcs_element *arc = nullptr;
    // The version labels and promotion groups by the number they name, in
    // list order (the reverse of the file's): an archive may hold thousands
    // of labels, looked up for every revision and every branch.
    std::unordered_map<std::string, std::vector<size_t>> labels_of;
    std::unordered_map<std::string, size_t> first_group_of;
    std::vector<opt_str> branch_paths;
    std::vector<std::vector<int>> branch_revisions;
    ~pvcs_handle() { pvcs_close(arc); }
};

// Labels may have been set at any time after their version was made, so a
// labelled version counts as selected now: -s keeps it, -p leaves it out.
int64_t run_time() {
    static const int64_t t = int64_t(std::time(nullptr));
    return t;
}

std::string prefix_number(const std::vector<unsigned> &fields, size_t k) {
    std::string s;
    for (size_t i = 0; i < k; ++i) {
        if (i)
            s += '.';
        s += std::to_string(fields[i]);
    }
    return s;
}

// A label's name as a branch or label name: "/" separates branches and "\\"
// does elsewhere, so both become the replacement character.
std::string type_name(const std::string &label) {
    const char replacement = export_replace_char();
    std::string s = label;
    for (char &c : s)
        if (c == '/' || c == '\\')
            c = replacement;
    return s;
}

void index_labels(pvcs_handle *h) {
    const pvcs_header &hd = h->arc->header;
    for (size_t i = 0; i < hd.labels.size(); ++i)
        h->labels_of[hd.labels[i].number].push_back(i);
    for (size_t i = 0; i < hd.groups.size(); ++i)
        h->first_group_of.emplace(hd.groups[i].number, i);
}

// A branch number is named by its first label when it has one, else by itself.
std::string branch_name(const pvcs_handle *h, const std::string &number) {
    auto it = h->labels_of.find(number);
    return it == h->labels_of.end() ? number : type_name(h->arc->header.labels[it->second.front()].name);
}

// The branches a revision lies on, outermost first, joined by "/"; none for
// a trunk revision.
opt_str branch_path(const pvcs_handle *h, const pvcs_revision &r) {
    if (r.fields.size() < 4)
        return std::nullopt;
    std::string path;
    for (size_t k = 3; k < r.fields.size(); k += 2) {
        if (!path.empty())
            path += FILEUTL_SEP;
        path += branch_name(h, prefix_number(r.fields, k));
    }
    return path;
}

std::string last_component(const std::string &path) {
    size_t slash = path.rfind(FILEUTL_SEP);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// One pass over the sorted list: each revision of four numbers or more is
// listed under the revision its branch starts from, when that one came
// earlier in the list.
std::vector<std::vector<int>> branch_revisions(const pvcs_element *e) {
    std::vector<std::vector<int>> out(e->revisions.size());
    std::map<std::string, int> seen;   // number -> index, of the revisions passed
    for (int i = e->first; i >= 0; i = e->revisions[size_t(i)].next) {
        const pvcs_revision &r = e->revisions[size_t(i)];
        if (r.fields.size() >= 4) {
            auto base = seen.find(prefix_number(r.fields, r.fields.size() - 2));
            if (base != seen.end())
                out[size_t(base->second)].push_back(i);
        }
        seen.emplace(r.number, i);
    }
    return out;
}

// The branches that start at revision `base`, one name per branch. The first
// revision of each raises *latest to its date.
str_list subbranches(const pvcs_handle *h, int base, int64_t *latest) {
    const pvcs_element *e = h->arc;
    str_list names;
    for (int i : h->branch_revisions[size_t(base)]) {
        const pvcs_revision &r = e->revisions[size_t(i)];
        const opt_str &bp = h->branch_paths[size_t(i)];
        if (!bp)
            continue;
        std::string name = last_component(*bp);
        bool known = false;
        for (const std::string &n : names)
            known = known || n == name;
        if (known)
            continue;
        names.push_back(std::move(name));
        if (r.date > *latest)
            *latest = r.date;
    }
    return names;
}

// A comment ending in CR LF loses both.
opt_str version_comment(const opt_str &stored) {
    if (!stored)
        return stored;
    const std::string &c = *stored;
    if (c.size() >= 2 && c[c.size() - 2] == '\r')
        return c.substr(0, c.size() - 2);
    return c;
}

void fill_version(const pvcs_handle *h, int index, cm_version_info *v) {
    const pvcs_element *e = h->arc;
    const pvcs_driver_state &s = pvcs_state();
    const pvcs_revision &r = e->revisions[size_t(index)];
    *v = cm_version_info();
    v->status = VERSION_WRITE;
    v->no_contents = 0;
    v->version_id = r.number;
    v->branch = h->branch_paths[size_t(index)];
    v->event_time = r.date;
    v->comment = version_comment(r.comment);
    v->user = r.author && !r.author->empty() ? *r.author : std::string("unknown");
    v->host = e->host;
    v->group = "unknown";
    if (s.record_group) {
        auto g = h->first_group_of.find(r.number);
        if (g != h->first_group_of.end())
            v->attributes.push_back("PVCS_GROUP=" + e->header.groups[g->second].name);
    }
    if (s.record_revision)
        v->attributes.push_back("PVCS_REVISION=" + r.number);
    int64_t latest = r.date;
    v->subbranches = subbranches(h, index, &latest);
    auto labels = h->labels_of.find(r.number);
    if (labels != h->labels_of.end())
        for (size_t i : labels->second)
            v->labels.push_back(type_name(e->header.labels[i].name));
    v->selected_time = v->labels.empty() ? latest : run_time();
}

}   // namespace

void pvcs_note_unreadable(const std::string &path) { pvcs_state().unreadable.insert(path); }

int pvcs_cm_open_element(const char *path, void **handle) {
    *handle = nullptr;
    if (pvcs_state().unreadable.count(path))
        return CM_FAILED;   // its header was found damaged, and said so, on the walk
    auto h = std::make_unique<pvcs_handle>();
    if (int rc = pvcs_open(path, &h->arc))
        return rc;
    const pvcs_element *e = h->arc;
    // "." or ".." would make the element a directory of the VOB, or one outside it.
    const std::string leaf = last_component(e->name);
    if (leaf == "." || leaf == "..") {
        IMSG_PRINT(IMSG_ERROR, cat(), PVCS_BAD_WORKFILE, path, e->header.workfile.c_str());
        return CM_FAILED;
    }
    auto known = pvcs_state().exported.find(e->name);
    if (known != pvcs_state().exported.end() && known->second != path) {
        IMSG_PRINT(IMSG_WARNING, cat(), PVCS_SAME_ELEMENT, path, known->second.c_str(), e->name.c_str());
        return CM_NOT_EXPORTED;
    }
    index_labels(h.get());
    h->branch_paths.reserve(e->revisions.size());
    std::set<std::string> numbers;
    for (const pvcs_revision &r : e->revisions) {
        // A branch number (1.2.1) or a lone number has no place in a version tree.
        if (r.fields.size() % 2 != 0) {
            IMSG_PRINT(IMSG_ERROR, cat(), PVCS_NOT_A_REVISION, path, r.number.c_str());
            return CM_FAILED;
        }
        if (!numbers.insert(r.number).second) {
            IMSG_PRINT(IMSG_ERROR, cat(), PVCS_DUPLICATE_REV, path, r.number.c_str());
            return CM_FAILED;
        }
        opt_str bp = branch_path(h.get(), r);
        // Cut short, it would name another branch.
        if (bp && bp->size() > FILEUTL_MAX_PATH) {
            IMSG_PRINT(IMSG_ERROR, cat(), PVCS_BRANCH_TOO_LONG, path, r.number.c_str(),
                       int(FILEUTL_MAX_PATH));
            return CM_FAILED;
        }
        h->branch_paths.push_back(std::move(bp));
    }
    h->branch_revisions = branch_revisions(e);
    pvcs_state().exported.emplace(e->name, path);
    *handle = h.release();
    return CM_OK;
}

int pvcs_cm_element_info(void *handle, element_info *info) {
    pvcs_element *e = static_cast<pvcs_handle *>(handle)->arc;
    info->state = 0;
    info->type_name.reset();
    info->name = e->name;
    info->mode = 0;
    info->group = "unknown";
    info->host = e->host;
    return pvcs_read_header(e, info);
}

int pvcs_cm_next_version(void *handle, cm_version_info *v, int *is_version) {
    pvcs_handle *h = static_cast<pvcs_handle *>(handle);
    pvcs_element *e = h->arc;
    *is_version = 1;
    if (e->current < 0)
        return CM_NO_MORE;
    fill_version(h, e->current, v);
    e->current = e->revisions[size_t(e->current)].next;
    return CM_OK;
}

int pvcs_cm_extract(void *handle, const cm_version_info *v, std::string *text, int *is_command) {
    const pvcs_element *e = static_cast<pvcs_handle *>(handle)->arc;
    const pvcs_driver_state &s = pvcs_state();
    *text = "get -q -r" + v->version_id + " \"%s%c" + strutl_cmd_dquote(e->path) +
            strutl_cmd_dquote(s.left_separator) + "%s" + strutl_cmd_dquote(s.right_separator) + "\"";
    *is_command = 1;
    return CM_OK;
}

void pvcs_cm_close_element(void *handle) { delete static_cast<pvcs_handle *>(handle); }
