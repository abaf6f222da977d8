// A VOB whose storage cannot be written: on a read-only mount, with read-only
// files in a writable directory, and read-only throughout. Every reading
// program says what it says of the writable VOB; every writing one fails,
// saying the storage is read-only, and changes nothing.
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string BUILD = VANTOR_BUILD_DIR;
const std::string VANTOR = VANTOR_BIN;

enum Mode { WRITABLE, MOUNT_RO, FILES_RO, ALL_RO };
const char *const mode_names[] = {"writable", "read-only mount", "read-only files",
                                  "read-only directory and files"};

// The exporter's summary tells how long it took.
std::string untimed(const std::string &s) {
    return std::regex_replace(s, std::regex(" in [0-9.]+ s"), " in - s");
}

struct ReadOnly : testvob::VobTest {
    std::string view, vobdir, storage;
    void SetUp() override {
        testvob::VobTest::SetUp();
        view = home + "/view";
        storage = home + "/vobs/proj.vbs";
        ASSERT_EQ(testvob::run_vantor("mkvob -tag /proj"), 0);
        ASSERT_EQ(testvob::run_vantor("mkview -tag me -vob /proj '" + view + "'"), 0);
        vobdir = view + "/proj";
        fs::create_directories(vobdir + "/sub");
        testutil::write_file(vobdir + "/a.c", "one\n");
        testutil::write_file(vobdir + "/sub/s.c", "sub\n");
        sh("mkelem -ci -c 'first version' a.c");
        sh("checkout -c co a.c");
        testutil::write_file(vobdir + "/a.c", "two\n");
        sh("checkin -c second a.c");
        sh("mklbtype REL1");
        sh("mklabel REL1 a.c@@/main/1");
        sh("mkelem -dir -c 'a dir' sub");
        sh("mkelem -ci sub/s.c");
        testutil::write_file(vobdir + "/b.c", "b\n");
        sh("mkelem -ci b.c");
        sh("checkout -c 'left checked out' b.c");
        testutil::write_file(vobdir + "/b.c", "b2\n");
        // A tree to compare with, the source of a file-system import.
        fs::create_directories(tmp + "/other/sub");
        testutil::write_file(tmp + "/other/a.c", "two\n");
        testutil::write_file(tmp + "/other/sub/s.c", "changed\n");
        fs::create_directories(tmp + "/src");
        testutil::write_file(tmp + "/src/new.c", "new\n");
        sh("update");
    }
    void TearDown() override {
        set_storage_writable(true);
        testvob::VobTest::TearDown();
    }
    void sh(const std::string &args) {
        std::string out, err;
        ASSERT_EQ(testvob::run_vantor(args, &out, &err, vobdir), 0) << args << "\n" << err;
    }
    void set_storage_writable(bool w) {
        std::error_code ec;
        auto opt = w ? fs::perm_options::add : fs::perm_options::remove;
        for (auto it = fs::recursive_directory_iterator(storage, ec); !ec && it != fs::end(it);
             it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_write, opt, ec);
        fs::permissions(storage, fs::perms::owner_write, opt, ec);
    }
    void set_files_writable(bool w) {
        std::error_code ec;
        auto opt = w ? fs::perm_options::add : fs::perm_options::remove;
        for (auto it = fs::recursive_directory_iterator(storage, ec); !ec && it != fs::end(it);
             it.increment(ec))
            if (it->is_regular_file())
                fs::permissions(it->path(), fs::perms::owner_write, opt, ec);
    }
    // Runs a shell command line in cwd the way the mode makes the storage
    // read-only; "SKIP: ..." in err when that cannot be done here.
    testutil::ProcResult run(Mode m, const std::string &line, const std::string &cwd) {
        std::string script = tmp + "/cmd.sh";
        testutil::write_file(script, "cd '" + cwd + "' && " + line + "\n");
        testutil::ProcResult r;
        if (m == WRITABLE) {
            r.status = testutil::shell("sh '" + script + "'", &r.out, &r.err);
        } else if (m == MOUNT_RO) {
            std::string s = "'" + storage + "'";
            r.status = testutil::shell("unshare -rm sh -c \"mount --bind " + s + " " + s +
                                           " && mount -o remount,bind,ro " + s + " && sh '" + script + "'\"",
                                       &r.out, &r.err);
        } else {
            std::string got = testvob::run_unprivileged([&] {
                testutil::ProcResult c = testutil::run({"sh", script});
                return nlohmann::json{{"status", c.status}, {"out", c.out}, {"err", c.err}}.dump();
            });
            if (got.rfind("SKIP", 0) == 0) {
                r.err = got;
                return r;
            }
            nlohmann::json j = nlohmann::json::parse(got);
            r.status = j["status"];
            r.out = j["out"];
            r.err = j["err"];
        }
        return r;
    }
    // Makes the storage read-only the mode's way; false (with *why) when the
    // mode cannot be had here.
    bool enter(Mode m, std::string *why) {
        if (m == MOUNT_RO) {
            std::string d = "'" + storage + "'";
            if (testutil::shell("unshare -rm sh -c \"mount --bind " + d + " " + d +
                                " && mount -o remount,bind,ro " + d + "\" 2>/dev/null") != 0) {
                *why = "no user and mount namespaces (unshare -rm) here";
                return false;
            }
            return true;
        }
        // The unprivileged child owns the home, so only the permissions of
        // the storage stop it.
        if (geteuid() == 0)
            testutil::shell("chown -R " + std::to_string(testvob::unprivileged_uid()) + ":" +
                            std::to_string(testvob::unprivileged_uid()) + " '" + home + "'");
        if (m == FILES_RO)
            set_files_writable(false);
        else
            set_storage_writable(false);
        return true;
    }
};

TEST_F(ReadOnly, ReadingWorksAndWritingSaysSo) {
    struct Reading {
        const char *line;   // below, @V is the vantor program, @B the build directory, @T tmp
        bool in_vob;        // run in the VOB's directory of the view, else in tmp
    } const reading[] = {
        {"@V lsvtree a.c", true},
        {"@V describe a.c@@/main/2", true},
        {"@V describe b.c", true},
        {"@V cat a.c@@/main/1", true},
        {"@V cat /proj/sub/s.c@@/main/1", false},
        {"@V dump --json /proj", false},
        {"@V diff -r . @T/other", true},
        {"@V update", true},
        {"rm -f @T/export.dat && @B/drivers/vantor/vantexport_vantor -o @T/export.dat -r . && cat @T/export.dat",
         true},
    };
    const char *const writing[] = {
        "@V mklbtype REL2",
        "@V mklabel -replace REL1 a.c@@/main/2",
        "@V checkout -c x a.c",
        "@V checkin -c x b.c",
        "@V uncheckout -rm b.c",
        "echo n > n.c && @V mkelem -ci n.c",
        "@V rmver -data a.c@@/main/1",
        "@V lock a.c",
        "@V mkbranch main a.c@@/main/1",
        "@B/importers/vantfsimport/vantfsimport -r @T/src .",
        "@B/importers/vantimport/vantimport @T/export.dat",   // the exporter's data file above
        "@V rmvob /proj",                                     // last: it would take the VOB away
    };
    auto expand = [&](std::string s) {
        for (auto [key, val] : {std::pair<std::string, std::string>{"@V", "'" + VANTOR + "'"},
                                {"@B", "'" + BUILD + "'"},
                                {"@T", "'" + tmp + "'"}})
            for (size_t at; (at = s.find(key)) != std::string::npos;)
                s.replace(at, key.size(), val);
        return s;
    };
    std::vector<testutil::ProcResult> want;
    for (const Reading &c : reading)
        want.push_back(run(WRITABLE, expand(c.line), c.in_vob ? vobdir : tmp));
    std::string dump_before = want[5].out;
    ASSERT_EQ(want[0].status, 0) << want[0].err;
    ASSERT_NE(want[5].out.find("\"REL1\""), std::string::npos) << want[5].out;

    std::vector<std::string> skipped;
    for (Mode m : {MOUNT_RO, FILES_RO, ALL_RO}) {
        SCOPED_TRACE(mode_names[m]);
        std::string why;
        if (!enter(m, &why)) {
            skipped.push_back(std::string(mode_names[m]) + ": " + why);
            continue;
        }
        for (size_t i = 0; i < std::size(reading); i++) {
            SCOPED_TRACE(reading[i].line);
            testutil::ProcResult r = run(m, expand(reading[i].line), reading[i].in_vob ? vobdir : tmp);
            if (r.err.rfind("SKIP", 0) == 0) {
                skipped.push_back(std::string(mode_names[m]) + ": " + r.err);
                break;
            }
            EXPECT_EQ(r.status, want[i].status) << r.err;
            EXPECT_EQ(r.out, want[i].out);
            EXPECT_EQ(untimed(r.err), untimed(want[i].err));
        }
        // A new view loads from the VOB.
        std::string v2 = home + "/view_" + std::to_string(m);
        testutil::ProcResult r =
            run(m, "'" + VANTOR + "' mkview -tag v" + std::to_string(m) + " -vob /proj '" + v2 + "'", tmp);
        EXPECT_EQ(r.status, 0) << r.err;
        if (r.status == 0) {
            EXPECT_EQ(testutil::read_file(v2 + "/proj/a.c"), "two\n");
            EXPECT_EQ(testutil::read_file(v2 + "/proj/sub/s.c"), "sub\n");
        }
        std::string says = "its storage \"" + storage + "\" is read-only";
        for (const char *line : writing) {
            SCOPED_TRACE(line);
            testutil::ProcResult w = run(m, expand(line), vobdir);
            EXPECT_NE(w.status, 0) << w.out;
            EXPECT_NE(w.err.find(says), std::string::npos) << w.err;
            EXPECT_EQ(w.err.find("unable to open database file"), std::string::npos) << w.err;
            EXPECT_EQ(w.err.find("not inside a snapshot view"), std::string::npos) << w.err;
        }
        testutil::ProcResult d = run(m, expand(reading[5].line), tmp);
        EXPECT_EQ(d.out, dump_before);
        // No file left in the storage by the readers.
        for (const auto &e : fs::directory_iterator(storage))
            EXPECT_TRUE(e.path().filename() == "vob.db" || e.path().filename() == "vob.db-wal" ||
                        e.path().filename() == "vob.db-shm" || e.path().filename() == "pool")
                << e.path();
        if (m == FILES_RO)
            set_files_writable(true);
    }
    if (skipped.size() == 3)
        GTEST_SKIP() << skipped[0] << "; " << skipped[1] << "; " << skipped[2];
    for (const std::string &s : skipped)
        std::cerr << "not tried: " << s << "\n";
}

}   // namespace
