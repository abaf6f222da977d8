// Paths, stat, temporary files and tree walks.
#include "fileutl.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "imsg.h"
#include "strutl.h"

namespace {

#define FILEUTL_MESSAGES(X)                            \
    X(MSG_READDIR, "Cannot read directory \"%s\": %s") \
    X(MSG_STAT, "Cannot stat \"%s\": %s")              \
    X(MSG_LOOP, "Not descending into \"%s\": it leads back to a directory already being walked.")
IMSG_DECLARE_LISTED(fileutl_msg, FILEUTL_MESSAGES)
IMSG_DEFINE_LISTED_CATALOG(fileutl_msgs, "runtime", "fileutl", 0, FILEUTL_MESSAGES)

// Splits path into components, dropping empty ones and "."; with dotdot, ".."
// also removes the component before it (never above the root).
std::string tidy(const std::string &path, bool dotdot) {
    bool abs = !path.empty() && path[0] == FILEUTL_SEP;
    std::vector<std::string> parts;
    for (std::string &part : strutl_split(path, FILEUTL_SEP, 1)) {
        if (dotdot && part == ".." && !parts.empty() && parts.back() != "..") {
            parts.pop_back();
            continue;
        }
        if (dotdot && part == ".." && abs)
            continue;
        parts.push_back(std::move(part));
    }
    std::string out = abs ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i)
            out += FILEUTL_SEP;
        out += parts[i];
    }
    return out.empty() ? "." : out;
}

void fill_stat(const struct stat &s, fileutl_stat_t *st) {
    st->dev = uint64_t(s.st_dev);
    st->ino = uint64_t(s.st_ino);
    st->mode = uint32_t(s.st_mode);
    st->nlink = uint64_t(s.st_nlink);
    st->uid = uint32_t(s.st_uid);
    st->gid = uint32_t(s.st_gid);
    st->size = int64_t(s.st_size);
    st->atime = int64_t(s.st_atime);
    st->mtime = int64_t(s.st_mtime);
    st->ctime = int64_t(s.st_ctime);
}

}   // namespace

void fileutl_strip_leaf(const std::string &path, std::string *dir, std::string *leaf) {
    // Trailing separators belong to no component: "a/b/" splits as "a/b".
    size_t end = path.size();
    while (end > 1 && path[end - 1] == FILEUTL_SEP)
        --end;
    std::string p = path.substr(0, end);
    size_t cut = p.rfind(FILEUTL_SEP);
    std::string d, l;
    if (p == "/") {
        d = "/";
    } else if (cut == std::string::npos) {
        l = p;
    } else {
        l = p.substr(cut + 1);
        size_t dend = cut;
        while (dend > 0 && p[dend - 1] == FILEUTL_SEP)
            --dend;
        d = dend == 0 ? "/" : p.substr(0, dend);
    }
    if (dir)
        *dir = d;
    if (leaf)
        *leaf = l;
}

int fileutl_strip_leaf(const char *path, size_t dsize, char *dir, size_t lsize, char *leaf) {
    std::string d, l;
    fileutl_strip_leaf(std::string(path ? path : ""), &d, &l);
    int cut = 0;
    if (dir)
        cut |= strutl_cpy_buf(dir, d.c_str(), dsize);
    if (leaf)
        cut |= strutl_cpy_buf(leaf, l.c_str(), lsize);
    return cut;
}

int fileutl_stat(const char *path, int follow, fileutl_stat_t *st) {
    if (!path || !st) {
        errno = EINVAL;
        return -1;
    }
    struct stat s;
    int r = follow ? ::stat(path, &s) : ::lstat(path, &s);
    if (r != 0)
        return -1;
    fill_stat(s, st);
    return 0;
}

int fileutl_get_true_pname(const char *path, size_t size, char *out) {
    if (!path || !*path || !out || size == 0) {
        errno = EINVAL;
        return -1;
    }
    struct stat s;
    if (::lstat(path, &s) != 0)
        return -1;
    std::string t = tidy(path, false);
    if (t.size() >= size) {
        errno = ENAMETOOLONG;
        return -1;
    }
    (void)strutl_cpy_buf(out, t.c_str(), size);   // fits: checked above
    return 0;
}

std::string fileutl_tmpdir() {
    for (const char *name : {"TMP", "TEMP", "TMPDIR"}) {
        const char *v = std::getenv(name);
        if (v && *v)
            return v;
    }
    return "/tmp";
}

int fileutl_tmpfile_ext(const char *dir, int, int, std::string *out) {
    std::string d = dir && *dir ? dir : fileutl_tmpdir();
    std::string name = d;
    if (name.back() != FILEUTL_SEP)
        name += FILEUTL_SEP;
    name += "vantorXXXXXX";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    int fd = ::mkstemp(buf.data());
    if (fd < 0)
        return errno ? errno : EIO;
    ::close(fd);
    if (out)
        *out = buf.data();
    return 0;
}

int fileutl_is_abspn(const char *path) { return path && path[0] == FILEUTL_SEP; }

std::string fileutl_getcwd() {
    std::vector<char> buf(256);
    while (!::getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE)
            return std::string();
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

std::string fileutl_realpath(const std::string &path) {
    char *r = realpath(path.c_str(), nullptr);
    std::string s = r ? r : path;
    std::free(r);
    return s;
}

int fileutl_path_within(const std::string &path, const std::string &dir) {
    if (dir == "/")
        return !path.empty() && path[0] == '/';
    return path.compare(0, dir.size(), dir) == 0 && (path.size() == dir.size() || path[dir.size()] == '/');
}

std::string fileutl_make_abs_pn(const std::string &path) {
    if (fileutl_is_abspn(path.c_str()))
        return tidy(path, true);
    return tidy(fileutl_getcwd() + FILEUTL_SEP + path, true);
}

int fileutl_exists(const char *path) {
    struct stat s;
    return path && *path && ::lstat(path, &s) == 0;
}

int fileutl_is_file(const std::string &path) {
    struct stat s;
    return ::stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode);
}

int fileutl_is_empty_dir_or_missing(const char *path) {
    struct stat st;
    if (lstat(path, &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return 0;
    std::error_code ec;
    return std::filesystem::is_empty(path, ec) && !ec;
}

int fileutl_mkpath(const char *path, int mode) {
    if (!path || !*path)
        return EINVAL;
    std::string p(path);
    for (size_t at = 1; at <= p.size(); ++at) {
        if (at < p.size() && p[at] != FILEUTL_SEP)
            continue;
        std::string prefix = p.substr(0, at);
        if (::mkdir(prefix.c_str(), mode_t(mode)) == 0)
            continue;
        if (errno != EEXIST)
            return errno;
        struct stat s;
        if (::stat(prefix.c_str(), &s) != 0 || !S_ISDIR(s.st_mode))
            return ENOTDIR;
    }
    struct stat s;
    if (::stat(path, &s) != 0)
        return errno;
    return S_ISDIR(s.st_mode) ? 0 : ENOTDIR;
}

int fileutl_read_chunks(int fd, const std::function<int(const char *, size_t)> &take) {
    std::vector<char> buf(size_t(1) << 16);
    for (;;) {
        ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno ? errno : EIO;
        if (n == 0)
            return 0;
        if (int rc = take(buf.data(), size_t(n)))
            return rc;
    }
}

int fileutl_rm(const char *path) {
    if (!path)
        return EINVAL;
    return ::unlink(path) == 0 ? 0 : errno;
}

int fileutl_rename_noreplace(const char *from, const char *to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // No RENAME_NOREPLACE here: a hard link cannot replace either.
    struct stat st;
    if (::lstat(from, &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode)) {
        if (::link(from, to) == 0)
            return ::unlink(from) == 0 ? 0 : errno;
        if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
            return errno;
    }
    if (::lstat(to, &st) == 0)
        return EEXIST;
    return ::rename(from, to) == 0 ? 0 : errno;
}

static bool is_executable_file(const std::string &p) {
    struct stat s;
    return ::stat(p.c_str(), &s) == 0 && S_ISREG(s.st_mode) && ::access(p.c_str(), X_OK) == 0;
}

std::string fileutl_resolve_pathname(const std::string &name) {
    if (name.empty())
        return std::string();
    if (name.find(FILEUTL_SEP) != std::string::npos)
        return is_executable_file(name) ? name : std::string();
    const char *env = std::getenv("PATH");
    std::string path = env ? env : "/usr/bin:/bin";
    size_t at = 0;
    while (at <= path.size()) {
        size_t end = path.find(':', at);
        if (end == std::string::npos)
            end = path.size();
        std::string dir = path.substr(at, end - at);
        at = end + 1;
        std::string cand = (dir.empty() ? std::string(".") : dir) + FILEUTL_SEP + name;
        if (is_executable_file(cand))
            return cand;
    }
    return std::string();
}

void fileutl_strip_pname_sep(char *path) {
    if (!path)
        return;
    size_t n = std::strlen(path);
    while (n > 1 && path[n - 1] == FILEUTL_SEP)
        path[--n] = '\0';
}

std::string fileutl_strip_pname_sep(const std::string &path) {
    size_t n = path.size();
    while (n > 1 && path[n - 1] == FILEUTL_SEP)
        --n;
    return path.substr(0, n);
}

// ---- Tree walks ------------------------------------------------------------

namespace {

struct posix_dir {
    DIR *d;
    fileutl_dirent cur;
};

void *posix_opendir(const char *path) {
    DIR *d = ::opendir(path);
    if (!d)
        return nullptr;
    return new posix_dir{d, {}};
}

const fileutl_dirent *posix_readdir(void *dir, int) {
    posix_dir *pd = static_cast<posix_dir *>(dir);
    struct dirent *e = ::readdir(pd->d);
    if (!e)
        return nullptr;
    pd->cur.name = e->d_name;
    return &pd->cur;
}

void posix_closedir(void *dir) {
    posix_dir *pd = static_cast<posix_dir *>(dir);
    ::closedir(pd->d);
    delete pd;
}

const cm_fs_ops posix_ops = {fileutl_stat, posix_opendir, posix_readdir, posix_closedir};

struct walker {
    const fileutl_walk_desc *desc;
    const cm_fs_ops *ops;
    int follow;
    std::vector<std::pair<uint64_t, uint64_t>> open_dirs;   // dev, ino of the current path
};

int walk_dir(walker &w, const std::string &dir, int depth);

// Names of a directory in byte order; false when it cannot be opened.
bool read_names(const cm_fs_ops *ops, const std::string &dir, std::vector<std::string> *names) {
    void *h = ops->opendir(dir.c_str());
    if (!h)
        return false;
    while (const fileutl_dirent *e = ops->readdir(h, 0))
        if (e->name != "." && e->name != ".." && !e->name.empty())
            names->push_back(e->name);
    ops->closedir(h);
    std::sort(names->begin(), names->end());
    return true;
}

bool on_current_path(const walker &w, const fileutl_stat_t &st) {
    if (st.ino == 0)
        return false;   // a replacement file system without inode numbers
    return std::find(w.open_dirs.begin(), w.open_dirs.end(), std::make_pair(st.dev, st.ino)) !=
           w.open_dirs.end();
}

int call(walker &w, const std::string &path, const std::string &dir, const std::string &leaf,
         const fileutl_stat_t &st, int depth, int visit) {
    return w.desc->callback(w.desc->context, path.c_str(), path.c_str(), dir.c_str(), leaf.c_str(), &st,
                            depth, visit);
}

int visit_directory(walker &w, const std::string &path, const std::string &dir, const std::string &leaf,
                    const fileutl_stat_t &st, int depth) {
    int r = call(w, path, dir, leaf, st, depth, FILEUTL_VISIT_DIR);
    if (r == -4 || r == 1)
        return r == -4 ? -4 : 0;
    r = call(w, path, dir, leaf, st, depth, FILEUTL_VISIT_DESCEND);
    if (r != 0)
        return r == -4 ? -4 : 0;
    if (on_current_path(w, st)) {
        IMSG_PRINT(IMSG_WARNING, fileutl_msgs(), MSG_LOOP, path.c_str());
        return 0;
    }
    w.open_dirs.emplace_back(st.dev, st.ino);
    r = walk_dir(w, path, depth + 1);
    w.open_dirs.pop_back();
    return r;
}

// A broken link under FOLLOW is still reported, as the link itself.
bool stat_entry(walker &w, const std::string &path, fileutl_stat_t *st) {
    if (w.ops->stat(path.c_str(), w.follow, st) == 0)
        return true;
    int err = errno;
    if (w.follow && w.ops->stat(path.c_str(), 0, st) == 0)
        return true;
    IMSG_PRINT(IMSG_WARNING, fileutl_msgs(), MSG_STAT, path.c_str(), imsg_strerror(err));
    return false;
}

int walk_dir(walker &w, const std::string &dir, int depth) {
    std::vector<std::string> names;
    if (!read_names(w.ops, dir, &names)) {
        if (depth == 1)
            return -1;
        IMSG_PRINT(IMSG_WARNING, fileutl_msgs(), MSG_READDIR, dir.c_str(), imsg_strerror(errno));
        return 0;
    }
    std::string prefix = dir;
    if (prefix.empty() || prefix.back() != FILEUTL_SEP)
        prefix += FILEUTL_SEP;
    for (const std::string &name : names) {
        std::string path = prefix + name;
        fileutl_stat_t st{};
        if (!stat_entry(w, path, &st))
            continue;
        int r = S_ISDIR(st.mode) ? visit_directory(w, path, dir, name, st, depth)
                                 : call(w, path, dir, name, st, depth, FILEUTL_VISIT_FILE);
        if (r == -4)
            return -4;
    }
    return 0;
}

}   // namespace

int fileutl_walk_tree_any(const char *dir, const fileutl_walk_desc *desc, const cm_fs_ops *ops, int flags) {
    if (!dir || !*dir || !desc || !desc->callback)
        return -1;
    walker w{desc, ops ? ops : &posix_ops, (flags & FILEUTL_WALK_FOLLOW) ? 1 : 0, {}};
    fileutl_stat_t top{};
    if (w.ops->stat(dir, 1, &top) == 0)
        w.open_dirs.emplace_back(top.dev, top.ino);
    return walk_dir(w, dir, 1);
}

int fileutl_walk_tree(const char *dir, const fileutl_walk_desc *desc, int flags) {
    return fileutl_walk_tree_any(dir, desc, nullptr, flags);
}
