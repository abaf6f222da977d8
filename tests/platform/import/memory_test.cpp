// The import's memory budget: revisions read in process beyond it wait in
// files of the run's temporary directory and come back byte for byte, a
// revision larger than the whole budget goes through, nothing is left
// behind, and a stop request ends a walk of the archive.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/import/imp_inproc.h"
#include "platform/import/imp_pool.h"
#include "rcsarchive/rcs_keyword.h"
#include "tests/platform/import/import_fixture.h"

namespace {

bool have_rcs() { return std::system("command -v ci >/dev/null && command -v co >/dev/null") == 0; }

const int BIG_REVS = 40;

// big.txt: 40 revisions of about 100 KB, each with its own $Id$; huge.txt: a
// first revision of 1.5 MB, more than a 1 MB budget, then a small one.
const char ARCHIVES[] = R"SH(
set -e
export TZ=UTC
r=1
while [ $r -le 40 ]; do
  awk -v r=$r 'BEGIN { print "$Id$"; for (l = 0; l < 1600; l++)
    printf "line %05d %s ............................................\n", l, (l % 37 == r % 37) ? "rev " r : "same" }' > big.txt
  ci -q -l -t-big -m"revision $r" big.txt
  r=$((r + 1))
done
head -c 1500000 /dev/zero | tr '\0' 'h' > huge.txt && printf '\n$Revision$\n' >> huge.txt
ci -q -l -t-huge -mone huge.txt && printf 'small now\n' > huge.txt && ci -q -u -mtwo huge.txt
rm -f big.txt
)SH";

// What the run said of its budget: revisions and KB that waited in files, the
// budget and the peak held in memory, in KB; false when it said nothing.
struct spill_note {
    long revs = -1, kb = -1, budget_kb = -1, peak_kb = -1;
};
bool read_note(const std::string &out, spill_note *n) {
    size_t at = out.find(" revisions read in process (");
    if (at == std::string::npos)
        return false;
    size_t b = out.rfind('\n', at);
    b = b == std::string::npos ? 0 : b + 1;
    return std::sscanf(out.c_str() + b,
                       "%ld revisions read in process (%ld KB) waited in files, beyond the memory "
                       "budget of %ld KB (VANTOR_IMPORT_MEMORY_MB); at most %ld KB waited in memory.",
                       &n->revs, &n->kb, &n->budget_kb, &n->peak_kb) == 4;
}

// Sets an environment variable for the scope, and puts back what was there.
struct env_scope {
    std::string name;
    std::optional<std::string> old;
    env_scope(const char *n, const char *v) : name(n) {
        if (const char *o = std::getenv(n))
            old = o;
        if (v)
            setenv(n, v, 1);
        else
            unsetenv(n);
    }
    ~env_scope() {
        if (old)
            setenv(name.c_str(), old->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
};

struct MemoryBudget : ImportFixture {
    std::string rcs_dir, archive;

    void SetUp() override {
        ImportFixture::SetUp();
        if (HasFatalFailure() || !have_rcs())
            return;
        rcs_dir = tmp + "/rcs";
        testutil::make_dirs(rcs_dir + "/RCS");
        ASSERT_EQ(testutil::shell(ARCHIVES, nullptr, nullptr, rcs_dir), 0);
        archive = rcs_dir + "/RCS/big.txt,v";
    }

    std::string co(const std::string &rev, const std::string &file = "big.txt") {
        std::string out;
        EXPECT_EQ(testutil::shell("co -q -p" + rev + " RCS/" + file + ",v", &out, nullptr, rcs_dir), 0);
        return out;
    }
};

// A batch over the whole archive with a budget of 300,000 bytes: the first
// revisions the walk meets fill it, the others wait in their files, every
// one is as co writes it, and the budget is whole again once the batch is gone.
TEST_F(MemoryBudget, BatchKeepsWithinItsBudget) {
    if (!have_rcs())
        GTEST_SKIP() << "rcs is not installed";
    imp_inproc_cfg cfg;
    imp_inproc_configure(&cfg);
    ASSERT_TRUE(cfg.rcs) << cfg.why_not;
    imp_mem_budget mem;
    mem.limit = 300000;
    {
        imp_rcs_batch b;
        b.mem = &mem;
        b.tool = RCS_KW_CO;
        b.archive = archive;
        for (int r = 1; r <= BIG_REVS; ++r) {
            imp_rcs_slot s;
            s.rev = "1." + std::to_string(r);
            std::string why;
            ASSERT_EQ(imp_extract_fill("co -q -r" + s.rev + " -p \"%s%cRCS/big.txt,v\" > \"%s\"", rcs_dir,
                                       tmp + "/c" + std::to_string(r), tmp + "/w", &s.job, &why),
                      0)
                << why;
            b.slots.push_back(std::move(s));
        }
        imp_rcs_batch_run(&b, false, nullptr);
        EXPECT_EQ(b.why_commands, "");
        int64_t in_memory = 0;
        long in_files = 0;
        for (const imp_rcs_slot &s : b.slots) {
            SCOPED_TRACE(s.rev);
            ASSERT_TRUE(s.in_process);
            EXPECT_EQ(s.in_file, s.held == 0);
            EXPECT_EQ(s.in_file ? testutil::read_file(s.job.out_path) : s.bytes, co(s.rev));
            in_memory += s.held;
            in_files += s.in_file;
        }
        EXPECT_LE(in_memory, mem.limit);
        EXPECT_GT(in_memory, mem.limit - 110000);   // room for less than one more
        EXPECT_EQ(mem.held, in_memory);
        EXPECT_EQ(mem.peak, in_memory);
        EXPECT_EQ(mem.spilled, in_files);
        EXPECT_GT(in_files, BIG_REVS / 2);
    }
    EXPECT_EQ(mem.held, 0);

    // A pool that stops ends the walk: nothing is read, no command runs.
    imp_pool pool;
    imp_pool_stop(&pool);
    imp_rcs_batch b;
    b.mem = &mem;
    b.tool = RCS_KW_CO;
    b.archive = archive;
    imp_rcs_slot s;
    s.rev = "1.3";
    std::string why;
    ASSERT_EQ(imp_extract_fill("co -q -r1.3 -p \"%s%cRCS/big.txt,v\" > \"%s\"", rcs_dir, tmp + "/stopped",
                               tmp + "/w", &s.job, &why),
              0);
    b.slots.push_back(std::move(s));
    imp_rcs_batch_run(&b, false, &pool);
    EXPECT_FALSE(b.slots[0].in_process);
    EXPECT_NE(b.slots[0].status, 0);
    EXPECT_TRUE(b.slots[0].stopped);
    EXPECT_NE(b.slots[0].message.find("stopped"), std::string::npos) << b.slots[0].message;
    EXPECT_FALSE(testutil::exists(tmp + "/stopped"));
}

// Imports of the exporter's data file with budgets of 1 MB and of nothing:
// every version as co prints it, in its place; the note says what waited in
// files and that memory stayed within the budget; the temporary directory
// is gone afterwards.
TEST_F(MemoryBudget, ImportSpillsBeyondTheBudgetAndLosesNothing) {
    if (!have_rcs())
        GTEST_SKIP() << "rcs is not installed";
    std::string df = tmp + "/rcs.dat";
    std::string exporter = std::string(VANTOR_BUILD_DIR) + "/drivers/rcs/vantexport_rcs";
    ASSERT_EQ(
        testutil::shell("'" + exporter + "' -r -o '" + df + "' >/dev/null 2>&1", nullptr, nullptr, rcs_dir),
        0);
    std::string text = testutil::read_file(df);
    std::string spill_parent = tmp + "/spill";
    testutil::make_dirs(spill_parent);
    env_scope t1("TMP", nullptr), t2("TEMP", nullptr), t3("TMPDIR", spill_parent.c_str());
    env_scope inproc("VANTOR_IMPORT_INPROCESS", nullptr);
    struct budget_case {
        const char *mb, *dir;
        long min_spilled;   // of the 41 revisions of a MB or less
    };
    const budget_case cases[] = {{"1", "one", BIG_REVS - 10}, {"0", "none", BIG_REVS + 1}};
    for (const budget_case &c : cases) {
        SCOPED_TRACE(c.dir);
        env_scope budget("VANTOR_IMPORT_MEMORY_MB", c.mb);
        std::string target = vob_root() + "/" + c.dir;
        testutil::make_dirs(target);
        ASSERT_EQ(run_import(text, [&](imp_params &p) { p.target_dir = target.c_str(); }), 0)
            << out_text << err_text;
        EXPECT_NE(out_text.find("42 of 42 revisions of RCS and CVS archives were read in process"),
                  std::string::npos)
            << out_text;
        spill_note n;
        ASSERT_TRUE(read_note(out_text, &n)) << out_text;
        EXPECT_EQ(n.budget_kb, std::atol(c.mb) * 1024);
        EXPECT_LE(n.peak_kb, n.budget_kb);
        EXPECT_GE(n.revs, c.min_spilled);
        EXPECT_LE(n.revs, BIG_REVS + 1);   // the 1.5 MB revision is never kept in memory
        EXPECT_GE(n.kb, (n.revs - 1) * 90);
        EXPECT_TRUE(std::filesystem::is_empty(spill_parent)) << "the temporary directory is left";
        for (int r = 1; r <= BIG_REVS; ++r)
            ASSERT_TRUE(contents(std::string(c.dir) + "/big.txt@@/main/" + std::to_string(r)) ==
                        co("1." + std::to_string(r)))
                << "version " << r;
        EXPECT_TRUE(contents(std::string(c.dir) + "/huge.txt@@/main/1") == co("1.1", "huge.txt"));
        EXPECT_EQ(contents(std::string(c.dir) + "/huge.txt@@/main/2"), co("1.2", "huge.txt"));
        EXPECT_EQ(vtree(std::string(c.dir) + "/big.txt").size(), size_t(BIG_REVS + 1));
    }
}

// The budget from the environment; anything but a number of MB in range is
// warned about and the default taken.
TEST(MemoryBudgetSetting, FromTheEnvironment) {
    const int64_t mb = int64_t(1) << 20;
    std::string warning;
    int64_t fallback;
    {
        env_scope e("VANTOR_IMPORT_MEMORY_MB", nullptr);
        fallback = imp_mem_default_limit(&warning);
    }
    EXPECT_EQ(warning, "");
    EXPECT_GT(fallback, 0);
    EXPECT_LE(fallback, int64_t(IMP_MEM_DEFAULT_MB) * mb);
    struct setting {
        const char *value;
        int64_t want;   // -1: the default, with a warning
    };
    const setting cases[] = {
        {"", fallback}, {"0", 0},     {"12", 12 * mb}, {"1048576", int64_t(1048576) * mb},
        {"-1", -1},     {"12MB", -1}, {"1048577", -1}, {"lots", -1},
    };
    for (const setting &c : cases) {
        SCOPED_TRACE(c.value);
        env_scope e("VANTOR_IMPORT_MEMORY_MB", c.value);
        warning.clear();
        int64_t got = imp_mem_default_limit(&warning);
        EXPECT_EQ(got, c.want < 0 ? fallback : c.want);
        EXPECT_EQ(warning.empty(), c.want >= 0) << warning;
        if (c.want < 0) {
            EXPECT_NE(warning.find(std::string("\"") + c.value + "\""), std::string::npos) << warning;
        }
    }
}

}   // namespace
