// Writes PVCS archives for the tests, in the layout the reader reads: by
// default the archive header block first, then the revision blocks in the
// order given, chained forward, the last with flag 1 and leading to the
// block after it, then the 12-byte trailer ("@" first) leading back to the
// header. The first block in the file starts with the magic byte.
//
// A revision's contents, when given, are kept whole in a record of tag
// PVCS_CONTENTS_TAG, which the exporter does not interpret (it must step
// over it); the `get` stand-in reads them from there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pvcs_test {

inline constexpr char PVCS_CONTENTS_TAG = 'T';

// Any record: the tag and the body as it stands.
struct record {
    char tag = 0;
    std::string body;
    bool long_length = false;   // a 4-byte length even when 2 would do
};

struct revision {
    std::string number;                    // "1.2.1.0"; written as a count byte and 16-bit numbers
    uint32_t time = 0;                     // MS-DOS time (dos_time); 0 writes no "D" record
    std::optional<std::string> author;     // "O"
    std::optional<std::string> comment;    // "E"
    std::optional<std::string> contents;   // PVCS_CONTENTS_TAG
    bool long_lengths = false;             // 4-byte lengths on all its records
    std::vector<record> extra;             // written first, before "B"
    std::optional<unsigned char> flag;     // default: 1 on the last block, 0 before
    bool no_number = false;                // leave out the "B" record
};

struct label {
    std::string name;
    std::string number;   // a revision or a branch number
};

struct archive {
    unsigned char magic = 0xE1;                                    // the first byte; the second is 0
    std::optional<std::string> workfile = std::string("main.c");   // "H"
    std::optional<std::string> owner;                              // "U"
    std::optional<uint32_t> time;                                  // "X"
    std::optional<std::string> description;                        // "I"
    std::vector<label> locks;                                      // "R": user and revision, in file order
    std::vector<label> labels;                                     // "S", in file order
    std::vector<label> groups;                                     // "^": group and revision, in file order
    std::vector<record> header_extra;                              // written first in the header block
    bool long_lengths = false;                                     // 4-byte lengths on the header's records
    std::vector<revision> revisions;                               // in the order of the chain
    // Where the blocks lie in the file: by default the header first and the
    // revision blocks in chain order, each leading forward. block_order
    // gives the revision blocks' order in the file instead (indices into
    // revisions), and header_last puts the header after them, so that
    // distances lead backwards.
    std::vector<size_t> block_order;
    bool header_last = false;
};

// Where the writer put things, for tests that damage an archive.
struct layout {
    int64_t header_pos = 0;
    std::vector<int64_t> block_pos;   // each revision block's header
    int64_t trailer_pos = 0;
    // Byte offsets of every record's tag, per block (the header's first).
    std::vector<std::vector<int64_t>> record_pos;
};

// MS-DOS time of a civil date and time (seconds rounded down to even).
uint32_t dos_time(int year, int month, int day, int hour, int minute, int second);
// A revision number's bytes: the count byte and the big-endian numbers.
std::string rev_bytes(const std::string &number);
// A short string's bytes: the length byte and the text (at most 255 bytes).
std::string short_string(const std::string &s);
// One record's bytes: tag, length (2 bytes, or 4 with the top bit set when
// the body needs it or long_length asks), body.
std::string record_bytes(const record &r);

std::string write(const archive &a, layout *where = nullptr);
// Writes the archive to a file; throws std::runtime_error when it cannot.
void write_file(const std::string &path, const archive &a, layout *where = nullptr);

// Big-endian helpers for tests that patch bytes.
void put_u32(std::string *bytes, int64_t at, uint32_t v);

}   // namespace pvcs_test
