// Type names: check and repair of branch and label names, the tables of the
// names used and the renames made during a run, and the -T translation file.
//
// Invariants:
//  - every name in the known-name table passed type_name_check unchanged;
//  - every name type_name_check and the clash rule give out is one the store
//    accepts: acceptability is the store's own rule (runtime/typename.h);
//  - a (kind, old) pair may appear more than once in the rename table; the
//    latest entry wins, so a name renamed twice (a translation that had to be
//    repaired again) keeps one final name for the rest of the run;
//  - names are kept whole in memory; only the translation file bounds them, and
//    entries that its reader would refuse are left out of it with a warning.
#include "export/export_names.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "export/export_msgs.h"
#include "runtime/fileutl.h"
#include "runtime/strutl.h"
#include "runtime/typename.h"

#define NAMES_MESSAGES(X)                                                                \
    X(NAMES_BAD_REPLACE_STRING,                                                          \
      "EXPORT_REPLACE_STRING \"%s\" does not make acceptable type names; using \"%s\".") \
    X(NAMES_REPLACE_STRING_CUT,                                                          \
      "EXPORT_REPLACE_STRING is longer than %d characters; using its "                   \
      "first %d.")                                                                       \
    X(NAMES_BAD_REPLACE_CHAR,                                                            \
      "EXPORT_REPLACE_CHAR must begin with a printable ASCII character; using \"%c\".")  \
    X(NAMES_NOT_WRITTEN,                                                                 \
      "%s type \"%s\" -> \"%s\" is not written to the translation file: its "            \
      "names must be less than %d characters.")                                          \
    X(NAMES_WRITE_FAILED, "Could not write the translation file: %s")                    \
    X(NAMES_READ_FAILED, "Could not read the translation file: %s")

IMSG_DECLARE_LISTED(names_msg, NAMES_MESSAGES)
IMSG_DEFINE_LISTED_CATALOG(export_names_export_msg_table_adr, "export_lib", "export_names", 4, NAMES_MESSAGES)

namespace {

enum {
    NAME_MAX_LEN = 240,   // longer names are cut before repair
    FIELD_LIMIT = 80,     // translation-file fields must be shorter
    LINE_LIMIT = 1023,    // translation-file lines must be shorter
    REPLACE_STRING_MAX = 255,
};

struct rename_entry {
    std::string kind, old_name, new_name;
};
struct known_entry {
    std::string kind, name;
};

struct names_state {
    bool settings_read = false;
    char replace_char = '.';
    std::string replace_string = "REPLACED";
    long replace_counter = 1;
    long suffix_counter = 1;
    std::vector<rename_entry> renames;
    std::vector<known_entry> known;
    // Indexes, so that a run of many names stays linear: kind + "\n" + old name
    // to the latest rename; name to the known entries that carry it.
    std::unordered_map<std::string, size_t> rename_index;
    std::unordered_map<std::string, std::vector<size_t>> known_index;
    // Names already translated: once a name has its final form, the tables
    // give it the same form every time, so later versions skip the work.
    std::unordered_map<std::string, std::string> done;
};

names_state &st() {
    static names_state s;
    return s;
}

const imsg_catalog *elem_cat() { return export_elem_export_msg_table_adr(); }

// The replacement of a leading "-" or ".": the replacement character when a
// name may start with it, else "_" (the default "." may not).
char lead_replacement() {
    char c = st().replace_char;
    return (c != '-' && c != '.' && typename_ascii_ok((unsigned char)c)) ? c : '_';
}

void read_settings() {
    names_state &s = st();
    if (s.settings_read)
        return;
    s.settings_read = true;
    const char *rc = std::getenv("EXPORT_REPLACE_CHAR");
    if (rc && *rc) {
        unsigned char c = (unsigned char)rc[0];
        // A byte of a multibyte character would leave broken characters behind.
        if (c > 32 && c < 127)
            s.replace_char = char(c);
        else
            IMSG_PRINT(IMSG_WARNING, export_names_export_msg_table_adr(), NAMES_BAD_REPLACE_CHAR,
                       s.replace_char);
    }
    const char *rs = std::getenv("EXPORT_REPLACE_STRING");
    if (rs) {
        std::string v = rs;
        if (v.size() > REPLACE_STRING_MAX) {
            IMSG_PRINT(IMSG_WARNING, export_names_export_msg_table_adr(), NAMES_REPLACE_STRING_CUT,
                       int(REPLACE_STRING_MAX), int(REPLACE_STRING_MAX));
            v.resize(REPLACE_STRING_MAX);
        }
        // The repair loop ends only when replacement names are acceptable,
        // up to the longest counter.
        if (typename_acceptable(v + "1") && typename_acceptable(v + std::to_string(LONG_MAX)))
            s.replace_string = v;
        else
            IMSG_PRINT(IMSG_WARNING, export_names_export_msg_table_adr(), NAMES_BAD_REPLACE_STRING, v.c_str(),
                       s.replace_string.c_str());
    }
}

// First round of the repair: cut, replace what the type-name rule refuses,
// fix a leading "-" or "." and names that read as numbers.
void repair_first_round(std::string &out, int quiet) {
    names_state &s = st();
    if (out.size() > NAME_MAX_LEN) {
        if (!quiet)
            IMSG_PRINT(IMSG_WARNING, elem_cat(), NAME_TOO_LONG);
        // Cut at a character boundary so no broken character is left.
        out.resize(typename_cut_length(out, NAME_MAX_LEN));
    }
    // One replacement per refused character, one per stray byte: the name
    // keeps its shape and never grows.
    bool replaced = false;
    std::string fixed;
    fixed.reserve(out.size());
    for (size_t i = 0; i < out.size();) {
        typename_char c = typename_char_at(out, i);
        if (c.allowed) {
            fixed.append(out, i, c.len);
        } else {
            fixed += s.replace_char;
            replaced = replaced || c.len == 1;
        }
        i += c.len;
    }
    out = std::move(fixed);
    if (!out.empty() && (out[0] == '-' || out[0] == '.')) {
        out[0] = lead_replacement();
        replaced = true;
    }
    if (replaced && !quiet)
        IMSG_PRINT(IMSG_WARNING, elem_cat(), NAME_BAD_CHARS);
    if (!out.empty() && (out[0] == '-' || out[0] == '.' || (out[0] >= '0' && out[0] <= '9')) &&
        typename_reads_as_number(out)) {
        if (!quiet)
            IMSG_PRINT(IMSG_WARNING, elem_cat(), NAME_ONLY_NUMBERS);
        out += s.replace_char;
    }
}

// base followed by suffix, base cut at a character boundary so that the name
// stays within the store's limit.
std::string with_suffix(const std::string &base, const std::string &suffix) {
    return base.substr(0, typename_cut_length(base, TYPENAME_MAX_BYTES - suffix.size())) + suffix;
}

std::string rename_key(const std::string &kind, const std::string &name) { return kind + '\n' + name; }

const rename_entry *find_rename(const std::string &kind, const std::string &name) {
    names_state &s = st();
    auto it = s.rename_index.find(rename_key(kind, name));
    return it == s.rename_index.end() ? nullptr : &s.renames[it->second];
}

void add_rename(const std::string &kind, const std::string &old_name, const std::string &new_name) {
    names_state &s = st();
    s.renames.push_back({kind, old_name, new_name});
    s.rename_index[rename_key(kind, old_name)] = s.renames.size() - 1;
}

const std::vector<size_t> *known_with_name(const std::string &name) {
    names_state &s = st();
    auto it = s.known_index.find(name);
    return it == s.known_index.end() ? nullptr : &it->second;
}

bool other_kind_has(const std::string &kind, const std::string &name) {
    if (const std::vector<size_t> *ids = known_with_name(name))
        for (size_t i : *ids)
            if (st().known[i].kind != kind)
                return true;
    return false;
}

void add_known(const std::string &kind, const std::string &name) {
    names_state &s = st();
    std::vector<size_t> &ids = s.known_index[name];
    for (size_t i : ids)
        if (s.known[i].kind == kind)
            return;
    s.known.push_back({kind, name});
    ids.push_back(s.known.size() - 1);
}

// One name through the rename table, the repair and the clash rule.
std::string translate_one(const std::string &kind, const std::string &given) {
    names_state &s = st();
    std::string name = given;
    bool translated = false, renamed = false, known = false;
    if (const rename_entry *r = find_rename(kind, given)) {
        name = r->new_name;
        translated = true;
    }
    std::string before_last = name;
    std::string repaired;
    if (!type_name_check(name.c_str(), 0, &repaired)) {
        if (translated)
            IMSG_PRINT(IMSG_WARNING, elem_cat(), NAME_TRANSLATION_INVALID);
        IMSG_PRINT(IMSG_WARNING, elem_cat(), NAME_HAD_TO_RENAME, kind.c_str(), name.c_str(),
                   repaired.c_str());
        before_last = name;
        name = repaired;
        renamed = true;
    }
    // The suffixed name is free of other kinds, so one clash at most.
    if (const std::vector<size_t> *ids = known_with_name(name)) {
        known = !ids->empty();
        if (other_kind_has(kind, name)) {
            if (translated)
                IMSG_PRINT(IMSG_WARNING, elem_cat(), NAME_TRANSLATION_CONFLICT);
            std::string base = name, candidate;
            do {
                candidate = with_suffix(base, "___" + std::to_string(s.suffix_counter++));
            } while (other_kind_has(kind, candidate));
            IMSG_PRINT(IMSG_WARNING, elem_cat(), NAME_HAD_TO_RENAME, kind.c_str(), name.c_str(),
                       candidate.c_str());
            before_last = name;
            name = candidate;
            renamed = true;
        }
    }
    if (renamed) {
        add_rename(kind, before_last, name);
        if (given != before_last)
            add_rename(kind, given, name);
        add_known(kind, name);
    } else if (!known && !translated) {
        add_known(kind, name);
    }
    return name;
}

bool all_digits(const std::string &s) {
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool write_line(FILE *f, const std::string &kind, const std::string &a, const std::string &b) {
    if (kind.size() >= FIELD_LIMIT || a.size() >= FIELD_LIMIT || b.size() >= FIELD_LIMIT ||
        a.find('\n') != std::string::npos || b.find('\n') != std::string::npos ||
        b.find(' ') != std::string::npos || kind.find(' ') != std::string::npos) {
        IMSG_PRINT(IMSG_WARNING, export_names_export_msg_table_adr(), NAMES_NOT_WRITTEN, kind.c_str(),
                   a.c_str(), b.c_str(), int(FIELD_LIMIT));
        return true;
    }
    return std::fprintf(f, "%s %s %s\n", kind.c_str(), a.c_str(), b.c_str()) >= 0;
}

}   // namespace

int type_name_check(const char *name, int quiet, std::string *out) {
    read_settings();
    names_state &s = st();
    *out = name ? name : "";
    int result = 1;
    for (int round = 1; !typename_acceptable(*out); ++round) {
        result = 0;
        if (round == 1) {
            repair_first_round(*out, quiet);
        } else {
            *out = s.replace_string + std::to_string(s.replace_counter++);
        }
    }
    return result;
}

namespace {

std::string translate_cached(const std::string &kind, const std::string &name) {
    names_state &s = st();
    std::string key = rename_key(kind, name);
    auto it = s.done.find(key);
    if (it != s.done.end())
        return it->second;
    std::string result = translate_one(kind, name);
    s.done.emplace(std::move(key), result);
    return result;
}

}   // namespace

void translate_names(const char *kind, std::vector<std::string> &names) {
    std::string k = kind ? kind : "";
    for (std::string &n : names)
        n = translate_cached(k, n);
}

void translate_branch_path(std::string &path) {
    std::string result;
    for (const std::string &comp : strutl_split(path, FILEUTL_SEP)) {
        if (!result.empty())
            result += FILEUTL_SEP;
        if (all_digits(comp)) {
            result += comp;
            break;
        }
        result += translate_cached("branch", comp);
    }
    if (result != path)
        path = result;
}

int read_translation_file(FILE *f) {
    const imsg_catalog *cat = elem_cat();
    IMSG_PRINT(IMSG_NOTICE, cat, NAME_READING);
    names_state &s = st();
    std::string line;
    int lineno = 0;
    for (;;) {
        line.clear();
        int c;
        bool newline = false;
        while ((c = std::getc(f)) != EOF) {
            if (c == '\n') {
                newline = true;
                break;
            }
            line += char(c);
            if (line.size() >= LINE_LIMIT)
                break;
        }
        if (!newline && line.empty() && c == EOF)
            break;
        ++lineno;
        if (line.size() >= LINE_LIMIT) {
            IMSG_PRINT(IMSG_ERROR, cat, NAME_LINE_TOO_LONG, lineno);
            return 1001;
        }
        size_t sp1 = line.find(' ');
        if (sp1 == std::string::npos) {
            IMSG_PRINT(IMSG_ERROR, cat, NAME_BLANK_LINE, lineno);
            return 1001;
        }
        if (sp1 >= FIELD_LIMIT) {
            IMSG_PRINT(IMSG_ERROR, cat, NAME_FIRST_TOO_LONG, lineno, int(FIELD_LIMIT));
            return 1001;
        }
        size_t sp2 = line.rfind(' ');
        if (sp2 == sp1) {
            IMSG_PRINT(IMSG_ERROR, cat, NAME_MISSING_FIELD, lineno);
            return 1001;
        }
        if (sp2 - sp1 - 1 >= FIELD_LIMIT) {
            IMSG_PRINT(IMSG_ERROR, cat, NAME_SECOND_TOO_LONG, lineno, int(FIELD_LIMIT));
            return 1001;
        }
        if (!newline) {
            IMSG_PRINT(IMSG_ERROR, cat, NAME_MISSING_NEWLINE, lineno);
            return 1001;
        }
        if (line.size() - sp2 - 1 >= FIELD_LIMIT) {
            IMSG_PRINT(IMSG_ERROR, cat, NAME_THIRD_TOO_LONG, lineno, int(FIELD_LIMIT));
            return 1001;
        }
        std::string kind = line.substr(0, sp1);
        std::string old_name = line.substr(sp1 + 1, sp2 - sp1 - 1);
        std::string new_name = line.substr(sp2 + 1);
        s.done.clear();
        if (old_name == new_name) {
            add_known(kind, old_name);
        } else {
            IMSG_PRINT(IMSG_NOTICE, cat, NAME_TRANSLATION, kind.c_str(), old_name.c_str(), new_name.c_str());
            add_rename(kind, old_name, new_name);
        }
    }
    if (std::ferror(f)) {
        IMSG_PRINT(IMSG_ERROR, export_names_export_msg_table_adr(), NAMES_READ_FAILED, std::strerror(errno));
        return 1001;
    }
    return 0;
}

int write_translation_file(FILE *f) {
    names_state &s = st();
    bool ok = true;
    for (const known_entry &k : s.known)
        ok = ok && write_line(f, k.kind, k.name, k.name);
    for (const rename_entry &r : s.renames)
        ok = ok && write_line(f, r.kind, r.old_name, r.new_name);
    s.known.clear();
    s.known_index.clear();
    s.done.clear();
    if (!ok || std::fflush(f) != 0 || std::ferror(f)) {
        IMSG_PRINT(IMSG_ERROR, export_names_export_msg_table_adr(), NAMES_WRITE_FAILED, std::strerror(errno));
        return 1001;
    }
    return 0;
}

void report_renames() {
    names_state &s = st();
    if (s.renames.empty())
        return;
    IMSG_PRINT(IMSG_WARNING, elem_cat(), NAME_TYPES_RENAMED);
    for (const rename_entry &r : s.renames)
        IMSG_PRINT(IMSG_WARNING, elem_cat(), NAME_CHANGED, r.kind.c_str(), r.old_name.c_str(),
                   r.new_name.c_str());
}

void reset_type_names() { st() = names_state(); }

char export_replace_char() {
    read_settings();
    return st().replace_char;
}
