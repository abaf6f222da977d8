// The registry file VANTOR_HOME/registry/rgy.json:
//   {"default_region": NAME, "regions": {NAME: {"vobs": [...], "views": [...]}}}
// Each change reads, edits and replaces the whole file under an exclusive
// flock of rgy.lock; readers take a shared lock.
#include "platform/registry/registry.h"
#include "platform/store/vob.h"
#include "platform/store/vob_msg.h"
#include "runtime/atomic_file.h"
#include "runtime/credutl.h"
#include "runtime/fileutl.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using json = nlohmann::json;

std::string rgy_home() {
    std::string h;
    const char *env = getenv("VANTOR_HOME");
    if (env && *env)
        h = env;
    else {
        const char *env_home = getenv("HOME");
        std::string home = env_home ? env_home : "";
        credutl_pw pw;
        if (home.empty())
            home = credutl_getpwuid(geteuid(), &pw) == 0 && !pw.dir.empty() ? pw.dir : "/tmp";
        h = home + "/.vantor";
    }
    while (h.size() > 1 && h.back() == '/')
        h.pop_back();
    return h;
}

static std::string rgy_dir() { return rgy_home() + "/registry"; }
static std::string rgy_file() { return rgy_dir() + "/rgy.json"; }

// Holds the registry lock for one read or change.
struct rgy_lock {
    int fd = -1;
    ~rgy_lock() {
        if (fd >= 0)
            close(fd);
    }
    int take(int exclusive, std::string *err) {
        if (int e = fileutl_mkpath(rgy_dir().c_str(), 0755)) {
            *err = VOB_MSG(VM_RGY_IO, rgy_dir().c_str(), strerror(e));
            return VOB_ERR;
        }
        std::string lk = rgy_dir() + "/rgy.lock";
        fd = open(lk.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        int r = fd < 0 ? -1 : 0;
        while (fd >= 0 && (r = flock(fd, exclusive ? LOCK_EX : LOCK_SH)) != 0 && errno == EINTR) {
        }
        if (r != 0) {
            *err = VOB_MSG(VM_RGY_IO, lk.c_str(), strerror(errno));
            return VOB_ERR;
        }
        return VOB_OK;
    }
};

static json empty_registry() {
    json j;
    j["default_region"] = "default";
    j["regions"]["default"] = {{"vobs", json::array()}, {"views", json::array()}};
    return j;
}

static int load(json *j, std::string *err) {
    if (access(rgy_file().c_str(), F_OK) != 0 && errno == ENOENT) {
        *j = empty_registry();
        return VOB_OK;
    }
    std::ifstream in(rgy_file(), std::ios::binary);
    if (!in) {
        *err = VOB_MSG(VM_RGY_IO, rgy_file().c_str(), strerror(errno));
        return VOB_ERR;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    *j = json::parse(ss.str(), nullptr, false);
    if (j->is_discarded() || !j->is_object() || !(*j)["regions"].is_object() ||
        !(*j)["default_region"].is_string()) {
        *err = VOB_MSG(VM_RGY_PARSE, rgy_file().c_str(), "not a registry of this system");
        return VOB_ERR;
    }
    for (auto &r : (*j)["regions"].items()) {
        bool ok = r.value().is_object() && r.value()["vobs"].is_array() && r.value()["views"].is_array();
        for (auto &e : ok ? r.value()["vobs"] : json::array())
            ok = ok && e.is_object() && e["tag"].is_string() && e["storage"].is_string() &&
                 e["uuid"].is_string() && e["owner_uid"].is_number_unsigned() && e["project"].is_boolean();
        for (auto &e : ok ? r.value()["views"] : json::array())
            ok = ok && e.is_object() && e["tag"].is_string() && e["dir"].is_string();
        if (!ok) {
            *err = VOB_MSG(VM_RGY_PARSE, rgy_file().c_str(), ("region " + r.key() + " is malformed").c_str());
            return VOB_ERR;
        }
    }
    return VOB_OK;
}

static int save(const json &j, std::string *err) {
    if (int e =
            fileutl_write_atomic(rgy_file(), j.dump(2, ' ', false, json::error_handler_t::replace) + "\n")) {
        *err = VOB_MSG(VM_RGY_IO, rgy_file().c_str(), strerror(e));
        return VOB_ERR;
    }
    return VOB_OK;
}

static int region_of(json &j, const std::string &region, json **out, std::string *err) {
    std::string r = region.empty() ? j["default_region"].get<std::string>() : region;
    if (!j["regions"].contains(r)) {
        *err = VOB_MSG(VM_NO_REGION, r.c_str());
        return VOB_NOT_FOUND;
    }
    *out = &j["regions"][r];
    return VOB_OK;
}

// Every registry call starts so: take the lock (shared or exclusive), read
// the registry, find the region.
static int open_region(rgy_lock &lk, int exclusive, json *j, const std::string &region, json **reg,
                       std::string *err) {
    int rc = lk.take(exclusive, err);
    if (rc == VOB_OK)
        rc = load(j, err);
    if (rc == VOB_OK)
        rc = region_of(*j, region, reg, err);
    return rc;
}

static std::string region_name(json &j, const std::string &region) {
    return region.empty() ? j["default_region"].get<std::string>() : region;
}

int rgy_get_default_region(std::string *region, std::string *err) {
    rgy_lock lk;
    json j;
    int rc = lk.take(0, err);
    if (rc == VOB_OK)
        rc = load(&j, err);
    if (rc == VOB_OK)
        *region = j["default_region"].get<std::string>();
    return rc;
}

int rgy_list_regions(std::vector<std::string> *regions, std::string *err) {
    rgy_lock lk;
    json j;
    int rc = lk.take(0, err);
    if (rc == VOB_OK)
        rc = load(&j, err);
    if (rc != VOB_OK)
        return rc;
    regions->clear();
    for (auto &r : j["regions"].items())
        regions->push_back(r.key());
    return VOB_OK;
}

int rgy_add_region(const std::string &region, std::string *err) {
    rgy_lock lk;
    json j;
    int rc = lk.take(1, err);
    if (rc == VOB_OK)
        rc = load(&j, err);
    if (rc != VOB_OK)
        return rc;
    if (j["regions"].contains(region))
        return VOB_EXISTS;
    j["regions"][region] = {{"vobs", json::array()}, {"views", json::array()}};
    return save(j, err);
}

static int find_in(json &list, const std::string &key, const std::string &value) {
    for (size_t i = 0; i < list.size(); i++)
        if (list[i].value(key, "") == value)
            return (int)i;
    return -1;
}

// The index of the entry of `list` with that tag, or VOB_NOT_FOUND with the
// message `missing` (VM_NO_VOB_TAG or VM_NO_VIEW_TAG: one insert, the tag).
static int entry_of(json &reg, const char *list, const std::string &tag,
                    std::string (*missing)(const char *tag), int *at, std::string *err) {
    *at = find_in(reg[list], "tag", tag);
    if (*at >= 0)
        return VOB_OK;
    *err = missing(tag.c_str());
    return VOB_NOT_FOUND;
}

// The two kinds of entries of a region, VOB tags and view tags, are one
// table each: its list in the region, its messages, and the conversion of
// an entry to and from the file's JSON. Every call on either goes through
// the table functions below.
template <class T> struct rgy_table {
    const char *list;                                           // "vobs" or "views"
    std::string (*missing)(const char *tag);                    // no entry has the tag
    std::string (*taken)(const char *tag, const char *where);   // an entry has it, pointing there
    const char *where;                                          // the entry's key of where it points
    T (*from)(const json &e, const std::string &region);
    json (*to)(const T &entry);
};

static rgy_vob vob_from(const json &e, const std::string &region) {
    rgy_vob v;
    v.tag = e.value("tag", "");
    v.storage = e.value("storage", "");
    v.uuid = e.value("uuid", "");
    v.owner_uid = e.value("owner_uid", 0u);
    v.project = e.value("project", false) ? 1 : 0;
    v.region = region;
    return v;
}

static json vob_to(const rgy_vob &v) {
    return {{"tag", v.tag},
            {"storage", v.storage},
            {"uuid", v.uuid},
            {"owner_uid", v.owner_uid},
            {"project", v.project != 0}};
}

static rgy_view view_from(const json &e, const std::string &region) {
    rgy_view v;
    v.tag = e.value("tag", "");
    v.dir = e.value("dir", "");
    v.region = region;
    return v;
}

static json view_to(const rgy_view &v) { return {{"tag", v.tag}, {"dir", v.dir}}; }

// The messages through VOB_MSG, so that the compiler checks their inserts.
static const rgy_table<rgy_vob> vob_table = {
    "vobs",
    [](const char *tag) { return VOB_MSG(VM_NO_VOB_TAG, tag); },
    [](const char *tag, const char *where) { return VOB_MSG(VM_VOB_TAG_EXISTS, tag, where); },
    "storage",
    vob_from,
    vob_to};
static const rgy_table<rgy_view> view_table = {
    "views",
    [](const char *tag) { return VOB_MSG(VM_NO_VIEW_TAG, tag); },
    [](const char *tag, const char *where) { return VOB_MSG(VM_VIEW_TAG_EXISTS, tag, where); },
    "dir",
    view_from,
    view_to};

// VOB_EXISTS, with t's message naming where the entry points, when the
// region's list has tag; VOB_OK when it has not.
template <class T>
static int tag_taken(const rgy_table<T> &t, json &reg, const std::string &tag, std::string *err) {
    int at = find_in(reg[t.list], "tag", tag);
    if (at < 0)
        return VOB_OK;
    *err = t.taken(tag.c_str(), reg[t.list][at].value(t.where, "").c_str());
    return VOB_EXISTS;
}

template <class T> static int table_add(const rgy_table<T> &t, const T &entry, std::string *err) {
    rgy_lock lk;
    json j;
    json *reg;
    int rc = open_region(lk, 1, &j, entry.region, &reg, err);
    if (rc == VOB_OK)
        rc = tag_taken(t, *reg, entry.tag, err);
    if (rc != VOB_OK)
        return rc;
    (*reg)[t.list].push_back(t.to(entry));
    return save(j, err);
}

// Opens the region and finds tag's entry in t's list.
template <class T> static int open_entry(rgy_lock &lk, int exclusive, json *j, const rgy_table<T> &t,
                                         const std::string &tag, const std::string &region, json **reg,
                                         int *at, std::string *err) {
    int rc = open_region(lk, exclusive, j, region, reg, err);
    return rc == VOB_OK ? entry_of(**reg, t.list, tag, t.missing, at, err) : rc;
}

template <class T> static int table_remove(const rgy_table<T> &t, const std::string &tag,
                                           const std::string &region, std::string *err) {
    rgy_lock lk;
    json j;
    json *reg;
    int at;
    int rc = open_entry(lk, 1, &j, t, tag, region, &reg, &at, err);
    if (rc != VOB_OK)
        return rc;
    (*reg)[t.list].erase((size_t)at);
    return save(j, err);
}

template <class T> static int table_find(const rgy_table<T> &t, const std::string &tag,
                                         const std::string &region, T *out, std::string *err) {
    rgy_lock lk;
    json j;
    json *reg;
    int at;
    int rc = open_entry(lk, 0, &j, t, tag, region, &reg, &at, err);
    if (rc == VOB_OK)
        *out = t.from((*reg)[t.list][at], region_name(j, region));
    return rc;
}

// The check table_add makes, in the default region, before a caller makes
// what the entry will name.
template <class T> static int table_free(const rgy_table<T> &t, const std::string &tag, std::string *err) {
    rgy_lock lk;
    json j;
    json *reg;
    int rc = open_region(lk, 0, &j, "", &reg, err);
    return rc == VOB_OK ? tag_taken(t, *reg, tag, err) : rc;
}

// Sorted by tag.
template <class T> static int table_list(const rgy_table<T> &t, const std::string &region,
                                         std::vector<T> *out, std::string *err) {
    rgy_lock lk;
    json j;
    json *reg;
    int rc = open_region(lk, 0, &j, region, &reg, err);
    if (rc != VOB_OK)
        return rc;
    std::vector<T> r;
    for (auto &e : (*reg)[t.list])
        r.push_back(t.from(e, region_name(j, region)));
    std::sort(r.begin(), r.end(), [](const T &a, const T &b) { return a.tag < b.tag; });
    *out = std::move(r);
    return VOB_OK;
}

int rgy_vob_add(const rgy_vob &vob, std::string *err) { return table_add(vob_table, vob, err); }
int rgy_vob_remove(const std::string &tag, const std::string &region, std::string *err) {
    return table_remove(vob_table, tag, region, err);
}
int rgy_vob_find(const std::string &tag, const std::string &region, rgy_vob *out, std::string *err) {
    return table_find(vob_table, tag, region, out, err);
}
int rgy_vob_tag_free(const std::string &tag, std::string *err) { return table_free(vob_table, tag, err); }
int rgy_vob_find_uuid(const std::string &uuid, rgy_vob *out, std::string *err) {
    rgy_lock lk;
    json j;
    int rc = lk.take(0, err);
    if (rc == VOB_OK)
        rc = load(&j, err);
    if (rc != VOB_OK)
        return rc;
    for (auto &r : j["regions"].items()) {
        int at = find_in(r.value()["vobs"], "uuid", uuid);
        if (at >= 0) {
            *out = vob_from(r.value()["vobs"][at], r.key());
            return VOB_OK;
        }
    }
    *err = VOB_MSG(VM_NO_VOB_TAG, uuid.c_str());
    return VOB_NOT_FOUND;
}

// The last VOB list read, with the identity of the file it came from. The
// file is only ever replaced whole (rename), so a file with the same device,
// inode, size and modification time holds the same list: lookups that list
// the VOBs once per path (the views' tag lookup) then cost one stat.
namespace {
struct vob_list_cache {
    std::mutex mu;
    bool valid = false;
    std::string file, region;
    struct stat id {};
    std::vector<rgy_vob> list;
};
vob_list_cache &list_cache() {
    static vob_list_cache c;
    return c;
}
bool same_file(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}
}   // namespace

int rgy_vob_list(const std::string &region, std::vector<rgy_vob> *out, std::string *err) {
    const std::string file = rgy_file();
    struct stat before {};
    bool known = stat(file.c_str(), &before) == 0;
    if (known) {
        vob_list_cache &c = list_cache();
        std::lock_guard<std::mutex> g(c.mu);
        if (c.valid && c.file == file && c.region == region && same_file(c.id, before)) {
            *out = c.list;
            return VOB_OK;
        }
    }
    int rc = table_list(vob_table, region, out, err);
    struct stat after {};
    // Kept only when the file did not change while it was read.
    if (rc == VOB_OK && known && stat(file.c_str(), &after) == 0 && same_file(before, after)) {
        vob_list_cache &c = list_cache();
        std::lock_guard<std::mutex> g(c.mu);
        c.valid = true;
        c.file = file;
        c.region = region;
        c.id = after;
        c.list = *out;
    }
    return rc;
}

int rgy_view_add(const rgy_view &view, std::string *err) { return table_add(view_table, view, err); }
int rgy_view_remove(const std::string &tag, const std::string &region, std::string *err) {
    return table_remove(view_table, tag, region, err);
}
int rgy_view_find(const std::string &tag, const std::string &region, rgy_view *out, std::string *err) {
    return table_find(view_table, tag, region, out, err);
}
int rgy_view_tag_free(const std::string &tag, std::string *err) { return table_free(view_table, tag, err); }
int rgy_view_list(const std::string &region, std::vector<rgy_view> *out, std::string *err) {
    return table_list(view_table, region, out, err);
}

int view_tag_get_path(const std::string &tag, std::string *dir, std::string *err) {
    rgy_view v;
    int rc = rgy_view_find(tag, "", &v, err);
    if (rc == VOB_OK)
        *dir = v.dir;
    return rc;
}
