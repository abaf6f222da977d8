// The PVCS driver's message catalog (catalog pvcs_cvt, module pvcs_driver).
// Entries 1 to 18 keep their numbers' order: entry n is at position n-1. The
// entries after 18 say where an archive is damaged or too large (file and byte
// offset), which the first 18 lack, and hold the driver's part of the help.
// PVCS_USAGE (entry 17) lacks the "[" before its source-name: the usage
// printed is PVCS_USAGE_BRACKETED.
#pragma once

#include "runtime/imsg.h"

#define PVCS_DRIVER_MESSAGES(X)                                                                              \
    X(PVCS_NOMEM, "Unable to allocate memory\n")                                                             \
    X(PVCS_BRANCH_ID, "Branch identifier string passed instead of version identifier.\n")                    \
    X(PVCS_PARSE_ARCHIVE, "An error occurred while parsing an archive file\n")                               \
    X(PVCS_READ_ARCHIVE, "An error occurred while reading an archive file\n")                                \
    X(PVCS_NO_VERSIONS, "No versions were found!\n")                                                         \
    X(PVCS_PARSE_FILE, "An error occurred while parsing file\n")                                             \
    X(PVCS_REWIND, "An error occurred while rewinding file\n")                                               \
    X(PVCS_ARCHIVE_FILE, "An error occurred with archive file\n")                                            \
    X(PVCS_ELEMENT_COMMENT, "An error occurred while reading an element comment\n")                          \
    X(PVCS_CHANGED_TYPE, "Changed type from \"%s\" to \"%s\"\n")                                             \
    X(PVCS_NOREALLOC, "Unable to reallocate memory\n")                                                       \
    X(PVCS_NO_WORKFILE, "Couldn't find workfile in archive\n")                                               \
    X(PVCS_NO_DATE_OR_VERSION, "Could not find date or version in file.\n")                                  \
    X(PVCS_NO_DELTA_INFO, "Unable to get delta information.\n")                                              \
    X(PVCS_CANT_STAT, "Unable to stat \"%s\".\n")                                                            \
    X(PVCS_CANT_OPEN, "Unable to open \"%s\".\n")                                                            \
    X(PVCS_USAGE,                                                                                            \
      "Usage: vantexport_pvcs [-r] [-s date-time | -I {now|date-time}]\n"                                    \
      "                        [-G] [-V] [-t temp_dir_pname] [-T file-pname]\n"                              \
      "                        [-p date-time] [-o datafile-pname] source-name ...]\n")                       \
    X(PVCS_BAD_TIME, "Could not parse date string in PVCS archive.\n")                                       \
    X(PVCS_AT, "in \"%s\", byte %lld.\n")                                                                    \
    X(PVCS_DISTANCE_OUTSIDE,                                                                                 \
      "\"%s\", byte %lld: the block there leads to byte %lld, outside the file of %lld bytes.\n")            \
    X(PVCS_DISTANCE_SELF,                                                                                    \
      "\"%s\", byte %lld: the block there leads to byte %lld, into its own block header.\n")                 \
    X(PVCS_RECORD_PAST_BLOCK,                                                                                \
      "\"%s\", byte %lld: a record of %lld bytes runs past the end of its block at byte %lld.\n")            \
    X(PVCS_RECORD_PAST_FILE, "\"%s\", byte %lld: a record runs past the end of the file (%lld bytes).\n")    \
    X(PVCS_FIELD_PAST_RECORD, "\"%s\", byte %lld: a field runs past the end of its record at byte %lld.\n")  \
    X(PVCS_REV_COUNT_ODD, "\"%s\", byte %lld: the revision number has an odd count byte, %d.\n")             \
    X(PVCS_REV_TOO_LONG, "\"%s\", byte %lld: revision number \"%s\" is longer than %d characters.\n")        \
    X(PVCS_LABEL_TOO_LONG,                                                                                   \
      "\"%s\", byte %lld: the number \"%s\" of version label \"%s\" is longer than %d characters.\n")        \
    X(PVCS_BRANCH_TOO_LONG, "\"%s\": the branch path of revision %s is longer than %d bytes.\n")             \
    X(PVCS_TIME_FIELDS,                                                                                      \
      "\"%s\", byte %lld: %08lX is not a date and time (%04d-%02d-%02d %02d:%02d:%02d).\n")                  \
    X(PVCS_SAME_ELEMENT, "\"%s\" is not exported: \"%s\" is already exported as element \"%s\".\n")          \
    X(PVCS_BAD_WORKFILE, "\"%s\": the workfile name \"%s\" names no file.\n")                                \
    X(PVCS_NOT_A_REVISION,                                                                                   \
      "\"%s\": a revision block holds \"%s\", which is not a revision number (an even count of numbers).\n") \
    X(PVCS_DUPLICATE_REV, "\"%s\": revision %s is in the archive twice; get could fetch only one.\n")        \
    X(PVCS_BLOCK_LOOP,                                                                                       \
      "\"%s\", byte %lld: the block there leads to byte %lld, a block already read: the blocks loop.\n")     \
    X(PVCS_HELP_OPTIONS,                                                                                     \
      "  -G              record the promotion group of each revision as the attribute PVCS_GROUP\n"          \
      "  -V              record each revision number as the attribute PVCS_REVISION\n")                      \
    X(PVCS_HELP_ENVIRONMENT,                                                                                 \
      "  PVCS_LEFT_SEPARATOR    the text between archive and workfile in the extract command\n"              \
      "                         (default \"(\"); get must understand it at import time\n"                    \
      "  PVCS_RIGHT_SEPARATOR   the text after the workfile (default \")\")\n")                         \
    X(PVCS_USAGE_BRACKETED,                                                                                  \
      "Usage: vantexport_pvcs [-r] [-s date-time | -I {now|date-time}]\n"                                    \
      "                        [-G] [-V] [-t temp_dir_pname] [-T file-pname]\n"                              \
      "                        [-p date-time] [-o datafile-pname] [source-name ...]\n")                      \
    X(PVCS_REASON, "(%s)\n")

IMSG_DECLARE_LISTED(pvcs_msg, PVCS_DRIVER_MESSAGES)

const imsg_catalog *pvcs_driver_pvcs_msg_table_adr();
