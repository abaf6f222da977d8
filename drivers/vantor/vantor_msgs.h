// The VOB driver's message catalog (catalog vantor_cvt, module vantor_driver).
// Entries 1 to 37 keep their numbers' order: entry n is at position n-1.
// Entries 1, 2, 10, 16, 24, 32 and 33 are kept for the numbering and printed by
// no path. The entries after 37 say which element a too-long name stopped,
// what the help adds, and the query count of
// VANTOR_SQL_STATS.
#pragma once

#include "runtime/imsg.h"

#define VANTOR_DRIVER_MESSAGES(X)                                                                       \
    X(VT_NOMEM, "Unable to allocate memory\n")                                                          \
    X(VT_BAD_DATE, "Could not parse date string \"%s\".\n")                                             \
    X(VT_NO_DELTA_ARRAY, "Unable to generate delta array from delta tree.\n")                           \
    X(VT_NO_CREATE_EVENT, "Unable to find create event.\n")                                             \
    X(VT_CANT_RESOLVE, "Unable resolve pathname \"%s\".\n")                                             \
    X(VT_NO_MAIN_BRANCH, "Could not lookup main branch in database\n")                                  \
    X(VT_NO_MAIN_NAME, "Could not get name of main branch\n")                                           \
    X(VT_NO_MTYPE, "Unable to get mtype.\n")                                                            \
    X(VT_NO_ELEMENT, "Unable to get element for version.\n")                                            \
    X(VT_NO_VTREE_OLD, "Unable to get version tree\n")                                                  \
    X(VT_NO_CKOUTS, "Unable to find checkouts\n")                                                       \
    X(VT_NO_BRANCH_PATH, "Unable to get branch pathname.\n")                                            \
    X(VT_NO_LOCKS, "Unable to get locks on version.\n")                                                 \
    X(VT_NOREALLOC, "Unable to reallocate memory\n")                                                    \
    X(VT_NO_TYPE, "Unable to get type of object.\n")                                                    \
    X(VT_NO_TYPE_NAME_OLD, "Unable to get name of type.\n")                                             \
    X(VT_NO_OBSOLETE, "Unable to get obsolete branches.\n")                                             \
    X(VT_NO_EVENT, "Unable to get event information.\n")                                                \
    X(VT_NO_VID, "Unable to get version id string.\n")                                                  \
    X(VT_NO_BRANCH, "Unable to get version's branch.\n")                                                \
    X(VT_NO_MERGE_TYPE, "Unable to get well-known merge hyperlink id.\n")                               \
    X(VT_NO_MERGES, "Unable to get merge hyperlinks.\n")                                                \
    X(VT_NO_EXT_PNAME, "Unable to get extended pathname for \"%s\".\n")                                 \
    X(VT_NO_UPDATE_TIME, "Unable to adjust update_time information.\n")                                 \
    X(VT_NO_LABEL_NAME, "Unable to get type name.\n")                                                   \
    X(VT_NO_ATTRS, "Unable to get attributes.\n")                                                       \
    X(VT_NO_ATTR_VALUE, "Unable to get attribute value.\n")                                             \
    X(VT_LOST_FOUND, "Will not recurse into the lost+found directory \"%s\".\n")                        \
    X(VT_NOT_VERSIONED, "Object \"%s\" (metatype %s) is not a versioned object.\n")                     \
    X(VT_RESERVED, "reserved")                                                                          \
    X(VT_UNRESERVED, "unreserved")                                                                      \
    X(VT_ARG_UNSUPPORTED, "Argument (%s) not supported by %s.\n")                                       \
    X(VT_COMPARE_DELTAS, "Something went wrong inside compare_deltas, cannot continue.\n")              \
    X(VT_NO_VTREE, "Unable to get version tree.\n")                                                     \
    X(VT_NO_TYPE_NAME, "Unable to get name of type.\n")                                                 \
    X(VT_USAGE,                                                                                         \
      "Usage: vantexport_vantor [-r] [-s date-time | -I {now|date-time}]\n"                             \
      "                         [-t temp_dir_pname] [-T file-pname]\n"                                  \
      "                         [-p date-time] [-o datafile-pname] [source-name ...]\n")                \
    X(VT_BAD_SOURCE,                                                                                    \
      "\"%s\" invalid.\nSource name must not have a \"/\" in it.\nSource name must be in your current " \
      "working directory.\n")                                                                           \
    X(VT_TOO_LONG, "\"%s\" is not exported: %s.\n")                                                     \
    X(VT_REASON, "(%s)\n")                                                                              \
    X(VT_HELP_ENVIRONMENT,                                                                              \
      "  VANTOR_HOME            the registry of VOBs and views (default ~/.vantor)\n"                   \
      "  VANTOR_BUSY_TIMEOUT_MS how long to wait for a VOB another process holds (default 10000)\n"     \
      "  VANTOR_SQL_STATS       when set, the run ends saying how many store queries it made\n")        \
    X(VT_QUERY_STATS, "The store ran %lld queries for %lld versions (%.1f per version, the walk included).\n")

IMSG_DECLARE_LISTED(vantor_msg, VANTOR_DRIVER_MESSAGES)

const imsg_catalog *vantor_driver_vantor_msg_table_adr();
