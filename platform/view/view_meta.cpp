// View metadata in <root>/.vantor_view/: view.json, loaded.txt with its
// journal, and the view lock.
//
// loaded.txt: one line per loaded entry, tab-separated:
//   elem, ver, dir flag, size, mtime in ns, VOB tag, path (escaped)
// Paths escape "%", tab, line end and carriage return as %XX, so any name
// the VOB allows round-trips.
//
// loaded.journal: changes since loaded.txt was written, appended while they
// happen: "-\tPATH" (record dropped) and "+\tLINE" (LINE as in loaded.txt).
// A last line without its line end is a write the process did not finish:
// the change it announced was not begun, so the line is ignored.
#include "platform/view/view_int.h"
#include "runtime/atomic_file.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using json = nlohmann::json;

int view_fail(view_t *v, int rc, const std::string &msg) {
    v->err = msg;
    return rc;
}

std::string view_meta_file(const view_t *v, const char *leaf) {
    return v->root + "/" + VIEW_META_DIR + "/" + leaf;
}

int view_read_text(const std::string &path, std::string *text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return errno ? errno : EIO;
    std::stringstream ss;
    ss << in.rdbuf();
    if (in.bad())
        return EIO;
    *text = ss.str();
    return 0;
}

int view_stat(const std::string &path, int64_t *size, int64_t *mtime_ns, int *is_dir) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return -1;
    *size = st.st_size;
    *mtime_ns = (int64_t)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec;
    if (is_dir)
        *is_dir = S_ISDIR(st.st_mode);
    return 0;
}

// ---- view.json ------------------------------------------------------------------------

int view_meta_read(view_t *v, const std::string &root, std::string *err) {
    std::string text, f = root + "/" + VIEW_META_DIR + "/view.json";
    if (int e = view_read_text(f, &text)) {
        *err = VOB_MSG(VM_VIEW_META, root.c_str(), f.c_str(), strerror(e));
        return VOB_ERR;
    }
    json j = json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object() || !j["tag"].is_string() || !j["config_spec"].is_string() ||
        !j["scopes"].is_array() || (j.contains("stream") && !j["stream"].is_string())) {
        *err = VOB_MSG(VM_VIEW_META, root.c_str(), f.c_str(), "not view metadata");
        return VOB_CORRUPT;
    }
    std::string cspec = j["config_spec"];
    std::vector<vob_rule> rules;
    int rc = view_parse_config_spec(cspec, f, &rules, err);
    if (rc != VOB_OK)
        return rc;
    v->root = root;
    v->tag = j["tag"];
    v->cspec = cspec;
    v->rules = std::move(rules);
    v->stream = j.contains("stream") ? j["stream"].get<std::string>() : std::string();
    v->scopes.clear();
    for (auto &s : j["scopes"])
        if (s.is_string())
            v->scopes.push_back(s);
    return VOB_OK;
}

int view_meta_save(view_t *v) {
    json j = {{"tag", v->tag}, {"config_spec", v->cspec}, {"scopes", v->scopes}};
    if (!v->stream.empty())
        j["stream"] = v->stream;
    std::string f = view_meta_file(v, "view.json");
    if (int e = fileutl_write_atomic(f, j.dump(2, ' ', false, json::error_handler_t::replace) + "\n"))
        return view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), f.c_str(), strerror(e)));
    return VOB_OK;
}

// ---- loaded.txt and its journal ----------------------------------------------------------

static std::string esc(const std::string &s) {
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

static int unesc(const std::string &s, std::string *out) {
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

static std::string rec_line(const std::string &path, const loaded_rec &r) {
    return std::to_string(r.elem) + "\t" + std::to_string(r.ver) + "\t" + (r.dir ? "1" : "0") + "\t" +
           std::to_string(r.size) + "\t" + std::to_string(r.mtime_ns) + "\t" + r.vob + "\t" + esc(path);
}

// 0 and the record of one loaded.txt line; -1 when it is malformed.
static int parse_rec(const std::string &line, std::string *path, loaded_rec *r) {
    std::vector<std::string> w;
    size_t i = 0;
    while (w.size() < 6) {
        size_t j = line.find('\t', i);
        if (j == std::string::npos)
            break;
        w.push_back(line.substr(i, j - i));
        i = j + 1;
    }
    if (w.size() != 6 || unesc(line.substr(i), path) != 0 || path->empty())
        return -1;
    int64_t nums[5] = {};
    for (int k = 0; k < 5; k++) {
        char *end = nullptr;
        errno = 0;
        nums[k] = strtoll(w[k].c_str(), &end, 10);
        if (w[k].empty() || *end != '\0' || errno == ERANGE)
            return -1;
    }
    r->elem = nums[0];
    r->ver = nums[1];
    r->dir = nums[2] != 0;
    r->size = nums[3];
    r->mtime_ns = nums[4];
    r->vob = w[5];
    return 0;
}

static int malformed(view_t *v, const std::string &f, int n) {
    return view_fail(v, VOB_CORRUPT,
                     VOB_MSG(VM_VIEW_META, v->tag.c_str(), f.c_str(),
                             ("line " + std::to_string(n) + " is malformed").c_str()));
}

static int replay_journal(view_t *v) {
    std::string text, f = view_meta_file(v, "loaded.journal");
    if (int e = view_read_text(f, &text))
        return e == ENOENT
                   ? VOB_OK
                   : view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_META, v->tag.c_str(), f.c_str(), strerror(e)));
    size_t at = 0;
    int n = 0;
    for (size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1) {
        std::string line = text.substr(at, nl - at), path;
        n++;
        loaded_rec r;
        if (line.compare(0, 2, "-\t") == 0 && unesc(line.substr(2), &path) == 0 && !path.empty())
            v->loaded.erase(path);
        else if (line.compare(0, 2, "+\t") == 0 && parse_rec(line.substr(2), &path, &r) == 0)
            v->loaded[path] = r;
        else
            return malformed(v, f, n);
    }
    return VOB_OK;
}

static int read_loaded(view_t *v) {
    std::string text, f = view_meta_file(v, "loaded.txt");
    v->loaded.clear();
    v->loaded_read = 0;
    if (int e = view_read_text(f, &text)) {
        if (e != ENOENT)
            return view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_META, v->tag.c_str(), f.c_str(), strerror(e)));
        text.clear();
    }
    std::istringstream in(text);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        n++;
        std::string path;
        loaded_rec r;
        if (parse_rec(line, &path, &r) != 0)
            return malformed(v, f, n);
        v->loaded[path] = r;
    }
    int rc = replay_journal(v);
    if (rc != VOB_OK)
        return rc;
    v->loaded_read = 1;
    return VOB_OK;
}

int view_loaded_read(view_t *v) { return v->loaded_read ? VOB_OK : read_loaded(v); }

static void close_journal(view_t *v) {
    if (v->journal_fd >= 0)
        close(v->journal_fd);
    v->journal_fd = -1;
}

int view_loaded_save(view_t *v) {
    std::string text;
    for (auto &kv : v->loaded)
        text += rec_line(kv.first, kv.second) + "\n";
    std::string f = view_meta_file(v, "loaded.txt");
    if (int e = fileutl_write_atomic(f, text))
        return view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), f.c_str(), strerror(e)));
    // loaded.txt now holds everything the journal said.
    close_journal(v);
    std::string jf = view_meta_file(v, "loaded.journal");
    if (unlink(jf.c_str()) != 0 && errno != ENOENT)
        return view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), jf.c_str(), strerror(errno)));
    return VOB_OK;
}

// One line, in one write: a kill leaves it whole or not begun.
static int journal(view_t *v, const std::string &line) {
    std::string f = view_meta_file(v, "loaded.journal");
    if (v->journal_fd < 0)
        v->journal_fd = open(f.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    int e = v->journal_fd < 0 ? errno : 0;
    std::string text = line + "\n";
    if (!e) {
        ssize_t w;
        while ((w = write(v->journal_fd, text.data(), text.size())) < 0 && errno == EINTR) {
        }
        e = w == (ssize_t)text.size() ? 0 : w < 0 ? errno : ENOSPC;
    }
    if (e) {
        // A torn line would make the journal unreadable; the next save rewrites all.
        close_journal(v);
        return view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), f.c_str(), strerror(e)));
    }
    return VOB_OK;
}

int view_loaded_forget(view_t *v, const std::string &rel) {
    auto it = v->loaded.find(rel);
    if (it == v->loaded.end())
        return VOB_OK;
    int rc = journal(v, "-\t" + esc(rel));
    if (rc == VOB_OK)
        v->loaded.erase(it);
    return rc;
}

int view_loaded_record(view_t *v, const std::string &rel, const loaded_rec &r) {
    int rc = journal(v, "+\t" + rec_line(rel, r));
    if (rc == VOB_OK)
        v->loaded[rel] = r;
    return rc;
}

// ---- the view lock ------------------------------------------------------------------------

// Copies under way sit in tmp/ only while their writer holds the lock
// (view_copy_out): what the lock's new holder finds there was left by a
// killed run. Made here, once per lock, not per copy.
static void reset_copy_dir(view_t *v) {
    std::string dir = view_meta_file(v, "tmp");
    DIR *d = opendir(dir.c_str());
    if (!d) {
        (void)mkdir(dir.c_str(), 0700);   // else the copies go beside their files
        return;
    }
    while (dirent *e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..")
            (void)unlink((dir + "/" + n).c_str());
    }
    closedir(d);
}

int view_lock::take() {
    view_t *v = v_;
    if (held_)
        return VOB_OK;
    if (v->lock_depth > 0) {
        v->lock_depth++;
        held_ = true;
        return VOB_OK;
    }
    std::string f = view_meta_file(v, "view.lock");
    int fd = open(f.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    int r = fd < 0 ? -1 : 0;
    while (fd >= 0 && (r = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (r != 0) {
        int e = errno;
        if (fd >= 0)
            close(fd);
        return view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), f.c_str(), strerror(e)));
    }
    v->lock_fd = fd;
    v->lock_depth = 1;
    held_ = true;
    reset_copy_dir(v);
    // Another process may have changed either since this handle read them.
    // Re-reading is cheaper than any test that could miss a change.
    std::string e;
    int rc = view_meta_read(v, v->root, &e);
    if (rc != VOB_OK)
        return view_fail(v, rc, e);
    v->loaded_read = 0;
    return VOB_OK;
}

view_lock::~view_lock() {
    if (!held_)
        return;
    if (--v_->lock_depth == 0) {
        // Another process may save and drop the journal once the lock is gone.
        close_journal(v_);
        close(v_->lock_fd);
        v_->lock_fd = -1;
    }
}
