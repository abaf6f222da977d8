// The check of contents (vob_check_contents, `vantor check`): a whole VOB
// checks clean with the right counts; contents damaged behind the store's
// back (a damaged delta base among them) name every version that reads
// them, and no other.
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include <filesystem>
#include <set>
#include <sqlite3.h>
#include <tuple>

namespace {

struct Verify : testvob::OpenVobTest {
    vob_oid mk(vob_oid dir, const std::string &name, int mtype = VOB_MT_FILE_ELEM) {
        vob_oid e = 0;
        EXPECT_EQ(vob_elem_create(v, dir, name, mtype, 0, nullptr, &e), VOB_OK) << vob_errmsg(v);
        return e;
    }
    vob_oid ci(vob_oid branch, const std::string &text) {
        vob_oid ver = 0;
        EXPECT_EQ(vob_ver_create(v, branch, vob_data_bytes(text), nullptr, &ver), VOB_OK) << vob_errmsg(v);
        return ver;
    }
    vob_oid main_of(vob_oid elem) {
        vob_elem_info ei;
        EXPECT_EQ(vob_elem_get(v, elem, &ei), VOB_OK);
        return ei.main_branch;
    }
    // Runs SQL on the VOB's database behind the store's back; SHA names the
    // blob of ver.
    void behind(const std::string &sql, vob_oid ver = 0) {
        vob_ver_info vi;
        if (ver) {
            EXPECT_EQ(vob_ver_get(v, ver, &vi), VOB_OK);
        }
        std::string q = sql;
        if (size_t at = q.find("SHA"); at != std::string::npos)
            q.replace(at, 3, "'" + vi.sha256 + "'");
        sqlite3 *h = nullptr;
        ASSERT_EQ(sqlite3_open((vob_get_storage(v) + "/vob.db").c_str(), &h), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(h, q.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << q << sqlite3_errmsg(h);
        sqlite3_close(h);
    }
};

using Named = std::set<std::tuple<std::string, std::string, std::string>>;   // element, version, why

TEST_F(Verify, WholeThenDamagedBehindTheStoresBack) {
    vob_oid a = mk(root(), "a"), b = mk(root(), "b"), c = mk(root(), "c"), d = mk(root(), "d");
    vob_oid e = mk(mk(root(), "sub", VOB_MT_DIR_ELEM), "e");
    vob_oid a1 = ci(main_of(a), "alpha one\n");
    ci(main_of(a), "alpha two\n");
    vob_oid brtype = 0, dev = 0;
    ASSERT_EQ(vob_type_create(v, VOB_MT_BRTYPE, "dev", nullptr, &brtype), VOB_OK);
    ASSERT_EQ(vob_branch_create(v, a1, brtype, nullptr, &dev), VOB_OK);   // dev/0 shares a1's blob
    vob_oid shared = ci(dev, "shared\n");
    ci(main_of(b), "shared\n");
    ci(main_of(b), "bravo\n");
    vob_oid c1 = ci(main_of(c), "charlie\n");
    ASSERT_EQ(vob_ver_remove_data(v, ci(main_of(d), "delta one\n")), VOB_OK);   // not looked at
    ci(main_of(d), "delta two\n");
    vob_oid e1 = ci(main_of(e), "echo\n");
    std::string text;
    for (int i = 0; i < 200; i++)
        text += "line " + std::to_string(i) + "\n";
    vob_oid f = mk(root(), "f"), f1 = ci(main_of(f), text);   // f/2 and f/3 are deltas against it
    ci(main_of(f), text + "2\n");
    ci(main_of(f), text + "2\n3\n");
    const int64_t f_bytes = 3 * int64_t(text.size()) + 6;

    // Six files; /main/0 of each (empty), a 1 2 dev/0 dev/1, b 1 2, c 1, d 2, e 1, f 1 2 3.
    const int64_t all_bytes = 10 + 10 + 10 + 7 + 7 + 6 + 8 + 10 + 5 + f_bytes;
    int64_t calls = 0, last_done = 0, last_total = 0;
    vob_check_report r;
    ASSERT_EQ(vob_check_contents(v, &r,
                                 [&](int64_t done, int64_t total) {
                                     calls++;
                                     last_done = done;
                                     last_total = total;
                                 }),
              VOB_OK)
        << vob_errmsg(v);
    EXPECT_EQ(std::make_tuple(r.elements, r.versions, r.bytes), std::make_tuple(6, 18, all_bytes));
    EXPECT_TRUE(r.damaged.empty());
    EXPECT_EQ(std::make_tuple(calls, last_done, last_total), std::make_tuple(18, 18, 18));
    std::string out, err;
    EXPECT_EQ(testvob::run_vantor("check /t", &out, &err), 0) << err;
    EXPECT_NE(out.find("Checked VOB \"/t\": 6 elements, 18 versions, " + std::to_string(all_bytes) + " bytes in "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(" s; 0 damaged\n"), std::string::npos) << out;
    EXPECT_EQ(err, "");

    // Same size other bytes, cut short, gone; a size record that the contents
    // do not match; and the base of a chain of deltas damaged.
    behind("UPDATE blob SET data = CAST('ALPHA ONE' || char(10) AS BLOB) WHERE sha = SHA", a1);
    behind("UPDATE blob SET data = substr(data, 1, 3) WHERE sha = SHA", shared);
    behind("DELETE FROM blob WHERE sha = SHA", c1);
    behind("UPDATE ver SET size = 4 WHERE oid = " + std::to_string(e1));
    behind("UPDATE blob SET data = zeroblob(length(data)) WHERE sha = SHA", f1);

    const std::string digest = "its bytes are not those the version recorded",
                      cut = "its stored form gives 3 bytes where the version has 7",
                      base = "the contents it is stored against (";
    const Named want = {{"a", "/main/1", digest},
                        {"a", "/main/dev/0", digest},
                        {"a", "/main/dev/1", cut},
                        {"b", "/main/1", cut},
                        {"c", "/main/1", "it has no stored form"},
                        {"sub/e", "/main/1", "its stored form holds 5 bytes where 4 are expected"},
                        {"f", "/main/1", "its stored form is not a compressed frame"},
                        {"f", "/main/2", base},
                        {"f", "/main/3", base}};
    ASSERT_EQ(vob_check_contents(v, &r), VOB_OK) << vob_errmsg(v);
    EXPECT_EQ(std::make_tuple(r.elements, r.versions, r.bytes), std::make_tuple(6, 18, 10 + 6 + 10));
    Named got;
    for (const vob_check_report::damage &x : r.damaged) {
        size_t at = x.why.find("is damaged: ");   // the store's message, naming the version
        EXPECT_NE(x.why.find(x.element + "@@" + x.version), std::string::npos) << x.why;
        std::string why = at == std::string::npos ? x.why : x.why.substr(at + 12);
        if (why.rfind(base, 0) == 0)   // names the damaged base by its digest
            why = base;
        got.insert({x.element, x.version, why});
        vob_ver_info vi;
        EXPECT_TRUE(vob_ver_get(v, x.ver, &vi) == VOB_OK && vi.elem == x.elem && vi.id == x.version);
    }
    EXPECT_EQ(got, want);
    EXPECT_EQ(r.damaged.size(), want.size());

    EXPECT_EQ(testvob::run_vantor("check /t", &out, &err), 1);
    EXPECT_EQ(testutil::count(out, "\n"), want.size() + 1) << out;
    for (const auto &[elem, ver, why] : want)
        EXPECT_EQ(
            testutil::count(out, elem + "@@" + ver + ": VOB \"/t\": cannot read stored contents"), 1u)
            << elem << ver << "\n"
            << out;
    EXPECT_NE(out.find("18 versions, 26 bytes in "), std::string::npos) << out;
    EXPECT_NE(err.find("check: VOB \"/t\" has 9 damaged versions"), std::string::npos) << err;
    EXPECT_EQ(err.find("Checking contents"), std::string::npos) << err;   // not a terminal

    // A large VOB shows its progress on a terminal; what cannot be opened is not checked.
    vob_oid many = main_of(mk(root(), "many"));
    vob_txn t(v);
    ASSERT_EQ(t.begin(), VOB_OK);
    for (int i = 0; i < 500; i++)
        ci(many, "m");
    ASSERT_EQ(t.commit(), VOB_OK) << vob_errmsg(v);
    testutil::ProcResult p = testutil::run_pty({VANTOR_BIN, "check", "/t"}, ".", {}, false);
    EXPECT_EQ(p.status, 1);
    EXPECT_NE(p.err.find("Checking contents: 519 of 519 versions"), std::string::npos) << p.err;
    EXPECT_NE(p.out.find("7 elements, 519 versions, 526 bytes"), std::string::npos) << p.out;
    EXPECT_EQ(testvob::run_vantor("check /none", &out, &err), 1);
    EXPECT_NE(err.find("check: cannot check VOB \"/none\": "), std::string::npos) << err;
    EXPECT_EQ(out, "");
}

}   // namespace
