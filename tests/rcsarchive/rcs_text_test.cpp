// Revision texts rebuilt from the deltas, compared with what co prints for
// archives made by the real ci, rcs and cvs, and refused for damaged ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <random>

#include "rcsarchive/rcs_archive.h"
#include "rcsarchive/rcs_text.h"
#include "tests/common/testutil.h"
#include "tests/rcsarchive/rcs_real_util.h"

using rcsreal::all_revisions_match;
using rcsreal::archive_maker;
using testutil::TempDir;

namespace {

std::string numbered(int from, int to, const std::string &tag = "line") {
    std::string s;
    for (int i = from; i <= to; ++i)
        s += tag + " " + std::to_string(i) + "\n";
    return s;
}

TEST(RcsText, TrunkEditsAtStartMiddleAndEnd) {
    TempDir d;
    archive_maker m(d.path(), "f");
    std::string base = numbered(1, 40);
    m.checkin("1.1", base);
    m.checkin("1.2", "new first\n" + base);
    m.checkin("1.3", "new first\n" + numbered(1, 19) + "middle\n" + numbered(25, 40));
    m.checkin("1.4", "new first\n" + numbered(1, 19) + "middle\n" + numbered(25, 38) + "end\nend2\n");
    m.checkin("1.5", numbered(2, 19) + "middle\n" + numbered(25, 38) + "end\nend2\n");
    m.checkin("1.6", numbered(1, 40, "other"));
    m.checkin("1.7", "");
    m.checkin("1.8", numbered(1, 3));
    m.checkin("1.9", numbered(1, 3) + numbered(1, 3));
    size_t n = 0;
    EXPECT_TRUE(all_revisions_match(m.archive(), &n));
    EXPECT_EQ(n, 9u);
}

TEST(RcsText, BranchesThreeDeep) {
    TempDir d;
    archive_maker m(d.path(), "f");
    m.checkin("1.1", numbered(1, 10));
    m.checkin("1.2", numbered(1, 12));
    m.checkin("1.3", numbered(2, 12));
    m.checkin("1.4", numbered(2, 14));
    for (int i = 1; i <= 3; ++i)
        m.checkin("1.2.1." + std::to_string(i), numbered(1, 12) + numbered(1, i, "b1"));
    for (int i = 1; i <= 3; ++i)
        m.checkin("1.2.1.1.1." + std::to_string(i),
                  numbered(1, 1, "b1") + numbered(3, 12) + numbered(1, i, "b2"));
    for (int i = 1; i <= 3; ++i)
        m.checkin("1.2.1.1.1.1.1." + std::to_string(i), numbered(1, i, "b3") + numbered(5, 8));
    m.checkin("1.2.2.1", numbered(1, 12, "second branch"));
    m.checkin("1.3.1.1", "");
    m.checkin("1.3.1.2", "x");
    size_t n = 0;
    EXPECT_TRUE(all_revisions_match(m.archive(), &n));
    EXPECT_EQ(n, 16u);
}

// Contents that split lines unusually: NULs, no final line end, CR LF, "@",
// empty revisions between full ones, a final line end coming and going.
TEST(RcsText, UnusualContents) {
    TempDir d;
    {
        archive_maker m(d.path(), "bin");
        m.checkin("1.1", std::string("\0\1\2\n\0\0\xff", 7));
        m.rcs("-kb");
        m.checkin("1.2", std::string("\0\1\2\nmore\n\0\0\xff\n\0", 14));
        m.checkin("1.3", std::string("\n\n\0", 3));
        m.checkin("1.2.1.1", std::string("\0", 1));
        EXPECT_TRUE(all_revisions_match(m.archive()));
    }
    {
        archive_maker m(d.path(), "crlf");
        m.checkin("1.1", "one\r\ntwo\r\nthree\r\n");
        m.checkin("1.2", "one\r\ntwo\nthree\r\n\r\n");
        m.checkin("1.3", "one\rtwo\r\nthree\r");
        EXPECT_TRUE(all_revisions_match(m.archive()));
    }
    {
        archive_maker m(d.path(), "empty");
        m.checkin("1.1", "");
        m.checkin("1.2", "a\nb\n");
        m.checkin("1.3", "");
        m.checkin("1.4", "a");
        m.checkin("1.5", "");
        m.checkin("1.3.1.1", "c\n");
        m.checkin("1.3.1.2", "");
        EXPECT_TRUE(all_revisions_match(m.archive()));
    }
    {
        archive_maker m(d.path(), "eol");
        m.checkin("1.1", "a\nb\nc");
        m.checkin("1.2", "a\nb\nc\n");
        m.checkin("1.3", "a\nb\nc");
        m.checkin("1.4", "a\nb\nc\nd");
        m.checkin("1.5", "a\nb");
        m.checkin("1.6", "a\nb\n");
        m.checkin("1.7", "x\na\nb");
        m.checkin("1.6.1.1", "a\nb");
        m.checkin("1.6.1.2", "a\nb\n\n");
        EXPECT_TRUE(all_revisions_match(m.archive()));
    }
    {
        archive_maker m(d.path(), "at");
        m.checkin("1.1", "@\n@@\nmail@host\n@");
        m.checkin("1.2", "@@@\n@\nmail@host\n");
        m.checkin("1.3", "@\n");
        m.checkin("1.2.1.1", "@@@\n@x@\n@");
        EXPECT_TRUE(all_revisions_match(m.archive()));
    }
}

// Lines of a megabyte; those with an "@" are copied out of the archive, and
// the copies of revisions long passed are let go along the way.
TEST(RcsText, LongLines) {
    TempDir d;
    archive_maker m(d.path(), "long");
    std::string big(1 << 20, 'x');
    m.checkin("1.1", "short\n" + big + "\nend\n");
    m.checkin("1.2", "short\n" + big + "y\nend\n");
    m.checkin("1.3", big);
    for (char c = 'a'; c < 'g'; ++c)
        m.checkin("", std::string(1, c) + "@" + big + "\n");
    m.checkin("", "short\n");
    size_t n = 0;
    EXPECT_TRUE(all_revisions_match(m.archive(), &n));
    EXPECT_EQ(n, 10u);
}

// A CVS repository: imports on the vendor branch, commits, a removed file.
TEST(RcsText, CvsArchives) {
    TempDir d;
    std::string root = d / "root";
    auto cvs = [&](const std::string &args, const std::string &cwd) {
        rcsreal::sh("cvs -Q -d " + rcsreal::quoted(root) + " " + args, cwd);
    };
    cvs("init", d.path());
    d.file("imp/a.txt", numbered(1, 20));
    d.file("imp/b.txt", "b one\n");
    d.file("imp/c.bin", std::string("\0\0@\n", 4));
    cvs("import -m first proj vendor v1", d / "imp");
    d.file("imp/a.txt", numbered(1, 22));
    d.file("imp/b.txt", "b two\n");
    cvs("import -m second proj vendor v2", d / "imp");
    cvs("checkout proj", d.path());
    testutil::write_file(d / "proj/a.txt", "local\n" + numbered(1, 22));
    cvs("commit -m local", d / "proj");
    testutil::write_file(d / "proj/a.txt", "local\n" + numbered(3, 22) + "tail");
    cvs("commit -m again", d / "proj");
    rcsreal::sh("rm b.txt", d / "proj");
    cvs("remove b.txt", d / "proj");
    cvs("commit -m gone", d / "proj");
    std::string v = testutil::read_file(d / "root/proj/a.txt,v"),
                b = testutil::read_file(d / "root/proj/Attic/b.txt,v");
    EXPECT_NE(v.find("\n1.1.1.2\n"), std::string::npos);
    EXPECT_NE(b.find("state dead;"), std::string::npos);
    for (const char *f : {"root/proj/a.txt,v", "root/proj/Attic/b.txt,v", "root/proj/c.bin,v"}) {
        SCOPED_TRACE(f);
        EXPECT_TRUE(all_revisions_match(d / f));
    }
}

// Random line edits on the trunk and on branches, every revision compared.
TEST(RcsText, RandomHistory) {
    TempDir d;
    archive_maker m(d.path(), "r");
    std::mt19937 rng(20261208);
    auto pick = [&](size_t n) { return size_t(rng() % n); };
    std::map<std::string, std::vector<std::string>> texts;   // by revision
    std::vector<std::string> tips;                           // last revision of each line
    std::map<std::string, int> branches_at;                  // branches started at a revision
    auto edit = [&](std::vector<std::string> t) {
        for (int n = 1 + int(pick(4)); n > 0; --n) {
            size_t at = pick(t.size() + 1);
            switch (pick(4)) {
                case 0:
                    if (at < t.size())
                        t.erase(t.begin() + long(at), t.begin() + long(std::min(t.size(), at + 1 + pick(3))));
                    break;
                case 1:
                    for (size_t k = pick(4) + 1; k > 0; --k)
                        t.insert(t.begin() + long(at),
                                 "added " + std::to_string(rng() % 1000) + (pick(5) ? "" : " @"));
                    break;
                default:
                    if (at < t.size())
                        t[at] = "changed " + std::to_string(rng() % 1000);
            }
        }
        return t;
    };
    auto join = [&](const std::vector<std::string> &t, bool eol) {
        std::string s;
        for (size_t i = 0; i < t.size(); ++i)
            s += t[i] + (i + 1 < t.size() || eol ? "\n" : "");
        return s;
    };
    auto bump = [](const std::string &rev) {
        size_t dot = rev.rfind('.');
        return rev.substr(0, dot + 1) + std::to_string(std::stoi(rev.substr(dot + 1)) + 1);
    };
    std::vector<std::string> first;
    for (int i = 0; i < 30; ++i)
        first.push_back("start " + std::to_string(i));
    m.checkin("1.1", join(first, true));
    texts["1.1"] = first;
    tips.push_back("1.1");
    for (int step = 1; step < 60; ++step) {
        std::string from, rev;
        size_t kind = pick(4);
        if (kind == 0) {
            // A new branch at any revision.
            auto it = texts.begin();
            std::advance(it, long(pick(texts.size())));
            from = it->first;
            rev = from + "." + std::to_string(++branches_at[from]) + ".1";
            tips.push_back(rev);
        } else {
            size_t t = kind == 1 ? pick(tips.size()) : 0;   // the trunk most often
            from = tips[t];
            rev = bump(from);
            tips[t] = rev;
        }
        auto t = edit(texts[from]);
        texts[rev] = t;
        m.checkin(rev, join(t, pick(6) != 0));
    }
    size_t n = 0;
    EXPECT_TRUE(all_revisions_match(m.archive(), &n));
    EXPECT_EQ(n, 60u);
}

// Archives written by hand: a trunk 1.3 -> 1.2 -> 1.1 with a branch at 1.2.
std::string hand_archive(const std::string &script_12, const std::string &script_11,
                         const std::string &next_11 = "", const std::string &head_text = "a\nb\nc\n") {
    auto delta = [](const std::string &rev, const std::string &branches, const std::string &next) {
        return rev + "\ndate\t2020.01.01.00.00.00;\tauthor a;\tstate Exp;\nbranches" + branches +
               ";\nnext\t" + next + ";\n\n";
    };
    auto text = [](const std::string &rev, const std::string &t) {
        std::string q;
        for (char c : t)
            q += c == '@' ? std::string("@@") : std::string(1, c);
        return "\n" + rev + "\nlog\n@l@\ntext\n@" + q + "@\n";
    };
    return "head\t1.3;\naccess;\nsymbols;\nlocks; strict;\ncomment\t@# @;\n\n" + delta("1.3", "", "1.2") +
           delta("1.2", " 1.2.1.1", "1.1") + delta("1.1", "", next_11) + delta("1.2.1.1", "", "") +
           "\ndesc\n@@\n" + text("1.3", head_text) + text("1.2", script_12) + text("1.1", script_11) +
           text("1.2.1.1", "a3 1\nbranch\n");
}

struct built {
    int rc = -1;
    std::string why;
    std::map<std::string, std::string> texts;   // by revision
};

built build(const TempDir &d, const std::string &archive, const std::vector<std::string> &revs) {
    built b;
    std::string path = d / "h,v";
    testutil::write_file(path, archive);
    rcs_element *e = nullptr;
    EXPECT_EQ(rcs_open(path.c_str(), "h", &e, '.', true), 0);
    if (!e)
        return b;
    std::vector<size_t> wanted;
    for (const auto &r : revs)
        wanted.push_back(e->delta_by_rev.at(r));
    b.rc = rcs_build_texts(
        e, wanted,
        [&](size_t i, std::string_view t) {
            b.texts[e->deltas[i].rev] = std::string(t);
            return 0;
        },
        &b.why);
    rcs_close(e);
    return b;
}

TEST(RcsText, HandWrittenArchive) {
    TempDir d;
    std::string a = hand_archive("d1 1\na3 2\nx\n@y", "d4 1\na4 1\nz\n");
    auto b = build(d, a, {"1.1", "1.1", "1.2.1.1", "1.3", "1.2"});
    ASSERT_EQ(b.rc, 0) << b.why;
    EXPECT_EQ(b.texts["1.3"], "a\nb\nc\n");
    EXPECT_EQ(b.texts["1.2"], "b\nc\nx\n@y");
    EXPECT_EQ(b.texts["1.1"], "b\nc\nx\nz\n");
    EXPECT_EQ(b.texts["1.2.1.1"], "b\nc\nx\nbranch\n@y");
    EXPECT_EQ(b.texts.size(), 4u);

    // Only what is asked for is handed over; what fn returns stops the walk.
    std::string path = d / "h,v";
    rcs_element *e = nullptr;
    ASSERT_EQ(rcs_open(path.c_str(), "h", &e, '.', true), 0);
    std::vector<std::string> seen;
    std::string why = "untouched";
    int rc = rcs_build_texts(
        e, {e->delta_by_rev.at("1.2.1.1"), e->delta_by_rev.at("1.1")},
        [&](size_t i, std::string_view) {
            seen.push_back(e->deltas[i].rev);
            return 7;
        },
        &why);
    EXPECT_EQ(rc, 7);
    EXPECT_EQ(why, "untouched");
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(rcs_build_texts(
                  e, {99}, [](size_t, std::string_view) { return 0; }, &why),
              1);
    EXPECT_NE(why.find("99"), std::string::npos) << why;
    rcs_close(e);
}

TEST(RcsText, DamagedScriptsAreRefused) {
    TempDir d;
    struct bad {
        std::string script, says;
    };
    const bad cases[] = {
        {"d4 1\n", "beyond"},                  // delete past the end
        {"d3 2\n", "beyond"},                  // runs past the end
        {"a5 1\nx\n", "beyond"},               // add after a line that is not there
        {"a1 1\nx\nd1 1\n", "out of order"},   // delete behind an add
        {"d2 1\nd1 1\n", "out of order"},
        {"d1 2\nd2 1\n", "out of order"},   // overlapping deletes
        {"a1 3\nx\ny\n", "only 2"},         // add cut short
        {"d0 1\n", "out of order"},
        {"x1 1\n", "not of the form"},
        {"d1\n", "not of the form"},
        {"d1 1x\n", "not of the form"},
        {"d1  1\n", "not of the form"},
        {"d1 0\n", "not of the form"},
        {"d1 99999999999999999999\n", "not of the form"},
        {"a1 1\nno end", "followed by another"},   // an unterminated line in the middle
    };
    for (const bad &c : cases) {
        SCOPED_TRACE(c.script);
        auto b = build(d, hand_archive(c.script, "", ""), {"1.2"});
        EXPECT_EQ(b.rc, 1);
        EXPECT_NE(b.why.find("revision 1.2"), std::string::npos) << b.why;
        EXPECT_NE(b.why.find(c.says), std::string::npos) << b.why;
        EXPECT_TRUE(b.texts.count("1.2") == 0);
    }
    // A damaged delta nobody asks for is not even looked at.
    auto b = build(d, hand_archive("", "d9 9\n"), {"1.2.1.1", "1.3"});
    EXPECT_EQ(b.rc, 0) << b.why;
    EXPECT_EQ(b.texts.size(), 2u);
    // Nor is one whose parent text ends without a line end before more lines.
    b = build(d, hand_archive("", "a3 1\nmore\n", "", "a\nb\nc"), {"1.1"});
    EXPECT_EQ(b.rc, 1);
    EXPECT_NE(b.why.find("revision 1.1"), std::string::npos) << b.why;
}

TEST(RcsText, DamagedTreeIsRefused) {
    TempDir d;
    // 1.1's next points back to the head: a loop that must not hang.
    auto b = build(d, hand_archive("", "", "1.3"), {"1.1"});
    EXPECT_EQ(b.rc, 1);
    EXPECT_NE(b.why.find("twice"), std::string::npos) << b.why;
    // A revision nothing points to cannot be rebuilt.
    std::string a = hand_archive("", "");
    a.replace(a.find("next\t1.1;"), 9, "next\t;");
    b = build(d, a, {"1.1"});
    EXPECT_EQ(b.rc, 1);
    EXPECT_NE(b.why.find("revision 1.1 is not reachable"), std::string::npos) << b.why;
    b = build(d, a, {"1.2"});
    EXPECT_EQ(b.rc, 0) << b.why;
    // A delta whose text is missing.
    a = hand_archive("", "");
    a.erase(a.find("\n1.1\nlog"), std::string("\n1.1\nlog\n@l@\ntext\n@@\n").size());
    b = build(d, a, {"1.1"});
    EXPECT_EQ(b.rc, 1);
    EXPECT_NE(b.why.find("revision 1.1 has no text"), std::string::npos) << b.why;
}

// A trunk written by hand, 1.1 to 1.<revs>: the head's text, and the script
// of every older revision (already with "@" doubled).
std::string synthetic_trunk(int revs, const std::string &head_text,
                            const std::function<std::string(int rev)> &script) {
    std::string admin =
        "head\t1." + std::to_string(revs) + ";\naccess;\nsymbols;\nlocks;\ncomment\t@# @;\n\n";
    std::string texts;
    for (int r = revs; r >= 1; --r) {
        admin += "1." + std::to_string(r) +
                 "\ndate\t2020.01.01.00.00.00;\tauthor a;\tstate Exp;\nbranches;\nnext\t" +
                 (r > 1 ? "1." + std::to_string(r - 1) : "") + ";\n\n";
        texts +=
            "\n1." + std::to_string(r) + "\nlog\n@@\ntext\n@" + (r == revs ? head_text : script(r)) + "@\n";
    }
    return admin + "\ndesc\n@@\n" + texts;
}

// Rebuilds every revision, timing it; keeps the texts of `keep`.
int rebuild_all(const std::string &path, const std::vector<std::string> &keep,
                std::map<std::string, std::string> *kept, size_t *count, double *secs, std::string *why) {
    rcs_element *e = nullptr;
    if (rcs_open(path.c_str(), "f", &e, '.', true))
        return -1;
    std::vector<size_t> wanted(e->deltas.size());
    for (size_t i = 0; i < wanted.size(); ++i)
        wanted[i] = i;
    auto t0 = std::chrono::steady_clock::now();
    int rc = rcs_build_texts(
        e, wanted,
        [&](size_t i, std::string_view t) {
            ++*count;
            if (std::find(keep.begin(), keep.end(), e->deltas[i].rev) != keep.end())
                (*kept)[e->deltas[i].rev] = std::string(t);
            return 0;
        },
        why);
    *secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    rcs_close(e);
    return rc;
}

// Thousands of trunk revisions: one pass, compared with co at both ends and in
// the middle. Every script holds an "@", so the owned copies are packed along
// the way. Then one script of many commands over a long text, which costs one
// pass and not one per command.
TEST(RcsText, LongHistoryIsFast) {
    TempDir d;
    {
        const int revs = 3000, lines = 2000;
        std::string path = d / "long,v";
        testutil::write_file(path, synthetic_trunk(revs, numbered(1, lines), [&](int r) {
                                 std::string at = std::to_string(1 + (r * 7919) % (lines - 1));
                                 return "d" + at + " 1\na" + at + " 1\nrev @@" + std::to_string(r) + "\n";
                             }));
        std::map<std::string, std::string> kept;
        size_t count = 0;
        double secs = 0;
        std::string why;
        ASSERT_EQ(rebuild_all(path, {"1.1", "1.2", "1.1500"}, &kept, &count, &secs, &why), 0) << why;
        RecordProperty("trunk_ms", int(secs * 1000));
        EXPECT_EQ(count, size_t(revs));
        EXPECT_LT(secs, 5.0);
        for (const char *rev : {"1.1", "1.2", "1.1500"})
            EXPECT_EQ(kept[rev], rcsreal::co_raw(path, rev)) << rev;
    }
    {
        const int lines = 200000;
        std::string script;
        for (int i = 1; i <= lines; i += 4)
            script += "d" + std::to_string(i) + " 2\na" + std::to_string(i + 2) + " 1\nnew " +
                      std::to_string(i) + "\n";
        std::string path = d / "wide,v";
        testutil::write_file(path, synthetic_trunk(2, numbered(1, lines), [&](int) { return script; }));
        std::map<std::string, std::string> kept;
        size_t count = 0;
        double secs = 0;
        std::string why;
        ASSERT_EQ(rebuild_all(path, {"1.1"}, &kept, &count, &secs, &why), 0) << why;
        RecordProperty("wide_ms", int(secs * 1000));
        EXPECT_LT(secs, 5.0);
        EXPECT_EQ(kept["1.1"], rcsreal::co_raw(path, "1.1"));
    }
}

}   // namespace
