// The file-system import library's messages, by catalog number. The front
// end prints 1, 2, 5, 7, 81, 82, 85, 99, 100, 103 to 105, 110, 111 and 112
// itself; the rest are fsimport_start's.
#pragma once

#include "platform/fsimport/fsimport_start.h"
#include "runtime/imsg.h"

#define FSI_HELP_TEXT                                                                    \
    "Copies files and directories into target-directory, a directory of a VOB in a\n"    \
    "snapshot view: new files become elements, changed files new versions.\n"            \
    "\n"                                                                                 \
    "Options:\n"                                                                         \
    "  -r[ecurse]         import the whole tree of each source directory\n"              \
    "  -rm[name]          remove from the imported directories the names that their\n"   \
    "                     sources no longer have (the elements stay in the VOB)\n"       \
    "  -c[omment] TEXT    the comment of every element and version made\n"               \
    "                     (default \"" FSIMPORT_DEFAULT_COMMENT                          \
    "\")\n"                                                                              \
    "  -mk[label] LABEL   put LABEL on every imported version that matches its source\n" \
    "                     (made when missing, moved when it is elsewhere)\n"             \
    "  -upd[ates_only]    after -mk[label]: label only the versions this run created\n"  \
    "  -n[setevent]       date new versions at the time of the import, not at the\n"     \
    "                     files' modification times\n"                                   \
    "  -i[dentical]       make a new version even when a file is unchanged\n"            \
    "  -m[aster]          accepted and ignored: the store has one replica\n"             \
    "  -unco              cancel this view's checkout of a file in the way, keeping\n"   \
    "                     its edits as FILE.keep\n"                                      \
    "  -pre[view]         change nothing; print what would be done\n"                    \
    "  -fil[ter]          with -r[ecurse]: skip what .vantorignore files name and the\n" \
    "                     administrative directories CVS, RCS, SCCS, .git, .svn, .hg,\n" \
    "                     .bzr and _darcs\n"                                             \
    "  -dow[ncase]        lower-case the names on the way into the VOB\n"                \
    "  -q[uiet], --quiet  only warnings, errors and the summary: no line for each\n"     \
    "                     name with -pre[view], none as the view update begins, and\n"   \
    "                     no progress lines in a log (on a terminal the progress\n"      \
    "                     line stays)\n"                                                 \
    "  -Ver, -VerAll      print the version (with -VerAll, of the libraries too)\n"      \
    "  -V, --version      print the version\n"                                           \
    "  -h, --help         print this text\n"                                             \
    "  --                 end the options: the next words are sources and the\n"         \
    "                     target, even when they begin with \"-\"\n"                     \
    "Sources may be wildcard patterns; the target may not. Options go before the\n"      \
    "sources; an option after a source is refused.\n"                                    \
    "Environment:\n"                                                                     \
    "  VANTOR_HOME        the store's home, where VOBs and views are registered\n"       \
    "  VANTOR_BUSY_TIMEOUT_MS  how long to wait for a VOB that another process is\n"     \
    "                     writing, in milliseconds (default: 10000)\n"                   \
    "Exit status:\n"                                                                     \
    "  0  everything was imported\n"                                                     \
    "  1  something was not imported (each failure is reported and listed), or the\n"    \
    "     command line was bad"

#define FSI_MESSAGES(X)                                                                                    \
    X(FSI_NEEDS_ARG, 1, "Option \"%s\" needs an argument.")                                                \
    X(FSI_TOO_FEW, 2, "Give at least one source and then the target directory.")                           \
    X(FSI_NOT_LABELLED, 5, "The following were imported but could not be labelled:")                       \
    X(FSI_BAD_CMDLINE, 7, "Cannot read the command line: %s")                                              \
    X(FSI_NOT_IMPORTED, 85, "The following were not imported:")                                            \
    X(FSI_WOULD_NOT_IMPORT, 99, "Preview: the following would not be imported:")                           \
    X(FSI_USAGE, 100,                                                                                      \
      "Usage: vantfsimport [-r[ecurse]] [-rm[name]] [-c[omment] comment]\n"                                \
      "                    [-mk[label] label [-upd[ates_only]]] [-n[setevent]]\n"                          \
      "                    [-i[dentical]] [-m[aster]] [-unco] [-pre[view]]\n"                              \
      "                    [-fil[ter]] [-dow[ncase]] [-q[uiet]] [--]\n"                                    \
      "                    source ... target-directory")                                                   \
    X(FSI_WILD_FAILED, 103, "Cannot expand \"%s\": a directory it names cannot be read.")                  \
    X(FSI_WILD_NO_MATCH, 104, "\"%s\" matches no file or directory.")                                      \
    X(FSI_UPDATES_NEEDS_LABEL, 105, "-upd[ates_only] limits -mk[label]: give -mk[label] LABEL before it.") \
    X(FSI_FILTER_NEEDS_RECURSE, 110, "-fil[ter] applies to a tree: give -r[ecurse] with it.")              \
    X(FSI_FILTER_PREVIEW, 111, "-fil[ter] and -pre[view] cannot be used together.")                        \
    X(FSI_LIST_ENTRY, 112, "\t%s\n")                                                                       \
    X(FSI_HELP, 113, FSI_HELP_TEXT)                                                                        \
    X(FSI_BAD_OPTION, 114, "Unknown option \"%s\".")                                                       \
    X(FSI_NO_TARGET, 120, "The target directory \"%s\" does not exist or is not a directory.")             \
    X(FSI_NOT_IN_VIEW, 121, "The target directory \"%s\" is not inside a snapshot view%s%s")               \
    X(FSI_NOT_IN_VIEW_TODO, 122,                                                                           \
      "Give a directory below <view root>/<VOB tag> of a snapshot view (\"vantor lsview\" "                \
      "lists the views).")                                                                                 \
    X(FSI_NO_SOURCE, 123, "Source \"%s\": %s")                                                             \
    X(FSI_FAILED, 125, "\"%s\" was not imported: %s")                                                      \
    X(FSI_SKIPPED, 126, "\"%s\" was skipped: %s")                                                          \
    X(FSI_LABEL_FAILED, 127, "\"%s\" could not be labelled \"%s\": %s")                                    \
    X(FSI_ACTION, 129, "%s: %s")                                                                           \
    X(FSI_SUMMARY, 130,                                                                                    \
      "%ld new elements, %ld new versions, %ld unchanged, %ld names removed, %ld labelled, "               \
      "%ld not imported.")                                                                                 \
    X(FSI_PREVIEW_SUMMARY, 131,                                                                            \
      "Preview: %ld new elements, %ld new versions, %ld unchanged, %ld names removed, "                    \
      "%ld labelled, %ld not importable; nothing was changed.")                                            \
    X(FSI_UPDATING, 132, "Updating the view at \"%s\" ...")                                                \
    X(FSI_UPDATE_FAILED, 133, "Cannot update the view at \"%s\": %s")                                      \
    X(FSI_WARNING, 134, "%s")                                                                              \
    X(FSI_INTERRUPTED, 135,                                                                                \
      "The import was interrupted; what was imported before \"%s\" is kept. Run the same "                 \
      "command again to complete it.")                                                                     \
    X(FSI_STOPPING, 136,                                                                                   \
      "Stopping: the element in hand is finished or rolled back; a second signal ends the "                \
      "import at once.")                                                                                   \
    X(FSI_LABEL_TYPE_FAILED, 137, "Cannot make the label type \"%s\": %s")                                 \
    X(FSI_BUSY_STOP, 138,                                                                                  \
      "The import stopped: %s What was imported before stays; run the same command again "                 \
      "when the VOB is free.")                                                                             \
    X(FSI_NOTHING_CHANGED, 139, "Nothing to import: the VOB already holds every source as it is.")         \
    X(FSI_SUMMARY_N, 140, "%s, %s, %ld unchanged, %s removed, %ld labelled, %ld not imported.")            \
    X(FSI_PREVIEW_SUMMARY_N, 141,                                                                          \
      "Preview: %s, %s, %ld unchanged, %s removed, %ld labelled, %ld not importable; nothing was "         \
      "changed.")

#define FSI_MSG_ENUM(name, num, text) name = num,
enum fsi_msg { FSI_MESSAGES(FSI_MSG_ENUM) };
#undef FSI_MSG_ENUM
#define FSI_MSG_FORMAT(name, num, text) IMSG_FORMAT(name, text)
FSI_MESSAGES(FSI_MSG_FORMAT)
#undef FSI_MSG_FORMAT
