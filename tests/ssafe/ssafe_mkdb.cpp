// ssafe_mkdb OUT.json [files] [versions]: writes a stand-in database for the
// bench (defaults 500 files of 20 versions) under $/bench and its
// subprojects, with labels, multi-line comments, a few pins, shares and
// branches. The same arguments always give the same database.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/ssafe/ssafe_db.h"

namespace {

const char *const PROJECTS[] = {"$/bench",     "$/bench/src",  "$/bench/src/lib",
                                "$/bench/doc", "$/bench/test", "$/bench/rel"};
constexpr int FILE_PROJECTS = 5;   // $/bench/rel holds only shares and branches

bool count_arg(const char *s, int dflt, int *out) {
    if (!s) {
        *out = dflt;
        return true;
    }
    char *end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (!*s || *end || v < 1 || v > 100000)
        return false;
    *out = static_cast<int>(v);
    return true;
}

// Day n after 1 March 2001, as "M/D/YY" (months of 28 days keep it simple).
std::string date_of(int n) {
    int m = 3 + n / 28, d = 1 + n % 28;
    int y = 2001 + (m - 1) / 12;
    m = (m - 1) % 12 + 1;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d/%02d/%02d", m, d, y % 100);
    return buf;
}

std::string time_of(int n) {
    int h = 1 + n % 12, mi = (n * 7) % 60;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d:%02d%c", h, mi, n % 2 ? 'p' : 'a');
    return buf;
}

ssdb::Entry numbered(int file, int v, const std::string &project) {
    ssdb::Entry e;
    e.version = v;
    e.user = v % 3 ? "Admin" : "builder";
    e.date = date_of(v * 5 + file % 5);
    e.time = time_of(file + v);
    e.action = v == 1 ? "Created" : "Checked in " + project;
    if (v > 1 && v % 4 == 0)
        e.comment =
            "change " + std::to_string(v) + " of file " + std::to_string(file) + "\nsecond line of it";
    else if (v > 1 && v % 2)
        e.comment = "fix " + std::to_string(v);
    for (int line = 0; line < 3; ++line)
        e.contents += "file " + std::to_string(file) + " version " + std::to_string(v) + " line " +
                      std::to_string(line) + "\n";
    e.has_contents = true;
    if (v % 10 == 0)
        e.label = "BUILD_" + std::to_string(v);
    return e;
}

ssdb::Entry label_entry(int file, int v) {
    ssdb::Entry e;
    e.user = "Admin";
    e.date = date_of(v * 5 + file % 5 + 1);
    e.time = time_of(file);
    e.label = "REL" + std::to_string(v);
    e.action = "Labeled";
    e.label_comment = "release " + std::to_string(v) + "\nfor the bench";
    return e;
}

}   // namespace

int main(int argc, char **argv) {
    int nfiles = 0, nversions = 0;
    if (argc < 2 || argc > 4 || !count_arg(argc > 2 ? argv[2] : nullptr, 500, &nfiles) ||
        !count_arg(argc > 3 ? argv[3] : nullptr, 20, &nversions)) {
        std::fprintf(stderr, "usage: ssafe_mkdb OUT.json [files] [versions]\n");
        return 2;
    }
    ssdb::Db db;
    db.current = "$/bench";
    for (const char *p : PROJECTS)
        db.projects.push_back(p);
    for (int i = 0; i < nfiles; ++i) {
        std::string id = "F" + std::to_string(i);
        std::string project = PROJECTS[i % FILE_PROJECTS];
        std::string leaf = "f" + std::to_string(i) + (i % 7 == 0 ? ".txt" : ".c");
        ssdb::File &f = db.files[id];
        f.id = id;
        for (int v = 1; v <= nversions; ++v) {
            f.entries.push_back(numbered(i, v, project));
            if (v % 6 == 0)
                f.entries.push_back(label_entry(i, v));
        }
        ssdb::Place place{project + "/" + leaf, id, 0, false};
        if (i % 50 == 7 && nversions > 1)
            place.pin = nversions / 2;
        db.places.push_back(place);
        if (i % 40 == 3)
            db.places.push_back({std::string(PROJECTS[(i + 1) % FILE_PROJECTS]) + "/" + leaf, id, 0, false});
        // A branch into $/bench/rel: its history repeats the parent's up to
        // the branch point, then goes on by two versions of its own.
        if (i % 100 == 11 && nversions > 2) {
            std::string bid = id + "_rel";
            ssdb::File &b = db.files[bid];
            b.id = bid;
            b.branch_of = id;
            b.at_version = nversions / 2 + 1;
            for (const auto &e : db.files[id].entries)
                if (e.version && e.version < b.at_version)
                    b.entries.push_back(e);
            for (int v = b.at_version; v < b.at_version + 2; ++v) {
                ssdb::Entry e = numbered(i, v, "$/bench/rel");
                e.label.clear();
                e.action = v == b.at_version ? "Branched" : "Checked in $/bench/rel";
                e.contents = "branch " + e.contents;
                b.entries.push_back(e);
            }
            db.places.push_back({"$/bench/rel/" + leaf, bid, 0, false});
        }
    }
    std::string err;
    if (!ssdb::save_db(db, argv[1], &err)) {
        std::fprintf(stderr, "ssafe_mkdb: %s\n", err.c_str());
        return 1;
    }
    return 0;
}
