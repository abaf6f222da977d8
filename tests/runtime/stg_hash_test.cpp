// Storage areas (fault injection) and hash tables (order, duplicates).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/hash.h"
#include "runtime/stg.h"

namespace {

struct FailAfterGuard {
    ~FailAfterGuard() { stg_fail_after(-1); }
};

TEST(Stg, AreaBlocksAreZeroedAlignedAndIndependent) {
    stg_area *a = stg_create_area(64);
    ASSERT_NE(a, nullptr);
    std::vector<unsigned char *> blocks;
    for (size_t n : {1u, 7u, 16u, 3000u, 100000u, 5u}) {
        auto *p = static_cast<unsigned char *>(stg_alloc(a, n));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t), 0u);
        for (size_t i = 0; i < n; ++i)
            ASSERT_EQ(p[i], 0) << "block of " << n << " not zeroed at " << i;
        std::memset(p, 0xAB, n);
        blocks.push_back(p);
    }
    char *s = stg_area_strdup(a, "element/path,v");
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "element/path,v");
    EXPECT_EQ(stg_area_strdup(a, nullptr), nullptr);
    EXPECT_EQ(blocks[0][0], 0xAB);   // later blocks did not overlap earlier ones
    stg_delete_area(&a);
    EXPECT_EQ(a, nullptr);
    stg_delete_area(&a);   // deleting a null handle is harmless
}

TEST(Stg, FailAfterCountsEveryKindOfAllocationThenFailsOnce) {
    FailAfterGuard guard;
    stg_area *a = stg_create_area(0);
    ASSERT_NE(a, nullptr);
    stg_fail_after(3);
    void *m = stg_malloc(10);
    char *d = stg_strdup("x");
    void *b = stg_alloc(a, 8);
    EXPECT_NE(m, nullptr);
    EXPECT_NE(d, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(stg_area_strdup(a, "y"), nullptr);   // the fourth fails
    char *again = stg_area_strdup(a, "z");         // and only that one
    ASSERT_NE(again, nullptr);
    EXPECT_STREQ(again, "z");
    stg_free(m);
    stg_free(d);

    stg_fail_after(0);
    EXPECT_EQ(stg_create_area(100), nullptr);
    stg_fail_after(0);
    EXPECT_EQ(stg_malloc(1), nullptr);
    stg_fail_after(0);
    EXPECT_EQ(stg_strdup("a"), nullptr);
    stg_fail_after(0);
    EXPECT_EQ(stg_alloc(a, 1), nullptr);
    void *grow = stg_malloc(4);
    stg_fail_after(0);
    EXPECT_EQ(stg_realloc(grow, 64), nullptr);   // the old block stays the caller's
    grow = stg_realloc(grow, 64);
    EXPECT_NE(grow, nullptr);
    stg_free(grow);
    stg_fail_after(-1);
    EXPECT_NE(stg_alloc(a, 1), nullptr);
    stg_delete_area(&a);
}

TEST(Hash, IteratesInOrderOfFirstEntryAndKeepsFirstValue) {
    hash_table *t = hash_str_create(2, 0, 1);   // tiny start: forces growth
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(hash_set_dynamic(t, 3, 219, 0, 1), 0);
    std::vector<std::string> keys;
    for (int i = 0; i < 500; ++i)
        keys.push_back("k" + std::to_string((i * 7919) % 1000));
    int values[500];
    for (int i = 0; i < 500; ++i) {
        int already = -1;
        ASSERT_EQ(hash_str_enter(t, keys[size_t(i)].c_str(), &values[i], &already), 0);
        EXPECT_EQ(already, 0);
    }
    int other = 0, already = 0;
    EXPECT_EQ(hash_str_enter(t, "k0", &other, &already), 0);
    EXPECT_EQ(already, 1);
    EXPECT_EQ(hash_str_count(t), 500);

    void *v = nullptr;
    ASSERT_EQ(hash_str_lookup(t, "k0", &v, nullptr), 1);
    EXPECT_EQ(v, &values[0]);                              // duplicate left the value alone
    EXPECT_EQ(hash_str_lookup(t, "K0", &v, nullptr), 0);   // keys are case-sensitive
    EXPECT_EQ(hash_str_lookup(t, "missing", nullptr, nullptr), 0);

    long cursor = 0;
    const char *key;
    std::vector<const char *> seen;
    int i = 0;
    while (hash_str_next(t, &cursor, &key, &v)) {
        ASSERT_LT(i, 500);
        EXPECT_EQ(key, keys[size_t(i)]);
        EXPECT_EQ(v, &values[i]);
        seen.push_back(key);
        ++i;
    }
    EXPECT_EQ(i, 500);
    EXPECT_EQ(hash_str_next(t, &cursor, &key, &v), 0);   // stays at the end
    // Key pointers handed out earlier survive further growth.
    for (int j = 0; j < 2000; ++j)
        ASSERT_EQ(hash_str_enter(t, ("more" + std::to_string(j)).c_str(), nullptr, nullptr), 0);
    EXPECT_STREQ(seen[0], keys[0].c_str());
    EXPECT_STREQ(seen[499], keys[499].c_str());
    hash_delete_ht(t);
}

TEST(Hash, EmptyKeyAndNullTableAreHandled) {
    hash_table *t = hash_str_create(219, 0, 1);
    int already = 0;
    EXPECT_EQ(hash_str_enter(t, "", nullptr, &already), 0);
    EXPECT_EQ(hash_str_lookup(t, "", nullptr, nullptr), 1);
    EXPECT_NE(hash_str_enter(nullptr, "a", nullptr, &already), 0);
    EXPECT_EQ(hash_str_lookup(nullptr, "a", nullptr, nullptr), 0);
    long cursor = 0;
    EXPECT_EQ(hash_str_next(nullptr, &cursor, nullptr, nullptr), 0);
    hash_delete_ht(t);
}

}   // namespace
