// The export data file reader.
//
// The file is read strictly as the exporters write it: one record after
// another, each key in its place, string values length-prefixed and taken byte
// for byte (line feeds included), integers in plain decimal, flags as the bare
// word TRUE. Anything else stops the reader with an imp_error that names the
// line (1-based, line feeds inside strings counted) and the byte offset
// (0-based) where the fault lies; after an error the reader stays failed.
//
// The reader streams: imp_read_head() reads everything up to the first
// element, then imp_read_element() hands out one whole element at a time, so a
// caller can import the elements before a broken one and stop there. A
// regular file is read in chunks as the parse goes: the reader holds the line
// in hand (a string value whole) and at most about a chunk before it, never
// the whole file; anything else (a pipe) is read whole when it is opened.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using imp_opt_str = std::optional<std::string>;
using imp_str_list = std::vector<std::string>;

enum { IMP_EXPORT_FORMAT = 5 };

struct imp_error {
    std::string file;   // the data file's path (or the name given to imp_reader_init)
    long line = 0;      // 0: the fault has no position (the file cannot be read)
    int64_t offset = 0;
    std::string what;
};

struct imp_event {
    imp_opt_str user, group, name, host;
    int64_t time = 0;
};

struct imp_globals {
    std::string export_from_dir;
    int64_t num_elements = 0;
    int64_t num_versions = 0;
    int64_t exporter_kind = 0;
    imp_opt_str onto_branch;   // never set without onto_branch: onto_brvid
    imp_opt_str onto_brvid;
    imp_opt_str label_all;   // may be present and empty
    imp_opt_str need_cmd;
};

struct imp_types {
    imp_str_list attribute, label, branch, element;
};

struct imp_version {
    std::string version_id;
    bool abs_version = false;
    imp_event event;
    imp_opt_str on_branch;
    imp_opt_str extract_file;   // at most one of the two
    imp_opt_str extract_cmd;
    imp_str_list subbranches, attributes, labels, merges, fmerges;   // in file order
    imp_opt_str comment;
    long line = 0;   // of VERSION_BEGIN
};

struct imp_element {
    std::string name;
    imp_opt_str eltype;
    int64_t mode = 0;   // 0: not given
    imp_event event;
    imp_opt_str comment;
    bool obsolete = false;
    imp_str_list branch_obs, attributes, alt_names;
    std::vector<imp_version> versions;
    long line = 0;   // of ELEMENT_BEGIN
    int64_t offset = 0;
};

struct imp_head {
    imp_globals globals;
    imp_types types;
    imp_str_list dirs;   // dirs[0] is always "."
};

struct imp_file_closer {
    void operator()(std::FILE *f) const { std::fclose(f); }
};

// Invariant: buf holds the file's bytes from offset base on, as far as they
// were read (all of them once at_end); base <= pos <= base + buf.size(); a
// file's buffer holds no line feed at or after last_lf.
// Positions (pos, offsets in errors and records) count from the file's start.
struct imp_reader {
    std::string name;
    std::string buf;
    size_t base = 0;
    size_t pos = 0;
    long line = 1;
    int state = 0;                                      // 0 fresh, 1 head read, 2 at end, -1 failed
    std::unique_ptr<std::FILE, imp_file_closer> file;   // null once at_end, or for memory
    bool at_end = false;                                // buf ends where the file does
    int64_t size = -1;                                  // the file's size when known
    size_t last_lf = 0;                                 // past the buffer's last line feed; 0: none
    size_t chunk = size_t(1) << 16;                     // bytes read at a time
};

// Where the reader stands, to come back to (imp_reader_seek).
struct imp_reader_mark {
    size_t pos = 0;
    long line = 1;
    int state = 0;
};

// Opens the file and reads its first chunk (of `chunk` bytes, 0 for the
// default). 0, or nonzero with *err filled (no position: it could not be read).
int imp_reader_open(const char *path, imp_reader *r, imp_error *err, size_t chunk = 0);
// Reads from memory; name stands for the path in errors.
void imp_reader_init(imp_reader *r, std::string data, std::string name);
imp_reader_mark imp_reader_tell(const imp_reader *r);
// Back to a mark of the same reader (a file is read again from there). 0, or
// nonzero with *err filled.
int imp_reader_seek(imp_reader *r, const imp_reader_mark &m, imp_error *err);
// 0, or -1 with *err filled.
int imp_read_head(imp_reader *r, imp_head *head, imp_error *err);
// 1 and the next element, 0 at the clean end of the file, -1 with *err filled.
int imp_read_element(imp_reader *r, imp_element *el, imp_error *err);
// "<file>", line N, byte M: <what>
std::string imp_error_text(const imp_error &err);
