#include "platform/fsimport/fsimport_msgs.h"

#include <vector>

#include "platform/fsimport/fsimport_start.h"

namespace {

// The catalog is addressed by position, so the numbered texts are laid out
// in a table with empty texts in the gaps.
std::vector<const char *> fsimport_texts() {
#define FSI_MSG_ENTRY(name, num, text) {num, text},
    static const imsg_numbered entries[] = {FSI_MESSAGES(FSI_MSG_ENTRY)};
#undef FSI_MSG_ENTRY
    return imsg_layout_numbered(entries, sizeof entries / sizeof entries[0]);
}

}   // namespace

const imsg_catalog *fsimport_fsimport_msg_table_adr() {
    static const std::vector<const char *> texts = fsimport_texts();
    static const imsg_catalog cat = {"libvelkfsimport", "fsimport",   1,
                                     int(texts.size()), texts.data(), nullptr};
    return &cat;
}
