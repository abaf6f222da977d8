// The vantor command's message catalog (module "vantor_cmd").
#pragma once

#include "runtime/imsg.h"

const imsg_catalog *vantor_cmd_vantor_msg_table_adr();

#define VANTOR_MESSAGES(X)                                                                            \
    X(VT_USAGE,                                                                                       \
      "Usage: vantor COMMAND [ARGUMENTS]\n"                                                           \
      "  mkvob -tag TAG [-project] [STORAGE-DIR]     rmvob TAG     lsvob\n"                           \
      "  mkview -tag VIEWTAG [-vob TAG]... DIR       rmview [-force] DIR     update [DIR]\n"          \
      "  setcs FILE [DIR]                            catcs [DIR]\n"                                   \
      "  lsvtree PATH        describe PATH[@@VERSION]        cat PATH[@@VERSION]\n"                   \
      "  mkelem [-dir] [-eltype TYPE] [-ci] [-c COMMENT] PATH...\n"                                   \
      "  checkout [-unreserved] [-c COMMENT] PATH...   checkin [-c COMMENT] [-from FILE] PATH\n"      \
      "  uncheckout PATH...\n"                                                                        \
      "  mkbrtype|mklbtype|mkattype|mkhltype|mkeltype [-c COMMENT] [-vob TAG] NAME...\n"              \
      "  mkbranch [-c COMMENT] BRTYPE PATH[@@VERSION]\n"                                              \
      "  mklabel [-replace] LABEL PATH[@@VERSION]...\n"                                               \
      "  mkattr [-element] ATTRTYPE VALUE PATH[@@VERSION]\n"                                          \
      "  merge -to PATH[@@VERSION] FROM-VERSION\n"                                                    \
      "  lock [-obsolete] PATH[@@BRANCH]             unlock PATH[@@BRANCH]\n"                         \
      "  rmver -data PATH@@VERSION\n"                                                                 \
      "  dump --json TAG")                                                                            \
    X(VT_UNKNOWN_CMD, "Unknown command \"%s\"; \"vantor help\" lists the commands")                   \
    X(VT_MISSING_ARG, "%s: missing argument: %s")                                                     \
    X(VT_BAD_OPTION, "%s: unknown option \"%s\"")                                                     \
    X(VT_EXTRA_ARG, "%s: unexpected argument \"%s\"")                                                 \
    X(VT_NEED_VIEW, "%s: \"%s\" is not inside a snapshot view")                                       \
    X(VT_CREATED_VOB, "Created VOB \"%s\" at \"%s\"")                                                 \
    X(VT_CREATED_VIEW, "Created view \"%s\" at \"%s\"")                                               \
    X(VT_UPDATED, "Updated view \"%s\": %lld loaded, %lld unchanged, %lld removed, %lld kept")        \
    X(VT_PROGRESS, "\rLoading view: %lld entries")                                                    \
    X(VT_WARN_TEXT, "%s")                                                                             \
    X(VT_ERR_TEXT, "%s")                                                                              \
    X(VT_NOT_VERSION, "%s: \"%s\" names no version")                                                  \
    X(VT_NOT_BRANCH, "%s: \"%s\" names no branch of \"%s\"")                                          \
    X(VT_NEED_DATA, "%s: only \"-data\" is supported: versions are not removed, only their contents") \
    X(VT_NEED_TAG, "%s: no VOB given: use -vob TAG, NAME@TAG, or run it inside a VOB of a view")      \
    X(VT_LOCKED, "Locked \"%s\"%s")                                                                   \
    X(VT_CKED_OUT, "Checked out \"%s\" from version \"%s\"")                                          \
    X(VT_CKED_IN, "Checked in \"%s\" version \"%s\"")                                                 \
    X(VT_DONE, "%s")

#define VANTOR_MESSAGES_ENUM(name, text) name,
enum vantor_msg { VANTOR_MESSAGES(VANTOR_MESSAGES_ENUM) VT_COUNT };
#undef VANTOR_MESSAGES_ENUM
VANTOR_MESSAGES(IMSG_FORMAT)