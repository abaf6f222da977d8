// The archive reader on archives made by the test writer: recognition, the
// records it reads, the revision order, and every kind of damage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <random>
#include <sys/stat.h>

#include "drivers/pvcs/pvcs_archive.h"
#include "tests/common/testutil.h"
#include "tests/pvcs/pvcs_writer.h"

namespace {

using pvcs_test::dos_time;

pvcs_test::revision rev(const std::string &number, uint32_t time) {
    pvcs_test::revision r;
    r.number = number;
    r.time = time;
    return r;
}

// A date a given number of minutes after 2003-01-01 00:00.
uint32_t minutes_on(int i) { return dos_time(2003, 1, 1 + i / 1440, i / 60 % 24, i % 60, 0); }

std::string bytes_of(std::initializer_list<int> b) {
    std::string s;
    for (int c : b)
        s.push_back(char(c));
    return s;
}

struct PvcsReader : ::testing::Test {
    testutil::TempDir dir;
    testutil::ImsgCapture msgs;
    pvcs_element *e = nullptr;
    void TearDown() override { pvcs_close(e); }

    std::string path(const std::string &name = "a.c_v") { return dir / name; }
    int open_bytes(const std::string &bytes, const std::string &name = "a.c_v") {
        testutil::write_file(path(name), bytes);
        pvcs_close(e);
        e = nullptr;
        return pvcs_open(path(name).c_str(), &e);
    }
    int open(const pvcs_test::archive &a, const std::string &name = "a.c_v") {
        return open_bytes(pvcs_test::write(a), name);
    }
    std::vector<std::string> order() const {
        std::vector<std::string> out;
        for (int i = e->first; i >= 0; i = e->revisions[size_t(i)].next)
            out.push_back(e->revisions[size_t(i)].number);
        return out;
    }
    // The message and the file's name and offset, then a good archive opens.
    void expect_damage(const std::string &bytes, const std::string &text, long long offset) {
        msgs.clear();
        EXPECT_EQ(open_bytes(bytes, "bad.c_v"), PVCS_FAILED);
        EXPECT_EQ(e, nullptr);
        std::string err = msgs.err();
        EXPECT_NE(err.find(text), std::string::npos) << err;
        EXPECT_NE(err.find(path("bad.c_v")), std::string::npos) << err;
        EXPECT_NE(err.find("byte " + std::to_string(offset)), std::string::npos) << err;
        pvcs_test::archive good;
        good.revisions = {rev("1.1", minutes_on(0))};
        ASSERT_EQ(open(good), 0);
        EXPECT_EQ(e->count, 1);
    }
};

pvcs_test::archive three() {
    pvcs_test::archive a;
    a.revisions = {rev("1.3", minutes_on(30)), rev("1.2", minutes_on(20)), rev("1.1", minutes_on(10))};
    return a;
}

TEST_F(PvcsReader, RecognisesArchivesSilently) {
    pvcs_test::archive a = three();
    std::string good = pvcs_test::write(a);
    auto is = [&](const std::string &bytes) {
        testutil::write_file(path("x"), bytes);
        bool yes = true;
        EXPECT_EQ(pvcs_is_archive(path("x").c_str(), &yes), 0);
        return yes;
    };
    EXPECT_TRUE(is(good));
    a.magic = 0xE2;
    EXPECT_TRUE(is(pvcs_test::write(a)));
    std::string s = good;
    s[0] = char(0xE3);
    EXPECT_FALSE(is(s));
    s = good;
    s[1] = 1;
    EXPECT_FALSE(is(s));
    s = good;
    s[s.size() - 12] = '#';
    EXPECT_FALSE(is(s));
    EXPECT_FALSE(is(good.substr(0, 11)));
    EXPECT_FALSE(is(""));
    // Neither a directory nor a FIFO (which must not block) is an archive.
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    for (const char *other : {"fifo", ""}) {
        bool yes = true;
        EXPECT_EQ(pvcs_is_archive(path(other).c_str(), &yes), 0);
        EXPECT_FALSE(yes);
    }
    EXPECT_EQ(msgs.err(), "");
    EXPECT_EQ(pvcs_open(path("fifo").c_str(), &e), PVCS_CANT_OPEN_ARCHIVE);

    bool yes = true;
    EXPECT_EQ(pvcs_is_archive(path("none").c_str(), &yes), PVCS_FAILED);
    EXPECT_FALSE(yes);
    EXPECT_NE(msgs.err().find("Unable to open \"" + path("none") + "\""), std::string::npos);
    EXPECT_EQ(pvcs_open(path("none").c_str(), &e), PVCS_CANT_OPEN_ARCHIVE);
    EXPECT_EQ(e, nullptr);
}

TEST_F(PvcsReader, RevisionChain) {
    pvcs_test::archive a = three();
    a.revisions[0].flag = 1;   // the first block is the last one taken
    ASSERT_EQ(open(a), 0);
    EXPECT_EQ(e->count, 1);
    EXPECT_EQ(order(), std::vector<std::string>{"1.3"});
    EXPECT_EQ(e->current, e->first);
    EXPECT_EQ(e->name, dir / "main.c");

    for (bool no_number : {false, true}) {
        a = three();
        a.revisions[0].no_number = no_number;
        a.revisions[0].time = no_number ? a.revisions[0].time : 0;
        ASSERT_EQ(open(a), 0);
        EXPECT_EQ(e->count, 0);
        EXPECT_EQ(e->first, -1);
        EXPECT_EQ(e->current, -1);
    }
    a.revisions.clear();
    ASSERT_EQ(open(a), 0);
    EXPECT_EQ(e->count, 0);
    EXPECT_EQ(msgs.err(), "");

    a = three();
    a.revisions[1].no_number = true;
    EXPECT_EQ(open(a), PVCS_FAILED);
    EXPECT_NE(msgs.err().find("Could not find date or version in file."), std::string::npos);
    a.revisions[1].no_number = false;
    a.revisions[2].time = 0;
    EXPECT_EQ(open(a), PVCS_FAILED);
}

TEST_F(PvcsReader, FieldEncodings) {
    pvcs_test::archive a;
    for (const std::string &b : {bytes_of({4, 0, 1, 0, 2}), bytes_of({6, 0, 1, 0, 2, 0, 3})}) {
        pvcs_test::revision r;
        r.no_number = true;
        r.extra = {{'B', b}, {'D', bytes_of({0x2E, 0x2F, 0x18, 0x20})}};
        a.revisions.push_back(r);
    }
    ASSERT_EQ(open(a), 0);
    ASSERT_EQ(e->count, 2);
    EXPECT_EQ(e->revisions[0].number, "1.2");
    EXPECT_EQ(e->revisions[1].number, "1.2.3");
    EXPECT_EQ(e->revisions[1].fields, (std::vector<unsigned>{1, 2, 3}));
    EXPECT_EQ(e->revisions[0].date, 1042599660);   // 2003-01-15 03:01:00 under TZ=UTC
    EXPECT_EQ(pvcs_test::rev_bytes("1.2"), bytes_of({4, 0, 1, 0, 2}));
}

// Sets TZ for one test and puts it back.
struct ScopedTz {
    std::string old;
    bool had;
    explicit ScopedTz(const char *tz) {
        const char *o = std::getenv("TZ");
        had = o != nullptr;
        old = o ? o : "";
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTz() {
        if (had)
            setenv("TZ", old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
};

int64_t local(int y, int mo, int d, int h, int mi, int s) {
    struct tm tm = {};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return int64_t(mktime(&tm));
}

TEST_F(PvcsReader, TimesAreLocal) {
    for (const char *tz : {"UTC", "America/New_York"}) {
        ScopedTz scoped(tz);
        int64_t t = 0;
        ASSERT_EQ(pvcs_dos_time_to_time(0x2E2F1820, &t), 0);
        EXPECT_EQ(t, local(2003, 1, 15, 3, 1, 0)) << tz;
    }
    ScopedTz ny("America/New_York");
    // Across both changes of the year, in and out of summer time, each as
    // mktime has it (the conversion reuses the offset of the time before).
    for (int month = 1; month <= 12; ++month)
        for (int day = 1; day <= 28; day += 3)
            for (int hour : {0, 1, 2, 3, 13, 23}) {
                if ((month == 4 && day == 6 && hour == 2) || (month == 10 && day == 26 && hour == 1))
                    continue;   // the gap and the fold, below
                int64_t t = 0;
                ASSERT_EQ(pvcs_dos_time_to_time(dos_time(2003, month, day, hour, 59, 58), &t), 0);
                EXPECT_EQ(t, local(2003, month, day, hour, 59, 58)) << month << "/" << day << " " << hour;
            }
    // Within an hour of the fields read as standard time (UTC-5).
    int64_t gap = 0, fold = 0;
    ASSERT_EQ(pvcs_dos_time_to_time(dos_time(2003, 4, 6, 2, 30, 0), &gap), 0);
    ASSERT_EQ(pvcs_dos_time_to_time(dos_time(2003, 10, 26, 1, 30, 0), &fold), 0);
    EXPECT_LE(std::llabs(gap - (1049596200 + 5 * 3600)), 3600);    // 2003-04-06 02:30 UTC
    EXPECT_LE(std::llabs(fold - (1067131800 + 5 * 3600)), 3600);   // 2003-10-26 01:30 UTC
}

TEST_F(PvcsReader, TimesOutOfRangeAreRefused) {
    int64_t t = 77;
    EXPECT_EQ(pvcs_dos_time_to_time(dos_time(2004, 2, 29, 23, 59, 58), &t), 0);
    for (uint32_t bad :
         {dos_time(2003, 13, 1, 0, 0, 0), dos_time(2003, 0, 1, 0, 0, 0), dos_time(2003, 1, 0, 0, 0, 0),
          dos_time(2003, 2, 29, 0, 0, 0), dos_time(2003, 4, 31, 0, 0, 0), dos_time(2003, 1, 1, 24, 0, 0),
          dos_time(2003, 1, 1, 0, 60, 0), dos_time(2003, 1, 1, 0, 0, 0) | 30,
          dos_time(2003, 1, 1, 0, 0, 0) | 0x80000000u}) {
        t = 77;
        EXPECT_EQ(pvcs_dos_time_to_time(bad, &t), 1) << std::hex << bad;
        EXPECT_EQ(t, 77);
    }
    // A revision's date that is no time: the archive is not opened, whether
    // it is the first block (which would otherwise read as no revisions at
    // all) or a later one.
    for (size_t which : {0, 2}) {
        pvcs_test::archive b = three();
        b.revisions[which].time = dos_time(2003, 2, 30, 0, 0, 0);
        msgs.clear();
        EXPECT_EQ(open(b), PVCS_FAILED) << which;
        EXPECT_NE(msgs.err().find("Could not parse date string in PVCS archive."), std::string::npos);
    }
    // In the header: reported with the file and offset, the time stays unset.
    pvcs_test::archive a = three();
    a.time = dos_time(2003, 13, 1, 0, 0, 0);
    pvcs_test::layout l;
    testutil::write_file(path(), pvcs_test::write(a, &l));
    ASSERT_EQ(pvcs_open(path().c_str(), &e), 0);
    EXPECT_EQ(e->header.time, 0);
    EXPECT_EQ(e->count, 3);
    std::string err = msgs.err();
    EXPECT_NE(err.find("Could not parse date string in PVCS archive."), std::string::npos);
    EXPECT_NE(err.find("byte " + std::to_string(l.record_pos[0][1] + 3) + ": 2FA10000 is not a date"),
              std::string::npos)
        << err;
}

TEST_F(PvcsReader, SortedListOfTheExample) {
    pvcs_test::archive a;
    a.revisions = {rev("1.3", minutes_on(30)), rev("1.2.1.0", minutes_on(25)), rev("1.2", minutes_on(20)),
                   rev("1.1", minutes_on(10))};
    ASSERT_EQ(open(a), 0);
    EXPECT_EQ(order(), (std::vector<std::string>{"1.1", "1.2", "1.2.1.0", "1.3"}));
    a.revisions[1].time = minutes_on(40);
    ASSERT_EQ(open(a), 0);
    EXPECT_EQ(order(), (std::vector<std::string>{"1.1", "1.2", "1.3", "1.2.1.0"}));
}

TEST(PvcsRevCompare, AlongLinesOfDescent) {
    testutil::ImsgCapture msgs;
    EXPECT_LT(pvcs_rev_compare("1.1", "1.2", 1), 0);
    EXPECT_LT(pvcs_rev_compare("1.2", "1.2.1.0", 1), 0);
    EXPECT_LT(pvcs_rev_compare("1.2.1.0", "1.2.1.1", 1), 0);
    EXPECT_LT(pvcs_rev_compare("1.1", "1.2.1.1", 1), 0);
    EXPECT_GT(pvcs_rev_compare("2.1", "1.9", 1), 0);
    EXPECT_EQ(pvcs_rev_compare("1.2.1.1", "1.3", 1), 0);
    EXPECT_EQ(pvcs_rev_compare("1.2.1.1", "1.2.2.1", 1), 0);
    EXPECT_EQ(pvcs_rev_compare("1.2", "1.2", 1), 0);
    EXPECT_EQ(msgs.err(), "");
    EXPECT_EQ(pvcs_rev_compare("1", "1.2", 1), 0);
    EXPECT_NE(msgs.err().find("Branch identifier string passed instead of version identifier."),
              std::string::npos);
}

// The insertion as first written: front check, then the walk from the second.
std::vector<std::string> plain_order(const pvcs_element *e) {
    std::vector<int> list;
    auto smaller = [&](int r, int x) {
        const pvcs_revision &R = e->revisions[size_t(r)], &X = e->revisions[size_t(x)];
        int c = pvcs_rev_compare(R.number.c_str(), X.number.c_str(), 1);
        return c < 0 || (c == 0 && uint32_t(X.date) > uint32_t(R.date));
    };
    for (int r = 0; r < e->count; ++r) {
        if (list.empty() || smaller(r, list[0])) {
            list.insert(list.begin(), r);
            continue;
        }
        size_t at = 1;
        while (at < list.size() && !smaller(r, list[at]))
            ++at;
        list.insert(list.begin() + long(at), r);
    }
    std::vector<std::string> out;
    for (int i : list)
        out.push_back(e->revisions[size_t(i)].number);
    return out;
}

TEST_F(PvcsReader, SortedListEqualsThePlainInsertion) {
    std::mt19937 rng(20031);
    for (int round = 0; round < 150; ++round) {
        std::vector<pvcs_test::revision> revs;
        auto date = [&] { return minutes_on(int(rng() % 12) * 7); };   // equal ones are common
        int trunk = 1 + int(rng() % 6);
        for (int i = 1; i <= trunk; ++i) {
            std::string base = "1." + std::to_string(i);
            revs.push_back(rev(base, date()));
            for (int b = 1; b <= int(rng() % 3); ++b)
                for (int k = 0; k <= int(rng() % 3); ++k) {
                    std::string on = base + "." + std::to_string(b) + "." + std::to_string(k);
                    revs.push_back(rev(on, date()));
                    if (rng() % 3 == 0)
                        for (int j = 1; j <= int(rng() % 3); ++j)
                            revs.push_back(rev(
                                on + "." + std::to_string(1 + rng() % 2) + "." + std::to_string(j), date()));
                }
        }
        if (rng() % 4 == 0)
            revs.push_back(rev("2.1", date()));
        for (int how = 0; how < 3; ++how) {
            pvcs_test::archive a;
            a.revisions = revs;
            if (how == 1)
                std::reverse(a.revisions.begin(), a.revisions.end());
            if (how == 2)
                std::shuffle(a.revisions.begin(), a.revisions.end(), rng);
            ASSERT_EQ(open(a), 0);
            ASSERT_EQ(e->count, int(revs.size()));
            ASSERT_EQ(order(), plain_order(e)) << "round " << round << " order " << how;
        }
    }
}

TEST_F(PvcsReader, AppendingNeedsNoWalk) {
    const int n = 20000;
    for (int branch = 0; branch < 3; ++branch) {
        pvcs_test::archive a;
        if (branch == 1)
            a.revisions.push_back(rev("1.1", minutes_on(0)));
        for (int i = 1; i <= n; ++i)
            a.revisions.push_back(rev((branch == 1 ? "1.1.1." : "1.") + std::to_string(i), minutes_on(i)));
        if (branch == 2)   // newest first
            std::reverse(a.revisions.begin(), a.revisions.end());
        uint64_t before = pvcs_sort_compares();
        ASSERT_EQ(open(a), 0);
        EXPECT_LT(pvcs_sort_compares() - before, uint64_t(4) * uint64_t(e->count)) << branch;
        std::vector<std::string> got = order();
        ASSERT_EQ(got.size(), size_t(e->count));
        EXPECT_EQ(got.back(), (branch == 1 ? "1.1.1." : "1.") + std::to_string(n));
    }
}

TEST_F(PvcsReader, HeaderRecords) {
    pvcs_test::archive a = three();
    a.owner = "ann";
    a.time = dos_time(2002, 6, 1, 12, 0, 0);
    a.description = "the element\r\n";
    a.locks = {{"bob", "1.3"}, {"cy", "1.2.1.4"}};
    a.labels = {{"REL1", "1.2"}, {"BR", "1.2.1"}, {"REL1b", "1.2"}, {"x", "1.3"}};
    a.groups = {{"DEV", "1.3"}, {"PROD", "1.2"}};
    ASSERT_EQ(open(a), 0);
    ASSERT_EQ(e->header.labels.size(), 4u);
    EXPECT_EQ(e->header.labels[0].name, "x");
    EXPECT_EQ(e->header.labels[3].name, "REL1");
    EXPECT_EQ(e->header.groups[0].name, "PROD");
    EXPECT_EQ(e->header.groups[1].name, "DEV");
    int cursor = -1;
    std::vector<std::string> found;
    while (pvcs_find_label(e, "1.2", &cursor) >= 0)
        found.push_back(e->header.labels[size_t(cursor)].name);
    EXPECT_EQ(found, (std::vector<std::string>{"REL1b", "REL1"}));
    EXPECT_EQ(pvcs_find_label(e, "1.2", &cursor), -1);
    element_info info;
    ASSERT_EQ(pvcs_read_header(e, &info), 0);
    EXPECT_EQ(info.user, "ann");
    EXPECT_EQ(info.created, local(2002, 6, 1, 12, 0, 0));
    EXPECT_EQ(info.comment, "the element\r\n");
    EXPECT_EQ(info.checkouts, (str_list{"bob:1.3", "cy:1.2.1.4"}));
    for (const opt_str &owner : {opt_str(""), opt_str()}) {
        a.owner = owner;
        a.description.reset();
        ASSERT_EQ(open(a), 0);
        element_info i2;
        ASSERT_EQ(pvcs_read_header(e, &i2), 0);
        EXPECT_EQ(i2.user, "unknown");
        EXPECT_FALSE(i2.comment.has_value());
    }
    pvcs_file f;
    ASSERT_EQ(f.open(path()), 0);
    std::string w;
    ASSERT_EQ(pvcs_workfile_name(f, path(), &w), 0);
    EXPECT_EQ(w, "main.c");
}

TEST_F(PvcsReader, LengthWidthsAndUnknownRecords) {
    pvcs_test::archive a = three();
    a.long_lengths = true;
    a.owner = "ann";
    a.header_extra = {{'Z', std::string(40000, 'z')}, {'Q', "", true}};
    a.revisions[0].long_lengths = true;
    a.revisions[0].author = "bob";
    a.revisions[0].comment = std::string(70000, 'c');
    a.revisions[0].contents = std::string(100000, 't');   // a 4-byte length, stepped over
    a.revisions[1].extra = {{'T', std::string(33000, 'q')}, {'!', "\x40\x40"}};
    a.revisions[1].author = "";
    a.revisions[2].contents = "short";
    ASSERT_EQ(open(a), 0);
    EXPECT_EQ(order(), (std::vector<std::string>{"1.1", "1.2", "1.3"}));
    EXPECT_EQ(e->header.owner, "ann");
    EXPECT_EQ(e->revisions[0].author, "bob");
    EXPECT_EQ(e->revisions[0].comment->size(), 70000u);
    EXPECT_EQ(e->revisions[1].author, "");
    EXPECT_FALSE(e->revisions[2].author.has_value());
    EXPECT_EQ(msgs.err(), "");
}

// Distances may lead backwards: blocks kept in another order than the chain's,
// and a header after them, read as the same archive. A chain that comes back
// to a block is a loop, and is said to be one.
TEST_F(PvcsReader, BlocksInAnyOrderAndLoops) {
    pvcs_test::archive a = three();
    a.labels = {{"REL", "1.2"}};
    a.revisions[1].comment = "second";
    a.revisions[2].contents = std::string(70000, 'x');
    for (auto [blocks, header_last] :
         {std::pair<std::vector<size_t>, bool>{{2, 1, 0}, false}, {{2, 1, 0}, true}, {{1, 2, 0}, true}}) {
        a.block_order = blocks;
        a.header_last = header_last;
        pvcs_test::layout l;
        ASSERT_EQ(open_bytes(pvcs_test::write(a, &l)), 0) << msgs.err();
        EXPECT_EQ(order(), (std::vector<std::string>{"1.1", "1.2", "1.3"}));
        EXPECT_EQ(e->revisions[1].comment, "second");
        EXPECT_EQ(e->header.labels.size(), 1u);
        EXPECT_EQ(msgs.err(), "");
    }
    a.block_order = {2, 1, 0};
    a.header_last = true;
    a.revisions[2].flag = 0;   // the last block no longer ends the chain
    pvcs_test::layout l;
    std::string bytes = pvcs_test::write(a, &l);
    // The block of 1.1 (first in the file) leads back to the block of 1.2.
    pvcs_test::put_u32(&bytes, l.block_pos[2] + 4, uint32_t(l.block_pos[1] - l.block_pos[2]));
    expect_damage(bytes, "leads to byte " + std::to_string(l.block_pos[1]) + ", a block already read",
                  l.block_pos[2] + 4);
}

TEST_F(PvcsReader, DamageIsReportedWithFileAndOffset) {
    pvcs_test::archive a = three();
    pvcs_test::layout l;
    const std::string good = pvcs_test::write(a, &l);
    auto patched = [&](int64_t at, uint32_t v) {
        std::string s = good;
        pvcs_test::put_u32(&s, at, v);
        return s;
    };
    long long t = l.trailer_pos, b1 = l.block_pos[1];
    expect_damage(patched(t + 4, 0x7FFFFFF0), "outside the file", t + 4);
    expect_damage(patched(t + 4, uint32_t(-int32_t(t) - 100)), "outside the file", t + 4);
    expect_damage(patched(t + 4, uint32_t(-4)), "into its own block header", t + 4);
    expect_damage(patched(4, 5), "into its own block header", 4);
    expect_damage(patched(b1 + 4, 0), "into its own block header", b1 + 4);
    expect_damage(patched(b1 + 4, uint32_t(good.size())), "outside the file", b1 + 4);
    // The last block's distance is not followed, so nothing it holds is damage.
    for (uint32_t last : {0u, 0x7FFFFFF0u, uint32_t(-int32_t(good.size()))}) {
        msgs.clear();
        ASSERT_EQ(open_bytes(patched(l.block_pos[2] + 4, last)), 0) << msgs.err();
        EXPECT_EQ(e->count, 3);
        EXPECT_EQ(msgs.err(), "");
    }
    expect_damage(good.substr(0, 20), "An error occurred while parsing an archive file", 0);
    EXPECT_NE(msgs.err().find("An error occurred while rewinding file"), std::string::npos);

    // A record longer than its block, or than the file.
    std::string s = good;
    int64_t rec = l.record_pos[1][0];
    s[size_t(rec + 1)] = 0x7F;
    expect_damage(s, "a record runs past the end of the file (" + std::to_string(good.size()) + " bytes)",
                  rec);
    s = good;
    s[size_t(rec + 2)] = char(l.block_pos[1] - (rec + 3) + 1);
    expect_damage(s, "runs past the end of its block at byte " + std::to_string(l.block_pos[1]), rec);

    auto with_extra = [&](char tag, const std::string &body) {
        pvcs_test::archive b = three();
        b.revisions[1].extra = {{tag, body}};
        pvcs_test::layout lb;
        std::string bytes = pvcs_test::write(b, &lb);
        return std::make_pair(bytes, lb.record_pos[2][0]);
    };
    auto [odd, odd_at] = with_extra('B', bytes_of({3, 0, 1, 0}));
    expect_damage(odd, "odd count byte, 3", odd_at + 3);
    auto [cut, cut_at] = with_extra('B', bytes_of({8, 0, 1, 0, 2}));
    expect_damage(cut, "a field runs past the end of its record", cut_at + 3);
    auto [str, str_at] = with_extra('O', bytes_of({9, 'a', 'b'}));
    expect_damage(str, "a field runs past the end of its record", str_at + 3);
    auto [tm, tm_at] = with_extra('D', bytes_of({0x2E, 0x2F}));
    expect_damage(tm, "a field runs past the end of its record", tm_at + 3);
    pvcs_test::archive h = three();
    h.header_extra = {{'S', bytes_of({2, 'L'})}};
    expect_damage(pvcs_test::write(h), "a field runs past the end of its record", 12 + 3 + 2);
}

TEST_F(PvcsReader, LimitsRejectTheArchive) {
    std::string n42;
    for (int i = 0; i < 42; ++i)
        n42 += (i ? ".10000" : "10000");
    std::string rev51 = n42.substr(0, 47) + ".123", rev52 = n42.substr(0, 47) + ".1234";
    ASSERT_EQ(rev51.size(), 51u);
    pvcs_test::archive a = three();
    a.revisions[0].number = rev51;
    ASSERT_EQ(open(a), 0);
    a.revisions[0].number = rev52;
    pvcs_test::layout l;
    pvcs_test::write(a, &l);
    expect_damage(pvcs_test::write(a), "revision number \"" + rev52 + "\" is longer than 51",
                  l.record_pos[1][0]);

    a = three();
    a.labels = {{"L", n42 + ".123"}};
    ASSERT_EQ(open(a), 0);
    a.labels = {{"L", n42 + ".1234"}};
    std::string bytes = pvcs_test::write(a, &l);
    expect_damage(bytes, "of version label \"L\" is longer than 255", l.record_pos[0][1]);
    EXPECT_EQ(a.labels[0].number.size(), 256u);
}

TEST_F(PvcsReader, CutAndFlippedArchivesNeverCrash) {
    pvcs_test::archive a = three();
    a.owner = "ann";
    a.description = "desc";
    a.labels = {{"L", "1.2"}};
    a.revisions[1].author = "bob";
    a.revisions[1].comment = "text";
    const std::string good = pvcs_test::write(a);
    // What opens holds every revision once, in a list linked both ways.
    auto sound = [&](int rc) {
        if (rc != 0)
            return rc == PVCS_FAILED && e == nullptr;
        int n = 0, prev = -1;
        for (int i = e->first; i >= 0 && n <= e->count; i = e->revisions[size_t(i)].next, ++n) {
            const pvcs_revision &r = e->revisions[size_t(i)];
            if (r.prev != prev || r.number.empty() || r.number.size() > PVCS_MAX_REV || r.date == 0)
                return false;
            prev = i;
        }
        return n == e->count && size_t(n) == e->revisions.size();
    };
    std::mt19937 rng(7);
    for (size_t len = 0; len <= good.size(); ++len)
        EXPECT_TRUE(sound(open_bytes(good.substr(0, len)))) << len;
    for (size_t at = 0; at < good.size(); ++at)
        for (int k = 0; k < 4; ++k) {
            std::string s = good;
            s[at] = char(k == 0 ? 0xFF : k == 1 ? 0x80 : rng());
            EXPECT_TRUE(sound(open_bytes(s))) << at;
        }
}

TEST(PvcsFile, ReadsAcrossItsBufferAndNeverPastTheEnd) {
    testutil::TempDir dir;
    std::string bytes(200000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 % 251);
    testutil::write_file(dir / "f", bytes);
    pvcs_file f;
    ASSERT_EQ(f.open(dir / "f"), 0);
    EXPECT_EQ(f.size(), 200000);
    for (int64_t at :
         {int64_t(0), int64_t(65533), int64_t(65536), int64_t(131070), int64_t(199996), int64_t(3)}) {
        ASSERT_TRUE(f.seek(at));
        uint32_t v = 0;
        ASSERT_TRUE(f.read_u32(&v)) << at;
        uint32_t want = 0;
        for (int k = 0; k < 4; ++k)
            want = want << 8 | (unsigned char)bytes[size_t(at + k)];
        EXPECT_EQ(v, want) << at;
        EXPECT_EQ(f.tell(), at + 4);
    }
    std::string big(100000, '\0');
    ASSERT_TRUE(f.seek(50000));
    ASSERT_TRUE(f.read(big.data(), big.size()));
    EXPECT_EQ(big, bytes.substr(50000, 100000));
    EXPECT_TRUE(f.seek(200000));
    EXPECT_FALSE(f.seek(200001));
    EXPECT_FALSE(f.seek(-1));
    ASSERT_TRUE(f.seek(199998));
    unsigned u = 0;
    EXPECT_FALSE(f.read(big.data(), 3));
    EXPECT_EQ(f.tell(), 199998);
    EXPECT_TRUE(f.read_u16(&u));
    EXPECT_FALSE(f.read_u8(&u));
    EXPECT_FALSE(f.io_error());
    EXPECT_NE(f.open(dir / "none"), 0);
    EXPECT_FALSE(f.is_open());
}

TEST(PvcsElementName, FromLocationAndWorkfile) {
    EXPECT_EQ(pvcs_element_name("src/VCS/main.c_v", "C:\\WORK\\SRC\\MAIN.C"), "src/MAIN.C");
    EXPECT_EQ(pvcs_element_name("src/vcs/main.c_v", "main.c"), "src/main.c");
    EXPECT_EQ(pvcs_element_name("VCS/main.c_v", "D:main.c"), "main.c");
    EXPECT_EQ(pvcs_element_name("./Vcs/main.c_v", "/home/u/main.c"), "main.c");
    EXPECT_EQ(pvcs_element_name("a/b/main.c_v", "main.c"), "a/b/main.c");
    EXPECT_EQ(pvcs_element_name("a/VCSX/main.c_v", "main.c"), "a/VCSX/main.c");
    EXPECT_EQ(pvcs_element_name("main.c_v", "C:\\W\\main.c"), "main.c");
    EXPECT_EQ(pvcs_element_name("./main.c_v", "main.c"), "main.c");
    EXPECT_EQ(pvcs_element_name("x/main.c_v", "C:\\W\\"), "");
}

TEST_F(PvcsReader, WorkfileEndingInASeparatorIsNone) {
    pvcs_test::archive a = three();
    a.workfile = "C:\\WORK\\";
    EXPECT_EQ(open(a), PVCS_FAILED);
    EXPECT_NE(msgs.err().find("Couldn't find workfile in archive"), std::string::npos);
    a.workfile.reset();
    msgs.clear();
    EXPECT_EQ(open(a), PVCS_FAILED);
    EXPECT_NE(msgs.err().find("Couldn't find workfile in archive"), std::string::npos);
}

}   // namespace
