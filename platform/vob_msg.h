// The platform layer's message catalog (module "vob_store"). Texts are
// printf formats; the store, the registry, the views and the vantor command
// format every message they report from here.
#pragma once

#include "runtime/imsg.h"

#include <string>

const imsg_catalog *vob_store_vob_msg_table_adr();

enum vob_msg {
    VM_SQL = 0,          // "%s: database error: %s (%s)"
    VM_OPEN,             // "Cannot open VOB database \"%s\": %s"
    VM_NOT_VOB,          // "\"%s\" is not a VOB database (%s)"
    VM_BUSY,             // busy
    VM_NO_OBJ,           // "%s: no %s with id %lld"
    VM_BAD_NAME,         // "%s: bad %s name \"%s\""
    VM_TYPE_EXISTS,      // "%s: %s \"%s\" already exists"
    VM_NO_TYPE,          // "%s: no %s named \"%s\""
    VM_LOCKED,           // "%s: %s is locked"
    VM_NAME_EXISTS,      // "%s: \"%s\" already exists in directory \"%s\""
    VM_NO_NAME,          // "%s: no name \"%s\" in directory \"%s\""
    VM_NOT_DIR,          // "%s: \"%s\" is not a directory"
    VM_BRANCH_EXISTS,    // "%s: element \"%s\" already has branch \"%s\""
    VM_NO_VERSION,       // "%s: element \"%s\" has no version \"%s\""
    VM_BAD_VID,          // "%s: bad version id \"%s\""
    VM_NUM_USED,         // "%s: version number %lld is not above the numbers of branch \"%s\" of \"%s\""
    VM_LABEL_ELSEWHERE,  // label elsewhere
    VM_DIR_DATA,         // "%s: directory versions have no contents"
    VM_POOL_WRITE,       // "%s: cannot write to the content pool (%s): %s"
    VM_POOL_READ,        // "%s: cannot read contents of %s from the pool (%s): %s"
    VM_READ_FILE,        // "%s: cannot read \"%s\": %s"
    VM_NO_DATA,          // "%s: version \"%s\" of \"%s\" has no contents"
    VM_RESERVED,         // "%s: branch \"%s\" of \"%s\" is checked out reserved by view \"%s\""
    VM_CKOUT_EXISTS,     // "%s: \"%s\" is already checked out to view \"%s\""
    VM_NOT_LATEST,       // "%s: a newer version of branch \"%s\" of \"%s\" exists; checkin refused"
    VM_TXN_DOOMED,       // "%s: a step of this transaction failed; nothing was committed"
    VM_NO_LOCK,          // "%s: %s is not locked"
    VM_NO_LABEL,         // "%s: version \"%s\" of \"%s\" has no label \"%s\""
    VM_NO_ATTR,          // "%s: object has no attribute \"%s\""
    VM_BAD_TAG,          // "Bad VOB tag \"%s\": a tag begins with \"/\" and has no \"@@\" or \"..\""
    VM_STORAGE_EXISTS,   // "Cannot make VOB storage \"%s\": it exists and is not empty"
    VM_MKDIR,            // "Cannot make directory \"%s\": %s"
    VM_NO_VOB_TAG,       // "No VOB has tag \"%s\""
    VM_VOB_TAG_EXISTS,   // "VOB tag \"%s\" is already registered (storage \"%s\")"
    VM_RGY_IO,           // "Registry \"%s\": %s"
    VM_RGY_PARSE,        // "Registry \"%s\" is damaged: %s"
    VM_NO_VIEW_TAG,      // "No view has tag \"%s\""
    VM_VIEW_TAG_EXISTS,  // "View tag \"%s\" is already registered (\"%s\")"
    VM_NO_REGION,        // "No registry region \"%s\""
    VM_NOT_IN_VIEW,      // "\"%s\" is not inside a snapshot view"
    VM_VIEW_META,        // "View \"%s\": cannot read its metadata \"%s\": %s"
    VM_CSPEC,            // "%s, line %d: %s"
    VM_NOT_IN_VOB,       // "\"%s\" is not inside a VOB of view \"%s\""
    VM_NO_ELEM,          // "\"%s\" is not an element"
    VM_VIEW_WRITE,       // "View \"%s\": cannot write \"%s\": %s"
    VM_HIJACKED,         // "\"%s\" was changed in the view and is kept; it was not updated"
    VM_VIEW_CKOUTS,      // "View \"%s\" has %d checkouts; not removed"
    VM_NOT_CKOUT,        // "\"%s\" is not checked out to view \"%s\""
    VM_NO_VOB_PATH,      // "\"%s\" is in no view and begins with no VOB tag"
    VM_VIEW_EXISTS,      // "Cannot make view at \"%s\": it exists and is not empty"
    VM_SELF_LINK,        // "%s: a merge needs two different versions of one element"
    VM_ELEM_KIND,        // "%s: %s"
    VM_CO_NOT_LATEST,    // checkout of a version that is not the latest
    VM_NO_CONTENTS_LOAD, // "%s" (version "%s") has no contents and was not loaded
    VM_COUNT
};

// Formats a message of this catalog.
std::string vob_msg(int num, ...);
