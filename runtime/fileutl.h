// Paths, stat, temporary files and tree walks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/stat.h>

constexpr char FILEUTL_SEP = '/';
enum { FILEUTL_MAX_PATH = 1024 };   // the longest path the exporters record

struct fileutl_stat_t {   // 64-bit stat buffer
    uint64_t dev, ino;
    uint32_t mode;   // st_mode
    uint64_t nlink;
    uint32_t uid, gid;
    int64_t size;
    int64_t atime, mtime, ctime;   // seconds since 1970-01-01 UTC
};

// Splits at the last separator: "a/b/c" -> "a/b", "c"; "c" -> "", "c";
// "/c" -> "/", "c"; trailing separators are ignored ("a/b/" -> "a", "b").
// Returns 0, or 1 when an output does not fit its size (it is then cut).
[[nodiscard]] int fileutl_strip_leaf(const char *path, size_t dsize, char *dir, size_t lsize, char *leaf);
void fileutl_strip_leaf(const std::string &path, std::string *dir, std::string *leaf);
// 0 on success; follow: 1 stat, 0 lstat.
[[nodiscard]] int fileutl_stat(const char *path, int follow, fileutl_stat_t *st);
// The path with each existing component as the file system stores it; on Linux
// names keep their case, so this is the path with "." and "//" tidied.
// Returns 0, or nonzero (errno set) on failure or when out would overflow size.
[[nodiscard]] int fileutl_get_true_pname(const char *path, size_t size, char *out);
// Creates a new empty temporary file in dir (null or "": fileutl_tmpdir()).
// Returns 0 and its path in *out, or errno.
[[nodiscard]] int fileutl_tmpfile_ext(const char *dir, int p1, int p2, std::string *out);
// TMP, then TEMP, then TMPDIR, then /tmp.
std::string fileutl_tmpdir();
int fileutl_is_abspn(const char *path);
std::string fileutl_make_abs_pn(const std::string &path);   // against the cwd, tidied
std::string fileutl_getcwd();
// The path with links and "." and ".." resolved; the path itself when it
// cannot be (it does not exist, say).
std::string fileutl_realpath(const std::string &path);
// 1 when path is dir or lies below it (both absolute and tidied alike).
int fileutl_path_within(const std::string &path, const std::string &dir);
int fileutl_exists(const char *path);                           // lstat: a link counts, even a broken one
int fileutl_is_file(const std::string &path);                   // stat: a regular file, or a link to one
[[nodiscard]] int fileutl_mkpath(const char *path, int mode);   // mkdir -p; 0 ok
// 1 when nothing is at path (not even a link) or it is a directory that can be
// read and is empty; 0 otherwise: a place to make a new VOB or view in.
int fileutl_is_empty_dir_or_missing(const char *path);
[[nodiscard]] int fileutl_rm(const char *path);   // unlink; 0 ok
// Renames from to `to` only when nothing is at `to`: 0, EEXIST when something
// is (it is left as it was), or another errno value. Atomic where the file
// system can refuse a replacing rename (RENAME_NOREPLACE) or link a file;
// elsewhere a check just before a plain rename.
[[nodiscard]] int fileutl_rename_noreplace(const char *from, const char *to);
// Reads an open file to its end, handing each chunk to take(data, size) as
// it comes; a read that a signal interrupted is tried again. 0 at the end of
// the file, the errno value of a failed read, or the nonzero value take
// returned (which stops the reading). The caller closes fd.
[[nodiscard]] int fileutl_read_chunks(int fd, const std::function<int(const char *, size_t)> &take);
// Search along PATH for an executable; "" when not found. A name holding "/"
// is not searched: it is returned when it names an executable file.
std::string fileutl_resolve_pathname(const std::string &name);
// Removes trailing separators in place ("a/b//" -> "a/b"); "/" stays "/".
void fileutl_strip_pname_sep(char *path);
std::string fileutl_strip_pname_sep(const std::string &path);

// Tree walks.
//
// The callback gets: its context, the entry path ("<dir>/<name>", starting from
// the directory given to the walk), the path again, the directory part, the
// leaf, the entry's stat buffer, the depth (1 for entries of the top directory)
// and a visit code:
//   0  a file or other non-directory entry
//   1  a directory, reported when first met
//   2  permission to descend into that directory: return 0 to descend, 1 to skip it
// A result of -4 ends the walk at once and the walk returns -4; 1 skips (for
// code 2: does not descend); 0 goes on. Entries are visited in byte order of
// their names, each once; "." and ".." are not reported, nor the top directory.
//
// Without FILEUTL_WALK_FOLLOW entries are lstat'ed, so a symbolic link is
// reported with code 0 and never descended through. With it they are stat'ed;
// a broken link is then reported as the link itself, and a directory that is
// already open higher up the current path (a link loop) is not entered again
// (warning). An entry that cannot be stat'ed, and a directory below the top one
// that cannot be read, get a warning and the walk goes on. Other flag bits are
// accepted and ignored.
enum { FILEUTL_VISIT_FILE = 0, FILEUTL_VISIT_DIR = 1, FILEUTL_VISIT_DESCEND = 2 };
enum { FILEUTL_WALK_FOLLOW = 8 };   // flag: stat entries through symbolic links

using fileutl_walk_cb = int (*)(void *ctx, const char *path, const char *path2, const char *dir,
                                const char *leaf, const fileutl_stat_t *st, int depth, int visit);

struct fileutl_walk_desc {
    int reserved0;   // 0
    int reserved1;   // 1
    fileutl_walk_cb callback;
    void *context;
};

// A replacement file system for the walk and stat (one driver supplies one).
struct fileutl_dirent {
    std::string name;
};
struct cm_fs_ops {
    int (*stat)(const char *path, int follow, fileutl_stat_t *st);   // 0 ok
    void *(*opendir)(const char *path);                              // null on failure
    const fileutl_dirent *(*readdir)(void *dir, int fold_case);      // null at the end
    void (*closedir)(void *dir);
};

// Returns 0, -4 when a callback returned -4, or -1 when the top directory cannot be read.
[[nodiscard]] int fileutl_walk_tree(const char *dir, const fileutl_walk_desc *desc, int flags);
[[nodiscard]] int fileutl_walk_tree_any(const char *dir, const fileutl_walk_desc *desc, const cm_fs_ops *ops,
                                        int flags);
