// --authors, --authors-strict, --encoding and --list-authors (see export_texts.h).
#include "export/export_texts.h"

#include <cstdio>
#include <cstdlib>

#include "export/export_run.h"
#include "runtime/strutl.h"

namespace {

const imsg_catalog *cat() { return export_main_cat(); }

// The option's value, else the environment's ("" for none).
std::string option_or_env(const char *value, const char *env) {
    if (value)
        return value;
    const char *e = std::getenv(env);
    return e ? e : "";
}

}   // namespace

int export_open_texts(export_run &r, const export_words &w) {
    export_texts &t = r.texts;
    if (w.missing_value) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_OPTION_NEEDS_VALUE, w.missing_value);
        return 1;
    }
    t.authors_path = option_or_env(w.authors, "VANTOR_AUTHORS");
    t.encoding_name = option_or_env(w.encoding, "VANTOR_ENCODING");
    t.strict = w.authors_strict;
    t.list = w.list_authors;
    if (t.strict && t.authors_path.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_STRICT_WITHOUT_MAP);
        return 1;
    }
    if (!t.encoding_name.empty()) {
        if (textenc_open(t.encoding_name, &t.encoding)) {
            IMSG_PRINT(IMSG_ERROR, cat(), MAIN_UNKNOWN_ENCODING, t.encoding_name.c_str());
            return 1;
        }
        t.opts.encoding = &t.encoding;
    }
    if (!t.authors_path.empty()) {
        std::string why;
        if (authormap_read(t.authors_path, &t.map, &why)) {
            IMSG_PRINT(IMSG_ERROR, cat(), MAIN_BAD_AUTHOR_MAP, why.c_str());
            return 1;
        }
        t.opts.authors = &t.map;
    }
    if (t.opts.authors || t.opts.encoding || t.list)
        export_set_texts(&t.opts, &t.tally);
    return 0;
}

int export_report_texts(const export_run &r) {
    const export_texts &t = r.texts;
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
    if (t.strict)
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_UNMAPPED_STRICT, logins.c_str(), t.authors_path.c_str());
    else
        IMSG_PRINT(IMSG_WARNING, cat(), MAIN_UNMAPPED, logins.c_str(), t.authors_path.c_str());
    for (const std::string &line : eventtext_unmapped_lines(t.tally))
        IMSG_PRINT_NONL(IMSG_CONT, cat(), MAIN_LIST_ENTRY, line.c_str());
    return t.strict ? 1 : 0;
}

void export_print_authors(const export_run &r) {
    std::fputs(eventtext_map_template(r.texts.opts, r.texts.tally).c_str(), stdout);
    IMSG_PRINT(IMSG_REPORT, cat(), MAIN_AUTHORS_LISTED,
               strutl_count(long(r.texts.tally.logins.size()), "login", "logins").c_str(),
               strutl_count(r.files_walked, "file", "files").c_str());
}
