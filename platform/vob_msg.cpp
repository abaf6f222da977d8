// Texts of the platform layer's catalog; the order follows vob_msg.h.
#include "platform/vob_msg.h"

#include <cstdarg>

static const char *const texts[] = {
    "VOB \"%s\": database error while %s: %s",
    "Cannot open VOB database \"%s\": %s",
    "\"%s\" is not a VOB database: %s",
    "VOB \"%s\" is busy: another process has been writing to it for more than %d ms; try again later (%s)",
    "VOB \"%s\": no %s with id %lld",
    "VOB \"%s\": bad %s name \"%s\"",
    "VOB \"%s\": %s \"%s\" already exists",
    "VOB \"%s\": no %s named \"%s\"",
    "VOB \"%s\": %s is locked",
    "VOB \"%s\": \"%s\" already exists in directory \"%s\"",
    "VOB \"%s\": no name \"%s\" in directory \"%s\"",
    "VOB \"%s\": \"%s\" is not a directory",
    "VOB \"%s\": element \"%s\" already has branch \"%s\"",
    "VOB \"%s\": element \"%s\" has no version \"%s\"",
    "VOB \"%s\": bad version id \"%s\"",
    "VOB \"%s\": version number %lld is not above the numbers of branch \"%s\" of \"%s\"",
    "VOB \"%s\": label \"%s\" is already on version \"%s\" of \"%s\"",
    "VOB \"%s\": directory versions have no contents",
    "VOB \"%s\": cannot write to the content pool (%s): %s",
    "VOB \"%s\": cannot read contents from the pool (%s): %s",
    "VOB \"%s\": cannot read \"%s\": %s",
    "VOB \"%s\": version \"%s\" of \"%s\" has no contents",
    "VOB \"%s\": branch \"%s\" of \"%s\" is checked out reserved by view \"%s\"",
    "VOB \"%s\": \"%s\" is already checked out to view \"%s\"",
    "VOB \"%s\": a newer version of branch \"%s\" of \"%s\" exists; merge it before checking in",
    "VOB \"%s\": a step of this transaction failed; nothing was committed",
    "VOB \"%s\": %s is not locked",
    "VOB \"%s\": version \"%s\" of \"%s\" has no label \"%s\"",
    "VOB \"%s\": the object has no attribute \"%s\"",
    "Bad VOB tag \"%s\": a tag begins with \"/\", has a name after it and no \"@@\", \"..\" or \"//\"",
    "Cannot make storage \"%s\": it exists and is not an empty directory",
    "Cannot make directory \"%s\": %s",
    "No VOB has tag \"%s\"",
    "VOB tag \"%s\" is already registered (storage \"%s\")",
    "Registry \"%s\": %s",
    "Registry \"%s\" is damaged: %s",
    "No view has tag \"%s\"",
    "View tag \"%s\" is already registered (\"%s\")",
    "No registry region \"%s\"",
    "\"%s\" is not inside a snapshot view",
    "View \"%s\": cannot read its metadata \"%s\": %s",
    "%s, line %d: %s",
    "\"%s\" is not inside a VOB of view \"%s\"",
    "\"%s\" is not an element",
    "View \"%s\": cannot write \"%s\": %s",
    "\"%s\" was changed in the view and is kept as it is; it was not updated",
    "View \"%s\" has %d checkouts; not removed (cancel them first)",
    "\"%s\" is not checked out to view \"%s\"",
    "\"%s\" is in no view and does not begin with a VOB tag",
    "Cannot make view at \"%s\": it exists and is not an empty directory",
    "VOB \"%s\": a merge needs two different versions of one element",
    "VOB \"%s\": %s",
    "VOB \"%s\": the view selects version \"%s\" of \"%s\", which is not the latest of its branch; not checked out",
    "\"%s\" (version \"%s\") has no contents and was not loaded",
};
static_assert(sizeof(texts) / sizeof(texts[0]) == VM_COUNT, "catalog and enum differ");

IMSG_DEFINE_CATALOG(vob_store_vob_msg_table_adr, "vob_lib", "vob_store", 1, texts)

std::string vob_msg(int num, ...)
{
    va_list ap;
    va_start(ap, num);
    const char *fmt = imsg_text(vob_store_vob_msg_table_adr(), num);
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string s;
    if (n > 0) {
        s.resize((size_t)n + 1);
        std::vsnprintf(s.data(), s.size(), fmt, ap);
        s.resize((size_t)n);
    }
    va_end(ap);
    return s;
}
