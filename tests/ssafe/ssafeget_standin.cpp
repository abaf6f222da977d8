// A stand-in for `ssafeget "$/path" VERSION "leaf"`: writes the bytes of that
// version of the file at that place to ./leaf, from the fixture database that
// SSDB names. Status 0, or 1 with a message for anything it cannot answer.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/ssafe/ssafe_db.h"

namespace {

int fail(const std::string &what) {
    std::fprintf(stderr, "ssafeget: %s\n", what.c_str());
    return 1;
}

}   // namespace

int main(int argc, char **argv) {
    if (argc != 4)
        return fail("usage: ssafeget \"$/path\" VERSION \"leaf\"");
    std::string place = argv[1], leaf = argv[3];
    int version = 0;
    if (!ssdb::parse_digits(argv[2], 7, &version) || version < 1)
        return fail(std::string("not a version: ") + argv[2]);
    // The leaf lands in the current directory, never elsewhere.
    if (leaf.empty() || leaf == "." || leaf == ".." || leaf.find('/') != std::string::npos)
        return fail("not a leaf name: " + leaf);
    std::string db_path = ssdb::db_path_from_env();
    if (db_path.empty())
        return fail("SSDB names no database");
    ssdb::Db db;
    std::string err;
    if (!ssdb::load_db(db_path, &db, &err))
        return fail(err);
    const ssdb::Place *p = ssdb::find_place(db, place);
    if (!p)
        return fail("no place " + place);
    std::string bytes;
    if (!ssdb::version_contents(db, *ssdb::find_file(db, p->file), version, &bytes))
        return fail("no version " + std::to_string(version) + " of " + place);
    FILE *f = std::fopen(leaf.c_str(), "wb");
    if (!f)
        return fail("cannot write " + leaf);
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        std::remove(leaf.c_str());
        return fail("cannot write " + leaf);
    }
    return 0;
}
