#include "platform/fsimport/fsimport_msgs.h"

#include <vector>

#include "platform/fsimport/fsimport_start.h"

namespace {

// The catalog is addressed by position: numbered texts with empty ones in the gaps.
std::vector<const char *> fsimport_texts() {
    struct entry {
        int num;
        const char *text;
    };
#define FSI_MSG_ENTRY(name, num, text) {num, text},
    static const entry entries[] = {FSI_MESSAGES(FSI_MSG_ENTRY)};
#undef FSI_MSG_ENTRY
    int top = 0;
    for (const entry &e : entries)
        top = e.num > top ? e.num : top;
    std::vector<const char *> texts(size_t(top) + 1, "");
    for (const entry &e : entries)
        texts[size_t(e.num)] = e.text;
    return texts;
}

}   // namespace

const imsg_catalog *fsimport_fsimport_msg_table_adr() {
    static const std::vector<const char *> texts = fsimport_texts();
    static const imsg_catalog cat = {"libvelkfsimport", "fsimport",   1,
                                     int(texts.size()), texts.data(), nullptr};
    return &cat;
}
