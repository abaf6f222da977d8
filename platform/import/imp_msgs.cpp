#include "platform/import/imp_msgs.h"

#include <vector>

#include "platform/import/imp_start.h"

namespace {

// The catalog is addressed by position, so the numbered texts are laid out
// in a table with empty texts in the gaps.
std::vector<const char *> import_texts() {
#define IMP_MSG_ENTRY(name, num, text) {num, text},
    static const imsg_numbered entries[] = {IMP_MESSAGES(IMP_MSG_ENTRY)};
#undef IMP_MSG_ENTRY
    return imsg_layout_numbered(entries, sizeof entries / sizeof entries[0]);
}

}   // namespace

const imsg_catalog *importer_import_msg_table_adr() {
    static const std::vector<const char *> texts = import_texts();
    static const imsg_catalog cat = {"libvelkimport",   "importer",   1,
                                     int(texts.size()), texts.data(), nullptr};
    return &cat;
}
