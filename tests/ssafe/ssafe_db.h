// The fixture database of the SourceSafe stand-ins (README.md of this folder
// gives its JSON form): projects, physical files with their history entries,
// the places where files are seen, and checkouts.
//
// Invariants after load_db() or index_db(): place_at holds every place by its
// path, project_set every project; project paths carry no trailing "/" except
// the root "$/". Entries stay oldest first, as written.
#pragma once

#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace ssdb {

struct Entry {
    int version = 0;   // 0: a label entry of its own
    std::string user, date, time, action;
    std::string label, comment, label_comment;
    std::vector<std::string> lines;
    bool has_contents = false;
    std::string contents;   // bytes
};

struct File {
    std::string id;
    std::string branch_of;   // empty for a root file
    int at_version = 0;
    std::vector<Entry> entries;
};

struct Place {
    std::string path;
    std::string file;
    int pin = 0;   // 0: not pinned
    bool deleted = false;
};

struct Db {
    std::string current = "$/";
    std::string about = "SourceSafe Version 6.0d (Build 9848)";
    std::vector<std::string> projects;
    std::map<std::string, File> files;
    std::vector<Place> places;
    std::map<std::string, std::vector<std::string>> checkouts;

    // Built by index_db().
    std::unordered_map<std::string, size_t> place_at;
    std::set<std::string> project_set;
};

struct Ymd {
    int y = 0, m = 0, d = 0;
    auto operator<=>(const Ymd &) const = default;
};

// Reads the database; false with "FILE: what is wrong" in *err.
bool load_db(const std::string &path, Db *db, std::string *err);
// Writes it as JSON; false with a message in *err.
bool save_db(const Db &db, const std::string &path, std::string *err);
// Replaces only the "current" member of the file, keeping the rest as
// written; the file is replaced whole (a temporary beside it, renamed).
bool save_current(const std::string &path, const std::string &current, std::string *err);
// The database file the stand-ins read: SSDB, else "ssdb.json" in the
// SSDIR folder, as the client finds its database there; "" when neither
// is set.
std::string db_path_from_env();
// Fills the lookup tables from projects and places.
void index_db(Db *db);

// "$/a/" -> "$/a"; "$/" stays.
std::string norm_project(const std::string &path);
// The project holding a path ("$/" for a top-level one) and its leaf name.
std::string parent_of(const std::string &path);
std::string leaf_of(const std::string &path);

bool is_project(const Db &db, const std::string &path);
const Place *find_place(const Db &db, const std::string &path);
const File *find_file(const Db &db, const std::string &id);
// Files branched from id, in id order.
std::vector<const File *> branches_of(const Db &db, const std::string &id);

// The bytes of version v of a file: the numbered entry's own contents, else
// those of the numbered entry before it, else (for a branch) the parent's.
bool version_contents(const Db &db, const File &f, int v, std::string *out);

// "M/D/YY" (entry dates, month first) and "MM-DD-YY" (the ";d" filter);
// two-digit years 00-38 are 20xx, the others 19xx.
bool parse_entry_date(const std::string &s, Ymd *out);
bool parse_filter_date(const std::string &s, Ymd *out);
// A number of 1 to max_digits decimal digits and nothing else.
bool parse_digits(const std::string &s, size_t max_digits, int *out);

}   // namespace ssdb
