// Texts of the vantor command; the order follows vantor_msg.h.
#include "platform/vantor/vantor_msg.h"

static const char *const texts[] = {
    "Usage: vantor COMMAND [ARGUMENTS]\n"
    "  mkvob -tag TAG [-project] [STORAGE-DIR]     rmvob TAG     lsvob\n"
    "  mkview -tag VIEWTAG [-vob TAG]... DIR       rmview [-force] DIR     update [DIR]\n"
    "  setcs FILE [DIR]                            catcs [DIR]\n"
    "  lsvtree PATH        describe PATH[@@VERSION]        cat PATH[@@VERSION]\n"
    "  mkelem [-dir] [-eltype TYPE] [-ci] [-c COMMENT] PATH...\n"
    "  checkout [-unreserved] [-c COMMENT] PATH...   checkin [-c COMMENT] [-from FILE] PATH\n"
    "  uncheckout PATH...\n"
    "  mkbrtype|mklbtype|mkattype|mkhltype|mkeltype [-c COMMENT] [-vob TAG] NAME...\n"
    "  mkbranch [-c COMMENT] BRTYPE PATH[@@VERSION]\n"
    "  mklabel [-replace] LABEL PATH[@@VERSION]...\n"
    "  mkattr [-element] ATTRTYPE VALUE PATH[@@VERSION]\n"
    "  merge -to PATH[@@VERSION] FROM-VERSION\n"
    "  lock [-obsolete] PATH[@@BRANCH]             unlock PATH[@@BRANCH]\n"
    "  rmver -data PATH@@VERSION\n"
    "  dump --json TAG",
    "Unknown command \"%s\"; \"vantor help\" lists the commands",
    "%s: missing argument: %s",
    "%s: unknown option \"%s\"",
    "%s: unexpected argument \"%s\"",
    "%s: \"%s\" is not inside a snapshot view",
    "Created VOB \"%s\" at \"%s\"",
    "Created view \"%s\" at \"%s\"",
    "Updated view \"%s\": %lld loaded, %lld unchanged, %lld removed, %lld kept",
    "\rLoading view: %lld entries",
    "%s",
    "%s",
    "%s: \"%s\" names no version",
    "%s: \"%s\" names no branch of \"%s\"",
    "%s: only \"-data\" is supported: versions are not removed, only their contents",
    "%s: no VOB given: use -vob TAG, NAME@TAG, or run it inside a VOB of a view",
    "Locked \"%s\"%s",
    "Checked out \"%s\" from version \"%s\"",
    "Checked in \"%s\" version \"%s\"",
    "%s",
};
static_assert(sizeof(texts) / sizeof(texts[0]) == VT_COUNT, "catalog and enum differ");

IMSG_DEFINE_CATALOG(vantor_cmd_vantor_msg_table_adr, "vantor", "vantor_cmd", 2, texts)
