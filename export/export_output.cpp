// The files a run writes: the reserved data file, the two record files
// (directory records, element records) that the walk fills, the assembly of
// the data file from its header, its types and the record files, and the -T
// translation file read at start and written back at the end.
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "export/export_cmd.h"
#include "export/export_names.h"
#include "export/export_run.h"
#include "runtime/atomic_file.h"
#include "runtime/fileutl.h"
#include "runtime/imsg.h"
#include "runtime/stopsig.h"

namespace {

const imsg_catalog *cat() { return export_main_cat(); }

// The system's reason after a message that names what could not be opened.
void say_reason(int err) { IMSG_PRINT(IMSG_CONT, cat(), MAIN_REASON, imsg_strerror(err)); }

void close_file(FILE *&f) {
    if (f)
        std::fclose(f);
    f = nullptr;
}

// Opens the translation file; a failure is reported with the system's reason.
FILE *open_translation(const char *name, const char *mode) {
    FILE *f = std::fopen(name, mode);
    if (!f) {
        int err = errno;
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_OUTPUT, name);
        imsg_print_errno(IMSG_ERROR, name, err);
    }
    return f;
}

// Buffered write errors only show when the file is flushed: a file that could
// not be written whole fails the run rather than a silent gap.
int close_checked(FILE *&f, const std::string &name) {
    bool ok = std::fflush(f) == 0 && !std::ferror(f);
    int err = errno;
    ok = std::fclose(f) == 0 && ok;
    f = nullptr;
    if (!ok)
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_WRITE_OUTPUT, name.c_str(), imsg_strerror(err));
    return ok ? 0 : 1;
}

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

// out is the data file's stream and out_fd its descriptor: the bytes are
// copied to the descriptor once the stream's buffer is out.
int append_file(FILE *out, int out_fd, const std::string &out_name, const std::string &path) {
    FILE *in = std::fopen(path.c_str(), "rb");
    if (!in) {
        int err = errno;
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_FILE, path.c_str());
        say_reason(err);
        return 1;
    }
    bool ok = std::fflush(out) == 0 && copy_fd(fileno(in), out_fd);
    int err = errno;
    std::fclose(in);
    if (!ok) {
        IMSG_PRINT(IMSG_WARNING, export_cmd_export_msg_table_adr(), CMD_WRITE_FAILED);
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_WRITE_OUTPUT, out_name.c_str(), imsg_strerror(err));
    }
    return ok ? 0 : 1;
}

// Flushes, syncs (when durable) and renames the finished file over its destination.
int commit_checked(atomic_file &file, const std::string &name, bool durable) {
    int err = file.commit(durable);
    if (err != 0)
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_WRITE_OUTPUT, name.c_str(), imsg_strerror(err));
    return err != 0 ? 1 : 0;
}

// The replacement keeps the permissions of the file it replaces (the
// translation file is made owner-only at start).
void keep_mode(const char *name, int fd) {
    struct stat st;
    if (stat(name, &st) == 0)
        (void)fchmod(fd, st.st_mode & 07777);   // best effort: not worth failing the run
}

int export_from_dir(export_run &r, std::string *out) {
    *out = r.g.export_from_dir ? r.g.export_from_dir : fileutl_getcwd();
    if (out->size() > FILEUTL_MAX_PATH) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_NAME_TOO_LONG, out->c_str(), int(FILEUTL_MAX_PATH));
        return 1;
    }
    return 0;
}

}   // namespace

int export_reserve_output(export_run &r) {
    const char *name = r.st.output_name.c_str();
    if (fileutl_exists(name)) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_OUTPUT_EXISTS, name);
        IMSG_PRINT(IMSG_CONT, cat(), MAIN_HINT_OUTPUT_EXISTS, name);
        return 1;
    }
    FILE *f = std::fopen(name, "w+b");
    if (!f) {
        int err = errno;
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_OUTPUT, name);
        say_reason(err);
        return 1;
    }
    std::fclose(f);
    return 0;
}

// A stop at once removes them from its handler.
int export_make_record_files(export_run &r) {
    const char *dir = r.temp_dir.empty() ? nullptr : r.temp_dir.c_str();
    for (auto [path, slot] :
         {std::pair{&r.dir_tmp, &r.dir_slot}, std::pair{&r.element_tmp, &r.element_slot}}) {
        int err = fileutl_tmpfile_ext(dir, 0, 0, path);
        if (err != 0) {
            path->clear();
            IMSG_PRINT_SHARED(IMSG_ERROR, "export/export_main", _tbs_cmsg_tbs_msg_table_adr(),
                              TBS_MSG_TMPFILE, imsg_strerror(err));
            return 1;
        }
        *slot = ks_stop_add_file(*path);
    }
    return 0;
}

int export_open_record_files(export_run &r) {
    r.st.dir_file = std::fopen(r.dir_tmp.c_str(), "w+b");
    if (!r.st.dir_file) {
        int err = errno;
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_OUTPUT, r.dir_tmp.c_str());
        say_reason(err);
        return 1;
    }
    r.st.element_file = std::fopen(r.element_tmp.c_str(), "w+b");
    if (!r.st.element_file) {
        int err = errno;
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_OUTPUT, r.element_tmp.c_str());
        say_reason(err);
        return 1;
    }
    // Long histories make a large element file: write it in big pieces.
    // (glibc ignores the size unless it is given the buffer too.)
    r.element_buf.resize(1 << 18);
    std::setvbuf(r.st.element_file, r.element_buf.data(), _IOFBF, r.element_buf.size());
    return 0;
}

int export_close_record_files(export_run &r) {
    int bad = close_checked(r.st.dir_file, r.dir_tmp) | close_checked(r.st.element_file, r.element_tmp);
    return bad | int(r.st.element_file_broken);
}

void export_remove_record_files(export_run &r) {
    close_file(r.st.dir_file);
    close_file(r.st.element_file);
    ks_stop_drop_file(r.dir_slot);
    ks_stop_drop_file(r.element_slot);
    r.dir_slot = r.element_slot = -1;
    for (const std::string *path : {&r.dir_tmp, &r.element_tmp}) {
        // A leftover stops nothing, but the user should know to remove it.
        if (!path->empty())
            if (int err = fileutl_rm(path->c_str()))
                imsg_print_errno(IMSG_WARNING, path->c_str(), err);
    }
    r.dir_tmp.clear();
    r.element_tmp.clear();
}

void export_drop_data_file(export_run &r) {
    ks_stop_drop_file(r.data_slot);
    r.data_slot = -1;
}

// Read at start when it exists, else created (owner read and write) so that
// the run's decisions can be written back at the end.
int export_read_translation(export_run &r) {
    const char *name = r.translation_file;
    if (!name)
        return 0;
    bool existed = fileutl_exists(name);
    FILE *f = open_translation(name, existed ? "rb" : "wb");
    if (!f)
        return 1;
    int rc = existed ? read_translation_file(f) : 0;
    std::fclose(f);
    if (rc != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_OUTPUT, name);
        return 1;
    }
    if (!existed)
        chmod(name, S_IRUSR | S_IWUSR);
    return 0;
}

int export_assemble(export_run &r, atomic_file &file) {
    const std::string &name = r.st.output_name;
    export_globals g;
    if (export_from_dir(r, &g.export_from_dir))
        return 1;
    if (int err = file.open(name)) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_OUTPUT, name.c_str());
        imsg_print_errno(IMSG_ERROR, name.c_str(), err);
        return 1;
    }
    r.data_slot = ks_stop_add_file(file.temp_name());
    FILE *out = file.stream();
    IMSG_PRINT_NONL(IMSG_NOTICE, cat(), MAIN_CREATING_SCRIPT, name.c_str());
    g.num_elements = r.st.num_elements;
    g.num_versions = r.st.num_versions;
    g.kind = r.kind;
    g.onto_branch = r.st.onto_branch;
    g.onto_brvid = r.st.onto_brvid;
    g.label_all = r.st.label_all;
    g.need_cmd = r.drv->need_cmd();
    int rc = write_globals(out, g);
    if (rc == 0 &&
        write_types(out, r.st.attr_types, r.st.label_types, r.st.branch_types, r.st.element_types) != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_ADD_TYPES);
        rc = 1;
    }
    r.st.attr_types = r.st.label_types = r.st.branch_types = r.st.element_types = name_list();
    if (rc == 0)
        rc = append_file(out, file.fd(), name, r.dir_tmp) || append_file(out, file.fd(), name, r.element_tmp);
    return rc;
}

int export_commit_output(export_run &r, atomic_file &file) {
    // Not synced: the syncs of a large file cost a measurable share of the run,
    // and a replacement lost to a power failure leaves the state of a failed
    // run (the reserved empty file), which a rerun mends.
    int rc = commit_checked(file, r.st.output_name, false);
    export_drop_data_file(r);
    if (rc != 0)
        return 1;
    export_remove_record_files(r);
    return 0;
}

int export_write_translation(export_run &r) {
    const char *name = r.translation_file;
    if (!name) {
        report_renames();
        return 0;
    }
    IMSG_PRINT(IMSG_NOTICE, cat(), MAIN_CREATING_TRANSLATION);
    // Replaced whole: a failed write must not lose the decisions of earlier runs.
    atomic_file file;
    if (int err = file.open(name)) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_OUTPUT, name);
        imsg_print_errno(IMSG_ERROR, name, err);
        return 1;
    }
    keep_mode(name, file.fd());
    if (write_translation_file(file.stream()) != 0 || commit_checked(file, name, true) != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), MAIN_CANT_OPEN_OUTPUT, name);
        return 1;
    }
    return 0;
}
