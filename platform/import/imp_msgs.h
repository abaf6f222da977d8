// The import library's messages, by catalog number. The front end prints
// 41 to 44, 59, 167, 174 and 176 to 178 itself; the rest are imp_start's.
#pragma once

#include "runtime/imsg.h"

// The explanation that -h and --help print after the usage.
#define IMP_HELP_TEXT                                                                    \
    "Options:\n"                                                                         \
    "  -n[setevent]      give every object the importer's user and the time of the\n"    \
    "                    import instead of the events the data file records\n"           \
    "  -i[dentical]      create versions equal to their predecessor too (without it\n"   \
    "                    such a version is skipped and its labels and attributes go\n"   \
    "                    to the predecessor)\n"                                          \
    "  -d[irectory] DIR  import into DIR, an existing directory of a VOB in a\n"         \
    "                    snapshot view (default: the current directory); the\n"          \
    "                    directories from the VOB root down to DIR that are not\n"       \
    "                    elements yet become elements\n"                                 \
    "  -debug            print each extract command as it runs and keep the fetched\n"   \
    "                    contents in the temporary directory\n"                          \
    "  -v[erbose]        a line for each element imported (its versions created,\n"      \
    "                    already present and identical), and one as the import and\n"    \
    "                    the view update begin\n"                                        \
    "  -q[uiet], --quiet only warnings, errors and the summary: no line for each\n"      \
    "                    element, no progress lines in a log (on a terminal the\n"       \
    "                    progress line stays); of -q and -v the later one counts\n"      \
    "  -c[omment] TEXT   the comment of records that have none\n"                        \
    "                    (default \"Created by importer\")\n"                            \
    "  -m[aster]         accepted and ignored: the store has one replica\n"              \
    "  -p[case]          accepted and ignored: names keep their case\n"                  \
    "  -no[load]         do not update the view afterwards\n"                            \
    "  -nolab[eldir]     do not put the data file's LabelAll label on the directories\n" \
    "  -authors FILE     map logins to people: lines \"login = Full Name <mail>\"; the\n" \
    "                    login stays the event's user, the rest becomes its name\n"       \
    "  -strictauthors    a login the map lacks stops the import before it begins\n"      \
    "  -encoding NAME    the legacy store's encoding for texts that are not UTF-8\n"      \
    "                    (latin1, cp1252, shift_jis, ...): comments and authors become\n" \
    "                    UTF-8, their original bytes kept in ORIGINAL_* attributes\n"     \
    "  -listauthors      print the data file's logins as an author map to fill in,\n"     \
    "                    and import nothing\n"                                            \
    "                    (--authors, --authors-strict, --encoding and --list-authors\n"   \
    "                    are the same, as the exporters spell them)\n"                    \
    "  -Ver, -VerAll     print the version (with -VerAll, of the libraries too)\n"       \
    "  -V, --version     print the version\n"                                            \
    "  -h, --help        print this text\n"                                              \
    "  --                end the options: the next word is the data file, even when\n"   \
    "                    it begins with \"-\"\n"                                         \
    "Options go before the data file; an option after it is refused.\n"                  \
    "Environment:\n"                                                                     \
    "  VANTOR_AUTHORS    the author map without -authors\n"                              \
    "  VANTOR_ENCODING   the legacy store's encoding without -encoding\n"                  \
    "  VANTOR_HOME       the store's home, where VOBs and views are registered\n"        \
    "                    (default: $HOME/.vantor)\n"                                     \
    "  VANTOR_IMPORT_JOBS  how many extract commands run at once, 1 to 256\n"            \
    "                    (default: the number of processors)\n"                          \
    "  VANTOR_IMPORT_INPROCESS  0 runs every co and cvs command, instead of reading\n"   \
    "                    the revisions from their archives in process\n"                 \
    "  VANTOR_IMPORT_MEMORY_MB  how many MB of those revisions may wait in memory\n"     \
    "                    to be stored; the others wait in files (default: 256, or\n"     \
    "                    an eighth of the machine's memory when that is less)\n"         \
    "  TMP, TEMP, TMPDIR the first one set names where the fetched contents wait\n"      \
    "                    while the import runs (default: /tmp)\n"                        \
    "  CVSROOT           for a data file of cvs commands: the root of the repository\n"  \
    "                    the export was made from; required\n"                           \
    "  PATH              where the extract commands and the data file's NeedCmd\n"       \
    "                    are looked for\n"                                               \
    "  VANTOR_BUSY_TIMEOUT_MS  how long to wait for a VOB that another process is\n"     \
    "                    writing, in milliseconds (default: 10000)\n"                    \
    "  VANTOR_PROGRESS_INTERVAL  seconds between progress lines when standard error\n"   \
    "                    is not a terminal (default: 10)\n"                              \
    "Exit status:\n"                                                                     \
    "  0  everything was imported\n"                                                     \
    "  1  something was not imported (each failure is reported and the elements are\n"   \
    "     listed), the import was interrupted, the data file ended early, or the\n"      \
    "     command line was bad"

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
    X(IMP_ENDS_EARLY, 32,                                                                        \
      "The data file \"%s\" ends early: it holds %ld elements and %ld versions where its "       \
      "globals announce %lld and %lld; it was probably cut short.")                              \
    X(IMP_ENDS_EARLY_TODO, 33,                                                                   \
      "Copy or export the whole file again and run the import again; what was imported is "      \
      "kept and not imported twice.")                                                            \
    X(IMP_MORE_THAN_ANNOUNCED, 34,                                                               \
      "The data file \"%s\" holds %ld elements and %ld versions, more than its globals "         \
      "announce (%lld and %lld).")                                                               \
    X(IMP_CVSROOT, 35, "The extract commands of \"%s\" run cvs, but %s; nothing was imported.")  \
    X(IMP_CVSROOT_TODO, 36,                                                                      \
      "Set CVSROOT to the root of the repository the export was made from, then run the "        \
      "import again.")                                                                           \
    X(IMP_NOT_A_VIEW, 37, "The target directory \"%s\" is not inside a snapshot view.")          \
    X(IMP_NOT_A_VIEW_TODO, 38,                                                                   \
      "cd into <view root>/<VOB tag> of a snapshot view (or a directory below it), "             \
      "or give that directory with -d.")                                                         \
    X(IMP_VIEW_ROOT_TODO, 39,                                                                    \
      "The view at \"%s\" holds the VOBs %s: cd into one of them (for example \"%s\"), or "      \
      "give it with -d.")                                                                        \
    X(IMP_VIEW_ROOT_EMPTY_TODO, 40,                                                              \
      "The view at \"%s\" holds no VOB yet: make the directory \"%s/<VOB tag>\" for a VOB "      \
      "that \"vantor lsvob\" lists, then cd into it or give it with -d.")                        \
    X(IMP_NO_DATAFILE, 41, "No data file was given.")                                            \
    X(IMP_NEEDS_ARG, 42, "Option \"%s\" needs an argument.")                                     \
    X(IMP_BAD_OPTION, 43, "Unknown option \"%s\".")                                              \
    X(IMP_INPROCESS_SHARE, 45,                                                                   \
      "%ld of %ld revisions of RCS and CVS archives were read in process; %ld ran their "        \
      "extract command.")                                                                        \
    X(IMP_INPROCESS_NOT, 46, "Element \"%s\": some revisions ran their extract command: %s")     \
    X(IMP_INPROCESS_OFF, 47, "Revisions are not read from their archives in process: %s")        \
    X(IMP_ABS_GAP_TODO, 48,                                                                      \
      "Version numbers only grow, so this VOB cannot take the missing version: export the "      \
      "element whole (without -s, -p or -I) and import it into a fresh VOB. The other elements " \
      "are not affected.")                                                                       \
    X(IMP_CVSROOT_EXPECTED, 49,                                                                  \
      "The data file was exported from \"%s\", in the repository \"%s\": set CVSROOT to \"%s\" " \
      "(or to where that repository is now), then run the import again.")                        \
    X(IMP_MEMORY_SPILLED, 50,                                                                    \
      "%ld revisions read in process (%ld KB) waited in files, beyond the memory budget of "     \
      "%ld KB (VANTOR_IMPORT_MEMORY_MB); at most %ld KB waited in memory.")                      \
    X(IMP_SUMMARY_N, 51,                                                                         \
      "Imported %s (%ld new) and %s; %s already present, %ld identical to their predecessor.")   \
    X(IMP_ELEMENT_DONE_N, 52,                                                                    \
      "Element \"%s\": %s created, %ld already present, %ld identical to their predecessor.")    \
    X(IMP_INTERRUPTED_N, 53, "The import was interrupted after %s (%ld new) and %s.")            \
    X(IMP_ENDS_EARLY_N, 54,                                                                      \
      "The data file \"%s\" ends early: it holds %s and %s where its globals announce %lld "     \
      "and %lld; it was probably cut short.")                                                    \
    X(IMP_MORE_THAN_ANNOUNCED_N, 55,                                                             \
      "The data file \"%s\" holds %s and %s, more than its globals announce (%lld and %lld).")   \
    X(IMP_NO_CONTENTS_LEFT_OUT_N, 56,                                                            \
      "The view leaves out %s: the version selected for each has no contents (removed files).")  \
    X(IMP_ELAPSED, 57, "%s in %.1f s, %.0f versions per second.")                                \
    X(IMP_VIEW_NOT_UPDATED, 58,                                                                  \
      "The view at \"%s\" was not updated: run \"vantor update %s\" to load what was imported.") \
    X(IMP_OPTION_AFTER_DATAFILE, 59,                                                             \
      "\"%s\" follows the data file \"%s\": options go before the data file; nothing was "       \
      "imported.")                                                                               \
    X(IMP_UNKNOWN_ENCODING, 60,                                                                  \
      "Unknown encoding \"%s\": iconv knows no such name (\"iconv -l\" lists the names it knows).") \
    X(IMP_BAD_AUTHOR_MAP, 61, "Cannot use the author map: %s.")                                  \
    X(IMP_STRICT_WITHOUT_MAP, 62,                                                                \
      "-strictauthors needs an author map (-authors FILE or VANTOR_AUTHORS).")                   \
    X(IMP_TEXTS_CONVERTED, 63,                                                                   \
      "%s converted from %s to UTF-8; the original bytes are kept in ORIGINAL_* attributes.")    \
    X(IMP_TEXTS_KEPT_BYTES, 64, "%s kept bytes that do not convert from %s, as they were:")      \
    X(IMP_UNMAPPED, 65,                                                                          \
      "%s not in the author map \"%s\"; their events keep the names the data file gives:")       \
    X(IMP_UNMAPPED_STRICT, 66,                                                                   \
      "%s not in the author map \"%s\", and -strictauthors asks for every one; nothing was "      \
      "imported:")                                                                               \
    X(IMP_AUTHORS_LISTED, 67, "%s in the data file \"%s\"; nothing was imported (-listauthors).") \
    X(IMP_NOT_IMPORTED, 167, "The following elements could not be imported:")                    \
    X(IMP_USAGE, 174,                                                                            \
      "Usage: vantimport [-n[setevent]] [-i[dentical]] [-d[irectory] target-dir] [-debug]\n"     \
      "                  [-v[erbose]] [-c[omment] comment] [-m[aster]] [-p[case]]\n"             \
      "                  [-no[load]] [-nolab[eldir]] [-q[uiet]] [-authors file]\n"               \
      "                  [-strictauthors] [-encoding name] [-listauthors] [--] data-file")      \
    X(IMP_NOT_LOADED, 176, "The view was not updated; update it to load the imported files.")    \
    X(IMP_LIST_ENTRY, 177, "\t%s\n")                                                             \
    X(IMP_HELP, 178, IMP_HELP_TEXT)                                                              \
    X(IMP_NO_CONTENTS_LEFT_OUT, 179,                                                             \
      "The view leaves out %lld names: the version selected for each has no contents "           \
      "(removed files).")                                                                        \
    X(IMP_LABEL_SUMMARY, 180,                                                                    \
      "Labels: %ld added, %ld moved (the directories above labelled elements included).")

#define IMP_MSG_ENUM(name, num, text) name = num,
enum imp_msg { IMP_MESSAGES(IMP_MSG_ENUM) };
#undef IMP_MSG_ENUM
#define IMP_MSG_FORMAT(name, num, text) IMSG_FORMAT(name, text)
IMP_MESSAGES(IMP_MSG_FORMAT)
#undef IMP_MSG_FORMAT
