// Storage areas: many small allocations freed at once.
// An area owns every block allocated from it; stg_delete_area frees them all and
// nulls the handle. Allocation failure returns null (never throws).
#pragma once

#include <cstddef>

struct stg_area;

stg_area *stg_create_area(size_t initial_size);
void *stg_alloc(stg_area *area, size_t bytes);          // zeroed memory
char *stg_area_strdup(stg_area *area, const char *s);   // null s gives null
void stg_delete_area(stg_area **area);

// Plain heap operations (malloc family); the library frees driver strings it
// renames in place with stg_free, so drivers allocate those with stg_malloc/stg_strdup.
void *stg_malloc(size_t bytes);
void *stg_realloc(void *p, size_t bytes);
void stg_free(void *p);
char *stg_strdup(const char *s);
void stg_set_zero(void *p, size_t bytes);

// Test hook for fault injection: the next n allocations of any kind succeed,
// then one fails; -1 (the default) disables it.
void stg_fail_after(long n);
