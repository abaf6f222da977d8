// The platform layer's message catalog (module "vob_store"). Texts are
// printf formats; the store, the registry, the views and the vantor command
// format every message they report from here.
#pragma once

#include "runtime/imsg.h"

#include <string>

const imsg_catalog *vob_store_vob_msg_table_adr();

#define VOB_MESSAGES(X)                                                                                                \
    X(VM_SQL, "VOB \"%s\": database error while %s: %s")                                                               \
    X(VM_OPEN, "Cannot open VOB database \"%s\": %s")                                                                  \
    X(VM_NOT_VOB, "\"%s\" is not a VOB database: %s")                                                                  \
    X(VM_BUSY,                                                                                                         \
      "VOB \"%s\" is busy: another process has been writing to it for more than %d ms; try again later (%s)")          \
    X(VM_NO_OBJ, "VOB \"%s\": no %s with id %lld")                                                                     \
    X(VM_BAD_NAME, "VOB \"%s\": bad %s name \"%s\"")                                                                   \
    X(VM_TYPE_EXISTS, "VOB \"%s\": %s \"%s\" already exists")                                                          \
    X(VM_NO_TYPE, "VOB \"%s\": no %s named \"%s\"")                                                                    \
    X(VM_LOCKED, "VOB \"%s\": %s is locked")                                                                           \
    X(VM_NAME_EXISTS, "VOB \"%s\": \"%s\" already exists in directory \"%s\"")                                         \
    X(VM_NO_NAME, "VOB \"%s\": no name \"%s\" in directory \"%s\"")                                                    \
    X(VM_NOT_DIR, "VOB \"%s\": \"%s\" is not a directory")                                                             \
    X(VM_BRANCH_EXISTS, "VOB \"%s\": element \"%s\" already has branch \"%s\"")                                        \
    X(VM_NO_VERSION, "VOB \"%s\": element \"%s\" has no version \"%s\"")                                               \
    X(VM_BAD_VID, "VOB \"%s\": bad version id \"%s\"")                                                                 \
    X(VM_NO_LABELLED, "VOB \"%s\": element \"%s\" has no version labelled \"%s\"")                                     \
    X(VM_NUM_USED, "VOB \"%s\": version number %lld is not above the numbers of branch \"%s\" of \"%s\"")              \
    X(VM_LABEL_ELSEWHERE, "VOB \"%s\": label \"%s\" is already on version \"%s\" of \"%s\"")                           \
    X(VM_DIR_DATA, "VOB \"%s\": directory versions have no contents")                                                  \
    X(VM_POOL_WRITE, "VOB \"%s\": cannot write to the content pool (%s): %s")                                          \
    X(VM_POOL_READ, "VOB \"%s\": cannot read contents from the pool (%s): %s")                                         \
    X(VM_READ_FILE, "VOB \"%s\": cannot read \"%s\": %s")                                                              \
    X(VM_NO_DATA, "VOB \"%s\": version \"%s\" of \"%s\" has no contents")                                              \
    X(VM_RESERVED, "VOB \"%s\": branch \"%s\" of \"%s\" is checked out reserved by view \"%s\"")                       \
    X(VM_CKOUT_EXISTS, "VOB \"%s\": \"%s\" is already checked out to view \"%s\"")                                     \
    X(VM_NOT_LATEST,                                                                                                   \
      "VOB \"%s\": a newer version of branch \"%s\" of \"%s\" exists; merge it before checking in")                    \
    X(VM_TXN_DOOMED, "VOB \"%s\": a step of this transaction failed; nothing was committed")                           \
    X(VM_NO_LOCK, "VOB \"%s\": %s is not locked")                                                                      \
    X(VM_NO_LABEL, "VOB \"%s\": version \"%s\" of \"%s\" has no label \"%s\"")                                         \
    X(VM_NO_ATTR, "VOB \"%s\": the object has no attribute \"%s\"")                                                    \
    X(VM_BAD_TAG,                                                                                                      \
      "Bad VOB tag \"%s\": a tag begins with \"/\", has a name after it and no \"@@\", \"..\" or \"//\"")              \
    X(VM_STORAGE_EXISTS, "Cannot make storage \"%s\": it exists and is not an empty directory")                        \
    X(VM_MKDIR, "Cannot make directory \"%s\": %s")                                                                    \
    X(VM_NO_VOB_TAG, "No VOB has tag \"%s\"")                                                                          \
    X(VM_VOB_TAG_EXISTS, "VOB tag \"%s\" is already registered (storage \"%s\")")                                      \
    X(VM_RGY_IO, "Registry \"%s\": %s")                                                                                \
    X(VM_RGY_PARSE, "Registry \"%s\" is damaged: %s")                                                                  \
    X(VM_NO_VIEW_TAG, "No view has tag \"%s\"")                                                                        \
    X(VM_VIEW_TAG_EXISTS, "View tag \"%s\" is already registered (\"%s\")")                                            \
    X(VM_NO_REGION, "No registry region \"%s\"")                                                                       \
    X(VM_NOT_IN_VIEW, "\"%s\" is not inside a snapshot view")                                                          \
    X(VM_VIEW_META, "View \"%s\": cannot read its metadata \"%s\": %s")                                                \
    X(VM_CSPEC, "%s, line %d: %s")                                                                                     \
    X(VM_NOT_IN_VOB, "\"%s\" is not inside a VOB of view \"%s\"")                                                      \
    X(VM_NO_ELEM, "\"%s\" is not an element")                                                                          \
    X(VM_VIEW_WRITE, "View \"%s\": cannot write \"%s\": %s")                                                           \
    X(VM_HIJACKED, "\"%s\" was changed in the view and is kept as it is; it was not updated")                          \
    X(VM_VIEW_CKOUTS, "View \"%s\" has %d checkouts; not removed (cancel them first)")                                 \
    X(VM_NOT_CKOUT, "\"%s\" is not checked out to view \"%s\"")                                                        \
    X(VM_CANNOT_READ, "Cannot read \"%s\": %s")                                                                        \
    X(VM_NO_DIR, "\"%s\" is not a directory")                                                                          \
    X(VM_NO_VOB_PATH, "\"%s\" is in no view and does not begin with a VOB tag")                                        \
    X(VM_VIEW_EXISTS, "Cannot make view at \"%s\": it exists and is not an empty directory")                           \
    X(VM_SELF_LINK, "VOB \"%s\": a merge needs two different versions of one element")                                 \
    X(VM_ELEM_KIND, "VOB \"%s\": %s")                                                                                  \
    X(VM_CO_NOT_LATEST,                                                                                                \
      "VOB \"%s\": the view selects version \"%s\" of \"%s\", which is not the latest of its branch; not checked out") \
    X(VM_TOO_LONG, "VOB \"%s\": %s \"%s\" is %zu bytes long; at most %zu fit")                                         \
    X(VM_NO_WK, "VOB \"%s\": no well-known object %d")                                                                 \
    X(VM_NO_EVENT, "VOB \"%s\": object %lld has no event of kind %d")                                                  \
    X(VM_VTREE_ORDER, "VOB \"%s\": the version tree of element %lld is out of order at \"%s\"")                        \
    X(VM_SAVEPOINT_LOST,                                                                                               \
      "VOB \"%s\": the transaction was lost at a savepoint (%s); nothing will be committed")                           \
    X(VM_SCHEMA_NEWER,                                                                                                 \
      "VOB \"%s\" (storage \"%s\") has schema version %d; this program knows versions up to %d: use a newer program")  \
    X(VM_READ_ONLY, "VOB \"%s\": its storage \"%s\" is read-only (%s); the VOB can be read but not changed")           \
    X(VM_READ_ONLY_LOG,                                                                                                \
      "Cannot read the VOB in \"%s\": its storage is read-only (%s) and holds a write-ahead log (vob.db-wal)"          \
      " without the vob.db-shm that reading it needs; open it once where it can be written")                           \
    X(VM_BAD_STREAM,                                                                                                   \
      "View \"%s\": bad stream \"%s\": a stream begins with \"stream:\" and has no control characters")                \
    X(VM_CONTENTS_READ, "VOB \"%s\": cannot read stored contents (%s): %s")                                         \
    X(VM_CHECK_SIZE, "VOB \"%s\": version \"%s\" of \"%s\" reads as %lld bytes where it records %lld")

IMSG_DECLARE_LISTED(vob_msg, VOB_MESSAGES)
// Formats a message of this catalog; VOB_MSG also has the compiler check the
// inserts against the text (see IMSG_PRINT).
std::string vob_msg(int num, ...);
#define VOB_MSG(name, ...) \
    (IMSG_CHECK(name __VA_OPT__(, ) __VA_ARGS__), vob_msg(name __VA_OPT__(, ) __VA_ARGS__))
