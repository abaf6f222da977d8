// The SourceSafe driver's message catalog (catalog ssafe_cvt, module
// SSAFE_driver). Entries 1 to 33 keep their numbers' order: entry n is at
// position n-1. The entries after 33 say what the first 33 cannot: which
// field of which SourceSafe path is too long, why a command failed, where a
// date was read, the driver's part of the help, and the causes that the
// start-up names when the client does not answer (another program found as
// ss, no SSDIR, dates it writes in a form the parser cannot read).
#pragma once

#include "runtime/imsg.h"

#define SSAFE_DRIVER_MESSAGES(X)                                                                           \
    X(SSAFE_NOMEM, "Unable to allocate memory\n")                                                          \
    X(SSAFE_BAD_DATE, "Could not parse date/time string (%s,%s).\n")                                       \
    X(SSAFE_CANT_OPEN_PROCESS, "Could not open process \"%s\": %s\n")                                      \
    X(SSAFE_CANT_READ_PROCESS, "Could not read from process \"%s\": %s\n")                                 \
    X(SSAFE_TROUBLE_READING, "Trouble reading from process \"%s\": %s\n")                                  \
    X(SSAFE_PIN_1, "This pinned file cannot be probed properly, any history beyond 2001 will not\n")       \
    X(SSAFE_PIN_2, "be taken into account.  Please un-pin this file, or find a more up to date\n")         \
    X(SSAFE_PIN_3, "version of this utility to resolve this situation.\n")                                 \
    X(SSAFE_COMMENT_TOO_SMALL, "Comment buffer too small.\n")                                              \
    X(SSAFE_UNRECOGNIZED, "Unrecognized line (file \"%s\") from SourceSafe History: %s")                   \
    X(SSAFE_STATUS_TOO_SMALL, "Status buffer too small.\n")                                                \
    X(SSAFE_NO_PATH, "Cannot get PATH environment variable.\n")                                            \
    X(SSAFE_NOT_IN_PATH, "Can't find \"%s\" in PATH.\n")                                                   \
    X(SSAFE_NO_TMP, "TMP environment variable must be set.\n")                                             \
    X(SSAFE_USAGE,                                                                                         \
      "Usage: vantexport_ssafe [-r] [-s date-time | -I {now|date-time}]\n"                                 \
      "                         [-V] [-t temp_dir_pname] [-T file-pname]\n"                                \
      "                         [-b import-branch [-v version-id ]]\n"                                     \
      "                         [-p date-time] [-o datafile-pname] [source-name...]\n")                    \
    X(SSAFE_PATHS_UNRECOGNIZED, "Unrecognized line from SourceSafe Paths: %s")                             \
    X(SSAFE_SHARE_OUT_OF_SCOPE, "Share (\"%s\") is out of of working directory's (\"%s\") scope.\n")       \
    X(SSAFE_NO_ALT_NAME, "Can't create alternate name for it.\n")                                          \
    X(SSAFE_SHARE_IN_TABLE, "Share (\"%s\") was already in hash table.\n")                                 \
    X(SSAFE_SKIP_ALT_NAME, "Skipping alternate name \"%s\".\n")                                            \
    X(SSAFE_NO_VERSION_TREE,                                                                               \
      "Unable to construct version tree, element may need to have a deleted name restored.\n")             \
    X(SSAFE_NO_SPROUT, "Unable to find a sprout point for branch at \"%s\"\n")                             \
    X(SSAFE_SKIP_DELETED, "Skipping deleted name \"%s\".\n")                                               \
    X(SSAFE_NO_BRANCH_INFO, "Unable to get branch information from \"ss paths\"\n")                        \
    X(SSAFE_NO_VERSIONS, "Did not find any versions for \"%s\", parse error?\n")                           \
    X(SSAFE_PROMPTING,                                                                                     \
      "SourceSafe is prompting for Username\n and/or Password. The exporter requires that SourceSafe not " \
      "do that.  Please\n adjust your SourceSafe environment.\n")                                          \
    X(SSAFE_DATE_FORMAT, "Date and time are not in a recognized format.\n")                                \
    X(SSAFE_REGIONAL, "Please go to the Control Panel and alter your Regional Settings\n")                 \
    X(SSAFE_REGIONAL_SAMPLE, "for Short Date and Time so that %s %s appears as %s %s\n")                   \
    X(SSAFE_NO_TIME_FORMAT, "Unable to retrieve time format\n")                                            \
    X(SSAFE_NO_DATE_FORMAT, "Unable to retrieve date format\n")                                            \
    X(SSAFE_UNKNOWN_VERSION, "Unable to determine SourceSafe version.  Assuming pre-6.0\n")                \
    X(SSAFE_SOURCE_SLASH,                                                                                  \
      "\"%s\" invalid.\nSource name must not have a \"/\" in it.\nSource name must be in your current "    \
      "project.\n")                                                                                        \
    X(SSAFE_TOO_LONG, "\"%s\": the %s \"%s\" is longer than %d characters.\n")                             \
    X(SSAFE_IN_HISTORY, "in the history of \"%s\".\n")                                                     \
    X(SSAFE_IN_PATHS, "in \"ss paths\" of \"%s\", line %d: %s\n")                                          \
    X(SSAFE_REASON_STATUS, "it ended with status %d")                                                      \
    X(SSAFE_REASON_SIGNAL, "it was killed by signal %d")                                                   \
    X(SSAFE_REASON_EMPTY, "it wrote nothing")                                                              \
    X(SSAFE_REASON_FIRST_LINE, "its first line is \"%s\", not a project followed by \":\"")                \
    X(SSAFE_STATUS_ERROR, "%s status: Error reading from file \"%s%c%s\"\n")                               \
    X(SSAFE_HELP_OPTIONS,                                                                                  \
      "  -F              follow shares and branches: other places of a shared file become\n"               \
      "                  alternate names, branched places branches of the element\n"                       \
      "  -V              record each SourceSafe version number as the attribute SSAFE_VERSION\n")          \
    X(SSAFE_HELP_ENVIRONMENT,                                                                              \
      "  PATH            searched for ss, the SourceSafe client: put its directory first\n"                \
      "                  (this system has an unrelated ss of its own in /usr/bin)\n"                       \
      "  TMP             must be set: the directory of the command output files\n"                         \
      "  LC_ALL, LC_TIME, LANG  must give dates as month/day/year and 12-hour times\n")                    \
    X(SSAFE_ALT_NAME_OF, "exported as an alternate name of %s")                                            \
    X(SSAFE_NOT_CLIENT,                                                                                    \
      "\"%s\", the ss found on PATH, is not the SourceSafe client: "                                       \
      "it answers \"ss about\" with \"%s\".\n")                                                            \
    X(SSAFE_NOT_CLIENT_SILENT,                                                                             \
      "\"%s\", the ss found on PATH, is not the SourceSafe client: "                                       \
      "\"ss about\" gives no answer (%s).\n")                                                              \
    X(SSAFE_NOT_CLIENT_FIX, "Put the directory that holds the SourceSafe client before \"%s\" in PATH.\n") \
    X(SSAFE_CLIENT_SAID, "ss wrote: %s\n")                                                                 \
    X(SSAFE_NO_SSDIR,                                                                                      \
      "SSDIR is not set, the likely cause: set it to the folder that holds the database's srcsafe.ini.\n") \
    X(SSAFE_DATES_UNREADABLE,                                                                              \
      "The SourceSafe client writes dates that cannot be read: \"%s %s\" in the history of \"%s\".\n")     \
    X(SSAFE_DATES_EXPECTED,                                                                                \
      "Dates must read month/day/year and times hour:minutes with \"a\" or \"p\" (as 6/8/94 9:40p):\n"     \
      "set the short date format of the client's regional settings (or its locale) to month first.\n")     \
    X(SSAFE_HELP_SSDIR,                                                                                    \
      "  SSDIR           the folder that holds the database's srcsafe.ini, as the client reads it\n")

IMSG_DECLARE_LISTED(ssafe_msg, SSAFE_DRIVER_MESSAGES)

const imsg_catalog *ssafe_driver_ssafe_msg_table_adr();
