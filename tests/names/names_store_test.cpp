// Whatever the exporters make of a name, the store takes: random and hostile
// byte strings go through the repair and the clash rule, and what comes out
// is made a type in a real VOB.
#include <gtest/gtest.h>

#include <clocale>
#include <iterator>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "export/export_names.h"
#include "runtime/imsg.h"
#include "runtime/typename.h"
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

namespace {

// Pieces that sit on the edges of the rule.
// clang-format off
const char *const fragments[] = {
    "#", "-", ".", "_", "a", "Z", "0", "9", "1e5", "0x1F", "1.", "inf", " ", "\t", "/", "@@", "\n", "\r",
    "\xc3", "\xc3\xa9", "\xc0\xae", "\xe0\x80\xae", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xff", "\x80",
    "\xc2\x85", "\xc2\xa0", "\xe3\x80\x80", "\xe2\x80\xae", "\xef\xbb\xbf", "\xef\xbf\xbf", "\xe7\x89\x88",
    "\xf0\x9d\x94\x98", "\xe2\x82"};
// clang-format on

std::string random_name(std::mt19937 &rng) {
    std::string s;
    switch (rng() % 3) {
        case 0: {   // any bytes
            size_t len = rng() % 300;
            for (size_t i = 0; i < len; ++i)
                s += char(1 + rng() % 255);
            break;
        }
        case 1: {   // mostly name characters, some high bytes
            size_t len = rng() % 260;
            const std::string chars = "abcXYZ019_-.";
            for (size_t i = 0; i < len; ++i)
                s += rng() % 8 ? chars[rng() % chars.size()] : char(0x80 + rng() % 0x80);
            break;
        }
        default: {
            size_t n = 1 + rng() % 5;
            for (size_t i = 0; i < n; ++i)
                s += rng() % 6 ? std::string(fragments[rng() % std::size(fragments)])
                               : std::string(115 + rng() % 10, 'a');   // near the length limits
            break;
        }
    }
    return s;
}

struct NamesStoreTest : testvob::VobTest {
    testutil::ImsgCapture cap;
    vob_t *vob = nullptr;
    void SetUp() override {
        VobTest::SetUp();
        std::setlocale(LC_ALL, "C.UTF-8");
        unsetenv("EXPORT_REPLACE_CHAR");
        unsetenv("EXPORT_REPLACE_STRING");
        reset_type_names();
        vob = make_vob("/names");
        ASSERT_NE(vob, nullptr);
    }
    void TearDown() override {
        vob_close(vob);
        unsetenv("EXPORT_REPLACE_CHAR");
        unsetenv("EXPORT_REPLACE_STRING");
        reset_type_names();
        VobTest::TearDown();
    }
    // The store's own check, through the call that makes a type.
    bool store_takes(const std::string &name, int mtype = VOB_MT_LBTYPE) {
        vob_oid t = 0;
        int rc = vob_type_create(vob, mtype, name, nullptr, &t);
        return rc == VOB_OK || rc == VOB_EXISTS;
    }
};

TEST_F(NamesStoreTest, RepairedNamesAreTakenByTheStore) {
    struct {
        const char *replace_char, *replace_string;
    } settings[] = {{nullptr, nullptr}, {"-", nullptr}, {"#", "R_"},
                    {"0", nullptr},     {"_", "x"},     {"\xc3\xa9", "1e"}};
    std::mt19937 rng(1208);
    for (auto &set : settings) {
        if (set.replace_char)
            setenv("EXPORT_REPLACE_CHAR", set.replace_char, 1);
        else
            unsetenv("EXPORT_REPLACE_CHAR");
        if (set.replace_string)
            setenv("EXPORT_REPLACE_STRING", set.replace_string, 1);
        else
            unsetenv("EXPORT_REPLACE_STRING");
        reset_type_names();
        std::set<std::string> to_store;
        for (int i = 0; i < 600; ++i) {
            std::string given = random_name(rng), out;
            type_name_check(given.c_str(), 1, &out);
            ASSERT_TRUE(typename_acceptable(out)) << '"' << given << "\" -> \"" << out << '"';
            to_store.insert(out);
        }
        for (const std::string &n : to_store)
            EXPECT_TRUE(store_takes(n)) << n << ": " << vob_errmsg(vob);
    }
}

// Long names that clash with a name of the other kind get a suffix and must
// still fit the store's length.
TEST_F(NamesStoreTest, ClashSuffixesKeepNamesWithinTheStoresLength) {
    std::mt19937 rng(77);
    std::vector<std::string> names;
    for (int i = 0; i < 400; ++i)
        names.push_back(random_name(rng));
    names.push_back(std::string(255, 'n'));
    names.push_back(std::string(253, 'n') + "\xc3\xa9");
    std::vector<std::string> branches = names, labels = names;
    translate_names("branch", branches);
    translate_names("label", labels);
    std::string suffix = labels[400].substr(labels[400].find("___"));
    EXPECT_EQ(labels[400], std::string(255 - suffix.size(), 'n') + suffix);
    for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(typename_acceptable(branches[i])) << branches[i];
        ASSERT_TRUE(typename_acceptable(labels[i])) << labels[i];
        EXPECT_TRUE(store_takes(branches[i], VOB_MT_BRTYPE)) << vob_errmsg(vob);
        EXPECT_TRUE(store_takes(labels[i])) << vob_errmsg(vob);
    }
}

// The store and the shared rule say the same of names given as they are.
TEST_F(NamesStoreTest, StoreRefusesExactlyWhatTheRuleRefuses) {
    std::mt19937 rng(5);
    for (int i = 0; i < 600; ++i) {
        std::string n = random_name(rng);
        if (i % 3 == 0)
            n = "ok" + std::to_string(i) + n.substr(0, 10);
        EXPECT_EQ(store_takes(n), typename_acceptable(n)) << '"' << n << '"';
    }
}

}   // namespace
