// The PVCS archive reader: recognition, the archive header and the revision
// blocks, and the order in which revisions become versions.
//
// The archive, as read here (all numbers big-endian):
//   - a block header of 12 bytes starts every block and is also the file's
//     trailer (its last 12 bytes): 3 bytes not read, a flag byte (1 marks the
//     last revision block), a signed 4-byte distance from the start of the
//     header to the next block, 4 bytes not read;
//   - the trailer's distance leads to the archive header block, whose
//     distance leads to the first revision block; revision blocks are chained
//     by their distances;
//   - a block's header is followed by tagged records up to the tag "@": a tag
//     byte, a length of 2 bytes (0 to 32767) or, when the top bit of its first
//     byte is set, of 4 bytes (31 bits), and the body.
//
// Invariants the reader keeps, whatever the file holds:
//   - nothing is read before the start or past the end of the file: every
//     distance must lead past its own block header (so the chain can never
//     loop) and leave room for a block header before the end of the file, and
//     every record and every field must end inside its block and its record;
//   - a damaged archive is reported with its path and the byte offset of the
//     fault, and the open fails (1001); the driver goes on with the next file;
//   - a revision number is at most PVCS_MAX_REV characters, a version label's
//     name and number at most PVCS_MAX_LABEL: a longer one rejects the archive
//     with a message naming the file, it is never cut short.
//
// The open reads the whole archive once: the header block, then every
// revision block's number, date, author and comment; the records it does not
// need (the revisions' contents among them) are stepped over by seeking. The
// element information and the versions come from memory afterwards.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "export/export_records.h"

enum {
    PVCS_MAX_REV = 51,      // characters of a revision number
    PVCS_MAX_LABEL = 255,   // characters of a version label's name or number
    PVCS_MAX_HOST = 80,     // characters of the local host name
    PVCS_BLOCK_HEADER = 12,
};

// Status codes of the reader (the driver's too).
enum {
    PVCS_OK = 0,
    PVCS_CANT_OPEN_ARCHIVE = 2,
    PVCS_NOMEM_STATUS = 12,   // kept for the interface: memory exhaustion ends the process (runtime/ks.h)
    PVCS_FAILED = 1001,
};

// A read-only view of an archive file with its own buffer: seeks inside what
// was read cost nothing, so stepping over small records does not read the
// file again, and no read goes past the end of the file.
class pvcs_file {
public:
    pvcs_file() = default;
    ~pvcs_file();
    pvcs_file(const pvcs_file &) = delete;
    pvcs_file &operator=(const pvcs_file &) = delete;

    // 0, or the errno of the failure.
    int open(const std::string &path);
    void close();
    bool is_open() const { return fd_ >= 0; }
    int64_t size() const { return size_; }
    int64_t tell() const { return pos_; }
    // False (and the position unchanged) for a position outside 0..size.
    bool seek(int64_t pos);
    // Reads exactly n bytes; false, with nothing consumed, when fewer remain
    // before the end of the file or the system refuses (io_error() then).
    bool read(void *out, size_t n);
    bool read_u8(unsigned *out);
    bool read_u16(unsigned *out);   // big-endian
    bool read_u32(uint32_t *out);   // big-endian
    bool io_error() const { return io_error_; }

private:
    bool fill(int64_t pos, size_t n);
    int fd_ = -1;
    int64_t size_ = 0;
    int64_t pos_ = 0;
    std::vector<unsigned char> buf_;
    int64_t buf_start_ = 0;
    size_t buf_len_ = 0;
    size_t window_ = 0;   // bytes the last fill asked for
    bool io_error_ = false;
};

struct pvcs_revision {
    int64_t records_pos = 0;        // just after the block header
    int64_t date = 0;               // converted from the local MS-DOS time; 0 if none
    std::string number;             // "1.2.1.0"; at most PVCS_MAX_REV characters
    std::vector<unsigned> fields;   // the numbers of `number`
    opt_str author;                 // "O"; absent when the block has none
    opt_str comment;                // "E", as stored
    int prev = -1, next = -1;       // the sorted list, as indices into revisions
};

struct pvcs_label {
    std::string name;     // at most PVCS_MAX_LABEL characters
    std::string number;   // a revision number, or a branch number (odd count)
};

struct pvcs_group {
    std::string name;
    std::string number;   // the revision promoted to the group
};

// The archive header as stored.
struct pvcs_header {
    std::string workfile;             // "H"
    opt_str owner;                    // "U"
    int64_t time = 0;                 // "X"; 0 when absent or not a time
    opt_str description;              // "I"
    str_list locks;                   // "R": "user:revision", in file order
    std::vector<pvcs_label> labels;   // "S", in the reverse of file order
    std::vector<pvcs_group> groups;   // "^", in the reverse of file order
};

// An opened archive.
struct pvcs_element {
    int current = -1;   // the next revision to become a version; -1: none left
    std::string host;   // the local host name, or "unknown"
    std::string name;   // the element name
    std::string path;   // the archive path as given
    pvcs_file file;
    pvcs_header header;
    int count = 0;                          // revisions read
    int first = -1;                         // the first of the sorted list
    std::vector<pvcs_revision> revisions;   // in file order
};

// *yes when the file starts with 0xE1 or 0xE2, then 0x00, and has "@" 12
// bytes before its end. 0 when the file was examined (a file that fails the
// test, or is no regular file, is no archive and nothing is printed; a FIFO
// is never waited on); 1001 after "Unable to open" when it cannot be opened.
[[nodiscard]] int pvcs_is_archive(const char *path, bool *yes);
// The same test on a file the caller opened with pvcs_open_walked.
[[nodiscard]] int pvcs_is_archive(pvcs_file &f, bool *yes);
// Opens a walked file for the test: 0; 1 when it is no regular file (so no
// archive, nothing printed); 1001 after "Unable to open".
[[nodiscard]] int pvcs_open_walked(const char *path, pvcs_file *f);

// The workfile name of the archive header ("H"); 0 or 1001 (reported).
[[nodiscard]] int pvcs_workfile_name(pvcs_file &f, const std::string &path, std::string *name);

// Opens the archive, reads its header and revision blocks and builds the
// sorted revision list. The element name comes from pvcs_element_name().
// 0; 2 when the file cannot be opened; 1001 for a damaged archive or one
// without a workfile name. On failure *out is null.
[[nodiscard]] int pvcs_open(const char *path, pvcs_element **out);
void pvcs_close(pvcs_element *e);   // accepts null

// Fills owner ("unknown" when missing or empty), created, comment and
// checkouts of *info from the header read by the open. 0.
[[nodiscard]] int pvcs_read_header(pvcs_element *e, element_info *info);

// The order of two revision numbers along a line of descent: negative when a
// comes first, positive when b does, 0 when they are equal or lie on
// different lines (the driver calls it with whole = 1). A first argument
// without "." prints the branch-identifier warning.
int pvcs_rev_compare(const char *a, const char *b, int whole);

// Test hook: how many revision comparisons the sorted insertions of this
// process have made so far (the tests check that appending costs none).
uint64_t pvcs_sort_compares();

// Reads a 4-byte MS-DOS time at the file's position and converts it as a
// local time. 0 with *out set; 1 when the time cannot be converted (reported
// with the file and offset, *out left alone); 1001 when the file ends.
[[nodiscard]] int pvcs_parse_time(pvcs_file &f, const std::string &path, int64_t *out);
// The conversion alone: 0, or 1 for fields that are no date and time.
[[nodiscard]] int pvcs_dos_time_to_time(uint32_t dos, int64_t *out);

// The next version label after *cursor (-1: from the start of the list)
// whose number is exactly `number`; its index, also left in *cursor, or -1.
int pvcs_find_label(const pvcs_element *e, const std::string &number, int *cursor);

// The element name of an archive from its location and workfile name (the
// driver's rule: the workfile's last component, in the archive's directory,
// or the one above it when that is a "VCS" directory).
std::string pvcs_element_name(const std::string &archive_path, const std::string &workfile);
