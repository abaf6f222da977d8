// Comparing what a view shows with a directory tree: the view's side comes
// from the store (the names and versions the config spec selects, as update
// walks them), the other side from the file system. Each file of the tree is
// read at most once, and only when its size is that of the version.
#include "platform/view/view_int.h"
#include "runtime/digest.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace {

enum ekind { K_FILE, K_DIR, K_OTHER };

// One name on the view's side: a selected version with contents, or a
// checked-out file (compared by its copy on disk).
struct vent {
    ekind kind = K_FILE;
    vob_oid ver = 0;
    int checkedout = 0;
    std::string sha;
    int64_t size = 0;
};

struct diff_ctx {
    view_t *v;
    vob_t *h;
    std::string view_dir;    // the compared directory's place in the view on disk
    std::string view_path;   // its view path: the VOB tag and the path below the VOB root
    int recursive;
    int prune;   // a directory that holds no file counts as absent
    std::vector<view_diff_item> out;
    view_diff_stats st;
    std::map<std::string, int> view_holds, dir_holds;   // prune's answers, by path
};

// The administrative directories of other systems, left out everywhere.
bool admin_name(const std::string &name, ekind k) {
    if (name == ".git")
        return true;   // a file in linked work trees
    return k == K_DIR && (name == "CVS" || name == "RCS" || name == ".svn");
}

bool left_out(const std::string &name, ekind k, int vob_root) {
    return admin_name(name, k) || (vob_root && name == "lost+found");
}

std::string join(const std::string &a, const std::string &b) { return a.empty() ? b : a + "/" + b; }

int read_fail(diff_ctx &c, const std::string &path, int err) {
    return view_fail(c.v, VOB_ERR, VOB_MSG(VM_CANNOT_READ, path.c_str(), strerror(err)));
}

// The names of directory version dirver that the view shows.
int view_side(diff_ctx &c, vob_oid dirver, const std::string &rel, int vob_root,
              std::map<std::string, vent> *out) {
    std::vector<vob_dirent> ents;
    int rc = vob_dir_read(c.h, dirver, &ents);
    if (rc != VOB_OK)
        return view_fail(c.v, rc, vob_errmsg(c.h));
    for (const vob_dirent &e : ents) {
        vent x;
        x.kind = e.mtype == VOB_MT_DIR_ELEM ? K_DIR : K_FILE;
        if (left_out(e.name, x.kind, vob_root))
            continue;
        std::string vp = c.view_path + "/" + join(rel, e.name);
        rc = vob_select_version(c.h, e.elem, c.v->rules, c.v->tag, &x.ver, &x.checkedout, e.mtype, &vp);
        if (rc == VOB_NOT_FOUND)
            continue;
        if (rc != VOB_OK)
            return view_fail(c.v, rc, vob_errmsg(c.h));
        if (x.kind == K_FILE && x.checkedout) {
            // The user's copy; none on disk shows nothing.
            std::string p = c.view_dir + "/" + join(rel, e.name);
            struct stat sb;
            if (lstat(p.c_str(), &sb) != 0) {
                if (errno == ENOENT)
                    continue;
                return read_fail(c, p, errno);
            }
            if (!S_ISREG(sb.st_mode))
                x.kind = K_OTHER;
            x.size = sb.st_size;
        } else if (x.kind == K_FILE) {
            vob_ver_info vi;
            if ((rc = vob_ver_get(c.h, x.ver, &vi)) != VOB_OK)
                return view_fail(c.v, rc, vob_errmsg(c.h));
            if (!vi.has_data)
                continue;   // update loads no file for it
            x.sha = vi.sha256;
            x.size = vi.size;
        }
        (*out)[e.name] = std::move(x);
    }
    return VOB_OK;
}

ekind kind_of(const struct stat &sb) {
    return S_ISREG(sb.st_mode) ? K_FILE : S_ISDIR(sb.st_mode) ? K_DIR : K_OTHER;
}

// The names in directory path of the tree, with their kinds and sizes.
int dir_side(diff_ctx &c, const std::string &path, int vob_root,
             std::map<std::string, std::pair<ekind, int64_t>> *out) {
    DIR *d = opendir(path.c_str());
    if (!d)
        return read_fail(c, path, errno);
    errno = 0;
    while (struct dirent *de = readdir(d)) {
        std::string name = de->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat sb;
        if (lstat((path + "/" + name).c_str(), &sb) != 0) {
            int e = errno;
            closedir(d);
            return read_fail(c, path + "/" + name, e);
        }
        ekind k = kind_of(sb);
        if (!left_out(name, k, vob_root))
            (*out)[name] = {k, (int64_t)sb.st_size};
        errno = 0;
    }
    int e = errno;
    closedir(d);
    return e ? read_fail(c, path, e) : VOB_OK;
}

// 1 when the two files' bytes differ; sizes are compared before any is read.
int file_differs(diff_ctx &c, const vent &x, const std::string &rel, const std::string &dir_file,
                 int64_t dir_size, int *differs) {
    if (x.size != dir_size) {
        *differs = 1;
        return VOB_OK;
    }
    std::string sha = x.sha, other;
    int64_t n;
    if (x.checkedout) {
        std::string mine = c.view_dir + "/" + rel;
        if (int e = digest_sha256_file(mine, &sha, &n))
            return read_fail(c, mine, e);
    }
    if (int e = digest_sha256_file(dir_file, &other, &n))
        return read_fail(c, dir_file, e);
    *differs = sha != other;
    return VOB_OK;
}

void note(diff_ctx &c, view_diff_item::kind_t k, const std::string &rel) { c.out.push_back({k, rel}); }

// Whether a directory the view shows holds a file at any depth. Each answer
// is kept: compare asks again for every directory below, and each subtree is
// walked once.
int view_holds_file(diff_ctx &c, vob_oid dirver, const std::string &rel, int depth, int *holds) {
    if (auto hit = c.view_holds.find(rel); hit != c.view_holds.end()) {
        *holds = hit->second;
        return VOB_OK;
    }
    if (depth > 1000)
        return view_fail(c.v, VOB_ERR, VOB_MSG(VM_CANNOT_READ, rel.c_str(), "directories nest too deep"));
    std::map<std::string, vent> m;
    int rc = view_side(c, dirver, rel, 0, &m), h = 0;
    for (auto it = m.begin(); rc == VOB_OK && !h && it != m.end(); ++it)
        if (it->second.kind != K_DIR)
            h = 1;
        else
            rc = view_holds_file(c, it->second.ver, join(rel, it->first), depth + 1, &h);
    if (rc == VOB_OK)
        c.view_holds[rel] = *holds = h;
    return rc;
}

// Whether a directory of the tree holds anything but directories at any
// depth; kept as above.
int dir_holds_file(diff_ctx &c, const std::string &path, int depth, int *holds) {
    if (auto hit = c.dir_holds.find(path); hit != c.dir_holds.end()) {
        *holds = hit->second;
        return VOB_OK;
    }
    if (depth > 1000)
        return view_fail(c.v, VOB_ERR, VOB_MSG(VM_CANNOT_READ, path.c_str(), "directories nest too deep"));
    std::map<std::string, std::pair<ekind, int64_t>> m;
    int rc = dir_side(c, path, 0, &m), h = 0;
    for (auto it = m.begin(); rc == VOB_OK && !h && it != m.end(); ++it)
        if (it->second.first != K_DIR)
            h = 1;
        else
            rc = dir_holds_file(c, path + "/" + it->first, depth + 1, &h);
    if (rc == VOB_OK)
        c.dir_holds[path] = *holds = h;
    return rc;
}

int compare(diff_ctx &c, vob_oid dirver, const std::string &rel, const std::string &dir, int vob_root,
            int depth) {
    if (depth > 1000)
        return view_fail(c.v, VOB_ERR, VOB_MSG(VM_CANNOT_READ, dir.c_str(), "directories nest too deep"));
    std::map<std::string, vent> mine;
    std::map<std::string, std::pair<ekind, int64_t>> theirs;
    int rc = view_side(c, dirver, rel, vob_root, &mine);
    if (rc == VOB_OK)
        rc = dir_side(c, dir, vob_root, &theirs);
    if (rc != VOB_OK)
        return rc;
    if (c.prune) {
        // Directories without files leave both sides before they are compared.
        for (auto it = theirs.begin(); it != theirs.end();) {
            int holds = 0;
            if (it->second.first == K_DIR &&
                (rc = dir_holds_file(c, dir + "/" + it->first, depth + 1, &holds)))
                return rc;
            it = it->second.first == K_DIR && !holds ? theirs.erase(it) : std::next(it);
        }
        for (auto it = mine.begin(); it != mine.end();) {
            int holds = 0;
            if (it->second.kind == K_DIR &&
                (rc = view_holds_file(c, it->second.ver, join(rel, it->first), depth + 1, &holds)))
                return rc;
            it = it->second.kind == K_DIR && !holds ? mine.erase(it) : std::next(it);
        }
    }
    for (auto &[name, t] : theirs)
        if (!mine.count(name))
            note(c, view_diff_item::ONLY_DIR, join(rel, name));
    for (auto &[name, x] : mine) {
        std::string r = join(rel, name);
        auto it = theirs.find(name);
        if (it == theirs.end()) {
            note(c, view_diff_item::ONLY_VIEW, r);
            continue;
        }
        auto [k, size] = it->second;
        if (k != x.kind) {
            note(c, view_diff_item::KIND_DIFFERS, r);
        } else if (k == K_FILE) {
            c.st.files++;
            int differs = 0;
            if ((rc = file_differs(c, x, r, dir + "/" + name, size, &differs)) != VOB_OK)
                return rc;
            if (differs)
                note(c, view_diff_item::DIFFERS, r);
        } else if (k == K_DIR) {
            c.st.dirs++;
            if (c.recursive && (rc = compare(c, x.ver, r, dir + "/" + name, 0, depth + 1)) != VOB_OK)
                return rc;
        }
    }
    return VOB_OK;
}

// The view shows nothing where it selects no version: every name of the
// tree (with prune, those that hold files) is only in it.
int unselected_diff(diff_ctx &c, const std::string &dir, int vob_root, std::vector<view_diff_item> *out,
                    view_diff_stats *stats) {
    std::map<std::string, std::pair<ekind, int64_t>> theirs;
    int rc = dir_side(c, dir, vob_root, &theirs);
    for (auto it = theirs.begin(); rc == VOB_OK && it != theirs.end(); ++it) {
        int holds = 1;
        if (c.prune && it->second.first == K_DIR)
            rc = dir_holds_file(c, dir + "/" + it->first, 1, &holds);
        if (rc == VOB_OK && holds)
            note(c, view_diff_item::ONLY_DIR, it->first);
    }
    if (rc != VOB_OK)
        return rc;
    *out = std::move(c.out);
    if (stats) {
        *stats = c.st;
        stats->unselected = true;
    }
    return VOB_OK;
}

}   // namespace

int view_diff(view_t *v, const std::string &path, const std::string &dir, int recursive, int prune,
              std::vector<view_diff_item> *out, view_diff_stats *stats) {
    view_fhandle fh;
    int rc = view_get_fhandle(v, path, &fh);
    bool unselected = rc == VOB_NOT_FOUND && view_get_unselected(v, path, &fh) == VOB_OK;
    if (rc != VOB_OK && !unselected)
        return rc;
    if (fh.mtype != VOB_MT_DIR_ELEM)
        return view_fail(v, VOB_ERR, VOB_MSG(VM_NO_DIR, path.c_str()));
    struct stat sb;
    if (stat(dir.c_str(), &sb) != 0)
        return view_fail(v, VOB_ERR, VOB_MSG(VM_CANNOT_READ, dir.c_str(), strerror(errno)));
    if (!S_ISDIR(sb.st_mode))
        return view_fail(v, VOB_ERR, VOB_MSG(VM_NO_DIR, dir.c_str()));
    std::string at = fh.vob_tag + (fh.vob_path.empty() ? "" : "/" + fh.vob_path);
    diff_ctx c{v, nullptr, v->root + at, at, recursive, prune, {}, {}, {}, {}};
    if ((rc = view_get_vob(v, fh.vob_tag, &c.h)) != VOB_OK)
        return rc;
    if (unselected)
        return unselected_diff(c, dir, fh.vob_path.empty(), out, stats);
    vob_txn rd(c.h, vob_txn::READ);
    if ((rc = rd.begin()) != VOB_OK)
        return view_fail(v, rc, vob_errmsg(c.h));
    rc = compare(c, fh.ver, "", dir, fh.vob_path.empty(), 0);
    int crc = rd.commit();
    if (rc == VOB_OK && crc != VOB_OK)
        rc = view_fail(v, crc, vob_errmsg(c.h));
    if (rc != VOB_OK)
        return rc;
    std::sort(c.out.begin(), c.out.end(),
              [](const view_diff_item &a, const view_diff_item &b) { return a.path < b.path; });
    *out = std::move(c.out);
    if (stats)
        *stats = c.st;
    return VOB_OK;
}
