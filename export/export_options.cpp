// The exporters' common command line: the options each kind refuses, the
// type-name arguments of -b and -l, the source-name operands, and the -I, -s
// and -p dates with the notice that tells what will be selected.
#include <cstring>
#include <string>
#include <vector>

#include "export/export_names.h"
#include "export/export_run.h"
#include "runtime/date.h"
#include "runtime/fileutl.h"
#include "runtime/getopt.h"
#include "runtime/strutl.h"

namespace {

const imsg_catalog *cat() { return export_main_cat(); }

// The long options, words the main reads before getopt.
const char *const LONG_OPTIONS[] = {"--quiet",         "--version",  "--help",         "--authors",
                                    "--authors-strict", "--encoding", "--list-authors", nullptr};

// --authors FILE or --authors=FILE (and --encoding): the value, the words
// taken noted; false when the word is not that option.
bool long_value(int argc, char **argv, int *i, const char *option, const char **value, export_words *w) {
    const char *a = argv[*i];
    size_t n = std::strlen(option);
    if (std::strncmp(a, option, n) != 0 || (a[n] != '\0' && a[n] != '='))
        return false;
    w->main_words.push_back(*i);
    if (a[n] == '=') {
        *value = a + n + 1;
    } else if (*i + 1 < argc) {
        w->main_words.push_back(++*i);
        *value = argv[*i];
    } else {
        w->missing_value = option;
    }
    return true;
}

}   // namespace

const char *export_common_options() { return "I:LUT:t:o:rs:b:v:l:p:q"; }

export_words export_scan_words(int argc, char **argv, const char *driver_letters) {
    std::string letters = std::string(export_common_options()) + (driver_letters ? driver_letters : "");
    export_words w;
    int i = 1;
    for (; i < argc; ++i) {
        const char *a = argv[i];
        if (std::strcmp(a, "--") == 0) {
            w.double_dash = i;
            ++i;
            break;
        }
        if (a[0] != '-' || a[1] == '\0')
            break;
        if (a[1] == '-') {
            bool *flag = std::strcmp(a, "--quiet") == 0            ? &w.quiet
                         : std::strcmp(a, "--authors-strict") == 0 ? &w.authors_strict
                         : std::strcmp(a, "--list-authors") == 0   ? &w.list_authors
                                                                   : nullptr;
            if (flag) {
                *flag = true;
                w.main_words.push_back(i);
            } else if (std::strcmp(a, "--version") == 0) {
                w.version_word = true;
            } else if (!long_value(argc, argv, &i, "--authors", &w.authors, &w)) {
                (void)long_value(argc, argv, &i, "--encoding", &w.encoding, &w);
            }
            continue;
        }
        // A V counts only in a word getopt reads whole: "-Ver" is no -V.
        bool v = false, known = true;
        for (const char *p = a + 1; *p; ++p) {
            v = v || *p == 'V';
            known = known && *p != ':' && letters.find(*p) != std::string::npos;
            if (export_option_takes_value(*p)) {
                if (p[1] == '\0' && i + 1 < argc)
                    ++i;   // its value is the next word
                break;
            }
        }
        w.v_letter = w.v_letter || (v && known);
    }
    w.first_operand = i;
    return w;
}

bool export_looks_like_option(const char *word, const std::string &letters) {
    if (word[0] != '-' || word[1] == '\0')
        return false;
    for (const char *const *l = LONG_OPTIONS; *l; ++l)
        if (std::strcmp(word, *l) == 0)
            return true;
    return word[1] != '-' && word[1] != ':' && letters.find(word[1]) != std::string::npos;
}

bool export_option_takes_value(int c) {
    const char *at = c ? std::strchr(export_common_options(), c) : nullptr;
    return at && at[1] == ':';
}

bool export_option_refused(int c, int kind) {
    switch (c) {
        case 'I':
        case 'T':
            return kind == KIND_FFILE;
        case 'L':
        case 'l':
            return kind != KIND_FFILE;
        case 'b':
        case 'v':
            return kind != KIND_FFILE && kind != KIND_SSAFE;
        default:
            return false;
    }
}

namespace {

// -b and -l become type names as they stand: every component of the branch
// path (up to a "=") must pass the check unchanged. Empty arguments pass; they
// only decide whether OntoBranch or LabelAll is written.
bool acceptable_type_arg(const char *arg, bool path) {
    std::vector<std::string> pieces = path ? strutl_split(arg, '/') : std::vector<std::string>{arg};
    for (const std::string &piece : pieces) {
        std::string name = piece.substr(0, piece.find('='));
        std::string repaired;
        if (!name.empty() && !type_name_check(name.c_str(), 1, &repaired))
            return false;
    }
    return true;
}

int convert_date(const char *text, int64_t *out) {
    if (!text)
        return 0;
    if (date_str_to_time(text, out) != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_BAD_DATE, text, date_usage_date_time());
        return 1;
    }
    return 0;
}

}   // namespace

export_stop export_parse_options(export_run &r, int argc, char **argv) {
    std::string optstring = std::string(export_common_options()) + r.g.extra_options;
    bool have_since = false, have_important = false;
    nt_getopt_reset();
    nt_opterr = 1;
    int c;
    while ((c = nt_getopt(argc, argv, optstring.c_str())) != -1) {
        if (c != '?' && c != ':' && std::strchr(export_common_options(), c) == nullptr)
            continue;   // one of the driver's own letters
        if (export_option_refused(c, r.kind)) {
            IMSG_PRINT(IMSG_ERROR, cat(), MAIN_OPT_REFUSED, c);
            return EXPORT_STOP_USAGE;
        }
        switch (c) {
            case 'I':
            case 's':
                if ((c == 'I' && have_since) || (c == 's' && have_important)) {
                    IMSG_PRINT(IMSG_ERROR, cat(), MAIN_S_AND_I);
                    return EXPORT_STOP_USAGE;
                }
                (c == 'I' ? have_important : have_since) = true;
                (c == 'I' ? r.date_important : r.date_since) = nt_optarg;
                break;
            case 'p':
                r.date_prior = nt_optarg;
                break;
            case 'L':
                r.st.follow_links = 1;
                break;
            case 'r':
                r.st.recursive = 1;
                break;
            case 'q':
                r.quiet = true;
                break;
            case 'o':
                r.st.output_name = nt_optarg;
                break;
            case 't':
                r.temp_dir = nt_optarg;
                break;
            case 'T':
                r.translation_file = nt_optarg;
                break;
            case 'v':
                r.st.onto_brvid = nt_optarg;
                break;
            case 'b':
            case 'l':
                if (!acceptable_type_arg(nt_optarg, c == 'b')) {
                    IMSG_PRINT(IMSG_ERROR, cat(), MAIN_BAD_TYPE_NAME, nt_optarg);
                    return EXPORT_STOP;
                }
                if (c == 'b') {
                    r.st.onto_branch = nt_optarg;
                    name_list_add(r.st.branch_types, nt_optarg, NAME_SPLIT_PATH);
                } else {
                    r.st.label_all = nt_optarg;
                    name_list_add(r.st.label_types, nt_optarg, NAME_WHOLE);
                }
                break;
            default:   // -U, an unknown letter, a missing argument
                return EXPORT_STOP_USAGE;
        }
    }
    // An option after a source-name is read as one more source-name (getopt
    // stops at the first): when no file has that name, it was meant as an
    // option. After "--" every word is a source-name.
    bool bad = false, misplaced = false;
    bool names_only = r.double_dash;
    for (int i = nt_optind; i < argc; ++i) {
        if (!names_only && i > nt_optind && std::strcmp(argv[i], "--") == 0) {
            names_only = true;   // "--" after a source-name: the rest are names too
            continue;
        }
        if (!names_only && i > nt_optind && export_looks_like_option(argv[i], optstring) &&
            !fileutl_exists(argv[i])) {
            IMSG_PRINT(IMSG_ERROR, cat(), MAIN_OPTION_AFTER_SOURCE, argv[i], argv[nt_optind]);
            bad = misplaced = true;
        } else if (std::strchr(argv[i], '/') || std::strcmp(argv[i], "..") == 0) {
            IMSG_PRINT(IMSG_ERROR, cat(), MAIN_BAD_OPERAND, argv[i]);
            bad = true;
        }
        r.operands.push_back(argv[i]);
    }
    if (misplaced)
        IMSG_PRINT(IMSG_CONT, cat(), MAIN_HINT_OPTIONS_FIRST);
    if (bad)
        return EXPORT_STOP_USAGE;
    if (r.kind == KIND_CVS_ATTIC) {
        if (!r.st.recursive) {
            IMSG_PRINT(IMSG_ERROR, cat(), MAIN_A_WITHOUT_R);
            return EXPORT_STOP_USAGE;
        }
        r.kind = KIND_CVS;
    }
    return EXPORT_GO_ON;
}

int export_convert_dates(export_run &r) {
    export_selection &sel = r.st.sel;
    if (convert_date(r.date_important, &sel.important_until))
        return 1;
    if (r.date_important)
        IMSG_PRINT(IMSG_WARNING, cat(), MAIN_IMPORTANT_UNTIL, r.date_important);
    if (convert_date(r.date_since, &sel.since) || convert_date(r.date_prior, &sel.prior))
        return 1;
    if (r.date_since && r.date_prior && !(sel.since < sel.prior)) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_SINCE_AFTER_PRIOR);
        return 1;
    }
    if (r.date_since && r.date_prior)
        IMSG_PRINT(IMSG_WARNING, cat(), MAIN_BETWEEN, r.date_since, r.date_prior);
    else if (r.date_since)
        IMSG_PRINT(IMSG_WARNING, cat(), MAIN_SINCE, r.date_since);
    else if (r.date_prior)
        IMSG_PRINT(IMSG_WARNING, cat(), MAIN_PRIOR, r.date_prior);
    return 0;
}
