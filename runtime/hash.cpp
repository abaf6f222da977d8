// String hash tables that remember the order in which keys were entered.
//
// Entries live in a deque, so a key pointer handed out by hash_str_next stays
// valid while the table grows; the index maps views of those keys to positions.
#include "hash.h"

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

namespace {
struct entry {
    std::string key;
    void *value;
};
}   // namespace

struct hash_table {
    std::deque<entry> entries;                            // in order of first entry
    std::unordered_map<std::string_view, size_t> index;   // key -> position in entries
};

hash_table *hash_str_create(int size, int, int) {
    auto *t = new hash_table;
    // With the default maximum load factor of 1, room for size keys is at
    // least size buckets.
    t->index.reserve(size > 0 ? size_t(size) : 16);
    return t;
}

int hash_set_dynamic(hash_table *t, int, int, int, int) { return t ? 0 : 1; }

int hash_str_enter(hash_table *t, const char *key, void *value, int *already) {
    if (already)
        *already = 0;
    if (!t || !key)
        return 22;
    auto found = t->index.find(std::string_view(key));
    if (found != t->index.end()) {
        if (already)
            *already = 1;
        return 0;
    }
    t->entries.push_back(entry{key, value});
    t->index.emplace(std::string_view(t->entries.back().key), t->entries.size() - 1);
    return 0;
}

int hash_str_lookup(hash_table *t, const char *key, void **value, void *) {
    if (!t || !key)
        return 0;
    auto found = t->index.find(std::string_view(key));
    if (found == t->index.end())
        return 0;
    if (value)
        *value = t->entries[found->second].value;
    return 1;
}

int hash_str_next(hash_table *t, long *cursor, const char **key, void **value) {
    if (!t || !cursor || *cursor < 0 || size_t(*cursor) >= t->entries.size())
        return 0;
    const entry &e = t->entries[size_t(*cursor)];
    ++*cursor;
    if (key)
        *key = e.key.c_str();
    if (value)
        *value = e.value;
    return 1;
}

int hash_str_count(const hash_table *t) { return t ? int(t->entries.size()) : 0; }

void hash_delete_ht(hash_table *t) { delete t; }
