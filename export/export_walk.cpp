// The walk of the sources: the operands (or the current directory), the walk
// callback that decides what each entry becomes, the directory and element
// records it writes to the record files, and the list of what could not be
// exported.
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

#include "export/export_cmd.h"
#include "export/export_run.h"
#include "runtime/fileutl.h"
#include "runtime/stopsig.h"
#include "runtime/strutl.h"

namespace {

const imsg_catalog *cat() { return export_main_cat(); }

// The table is made before the walk and a key is never null, so the entry
// cannot fail.
void add_failure(export_run &r, const std::string &path) {
    (void)hash_str_enter(r.failures, path.c_str(), nullptr, nullptr);
}

int directory_handling(export_run &r, const std::string &name) {
    if (write_directory(r.st.dir_file, name) != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_CREATE_DIR, name.c_str());
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_WRITE_DIR);
        return -4;
    }
    if (!r.quiet)
        IMSG_PRINT_NONL(IMSG_NOTICE, cat(), MAIN_DIR_ELEMENT, name.c_str());
    return 0;
}

// A failed element must not leave half a record behind: the data file would
// not parse although the run reports success. (A flush that fails leaves the
// file's error flag set, which fails the run when the file is closed.)
bool cut_back(FILE *f, off_t pos) {
    (void)std::fflush(f);
    return ftruncate(fileno(f), pos) == 0 && fseeko(f, pos, SEEK_SET) == 0;
}

int file_handling(export_run &r, const std::string &rel) {
    export_element e;
    int rc = export_element_history(r.drv, rel.c_str(), &e);
    // A stop asked meanwhile: the element is neither exported nor a failure
    // (the driver's tool may have been ended by it).
    if (rc != 0 && (rc == CM_STOPPED || ks_stop_signal())) {
        release_element(e);
        return -4;
    }
    if (rc == CM_FAILED) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_NO_ELEMENT_INFO);
        release_element(e);
        return 1;
    }
    if (rc != 0) {
        // 1003 with the driver's reason: what the path holds is exported (under
        // another name), so it is no failure. Anything else: the driver could
        // not hand the element out; it is listed as not exported.
        std::string why;
        bool on_purpose = rc == CM_NOT_EXPORTED && r.drv->left_out && r.drv->left_out(rel.c_str(), &why) != 0;
        release_element(e);
        if (!on_purpose)
            return 1;
        r.left_out.emplace_back(rel, std::move(why));
        return 0;
    }
    FILE *f = r.st.element_file;
    uint64_t before = export_cmd_bytes_written();
    export_written w;
    if (write_selected_versions(e, f, r.st.sel, &w) != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OUTPUT_VERSIONS);
        bool cut = cut_back(f, r.st.element_file_size);
        int err = errno;
        release_element(e);
        if (!cut) {
            imsg_print_errno(IMSG_ERROR, r.element_tmp.c_str(), err);
            r.st.element_file_broken = true;
            return -4;
        }
        return 1;
    }
    uint64_t written = export_cmd_bytes_written() - before;
    r.st.element_file_size += off_t(written);
    r.st.num_elements += w.elements;
    r.st.num_versions += w.versions;
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

// Characters that end a line: no extract command can carry them (the
// drivers escape what a shell interprets inside double quotes).
char unsafe_char(const std::string &name) {
    for (char c : name)
        if (c == '\n' || c == '\r')
            return c;
    return 0;
}

std::string strip_dot_slash(const char *path) {
    while (path[0] == '.' && path[1] == '/')
        path += 2;
    return path;
}

int handle_path(export_run &r, const char *path, const fileutl_stat_t *st);

// What a path that is neither a file nor a directory is: a symbolic link
// the walk did not follow, or a special file.
void report_not_a_file(const export_run &r, const std::string &rel, uint32_t mode) {
    if (S_ISLNK(mode)) {
        if (r.st.follow_links)   // the walk reports a link it could not follow as the link
            IMSG_PRINT(IMSG_ERROR, cat(), MAIN_SYMLINK_BROKEN, rel.c_str());
        else if (export_option_refused('L', r.kind))
            IMSG_PRINT(IMSG_ERROR, cat(), MAIN_SYMLINK_NOT_EXPORTED, rel.c_str());
        else
            IMSG_PRINT(IMSG_ERROR, cat(), MAIN_SYMLINK_NOT_FOLLOWED, rel.c_str());
        return;
    }
    IMSG_PRINT(IMSG_ERROR, cat(), MAIN_NOT_A_FILE, rel.c_str());
    if (S_ISFIFO(mode))
        IMSG_PRINT(IMSG_CONT, cat(), MAIN_KIND_FIFO);
    else if (S_ISSOCK(mode))
        IMSG_PRINT(IMSG_CONT, cat(), MAIN_KIND_SOCKET);
    else if (S_ISCHR(mode))
        IMSG_PRINT(IMSG_CONT, cat(), MAIN_KIND_CHAR_DEVICE);
    else if (S_ISBLK(mode))
        IMSG_PRINT(IMSG_CONT, cat(), MAIN_KIND_BLOCK_DEVICE);
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
    return handle_path(r, path, st);
}

// A path the walk met: mapped by the driver, then a directory record or an
// element. 1: not exported (pruned, or failed and listed); -4: the run fails.
int handle_path(export_run &r, const char *path, const fileutl_stat_t *st) {
    if (ks_stop_signal())
        return -4;   // the run reports where it was
    std::string rel = strip_dot_slash(path);
    r.current_path = rel;
    if (!r.output_prefix.empty() && rel == r.output_prefix)
        return 1;   // the data file itself
    if (S_ISREG(st->mode))
        r.files_walked++;
    export_progress(r, false);
    if (!r.output_prefix.empty() && rel.compare(0, r.output_prefix.size(), r.output_prefix) == 0) {
        IMSG_PRINT(IMSG_WARNING, cat(), MAIN_OUTPUT_PREFIX_SKIP, rel.c_str(), r.st.output_name.c_str());
        return 1;
    }
    int convert = 0, prune = 0;
    std::string name;
    if (r.drv->map_name(rel.c_str(), r.st.recursive, &convert, &prune, &name) != 0) {
        // A path that cannot be examined is not exported: it is listed, so
        // that the run does not end as if everything had been.
        if (!r.st.recursive)
            IMSG_PRINT(IMSG_WARNING, cat(), MAIN_NOT_RESOLVED, rel.c_str());
        add_failure(r, rel);
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
        report_not_a_file(r, rel, st->mode);
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

// A directory given to the walk that cannot be read fails the run: nothing
// below it was exported.
int walk(export_run &r, const char *dir, const fileutl_walk_desc &desc, int flags) {
    int rc =
        r.fs_ops ? fileutl_walk_tree_any(dir, &desc, r.fs_ops, flags) : fileutl_walk_tree(dir, &desc, flags);
    if (rc == -1) {
        imsg_print_errno(IMSG_ERROR, dir, errno);
        r.error_flag = 1;
    }
    return rc;
}

void walk_operands(export_run &r, const fileutl_walk_desc &desc, int flags) {
    if (r.operands.empty()) {
        if (walk(r, ".", desc, flags) == -4)
            r.error_flag = 1;
        return;
    }
    for (const std::string &op : r.operands) {
        if (ks_stop_signal())
            return;
        r.current_source = op;
        fileutl_stat_t st{};
        if (stat_path(r, op.c_str(), &st) != 0) {
            imsg_print_errno(IMSG_ERROR, op.c_str(), errno);
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
        int rc = 0;
        // A directory named as a source is a directory of the data file
        // itself, so that the import makes it, and labels it (-l), even
        // when it holds no file; the walk does not visit its own root.
        std::string rel = strip_dot_slash(path.c_str());
        if (S_ISDIR(st.mode) && !rel.empty() && rel != ".")
            rc = handle_path(r, path.c_str(), &st);
        if (rc == 0)
            rc = S_ISDIR(st.mode) ? walk(r, path.c_str(), desc, flags)
                                  : walk_callback(&r, path.c_str(), path.c_str(), dir_arg, leaf.c_str(), &st,
                                                  0, FILEUTL_VISIT_FILE);
        if (rc == -4)
            r.error_flag = 1;
    }
}

}   // namespace

int export_walk_sources(export_run &r) {
    r.output_prefix = strip_dot_slash(r.st.output_name.c_str());
    int flags = r.st.follow_links ? 2 | FILEUTL_WALK_FOLLOW : 2;
    r.failures = hash_str_create(219, 0, 1);
    fileutl_stat_t st{};
    if (stat_path(r, ".", &st) != 0) {
        imsg_print_errno(IMSG_ERROR, ".", errno);
        return 1;
    }
    if (directory_handling(r, ".") != 0)
        return 1;
    fileutl_walk_desc desc{0, 1, walk_callback, &r};
    walk_operands(r, desc, flags);
    return 0;
}

long export_failure_count(const export_run &r) { return r.failures ? hash_str_count(r.failures) : 0; }

double export_now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void export_progress(export_run &r, bool final) {
    if (!r.progress)
        return;
    double now = export_now();
    if (!final && now - r.last_draw < 0.2)
        return;
    double elapsed = now - r.start_time;
    double rate = elapsed > 0 ? double(r.st.num_versions) / elapsed : 0;
    std::string line = IMSG_SPRINTF(cat(), MAIN_PROGRESS_COUNTED,
                                    strutl_count(r.files_walked, "file", "files").c_str(),
                                    strutl_count(r.st.num_elements, "element", "elements").c_str(),
                                    strutl_count(r.st.num_versions, "version", "versions").c_str(), rate);
    if (imsg_status_draw(line, final))
        r.last_draw = now;
    if (final)
        imsg_status_end();
}

void export_report_failures(const export_run &r) {
    if (!r.left_out.empty()) {
        IMSG_PRINT(IMSG_REPORT, cat(), MAIN_LEFT_OUT);
        for (const auto &[path, why] : r.left_out)
            IMSG_PRINT_NONL(IMSG_CONT, cat(), MAIN_LEFT_OUT_ENTRY, path.c_str(), why.c_str());
    }
    if (hash_str_count(r.failures) == 0)
        return;
    IMSG_PRINT(IMSG_ERROR, cat(), MAIN_NOT_EXPORTED);
    long cursor = 0;
    const char *key;
    void *value;
    while (hash_str_next(r.failures, &cursor, &key, &value))
        IMSG_PRINT_NONL(IMSG_CONT, cat(), MAIN_LIST_ENTRY, key);
}

void export_free_failures(export_run &r) {
    if (r.failures)
        hash_delete_ht(r.failures);
    r.failures = nullptr;
}
