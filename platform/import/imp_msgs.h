// The import library's messages, by catalog number. The front end prints
// 41 to 44, 167, 174, 176 and 177 itself; the rest are imp_start's.
#pragma once

#include "runtime/imsg.h"

#define IMP_MESSAGES(X)                                                                          \
    X(IMP_DATAFILE_ERROR, 1, "Data file %s")                                                     \
    X(IMP_REST_NOT_READ, 2, "The elements from line %ld of \"%s\" on were not imported.")        \
    X(IMP_NEED_CMD, 3,                                                                           \
      "The extract commands of \"%s\" need \"%s\", which is not on PATH; "                       \
      "nothing was imported.")                                                                   \
    X(IMP_NOT_IN_VIEW, 4, "The target directory \"%s\" is not inside a snapshot view: %s")       \
    X(IMP_NO_TARGET, 5, "The target directory \"%s\" does not exist or is not a directory.")     \
    X(IMP_STORE, 6, "%s")                                                                        \
    X(IMP_TYPE_FAILED, 7, "Cannot create %s type \"%s\": %s")                                    \
    X(IMP_DIR_FAILED, 8, "Cannot create the directory \"%s\": %s")                               \
    X(IMP_ELEMENT_FAILED, 9, "Element \"%s\" was not imported: %s")                              \
    X(IMP_LABEL_ELSEWHERE, 10,                                                                   \
      "Element \"%s\": label \"%s\" is already on version %s; "                                  \
      "it was not moved to %s.")                                                                 \
    X(IMP_MERGE_UNKNOWN, 11,                                                                     \
      "Element \"%s\": version %s merges with \"%s\", which is not a "                           \
      "version of the element; no Merge hyperlink was made.")                                    \
    X(IMP_ELEMENT_DONE, 12,                                                                      \
      "Element \"%s\": %ld versions created, %ld already present, "                              \
      "%ld identical to their predecessor.")                                                     \
    X(IMP_SUMMARY, 13,                                                                           \
      "Imported %ld elements (%ld new) and %ld versions; %ld versions were "                     \
      "already present, %ld identical to their predecessor.")                                    \
    X(IMP_NOTHING_NEW, 14, "Nothing new to import: everything in \"%s\" is already in the VOB.") \
    X(IMP_RUNNING, 15, "Running: %s")                                                            \
    X(IMP_TMP_KEPT, 16, "Temporary files are kept in %s")                                        \
    X(IMP_UPDATE_FAILED, 17, "Cannot update the view at \"%s\": %s")                             \
    X(IMP_WARNING, 18, "%s")                                                                     \
    X(IMP_TMP_FAILED, 19, "Cannot create a temporary directory in \"%s\": %s")                   \
    X(IMP_STOPPED, 20, "The import was stopped by its caller after element \"%s\".")             \
    X(IMP_UPDATING, 21, "Updating the view at \"%s\" ...")                                       \
    X(IMP_BRANCH_OBS_UNKNOWN, 22,                                                                \
      "Element \"%s\": obsolete branch \"%s\" does not exist; "                                  \
      "it was not locked.")                                                                      \
    X(IMP_LABEL_DIR_FAILED, 23, "Cannot label the directory \"%s\" with \"%s\": %s")             \
    X(IMP_BAD_ATTRIBUTE, 24, "Element \"%s\": attribute \"%s\" has no \"=\"; it was not set.")   \
    X(IMP_READING, 25, "Importing \"%s\" into \"%s\" ...")                                       \
    X(IMP_NO_DATAFILE_PARAM, 26, "No data file was named.")                                      \
    X(IMP_INTERRUPTED, 27,                                                                       \
      "The import was interrupted after %ld elements (%ld new) and %ld new "                     \
      "versions.")                                                                               \
    X(IMP_ROLLED_BACK, 28, "Element \"%s\" was being imported; its changes were rolled back.")   \
    X(IMP_RUN_AGAIN, 29,                                                                         \
      "Run the same command again to continue where the import stopped; "                        \
      "what is in the VOB now is kept and not imported twice.")                                  \
    X(IMP_NO_WORKERS, 30, "The elements of \"%s\" were not imported: %s")                        \
    X(IMP_STOPPING, 31,                                                                          \
      "Stopping: the element in hand is finished or rolled back; a second "                      \
      "signal ends the import at once.")                                                         \
    X(IMP_NO_DATAFILE, 41, "No data file was given.")                                            \
    X(IMP_NEEDS_ARG, 42, "Option \"%s\" needs an argument.")                                     \
    X(IMP_BAD_OPTION, 43, "Unknown option \"%s\".")                                              \
    X(IMP_BAD_CMDLINE, 44, "Cannot read the command line.")                                      \
    X(IMP_NOT_IMPORTED, 167, "The following elements could not be imported:")                    \
    X(IMP_USAGE, 174,                                                                            \
      "Usage: vantimport [-n[setevent]] [-i[dentical]] [-d[irectory] target-dir] [-debug]\n"     \
      "                  [-v[erbose]] [-c[omment] comment] [-m[aster]] [-p[case]]\n"             \
      "                  [-no[load]] [-nolab[eldir]] data-file")                                 \
    X(IMP_NOT_LOADED, 176, "The view was not updated; update it to load the imported files.")    \
    X(IMP_LIST_ENTRY, 177, "\t%s\n")

#define IMP_MSG_ENUM(name, num, text) name = num,
enum imp_msg { IMP_MESSAGES(IMP_MSG_ENUM) };
#undef IMP_MSG_ENUM
#define IMP_MSG_FORMAT(name, num, text) IMSG_FORMAT(name, text)
IMP_MESSAGES(IMP_MSG_FORMAT)
#undef IMP_MSG_FORMAT
