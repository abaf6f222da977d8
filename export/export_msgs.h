// The export library's three message catalogs (library name "export_lib").
// Each text is listed once, beside the enum name the code uses for it.
#pragma once

#include "runtime/imsg.h"

#define EXPORT_MAIN_MESSAGES(X)                                                                             \
    X(MAIN_INIT_FAILED, "CM driver initialization failed.")                                                 \
    X(MAIN_SHUTDOWN_FAILED, "CM driver shutdown failed.")                                                   \
    X(MAIN_NOT_RESOLVED, "Could not resolve \"%s\".")                                                       \
    X(MAIN_OPT_REFUSED, "Option \"%c\" not supported by this exporter.")                                    \
    X(MAIN_S_AND_I, "Options -s and -I are mutually exclusive.")                                            \
    X(MAIN_BAD_TYPE_NAME, "Type name \"%s\" contains invalid characters.")                                  \
    X(MAIN_BAD_OPERAND,                                                                                     \
      "\"%s\" invalid\nsource-name must not be \"..\" or have a \"/\" in it\n"                              \
      "source-name must be in your current working directory\n")                                            \
    X(MAIN_BAD_DATE, "Incorrect date format for \"%s\".\nUsage: %s")                                        \
    X(MAIN_IMPORTANT_UNTIL, "Only important versions until \"%s\" will be converted.")                      \
    X(MAIN_SINCE_AFTER_PRIOR, "Since time must be before prior to time.")                                   \
    X(MAIN_BETWEEN, "Only revisions between \"%s\" and \"%s\" will be converted.")                          \
    X(MAIN_SINCE, "Only revisions since \"%s\" will be converted.")                                         \
    X(MAIN_PRIOR, "Only revisions prior to \"%s\" will be converted.")                                      \
    X(MAIN_A_WITHOUT_R, "The -A option may not be specified without -r.")                                   \
    X(MAIN_OUTPUT_EXISTS, "\"%s\" exists, please move.")                                                    \
    X(MAIN_CANT_OPEN_OUTPUT, "Cannot open output file \"%s\".")                                             \
    X(MAIN_CREATING_SCRIPT, "Creating script file %s ...\n")                                                \
    X(MAIN_CANT_ADD_TYPES, "Can't add types to script file.")                                               \
    X(MAIN_CANT_OPEN_FILE, "Cannot open file \"%s\".")                                                      \
    X(MAIN_CREATING_TRANSLATION, "Creating translation file.")                                              \
    X(MAIN_NOT_EXPORTED, "The following elements could not be exported:")                                   \
    X(MAIN_LIST_ENTRY, "\t%s\n")                                                                            \
    X(MAIN_BAD_CHARS,                                                                                       \
      "Cannot convert files with certain characters in them.\n"                                             \
      "Skipping \"%s\" because of the \"%c\" in it.\n")                                                     \
    X(MAIN_NOT_A_FILE, "Neither file, symbolic link, nor directory - cannot convert \"%s\".")               \
    X(MAIN_CANT_CREATE_DIR, "Can't create VOB directory element \"%s\".")                                   \
    X(MAIN_CANT_WRITE_DIR, "Unable to write directory info to file.")                                       \
    X(MAIN_DIR_ELEMENT, "VOB directory element \"%s\".\n")                                                  \
    X(MAIN_NO_ELEMENT_INFO, "Unable to get element info.")                                                  \
    X(MAIN_CANT_OUTPUT_VERSIONS, "Unable to output version info to file.")                                  \
    X(MAIN_CANT_ADD_ELTYPE, "Can't add element type \"%s\".")                                               \
    X(MAIN_OUTPUT_PREFIX_SKIP, "Skipping \"%s\": its name begins with the name of the output file \"%s\".") \
    X(MAIN_NAME_TOO_LONG, "Skipping \"%s\": the name is longer than %d bytes.")                             \
    X(MAIN_CANT_WRITE_OUTPUT, "Cannot write output file \"%s\": %s")                                        \
    X(MAIN_HINT_OUTPUT_EXISTS,                                                                              \
      "Move or delete \"%s\" (a failed run leaves it empty; otherwise it is the result of an "              \
      "earlier run), then run again.")                                                                      \
    X(MAIN_WRITE_FAILED, "Write failure on standard output: %s")                                            \
    X(MAIN_STOPPING,                                                                                        \
      "Stopping: the export ends before its next element and removes its temporary files; a second "        \
      "signal ends it at once.")                                                                            \
    X(MAIN_INTERRUPTED,                                                                                     \
      "The export of \"%s\" was interrupted at \"%s\" after %ld elements with %ld versions; its "           \
      "temporary record files were removed.")                                                               \
    X(MAIN_INTERRUPTED_AT_ONCE,                                                                             \
      "The export was interrupted again and ended at once; its temporary record files were removed.")       \
    X(MAIN_HINT_INTERRUPTED, "The data file \"%s\" is left empty: move or delete it before the next run.")  \
    X(MAIN_HELP_OPTIONS, "\nOptions:\n")                                                                    \
    X(MAIN_HELP_OPT_r,                                                                                      \
      "  -r              export the whole tree below the sources, not only their top level\n")              \
    X(MAIN_HELP_OPT_o,                                                                                      \
      "  -o datafile     the data file to write (default cvt_data); it must not exist yet\n")               \
    X(MAIN_HELP_OPT_t, "  -t tempdir      the directory for the temporary record files\n")                  \
    X(MAIN_HELP_OPT_s, "  -s date-time    only versions dated after this time\n")                           \
    X(MAIN_HELP_OPT_p, "  -p date-time    only versions dated before this time\n")                          \
    X(MAIN_HELP_OPT_I,                                                                                      \
      "  -I {now|date-time}\n"                                                                              \
      "                  before this time only the important versions: the last of each\n"                  \
      "                  branch and those with labels, branches or merges\n")                               \
    X(MAIN_HELP_OPT_T,                                                                                      \
      "  -T file         the type-name translation file: read at the start when it exists,\n"               \
      "                  written back at the end\n")                                                        \
    X(MAIN_HELP_OPT_L, "  -L              follow symbolic links while walking\n")                           \
    X(MAIN_HELP_OPT_b, "  -b branch       the branch type the import goes onto\n")                          \
    X(MAIN_HELP_OPT_v, "  -v version-id   with -b: the version the import branch starts from\n")            \
    X(MAIN_HELP_OPT_l, "  -l label        a label for every imported version\n")                            \
    X(MAIN_HELP_OPT_U, "  -U              print the usage and exit with status 1\n")                        \
    X(MAIN_HELP_OPT_h, "  -h, --help      print this help and exit with status 0\n")                        \
    X(MAIN_HELP_ENVIRONMENT,                                                                                \
      "\nEnvironment:\n"                                                                                    \
      "  EXPORT_REPLACE_CHAR    replaces a bad character of a type name (default \".\")\n"                  \
      "  EXPORT_REPLACE_STRING  replaces a type name beyond repair, numbered (default \"REPLACED\")\n"      \
      "  TMP, TEMP, TMPDIR      the temporary directory without -t (the first one set)\n")                  \
    X(MAIN_HELP_EXIT_STATUS,                                                                                \
      "\nExit status:\n"                                                                                    \
      "  0  everything was exported (or left out by the options)\n"                                         \
      "  1  the run failed (output that could not be written included): the data file is left\n"            \
      "     empty (or, when a source-name could not be read, written without it)\n"                         \
      "  2  the data file was written, but some elements could not be exported; they are listed\n"          \
      "  130, 143  interrupted by SIGINT or SIGTERM: the data file is left empty\n")                        \
    X(MAIN_PROGRESS, "%ld files walked, %ld elements, %ld versions, %.0f versions/s")                       \
    X(MAIN_TOTALS, "Exported %ld elements with %ld versions from %ld files in %.1f s; %ld not exported")    \
    X(MAIN_LEFT_OUT, "Not exported on their own, since what they hold was exported:")                       \
    X(MAIN_LEFT_OUT_ENTRY, "\t%s: %s\n")                                                                 \
    X(MAIN_HELP_OPT_q,                                                                                      \
      "  -q, --quiet     no lines per element: only warnings and errors, the progress line\n"               \
      "                  on a terminal, and the totals and lists at the end\n")                              \
    X(MAIN_HELP_OPT_version, "      --version   print the version line and exit with status 0 (as -Ver)\n") \
    X(MAIN_HELP_OPT_V_version,                                                                              \
      "  -V, --version   print the version line and exit with status 0 (as -Ver)\n")                        \
    X(MAIN_HELP_END_OPTIONS, "  --              ends the options: what follows are source-names\n")           \
    X(MAIN_OPTION_AFTER_SOURCE, "Option \"%s\" follows the source-name \"%s\".")                          \
    X(MAIN_HINT_OPTIONS_FIRST,                                                                              \
      "Options go before the source names (put \"--\" before a source-name that begins with \"-\").")        \
    X(MAIN_REASON, "(%s)")                                                                                  \
    X(MAIN_SYMLINK_NOT_FOLLOWED,                                                                            \
      "\"%s\" is a symbolic link, which is not followed - cannot convert it; -L follows symbolic links.")    \
    X(MAIN_SYMLINK_NOT_EXPORTED, "\"%s\" is a symbolic link - symbolic links are not exported.")             \
    X(MAIN_SYMLINK_BROKEN,                                                                                  \
      "\"%s\" is a symbolic link to nothing (its target does not exist) - cannot convert it.")             \
    X(MAIN_KIND_FIFO, "It is a named pipe (FIFO).")                                                         \
    X(MAIN_KIND_SOCKET, "It is a socket.")                                                                  \
    X(MAIN_KIND_CHAR_DEVICE, "It is a character device.")                                                   \
    X(MAIN_KIND_BLOCK_DEVICE, "It is a block device.")                                                      \
    X(MAIN_PROGRESS_COUNTED, "%s walked, %s, %s, %.0f versions/s")                                          \
    X(MAIN_TOTALS_COUNTED, "Exported %s with %s from %s in %.1f s; %ld not exported")                       \
    X(MAIN_INTERRUPTED_COUNTED,                                                                             \
      "The export of \"%s\" was interrupted at \"%s\" after %s with %s; its temporary record files were "   \
      "removed.")                                                                                           \
    X(MAIN_OPTION_NEEDS_VALUE, "Option \"%s\" needs a value.")                                              \
    X(MAIN_STRICT_WITHOUT_MAP, "--authors-strict needs an author map (--authors FILE or VANTOR_AUTHORS).")   \
    X(MAIN_UNKNOWN_ENCODING,                                                                                \
      "Unknown encoding \"%s\": iconv knows no such name (\"iconv -l\" lists the names it knows).")          \
    X(MAIN_BAD_AUTHOR_MAP, "Cannot use the author map: %s.")                                                \
    X(MAIN_TEXTS_CONVERTED, "%s converted from %s to UTF-8; the original bytes are kept in ORIGINAL_* attributes.") \
    X(MAIN_TEXTS_KEPT_BYTES, "%s kept bytes that do not convert from %s, as they were:")                    \
    X(MAIN_UNMAPPED, "%s not in the author map \"%s\"; their events keep the names the store gives:")       \
    X(MAIN_UNMAPPED_STRICT,                                                                                 \
      "%s not in the author map \"%s\", and --authors-strict asks for every one; no data file was written:") \
    X(MAIN_AUTHORS_LISTED, "%s met in %s; no data file was written (--list-authors).")                      \
    X(MAIN_HELP_OPT_TEXTS,                                                                                  \
      "      --authors FILE    map logins to people: lines \"login = Full Name <mail>\"; the login\n"          \
      "                        stays the event's user, the rest becomes its name\n"                          \
      "      --authors-strict  a login the map lacks fails the run\n"                                       \
      "      --encoding NAME   the store's encoding for texts that are not UTF-8 (latin1, cp1252,\n"         \
      "                        shift_jis, ...): comments and authors become UTF-8, their\n"                  \
      "                        original bytes kept in ORIGINAL_* attributes\n"                               \
      "      --list-authors    print the logins met as an author map to fill in; writes no data file\n")   \
    X(MAIN_HELP_ENV_TEXTS,                                                                                  \
      "  VANTOR_AUTHORS         the author map without --authors\n"                                          \
      "  VANTOR_ENCODING        the store's encoding without --encoding\n")

// The texts about memory (ELEM_CANT_ALLOC_ELEMENT and its kind) keep their
// places; memory exhaustion ends the process instead (runtime/ks.h).
#define EXPORT_ELEM_MESSAGES(X)                                                            \
    X(ELEM_CONVERTING, "Converting element \"%s\" ... \n")                                 \
    X(ELEM_CANT_ALLOC_ELEMENT, "Can't allocate element structure for \"%s\".")             \
    X(ELEM_CANT_OPEN, "Couldn't open element \"%s\".")                                     \
    X(ELEM_CANT_GET_INFO, "Can't get element information for \"%s\".")                     \
    X(ELEM_CANT_ADD_ATTR, "Can't add attribute type list for \"%s\"\n.")                   \
    X(ELEM_CHECKOUTS, "The following checkouts exist:")                                    \
    X(ELEM_CHECKOUT, "\tUser \"%s\", from %s.\n")                                          \
    X(ELEM_CHECKOUT_BAD,                                                                   \
      "String given to export_elem_print_ckout_info does not have a \":\" "                \
      "in it.\nFile must not have been parsed correctly.\n")                               \
    X(ELEM_EXTRACTING, "Extracting element history ...\n")                                 \
    X(ELEM_CANT_ALLOC_VERSION, "Can't allocate cm version info structure.")                \
    X(ELEM_CANT_ALLOC_NODE, "Can't allocate export version info structure.")               \
    X(ELEM_CANT_EXTRACT, "Can't add extract version command to script file.")              \
    X(ELEM_CANT_ALLOC_EXTRACT, "Can't allocate extract cmd buffer for version \"%s\".")    \
    X(ELEM_CANT_ADD_BRANCH, "Can't add branch type \"%s\".")                               \
    X(ELEM_CANT_ADD_LABEL, "Can't add version label list for \"%s\".")                     \
    X(ELEM_PROGRESS, ".")                                                                  \
    X(ELEM_NEWLINE, "\n")                                                                  \
    X(ELEM_COMPLETED, "Completed.\n")                                                      \
    X(ELEM_CONVERTING_ELEMENT, "Converting element ...\n")                                 \
    X(ELEM_CREATING_ELEMENT, "Creating element ...\n")                                     \
    X(ELEM_BAD_STATUS, "Version \"%s\" has bad status.")                                   \
    X(ELEM_ELEMENT_COMPLETED, "Element \"%s\" completed.\n")                               \
    X(ELEM_CANT_ADD_MKELEM, "Can't add mkelem command to script file.")                    \
    X(ELEM_CANT_MAKE_VERSION, "Can't make version \"%s\", element \"%s\".")                \
    X(NAME_TOO_LONG, "Type name was too long!")                                            \
    X(NAME_BAD_CHARS, "type name had bad characters in it.")                               \
    X(NAME_ONLY_NUMBERS, "type name had only numbers in it.")                              \
    X(NAME_TRANSLATION_INVALID, "Translation had invalid characters in it.")               \
    X(NAME_HAD_TO_RENAME, "Had to rename %s type %s to %s\n")                              \
    X(NAME_TRANSLATION_CONFLICT, "Translation is in conflict with another.")               \
    X(NAME_REALLOC, "Could not realloc in %s")                                             \
    X(NAME_READING, "Reading Translation table.")                                          \
    X(NAME_LINE_TOO_LONG, "Line is too long in translation file.  (line %d)\n")            \
    X(NAME_BLANK_LINE, "Blank line in translation file.  (line %d)\n")                     \
    X(NAME_FIRST_TOO_LONG,                                                                 \
      "First field is too long in translation file.  (line %d)\n"                          \
      "Must be less than %d characters.\n")                                                \
    X(NAME_MISSING_FIELD, "Missing field in translation file.  (line %d)\n")               \
    X(NAME_SECOND_TOO_LONG,                                                                \
      "Second field is too long in translation file.  (line %d)\n"                         \
      "Must be less than %d characters.\n")                                                \
    X(NAME_MISSING_NEWLINE, "Missing newline in translation file.  (line %d)\n")           \
    X(NAME_THIRD_TOO_LONG,                                                                 \
      "Third field is too long in translation file.  (line %d)\n"                          \
      "Must be less than %d characters.\n")                                                \
    X(NAME_TRANSLATION, "Translation: %s type %s -> %s.\n")                                \
    X(NAME_TYPES_RENAMED, "Types were renamed.  Please consider using the \"-T\" option.") \
    X(NAME_CHANGED, "%s type \"%s\" changed to \"%s\"\n")                                  \
    X(ELEM_CANT_GET_VERSION, "Can't get the next version of \"%s\".")

#define EXPORT_CMD_MESSAGES(X)                                    \
    X(CMD_WRITE_FAILED, "Could not output string to output file") \
    X(CMD_COMMENT_TROUBLE, "Trouble writing element creation comment.  Comment will be omitted.")

IMSG_DECLARE_LISTED(export_main_msg, EXPORT_MAIN_MESSAGES)
IMSG_DECLARE_LISTED(export_elem_msg, EXPORT_ELEM_MESSAGES)
IMSG_DECLARE_LISTED(export_cmd_msg, EXPORT_CMD_MESSAGES)

const imsg_catalog *export_main_export_msg_table_adr();
const imsg_catalog *export_elem_export_msg_table_adr();
const imsg_catalog *export_cmd_export_msg_table_adr();
