// The data-file reader: every key read back, and every kind of damage reported
// with its position while the elements before it stay readable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/import/imp_datafile.h"
#include "tests/common/testutil.h"
#include "tests/platform/import/datafile_builder.h"

namespace {

struct parsed {
    int rc = 0;   // 0: whole file read; -1: error
    imp_head head;
    std::vector<imp_element> elements;
    imp_error err;
};

parsed parse_reader(imp_reader *r, parsed p) {
    if (p.rc || imp_read_head(r, &p.head, &p.err)) {
        p.rc = -1;
        return p;
    }
    for (;;) {
        imp_element el;
        int rc = imp_read_element(r, &el, &p.err);
        if (rc == 0)
            return p;
        if (rc < 0) {
            p.rc = -1;
            return p;
        }
        p.elements.push_back(std::move(el));
    }
}

// The text as a file read in chunks of `chunk` bytes (the error names the
// file "test.dat" as a reader from memory does). The file lives in memory,
// as the tables read thousands of them.
parsed parse_file(const std::string &text, size_t chunk) {
    static int fd = memfd_create("test.dat", MFD_CLOEXEC);
    parsed p;
    EXPECT_GE(fd, 0);
    EXPECT_EQ(ftruncate(fd, 0), 0);
    EXPECT_EQ(pwrite(fd, text.data(), text.size(), 0), ssize_t(text.size()));
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    imp_reader r;
    p.rc = imp_reader_open(path.c_str(), &r, &p.err, chunk);
    p = parse_reader(&r, std::move(p));
    if (p.err.file == path)
        p.err.file = "test.dat";
    return p;
}

// Where two readings of one text part, "" when they agree in everything read.
std::string differ(const parsed &a, const parsed &b) {
    if (a.rc != b.rc || imp_error_text(a.err) != imp_error_text(b.err))
        return "error " + imp_error_text(a.err) + " against " + imp_error_text(b.err);
    if (a.head.dirs != b.head.dirs || a.head.globals.export_from_dir != b.head.globals.export_from_dir ||
        a.head.types.label != b.head.types.label)
        return "the head";
    if (a.elements.size() != b.elements.size())
        return std::to_string(a.elements.size()) + " elements against " + std::to_string(b.elements.size());
    for (size_t i = 0; i < a.elements.size(); ++i) {
        const imp_element &x = a.elements[i], &y = b.elements[i];
        bool same = x.name == y.name && x.line == y.line && x.offset == y.offset && x.comment == y.comment &&
                    x.attributes == y.attributes && x.versions.size() == y.versions.size();
        for (size_t k = 0; same && k < x.versions.size(); ++k) {
            const imp_version &v = x.versions[k], &w = y.versions[k];
            same = v.version_id == w.version_id && v.line == w.line && v.extract_cmd == w.extract_cmd &&
                   v.extract_file == w.extract_file && v.comment == w.comment && v.labels == w.labels;
        }
        if (!same)
            return "element " + std::to_string(i) + " (" + x.name + ")";
    }
    return "";
}

// Read from memory, and also from a file in small chunks (of a size chosen
// by the text's length, so that each table meets them all), which must read
// the same in every case.
parsed parse(const std::string &text) {
    imp_reader r;
    imp_reader_init(&r, text, "test.dat");
    parsed p = parse_reader(&r, parsed());
    static const size_t chunks[] = {1, 2, 3, 7, 64};
    size_t chunk = chunks[text.size() % 5];
    EXPECT_EQ(differ(p, parse_file(text, chunk)), "") << "in chunks of " << chunk;
    return p;
}

// One element of every kind of line.
std::string full_file() {
    datafile_builder b;
    b.num("EXPORT_FORMAT", 5).marker("GLOBALS_BEGIN").str("ExportFromDir", "/src/proj");
    b.num("NumElements", 2).num("NumVersions", 3).num("ExporterKind", 3);
    b.str("OntoBranch", "import").str("OntoBrvid", "/main/LATEST").str("LabelAll", "").str("NeedCmd", "co");
    b.marker("GLOBALS_END").marker("TYPES_BEGIN");
    b.marker("ATTYPE_BEGIN").str("AttrType", "owner").marker("ATTYPE_END");
    b.marker("LBTYPE_BEGIN").str("LbType", "REL1").marker("LBTYPE_END");
    b.marker("LBTYPE_BEGIN").str("LbType", "REL2").marker("LBTYPE_END");
    b.marker("BRTYPE_BEGIN").str("BrType", "dev").marker("BRTYPE_END");
    b.marker("ELTYPE_BEGIN").str("ElType", "text_file").marker("ELTYPE_END");
    b.marker("TYPES_END").dir(".").dir("src");
    b.marker("ELEMENT_BEGIN").str("Name", "src/a.c").str("ElType", "text_file").num("Mode", 33188);
    b.event("bob", -5).str("Comment", "line one\nline two").flag("Obsolete");
    b.str("BranchObs", "dev").str("Attrib", "owner=bob").str("Attrib", "x=1").str("AltName", "src/b.c");
    b.marker("VERSION_BEGIN").str("VersionId", "1.1").flag("AbsVersion").event("bob", 1262304000);
    b.str("ExtractCmd", "co -q -r1.1 -p \"%s%ca.c,v\" > \"%s\"").str("SubBranch", "dev");
    b.str("Attrib", "owner=al").str("Label", "REL2").str("Label", "REL1");
    b.str("Merge", "dev/1").str("FMerge", "2").str("Comment", "").marker("VERSION_END");
    b.marker("VERSION_BEGIN").str("VersionId", "1.1.1.1").num("EventTime", 1262304100);
    b.str("OnBranch", "dev").str("ExtractFile", "weird\nELEMENT_END\nname").marker("VERSION_END");
    b.marker("ELEMENT_END");
    b.marker("ELEMENT_BEGIN").str("Name", "empty").num("EventTime", 0).marker("ELEMENT_END");
    return b.text;
}

TEST(DataFile, ReadsEveryKey) {
    parsed p = parse(full_file());
    ASSERT_EQ(p.rc, 0) << imp_error_text(p.err);
    const imp_globals &g = p.head.globals;
    EXPECT_EQ(g.export_from_dir, "/src/proj");
    EXPECT_EQ(g.num_elements, 2);
    EXPECT_EQ(g.num_versions, 3);
    EXPECT_EQ(g.exporter_kind, 3);
    EXPECT_EQ(g.onto_branch, "import");
    EXPECT_EQ(g.onto_brvid, "/main/LATEST");
    ASSERT_TRUE(g.label_all.has_value());
    EXPECT_EQ(*g.label_all, "");
    EXPECT_EQ(g.need_cmd, "co");
    EXPECT_EQ(p.head.types.attribute, imp_str_list{"owner"});
    EXPECT_EQ(p.head.types.label, (imp_str_list{"REL1", "REL2"}));
    EXPECT_EQ(p.head.types.branch, imp_str_list{"dev"});
    EXPECT_EQ(p.head.types.element, imp_str_list{"text_file"});
    EXPECT_EQ(p.head.dirs, (imp_str_list{".", "src"}));

    ASSERT_EQ(p.elements.size(), 2u);
    const imp_element &e = p.elements[0];
    EXPECT_EQ(e.name, "src/a.c");
    EXPECT_EQ(e.eltype, "text_file");
    EXPECT_EQ(e.mode, 33188);
    EXPECT_EQ(e.event.user, "bob");
    EXPECT_EQ(e.event.group, "staff");
    EXPECT_EQ(e.event.host, "host");
    EXPECT_EQ(e.event.time, -5);
    EXPECT_EQ(e.comment, "line one\nline two");
    EXPECT_TRUE(e.obsolete);
    EXPECT_EQ(e.branch_obs, imp_str_list{"dev"});
    EXPECT_EQ(e.attributes, (imp_str_list{"owner=bob", "x=1"}));
    EXPECT_EQ(e.alt_names, imp_str_list{"src/b.c"});
    ASSERT_EQ(e.versions.size(), 2u);
    const imp_version &v = e.versions[0];
    EXPECT_EQ(v.version_id, "1.1");
    EXPECT_TRUE(v.abs_version);
    EXPECT_EQ(v.event.time, 1262304000);
    EXPECT_FALSE(v.on_branch.has_value());
    EXPECT_EQ(v.extract_cmd, "co -q -r1.1 -p \"%s%ca.c,v\" > \"%s\"");
    EXPECT_FALSE(v.extract_file.has_value());
    EXPECT_EQ(v.subbranches, imp_str_list{"dev"});
    EXPECT_EQ(v.labels, (imp_str_list{"REL2", "REL1"}));
    EXPECT_EQ(v.merges, imp_str_list{"dev/1"});
    EXPECT_EQ(v.fmerges, imp_str_list{"2"});
    ASSERT_TRUE(v.comment.has_value());
    EXPECT_EQ(*v.comment, "");
    const imp_version &w = e.versions[1];
    EXPECT_FALSE(w.abs_version);
    EXPECT_FALSE(w.event.user.has_value());
    EXPECT_EQ(w.on_branch, "dev");
    EXPECT_EQ(w.extract_file, "weird\nELEMENT_END\nname");   // a length-prefixed string holds anything
    EXPECT_EQ(p.elements[1].name, "empty");
    EXPECT_TRUE(p.elements[1].versions.empty());
}

TEST(DataFile, EmptyRunIsValid) {
    datafile_builder b;
    b.head("/x", 3, 0).marker("TYPES_BEGIN").marker("TYPES_END").dir(".");
    parsed p = parse(b.text);
    ASSERT_EQ(p.rc, 0) << imp_error_text(p.err);
    EXPECT_TRUE(p.elements.empty());
    EXPECT_EQ(p.head.globals.num_elements, 3);
}

// A valid file with one element, then the damaged text replacing `from` by `to`.
struct damage_case {
    const char *name;
    const char *from;
    const char *to;
    long line;          // expected line of the error
    const char *what;   // expected part of the message
};

std::string small_file() {
    datafile_builder b;
    b.head("/src", 1, 1).marker("TYPES_BEGIN").marker("TYPES_END").dir(".");               // lines 1-12
    b.marker("ELEMENT_BEGIN").str("Name", "a.c").num("Mode", 420).num("EventTime", 100);   // 13-16
    b.marker("VERSION_BEGIN").str("VersionId", "1.1").num("EventTime", 100);               // 17-19
    b.str("ExtractFile", "a.c").str("Comment", "two\nlines").marker("VERSION_END");        // 20-23
    b.marker("ELEMENT_END");                                                               // 24
    return b.text;
}

TEST(DataFile, DamageIsReportedWithItsPosition) {
    const damage_case cases[] = {
        {"format", "EXPORT_FORMAT 5\n", "EXPORT_FORMAT 4\n", 1, "unsupported EXPORT_FORMAT 4"},
        {"not a data file", "EXPORT_FORMAT 5\n", "hello\n", 1, "not an export data file"},
        {"unknown key", "Mode 420\n", "Mood 420\n", 15, "unknown key \"Mood\""},
        {"unknown marker", "VERSION_END\n", "VERSION_STOP\n", 23, "unexpected marker \"VERSION_STOP\""},
        {"bad integer", "Mode 420\n", "Mode 42x\n", 15, "expected a line feed after the integer"},
        {"integer too large", "Mode 420\n", "Mode 99999999999999999999\n", 15, "too large"},
        {"string for integer", "Mode 420\n", "Mode 3:420\n", 15, "takes an integer, found a string"},
        {"integer for string", "Name 3:a.c\n", "Name 3\n", 14, "takes a string, found an integer"},
        {"short length", "ExtractFile 3:a.c\n", "ExtractFile 2:a.c\n", 20, "not followed by a line feed"},
        {"length past the end", "Comment 9:two", "Comment 999:two", 21, "runs past the end"},
        {"keys out of order", "Mode 420\nEventTime 100\n", "EventTime 100\nMode 420\n", 16, "out of order"},
        {"key twice", "Mode 420\n", "Mode 420\nMode 420\n", 16, "given twice"},
        {"missing required key", "VersionId 3:1.1\n", "", 18, "missing \"VersionId\""},
        {"missing event time", "Mode 420\nEventTime 100\n", "Mode 420\n", 16, "missing \"EventTime\""},
        {"missing element end", "VERSION_END\nELEMENT_END\n", "VERSION_END\n", 24, "no ELEMENT_END"},
        {"missing version end", "VERSION_END\n", "", 23, "VERSION_END missing?"},
        {"missing globals end", "GLOBALS_END\n", "", 7, "unexpected marker \"TYPES_BEGIN\""},
        {"error value", "Name 3:a.c\n", "Name <error>\n", 14, "\"<error>\""},
        {"no final line feed", "ELEMENT_END\n", "ELEMENT_END", 24, "no line feed"},
        {"first directory not root", "DirName 1:.\n", "DirName 3:src\n", 10, "must be \".\""},
        {"carriage return", "Mode 420\n", "Mode 420\r\n", 15, "expected a line feed"},
        {"TRUE for string", "Name 3:a.c\n", "Name TRUE\n", 14, "takes a string, found TRUE"},
        {"negative length", "Name 3:a.c\n", "Name -3:a.c\n", 14, "colon after a string length"},
    };
    const std::string good = small_file();
    ASSERT_EQ(parse(good).rc, 0);
    for (const damage_case &c : cases) {
        std::string text = good;
        size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.name;
        text.replace(at, std::strlen(c.from), c.to);
        parsed p = parse(text);
        EXPECT_EQ(p.rc, -1) << c.name;
        EXPECT_EQ(p.err.line, c.line) << c.name << ": " << imp_error_text(p.err);
        EXPECT_NE(p.err.what.find(c.what), std::string::npos) << c.name << ": " << imp_error_text(p.err);
        EXPECT_LE(p.err.offset, int64_t(text.size())) << c.name;
        EXPECT_TRUE(p.elements.empty()) << c.name;
    }
}

TEST(DataFile, OffsetPointsAtTheFault) {
    std::string text = small_file();
    size_t at = text.find("Mode 420");
    text.replace(at, 8, "Mode 42x");
    parsed p = parse(text);
    EXPECT_EQ(p.err.offset, int64_t(at + 7));
    EXPECT_EQ(imp_error_text(p.err).rfind("\"test.dat\", line 15, byte " + std::to_string(at + 7) + ": ", 0),
              0u);
}

TEST(DataFile, GlobalsAndTypesRules) {
    datafile_builder b;
    b.num("EXPORT_FORMAT", 5).marker("GLOBALS_BEGIN").str("ExportFromDir", "/x").num("NumElements", 0);
    b.num("NumVersions", 0).num("ExporterKind", 2).str("OntoBrvid", "/main/3").marker("GLOBALS_END");
    parsed p = parse(b.text);
    EXPECT_NE(p.err.what.find("OntoBrvid without OntoBranch"), std::string::npos) << imp_error_text(p.err);

    datafile_builder t;
    t.head("/x", 0, 0).marker("TYPES_BEGIN");
    t.marker("BRTYPE_BEGIN").str("BrType", "dev").marker("BRTYPE_END");
    t.marker("LBTYPE_BEGIN").str("LbType", "R").marker("LBTYPE_END").marker("TYPES_END").dir(".");
    p = parse(t.text);
    EXPECT_NE(p.err.what.find("after a later group"), std::string::npos) << imp_error_text(p.err);

    datafile_builder d;
    d.head("/x", 0, 0).marker("TYPES_BEGIN").marker("TYPES_END");
    p = parse(d.text);
    EXPECT_NE(p.err.what.find("\".\" is missing"), std::string::npos) << imp_error_text(p.err);
}

TEST(DataFile, ElementsBeforeTheFaultAreHandedOut) {
    std::string good = small_file();
    std::string elem = good.substr(good.find("ELEMENT_BEGIN"));
    std::string text = good + elem + elem.substr(0, elem.size() / 2);
    parsed p = parse(text);
    EXPECT_EQ(p.rc, -1);
    EXPECT_EQ(p.elements.size(), 2u);
    EXPECT_GT(p.err.line, 24 + 12);
}

// Every cut of a valid file either ends at a record boundary (then it reads as
// a shorter valid file) or yields a clean error inside the file; the elements
// handed out are always a prefix of the full file's.
TEST(DataFile, EveryTruncationFailsCleanly) {
    const std::string text = full_file();
    parsed whole = parse(text);
    ASSERT_EQ(whole.rc, 0);
    int valid_cuts = 0;
    for (size_t n = 0; n < text.size(); ++n) {
        parsed p = parse(text.substr(0, n));
        ASSERT_LE(p.elements.size(), whole.elements.size());
        for (size_t i = 0; i < p.elements.size(); ++i)
            EXPECT_EQ(p.elements[i].name, whole.elements[i].name);
        if (p.rc == 0) {
            ++valid_cuts;
            EXPECT_EQ(text[n - 1], '\n');
            EXPECT_TRUE(text.compare(n, 13, "ELEMENT_BEGIN") == 0 || text.compare(n, 9, "DIR_BEGIN") == 0)
                << "cut at " << n;
        } else {
            EXPECT_GT(p.err.line, 0) << n;
            EXPECT_LE(p.err.offset, int64_t(n)) << n;
            EXPECT_FALSE(p.err.what.empty());
        }
    }
    EXPECT_EQ(valid_cuts, 3);   // after each directory record and after the first element
}

// Random byte damage never crashes the reader and never yields a position
// outside the file.
TEST(DataFile, RandomDamageNeverCrashes) {
    const std::string text = full_file();
    std::mt19937 rng(12345);
    for (int i = 0; i < 3000; ++i) {
        std::string t = text;
        int edits = 1 + int(rng() % 4);
        for (int k = 0; k < edits && !t.empty(); ++k) {
            size_t at = rng() % t.size();
            switch (rng() % 4) {
                case 0:
                    t[at] = char(rng() % 256);
                    break;
                case 1:
                    t.erase(at, 1 + rng() % 8);
                    break;
                case 2:
                    t.insert(at, 1, "0123456789:\n -T"[rng() % 15]);
                    break;
                case 3:
                    t[at] = char('0' + rng() % 10);
                    break;
            }
        }
        parsed p = parse(t);
        if (p.rc != 0) {
            EXPECT_GE(p.err.offset, 0);
            EXPECT_LE(p.err.offset, int64_t(t.size()));
            EXPECT_GT(p.err.line, 0);
        }
    }
}

TEST(DataFile, MissingFileIsAnError) {
    imp_reader r;
    imp_error err;
    EXPECT_NE(imp_reader_open("/nonexistent/x.dat", &r, &err), 0);
    EXPECT_NE(imp_error_text(err).find("/nonexistent/x.dat"), std::string::npos);
}

// A file of many elements and one string of 1 MB across many chunks: read
// as from memory, with the buffer holding about a chunk besides the record
// in hand; a fault after the long string names its line; a mark taken
// before a long stretch is come back to; a pipe and a directory.
TEST(DataFile, LargeFileIsReadInChunks) {
    const size_t chunk = 4096;
    datafile_builder b;
    b.head("/src", 1, 1).marker("TYPES_BEGIN").marker("TYPES_END").dir(".");
    auto element = [&](const std::string &name, const std::string &comment) {
        b.marker("ELEMENT_BEGIN").str("Name", name).num("Mode", 420).num("EventTime", 100);
        b.marker("VERSION_BEGIN").str("VersionId", "1.1").num("EventTime", 100);
        b.str("ExtractCmd", "co -q -r1.1 -p \"%s%c" + name + ",v\" > \"%s\"").str("Comment", comment);
        b.marker("VERSION_END").marker("ELEMENT_END");
    };
    for (int i = 0; i < 4000; ++i)
        element("e" + std::to_string(i), "one\ntwo");
    std::string big;
    while (big.size() < (size_t(1) << 20))
        big += std::string(999, char('a' + big.size() % 26)) + "\n";
    big += "ELEMENT_END\nDIR_BEGIN\n";
    element("big", big);
    for (int i = 0; i < 4000; ++i)
        element("f" + std::to_string(i), "three");
    const std::string text = b.text;

    testutil::TempDir dir;
    std::string path = dir / "big.dat";
    testutil::write_file(path, text);
    imp_reader mem;
    imp_reader_init(&mem, text, path);
    parsed want = parse_reader(&mem, parsed());
    ASSERT_EQ(want.rc, 0) << imp_error_text(want.err);
    ASSERT_EQ(want.elements.size(), 8001u);
    EXPECT_EQ(want.elements[4000].versions[0].comment, big);

    imp_reader r;
    imp_error err;
    ASSERT_EQ(imp_reader_open(path.c_str(), &r, &err, chunk), 0) << imp_error_text(err);
    parsed got;
    ASSERT_EQ(imp_read_head(&r, &got.head, &got.err), 0) << imp_error_text(got.err);
    imp_reader_mark first = imp_reader_tell(&r);
    size_t most = 0, most_small = 0;
    for (imp_element el; imp_read_element(&r, &el, &got.err) == 1;) {
        bool near_big = el.name == "big" || el.name == "f0";
        most = std::max(most, r.buf.size());
        if (!near_big)
            most_small = std::max(most_small, r.buf.capacity());
        got.elements.push_back(std::move(el));
    }
    EXPECT_EQ(differ(want, got), "");
    EXPECT_LE(most, big.size() + 3 * chunk);
    EXPECT_LE(most_small, 8 * chunk) << "the buffer keeps what was read";
    EXPECT_LT(most, text.size() / 2);

    // Back to the first element, read again from the file.
    ASSERT_EQ(imp_reader_seek(&r, first, &err), 0) << imp_error_text(err);
    imp_element again;
    ASSERT_EQ(imp_read_element(&r, &again, &err), 1) << imp_error_text(err);
    EXPECT_EQ(again.name, "e0");
    EXPECT_EQ(again.line, want.elements[0].line);
    EXPECT_EQ(again.offset, want.elements[0].offset);

    // Faults after the long string, each at its own line and byte.
    struct fault {
        const char *from, *to, *what;
    };
    const fault faults[] = {
        {"Name 5:f3999\nMode 420\n", "Name 5:f3999\nMode 42x\n", "expected a line feed after the integer"},
        {"Name 4:f123\n", "Name 4:f123\n\n", "a line must begin with a marker or a key"},
        {"Comment 5:three\nVERSION_END\nELEMENT_END\n", "Comment 99:three\nVERSION_END\nELEMENT_END\n",
         "runs past the end"},
    };
    for (const fault &f : faults) {
        SCOPED_TRACE(f.what);
        std::string bad = text;
        size_t at = f.from[0] == 'C' ? bad.rfind(f.from) : bad.find(f.from);
        ASSERT_NE(at, std::string::npos);
        ASSERT_GT(at, text.find(big));
        bad.replace(at, std::strlen(f.from), f.to);
        testutil::write_file(path, bad);
        imp_reader mr;
        imp_reader_init(&mr, bad, path);
        parsed m = parse_reader(&mr, parsed());
        imp_reader fr;
        parsed p;
        p.rc = imp_reader_open(path.c_str(), &fr, &p.err, chunk);
        p = parse_reader(&fr, std::move(p));
        EXPECT_EQ(differ(m, p), "");
        EXPECT_NE(p.err.what.find(f.what), std::string::npos) << imp_error_text(p.err);
        size_t fault_at = size_t(p.err.offset);
        EXPECT_EQ(p.err.line, 1 + std::count(bad.begin(), bad.begin() + long(fault_at), '\n'))
            << imp_error_text(p.err);
    }

    // A pipe is read whole; a directory cannot be read.
    std::string fifo = dir / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { testutil::write_file(fifo, text); });
    imp_reader pr;
    parsed p;
    p.rc = imp_reader_open(fifo.c_str(), &pr, &p.err, chunk);
    writer.join();
    p = parse_reader(&pr, std::move(p));
    EXPECT_EQ(p.elements.size(), want.elements.size());
    imp_reader dr;
    EXPECT_NE(imp_reader_open(dir.path().c_str(), &dr, &err), 0);
    EXPECT_EQ(err.line, 0);
    EXPECT_NE(err.what.find("cannot read the data file"), std::string::npos) << err.what;
}

}   // namespace
