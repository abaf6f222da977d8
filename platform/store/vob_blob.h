// The stored forms of version contents (internal to the store and its tests).
//
// A blob is the contents of one or more versions, named by the SHA-256 of its
// full bytes (ver.sha). Schema 4 gives every blob a row of the table blob:
//   blob(id, sha UNIQUE, size, form, base, depth, stored, data)
// form says how the full bytes come back from the stored ones:
//   VOB_FORM_RAW    the bytes as they are
//   VOB_FORM_ZSTD   one zstd frame of the bytes
//   VOB_FORM_DELTA  one zstd frame made with the full bytes of the blob
//                   whose id is `base` as its prefix: a version stored
//                   against an earlier version of the same element
// depth is the number of deltas between the blob and a whole text (0 unless
// DELTA; a delta's is its base's plus one, at most VOB_CHAIN_MAX), so that
// reading any version rebuilds at most VOB_CHAIN_MAX + 1 frames. stored is
// the size of the stored form. data holds it when stored <= VOB_INLINE_MAX
// (in the transaction of the rows that name it); otherwise data is NULL and
// the stored form is the pool file pool/ab/<sha>, written and synced before
// that transaction commits (vob_pool.h).
//
// Invariants:
// - A blob's row, and its pool file when it has one, exist while a version
//   names it (ver.sha) or a delta names it as its base (blob.base); the last
//   of them to go takes it with it, and then perhaps its own base (commit).
// - The bytes a blob rebuilds to never change: its SHA-256 is its name. Its
//   stored form may (a damaged one written again whole), never its bytes.
// - A VOB of an older schema (no table blob) keeps every blob raw in the
//   pool; the upgrade to schema 4 gives each a row of form RAW.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct vob_t;

// Stored forms up to this size live in the database, in the transaction of
// the rows that name them; larger ones are files of the pool.
constexpr size_t VOB_INLINE_MAX = 96 * 1024;
// At most this many deltas between a version and a whole text.
constexpr int VOB_CHAIN_MAX = 32;
// Contents smaller than this are kept raw: a frame would not pay.
constexpr size_t VOB_COMPRESS_MIN = 64;
// Contents larger than this are copied raw into the pool as they are read,
// never held in memory whole, compressed or used as a delta base.
constexpr int64_t VOB_WHOLE_MAX = int64_t(256) << 20;
// No delta when base and contents together pass this: zstd's window must
// cover both.
constexpr int64_t VOB_DELTA_MAX = int64_t(64) << 20;

enum vob_form { VOB_FORM_RAW = 0, VOB_FORM_ZSTD = 1, VOB_FORM_DELTA = 2 };

// ---- vob_codec.cpp: zstd frames --------------------------------------------------

// The compression and decompression contexts of one handle (kept across
// calls: making them costs more than a small frame).
struct vob_codec;
vob_codec *vob_codec_new();
void vob_codec_free(vob_codec *c);
// One frame of src, with prefix (may be empty) as earlier bytes it may refer
// to; with a content checksum, so that a damaged frame does not decode.
// false when zstd failed (out of memory).
[[nodiscard]] bool vob_codec_encode(vob_codec *c, std::string_view src, std::string_view prefix,
                                    std::string *out);
// The size bytes of a frame made with prefix; false, with why, when the frame
// is damaged or does not give size bytes.
[[nodiscard]] bool vob_codec_decode(vob_codec *c, std::string_view frame, std::string_view prefix, int64_t size,
                                    std::string *out, std::string *why);

// ---- vob_blob.cpp: blobs ------------------------------------------------------------

// What the store keeps per handle for blobs: the codec and a cache of full
// bytes by SHA-256 (bytes never change under their name, so it needs no
// invalidation), which gives a delta its base and a chain its start.
struct vob_blob_state;
vob_blob_state *vob_blob_state_new();
void vob_blob_state_free(vob_blob_state *s);

// Stores bytes (or a file's bytes, read now) unless a blob of their digest
// exists; base_sha names the contents of the version the new one follows
// (its predecessor on the branch), "" for none: the new blob may be stored
// as a delta against it. Inside the caller's write transaction.
[[nodiscard]] int vob_blob_put(vob_t *v, std::string_view bytes, const std::string &base_sha, std::string *sha);
[[nodiscard]] int vob_blob_put_file(vob_t *v, const std::string &path, const std::string &base_sha,
                                    std::string *sha, int64_t *size);
// The full bytes of the blob sha (size bytes), rebuilt from its stored form;
// VOB_CORRUPT with why (and no store message) when it cannot be rebuilt.
[[nodiscard]] int vob_blob_read(vob_t *v, const std::string &sha, int64_t size,
                                std::shared_ptr<const std::string> *bytes, std::string *why);
// Forgets the full bytes the handle holds, so that what is read next is
// rebuilt from the stored forms (the check of contents).
void vob_blob_cache_drop(vob_t *v);
// The pool file of a raw blob too large to be read whole ("" for others), so
// that a reader copies it as a stream.
[[nodiscard]] int vob_blob_stream_path(vob_t *v, const std::string &sha, std::string *path);
// Called at commit with the blobs that lost a version: those no version and
// no delta names any more lose their rows, and their pool files are listed
// in *pool_gone (to go to trash/); their bases are looked at in turn.
[[nodiscard]] int vob_blob_collect(vob_t *v, std::vector<std::string> *pool_gone);
// Whether a row still keeps the blob sha in the pool (recovery of trash/).
bool vob_blob_in_pool(vob_t *v, const std::string &sha);
