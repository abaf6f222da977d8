// Revisions read from RCS and CVS archives in process, against the tools:
// every revision of archives made with the real ci, rcs and cvs must come out
// byte for byte as `co -p` and `cvs co -p` print it, and an import with the
// reader on must make the same VOB as one that runs every command.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <sstream>
#include <sys/stat.h>

#include "platform/import/imp_inproc.h"
#include "platform/import/imp_msgs.h"
#include "platform/import/imp_pool.h"
#include "platform/store/vob_dump.h"
#include "rcsarchive/rcs_archive.h"
#include "rcsarchive/rcs_keyword.h"
#include "tests/platform/import/import_fixture.h"

namespace {

bool have_tools() { return std::system("command -v ci >/dev/null && command -v cvs >/dev/null") == 0; }

// Archives of every kind the reader must get right, and two it must leave
// to co: one with a phrase of another tool, one whose script is damaged.
const char RCS_ARCHIVES[] = R"SH(
set -e
export TZ=UTC
ci1() { f=$1; shift; ci -q -t-desc "$@" "$f"; }
# All keywords, non-keywords, a split keyword, and $Log$ behind " * ".
printf '/*\n * $Log$\n */\n$Id$\n$Header$\n$Source$\n$RCSfile$\n$Revision$\n$Date$\n$Author$\n$State$\n$Locker$\n$Name$\ncost $5 and $6, $Foo$, $Id\n$Revision: old value $ and $Date$$Author$\n$Id\n$\n' > kw.c
ci1 kw.c -d"1999/12/31 23:00:00" -wann -m"first line
second line

fourth after an empty one" -l
printf 'more\n' >> kw.c
ci -q -d"2005/06/01 10:00:00" -wbob -m"second" -l kw.c
printf 'and more $Id$\n' >> kw.c
ci -q -d"2006/06/01 10:00:00" -wcarol -m"" -u kw.c
# Branches three deep, each with two revisions.
b() { co -f -q -l -r$1 kw.c && printf '%s\n' "$3" >> kw.c && ci -q -u -wdan -m"$3" $2 kw.c; }
b 1.2 -r1.2.1 "branch one"
b 1.2.1.1 "" "branch one again"
b 1.2.1.1 -r1.2.1.1.1 "branch two"
b 1.2.1.1.1.1 "" "branch two again"
b 1.2.1.1.1.1 -r1.2.1.1.1.1.1 "branch three"
b 1.2.1.1.1.1.1.1 "" "branch three again"
rcs -q -l1.2 kw.c,v
rm -f kw.c
# The same history in every expand mode.
for m in kvl k o b v; do cp kw.c,v kw_$m.c,v && rcs -q -k$m kw_$m.c,v; done
# Comment leaders.
for lead in '# ' '-- ' 'REM ' '' '   ' ' *  '; do
  n=$((${n:-0} + 1))
  printf '%s$Log$\nbody\n' "$lead" > lead$n.txt
  ci1 lead$n.txt -wann -m"log one
log two" -l
  printf 'more\n' >> lead$n.txt
  ci -q -wann -m"next log" lead$n.txt
done
# A value without its closing "$", which co rewrites in its own way.
printf 'a $Id:x\nb\n' > unclosed.c && ci1 unclosed.c -m1 -l && printf 'c\n' >> unclosed.c && ci -q -m2 unclosed.c
# CR LF lines, empty revisions, a long line, a text without its last line end.
printf 'a $Id$\r\nb\r\n' > crlf.txt && ci1 crlf.txt -m"crlf
two" -l && printf 'c $Log$\r\n' >> crlf.txt && ci -q -m"more
lines" crlf.txt
printf 'x\n' > empty.txt && ci1 empty.txt -m1 -l && : > empty.txt && ci -q -m2 -l empty.txt && printf 'y' > empty.txt && ci -q -m3 empty.txt
head -c 1000000 /dev/zero | tr '\0' 'x' > long.txt && printf ' $Revision$\n' >> long.txt && ci1 long.txt -m1 -l
printf 'short\n' >> long.txt && ci -q -m2 long.txt
printf 'no end' > noend.txt && ci1 noend.txt -m1 -l && printf 'now an end\n' >> noend.txt && ci -q -m2 -l noend.txt && printf 'gone again' > noend.txt && ci -q -m3 noend.txt
# A binary archive.
rcs -q -i -kb -t-bin bin.dat,v
printf '\x89PNG\r\n\x1a\n\x00$Id$ \xff\n' > bin.dat && ci -q -m1 -l bin.dat && printf '\x00\x01@@\n' >> bin.dat && ci -q -m2 bin.dat
# A phrase of another tool in a delta, and a damaged script.
cp kw.c,v newphrase.c,v
sed -i '0,/^next/s/^\(next.*\)$/\1\nkopt\t@b@;/' newphrase.c,v
cp noend.txt,v damaged.txt,v
sed -i 's/^@d1 1$/@d9 1/' damaged.txt,v
grep -q '^@d9 1$' damaged.txt,v
)SH";

struct archive_case {
    std::string path;
    std::vector<std::string> revs;
};

std::vector<std::string> revisions_of(const std::string &path) {
    rcs_element *e = nullptr;
    std::vector<std::string> out;
    if (rcs_open(path.c_str(), "", &e, '.', true) != 0)
        return out;
    for (const rcs_delta &d : e->deltas)
        out.push_back(d.rev);
    rcs_close(e);
    return out;
}

void list_archives(const std::string &dir, std::vector<std::string> *out) {
    DIR *d = opendir(dir.c_str());
    while (dirent *e = d ? readdir(d) : nullptr) {
        std::string n = e->d_name, p = dir + "/" + n;
        struct stat st;
        if (n == "." || n == ".." || n == "CVSROOT" || lstat(p.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            list_archives(p, out);
        else if (n.size() > 2 && n.compare(n.size() - 2, 2, ",v") == 0)
            out->push_back(p);
    }
    if (d)
        closedir(d);
    std::sort(out->begin(), out->end());
}

// Reads a batch of every revision and compares each with what its own
// command writes. Returns how many were read in process.
size_t compare_batch(const imp_inproc_cfg &cfg, const std::string &from_dir, const std::string &tmp,
                     const std::vector<std::string> &templates, const std::string &what) {
    imp_rcs_batch b;
    for (size_t i = 0; i < templates.size(); ++i) {
        imp_rcs_cmd cmd;
        EXPECT_EQ(imp_rcs_recognise(cfg, templates[i], from_dir, &cmd), 1) << templates[i];
        b.tool = cmd.tool;
        b.archive = cmd.archive;
        b.attic = cmd.attic;
        imp_rcs_slot s;
        s.rev = cmd.rev;
        std::string why;
        EXPECT_EQ(imp_extract_fill(templates[i], from_dir, tmp + "/c" + std::to_string(i),
                                   tmp + "/w" + std::to_string(i), &s.job, &why),
                  0)
            << why;
        b.slots.push_back(std::move(s));
    }
    imp_rcs_batch_run(&b, false, nullptr);
    if (!b.why_commands.empty())
        std::fprintf(stderr, "%s: some revisions ran their command: %s\n", what.c_str(),
                     b.why_commands.c_str());
    size_t in_process = 0;
    for (size_t i = 0; i < b.slots.size(); ++i) {
        const imp_rcs_slot &s = b.slots[i];
        if (!s.in_process)
            continue;
        in_process++;
        imp_extract_job ref;
        std::string ref_path = tmp + "/ref", why;
        EXPECT_EQ(imp_extract_fill(templates[i], from_dir, ref_path, tmp + "/wref", &ref, &why), 0);
        imp_fetch_result res;
        imp_run_job(ref, false, &res);
        EXPECT_EQ(res.status, 0) << res.message;
        std::string got = s.in_file ? testutil::read_file(s.job.out_path) : s.bytes;
        std::string want = testutil::read_file(ref.out_path);
        EXPECT_TRUE(got == want) << what << " revision " << s.rev << "\n--- in process:\n"
                                 << got.substr(0, 2000) << "\n--- the command:\n"
                                 << want.substr(0, 2000);
    }
    return in_process;
}

// Only the exact forms the RCS exporter writes are read in process, and only
// where the tool would open the same path.
TEST(InProcessForms, RecognisedExactlyAsTheExporterWritesThem) {
    imp_inproc_cfg cfg;
    cfg.rcs = cfg.cvs = true;
    cfg.cvsroot = "/repo";
    imp_rcs_cmd c;
    ASSERT_EQ(imp_rcs_recognise(cfg, "co -q -r1.2.1.3 -p \"%s%csrc/RCS/a 100%%.c,v\" > \"%s\"", "/from", &c),
              1);
    EXPECT_EQ(c.tool, int(RCS_KW_CO));
    EXPECT_EQ(c.rev, "1.2.1.3");
    EXPECT_EQ(c.archive, "/from/src/RCS/a 100%.c,v");
    ASSERT_EQ(imp_rcs_recognise(cfg, "cvs -Q get -r1.1.1.1 -p \"proj/doc/old.txt\" > ", "/x", &c), 1);
    EXPECT_EQ(c.tool, int(RCS_KW_CVS));
    EXPECT_EQ(c.archive, "/repo/proj/doc/old.txt,v");
    EXPECT_EQ(c.attic, "/repo/proj/doc/Attic/old.txt,v");
    for (const char *t : {
             "co -q -r1.2 -p \"%s%ca$HOME.c,v\" > \"%s\"",   // the shell would expand it
             "co -q -r1.2 -p \"%s%ca\\\"b.c,v\" > \"%s\"",   // an escaped quote
             "co -q -r1.2 -p \"%s%ca%d.c,v\" > \"%s\"",      // a lone %
             "co -q -r1.2 -p \"%s%c../a.c,v\" > \"%s\"",     // not the path co prints
             "co -q -r1.2 -p \"%s%c\" > \"%s\"",             // no archive
             "co -q -r1.2.1 -p \"%s%ca.c,v\" > \"%s\"",      // a branch, not a revision
             "co -q -kkv -r1.2 -p \"%s%ca.c,v\" > \"%s\"",   // options of its own
             "co -q -r1.2 -p \"%s%ca.c,v\" > \"%s\" 2>&1",
             "cvs -Q get -r1.2 -p \"/abs/a.c\" > ",
             "cvs -Q get -r1.2 -p \"proj//a.c\" > ",
             "cvs -Q get -rTAG -p \"proj/a.c\" > ",
             "cvs -Q co -r1.2 -p \"proj/a.c\" > ",
         })
        EXPECT_EQ(imp_rcs_recognise(cfg, t, "/from", &c), 0) << t;
    cfg.cvs = false;   // the run's settings turned cvs off
    EXPECT_EQ(imp_rcs_recognise(cfg, "cvs -Q get -r1.2 -p \"proj/a.c\" > ", "/x", &c), 0);
}

TEST(InProcessForms, SettingsThatChangeTheToolsOutputTurnItOff) {
    testutil::TempDir home;
    auto with = [&](const char *name, const char *value) {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    };
    std::string root = home / "repo";
    testutil::make_dirs(root + "/CVSROOT");
    const char *old_home = std::getenv("HOME");
    std::string saved_home = old_home ? old_home : "";
    with("HOME", home.path().c_str());
    with("CVSROOT", (":local:" + root).c_str());
    with("RCSINIT", nullptr);
    with("VANTOR_IMPORT_INPROCESS", nullptr);
    imp_inproc_cfg cfg;
    imp_inproc_configure(&cfg);
    EXPECT_TRUE(cfg.rcs && cfg.cvs) << cfg.why_not;
    EXPECT_EQ(cfg.cvsroot, root);
    testutil::write_file(root + "/CVSROOT/config", "# LocalKeyword=MyId\nLocalKeyword=MyId\n");
    imp_inproc_configure(&cfg);
    EXPECT_FALSE(cfg.cvs);
    EXPECT_TRUE(cfg.rcs);
    unlink((root + "/CVSROOT/config").c_str());
    testutil::write_file(home / ".cvsrc", "checkout -kk\n");
    imp_inproc_configure(&cfg);
    EXPECT_FALSE(cfg.cvs);
    unlink((home / ".cvsrc").c_str());
    with("CVSROOT", (root + "/").c_str());
    imp_inproc_configure(&cfg);
    EXPECT_FALSE(cfg.cvs);
    with("CVSROOT", root.c_str());
    with("RCSINIT", "-kk");
    imp_inproc_configure(&cfg);
    EXPECT_FALSE(cfg.rcs);
    EXPECT_TRUE(cfg.cvs);
    with("RCSINIT", nullptr);
    with("VANTOR_IMPORT_INPROCESS", "0");
    imp_inproc_configure(&cfg);
    EXPECT_FALSE(cfg.rcs || cfg.cvs);
    EXPECT_NE(cfg.why_not.find("VANTOR_IMPORT_INPROCESS"), std::string::npos);
    with("VANTOR_IMPORT_INPROCESS", nullptr);
    with("CVSROOT", nullptr);
    with("HOME", old_home ? saved_home.c_str() : nullptr);
}

using InProcess = ImportFixture;

// The CVS repository of the round-trip tests, made with the real cvs.
int make_cvs_repo(const std::string &root, const std::string &work) {
    return testutil::shell(std::string(VANTOR_SOURCE_DIR) + "/tests/cvs/make_cvs_repo.sh '" + root + "' '" +
                           work + "' >/dev/null 2>&1");
}

TEST_F(InProcess, RcsRevisionsEqualCo) {
    if (!have_tools())
        GTEST_SKIP() << "rcs and cvs are not installed";
    std::string dir = tmp + "/rcs";
    testutil::make_dirs(dir + "/RCS");
    ASSERT_EQ(testutil::shell(RCS_ARCHIVES, nullptr, nullptr, dir + "/RCS"), 0);
    imp_inproc_cfg cfg;
    imp_inproc_configure(&cfg);
    ASSERT_TRUE(cfg.rcs) << cfg.why_not;
    std::vector<std::string> archives;
    list_archives(dir + "/RCS", &archives);
    ASSERT_GE(archives.size(), 15u);
    for (const std::string &a : archives) {
        SCOPED_TRACE(a);
        std::string leaf = a.substr(a.rfind('/') + 1);
        std::vector<std::string> revs = revisions_of(a);
        if (leaf != "damaged.txt,v") {
            ASSERT_FALSE(revs.empty());
        }
        std::vector<std::string> templates;
        for (const std::string &r : revs)
            templates.push_back("co -q -r" + r + " -p \"%s%cRCS/" + leaf + "\" > \"%s\"");
        size_t n = compare_batch(cfg, dir, tmp, templates, leaf);
        if (leaf == "newphrase.c,v") {
            EXPECT_EQ(n, 0u) << "a phrase of another tool is left to co";
        } else if (leaf == "unclosed.c,v") {
            EXPECT_EQ(n, 0u) << "a value without its closing $ is left to co";
        } else if (leaf != "damaged.txt,v") {
            EXPECT_EQ(n, revs.size()) << "every revision read in process";
        }
    }
}

TEST_F(InProcess, DamagedArchiveGoesToItsCommand) {
    if (!have_tools())
        GTEST_SKIP() << "rcs and cvs are not installed";
    std::string dir = tmp + "/rcs";
    testutil::make_dirs(dir);
    ASSERT_EQ(testutil::shell("printf 'a\\nb\\n' > f && ci -q -t-d -mone -l f && printf 'c\\n' >> f && "
                              "ci -q -mtwo f && sed -i 's/^@d3 1$/@d9 1/' f,v && grep -q '^@d9 1$' f,v",
                              nullptr, nullptr, dir),
              0);
    imp_inproc_cfg cfg;
    imp_inproc_configure(&cfg);
    imp_rcs_batch b;
    b.tool = RCS_KW_CO;
    b.archive = dir + "/f,v";
    for (const char *rev : {"1.1", "1.2"}) {
        imp_rcs_slot s;
        s.rev = rev;
        std::string why;
        ASSERT_EQ(imp_extract_fill(std::string("co -q -r") + rev + " -p \"%s%cf,v\" > \"%s\"", dir,
                                   tmp + "/o" + rev, tmp + "/w", &s.job, &why),
                  0);
        b.slots.push_back(std::move(s));
    }
    imp_rcs_batch_run(&b, false, nullptr);
    EXPECT_TRUE(b.slots[1].in_process);   // the head is whole
    EXPECT_EQ(b.slots[1].bytes, "a\nb\nc\n");
    EXPECT_FALSE(b.slots[0].in_process);   // what co says of the damage stands
    EXPECT_NE(b.slots[0].status, 0);
    EXPECT_NE(b.why_commands, "");
}

// The repository of the round-trip tests: every keyword, a binary, two vendor
// drops, branches, and files removed on the trunk and on a branch.
TEST_F(InProcess, CvsRevisionsEqualCvsCheckout) {
    if (!have_tools())
        GTEST_SKIP() << "rcs and cvs are not installed";
    std::string root = tmp + "/cvsroot", work = tmp + "/work";
    ASSERT_EQ(make_cvs_repo(root, work), 0);
    setenv("CVSROOT", root.c_str(), 1);
    imp_inproc_cfg cfg;
    imp_inproc_configure(&cfg);
    ASSERT_TRUE(cfg.cvs) << cfg.why_not;
    std::vector<std::string> archives;
    list_archives(root + "/proj", &archives);
    ASSERT_GE(archives.size(), 8u);
    size_t total = 0, read = 0;
    for (const std::string &a : archives) {
        SCOPED_TRACE(a);
        std::string rel = a.substr(root.size() + 1, a.size() - root.size() - 3);
        std::vector<std::string> templates;
        for (const std::string &r : revisions_of(a))
            templates.push_back("cvs -Q get -r" + r + " -p \"" + rel + "\" > ");
        total += templates.size();
        read += compare_batch(cfg, root + "/proj", tmp, templates, rel);
    }
    unsetenv("CVSROOT");
    // Only the removed revisions are left to cvs.
    EXPECT_GT(read, total * 3 / 4) << read << " of " << total;
}

// Elements of the dump below a directory, with that directory's name taken
// off, and the times of the directories the import made left out.
std::vector<std::string> elements_below(const std::string &dump, const std::string &dir) {
    std::vector<std::string> out;
    std::istringstream in(dump);
    std::string key = "\"path\":\"" + dir + "/";
    for (std::string l; std::getline(in, l);) {
        size_t p = l.find(key);
        if (p == std::string::npos)
            continue;
        l.replace(p, key.size(), "\"path\":\"");
        if (!l.empty() && l.back() == ',')   // the dump's last element has none
            l.pop_back();
        if (l.find("\"kind\":\"directory\"") != std::string::npos)
            for (size_t t = 0; (t = l.find("\"time\":", t)) != std::string::npos; t += 7)
                l.replace(t + 7, l.find_first_not_of("0123456789", t + 7) - t - 7, "RUN");
        out.push_back(l);
    }
    return out;
}

TEST_F(InProcess, ImportWithTheReaderOnAndOffMakesTheSameVob) {
    if (!have_tools())
        GTEST_SKIP() << "rcs and cvs are not installed";
    std::string root = tmp + "/cvsroot", work = tmp + "/work";
    ASSERT_EQ(make_cvs_repo(root, work), 0);
    std::string df = tmp + "/cvs.dat";
    std::string exporter = std::string(VANTOR_BUILD_DIR) + "/drivers/rcs/vantexport_cvs";
    ASSERT_EQ(testutil::shell("cd '" + root + "/proj' && CVSROOT='" + root + "' '" + exporter +
                              "' -r -A -o '" + df + "' >/dev/null 2>&1"),
              0);
    std::string text = testutil::read_file(df);
    setenv("CVSROOT", root.c_str(), 1);
    for (const char *side : {"off", "on"}) {
        testutil::make_dirs(vob_root() + "/" + side);
        if (std::string(side) == "off")
            setenv("VANTOR_IMPORT_INPROCESS", "0", 1);
        else
            unsetenv("VANTOR_IMPORT_INPROCESS");
        std::string target = vob_root() + "/" + side;
        ASSERT_EQ(run_import(text,
                             [&](imp_params &p) {
                                 p.target_dir = target.c_str();
                                 p.verbose = 1;
                             }),
                  0)
            << err_text;
        bool said = (out_text + err_text).find("revisions of RCS and CVS archives were read in process") !=
                    std::string::npos;
        EXPECT_EQ(said, std::string(side) == "on") << out_text << err_text;
    }
    // Again: nothing new, so no count of revisions read, although those
    // identical to their predecessor are read again to be compared.
    std::string again = vob_root() + "/on";
    ASSERT_EQ(run_import(text, [&](imp_params &p) { p.target_dir = again.c_str(); }), 0) << err_text;
    EXPECT_NE(out_text.find("Nothing new to import"), std::string::npos) << out_text;
    EXPECT_EQ(out_text.find("were read in process"), std::string::npos) << out_text;
    unsetenv("CVSROOT");
    FILE *f = std::tmpfile();
    std::string err;
    ASSERT_EQ(vob_dump_json(vob, f, &err), 0) << err;
    std::rewind(f);
    std::string dump;
    for (int c; (c = std::fgetc(f)) != EOF;)
        dump += char(c);
    std::fclose(f);
    std::vector<std::string> off = elements_below(dump, "off"), on = elements_below(dump, "on");
    EXPECT_GT(off.size(), 8u);
    ASSERT_EQ(off.size(), on.size());
    for (size_t i = 0; i < off.size(); ++i)
        EXPECT_EQ(off[i], on[i]);
}

}   // namespace
