#include "platform/import/imp_msgs.h"

#include <vector>

#include "platform/import/imp_start.h"

namespace {

// The catalog is addressed by position, so the numbered texts are laid out
// in a table with empty texts in the gaps.
std::vector<const char *> import_texts() {
    struct entry {
        int num;
        const char *text;
    };
#define IMP_MSG_ENTRY(name, num, text) {num, text},
    static const entry entries[] = {IMP_MESSAGES(IMP_MSG_ENTRY)};
#undef IMP_MSG_ENTRY
    int top = 0;
    for (const entry &e : entries)
        top = e.num > top ? e.num : top;
    std::vector<const char *> texts(size_t(top) + 1, "");
    for (const entry &e : entries)
        texts[size_t(e.num)] = e.text;
    return texts;
}

}   // namespace

const imsg_catalog *importer_import_msg_table_adr() {
    static const std::vector<const char *> texts = import_texts();
    static const imsg_catalog cat = {"libvelkimport",   "importer",   1,
                                     int(texts.size()), texts.data(), nullptr};
    return &cat;
}
