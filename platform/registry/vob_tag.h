// VOBs by tag: making a VOB and registering it, removing both, opening the
// VOB a tag names. The store makes and opens VOBs by storage directory
// (vob.h); the registry (registry.h) maps tags to those directories.
#pragma once

#include "platform/store/vob.h"

#include <string>

// Makes a new VOB at storage_dir (which must not exist or be an empty
// directory) and registers tag for it. Empty storage_dir: under
// VANTOR_HOME/vobs/. The tag begins with "/" and has no "@@" nor "..".
// On success *storage_out (may be null) gets the storage directory used.
// A failure leaves neither storage nor registry entry behind.
[[nodiscard]] int vob_make(const std::string &tag, const std::string &storage_dir, int project,
                           std::string *storage_out, std::string *err);
// Unregisters the tag and removes its storage directory.
[[nodiscard]] int vob_remove(const std::string &tag, std::string *err);
// Opens the VOB registered under tag (VOB_NOT_FOUND when there is none).
[[nodiscard]] int vob_open_tag(const std::string &tag, vob_t **out, std::string *err);
