// The content pool of a VOB: a plain file store. Blobs are named by the
// SHA-256 of their bytes, in <dir>/<first two hex digits>/<hex>. It knows
// nothing of the database: the transaction layer (vob_db.cpp) calls it at
// the right moments and turns its failures into store messages.
//
// Invariants kept for the transaction layer:
// - A new blob is written to <dir>/tmp/ and stays there (pending) until
//   vob_pool_flush syncs it and renames it into place; flush runs before the
//   COMMIT of the rows that name the blob, so a crash leaves at most
//   unreferenced blobs. From POOL_SYNCFS_FROM pending blobs on, one syncfs
//   replaces the per-file and per-directory syncs; so does a pending blob
//   that was closed unsynced to bound the open descriptors (closed_unsynced),
//   even if a rolled-back savepoint left fewer blobs pending since.
// - A blob that lost its last version moves to <dir>/trash/ before the
//   COMMIT (vob_pool_trash) and is deleted after it, or moved back when the
//   COMMIT fails (vob_pool_trash_done).
// - Pending blobs carry their order of arrival (seq, growing over the life of
//   the pool, never reused), so that those added after a mark can be dropped
//   while older ones stay pending (a savepoint rolled back).
// - A blob's bytes are on disk before its final name is (see
//   vob_pool_flush), so a blob in place is whole unless the disk lied or was
//   damaged. It is trusted only when its size is the size of the bytes in
//   hand, and, after an unclean end (a marker in dirty/ that no live handle
//   holds), its digest; otherwise it is written again and replaced.
// - From its first flush until vob_pool_close a handle holds a locked marker
//   in dirty/.
// Every function that can fail returns 0 or an errno value and fills a
// vob_pool_error.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

struct vob_pool_error {
    std::string file;   // the file concerned
    std::string text;   // what went wrong (strerror, or a description)
    int source = 0;     // 1: reading the caller's file failed, not the pool
};

// A blob written to tmp/ and not yet renamed into place.
struct vob_pool_blob {
    std::string tmp;
    int fd = -1;        // open until synced
    uint64_t seq = 0;   // order of arrival among pending blobs
};

struct vob_pool {
    std::string dir;      // the pool directory
    int marker_fd = -1;   // locked marker in dirty/, once blobs went into place
    std::string marker;
    int unclean = -1;                               // -1 not looked at yet, 1: a writer ended uncleanly
    std::vector<std::string> stale;                 // its markers, removed at a clean close
    std::set<std::string> verified;                 // blobs whose digest was checked after it
    std::vector<std::string> damaged;               // blobs found damaged (and rewritten)
    std::map<std::string, vob_pool_blob> pending;   // by sha
    size_t pending_open = 0;                        // of them with an open descriptor
    bool closed_unsynced = false;                   // one was closed without its sync
    std::bitset<256> fan_made;                      // fan-out directories known to exist
    std::vector<std::string> trashed;               // shas moved to trash/ for this commit
    uint64_t seq = 0;                               // seq of the last blob made pending
};

extern const char *const VOB_EMPTY_SHA;   // of zero bytes

std::string vob_pool_path(const vob_pool &p, const std::string &sha);
// Adds bytes, or the bytes of a file (read now), as a pending blob unless a
// whole blob of the same digest exists or is pending.
[[nodiscard]] int vob_pool_put(vob_pool *p, std::string_view bytes, std::string *sha, vob_pool_error *e);
[[nodiscard]] int vob_pool_put_file(vob_pool *p, const std::string &path, std::string *sha, int64_t *size,
                                    vob_pool_error *e);
// Adds the stored form of a blob (vob_blob.h) as a pending blob of that name,
// whatever is in place: the caller knows that no row names a whole one.
[[nodiscard]] int vob_pool_put_stored(vob_pool *p, const std::string &sha, std::string_view stored,
                                      vob_pool_error *e);
// 1 when the blob of sha is pending, or in place with `stored` bytes and,
// after an unclean end, passing whole(path) (asked once per handle); 0 when
// it must be written again (then listed in damaged).
int vob_pool_trusted(vob_pool *p, const std::string &sha, int64_t stored,
                     const std::function<bool(const std::string &path)> &whole);
// Syncs pending blobs and renames them into place (before the COMMIT).
[[nodiscard]] int vob_pool_flush(vob_pool *p, vob_pool_error *e);
// Drops pending blobs (after a ROLLBACK).
void vob_pool_discard(vob_pool *p);
// A mark of the pending blobs so far; vob_pool_discard_since drops (closes
// and unlinks) those made pending after it and keeps the older ones.
uint64_t vob_pool_mark(const vob_pool &p);
void vob_pool_discard_since(vob_pool *p, uint64_t mark);
// Moves blobs that no row names any more into trash/ (before the COMMIT);
// pending ones stay. A blob that is already gone is skipped.
[[nodiscard]] int vob_pool_trash(vob_pool *p, const std::vector<std::string> &shas, vob_pool_error *e);
// After the COMMIT (committed: 1) deletes the trashed blobs, else moves them back.
void vob_pool_trash_done(vob_pool *p, int committed);
// Leftovers of a writer killed inside a transaction: 1 when tmp/ or trash/
// holds anything.
int vob_pool_has_leftovers(const vob_pool &p);
// Clears them: tmp/ is emptied, and a trashed blob goes back into place when
// `named` says a version still names it, else it is deleted. Only the holder
// of the write lock may call it: a live writer's own blobs sit there.
void vob_pool_recover(vob_pool *p, const std::function<bool(const std::string &sha)> &named);
// A clean end: pending blobs dropped, the handle's marker removed, and with
// it the stale markers whose unclean end this handle dealt with.
void vob_pool_close(vob_pool *p);
// The names in a directory (none when it cannot be read).
std::vector<std::string> vob_pool_entries(const std::string &dir);
