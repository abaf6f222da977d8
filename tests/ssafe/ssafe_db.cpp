// Loading, indexing, querying and writing the stand-ins' fixture database.
#include "tests/ssafe/ssafe_db.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace ssdb {

using json = nlohmann::json;

namespace {

// A fault in the database, named by where it is ("files.F1.entries[2].version").
struct BadDb : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void bad(const std::string &where, const std::string &what) { throw BadDb(where + ": " + what); }

std::string get_str(const json &o, const char *key, const std::string &where, const std::string &dflt = "") {
    auto it = o.find(key);
    if (it == o.end())
        return dflt;
    if (!it->is_string())
        bad(where + "." + key, "not a string");
    return it->get<std::string>();
}

int get_int(const json &o, const char *key, const std::string &where) {
    auto it = o.find(key);
    if (it == o.end())
        return 0;
    if (!it->is_number_integer() || it->get<long long>() < 1 || it->get<long long>() > 1000000)
        bad(where + "." + key, "not a whole number from 1 up");
    return it->get<int>();
}

std::vector<std::string> get_strs(const json &v, const std::string &where) {
    if (!v.is_array())
        bad(where, "not a list");
    std::vector<std::string> out;
    for (const auto &s : v) {
        if (!s.is_string())
            bad(where, "holds something that is not a string");
        out.push_back(s.get<std::string>());
    }
    return out;
}

int hexval(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string unhex(const std::string &h, const std::string &where) {
    if (h.size() % 2)
        bad(where, "odd number of hex digits");
    std::string out;
    for (size_t i = 0; i < h.size(); i += 2) {
        int a = hexval(h[i]), b = hexval(h[i + 1]);
        if (a < 0 || b < 0)
            bad(where, "not hex");
        out.push_back(static_cast<char>(a * 16 + b));
    }
    return out;
}

Entry read_entry(const json &e, const std::string &where) {
    if (!e.is_object())
        bad(where, "not an object");
    Entry out;
    out.version = get_int(e, "version", where);
    out.user = get_str(e, "user", where);
    out.date = get_str(e, "date", where);
    out.time = get_str(e, "time", where);
    out.action = get_str(e, "action", where);
    out.label = get_str(e, "label", where);
    out.comment = get_str(e, "comment", where);
    out.label_comment = get_str(e, "label_comment", where);
    if (e.contains("lines"))
        out.lines = get_strs(e["lines"], where + ".lines");
    if (e.contains("contents") && e.contains("contents_hex"))
        bad(where, "both contents and contents_hex");
    if (e.contains("contents")) {
        out.contents = get_str(e, "contents", where);
        out.has_contents = true;
    } else if (e.contains("contents_hex")) {
        out.contents = unhex(get_str(e, "contents_hex", where), where + ".contents_hex");
        out.has_contents = true;
    }
    if (out.has_contents && !out.version)
        bad(where, "contents on a label entry");
    return out;
}

void read_db(const json &j, Db *db) {
    if (!j.is_object())
        bad("top", "not an object");
    db->current = norm_project(get_str(j, "current", "top", db->current));
    db->about = get_str(j, "about", "top", db->about);
    if (j.contains("projects"))
        for (const auto &p : get_strs(j["projects"], "projects"))
            db->projects.push_back(norm_project(p));
    if (j.contains("files")) {
        if (!j["files"].is_object())
            bad("files", "not an object");
        for (const auto &[id, f] : j["files"].items()) {
            std::string where = "files." + id;
            if (!f.is_object())
                bad(where, "not an object");
            File file;
            file.id = id;
            file.branch_of = get_str(f, "branch_of", where);
            file.at_version = get_int(f, "at_version", where);
            if (!file.branch_of.empty() && !file.at_version)
                bad(where, "branch_of without at_version");
            if (f.contains("entries")) {
                if (!f["entries"].is_array())
                    bad(where + ".entries", "not a list");
                size_t i = 0;
                for (const auto &e : f["entries"])
                    file.entries.push_back(read_entry(e, where + ".entries[" + std::to_string(i++) + "]"));
            }
            db->files.emplace(id, std::move(file));
        }
    }
    for (const auto &[id, f] : db->files) {
        if (!f.branch_of.empty() && !db->files.count(f.branch_of))
            bad("files." + id + ".branch_of", "no file " + f.branch_of);
        // A chain longer than the number of files goes round in a circle.
        const File *up = &f;
        for (size_t n = 0; up && !up->branch_of.empty(); ++n) {
            if (n > db->files.size())
                bad("files." + id + ".branch_of", "branches go round in a circle");
            auto it = db->files.find(up->branch_of);
            up = it == db->files.end() ? nullptr : &it->second;
        }
    }
    if (j.contains("places")) {
        if (!j["places"].is_array())
            bad("places", "not a list");
        size_t i = 0;
        for (const auto &p : j["places"]) {
            std::string where = "places[" + std::to_string(i++) + "]";
            if (!p.is_object())
                bad(where, "not an object");
            Place place;
            place.path = get_str(p, "path", where);
            place.file = get_str(p, "file", where);
            place.pin = get_int(p, "pin", where);
            if (p.contains("deleted")) {
                if (!p["deleted"].is_boolean())
                    bad(where + ".deleted", "not true or false");
                place.deleted = p["deleted"].get<bool>();
            }
            if (place.path.rfind("$/", 0) != 0 || place.path.size() < 3)
                bad(where + ".path", "not a full path: " + place.path);
            if (!db->files.count(place.file))
                bad(where + ".file", "no file " + place.file);
            db->places.push_back(std::move(place));
        }
    }
    if (j.contains("checkouts")) {
        if (!j["checkouts"].is_object())
            bad("checkouts", "not an object");
        for (const auto &[path, lines] : j["checkouts"].items())
            db->checkouts[path] = get_strs(lines, "checkouts." + path);
    }
}

bool printable(const std::string &s) {
    for (unsigned char c : s)
        if ((c < 0x20 && c != '\n' && c != '\t') || c >= 0x7f)
            return false;
    return true;
}

std::string tohex(const std::string &s) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

json write_entry(const Entry &e) {
    json o = json::object();
    if (e.version)
        o["version"] = e.version;
    o["user"] = e.user;
    o["date"] = e.date;
    o["time"] = e.time;
    o["action"] = e.action;
    if (!e.label.empty())
        o["label"] = e.label;
    if (!e.comment.empty())
        o["comment"] = e.comment;
    if (!e.label_comment.empty())
        o["label_comment"] = e.label_comment;
    if (!e.lines.empty())
        o["lines"] = e.lines;
    if (e.has_contents) {
        if (printable(e.contents))
            o["contents"] = e.contents;
        else
            o["contents_hex"] = tohex(e.contents);
    }
    return o;
}

bool parse_date(const std::string &s, char sep, Ymd *out) {
    size_t a = s.find(sep), b = a == std::string::npos ? a : s.find(sep, a + 1);
    if (b == std::string::npos)
        return false;
    Ymd r;
    std::string ys = s.substr(b + 1);
    if (!parse_digits(s.substr(0, a), 4, &r.m) || !parse_digits(s.substr(a + 1, b - a - 1), 4, &r.d) ||
        !parse_digits(ys, 4, &r.y))
        return false;
    if (ys.size() == 2)
        r.y += r.y <= 38 ? 2000 : 1900;
    else if (ys.size() != 4)
        return false;
    if (r.m < 1 || r.m > 12 || r.d < 1 || r.d > 31)
        return false;
    *out = r;
    return true;
}

}   // namespace

bool load_db(const std::string &path, Db *db, std::string *err) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *err = path + ": cannot be read";
        return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    json j = json::parse(ss.str(), nullptr, false);
    if (j.is_discarded()) {
        *err = path + ": not JSON";
        return false;
    }
    *db = Db{};
    try {
        read_db(j, db);
    } catch (const BadDb &e) {
        *err = path + ": " + e.what();
        return false;
    }
    index_db(db);
    return true;
}

bool save_db(const Db &db, const std::string &path, std::string *err) {
    json j = json::object();
    j["current"] = db.current;
    j["about"] = db.about;
    j["projects"] = db.projects;
    json files = json::object();
    for (const auto &[id, f] : db.files) {
        json o = json::object();
        if (!f.branch_of.empty()) {
            o["branch_of"] = f.branch_of;
            o["at_version"] = f.at_version;
        }
        json entries = json::array();
        for (const auto &e : f.entries)
            entries.push_back(write_entry(e));
        o["entries"] = std::move(entries);
        files[id] = std::move(o);
    }
    j["files"] = std::move(files);
    json places = json::array();
    for (const auto &p : db.places) {
        json o = {{"path", p.path}, {"file", p.file}};
        if (p.pin)
            o["pin"] = p.pin;
        if (p.deleted)
            o["deleted"] = true;
        places.push_back(std::move(o));
    }
    j["places"] = std::move(places);
    j["checkouts"] = db.checkouts;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << j.dump() << "\n";
    out.close();
    if (!out) {
        *err = path + ": cannot be written";
        return false;
    }
    return true;
}

void index_db(Db *db) {
    db->place_at.clear();
    db->project_set.clear();
    for (size_t i = 0; i < db->places.size(); ++i)
        db->place_at.emplace(db->places[i].path, i);
    for (const auto &p : db->projects)
        db->project_set.insert(norm_project(p));
}

std::string norm_project(const std::string &path) {
    std::string p = path;
    while (p.size() > 2 && p.back() == '/')
        p.pop_back();
    return p;
}

std::string parent_of(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash <= 1)
        return "$/";
    return path.substr(0, slash);
}

std::string leaf_of(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool is_project(const Db &db, const std::string &path) {
    std::string p = norm_project(path);
    return p == "$/" || db.project_set.count(p) > 0;
}

const Place *find_place(const Db &db, const std::string &path) {
    auto it = db.place_at.find(path);
    return it == db.place_at.end() ? nullptr : &db.places[it->second];
}

const File *find_file(const Db &db, const std::string &id) {
    auto it = db.files.find(id);
    return it == db.files.end() ? nullptr : &it->second;
}

std::vector<const File *> branches_of(const Db &db, const std::string &id) {
    std::vector<const File *> out;
    for (const auto &[fid, f] : db.files)
        if (f.branch_of == id)
            out.push_back(&f);
    return out;
}

bool version_contents(const Db &db, const File &f, int v, std::string *out) {
    // Branch chains are short; the depth bound keeps a cycle from looping.
    const File *file = &f;
    for (int depth = 0; file && depth < 64; ++depth) {
        const Entry *found = nullptr, *last = nullptr;
        for (const auto &e : file->entries) {
            if (!e.version)
                continue;
            if (e.version == v) {
                found = &e;
                break;
            }
            if (e.has_contents)
                last = &e;
        }
        if (found) {
            if (found->has_contents || last) {
                *out = found->has_contents ? found->contents : last->contents;
                return true;
            }
        }
        if (file->branch_of.empty())
            return false;
        file = find_file(db, file->branch_of);
    }
    return false;
}

bool parse_entry_date(const std::string &s, Ymd *out) { return parse_date(s, '/', out); }
bool parse_filter_date(const std::string &s, Ymd *out) { return parse_date(s, '-', out); }

bool parse_digits(const std::string &s, size_t max_digits, int *out) {
    if (s.empty() || s.size() > max_digits)
        return false;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *out = v;
    return true;
}

bool save_current(const std::string &path, const std::string &current, std::string *err) {
    json j;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            *err = path + ": cannot be read";
            return false;
        }
        j = json::parse(in, nullptr, false);
    }
    if (!j.is_object()) {
        *err = path + ": not a database";
        return false;
    }
    j["current"] = current;
    std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << j.dump(2) << "\n";
        out.close();
        if (!out) {
            std::remove(tmp.c_str());
            *err = tmp + ": cannot be written";
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        *err = path + ": cannot be replaced";
        return false;
    }
    return true;
}

std::string db_path_from_env() {
    const char *db = std::getenv("SSDB");
    if (db && *db)
        return db;
    const char *dir = std::getenv("SSDIR");
    if (!dir || !*dir)
        return "";
    std::string d = dir;
    return d.back() == '/' ? d + "ssdb.json" : d + "/ssdb.json";
}

}   // namespace ssdb
