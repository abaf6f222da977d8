// The RCS driver's message catalog (catalog rcs_cvt, module rcs_driver).
// Entries 1 to 26 keep their numbers' order: entry n is at position n-1;
// entry 1 (memory) is kept for the numbering and printed by no path. The
// entries after 26 give the file and line of a fault, which the first 26 lack.
#pragma once

#include "runtime/imsg.h"

#define RCS_DRIVER_MESSAGES(X)                                                                         \
    X(RCS_NOMEM, "Unable to allocate memory.\n")                                                       \
    X(RCS_BAD_DATE, "Could not parse date string \"%s\".\n")                                           \
    X(RCS_NOT_RCS, "Not an RCS file.\n")                                                               \
    X(RCS_DATE_LENGTH, "Date string \"%s\" is invalid, must be 17 or 19 characters.\n")                \
    X(RCS_NO_DELTAS, "Did not find any deltas in this RCS file.\n")                                    \
    X(RCS_BRANCH_ID, "Branch identifier string passed instead of version identifier.\n")               \
    X(RCS_NO_SYMBOLS, "File has no symbols.\n")                                                        \
    X(RCS_CHANGED_TYPE, "Changed type from \"%s\" to \"%s\".\n")                                       \
    X(RCS_BAD_PATHNAME, "Pathname \"%s\" is invalid.\n")                                               \
    X(RCS_NO_DELTA_INFO, "Unable to get delta information.\n")                                         \
    X(RCS_EMPTY_DATE, "Date string is empty.\n")                                                       \
    X(RCS_CANT_REWIND, "Could not rewind element.\n")                                                  \
    X(RCS_LOCKS_FAILED, "Parse for locks failed.\n")                                                   \
    X(RCS_NO_ELEMENT_COMMENT, "Could not find an element comment, using no comment.\n")                \
    X(RCS_CANT_STAT, "Unable to stat \"%s\".\n")                                                       \
    X(RCS_NOREALLOC, "Unable to reallocate memory.\n")                                                 \
    X(RCS_NO_COMMENT, "Could not find a comment for \"%s\".\n")                                        \
    X(RCS_NEXT_VERSION_FAILED, "Parse for next version failed.\n")                                     \
    X(RCS_USAGE,                                                                                       \
      "Usage: %s [-r] [-s date-time | -I {now|date-time}]\n"                                           \
      "                       [-V] [-S] [-t temp_dir_pname] [-T translation-file]\n"                   \
      "                       [-p date-time] [-o datafile-pname] [source-name ...]\n")                 \
    X(RCS_CANT_OPEN, "Unable to open \"%s\".\n")                                                       \
    X(RCS_UNKNOWN_MODE, "Unknown conversion mode requested, aborting.\n")                              \
    X(RCS_CVS_USAGE,                                                                                   \
      "Usage: %s [-r [-A]] [-s date-time | -I {now|date-time}]\n"                                      \
      "                       [-V] [-S] [-t temp_dir_pname] [-T translation-file]\n"                   \
      "                       [-p date-time] [-o datafile-pname] [source-name ...]\n")                 \
    X(RCS_ENV_NOT_SET, "Environment variable \"%s\" must be set.  Unable to proceed.\n")               \
    X(RCS_CANT_RESOLVE_REPO, "Unable to resolve path to CVS repository \"%s\".  Unable to proceed.\n") \
    X(RCS_BAD_ACCESS, "Bad access method for CVS repository \"%s\".  Repository must be local.\n")     \
    X(RCS_CANT_RESOLVE_CWD,                                                                            \
      "Unable to resolve directory \"%s\" relative to path in environment variable CVSROOT.\n")        \
    X(RCS_AT, "in \"%s\", line %d.\n")                                                                 \
    X(RCS_TRUNCATED, "\"%s\", line %d: the file ends inside the %s.\n")                                \
    X(RCS_UNTERMINATED, "\"%s\", line %d: a string starting here is not terminated.\n")                \
    X(RCS_SYNTAX, "\"%s\", line %d: expected %s, found \"%s\".\n")                                     \
    X(RCS_REV_TOO_LONG, "\"%s\", line %d: revision number \"%s\" is longer than %d characters.\n")     \
    X(RCS_REV_MALFORMED, "\"%s\", line %d: \"%s\" is not a revision number.\n")                        \
    X(RCS_SYMBOL_TOO_LONG, "\"%s\", line %d: symbol %s \"%s\" is longer than %d characters.\n")        \
    X(RCS_DUPLICATE_REV, "\"%s\", line %d: revision %s is listed twice.\n")                            \
    X(RCS_BRANCH_TOO_LONG, "\"%s\": the branch path of revision %s is longer than %d bytes.\n")        \
    X(RCS_SAME_ELEMENT, "\"%s\" is not exported: \"%s\" is already exported as element \"%s\".\n")     \
    X(RCS_REASON, "(%s)\n")                                                                            \
    X(RCS_REMOVAL_NO_TRUNK,                                                                            \
      "Removed: the archive holds no revision on the trunk, so cvs checkout shows no file.")           \
    X(RCS_REMOVAL_ATTIC,                                                                               \
      "Removed: the archive lies in Attic, so cvs checkout shows no file, although revision "          \
      "%s is not dead. The time is that of %s: when the archive was moved is not recorded.")           \
    X(RCS_REMOVAL_EMPTY_DEFAULT,                                                                       \
      "Removed: the default branch %s has no revisions, so cvs checkout shows no file. The "           \
      "time is that of %s: when the default branch was set is not recorded.")                          \
    X(RCS_WORK_FILE_OF, "the working file of the archive %s")                                          \
    X(RCS_NO_ARCHIVE, "\"%s\" is not an RCS file and has no archive: it is not exported.\n")           \
    X(RCS_HINT_CVSROOT_UNSET,                                                                          \
      "Set CVSROOT to the repository root (the directory that holds CVSROOT/) and run "                \
      "vantexport_cvs inside $CVSROOT/<module>; the current directory is \"%s\".\n")                   \
    X(RCS_HINT_CVSROOT_ROOT,                                                                           \
      "CVSROOT is \"%s\": set it to the repository root (the directory that holds CVSROOT/) and run "  \
      "vantexport_cvs inside $CVSROOT/<module>.\n")                                                    \
    X(RCS_HINT_CVSROOT_CWD,                                                                            \
      "Run vantexport_cvs inside $CVSROOT/<module>, with CVSROOT set to the repository root (the "     \
      "directory that holds CVSROOT/): the current directory \"%s\" is not below CVSROOT \"%s\".\n")   \
    X(RCS_HELP_OPTIONS,                                                                                \
      "  -V              record each revision number as the attribute %s_REVISION\n"                   \
      "  -S              record a revision state other than Exp as the attribute %s_STATE\n")          \
    X(RCS_HELP_CVS_OPTIONS, "  -A              with -r: also export the removed files, in Attic/\n")   \
    X(RCS_HELP_CVS_ENVIRONMENT,                                                                        \
      "  CVSROOT                the repository root (a path or :local:path), the directory that\n"     \
      "                         holds CVSROOT/; run inside $CVSROOT/<module>\n")

IMSG_DECLARE_LISTED(rcs_msg, RCS_DRIVER_MESSAGES)

const imsg_catalog *rcs_driver_rcs_msg_table_adr();

// While a quiet scope lives, the archive reader prints nothing on this thread:
// a reader that falls back to running the legacy tool has nothing to report.
bool rcs_is_quiet();
struct rcs_quiet_scope {
    bool was;
    explicit rcs_quiet_scope(bool on = true);
    ~rcs_quiet_scope();
    rcs_quiet_scope(const rcs_quiet_scope &) = delete;
    rcs_quiet_scope &operator=(const rcs_quiet_scope &) = delete;
};
// IMSG_PRINT unless quiet.
#define RCS_SAY(...) (rcs_is_quiet() ? void() : (void)IMSG_PRINT(__VA_ARGS__))
