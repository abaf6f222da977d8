// Files replaced whole: written under a temporary name in the same directory,
// synced, then renamed over the destination. A reader, a crash or a failed
// write never sees a partial file: the destination holds either its old
// contents or the complete new ones. Its writes, syncs, renames and unlinks
// go through the fault layer (iofault.h).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <sys/types.h>

// One replacement in progress. open() creates the temporary file (mode 0666
// less the umask read at start-up, as fopen would); write through stream(); commit() flushes,
// syncs, renames over the destination and syncs the directory. Destroying an
// uncommitted one (a failure, an exception, an early return) removes the
// temporary file and leaves the destination as it was.
class atomic_file {
public:
    atomic_file() = default;
    ~atomic_file();
    atomic_file(const atomic_file &) = delete;
    atomic_file &operator=(const atomic_file &) = delete;

    // 0, or an errno value. The temporary file sits beside dest, or in
    // tmp_dir when one is given: a directory of the caller's on dest's file
    // system, which it can empty after a crash without touching other files.
    [[nodiscard]] int open(const std::string &dest, const std::string &tmp_dir = "");
    FILE *stream() const { return fp_; }
    // The temporary file's descriptor, for fchmod and fstat: stream() is not
    // a plain file stream, so fileno() does not give it.
    int fd() const { return fd_; }
    // The temporary file's name while one is open ("" otherwise).
    const std::string &temp_name() const { return tmp_; }
    // 0, or the errno value of the first failed write, flush, sync or rename.
    // Not durable: nothing is synced. Readers and later runs still see either
    // the old or the whole new contents, but a power failure soon after may
    // undo the replacement: for large files that a rerun makes again, where
    // the syncs would cost more than they save.
    [[nodiscard]] int commit(bool durable = true);
    // Removes the temporary file now; the destination is untouched.
    void abandon();

private:
    std::string dest_, tmp_;
    FILE *fp_ = nullptr;
    int fd_ = -1;   // fp_'s descriptor, for the sync
};

// The process's umask, read once (before main) and never changed, so that
// threads creating files meanwhile keep the mask they were started with.
mode_t atomic_file_umask();

// Replaces path with bytes as above. 0, or an errno value.
[[nodiscard]] int fileutl_write_atomic(const std::string &path, std::string_view bytes);
