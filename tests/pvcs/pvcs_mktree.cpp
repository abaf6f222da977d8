// pvcs_mktree DIR COUNT REVISIONS [--oldest-first]: writes a deterministic
// tree of COUNT archives under DIR for benches and end-to-end tests.
//
// The archives are spread over a few directories, some in VCS
// subdirectories. Each has REVISIONS revisions: mostly trunk, a branch from
// the middle of the trunk whose branch number carries a label, a few version
// labels, two promotion groups, and contents of a few hundred bytes to a few
// KB that change with every revision (kept in 'T' records for the `get`
// stand-in). Blocks are written newest first unless --oldest-first is given.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

#include "tests/pvcs/pvcs_writer.h"

namespace {

const char *const DIRS[] = {"src", "src/VCS", "lib/VCS", "doc", "tools/VCS"};

uint32_t dos_of(int64_t t) {
    time_t tt = time_t(t);
    struct tm tm;
    gmtime_r(&tt, &tm);
    return pvcs_test::dos_time(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                               tm.tm_sec);
}

// Lines of text that differ per archive and revision; a few hundred bytes to
// a few KB.
std::string contents(int archive, int rev) {
    uint32_t x = uint32_t(archive) * 2654435761u + uint32_t(rev) * 40503u + 1;
    int lines = 8 + int((x >> 7) % 90);
    std::string s;
    for (int i = 0; i < lines; ++i) {
        x = x * 1103515245u + 12345u;
        s += "line " + std::to_string(i) + " of file " + std::to_string(archive) + " rev " +
             std::to_string(rev) + " " + std::to_string(x >> 8) + "\n";
    }
    return s;
}

pvcs_test::archive make_archive(int i, int count) {
    pvcs_test::archive a;
    a.workfile = i % 7 == 3 ? "C:\\WORK\\FILE" + std::to_string(i) + ".C" : "file" + std::to_string(i) + ".c";
    a.owner = "owner" + std::to_string(i % 3);
    a.description = "archive " + std::to_string(i);
    const int64_t base = 946684800 + int64_t(i) * 3600;   // 2000-01-01
    const int branch_len = count >= 4 ? count / 4 : 0;
    const int trunk_len = count - branch_len;
    const int point = trunk_len / 2;
    for (int k = 0; k < trunk_len; ++k) {
        pvcs_test::revision r;
        r.number = "1." + std::to_string(k);
        r.time = dos_of(base + int64_t(k) * 86400);
        r.author = k % 2 ? "alice" : "bob";
        r.comment = "trunk change " + std::to_string(k) + (k % 3 == 0 ? "\r\n" : "");
        r.contents = contents(i, k);
        a.revisions.push_back(r);
    }
    const std::string bp = "1." + std::to_string(point) + ".1";
    for (int j = 0; j < branch_len; ++j) {
        pvcs_test::revision r;
        r.number = bp + "." + std::to_string(j);
        r.time = dos_of(base + int64_t(point) * 86400 + 43200 + int64_t(j) * 86400);
        r.author = "carol";
        r.comment = "branch change " + std::to_string(j);
        r.contents = contents(i, 1000 + j);
        a.revisions.push_back(r);
    }
    if (branch_len)
        a.labels.push_back({"dev", bp});
    a.labels.push_back({"REL_1", "1.0"});
    a.labels.push_back({"MID", "1." + std::to_string(point)});
    a.labels.push_back({"LATEST", "1." + std::to_string(trunk_len - 1)});
    a.groups.push_back({"PROD", "1." + std::to_string(point)});
    a.groups.push_back({"DEV", "1." + std::to_string(trunk_len - 1)});
    return a;
}

}   // namespace

int main(int argc, char **argv) {
    if (argc < 4 || argc > 5 || (argc == 5 && std::strcmp(argv[4], "--oldest-first") != 0)) {
        std::fprintf(stderr, "usage: pvcs_mktree DIR COUNT REVISIONS [--oldest-first]\n");
        return 1;
    }
    const std::string top = argv[1];
    const int count = std::atoi(argv[2]), revisions = std::atoi(argv[3]);
    const bool oldest_first = argc == 5;
    if (count < 0 || revisions < 1) {
        std::fprintf(stderr, "pvcs_mktree: COUNT must be 0 or more and REVISIONS 1 or more\n");
        return 1;
    }
    try {
        for (int i = 0; i < count; ++i) {
            const std::string dir = top + "/" + DIRS[i % 5];
            std::filesystem::create_directories(dir);
            pvcs_test::archive a = make_archive(i, revisions);
            std::stable_sort(a.revisions.begin(), a.revisions.end(),
                             [&](const pvcs_test::revision &x, const pvcs_test::revision &y) {
                                 return oldest_first ? x.time < y.time : x.time > y.time;
                             });
            pvcs_test::write_file(dir + "/file" + std::to_string(i) + ".c_v", a);
        }
    } catch (const std::exception &ex) {
        std::fprintf(stderr, "pvcs_mktree: %s\n", ex.what());
        return 1;
    }
    return 0;
}
