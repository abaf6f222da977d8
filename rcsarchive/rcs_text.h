// Revision texts rebuilt from an archive's deltas.
//
// An archive stores the head revision's text whole and every other revision
// as an edit script against the revision it hangs from: a trunk revision
// against the one above it ("next" of the newer), the first revision of a
// branch against the revision the branch starts at ("branches"), a later
// branch revision against the one before it on the branch ("next"). The
// deltas therefore form a tree rooted at the head; a revision's text is its
// parent's text with its own script applied.
//
// A script is a sequence of commands, each on its own line:
//   "dN M"  delete M lines starting at line N of the parent's text;
//   "aN M"  then M lines of text, to add after line N of the parent's text.
// Line numbers always count in the parent's text; commands come in ascending
// order of N. The last line of a text may lack its line end.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "rcsarchive/rcs_archive.h"

// Calls fn(index, text) for every delta index in `wanted` (indexes of
// e->deltas, in any order, duplicates allowed and visited once), with the
// revision's text exactly as `co -ko -p` prints it. The texts are rebuilt in
// one walk of the tree from the head, each delta's script applied once, so a
// whole history costs about one pass over the archive; the visiting order is
// that walk's, not the order of `wanted`. The text handed to fn is valid only
// during the call.
// Returns 0; 1 with *why when a wanted revision cannot be rebuilt for certain:
// it is not reachable from the head, a script does not fit the text it
// applies to (a command out of order or beyond the text, a count that is not
// a number), or a delta has no text. Whatever fn returns when nonzero stops
// the walk and is returned, *why untouched.
int rcs_build_texts(const rcs_element *e, const std::vector<size_t> &wanted,
                    const std::function<int(size_t index, std::string_view text)> &fn, std::string *why);
