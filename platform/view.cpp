// Snapshot views: metadata, load and update, path lookup, element work.
#include "platform/view.h"
#include "platform/registry.h"
#include "platform/vob_int.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using json = nlohmann::json;

static const char *const META_DIR = ".vantor_view";

// What update loaded at a path (relative to the view root).
struct loaded_rec {
    std::string vob;
    vob_oid elem = 0, ver = 0;
    int dir = 0;
    int64_t size = 0, mtime_ns = 0;
};

struct view_t {
    std::string root, tag, err, cspec;
    std::vector<vob_rule> rules;
    std::vector<std::string> scopes;
    std::map<std::string, vob_t *> vobs;
    std::map<std::string, loaded_rec> loaded;
    int loaded_read = 0;
};

static int vfail(view_t *v, int rc, const std::string &msg)
{
    v->err = msg;
    return rc;
}

static std::string abs_path(const std::string &p)
{
    std::string a = p;
    if (a.empty() || a[0] != '/') {
        char cwd[4096];
        a = std::string(getcwd(cwd, sizeof cwd) ? cwd : ".") + "/" + p;
    }
    // Tidy "//", "." and ".." lexically.
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= a.size()) {
        size_t j = a.find('/', i);
        if (j == std::string::npos)
            j = a.size();
        std::string c = a.substr(i, j - i);
        if (c == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!c.empty() && c != ".") {
            parts.push_back(c);
        }
        i = j + 1;
    }
    std::string r;
    for (auto &c : parts)
        r += "/" + c;
    return r.empty() ? "/" : r;
}

static std::string meta_file(const view_t *v, const char *leaf)
{
    return v->root + "/" + META_DIR + "/" + leaf;
}

static int write_file_atomic(const std::string &path, const std::string &text, std::string *err)
{
    std::string tmp = path + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    size_t off = 0;
    while (ok && off < text.size()) {
        ssize_t w = write(fd, text.data() + off, text.size() - off);
        if (w < 0 && errno == EINTR)
            continue;
        ok = w > 0;
        off += ok ? (size_t)w : 0;
    }
    int e = errno;
    if (fd >= 0 && close(fd) != 0 && ok) {
        ok = false;
        e = errno;
    }
    if (ok && rename(tmp.c_str(), path.c_str()) != 0) {
        ok = false;
        e = errno;
    }
    if (!ok) {
        unlink(tmp.c_str());
        *err = strerror(e);
        return VOB_ERR;
    }
    return VOB_OK;
}

static int read_text(const std::string &path, std::string *text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return VOB_ERR;
    std::stringstream ss;
    ss << in.rdbuf();
    *text = ss.str();
    return VOB_OK;
}

static int save_meta(view_t *v)
{
    json j = {{"tag", v->tag}, {"config_spec", v->cspec}, {"scopes", v->scopes}};
    std::string e;
    if (write_file_atomic(meta_file(v, "view.json"), j.dump(2, ' ', false, json::error_handler_t::replace) + "\n", &e) != VOB_OK)
        return vfail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), meta_file(v, "view.json").c_str(), e.c_str()));
    return VOB_OK;
}

// loaded.txt: one line per loaded entry, tab-separated:
//   elem, ver, dir flag, size, mtime in ns, VOB tag, path (escaped)
// Paths escape "%", tab, line end and carriage return as %XX, so any name
// the VOB allows round-trips.
static std::string esc(const std::string &s)
{
    std::string r;
    for (unsigned char c : s) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            char b[4];
            snprintf(b, sizeof b, "%%%02X", c);
            r += b;
        } else {
            r += (char)c;
        }
    }
    return r;
}

static int unesc(const std::string &s, std::string *out)
{
    std::string r;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] != '%') {
            r += s[i];
            continue;
        }
        if (i + 2 >= s.size() || !isxdigit((unsigned char)s[i + 1]) || !isxdigit((unsigned char)s[i + 2]))
            return -1;
        r += (char)std::stoi(s.substr(i + 1, 2), nullptr, 16);
        i += 2;
    }
    *out = r;
    return 0;
}

static int load_loaded(view_t *v)
{
    if (v->loaded_read)
        return VOB_OK;
    std::string text, f = meta_file(v, "loaded.txt");
    v->loaded.clear();
    if (access(f.c_str(), F_OK) != 0) {
        v->loaded_read = 1;
        return VOB_OK;
    }
    if (read_text(f, &text) != VOB_OK)
        return vfail(v, VOB_ERR, VOB_MSG(VM_VIEW_META, v->tag.c_str(), f.c_str(), strerror(errno)));
    std::istringstream in(text);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        n++;
        std::vector<std::string> w;
        size_t i = 0;
        while (w.size() < 6) {
            size_t j = line.find('\t', i);
            if (j == std::string::npos)
                break;
            w.push_back(line.substr(i, j - i));
            i = j + 1;
        }
        loaded_rec r;
        std::string path;
        char *end = nullptr;
        bool ok = w.size() == 6 && unesc(line.substr(i), &path) == 0 && !path.empty();
        int64_t nums[5] = {};
        for (int k = 0; ok && k < 5; k++) {
            nums[k] = strtoll(w[k].c_str(), &end, 10);
            ok = !w[k].empty() && *end == '\0';
        }
        if (!ok)
            return vfail(v, VOB_CORRUPT, VOB_MSG(VM_VIEW_META, v->tag.c_str(), f.c_str(),
                                                 ("line " + std::to_string(n) + " is malformed").c_str()));
        r.elem = nums[0];
        r.ver = nums[1];
        r.dir = nums[2] != 0;
        r.size = nums[3];
        r.mtime_ns = nums[4];
        r.vob = w[5];
        v->loaded[path] = r;
    }
    v->loaded_read = 1;
    return VOB_OK;
}

static int save_loaded(view_t *v)
{
    std::string text;
    for (auto &kv : v->loaded) {
        const loaded_rec &r = kv.second;
        text += std::to_string(r.elem) + "\t" + std::to_string(r.ver) + "\t" + (r.dir ? "1" : "0") + "\t" +
                std::to_string(r.size) + "\t" + std::to_string(r.mtime_ns) + "\t" + r.vob + "\t" + esc(kv.first) + "\n";
    }
    std::string e;
    if (write_file_atomic(meta_file(v, "loaded.txt"), text, &e) != VOB_OK)
        return vfail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), meta_file(v, "loaded.txt").c_str(), e.c_str()));
    return VOB_OK;
}

static int stat_rec(const std::string &path, int64_t *size, int64_t *mtime_ns, int *is_dir)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return -1;
    *size = st.st_size;
    *mtime_ns = (int64_t)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec;
    if (is_dir)
        *is_dir = S_ISDIR(st.st_mode);
    return 0;
}

// ---- making, opening, removing ---------------------------------------------------------

static int empty_or_missing(const std::string &dir)
{
    struct stat st;
    if (lstat(dir.c_str(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return 0;
    std::error_code ec;
    return std::filesystem::is_empty(dir, ec) && !ec;
}

int view_make(const std::string &tag, const std::string &dir, std::string *err)
{
    bool tag_ok = !tag.empty() && tag.size() <= 255 && tag.find('/') == std::string::npos &&
                  tag.find("@@") == std::string::npos && tag.find_first_of(" \t\r\n") == std::string::npos &&
                  tag != "." && tag != "..";
    if (!tag_ok) {
        *err = VOB_MSG(VM_BAD_NAME, "-", "view tag", tag.c_str());
        err->erase(0, err->find(':') + 2);
        return VOB_ERR;
    }
    std::string root = abs_path(dir);
    rgy_view have;
    std::string e2;
    int rc = rgy_view_find(tag, "", &have, &e2);
    if (rc == VOB_OK) {
        *err = VOB_MSG(VM_VIEW_TAG_EXISTS, tag.c_str(), have.dir.c_str());
        return VOB_EXISTS;
    }
    if (rc != VOB_NOT_FOUND) {
        *err = e2;
        return rc;
    }
    if (!empty_or_missing(root)) {
        *err = VOB_MSG(VM_VIEW_EXISTS, root.c_str());
        return VOB_EXISTS;
    }
    std::error_code ec;
    std::filesystem::create_directories(root + "/" + META_DIR, ec);
    if (ec) {
        *err = VOB_MSG(VM_MKDIR, root.c_str(), ec.message().c_str());
        return VOB_ERR;
    }
    view_t v;
    v.root = root;
    v.tag = tag;
    v.cspec = view_default_config_spec();
    rc = save_meta(&v);
    if (rc == VOB_OK)
        rc = save_loaded(&v);
    if (rc != VOB_OK)
        *err = v.err;
    rgy_view entry;
    entry.tag = tag;
    entry.dir = root;
    if (rc == VOB_OK)
        rc = rgy_view_add(entry, err);
    if (rc != VOB_OK)
        std::filesystem::remove_all(root, ec);
    return rc;
}

static int open_root(const std::string &root, view_t **out, std::string *err)
{
    std::string text, f = root + "/" + META_DIR + "/view.json";
    if (read_text(f, &text) != VOB_OK) {
        *err = VOB_MSG(VM_VIEW_META, root.c_str(), f.c_str(), strerror(errno));
        return VOB_ERR;
    }
    json j = json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object() || !j["tag"].is_string() || !j["config_spec"].is_string() ||
        !j["scopes"].is_array()) {
        *err = VOB_MSG(VM_VIEW_META, root.c_str(), f.c_str(), "not view metadata");
        return VOB_CORRUPT;
    }
    view_t *v = new view_t;
    v->root = root;
    v->tag = j["tag"];
    v->cspec = j["config_spec"];
    for (auto &s : j["scopes"])
        if (s.is_string())
            v->scopes.push_back(s);
    int rc = view_parse_config_spec(v->cspec, f, &v->rules, err);
    if (rc != VOB_OK) {
        delete v;
        return rc;
    }
    *out = v;
    return VOB_OK;
}

int view_open(const std::string &path, view_t **out, std::string *err)
{
    std::string p, vid;
    if (!vob_split_xpname(path, &p, &vid))
        p = path;
    std::string a = abs_path(p.empty() ? "." : p);
    for (;;) {
        struct stat st;
        if (stat((a + "/" + META_DIR + "/view.json").c_str(), &st) == 0)
            return open_root(a, out, err);
        if (a == "/")
            break;
        size_t slash = a.rfind('/');
        a = slash == 0 ? "/" : a.substr(0, slash);
    }
    *err = VOB_MSG(VM_NOT_IN_VIEW, path.c_str());
    return VOB_NOT_FOUND;
}

void view_close(view_t *v)
{
    if (!v)
        return;
    for (auto &kv : v->vobs)
        vob_close(kv.second);
    delete v;
}

const std::string &view_errmsg(const view_t *v) { return v->err; }
const std::string &view_get_tag(const view_t *v) { return v->tag; }
const std::string &view_get_root(const view_t *v) { return v->root; }
const std::vector<vob_rule> &view_get_rules(const view_t *v) { return v->rules; }
const std::vector<std::string> &view_get_scopes(const view_t *v) { return v->scopes; }

int view_get_config_spec(view_t *v, std::string *text)
{
    *text = v->cspec;
    return VOB_OK;
}

int view_set_config_spec(view_t *v, const std::string &text)
{
    std::vector<vob_rule> rules;
    std::string e;
    if (view_parse_config_spec(text, "config spec", &rules, &e) != VOB_OK)
        return vfail(v, VOB_ERR, e);
    std::string old = v->cspec;
    v->cspec = text;
    int rc = save_meta(v);
    if (rc != VOB_OK) {
        v->cspec = old;
        return rc;
    }
    v->rules = std::move(rules);
    return VOB_OK;
}

int view_set_config_spec_file(view_t *v, const std::string &path)
{
    std::string text;
    if (read_text(path, &text) != VOB_OK)
        return vfail(v, VOB_ERR, VOB_MSG(VM_VIEW_META, v->tag.c_str(), path.c_str(), strerror(errno)));
    std::vector<vob_rule> rules;
    std::string e;
    if (view_parse_config_spec(text, path, &rules, &e) != VOB_OK)
        return vfail(v, VOB_ERR, e);
    return view_set_config_spec(v, text);
}

int view_get_vob(view_t *v, const std::string &tag, vob_t **vob)
{
    auto it = v->vobs.find(tag);
    if (it != v->vobs.end()) {
        *vob = it->second;
        return VOB_OK;
    }
    vob_t *h = nullptr;
    std::string e;
    int rc = vob_open_tag(tag, &h, &e);
    if (rc != VOB_OK)
        return vfail(v, rc, e);
    v->vobs[tag] = h;
    *vob = h;
    return VOB_OK;
}

int view_add_scope(view_t *v, const std::string &tag)
{
    if (std::find(v->scopes.begin(), v->scopes.end(), tag) != v->scopes.end())
        return VOB_OK;
    vob_t *h;
    int rc = view_get_vob(v, tag, &h);
    if (rc != VOB_OK)
        return rc;
    v->scopes.push_back(tag);
    std::sort(v->scopes.begin(), v->scopes.end());
    rc = save_meta(v);
    if (rc != VOB_OK)
        v->scopes.erase(std::find(v->scopes.begin(), v->scopes.end(), tag));
    return rc;
}

int view_remove_scope(view_t *v, const std::string &tag)
{
    auto it = std::find(v->scopes.begin(), v->scopes.end(), tag);
    if (it == v->scopes.end())
        return vfail(v, VOB_NOT_FOUND, VOB_MSG(VM_NOT_IN_VOB, tag.c_str(), v->tag.c_str()));
    v->scopes.erase(it);
    return save_meta(v);
}

int view_remove(const std::string &dir, int force, std::string *err)
{
    view_t *v = nullptr;
    int rc = view_open(dir, &v, err);
    if (rc != VOB_OK)
        return rc;
    if (abs_path(dir) != v->root) {
        *err = VOB_MSG(VM_NOT_IN_VIEW, dir.c_str());
        err->append(" (give the view's root directory)");
        view_close(v);
        return VOB_ERR;
    }
    // Checkouts of this view in every registered VOB.
    std::vector<rgy_vob> vobs;
    rc = rgy_vob_list("", &vobs, err);
    std::vector<std::pair<vob_t *, vob_oid>> cks;
    for (size_t i = 0; rc == VOB_OK && i < vobs.size(); i++) {
        vob_t *h;
        if (view_get_vob(v, vobs[i].tag, &h) != VOB_OK)
            continue;
        std::vector<vob_ckout> c;
        if (vob_view_ckouts(h, v->tag, &c) == VOB_OK)
            for (auto &x : c)
                cks.push_back({h, x.oid});
    }
    if (rc == VOB_OK && !cks.empty() && !force) {
        *err = VOB_MSG(VM_VIEW_CKOUTS, v->tag.c_str(), (int)cks.size());
        rc = VOB_CKOUT;
    }
    for (size_t i = 0; rc == VOB_OK && i < cks.size(); i++)
        if (vob_uncheckout(cks[i].first, cks[i].second) != VOB_OK) {
            *err = vob_errmsg(cks[i].first);
            rc = VOB_ERR;
        }
    if (rc == VOB_OK)
        rc = rgy_view_remove(v->tag, "", err);
    if (rc == VOB_OK) {
        std::error_code ec;
        std::filesystem::remove_all(v->root, ec);
        if (ec) {
            *err = VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), v->root.c_str(), ec.message().c_str());
            rc = VOB_ERR;
        }
    }
    view_close(v);
    return rc;
}

// ---- loading ---------------------------------------------------------------------------

static int copy_out(view_t *v, vob_t *h, vob_oid ver, const std::string &dest, int writable)
{
    std::string src;
    int rc = vob_ver_get_data_pname(h, ver, &src);
    if (rc != VOB_OK)
        return vfail(v, rc, vob_errmsg(h));
    std::string tmp = dest + ".vantor-tmp";
    int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return vfail(v, VOB_ERR, VOB_MSG(VM_POOL_READ, vob_get_tag(h).c_str(), src.c_str(), strerror(errno)));
    unlink(tmp.c_str());
    int out = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        int e = errno;
        close(in);
        return vfail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), tmp.c_str(), strerror(e)));
    }
    char buf[65536];
    int e = 0;
    for (;;) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            e = n < 0 ? errno : 0;
            break;
        }
        ssize_t off = 0;
        while (off < n) {
            ssize_t w = write(out, buf + off, (size_t)(n - off));
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0) {
                e = errno;
                break;
            }
            off += w;
        }
        if (e)
            break;
    }
    close(in);
    if (close(out) != 0 && !e)
        e = errno;
    if (!e && chmod(tmp.c_str(), writable ? 0644 : 0444) != 0)
        e = errno;
    if (!e && rename(tmp.c_str(), dest.c_str()) != 0)
        e = errno;
    if (e) {
        unlink(tmp.c_str());
        return vfail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), dest.c_str(), strerror(e)));
    }
    return VOB_OK;
}

static std::string vob_dir_in_view(const view_t *v, const std::string &tag)
{
    return v->root + tag;
}

static std::string rel_of(const view_t *v, const std::string &abs)
{
    return abs.size() > v->root.size() ? abs.substr(v->root.size() + 1) : std::string();
}

struct update_ctx {
    view_t *v;
    vob_t *h;
    std::string tag;
    std::map<std::string, loaded_rec> now;
    view_update_stats st;
    std::vector<std::string> *warnings;
    const view_progress *progress;
    int64_t seen = 0;
};

static void warn(update_ctx &u, const std::string &msg)
{
    if (u.warnings)
        u.warnings->push_back(msg);
}

// 1 when the file at path is still what update put there.
static int untouched(const std::string &path, const loaded_rec &r)
{
    int64_t size, mt;
    int dir;
    return stat_rec(path, &size, &mt, &dir) == 0 && !dir && size == r.size && mt == r.mtime_ns;
}

static int load_tree(update_ctx &u, vob_oid dir_elem, const std::string &abs_dir, int depth)
{
    view_t *v = u.v;
    if (depth > 1000)
        return vfail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), abs_dir.c_str(), "directories nest too deep"));
    vob_oid dv;
    int co = 0;
    int rc = vob_select_version(u.h, dir_elem, v->rules, v->tag, &dv, &co);
    if (rc == VOB_NOT_FOUND)
        return VOB_OK;
    if (rc != VOB_OK)
        return vfail(v, rc, vob_errmsg(u.h));
    std::vector<vob_dirent> ents;
    if ((rc = vob_dir_read(u.h, dv, &ents)) != VOB_OK)
        return vfail(v, rc, vob_errmsg(u.h));
    for (const vob_dirent &e : ents) {
        std::string path = abs_dir + "/" + e.name, rel = rel_of(v, path);
        if (u.progress && u.progress->cb && ++u.seen % 256 == 0)
            u.progress->cb(u.progress->ctx, u.seen, -1);
        if (e.mtype == VOB_MT_DIR_ELEM) {
            int64_t sz, mt;
            int isdir = 0;
            if (stat_rec(path, &sz, &mt, &isdir) == 0 && !isdir) {
                warn(u, VOB_MSG(VM_HIJACKED, path.c_str()));
                u.st.kept++;
                continue;
            }
            if (!isdir && mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
                return vfail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), path.c_str(), strerror(errno)));
            loaded_rec r;
            r.vob = u.tag;
            r.elem = e.elem;
            r.dir = 1;
            u.now[rel] = r;
            if ((rc = load_tree(u, e.elem, path, depth + 1)) != VOB_OK)
                return rc;
            continue;
        }
        vob_oid ver;
        co = 0;
        rc = vob_select_version(u.h, e.elem, v->rules, v->tag, &ver, &co);
        if (rc == VOB_NOT_FOUND)
            continue;
        if (rc != VOB_OK)
            return vfail(v, rc, vob_errmsg(u.h));
        auto prev = v->loaded.find(rel);
        int exists = access(path.c_str(), F_OK) == 0;
        if (co) {
            // The checked-out copy belongs to the user.
            loaded_rec r = prev != v->loaded.end() ? prev->second : loaded_rec();
            r.vob = u.tag;
            r.elem = e.elem;
            r.ver = ver;
            u.now[rel] = r;
            u.st.kept++;
            continue;
        }
        if (exists && (prev == v->loaded.end() || !untouched(path, prev->second))) {
            warn(u, VOB_MSG(VM_HIJACKED, path.c_str()));
            if (prev != v->loaded.end())
                u.now[rel] = prev->second;
            u.st.kept++;
            continue;
        }
        if (exists && prev->second.ver == ver) {
            u.now[rel] = prev->second;
            u.st.unchanged++;
            continue;
        }
        vob_ver_info vi;
        if ((rc = vob_ver_get(u.h, ver, &vi)) != VOB_OK)
            return vfail(v, rc, vob_errmsg(u.h));
        if (!vi.has_data) {
            if (exists)
                unlink(path.c_str());
            warn(u, VOB_MSG(VM_NO_CONTENTS_LOAD, path.c_str(), vi.id.c_str()));
            continue;
        }
        if ((rc = copy_out(v, u.h, ver, path, 0)) != VOB_OK)
            return rc;
        loaded_rec r;
        r.vob = u.tag;
        r.elem = e.elem;
        r.ver = ver;
        stat_rec(path, &r.size, &r.mtime_ns, nullptr);
        u.now[rel] = r;
        u.st.loaded++;
    }
    return VOB_OK;
}

int view_update(view_t *v, const view_progress *progress, view_update_stats *stats, std::vector<std::string> *warnings)
{
    int rc = load_loaded(v);
    if (rc != VOB_OK)
        return rc;
    update_ctx u{v, nullptr, "", {}, {}, warnings, progress};
    for (const std::string &tag : v->scopes) {
        if ((rc = view_get_vob(v, tag, &u.h)) != VOB_OK)
            return rc;
        u.tag = tag;
        std::string top = vob_dir_in_view(v, tag);
        std::error_code ec;
        std::filesystem::create_directories(top, ec);
        if (ec)
            return vfail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), top.c_str(), ec.message().c_str()));
        vob_txn rd(u.h, vob_txn::READ);
        if ((rc = rd.begin()) != VOB_OK)
            return vfail(v, rc, vob_errmsg(u.h));
        rc = load_tree(u, vob_wk_obj(u.h, VOB_WK_ROOT_DIR), top, 0);
        rd.commit();
        if (rc != VOB_OK) {
            // Keep what was loaded so far, so that the next update knows it.
            for (auto &kv : u.now)
                v->loaded[kv.first] = kv.second;
            save_loaded(v);
            return rc;
        }
    }
    // What was loaded before and is no longer selected, deepest first.
    std::vector<std::string> gone;
    for (auto &kv : v->loaded)
        if (!u.now.count(kv.first))
            gone.push_back(kv.first);
    std::sort(gone.rbegin(), gone.rend());
    for (const std::string &rel : gone) {
        const loaded_rec &r = v->loaded[rel];
        std::string path = v->root + "/" + rel;
        if (r.dir) {
            if (rmdir(path.c_str()) == 0 || errno == ENOENT)
                u.st.removed++;
            else
                warn(u, VOB_MSG(VM_HIJACKED, path.c_str()));
        } else if (access(path.c_str(), F_OK) != 0) {
            u.st.removed++;
        } else if (untouched(path, r)) {
            unlink(path.c_str());
            u.st.removed++;
        } else {
            warn(u, VOB_MSG(VM_HIJACKED, path.c_str()));
            u.st.kept++;
        }
    }
    v->loaded = std::move(u.now);
    rc = save_loaded(v);
    if (progress && progress->cb)
        progress->cb(progress->ctx, u.seen, u.seen);
    if (stats)
        *stats = u.st;
    return rc;
}

// ---- lookup ----------------------------------------------------------------------------

int view_locate(view_t *v, const std::string &path, view_loc *out)
{
    std::string p, vid;
    if (!vob_split_xpname(path, &p, &vid))
        p = path;
    std::string a = abs_path(p.empty() ? "." : p);
    if (a.compare(0, v->root.size(), v->root) != 0 || (a.size() > v->root.size() && a[v->root.size()] != '/'))
        return vfail(v, VOB_NOT_FOUND, VOB_MSG(VM_NOT_IN_VOB, path.c_str(), v->tag.c_str()));
    std::string rel = a.substr(v->root.size());   // "/proj/src/a.c"
    // The longest VOB tag that begins the path: scopes first, then the registry.
    std::vector<std::string> tags = v->scopes;
    std::vector<rgy_vob> all;
    std::string e;
    if (rgy_vob_list("", &all, &e) == VOB_OK)
        for (auto &x : all)
            tags.push_back(x.tag);
    std::string best;
    for (auto &t : tags)
        if (rel.compare(0, t.size(), t) == 0 && (rel.size() == t.size() || rel[t.size()] == '/') && t.size() > best.size())
            best = t;
    if (best.empty())
        return vfail(v, VOB_NOT_FOUND, VOB_MSG(VM_NOT_IN_VOB, path.c_str(), v->tag.c_str()));
    view_loc loc;
    loc.vob_tag = best;
    loc.vob_path = rel.size() > best.size() ? rel.substr(best.size() + 1) : "";
    loc.vid = vid;
    size_t slash = loc.vob_path.rfind('/');
    loc.dir_path = slash == std::string::npos ? "" : loc.vob_path.substr(0, slash);
    loc.leaf = slash == std::string::npos ? loc.vob_path : loc.vob_path.substr(slash + 1);
    if (!loc.vob_path.empty()) {
        vob_t *h;
        int rc = view_get_vob(v, best, &h);
        if (rc != VOB_OK)
            return rc;
        rc = vob_resolve_path(h, loc.dir_path, &v->rules, v->tag, &loc.dir_elem, &loc.dir_ver);
        if (rc != VOB_OK)
            return vfail(v, rc, vob_errmsg(h));
        int mt = 0;
        vob_obj_get_mtype(h, loc.dir_elem, &mt);
        if (mt != VOB_MT_DIR_ELEM)
            return vfail(v, VOB_NOT_FOUND, VOB_MSG(VM_NOT_DIR, best.c_str(), loc.dir_path.c_str()));
    }
    *out = loc;
    return VOB_OK;
}

int view_get_fhandle(view_t *v, const std::string &path, view_fhandle *out)
{
    view_loc loc;
    int rc = view_locate(v, path, &loc);
    if (rc != VOB_OK)
        return rc;
    vob_t *h;
    if ((rc = view_get_vob(v, loc.vob_tag, &h)) != VOB_OK)
        return rc;
    view_fhandle fh;
    fh.vob_tag = loc.vob_tag;
    fh.vob_path = loc.vob_path;
    std::string xp = loc.vid.empty() ? loc.vob_path : loc.vob_path + "@@" + loc.vid;
    rc = vob_resolve_path(h, xp, &v->rules, v->tag, &fh.elem, &fh.ver);
    if (rc != VOB_OK)
        return vfail(v, rc, vob_errmsg(h));
    if ((rc = vob_obj_get_mtype(h, fh.elem, &fh.mtype)) != VOB_OK)
        return vfail(v, rc, vob_errmsg(h));
    vob_oid ck;
    fh.checkedout = vob_elem_find_ckout(h, fh.elem, v->tag, &ck) == VOB_OK;
    *out = fh;
    return VOB_OK;
}

int view_readdir(view_t *v, const view_fhandle &dir, std::vector<view_dirent> *out)
{
    vob_t *h;
    int rc = view_get_vob(v, dir.vob_tag, &h);
    if (rc != VOB_OK)
        return rc;
    if (dir.mtype != VOB_MT_DIR_ELEM)
        return vfail(v, VOB_ERR, VOB_MSG(VM_NOT_DIR, dir.vob_tag.c_str(), dir.vob_path.c_str()));
    std::vector<vob_dirent> ents;
    if ((rc = vob_dir_read(h, dir.ver, &ents)) != VOB_OK)
        return vfail(v, rc, vob_errmsg(h));
    out->clear();
    for (auto &e : ents)
        out->push_back({e.name, e.elem, e.mtype});
    return VOB_OK;
}

// ---- element work ---------------------------------------------------------------------------

static void record_file(view_t *v, const std::string &tag, const std::string &abs, vob_oid elem, vob_oid ver)
{
    loaded_rec r;
    r.vob = tag;
    r.elem = elem;
    r.ver = ver;
    stat_rec(abs, &r.size, &r.mtime_ns, nullptr);
    v->loaded[rel_of(v, abs)] = r;
}

int view_mkelem(view_t *v, const std::string &path, int mtype, const std::string &eltype, const std::string &comment,
                int checkin, view_fhandle *out)
{
    int rc = load_loaded(v);
    view_loc loc;
    if (rc == VOB_OK)
        rc = view_locate(v, path, &loc);
    if (rc != VOB_OK)
        return rc;
    if (loc.vob_path.empty() || !loc.vid.empty())
        return vfail(v, VOB_ERR, VOB_MSG(VM_NO_ELEM, path.c_str()));
    vob_t *h;
    if ((rc = view_get_vob(v, loc.vob_tag, &h)) != VOB_OK)
        return rc;
    vob_oid et = 0;
    if (!eltype.empty() && (rc = vob_type_find(h, VOB_MT_ELTYPE, eltype, &et)) != VOB_OK)
        return vfail(v, rc, vob_errmsg(h));
    std::string abs = v->root + loc.vob_tag + "/" + loc.vob_path;
    vob_event ev = vob_event_now(comment);
    vob_oid elem = 0, ver = 0;
    int have_file = access(abs.c_str(), F_OK) == 0;
    {
        vob_txn t(h);
        if ((rc = t.begin()) != VOB_OK)
            return vfail(v, rc, vob_errmsg(h));
        rc = vob_elem_create(h, loc.dir_elem, loc.leaf, mtype, et, &ev, &elem, &ver);
        if (rc == VOB_OK && mtype == VOB_MT_FILE_ELEM) {
            vob_elem_info ei;
            rc = vob_elem_get(h, elem, &ei);
            if (rc == VOB_OK && checkin && have_file)
                rc = vob_ver_create(h, ei.main_branch, vob_data_file(abs), &ev, &ver);
            else if (rc == VOB_OK && !checkin)
                rc = vob_checkout(h, ei.main_branch, 1, v->tag, &ev, nullptr);
        }
        if (rc == VOB_OK)
            rc = t.commit();
        if (rc != VOB_OK)
            return vfail(v, rc, vob_errmsg(h));
    }
    if (mtype == VOB_MT_DIR_ELEM) {
        if (mkdir(abs.c_str(), 0755) != 0 && errno != EEXIST)
            return vfail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), abs.c_str(), strerror(errno)));
        loaded_rec r;
        r.vob = loc.vob_tag;
        r.elem = elem;
        r.dir = 1;
        v->loaded[rel_of(v, abs)] = r;
    } else if (checkin) {
        if ((rc = copy_out(v, h, ver, abs, 0)) != VOB_OK)
            return rc;
        record_file(v, loc.vob_tag, abs, elem, ver);
    } else {
        if (!have_file) {
            int fd = open(abs.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0)
                return vfail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), abs.c_str(), strerror(errno)));
            close(fd);
        }
        chmod(abs.c_str(), 0644);
        record_file(v, loc.vob_tag, abs, elem, ver);
    }
    if ((rc = save_loaded(v)) != VOB_OK)
        return rc;
    if (out) {
        out->vob_tag = loc.vob_tag;
        out->vob_path = loc.vob_path;
        out->elem = elem;
        out->ver = ver;
        out->mtype = mtype;
        out->checkedout = mtype == VOB_MT_FILE_ELEM && !checkin;
    }
    return VOB_OK;
}

int view_checkout(view_t *v, const std::string &path, int reserved, const std::string &comment)
{
    view_fhandle fh;
    int rc = load_loaded(v);
    if (rc == VOB_OK)
        rc = view_get_fhandle(v, path, &fh);
    if (rc != VOB_OK)
        return rc;
    vob_t *h;
    if ((rc = view_get_vob(v, fh.vob_tag, &h)) != VOB_OK)
        return rc;
    vob_ver_info vi;
    vob_oid latest;
    if ((rc = vob_ver_get(h, fh.ver, &vi)) != VOB_OK || (rc = vob_branch_get_latest(h, vi.branch, &latest)) != VOB_OK)
        return vfail(v, rc, vob_errmsg(h));
    if (latest != fh.ver)
        return vfail(v, VOB_CKOUT, VOB_MSG(VM_CO_NOT_LATEST, fh.vob_tag.c_str(), vi.id.c_str(), fh.vob_path.c_str()));
    vob_event ev = vob_event_now(comment);
    if ((rc = vob_checkout(h, vi.branch, reserved, v->tag, &ev, nullptr)) != VOB_OK)
        return vfail(v, rc, vob_errmsg(h));
    std::string abs = v->root + fh.vob_tag + (fh.vob_path.empty() ? "" : "/" + fh.vob_path);
    if (fh.mtype == VOB_MT_FILE_ELEM) {
        if (access(abs.c_str(), F_OK) != 0 && vi.has_data && (rc = copy_out(v, h, fh.ver, abs, 1)) != VOB_OK)
            return rc;
        chmod(abs.c_str(), 0644);
    }
    return VOB_OK;
}

int view_checkin(view_t *v, const std::string &path, const std::string &from, const std::string &comment,
                 vob_oid *ver_out)
{
    view_fhandle fh;
    int rc = load_loaded(v);
    if (rc == VOB_OK)
        rc = view_get_fhandle(v, path, &fh);
    if (rc != VOB_OK)
        return rc;
    vob_t *h;
    if ((rc = view_get_vob(v, fh.vob_tag, &h)) != VOB_OK)
        return rc;
    vob_oid ck;
    if (vob_elem_find_ckout(h, fh.elem, v->tag, &ck) != VOB_OK)
        return vfail(v, VOB_NOT_FOUND, VOB_MSG(VM_NOT_CKOUT, path.c_str(), v->tag.c_str()));
    std::string abs = v->root + fh.vob_tag + (fh.vob_path.empty() ? "" : "/" + fh.vob_path);
    vob_event ev = vob_event_now(comment);
    vob_oid ver = 0;
    vob_data d = fh.mtype == VOB_MT_DIR_ELEM ? vob_data_none() : vob_data_file(from.empty() ? abs : from);
    if ((rc = vob_checkin(h, ck, d, &ev, &ver)) != VOB_OK)
        return vfail(v, rc, vob_errmsg(h));
    if (fh.mtype == VOB_MT_FILE_ELEM) {
        if ((rc = copy_out(v, h, ver, abs, 0)) != VOB_OK)
            return rc;
        record_file(v, fh.vob_tag, abs, fh.elem, ver);
        if ((rc = save_loaded(v)) != VOB_OK)
            return rc;
    }
    if (ver_out)
        *ver_out = ver;
    return VOB_OK;
}

int view_uncheckout(view_t *v, const std::string &path)
{
    view_fhandle fh;
    int rc = load_loaded(v);
    if (rc == VOB_OK)
        rc = view_get_fhandle(v, path, &fh);
    if (rc != VOB_OK)
        return rc;
    vob_t *h;
    if ((rc = view_get_vob(v, fh.vob_tag, &h)) != VOB_OK)
        return rc;
    vob_oid ck;
    if (vob_elem_find_ckout(h, fh.elem, v->tag, &ck) != VOB_OK)
        return vfail(v, VOB_NOT_FOUND, VOB_MSG(VM_NOT_CKOUT, path.c_str(), v->tag.c_str()));
    if ((rc = vob_uncheckout(h, ck)) != VOB_OK)
        return vfail(v, rc, vob_errmsg(h));
    if (fh.mtype != VOB_MT_FILE_ELEM)
        return VOB_OK;
    std::string abs = v->root + fh.vob_tag + (fh.vob_path.empty() ? "" : "/" + fh.vob_path);
    // The user's edits are kept beside the file.
    if (access(abs.c_str(), F_OK) == 0)
        rename(abs.c_str(), (abs + ".keep").c_str());
    vob_oid ver;
    if ((rc = vob_resolve_path(h, fh.vob_path, &v->rules, v->tag, &fh.elem, &ver)) != VOB_OK)
        return vfail(v, rc, vob_errmsg(h));
    vob_ver_info vi;
    if (vob_ver_get(h, ver, &vi) == VOB_OK && vi.has_data) {
        if ((rc = copy_out(v, h, ver, abs, 0)) != VOB_OK)
            return rc;
        record_file(v, fh.vob_tag, abs, fh.elem, ver);
    }
    return save_loaded(v);
}
