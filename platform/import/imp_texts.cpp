// The author map and the legacy encoding at import time, for data files
// written without them (see imp_run.h and runtime/eventtext.h).
#include <cstdio>
#include <cstring>

#include "platform/import/imp_msgs.h"
#include "platform/import/imp_run.h"
#include "runtime/strutl.h"

namespace {

const imsg_catalog *cat() { return importer_import_msg_table_adr(); }

void apply(const eventtext_run &t, imp_element *el, eventtext_tally *tally) {
    eventtext_apply(t.opts, {&el->event.user, &el->event.group, &el->event.name, &el->comment, &el->attributes},
                    el->name, tally);
    for (imp_version &v : el->versions)
        eventtext_apply(t.opts, {&v.event.user, &v.event.group, &v.event.name, &v.comment, &v.attributes},
                        el->name + " " + v.version_id, tally);
}

// Every element read from the reader's place on, and the reader put back.
// 0, or 1 after a reported error.
template <typename F> int each_element(imp_run *run, F &&take) {
    imp_reader_mark mark = imp_reader_tell(&run->reader);
    imp_element el;
    imp_error err;
    int rc;
    while ((rc = imp_read_element(&run->reader, &el, &err)) == 1)
        take(&el);
    if (rc < 0)
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_DATAFILE_ERROR, imp_error_text(err).c_str());
    if (imp_reader_seek(&run->reader, mark, &err)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_DATAFILE_ERROR, imp_error_text(err).c_str());
        return 1;
    }
    return rc < 0;
}

void list_entries(const std::vector<std::string> &lines) {
    for (const std::string &line : lines)
        IMSG_PRINT_NONL(IMSG_CONT, cat(), IMP_LIST_ENTRY, line.c_str());
}

}   // namespace

int imp_texts_open(imp_run *run) {
    eventtext_run &t = run->texts;
    const imp_params *p = run->p;
    eventtext_run_names(&t, p->authors, p->encoding);
    if (p->authors_strict && t.authors_path.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_STRICT_WITHOUT_MAP);
        return 1;
    }
    std::string why;
    switch (eventtext_run_open(&t, &why)) {
        case EVENTTEXT_UNKNOWN_ENCODING:
            IMSG_PRINT(IMSG_ERROR, cat(), IMP_UNKNOWN_ENCODING, t.encoding_name.c_str());
            return 1;
        case EVENTTEXT_BAD_MAP:
            IMSG_PRINT(IMSG_ERROR, cat(), IMP_BAD_AUTHOR_MAP, why.c_str());
            return 1;
        case EVENTTEXT_OPENED:
            break;
    }
    return 0;
}

void imp_texts_apply(imp_run *run, imp_element *el) {
    if (run->texts.active())
        apply(run->texts, el, &run->texts.tally);
}

int imp_texts_check(imp_run *run) {
    const eventtext_run &t = run->texts;
    if (!run->p->authors_strict)
        return 0;
    eventtext_tally tally;
    if (each_element(run, [&](imp_element *el) { apply(t, el, &tally); }))
        return 1;
    if (tally.unmapped.empty())
        return 0;
    IMSG_PRINT(IMSG_ERROR, cat(), IMP_UNMAPPED_STRICT,
               strutl_count(long(tally.unmapped.size()), "login is", "logins are").c_str(),
               t.authors_path.c_str());
    list_entries(eventtext_unmapped_lines(tally));
    return 1;
}

int imp_texts_list(imp_run *run) {
    eventtext_tally tally;
    int rc = each_element(run, [&](imp_element *el) { apply(run->texts, el, &tally); });
    std::fputs(eventtext_map_template(run->texts.opts, tally).c_str(), stdout);
    IMSG_PRINT(IMSG_REPORT, cat(), IMP_AUTHORS_LISTED,
               strutl_count(long(tally.logins.size()), "login", "logins").c_str(), run->datafile.c_str());
    return rc;
}

void imp_texts_report(imp_run *run) {
    const eventtext_run &t = run->texts;
    if (t.opts.encoding && t.tally.converted)
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_TEXTS_CONVERTED, strutl_count(t.tally.converted, "text", "texts").c_str(),
                   t.encoding_name.c_str());
    if (!t.tally.kept.empty()) {
        IMSG_PRINT(IMSG_WARNING, cat(), IMP_TEXTS_KEPT_BYTES,
                   strutl_count(long(t.tally.kept.size()), "text", "texts").c_str(), t.encoding_name.c_str());
        list_entries(t.tally.kept);
    }
    if (t.opts.authors && !t.tally.unmapped.empty()) {
        IMSG_PRINT(IMSG_WARNING, cat(), IMP_UNMAPPED,
                   strutl_count(long(t.tally.unmapped.size()), "login is", "logins are").c_str(),
                   t.authors_path.c_str());
        list_entries(eventtext_unmapped_lines(t.tally));
    }
}

int imp_texts_for_present(vob_t *vob, vob_oid obj, const imp_event &ev, const imp_opt_str &comment,
                          const imp_str_list &attrs, imp_str_list *out) {
    static const std::string prefix = "ORIGINAL_", encoding = "ORIGINAL_ENCODING=";
    *out = attrs;
    bool any = false;
    for (const std::string &a : attrs)
        any = any || a.compare(0, prefix.size(), prefix) == 0;
    if (!any)
        return 0;
    vob_event held;
    if (vob_obj_get_event(vob, obj, &held))
        return 1;
    const std::pair<const char *, bool> fields[] = {
        {"ORIGINAL_USER=", ev.user.value_or("") == held.user},
        {"ORIGINAL_GROUP=", ev.group.value_or("") == held.group},
        {"ORIGINAL_NAME=", ev.name.value_or(ev.user.value_or("")) == held.name},
        {"ORIGINAL_COMMENT=", comment.value_or("") == held.comment},
    };
    out->clear();
    bool kept = false;
    for (const std::string &a : attrs) {
        bool drop = false;
        for (const auto &[key, holds] : fields)
            if (a.compare(0, std::strlen(key), key) == 0) {
                drop = !holds;
                kept = kept || holds;
            }
        if (!drop)
            out->push_back(a);
    }
    if (!kept)
        std::erase_if(*out, [](const std::string &a) { return a.compare(0, encoding.size(), encoding) == 0; });
    return 0;
}
