// String-keyed hash tables. Keys are copied; values are opaque pointers.
// Iteration (hash_str_next) visits keys in the order they were first entered,
// so reports built from a table are stable from run to run.
#pragma once

struct hash_table;

// size: the initial bucket count (at least that many buckets; 16 when size
// is not positive). p1 and p2 are ignored, kept for the interface.
hash_table *hash_str_create(int size, int p1, int p2);
// Lets the table grow as needed. Every table grows already, so this changes
// nothing: policy, size, p1 and p2 are ignored, kept for the interface.
// Returns 0, or 1 for a null table.
[[nodiscard]] int hash_set_dynamic(hash_table *t, int policy, int size, int p1, int p2);
// Adds key with value; *already is set to 1 when the key was there (the value is
// then left unchanged). Returns 0, or 22 for a null table or key.
[[nodiscard]] int hash_str_enter(hash_table *t, const char *key, void *value, int *already);
// 1 when found (value stored in *value when value is not null), 0 when not.
int hash_str_lookup(hash_table *t, const char *key, void **value, void *context);
// Iteration: start with *cursor = 0; returns 1 and the next entry, 0 at the end.
int hash_str_next(hash_table *t, long *cursor, const char **key, void **value);
int hash_str_count(const hash_table *t);
void hash_delete_ht(hash_table *t);
