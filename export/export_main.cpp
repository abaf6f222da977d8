// The exporter main: start-up, the common command line, the walk of the
// sources, the element handling, and the assembly of the data file from its
// header and the two temporary files of directory and element records.
//
// Invariants: the output file exists (empty) from the moment it is reserved,
// so a failed run stops the next one until it is moved; the element file only
// ever holds whole element records (a failed element is cut back off it); the
// exit status is 1 exactly when something that was asked for is missing from
// the data file for a reason other than a per-element failure, which is listed.
#include <cerrno>
#include <cinttypes>
#include <clocale>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "export/cm_driver.h"
#include "export/export_cmd.h"
#include "export/export_elem.h"
#include "export/export_msgs.h"
#include "export/export_names.h"
#include "runtime/date.h"
#include "runtime/fileutl.h"
#include "runtime/getopt.h"
#include "runtime/hash.h"
#include "runtime/version.h"

namespace {

const char *const COMMON_OPTIONS = "I:LUT:t:o:rs:b:v:l:p:";

struct export_state {
    int recursive = 0;
    int follow_links = 1;
    export_selection sel;
    std::string output_name = "cvt_data";
    const char *onto_branch = nullptr;
    const char *label_all = nullptr;
    const char *onto_brvid = nullptr;
    FILE *dir_file = nullptr;
    FILE *element_file = nullptr;
    name_list attr_types, branch_types, element_types, label_types;
    long num_elements = 0;
    long num_versions = 0;
    off_t element_file_size = 0;   // whole element records only
};

struct export_run {
    export_state st;
    const cm_driver *drv = nullptr;
    const cm_fs_ops *fs_ops = nullptr;
    cm_globals g{};
    int kind = 1;
    std::string program;
    std::string output_prefix;      // the output name as walked paths spell it
    std::string temp_dir;           // -t
    const char *translation_file = nullptr;
    const char *date_important = nullptr, *date_since = nullptr, *date_prior = nullptr;
    std::vector<std::string> operands;
    std::string dir_tmp, element_tmp;
    std::vector<char> element_buf;   // outlives the element file it buffers
    hash_table *failures = nullptr;
    bool init_ok = false;
    bool shutdown_done = false;
    int error_flag = 0;
};

const imsg_catalog *cat() { return export_main_export_msg_table_adr(); }

void report_errno(const char *what, int err) {
    imsg_printf(IMSG_ERROR, "%s: %s", what, imsg_strerror(err));
}

void add_failure(export_run &r, const std::string &path) {
    int already = 0;
    hash_str_enter(r.failures, path.c_str(), nullptr, &already);
}

void shutdown_driver(export_run &r) {
    if (!r.init_ok || r.shutdown_done)
        return;
    r.shutdown_done = true;
    if (r.drv->shutdown() != 0)
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_SHUTDOWN_FAILED);
}

void close_file(FILE *&f) {
    if (f)
        std::fclose(f);
    f = nullptr;
}

void remove_temp_files(export_run &r) {
    close_file(r.st.dir_file);
    close_file(r.st.element_file);
    if (!r.dir_tmp.empty())
        fileutl_rm(r.dir_tmp.c_str());
    if (!r.element_tmp.empty())
        fileutl_rm(r.element_tmp.c_str());
    r.dir_tmp.clear();
    r.element_tmp.clear();
}

// Every stop with status 1 after start-up goes through here.
int fatal(export_run &r) {
    remove_temp_files(r);
    if (r.failures)
        hash_delete_ht(r.failures);
    r.failures = nullptr;
    shutdown_driver(r);
    return 1;
}

int usage_fatal(export_run &r) {
    r.drv->usage(r.program.c_str());
    return fatal(r);
}

// ---- command line ----------------------------------------------------------

bool refused(int c, int kind) {
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

// -b and -l become type names as they stand: every component of the branch
// path (up to a "=") must pass the check unchanged. Empty arguments pass; they
// only decide whether OntoBranch or LabelAll is written.
bool acceptable_type_arg(const char *arg, bool path) {
    std::string s = arg;
    size_t start = 0;
    while (start < s.size()) {
        size_t end = path ? s.find('/', start) : std::string::npos;
        if (end == std::string::npos)
            end = s.size();
        std::string piece = s.substr(start, end - start);
        piece = piece.substr(0, piece.find('='));
        std::string repaired;
        if (!piece.empty() && !type_name_check(piece.c_str(), 1, &repaired))
            return false;
        start = end + 1;
    }
    return true;
}

int parse_options(export_run &r, int argc, char **argv) {
    std::string optstring = std::string(COMMON_OPTIONS) + r.g.extra_options;
    bool have_since = false, have_important = false;
    nt_getopt_reset();
    nt_opterr = 1;
    int c;
    while ((c = nt_getopt(argc, argv, optstring.c_str())) != -1) {
        if (c != '?' && c != ':' && std::strchr(COMMON_OPTIONS, c) == nullptr)
            continue;   // one of the driver's own letters
        if (refused(c, r.kind)) {
            IMSG_PRINT(IMSG_ERROR, cat(), MAIN_OPT_REFUSED, c);
            return usage_fatal(r);
        }
        switch (c) {
        case 'I':
        case 's':
            if ((c == 'I' && have_since) || (c == 's' && have_important)) {
                IMSG_PRINT(IMSG_ERROR, cat(), MAIN_S_AND_I);
                return usage_fatal(r);
            }
            (c == 'I' ? have_important : have_since) = true;
            (c == 'I' ? r.date_important : r.date_since) = nt_optarg;
            break;
        case 'p': r.date_prior = nt_optarg; break;
        case 'L': r.st.follow_links = 1; break;
        case 'r': r.st.recursive = 1; break;
        case 'o': r.st.output_name = nt_optarg; break;
        case 't': r.temp_dir = nt_optarg; break;
        case 'T': r.translation_file = nt_optarg; break;
        case 'v': r.st.onto_brvid = nt_optarg; break;
        case 'b':
        case 'l':
            if (!acceptable_type_arg(nt_optarg, c == 'b')) {
                IMSG_PRINT(IMSG_ERROR, cat(), MAIN_BAD_TYPE_NAME, nt_optarg);
                return fatal(r);
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
            return usage_fatal(r);
        }
    }
    bool bad = false;
    for (int i = nt_optind; i < argc; ++i) {
        if (std::strchr(argv[i], '/') || std::strcmp(argv[i], "..") == 0) {
            IMSG_PRINT(IMSG_ERROR, cat(), MAIN_BAD_OPERAND, argv[i]);
            bad = true;
        }
        r.operands.push_back(argv[i]);
    }
    return bad ? usage_fatal(r) : 0;
}

int convert_date(export_run &r, const char *text, int64_t *out) {
    if (!text)
        return 0;
    if (date_str_to_time(text, out) != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_BAD_DATE, text, date_usage_date_time());
        return fatal(r);
    }
    return 0;
}

int convert_dates(export_run &r) {
    export_selection &sel = r.st.sel;
    if (convert_date(r, r.date_important, &sel.important_until))
        return 1;
    if (r.date_important)
        IMSG_PRINT(IMSG_WARNING, cat(), MAIN_IMPORTANT_UNTIL, r.date_important);
    if (convert_date(r, r.date_since, &sel.since) || convert_date(r, r.date_prior, &sel.prior))
        return 1;
    if (r.date_since && r.date_prior && !(sel.since < sel.prior)) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_SINCE_AFTER_PRIOR);
        return fatal(r);
    }
    if (r.date_since && r.date_prior)
        IMSG_PRINT(IMSG_WARNING, cat(), MAIN_BETWEEN, r.date_since, r.date_prior);
    else if (r.date_since)
        IMSG_PRINT(IMSG_WARNING, cat(), MAIN_SINCE, r.date_since);
    else if (r.date_prior)
        IMSG_PRINT(IMSG_WARNING, cat(), MAIN_PRIOR, r.date_prior);
    return 0;
}

// ---- files of the run --------------------------------------------------------

int reserve_output(export_run &r) {
    const char *name = r.st.output_name.c_str();
    if (fileutl_exists(name)) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_OUTPUT_EXISTS, name);
        return fatal(r);
    }
    FILE *f = std::fopen(name, "w+b");
    if (!f) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_OUTPUT, name);
        return fatal(r);
    }
    std::fclose(f);
    return 0;
}

int make_temp_files(export_run &r) {
    const char *dir = r.temp_dir.empty() ? nullptr : r.temp_dir.c_str();
    for (std::string *path : {&r.dir_tmp, &r.element_tmp}) {
        int err = fileutl_tmpfile_ext(dir, 0, 0, path);
        if (err != 0) {
            path->clear();
            IMSG_PRINT_SHARED(IMSG_ERROR, "export/export_main", _tbs_cmsg_tbs_msg_table_adr(),
                              TBS_MSG_TMPFILE, imsg_strerror(err));
            return fatal(r);
        }
    }
    return 0;
}

// Opens the translation file; a failure is reported with the system's reason.
FILE *open_translation(const char *name, const char *mode) {
    FILE *f = std::fopen(name, mode);
    if (!f) {
        int err = errno;
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_OUTPUT, name);
        report_errno(name, err);
    }
    return f;
}

// Read at start when it exists, else created (owner read and write) so that
// the run's decisions can be written back at the end.
int open_translation_file(export_run &r) {
    const char *name = r.translation_file;
    if (!name)
        return 0;
    bool existed = fileutl_exists(name);
    FILE *f = open_translation(name, existed ? "rb" : "wb");
    if (!f)
        return fatal(r);
    int rc = existed ? read_translation_file(f) : 0;
    std::fclose(f);
    if (rc != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_OUTPUT, name);
        return fatal(r);
    }
    if (!existed)
        chmod(name, S_IRUSR | S_IWUSR);
    return 0;
}

int open_temp_files(export_run &r) {
    r.st.dir_file = std::fopen(r.dir_tmp.c_str(), "w+b");
    if (!r.st.dir_file) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_OUTPUT, r.dir_tmp.c_str());
        return fatal(r);
    }
    r.st.element_file = std::fopen(r.element_tmp.c_str(), "w+b");
    if (!r.st.element_file) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_OUTPUT, r.element_tmp.c_str());
        return fatal(r);
    }
    // Long histories make a large element file: write it in big pieces.
    // (glibc ignores the size unless it is given the buffer too.)
    r.element_buf.resize(1 << 18);
    std::setvbuf(r.st.element_file, r.element_buf.data(), _IOFBF, r.element_buf.size());
    return 0;
}

// Buffered write errors only show when the file is flushed: a temporary file
// that could not be written whole fails the run rather than a silent gap.
int close_checked(FILE *&f, const std::string &name) {
    bool ok = std::fflush(f) == 0 && !std::ferror(f);
    int err = errno;
    ok = std::fclose(f) == 0 && ok;
    f = nullptr;
    if (!ok)
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_WRITE_OUTPUT, name.c_str(), imsg_strerror(err));
    return ok ? 0 : 1;
}

// ---- the walk ------------------------------------------------------------------

int directory_handling(export_run &r, const std::string &name) {
    if (write_directory(r.st.dir_file, name) != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_CREATE_DIR, name.c_str());
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_WRITE_DIR);
        return -4;
    }
    IMSG_PRINT_NONL(IMSG_NOTICE, cat(), MAIN_DIR_ELEMENT, name.c_str());
    return 0;
}

// A failed element must not leave half a record behind: the data file would
// not parse although the run reports success.
void cut_back(FILE *f, off_t pos) {
    std::fflush(f);
    if (ftruncate(fileno(f), pos) == 0)
        fseeko(f, pos, SEEK_SET);
}

int file_handling(export_run &r, const std::string &rel) {
    export_element e;
    int rc = export_element_history(r.drv, rel.c_str(), &e);
    if (rc == CM_FAILED) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_NO_ELEMENT_INFO);
        release_element(e);
        return 1;
    }
    if (rc != 0) {
        // 1003: exported under another name. Anything else: the driver could not
        // hand the element out; it counts, and is listed as not exported.
        if (rc != CM_NOT_EXPORTED)
            r.st.num_elements++;
        release_element(e);
        return 1;
    }
    r.st.num_elements++;
    for (const export_version_info &n : e.versions)
        if (n.is_version)
            r.st.num_versions++;
    FILE *f = r.st.element_file;
    uint64_t before = export_cmd_bytes_written();
    if (write_selected_versions(e, f, r.st.sel) != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OUTPUT_VERSIONS);
        cut_back(f, r.st.element_file_size);
        release_element(e);
        return 1;
    }
    uint64_t written = export_cmd_bytes_written() - before;
    r.st.element_file_size += off_t(written);
    if (written != 0) {
        name_list_merge(r.st.attr_types, e.attr_types);
        name_list_merge(r.st.branch_types, e.branch_types);
        name_list_merge(r.st.label_types, e.label_types);
        if (e.info.type_name)
            name_list_add(r.st.element_types, *e.info.type_name, NAME_WHOLE);
    }
    release_element(e);
    return 0;
}

// Characters that a shell still interprets inside double quotes, or that end
// a line: the extract commands quote names that way.
char unsafe_char(const std::string &name) {
    for (char c : name)
        if (std::strchr("'\"$`\\\n\r", c))
            return c;
    return 0;
}

std::string strip_dot_slash(const char *path) {
    while (path[0] == '.' && path[1] == '/')
        path += 2;
    return path;
}

int walk_callback(void *ctx, const char *path, const char *, const char *, const char *,
                  const fileutl_stat_t *st, int, int visit) {
    export_run &r = *static_cast<export_run *>(ctx);
    if (visit == FILEUTL_VISIT_DIR)
        return 0;   // a directory is handled when the walk asks to descend into it
    if (visit == FILEUTL_VISIT_DESCEND && !r.st.recursive)
        return 1;
    if (std::strcmp(path, ".") == 0)
        return 0;
    std::string rel = strip_dot_slash(path);
    if (!r.output_prefix.empty() && rel.compare(0, r.output_prefix.size(), r.output_prefix) == 0) {
        if (rel == r.output_prefix)
            return 1;   // the data file itself
        IMSG_PRINT(IMSG_WARNING, cat(), MAIN_OUTPUT_PREFIX_SKIP, rel.c_str(), r.st.output_name.c_str());
        return 1;
    }
    int convert = 0, prune = 0;
    std::string name;
    if (r.drv->map_name(rel.c_str(), r.st.recursive, &convert, &prune, &name) != 0) {
        if (!r.st.recursive)
            IMSG_PRINT(IMSG_WARNING, cat(), MAIN_NOT_RESOLVED, rel.c_str());
        return 1;
    }
    if (!convert)
        return prune ? 1 : 0;
    if (char bad = unsafe_char(name)) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_BAD_CHARS, name.c_str(), bad);
        add_failure(r, rel);
        return 1;
    }
    if (name.size() > FILEUTL_MAX_PATH || rel.size() > FILEUTL_MAX_PATH) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_NAME_TOO_LONG, rel.c_str(), int(FILEUTL_MAX_PATH));
        add_failure(r, rel);
        return 1;
    }
    int rc;
    if (st->nlink > 0 && S_ISDIR(st->mode)) {
        rc = directory_handling(r, name);
    } else if (S_ISREG(st->mode)) {
        rc = file_handling(r, rel);
    } else {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_NOT_A_FILE, rel.c_str());
        add_failure(r, rel);
        return 1;
    }
    if (rc == 1 || rc == -4)
        add_failure(r, rel);
    return rc;
}

int stat_path(export_run &r, const char *path, fileutl_stat_t *st) {
    if (r.fs_ops)
        return r.fs_ops->stat(path, r.st.follow_links, st);
    return fileutl_stat(path, r.st.follow_links, st);
}

int walk(export_run &r, const char *dir, const fileutl_walk_desc &desc, int flags) {
    if (r.fs_ops)
        return fileutl_walk_tree_any(dir, &desc, r.fs_ops, flags);
    return fileutl_walk_tree(dir, &desc, flags);
}

void walk_operands(export_run &r, const fileutl_walk_desc &desc, int flags) {
    if (r.operands.empty()) {
        if (walk(r, ".", desc, flags) == -4)
            r.error_flag = 1;
        return;
    }
    for (const std::string &op : r.operands) {
        fileutl_stat_t st{};
        if (stat_path(r, op.c_str(), &st) != 0) {
            report_errno(op.c_str(), errno);
            r.error_flag = 1;
            continue;
        }
        std::vector<char> buf(FILEUTL_MAX_PATH + 1);
        std::string path = op;
        if (!r.fs_ops && fileutl_get_true_pname(op.c_str(), buf.size(), buf.data()) == 0)
            path = buf.data();
        std::string dir, leaf;
        fileutl_strip_leaf(path, &dir, &leaf);
        const char *dir_arg = dir.empty() ? "." : dir.c_str();
        int rc = S_ISDIR(st.mode) ? walk(r, path.c_str(), desc, flags)
                                  : walk_callback(&r, path.c_str(), path.c_str(), dir_arg,
                                                  leaf.c_str(), &st, 0, FILEUTL_VISIT_FILE);
        if (rc == -4)
            r.error_flag = 1;
    }
}

// ---- assembly ---------------------------------------------------------------------

// Copies in the kernel where it can (no trip of the bytes through user
// space), else through a buffer.
bool copy_fd(int in, int out) {
    for (;;) {
        ssize_t n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n == 0)
            return true;
        if (n < 0)
            break;
    }
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    std::vector<char> buf(1 << 16);
    for (;;) {
        ssize_t n = read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buf.data() + done, size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += w;
        }
    }
}

int append_file(FILE *out, const std::string &path) {
    FILE *in = std::fopen(path.c_str(), "rb");
    if (!in) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_FILE, path.c_str());
        return 1;
    }
    bool ok = std::fflush(out) == 0 && copy_fd(fileno(in), fileno(out));
    std::fclose(in);
    if (!ok)
        IMSG_PRINT(IMSG_WARNING, export_cmd_export_msg_table_adr(), CMD_WRITE_FAILED);
    return ok ? 0 : 1;
}

int export_from_dir(export_run &r, std::string *out) {
    *out = r.g.export_from_dir ? r.g.export_from_dir : fileutl_getcwd();
    if (out->size() > FILEUTL_MAX_PATH) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_NAME_TOO_LONG, out->c_str(), int(FILEUTL_MAX_PATH));
        return 1;
    }
    return 0;
}

int assemble(export_run &r) {
    const char *name = r.st.output_name.c_str();
    export_globals g;
    if (export_from_dir(r, &g.export_from_dir))
        return fatal(r);
    FILE *out = std::fopen(name, "w+b");
    if (!out) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_OUTPUT, name);
        return fatal(r);
    }
    IMSG_PRINT_NONL(IMSG_NOTICE, cat(), MAIN_CREATING_SCRIPT, name);
    g.num_elements = r.st.num_elements;
    g.num_versions = r.st.num_versions;
    g.kind = r.kind;
    g.onto_branch = r.st.onto_branch;
    g.onto_brvid = r.st.onto_brvid;
    g.label_all = r.st.label_all;
    g.need_cmd = r.drv->need_cmd();
    int rc = write_globals(out, g);
    if (rc == 0 && write_types(out, r.st.attr_types, r.st.label_types, r.st.branch_types,
                               r.st.element_types) != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_ADD_TYPES);
        rc = 1;
    }
    r.st.attr_types = r.st.label_types = r.st.branch_types = r.st.element_types = name_list();
    if (rc == 0)
        rc = append_file(out, r.dir_tmp) || append_file(out, r.element_tmp);
    if (close_checked(out, r.st.output_name) != 0)
        rc = 1;
    if (rc != 0)
        return fatal(r);
    remove_temp_files(r);
    return 0;
}

int write_translation(export_run &r) {
    const char *name = r.translation_file;
    if (!name) {
        report_renames();
        return 0;
    }
    IMSG_PRINT(IMSG_NOTICE, cat(), MAIN_CREATING_TRANSLATION);
    FILE *f = open_translation(name, "wb");
    if (!f)
        return fatal(r);
    int rc = write_translation_file(f);
    if (close_checked(f, name) != 0 || rc != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_OUTPUT, name);
        return fatal(r);
    }
    return 0;
}

void report_failures(export_run &r) {
    if (hash_str_count(r.failures) == 0)
        return;
    IMSG_PRINT(IMSG_ERROR, cat(), MAIN_NOT_EXPORTED);
    long cursor = 0;
    const char *key;
    void *value;
    while (hash_str_next(r.failures, &cursor, &key, &value))
        IMSG_PRINT_NONL(IMSG_CONT, cat(), MAIN_LIST_ENTRY, key);
}

int run_export(export_run &r, int argc, char **argv) {
    if (parse_options(r, argc, argv))
        return 1;
    if (r.kind == KIND_CVS_ATTIC) {
        if (!r.st.recursive) {
            IMSG_PRINT(IMSG_ERROR, cat(), MAIN_A_WITHOUT_R);
            return usage_fatal(r);
        }
        r.kind = KIND_CVS;
    }
    if (convert_dates(r) || reserve_output(r) || make_temp_files(r) || open_translation_file(r) ||
        open_temp_files(r))
        return 1;
    r.output_prefix = strip_dot_slash(r.st.output_name.c_str());
    int flags = r.st.follow_links ? 2 | FILEUTL_WALK_FOLLOW : 2;
    r.failures = hash_str_create(219, 0, 1);
    hash_set_dynamic(r.failures, 3, 219, 0, 1);
    fileutl_stat_t st{};
    if (stat_path(r, ".", &st) != 0) {
        report_errno(".", errno);
        return fatal(r);
    }
    if (directory_handling(r, ".") != 0)
        return fatal(r);
    fileutl_walk_desc desc{0, 1, walk_callback, &r};
    walk_operands(r, desc, flags);
    int bad_temp = close_checked(r.st.dir_file, r.dir_tmp) | close_checked(r.st.element_file, r.element_tmp);
    shutdown_driver(r);
    if (bad_temp || assemble(r) || write_translation(r))
        return fatal(r);
    report_failures(r);
    hash_delete_ht(r.failures);
    r.failures = nullptr;
    return r.error_flag;
}

} // namespace

void export_check_version_request(int argc, char **argv, const char *program) {
    int all = 0;
    if (argc < 2 || !ks_is_version_request(argv[1], &all))
        return;
    ks_print_banner(program);
    if (all)
        ks_print_banner("libvelkexport");
    pfm_exit(0);
}

int export_main(int argc, char **argv, const cm_driver *driver) {
    std::setlocale(LC_ALL, "");
    ks_system_init();
    imsg_set_app_name(argv[0]);
    reset_type_names();
    export_run r;
    r.drv = driver;
    r.g.extra_options = "";
    r.g.export_from_dir = nullptr;
    r.g.follow_links_default = 1;
    if (driver->init(argc, argv, &r.fs_ops, &r.kind, &r.g) != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_INIT_FAILED);
        return 1;
    }
    r.init_ok = true;
    r.st.follow_links = r.g.follow_links_default;
    std::string dir;
    fileutl_strip_leaf(argv[0], &dir, &r.program);
    return run_export(r, argc, argv);
}
