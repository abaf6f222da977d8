// Storage areas: a chain of malloc'ed chunks handed out by bumping a pointer.
//
// Invariants: every block of an area lies inside one chunk of that area's chain;
// blocks are aligned to max_align_t; a chunk is never shared between areas.
// Blocks larger than a quarter of the chunk size get a chunk of their own so
// that a few big blocks do not waste the rest of a chunk. Under AddressSanitizer
// every block gets its own chunk, so that an overrun of one block is caught.
#include "stg.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#define STG_BLOCK_PER_CHUNK 1
#else
#define STG_BLOCK_PER_CHUNK 0
#endif

namespace {

constexpr size_t ALIGN = alignof(std::max_align_t);
constexpr size_t MIN_CHUNK = 4096;

struct chunk {
    chunk *next;
    size_t size;   // usable bytes after the header
    size_t used;
};

constexpr size_t HEADER = (sizeof(chunk) + ALIGN - 1) / ALIGN * ALIGN;

std::atomic<long> fail_countdown{-1};

// One call per allocation request: true when this one must fail.
bool injected_failure() {
    long n = fail_countdown.load();
    while (n >= 0) {
        long next = n == 0 ? -1 : n - 1;
        if (fail_countdown.compare_exchange_weak(n, next))
            return n == 0;
    }
    return false;
}

size_t round_up(size_t n) { return (n + ALIGN - 1) / ALIGN * ALIGN; }

unsigned char *chunk_data(chunk *c) { return reinterpret_cast<unsigned char *>(c) + HEADER; }

chunk *new_chunk(size_t size) {
    if (size > SIZE_MAX - HEADER)
        return nullptr;
    chunk *c = static_cast<chunk *>(std::malloc(HEADER + size));
    if (!c)
        return nullptr;
    c->next = nullptr;
    c->size = size;
    c->used = 0;
    return c;
}

}   // namespace

struct stg_area {
    chunk *head;   // current chunk, where small blocks are carved
    size_t chunk_size;
};

stg_area *stg_create_area(size_t initial_size) {
    if (injected_failure())
        return nullptr;
    stg_area *a = static_cast<stg_area *>(std::malloc(sizeof(stg_area)));
    if (!a)
        return nullptr;
    a->head = nullptr;
    a->chunk_size = initial_size < MIN_CHUNK ? MIN_CHUNK : round_up(initial_size);
    return a;
}

// A block of its own, linked behind the head so the head keeps its free space.
static void *alloc_own_chunk(stg_area *a, size_t bytes) {
    chunk *c = new_chunk(bytes);
    if (!c)
        return nullptr;
    c->used = bytes;
    if (a->head) {
        c->next = a->head->next;
        a->head->next = c;
    } else {
        a->head = c;
    }
    return chunk_data(c);
}

static void *area_alloc(stg_area *a, size_t bytes) {
    if (!a)
        return nullptr;
    if (bytes == 0)
        bytes = 1;
    if (bytes > SIZE_MAX - ALIGN)
        return nullptr;
    size_t need = round_up(bytes);
    void *p;
    if (STG_BLOCK_PER_CHUNK || need > a->chunk_size / 4) {
        p = alloc_own_chunk(a, need);
    } else {
        if (!a->head || a->head->size - a->head->used < need) {
            chunk *c = new_chunk(a->chunk_size);
            if (!c)
                return nullptr;
            c->next = a->head;
            a->head = c;
        }
        p = chunk_data(a->head) + a->head->used;
        a->head->used += need;
    }
    if (p)
        std::memset(p, 0, bytes);
    return p;
}

void *stg_alloc(stg_area *area, size_t bytes) {
    if (injected_failure())
        return nullptr;
    return area_alloc(area, bytes);
}

char *stg_area_strdup(stg_area *area, const char *s) {
    if (!s)
        return nullptr;
    if (injected_failure())
        return nullptr;
    size_t n = std::strlen(s) + 1;
    char *p = static_cast<char *>(area_alloc(area, n));
    if (p)
        std::memcpy(p, s, n);
    return p;
}

void stg_delete_area(stg_area **area) {
    if (!area || !*area)
        return;
    chunk *c = (*area)->head;
    while (c) {
        chunk *next = c->next;
        std::free(c);
        c = next;
    }
    std::free(*area);
    *area = nullptr;
}

void *stg_malloc(size_t bytes) {
    if (injected_failure())
        return nullptr;
    return std::malloc(bytes ? bytes : 1);
}

void *stg_realloc(void *p, size_t bytes) {
    if (injected_failure())
        return nullptr;
    return std::realloc(p, bytes ? bytes : 1);
}

void stg_free(void *p) { std::free(p); }

char *stg_strdup(const char *s) {
    if (!s)
        return nullptr;
    if (injected_failure())
        return nullptr;
    size_t n = std::strlen(s) + 1;
    char *p = static_cast<char *>(std::malloc(n));
    if (p)
        std::memcpy(p, s, n);
    return p;
}

void stg_set_zero(void *p, size_t bytes) {
    if (p && bytes)
        std::memset(p, 0, bytes);
}

void stg_fail_after(long n) { fail_countdown.store(n < 0 ? -1 : n); }
