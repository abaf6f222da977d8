// Keyword expansion compared byte for byte with what co and cvs print for the
// same archives, in every mode; and the forms it refuses.
#include "rcsarchive/rcs_keyword.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "rcsarchive/rcs_archive.h"
#include "tests/common/testutil.h"

using testutil::TempDir;

namespace {

const testutil::EnvList kEnv = {{"TZ", "UTC"}};

std::string must_run(const std::vector<std::string> &argv, const std::string &cwd = ".",
                     const testutil::EnvList &extra = {}) {
    testutil::EnvList env = kEnv;
    env.insert(env.end(), extra.begin(), extra.end());
    testutil::ProcResult r = testutil::run(argv, cwd, env);
    EXPECT_EQ(r.status, 0) << argv[0] << " " << argv.back() << ": " << r.err;
    return r.out;
}

// Checks in `text` as the next revision of dir/name,v (the first creates it).
void check_in(const TempDir &d, const std::string &name, const std::string &text, const std::string &date,
              const std::string &author, const std::string &msg) {
    testutil::write_file(d / name, text);
    must_run({"ci", "-q", "-f", "-l", "-d" + date, "-w" + author, "-m" + msg, "-t-desc", name}, d.path());
}

// Puts `log` (raw) as the log message of the revision whose log is now "x\n".
void set_log(const std::string &archive, const std::string &log) {
    std::string a = testutil::read_file(archive);
    size_t at = a.find("log\n@x\n@");
    ASSERT_NE(at, std::string::npos);
    std::string quoted;
    for (char c : log)
        quoted += c == '@' ? std::string("@@") : std::string(1, c);
    a.replace(at, 8, "log\n@" + quoted + "@");
    testutil::write_file(archive, a);
}

rcs_kw_values values_of(const rcs_element *e, size_t i, rcs_kw_tool tool, const std::string &source,
                        const std::string &leaf) {
    rcs_kw_values v;
    v.tool = tool;
    EXPECT_EQ(rcs_kmode_parse(e->expand, &v.mode), 0);
    const rcs_delta &d = e->deltas[i];
    v.source = source;
    v.rcsfile = leaf;
    v.revision = d.rev;
    v.date = d.date;
    v.author = d.author;
    v.state = d.state;
    for (const std::string &l : e->locks) {
        size_t colon = l.rfind(':');
        if (l.substr(colon + 1) == d.rev)
            v.locker = l.substr(0, colon);
    }
    v.log = rcs_read_log(e, i).value_or("");
    v.comment = e->comment;
    return v;
}

// For every mode and every revision of the archive: the expansion of co -ko's
// text equals what `expected(rev)` prints. Returns the number of revisions
// compared.
int compare_all(const std::string &archive, rcs_kw_tool tool, const std::string &source,
                const std::function<std::string(const std::string &rev)> &expected,
                const std::vector<std::string> &modes = {"kv", "kvl", "k", "v", "o", "b"}) {
    std::string leaf = archive.substr(archive.rfind('/') + 1);
    int compared = 0;
    for (const std::string &mode : modes) {
        must_run({"rcs", "-q", "-k" + mode, archive});
        rcs_element *e = nullptr;
        if (rcs_open(archive.c_str(), "a", &e, '.', true) != 0) {
            ADD_FAILURE() << "cannot open " << archive;
            return compared;
        }
        for (size_t i = 0; i < e->deltas.size(); ++i) {
            const std::string &rev = e->deltas[i].rev;
            std::string raw = must_run({"co", "-q", "-ko", "-p", "-r" + rev, archive});
            rcs_kw_values v = values_of(e, i, tool, source, leaf);
            std::string out, why;
            EXPECT_EQ(rcs_expand_keywords(raw, v, &out, &why), 0) << mode << " " << rev << ": " << why;
            EXPECT_EQ(out, expected(rev)) << archive << " mode " << mode << " revision " << rev;
            ++compared;
        }
        rcs_close(e);
    }
    return compared;
}

// Every keyword, stale values, "$" that start no keyword, shared "$", $Log$
// behind all sorts of leaders, a CR LF line and a last line without its end.
const std::string kText =
    "/* $Log$ */\n"
    "# $Log$\n"
    "$Log$\n"
    "  $Log$\n"
    "-- $Log$   \n"
    "REM $Log$\n"
    "/*$Log$\n"
    "  (* $Log$\n"
    "/**$Log$\n"
    "x/* $Log$\n"
    "\t$Log$ tail $Id$\n"
    "$Id$ $Log$\n"
    "$Log: old value $ rest\n"
    "Id: $Id$\n"
    "$Id: old stuff $\n"
    "$Foo$ $Id $Id:x cost $5 and $6\n"
    "$Id$Revision$ $Author$$Date$\n"
    "$Foo$Id$ $$Id$ $Id2$ $id$\n"
    "$Header$ $Locker$ $Name$ $RCSfile$ $Revision$ $Source$ $State$\n"
    "$Id\n"
    "$\n"
    "$Date: $ $Date:$ $Date:x$\n"
    "a $Id$Log$ x\n"
    "crlf $Id$ $Log$\r\n"
    "last $Log$ end";

}   // namespace

TEST(RcsKeyword, CoEveryKeywordInEveryMode) {
    TempDir d;
    check_in(d, "a.c", kText, "1999/12/31 23:00:00", "author", "msg line1\nline2\n\nline4");
    check_in(d, "a.c", kText + "\n$Id$ two\n", "2005/01/02 03:04:05", "bob", "");
    // Leaders far longer than cvs takes.
    check_in(d, "a.c",
             "$Log$\n# $Log$\n$Locker$ $Id$ $Header$\n" + std::string(300, 'x') + "$Log$\n" +
                 "$Date: $ $Date:$ $Date:x$ $Revision: 1.1 $Log$ x\n$Revision: 1.1 $Log$ x\n",
             "2005/01/02 03:04:06", "carol", "  lead\n \t\nx $Log$ y  \n\n@ at");
    // Neither tool takes the admin comment as the leader.
    must_run({"rcs", "-q", "-cREM ", d / "a.c,v"});
    // 1.3 stays locked: kvl names its locker, kv does not.
    std::string a = d / "a.c,v";
    int n = compare_all(a, RCS_KW_CO, a, [&](const std::string &rev) {
        return must_run({"co", "-q", "-p", "-r" + rev, a});
    });
    EXPECT_EQ(n, 18);
}

TEST(RcsKeyword, CoLogMessagesDatesAndNames) {
    // Logs set by hand: the blanks and line ends at their ends, which ci
    // would have trimmed; a blank in the archive's name; ci writes a year
    // before 2000 in two digits.
    const char *logs[] = {"one",         "a\n\n\n",     "\n",         "\n\nx", "  x \n y\n",
                          "\t\fx\n\r\n", "a\n \t\nb\n", "a\r\nb\r\n", ""};
    for (const char *log : logs) {
        TempDir d;
        check_in(d, "a b.c", "# $Log$ T\n  $Log$\n$Id$ $Source$\n", "1999/12/31 23:00:00", "ab", "x");
        std::string a = d / "a b.c,v";
        must_run({"rcs", "-q", "-u", a});
        set_log(a, log);
        compare_all(a, RCS_KW_CO, a, [&](const std::string &rev) {
            return must_run({"co", "-q", "-p", "-r" + rev, a});
        });
    }
}

TEST(RcsKeyword, CvsCheckoutMatches) {
    TempDir d;
    std::string root = d / "root";
    testutil::EnvList env = {{"CVSROOT", root}};
    must_run({"cvs", "-Q", "init"}, d.path(), env);
    // An unclosed "$Id:" is left alone by cvs (co is refused on it).
    std::string text = kText + "\nopen $Id: x\n$Revision:\n";
    d.file("imp/a.c", text);
    must_run({"cvs", "-Q", "import", "-m", "imp msg", "mod", "vend", "start"}, d / "imp", env);
    must_run({"cvs", "-Q", "co", "mod"}, d.path(), env);
    testutil::write_file(d / "mod/a.c", text + "$Id$ $Log$\n");
    must_run({"cvs", "-Q", "commit", "-m", "second\nline2\n\n", "a.c"}, d / "mod", env);
    auto cvs_p = [&](const std::string &file) {
        return [&, file](const std::string &rev) {
            return must_run({"cvs", "-Q", "co", "-p", "-r" + rev, "mod/" + file}, d.path(), env);
        };
    };
    std::string a = root + "/mod/a.c,v";
    must_run({"rcs", "-q", "-l1.2", a});
    EXPECT_EQ(compare_all(a, RCS_KW_CVS, a, cvs_p("a.c")), 18);

    // Archives written by ci, with their logs as cvs never writes them.
    const char *logs[] = {"one", "a\n\n\n", "\n", "\n\nx\n", "  x \n y\n", "a\n \t\nb", ""};
    int k = 0;
    for (const char *log : logs) {
        TempDir w;
        std::string name = "l" + std::to_string(k++) + " x.c";
        check_in(w, name, "# $Log$ T\n  $Log$\n$Id$ $Source$\n", "1999/12/31 23:00:00", "ab", "x");
        std::string dest = root + "/mod/" + name + ",v";
        testutil::write_file(dest, testutil::read_file(w / (name + ",v")));
        set_log(dest, log);
        compare_all(dest, RCS_KW_CVS, dest, cvs_p(name));
    }

    // cvs leaves a $Log$ behind more than 20 bytes as it stands, its closing
    // "$" free to open the next keyword (in v mode cvs itself goes wrong).
    TempDir w;
    std::string x20(20, 'x'), x21(21, 'x');
    check_in(w, "long.c",
             x20 + "$Log$ 20\n" + x21 + "$Log$ 21\n" + x21 + "$Log$Id$ y\n" + x21 + "$Log: old $ z\n" +
                 "$Date: $ $Date:$ $Date:x$ $Revision: 1.1 $Log$ x\n",
             "2005/01/02 03:04:06", "ab", "x");
    std::string dest = root + "/mod/long.c,v";
    testutil::write_file(dest, testutil::read_file(w / "long.c,v"));
    EXPECT_EQ(compare_all(dest, RCS_KW_CVS, dest, cvs_p("long.c"), {"kv", "kvl", "k"}), 3);
}

TEST(RcsKeyword, NameWhenCheckedOutBySymbol) {
    TempDir d;
    const std::string text = "$Name$ $Id$\n$Name: old $\n";
    check_in(d, "a.c", text, "2005/01/02 03:04:05", "ab", "m");
    std::string a = d / "a.c,v";
    must_run({"rcs", "-q", "-nREL_1:1.1", a});
    std::string root = d / "root";
    testutil::EnvList env = {{"CVSROOT", root}};
    must_run({"cvs", "-Q", "init"}, d.path(), env);
    testutil::make_dirs(root + "/mod");
    std::string c = root + "/mod/a.c,v";
    testutil::write_file(c, testutil::read_file(a));
    for (const char *mode : {"kv", "k", "v"}) {
        rcs_kw_values v;
        ASSERT_EQ(rcs_kmode_parse(std::string(mode), &v.mode), 0);
        v.revision = "1.1";
        v.date = "2005.01.02.03.04.05";
        v.author = "ab";
        v.state = "Exp";
        v.name = "REL_1";
        v.log = "m\n";
        std::string out, why;
        for (rcs_kw_tool tool : {RCS_KW_CO, RCS_KW_CVS}) {
            std::string path = tool == RCS_KW_CO ? a : c;
            must_run({"rcs", "-q", std::string("-k") + mode, path});
            v.tool = tool;
            v.source = path;
            v.rcsfile = "a.c,v";
            ASSERT_EQ(rcs_expand_keywords(text, v, &out, &why), 0) << why;
            std::string expected =
                tool == RCS_KW_CO ? must_run({"co", "-q", "-p", "-rREL_1", a})
                                  : must_run({"cvs", "-Q", "co", "-p", "-rREL_1", "mod/a.c"}, d.path(), env);
            EXPECT_EQ(out, expected) << mode << (tool == RCS_KW_CO ? " co" : " cvs");
        }
    }
}

TEST(RcsKeyword, RefusesWhatItCannotKnow) {
    rcs_kw_values v;
    v.rcsfile = "a.c,v";
    v.source = "/r/a.c,v";
    v.revision = "1.1";
    v.date = "2005.01.02.03.04.05";
    v.author = "bob";
    v.state = "Exp";
    v.log = "m\n";
    std::string out, why;
    ASSERT_EQ(rcs_expand_keywords("$Id$\n", v, &out, &why), 0);
    EXPECT_EQ(out, "$Id: a.c,v 1.1 2005/01/02 03:04:05 bob Exp $\n");

    auto refused = [&](rcs_kw_values w, const std::string &text) {
        std::string o, y;
        int rc = rcs_expand_keywords(text, w, &o, &y);
        EXPECT_FALSE(y.empty());
        return rc == 1;
    };
    // co garbles an unclosed "$Id:" line; cvs leaves it.
    EXPECT_TRUE(refused(v, "a $Id: x\n"));
    EXPECT_TRUE(refused(v, "a $Revision:"));
    rcs_kw_values c = v;
    c.tool = RCS_KW_CVS;
    ASSERT_EQ(rcs_expand_keywords("a $Id: x\n", c, &out, &why), 0);
    EXPECT_EQ(out, "a $Id: x\n");
    // Values the tools would escape in ways not measured.
    for (const char *bad : {"a$b.c,v", "a\tb.c,v", "a\\b.c,v"}) {
        rcs_kw_values w = v;
        w.rcsfile = bad;
        EXPECT_TRUE(refused(w, "$Id$"));
    }
    rcs_kw_values w = v;
    w.author = "a b";
    EXPECT_TRUE(refused(w, "$Author$"));
    w = v;
    w.name = "x$";
    EXPECT_TRUE(refused(w, "$Name$"));
    w = v;
    w.date = "100.01.02.03.04.05";   // co and cvs print different years
    EXPECT_TRUE(refused(w, "$Date$"));
    w = v;
    w.log = "checked in with -k by bob at 2005/01/02 03:04:05\n";
    EXPECT_TRUE(refused(w, "$Log$\n"));
    w = v;
    w.log = "\va\n";
    EXPECT_TRUE(refused(w, "$Log$\n"));
    EXPECT_TRUE(refused(v, "x\r$Log$\n"));
    // cvs takes the leader from a line rewritten in place when the lengths
    // agree (seen: "$Revision: 1.1 $Log$" gave the leader "$Revision: 1.2 ").
    c.revision = "1.2";
    EXPECT_TRUE(refused(c, "$Revision: 1.1 $Log$ x\n"));
    c.revision = "1.1";
    ASSERT_EQ(rcs_expand_keywords("$Revision: 1.1 $Log$\n", c, &out, &why), 0) << why;
    EXPECT_EQ(out,
              "$Revision: 1.1 $Log: a.c,v $\n$Revision: 1.1 Revision 1.1  2005/01/02 03:04:05  bob\n"
              "$Revision: 1.1 m\n$Revision: 1.1\n");
    c.mode = RCS_K_V;
    EXPECT_TRUE(refused(c, std::string(21, 'x') + "$Log$\n"));
    // Values are looked at only when a keyword needs them.
    w = v;
    w.author = "a b";
    ASSERT_EQ(rcs_expand_keywords("no keywords $Foo$\n", w, &out, &why), 0);
    EXPECT_EQ(out, "no keywords $Foo$\n");
    w.mode = RCS_K_O;
    ASSERT_EQ(rcs_expand_keywords("$Author$\n", w, &out, &why), 0);
    EXPECT_EQ(out, "$Author$\n");

    rcs_kmode m;
    EXPECT_EQ(rcs_kmode_parse(std::nullopt, &m), 0);
    EXPECT_EQ(m, RCS_K_KV);
    EXPECT_EQ(rcs_kmode_parse(std::string("kvl"), &m), 0);
    EXPECT_EQ(m, RCS_K_KVL);
    EXPECT_EQ(rcs_kmode_parse(std::string("lkv"), &m), 1);
    EXPECT_EQ(rcs_kmode_parse(std::string(""), &m), 1);
}
