// Elements and versions from an opened archive: element information, one
// version per delta in revision order, and the command that extracts each.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <map>
#include <unistd.h>

#include "rcsarchive/rcs_archive.h"
#include "drivers/rcs/rcs_driver.h"
#include "rcsarchive/rcs_msgs.h"
#include "rcsarchive/rcs_rev.h"
#include "export/export_names.h"
#include "runtime/credutl.h"
#include "runtime/fileutl.h"
#include "runtime/strutl.h"
#include "runtime/sysutl.h"

namespace {

const imsg_catalog *cat() { return rcs_driver_rcs_msg_table_adr(); }

// One open element: the archive and the branch path of every delta, named
// once at open so that a path too long rejects the archive before any
// version is handed out. After the deltas come the replays of the default
// branch on the main branch (CVS), one per index of `replays`, and last the
// removal, when cvs checkout shows no file although the main branch would
// end with one.
enum removal_kind { REMOVAL_NONE, REMOVAL_NO_TRUNK, REMOVAL_ATTIC, REMOVAL_EMPTY_DEFAULT };

struct rcs_handle {
    rcs_element *arc = nullptr;
    std::vector<opt_str> branch_paths;
    std::vector<str_list> empty_branches;   // per delta: named branches without revisions
    std::vector<size_t> replays;            // delta indices, in order along the default branch
    size_t next_replay = 0;
    removal_kind removal = REMOVAL_NONE;
    const rcs_delta *main_last = nullptr;   // the revision the main branch would end with
    bool removal_done = false;
    ~rcs_handle() { rcs_close(arc); }
};

// Suffix of the version id of a default-branch revision replayed on the main
// branch; revision numbers never hold it.
const char REPLAY_SUFFIX[] = "@main";
// Version id of the removal; no revision number looks like it.
const char REMOVAL_ID[] = "removed@main";

// The stand-in for a group or name the account database does not know, as
// the PVCS exporter writes it. (The import matches versions by id and time,
// so versions exported before with "Unknown" are still recognised.)
const char UNKNOWN[] = "unknown";

struct author_event {
    std::string user;
    opt_str group, event_name;
};

// Asked once per run. The records carry at most 80 bytes of it, and this
// exporter's documented stand-in for a name that cannot be had.
const std::string &host_name() {
    static const std::string host = [] {
        std::string h = sysutl_myhostname();
        return h == "UnknownHost" ? std::string("Unknown") : h.substr(0, 80);
    }();
    return host;
}

std::string strip_domain(const std::string &s) {
    size_t bs = s.find('\\');
    return bs == std::string::npos ? s : s.substr(bs + 1);
}

// The account database is asked once per author and run.
const author_event &author_of(const std::string &author) {
    static std::map<std::string, author_event> cache;
    auto it = cache.find(author);
    if (it != cache.end())
        return it->second;
    author_event ev;
    credutl_pw pw;
    if (credutl_getpwnam(author.c_str(), &pw) == 0) {
        ev.user = strip_domain(pw.name);
        struct group gr, *res = nullptr;
        std::vector<char> buf(4096);
        while (getgrgid_r(pw.gid, &gr, buf.data(), buf.size(), &res) == ERANGE && buf.size() < 1 << 20)
            buf.resize(buf.size() * 2);
        if (res)
            ev.group = strip_domain(res->gr_name);
        else
            ev.group = std::to_string(pw.gid);
        if (!pw.full_name.empty())
            ev.event_name = pw.full_name;
    } else {
        ev.user = author;
        ev.group = UNKNOWN;
        ev.event_name = UNKNOWN;
    }
    return cache.emplace(author, std::move(ev)).first->second;
}

// A branch number's name: CVS's ".0." form first (CVS only), then a symbol
// naming the number, else the number itself.
std::string branch_name(const rcs_element *e, std::string_view number) {
    size_t cursor = 0;
    if (rcs_state().mode == RCS_MODE_CVS) {
        std::string magic = rcs_magic_branch(number);
        if (const char *s = rcs_find_symbol(e, magic, &cursor))
            return s;
        cursor = 0;
    }
    if (const char *s = rcs_find_symbol(e, number, &cursor))
        return s;
    return std::string(number);
}

// The branches a revision lies on, outermost first, joined by "/"; none for
// a trunk revision.
opt_str branch_path(const rcs_element *e, std::string_view rev) {
    int n = rcs_field_count(rev);
    if (n < 4)
        return std::nullopt;
    std::string path;
    for (int k = 3; k < n; k += 2) {
        if (!path.empty())
            path += FILEUTL_SEP;
        path += branch_name(e, rcs_prefix(rev, k));
    }
    return path;
}

std::string last_component(const std::string &path) {
    size_t slash = path.rfind(FILEUTL_SEP);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The revisions of a number's branch (one field more, the number as prefix),
// as indices into the sorted delta list: in order along the branch.
std::vector<size_t> revisions_on(const rcs_element *e, std::string_view branch) {
    std::vector<size_t> out;
    int n = rcs_field_count(branch);
    for (size_t i = 0; i < e->deltas.size(); ++i) {
        const std::string &rev = e->deltas[i].rev;
        if (rcs_field_count(rev) == n + 1 && rcs_prefix(rev, n) == branch)
            out.push_back(i);
    }
    return out;
}

// CVS checks out the default branch's tip as HEAD, not the trunk's head. So
// that the main branch ends with the same bytes, the default branch's
// revisions from the trunk head's date on (and its tip in any case) are
// replayed on the main branch, in order.
// The default branch CVS follows: an RCS branch number, else "".
std::string cvs_default_branch(const rcs_element *e) {
    const std::string &b = e->default_branch;
    int n = rcs_field_count(b);
    if (rcs_state().mode != RCS_MODE_CVS || !rcs_is_number(b) || n < 3 || n % 2 == 0)
        return "";
    return b;
}

const rcs_delta *trunk_head_of(const rcs_element *e) {
    const rcs_delta *head = nullptr;
    for (const rcs_delta &d : e->deltas)
        if (rcs_field_count(d.rev) == 2 && (!head || rcs_rev_compare(d.rev, head->rev) > 0))
            head = &d;
    return head;
}

std::vector<size_t> default_branch_replays(const rcs_element *e) {
    const std::string b = cvs_default_branch(e);
    if (b.empty())
        return {};
    std::vector<size_t> on_b = revisions_on(e, b);
    const rcs_delta *trunk_head = trunk_head_of(e);
    std::vector<size_t> out;
    for (size_t k = 0; k < on_b.size(); ++k)
        if (!trunk_head || e->deltas[on_b[k]].time >= trunk_head->time || k + 1 == on_b.size())
            out.push_back(on_b[k]);
    return out;
}

// Where cvs checkout shows no file but the main branch would end with a live
// version (or the empty version 0), a last version without contents on it
// says so: an archive without trunk revisions, one in Attic (CVS lists Attic
// only for a tag or a date), a default branch without revisions (CVS follows
// it instead of the trunk).
void plan_removal(rcs_handle *h) {
    const rcs_element *e = h->arc;
    if (rcs_state().mode != RCS_MODE_CVS)
        return;
    h->main_last = h->replays.empty() ? trunk_head_of(e) : &e->deltas[h->replays.back()];
    if (!h->main_last)
        h->removal = REMOVAL_NO_TRUNK;
    else if (h->main_last->state == "dead")
        h->removal = REMOVAL_NONE;
    else if (rcs_in_archive_dir(e->path))   // CVS: Attic
        h->removal = REMOVAL_ATTIC;
    else if (std::string b = cvs_default_branch(e); !b.empty() && revisions_on(e, b).empty())
        h->removal = REMOVAL_EMPTY_DEFAULT;
}

// The branch number a symbol names, or "" when it names a revision: an odd
// count of fields, or (CVS) the ".0." form 1.2.0.4 of branch 1.2.4.
std::string symbol_branch(std::string_view number) {
    if (!rcs_is_number(number))
        return "";
    int n = rcs_field_count(number);
    if (n >= 3 && n % 2 == 1)
        return std::string(number);
    if (rcs_state().mode != RCS_MODE_CVS || n < 4)
        return "";
    std::string_view point = rcs_prefix(number, n - 2);
    std::string_view zero = rcs_prefix(number, n - 1).substr(point.size() + 1);
    if (zero != "0")
        return "";
    return std::string(point) + std::string(number.substr(rcs_prefix(number, n - 1).size()));
}

// A named branch that has no revisions yet is still a branch of the element:
// it sprouts from its branch point, which lists it among its sub-branches.
// Per delta, the names to add; a branch point missing from the archive
// leaves its symbols out.
std::vector<str_list> empty_named_branches(const rcs_element *e) {
    std::vector<str_list> out(e->deltas.size());
    for (auto it = e->symbols.rbegin(); it != e->symbols.rend(); ++it) {
        std::string branch = symbol_branch(it->number);
        if (branch.empty())
            continue;
        int n = rcs_field_count(branch);
        const rcs_delta *point = rcs_find_delta(e, rcs_prefix(branch, n - 1));
        if (!point)
            continue;
        bool listed = false;
        for (const std::string &first : point->branches)
            listed = listed || (rcs_field_count(first) == n + 1 && rcs_prefix(first, n) == branch);
        if (listed)
            continue;
        str_list &names = out[size_t(point - e->deltas.data())];
        std::string name = branch_name(e, branch);
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
    }
    return out;
}

// The version record of delta i as the archive has it.
void fill_version(const rcs_handle *h, size_t i, cm_version_info *v) {
    const rcs_element *e = h->arc;
    const rcs_driver_state &s = rcs_state();
    const rcs_delta &d = e->deltas[i];
    *v = cm_version_info();
    v->status = VERSION_WRITE;
    v->version_id = d.rev;
    v->branch = h->branch_paths[i];
    v->event_time = d.time;
    const author_event &ev = author_of(d.author);
    v->user = ev.user;
    v->group = ev.group;
    v->event_name = ev.event_name;
    v->host = host_name();
    v->comment = rcs_read_log(e, i);
    if ((s.record_revision || s.record_state) && d.time > s.since) {
        if (s.record_state && d.state != "Exp" && !d.state.empty())
            v->attributes.push_back(std::string(rcs_attribute_prefix()) + "_STATE=" + d.state);
        if (s.record_revision)
            v->attributes.push_back(std::string(rcs_attribute_prefix()) + "_REVISION=" + d.rev);
    }
    int64_t selected = d.time;
    for (const std::string &b : d.branches) {
        opt_str bp = branch_path(e, b);
        if (bp)
            v->subbranches.push_back(last_component(*bp));
        if (const rcs_delta *first = rcs_find_delta(e, b))
            selected = std::max(selected, first->time);
    }
    for (const std::string &name : h->empty_branches[i])
        if (std::find(v->subbranches.begin(), v->subbranches.end(), name) == v->subbranches.end())
            v->subbranches.push_back(name);
    size_t cursor = 0;
    while (const char *label = rcs_find_symbol(e, d.rev, &cursor))
        v->labels.emplace_back(label);
    v->selected_time = v->labels.empty() ? selected : s.archive_mtime;
    // A removed file's revision has no contents, not empty ones.
    v->no_contents = s.mode == RCS_MODE_CVS && d.state == "dead";
}

// The default-branch revision of delta i again, as a version of the main
// branch that records where it came from by a merge.
void fill_replay(const rcs_handle *h, size_t i, cm_version_info *v) {
    fill_version(h, i, v);
    v->merges = {v->version_id};
    v->version_id += REPLAY_SUFFIX;
    v->branch.reset();
    v->labels.clear();
    v->subbranches.clear();
}

// The removal: no revision of its own, so dated at the version it follows
// (see below without one) and selected by
// the archive's time, since when it happened is not recorded.
void fill_removal(const rcs_handle *h, cm_version_info *v) {
    const rcs_driver_state &s = rcs_state();
    *v = cm_version_info();
    v->status = VERSION_WRITE;
    v->version_id = REMOVAL_ID;
    // Without a trunk revision, the first revision's time (or the archive's
    // when it has none): a tag added later must not make it a new removal.
    v->event_time = s.archive_mtime;
    if (h->main_last)
        v->event_time = h->main_last->time;
    else
        for (const rcs_delta &d : h->arc->deltas)
            v->event_time = std::min(v->event_time, d.time);
    v->selected_time = std::max(v->event_time, s.archive_mtime);
    v->user = v->group = v->event_name = UNKNOWN;
    v->host = host_name();
    const char *last = h->main_last ? h->main_last->rev.c_str() : "";
    if (h->removal == REMOVAL_NO_TRUNK)
        v->comment = IMSG_SPRINTF(cat(), RCS_REMOVAL_NO_TRUNK);
    else if (h->removal == REMOVAL_ATTIC)
        v->comment = IMSG_SPRINTF(cat(), RCS_REMOVAL_ATTIC, last, last);
    else
        v->comment = IMSG_SPRINTF(cat(), RCS_REMOVAL_EMPTY_DEFAULT, h->arc->default_branch.c_str(), last);
    if (s.record_state && v->event_time > s.since)
        v->attributes.push_back(std::string(rcs_attribute_prefix()) + "_STATE=dead");
    v->no_contents = 1;
}

std::map<std::string, std::string> &opened_paths() {
    static std::map<std::string, std::string> paths;   // element name -> archive
    return paths;
}

}   // namespace

int rcs_cm_open_element(const char *path, void **handle) {
    *handle = nullptr;
    if (rcs_state().work_files.count(path))
        return CM_NOT_EXPORTED;   // its archive is the element
    std::string name = rcs_element_name(path);
    auto known = opened_paths().find(name);
    if (known != opened_paths().end() && known->second != path) {
        IMSG_PRINT(IMSG_WARNING, cat(), RCS_SAME_ELEMENT, path, known->second.c_str(), name.c_str());
        return CM_NOT_EXPORTED;
    }
    auto h = std::make_unique<rcs_handle>();
    if (int rc = rcs_open(path, name.c_str(), &h->arc, export_replace_char()))
        return rc;
    h->branch_paths.reserve(h->arc->deltas.size());
    for (const rcs_delta &d : h->arc->deltas) {
        opt_str bp = branch_path(h->arc, d.rev);
        if (bp && bp->size() > FILEUTL_MAX_PATH) {
            IMSG_PRINT(IMSG_ERROR, cat(), RCS_BRANCH_TOO_LONG, path, d.rev.c_str(), int(FILEUTL_MAX_PATH));
            return CM_FAILED;
        }
        h->branch_paths.push_back(std::move(bp));
    }
    h->empty_branches = empty_named_branches(h->arc);
    h->replays = default_branch_replays(h->arc);
    plan_removal(h.get());
    opened_paths().emplace(name, path);
    *handle = h.release();
    return CM_OK;
}

int rcs_cm_element_info(void *handle, element_info *info) {
    const rcs_element *e = static_cast<rcs_handle *>(handle)->arc;
    info->state = 0;
    info->type_name.reset();
    info->name = e->element_name;
    fileutl_stat_t st;
    if (fileutl_stat(e->path.c_str(), 1, &st) != 0) {
        int err = errno;
        IMSG_PRINT(IMSG_ERROR, cat(), RCS_CANT_STAT, e->path.c_str());
        IMSG_PRINT(IMSG_CONT, cat(), RCS_REASON, std::strerror(err));
        return CM_FAILED;
    }
    info->mode = int(st.mode);
    rcs_state().archive_mtime = st.mtime;
    // The element is made by its first revision: its author and time.
    if (e->deltas.empty()) {
        info->created = st.mtime;
        info->user = info->group = info->event_name = UNKNOWN;
    } else {
        const rcs_delta &first = e->deltas.front();
        const author_event &ev = author_of(first.author);
        info->created = first.time;
        info->user = ev.user;
        info->group = ev.group;
        info->event_name = ev.event_name;
    }
    info->host = host_name();
    info->comment = rcs_read_description(e);
    info->checkouts = rcs_read_locks(e);
    return CM_OK;
}

int rcs_cm_next_version(void *handle, cm_version_info *v, int *is_version) {
    rcs_handle *h = static_cast<rcs_handle *>(handle);
    rcs_element *e = h->arc;
    *is_version = 1;
    if (e->current < e->deltas.size()) {
        fill_version(h, e->current, v);
        e->current++;
        return CM_OK;
    }
    if (h->next_replay < h->replays.size()) {
        fill_replay(h, h->replays[h->next_replay], v);
        h->next_replay++;
        return CM_OK;
    }
    if (h->removal != REMOVAL_NONE && !h->removal_done) {
        fill_removal(h, v);
        h->removal_done = true;
        return CM_OK;
    }
    return CM_NO_MORE;
}

int rcs_cm_extract(void *handle, const cm_version_info *v, std::string *text, int *is_command) {
    const rcs_element *e = static_cast<rcs_handle *>(handle)->arc;
    const rcs_driver_state &s = rcs_state();
    std::string rev = v->version_id.substr(0, v->version_id.find('@'));   // a replay: its revision
    if (s.mode == RCS_MODE_CVS) {
        std::string path = e->path;
        if (rcs_has_archive_suffix(path))
            path.resize(path.size() - 2);
        if (s.cvs_rel_cwd != ".")
            path = s.cvs_rel_cwd + "/" + path;
        *text = "cvs -Q get -r" + rev + " -p \"" + strutl_cmd_dquote(path) + "\" > ";
    } else {
        *text = "co -q -r" + rev + " -p \"%s%c" + strutl_cmd_dquote(e->path) + "\" > \"%s\"";
    }
    *is_command = 1;
    return CM_OK;
}

void rcs_cm_close_element(void *handle) { delete static_cast<rcs_handle *>(handle); }
