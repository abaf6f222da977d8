// --authors, --authors-strict, --encoding and --list-authors (see export_texts.h).
#include "export/export_texts.h"

#include <cstdio>

#include "export/export_run.h"
#include "runtime/strutl.h"

namespace {

const imsg_catalog *cat() { return export_main_cat(); }

}   // namespace

int export_open_texts(export_run &r, const export_words &w) {
    export_texts &x = r.texts;
    eventtext_run &t = x.run;
    if (w.missing_value) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_OPTION_NEEDS_VALUE, w.missing_value);
        return 1;
    }
    eventtext_run_names(&t, w.authors, w.encoding);
    x.strict = w.authors_strict;
    x.list = w.list_authors;
    if (x.strict && t.authors_path.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_STRICT_WITHOUT_MAP);
        return 1;
    }
    std::string why;
    switch (eventtext_run_open(&t, &why)) {
        case EVENTTEXT_UNKNOWN_ENCODING:
            IMSG_PRINT(IMSG_ERROR, cat(), MAIN_UNKNOWN_ENCODING, t.encoding_name.c_str());
            return 1;
        case EVENTTEXT_BAD_MAP:
            IMSG_PRINT(IMSG_ERROR, cat(), MAIN_BAD_AUTHOR_MAP, why.c_str());
            return 1;
        case EVENTTEXT_OPENED:
            break;
    }
    if (t.active() || x.list)
        export_set_texts(&t.opts, &t.tally);
    return 0;
}

int export_report_texts(const export_run &r) {
    const eventtext_run &t = r.texts.run;
    if (t.opts.encoding && t.tally.converted)
        IMSG_PRINT(IMSG_REPORT, cat(), MAIN_TEXTS_CONVERTED, strutl_count(t.tally.converted, "text", "texts").c_str(),
                   t.encoding_name.c_str());
    if (!t.tally.kept.empty()) {
        IMSG_PRINT(IMSG_WARNING, cat(), MAIN_TEXTS_KEPT_BYTES,
                   strutl_count(long(t.tally.kept.size()), "text", "texts").c_str(), t.encoding_name.c_str());
        for (const std::string &k : t.tally.kept)
            IMSG_PRINT_NONL(IMSG_CONT, cat(), MAIN_LIST_ENTRY, k.c_str());
    }
    if (!t.opts.authors || t.tally.unmapped.empty())
        return 0;
    std::string logins = strutl_count(long(t.tally.unmapped.size()), "login is", "logins are");
    if (r.texts.strict)
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_UNMAPPED_STRICT, logins.c_str(), t.authors_path.c_str());
    else
        IMSG_PRINT(IMSG_WARNING, cat(), MAIN_UNMAPPED, logins.c_str(), t.authors_path.c_str());
    for (const std::string &line : eventtext_unmapped_lines(t.tally))
        IMSG_PRINT_NONL(IMSG_CONT, cat(), MAIN_LIST_ENTRY, line.c_str());
    return r.texts.strict ? 1 : 0;
}

void export_print_authors(const export_run &r) {
    const eventtext_run &t = r.texts.run;
    std::fputs(eventtext_map_template(t.opts, t.tally).c_str(), stdout);
    IMSG_PRINT(IMSG_REPORT, cat(), MAIN_AUTHORS_LISTED, strutl_count(long(t.tally.logins.size()), "login", "logins").c_str(),
               strutl_count(r.files_walked, "file", "files").c_str());
}
