// The file calls whose order makes stored data durable (the content pool's
// and the atomic writer's) go through this thin layer, so that tests can make
// any of them fail, drop one (report success without doing it) or cut the
// power at any of them, without root and without a special file system.
//
// Invariants:
// - Disarmed (always in production) every iof_ call is the system call it
//   names, after one relaxed atomic load; errno is the system call's.
// - Armed (iof_start), every call is counted by kind and in total; a rule
//   for the Nth call of a kind fails it with an errno value (nothing done) or
//   drops it (nothing done, success reported).
// - A power cut (iof_cut_at, iof_cut_now) undoes what was not made durable
//   since iof_start, the way a crash of the machine may: bytes written to a
//   file since its last fsync/fdatasync are cut off (or zeroed), and names
//   made, renamed or removed are put back unless every directory they
//   changed was fsynced after them; syncfs makes everything durable. After
//   the cut every call fails with EIO and does nothing, as if the process
//   had died with the machine; iof_stop makes calls go straight through
//   again, for the reopening that follows.
// - Files outside the layer (SQLite's) are never touched: they keep what
//   they wrote, as a store whose own commits are durable would.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

enum iof_kind {
    IOF_OPEN,     // open or mkostemp (files and the directories opened to be synced)
    IOF_WRITE,    // write
    IOF_SYNC,     // fsync or fdatasync
    IOF_SYNCFS,   // syncfs
    IOF_RENAME,   // rename
    IOF_UNLINK,   // unlink
    IOF_MKDIR,    // mkdir
    IOF_KINDS
};

[[nodiscard]] int iof_open(const char *path, int flags, mode_t mode = 0);
[[nodiscard]] int iof_mkostemp(char *tmpl, int flags);
[[nodiscard]] ssize_t iof_write(int fd, const void *buf, size_t n);
[[nodiscard]] int iof_fsync(int fd);
[[nodiscard]] int iof_fdatasync(int fd);
[[nodiscard]] int iof_syncfs(int fd);
[[nodiscard]] int iof_rename(const char *from, const char *to);
[[nodiscard]] int iof_unlink(const char *path);
[[nodiscard]] int iof_mkdir(const char *path, mode_t mode);
// Not a fault point: closes fd (also after a cut, so that nothing leaks).
int iof_close(int fd);

// ---- test control (not for production code) ----------------------------------

// What a power cut does to bytes written since the file's last sync, and
// to names changed since their directories' last sync.
enum iof_cut_mode {
    IOF_CUT_TRUNCATE = 0,     // the file ends where it was last synced
    IOF_CUT_ZERO = 1,         // the file keeps its length, the unsynced bytes read as zeros
    IOF_CUT_KEEP_NAMES = 2,   // or'ed in: the names stay as they were changed (a file
                              // system that wrote its journal but not the data)
};

// Arms the layer: counts, rules and durability tracking start afresh.
// `hold` is a directory on the same file system where the layer keeps links
// to files that were removed or renamed over, so that a cut can bring them
// back.
void iof_start(const std::string &hold);
// The Nth call (1-based, counted from iof_start) of `kind` fails with err,
// or is dropped when err is 0.
void iof_fail_nth(iof_kind kind, long nth, int err);
// A power cut just before the Nth call of any kind (that call and all after it fail).
void iof_cut_at(long nth, iof_cut_mode mode = IOF_CUT_TRUNCATE);
// A power cut now.
void iof_cut_now(iof_cut_mode mode = IOF_CUT_TRUNCATE);
// Calls counted since iof_start: of one kind, or of all (IOF_KINDS).
long iof_calls(iof_kind kind = IOF_KINDS);
// Whether a cut has happened; how many rules fired (failed or dropped calls).
bool iof_cut_done();
long iof_faults_fired();
// Disarms the layer and forgets all tracking.
void iof_stop();
