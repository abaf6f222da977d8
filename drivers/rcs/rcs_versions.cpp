// Elements and versions from an opened archive: element information, one
// version per delta in revision order, and the command that extracts each.
#include <grp.h>
#include <map>
#include <new>
#include <unistd.h>

#include "drivers/rcs/rcs_archive.h"
#include "drivers/rcs/rcs_driver.h"
#include "drivers/rcs/rcs_msgs.h"
#include "drivers/rcs/rcs_rev.h"
#include "runtime/fileutl.h"
#include "runtime/sysutl.h"

std::string rcs_element_name(const std::string &archive_path);

namespace {

const imsg_catalog *cat() { return rcs_driver_rcs_msg_table_adr(); }

// One open element: the archive and the branch path of every delta, named
// once at open so that a path too long rejects the archive before any
// version is handed out.
struct rcs_handle {
    rcs_element *arc = nullptr;
    std::vector<opt_str> branch_paths;
    ~rcs_handle() { rcs_close(arc); }
};

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
        ev.group = "Unknown";
        ev.event_name = "Unknown";
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

std::map<std::string, std::string> &opened_paths() {
    static std::map<std::string, std::string> paths;   // element name -> archive
    return paths;
}

// The importer fills in the "%s" and "%c" of the command; a "%" of the path
// must stay a "%".
std::string escape_percent(const std::string &s) {
    std::string out;
    for (char c : s) {
        out += c;
        if (c == '%')
            out += '%';
    }
    return out;
}

}   // namespace

int rcs_cm_open_element(const char *path, void **handle) {
    *handle = nullptr;
    try {
        std::string name = rcs_element_name(path);
        auto known = opened_paths().find(name);
        if (known != opened_paths().end() && known->second != path) {
            IMSG_PRINT(IMSG_WARNING, cat(), RCS_SAME_ELEMENT, path, known->second.c_str(), name.c_str());
            return CM_NOT_EXPORTED;
        }
        auto h = std::make_unique<rcs_handle>();
        if (int rc = rcs_open(path, name.c_str(), &h->arc))
            return rc;
        h->branch_paths.reserve(h->arc->deltas.size());
        for (const rcs_delta &d : h->arc->deltas) {
            opt_str bp = branch_path(h->arc, d.rev);
            if (bp && bp->size() > FILEUTL_MAX_PATH) {
                IMSG_PRINT(IMSG_ERROR, cat(), RCS_BRANCH_TOO_LONG, path, d.rev.c_str(),
                           int(FILEUTL_MAX_PATH));
                return CM_FAILED;
            }
            h->branch_paths.push_back(std::move(bp));
        }
        opened_paths().emplace(name, path);
        *handle = h.release();
        return CM_OK;
    } catch (const std::bad_alloc &) {
        IMSG_PRINT(IMSG_ERROR, cat(), RCS_NOMEM);
        return CM_NOMEM;
    }
}

int rcs_cm_element_info(void *handle, element_info *info) {
    const rcs_element *e = static_cast<rcs_handle *>(handle)->arc;
    try {
        info->state = 0;
        info->type_name.reset();
        info->name = e->element_name;
        fileutl_stat_t st;
        if (fileutl_stat(e->path.c_str(), 1, &st) != 0) {
            IMSG_PRINT(IMSG_ERROR, cat(), RCS_CANT_STAT, e->path.c_str());
            return CM_FAILED;
        }
        info->mode = int(st.mode);
        rcs_state().archive_mtime = st.mtime;
        info->created = e->deltas.empty() ? st.mtime : e->deltas.front().time;
        info->user = info->group = info->event_name = "Unknown";
        info->host = host_name();
        info->comment = rcs_read_description(e);
        info->checkouts = rcs_read_locks(e);
        return CM_OK;
    } catch (const std::bad_alloc &) {
        IMSG_PRINT(IMSG_ERROR, cat(), RCS_NOMEM);
        return CM_NOMEM;
    }
}

int rcs_cm_next_version(void *handle, cm_version_info *v, int *is_version) {
    rcs_handle *h = static_cast<rcs_handle *>(handle);
    rcs_element *e = h->arc;
    const rcs_driver_state &s = rcs_state();
    *is_version = 1;
    if (e->current >= e->deltas.size())
        return CM_NO_MORE;
    try {
        size_t i = e->current;
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
        size_t cursor = 0;
        while (const char *label = rcs_find_symbol(e, d.rev, &cursor))
            v->labels.emplace_back(label);
        v->selected_time = v->labels.empty() ? selected : s.archive_mtime;
        v->no_contents = 0;
        e->current = i + 1;
        return CM_OK;
    } catch (const std::bad_alloc &) {
        IMSG_PRINT(IMSG_ERROR, cat(), RCS_NOMEM);
        return CM_NOMEM;
    }
}

int rcs_cm_extract(void *handle, const cm_version_info *v, std::string *text, int *is_command) {
    const rcs_element *e = static_cast<rcs_handle *>(handle)->arc;
    const rcs_driver_state &s = rcs_state();
    if (s.mode == RCS_MODE_CVS) {
        std::string path = e->path;
        if (path.size() > 2 && path.compare(path.size() - 2, 2, ",v") == 0)
            path.resize(path.size() - 2);
        if (s.cvs_rel_cwd != ".")
            path = s.cvs_rel_cwd + "/" + path;
        *text = "cvs -Q get -r" + v->version_id + " -p \"" + path + "\" > ";
    } else {
        *text = "co -q -r" + v->version_id + " -p \"%s%c" + escape_percent(e->path) + "\" > \"%s\"";
    }
    *is_command = 1;
    return CM_OK;
}

void rcs_cm_close_element(void *handle) { delete static_cast<rcs_handle *>(handle); }
