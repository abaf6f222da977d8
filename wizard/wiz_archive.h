// The source trees' recognisers of legacy archive files: an RCS archive by
// its first lines, a PVCS archive by its first bytes, and the workfile name
// a PVCS archive records (through the PVCS exporter's own reader, so that
// the wizard offers exactly the archives its exporter reads).
//
// Only regular files are examined: a FIFO or a device is never opened for
// reading (it could block or have effects), a directory is no archive. A
// file that cannot be opened is no archive. Nothing is printed.
#pragma once

#include <string>

// Line length of the RCS recogniser: a longer line is read as several.
inline constexpr size_t WIZ_RCS_LINE_MAX = 1024;

// Whether the file is an RCS archive: its first non-empty line contains
// "head", and a later line contains "desc" once lines containing "access"
// and "symbols" have been seen (in any order, the same line counts for
// several words).
bool wiz_is_rcs_archive(const std::string &path);

// Whether the file is a PVCS archive (0xE1 or 0xE2, then 0x00, and the
// trailer the archive reader needs).
bool wiz_is_pvcs_archive(const std::string &path);

// The leaf of the workfile path a PVCS archive records: the text after its
// last "/" or "\\". False for no archive, a damaged one, or one that
// records no workfile or an empty leaf.
bool wiz_pvcs_workfile_leaf(const std::string &path, std::string *leaf);
