// The stored forms of version contents (internal to the store and its tests).
//
// A blob is the contents of one or more versions, named by the SHA-256 of its
// full bytes. It is stored whole or as a delta against another blob, raw or
// compressed; its stored form lives in the database (table blob) when it is
// at most VOB_INLINE_MAX bytes, else in a file of the pool.
#pragma once

#include <cstddef>

// Stored forms up to this size live in the database, in the transaction of
// the rows that name them; larger ones are files of the pool.
constexpr size_t VOB_INLINE_MAX = 96 * 1024;
