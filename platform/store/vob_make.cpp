// Making, removing and opening VOBs by tag.
#include "platform/registry/registry.h"
#include "platform/store/vob_int.h"
#include "runtime/fileutl.h"

#include <openssl/rand.h>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

static int good_tag(const std::string &tag) {
    return tag.size() >= 2 && tag.size() <= 255 && tag[0] == '/' && tag.back() != '/' &&
           tag.find("@@") == std::string::npos && tag.find("..") == std::string::npos &&
           tag.find("//") == std::string::npos && tag.find('\0') == std::string::npos &&
           tag.find_first_of(" \t\n\r") == std::string::npos;
}

// A directory that does not exist or is empty: 1.
static int usable_dir(const std::string &dir) {
    struct stat st;
    if (lstat(dir.c_str(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return 0;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return 0;
    int empty = 1;
    while (dirent *e = readdir(d))
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
            empty = 0;
    closedir(d);
    return empty;
}

static int make_dirs(const std::string &path, std::string *err) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) {
        *err = VOB_MSG(VM_MKDIR, path.c_str(), ec.message().c_str());
        return VOB_ERR;
    }
    return VOB_OK;
}

static int put_meta(vob_t *v, const std::string &key, const std::string &value) {
    vob_stmt q(v, "INSERT OR REPLACE INTO meta(key, value) VALUES(?1, ?2)");
    q.bind(1, key).bind(2, value);
    return q.exec();
}

// The first objects of a new VOB: its types, root directory and lost+found.
static int seed(vob_t *v, const std::string &tag, int project) {
    vob_event ev = vob_event_now("");
    int rc = vob_begin(v, 1);
    if (rc != VOB_OK)
        return rc;
    vob_oid main_bt = 0, file_et = 0, dir_et = 0, merge = 0, text_et = 0, root = 0, lf = 0;
    // The well-known ids must be known before the element calls check them.
    rc = vob_type_create(v, VOB_MT_BRTYPE, "main", &ev, &main_bt);
    if (rc == VOB_OK)
        rc = vob_type_create(v, VOB_MT_ELTYPE, "file", &ev, &file_et);
    if (rc == VOB_OK)
        rc = vob_type_create(v, VOB_MT_ELTYPE, "directory", &ev, &dir_et);
    if (rc == VOB_OK)
        rc = vob_type_create(v, VOB_MT_ELTYPE, "text_file", &ev, &text_et);
    if (rc == VOB_OK)
        rc = vob_type_create(v, VOB_MT_HLTYPE, "Merge", &ev, &merge);
    v->wk[VOB_WK_MAIN_BRTYPE] = main_bt;
    v->wk[VOB_WK_FILE_ELTYPE] = file_et;
    v->wk[VOB_WK_DIR_ELTYPE] = dir_et;
    v->wk[VOB_WK_MERGE_HLTYPE] = merge;
    if (rc == VOB_OK)
        rc = vob_elem_make_rows(v, 0, "", VOB_MT_DIR_ELEM, dir_et, &ev, &root, nullptr);
    v->wk[VOB_WK_ROOT_DIR] = root;
    if (rc == VOB_OK)
        rc = vob_elem_create(v, root, "lost+found", VOB_MT_DIR_ELEM, dir_et, &ev, &lf);
    v->wk[VOB_WK_LOST_FOUND] = lf;
    unsigned char raw[16];
    char hex[33];
    if (RAND_bytes(raw, sizeof raw) != 1)
        for (unsigned i = 0; i < sizeof raw; i++)
            raw[i] = (unsigned char)(rand() ^ getpid() ^ time(nullptr));
    for (unsigned i = 0; i < sizeof raw; i++)
        snprintf(hex + 2 * i, 3, "%02x", raw[i]);
    v->uuid = hex;
    v->tag = tag;
    v->owner_uid = geteuid();
    v->project = project;
    const std::pair<std::string, std::string> rows[] = {
        {"magic", VOB_MAGIC},
        {"schema", std::to_string(VOB_SCHEMA_VERSION)},
        {"tag", tag},
        {"uuid", v->uuid},
        {"owner", std::to_string(v->owner_uid)},
        {"project", project ? "1" : "0"},
    };
    for (auto &r : rows)
        if (rc == VOB_OK)
            rc = put_meta(v, r.first, r.second);
    for (int id : {VOB_WK_ROOT_DIR, VOB_WK_MAIN_BRTYPE, VOB_WK_FILE_ELTYPE, VOB_WK_DIR_ELTYPE,
                   VOB_WK_MERGE_HLTYPE, VOB_WK_LOST_FOUND})
        if (rc == VOB_OK)
            rc = put_meta(v, "wk" + std::to_string(id), std::to_string(v->wk[id]));
    if (rc == VOB_OK)
        return vob_commit(v);
    std::string keep = v->err;
    vob_rollback(v);
    v->err = keep;
    return rc;
}

int vob_make(const std::string &tag, const std::string &storage_dir, int project, std::string *storage_out,
             std::string *err) {
    if (!good_tag(tag)) {
        *err = VOB_MSG(VM_BAD_TAG, tag.c_str());
        return VOB_ERR;
    }
    rgy_vob have;
    std::string e2;
    int rc = rgy_vob_find(tag, "", &have, &e2);
    if (rc == VOB_OK) {
        *err = VOB_MSG(VM_VOB_TAG_EXISTS, tag.c_str(), have.storage.c_str());
        return VOB_EXISTS;
    }
    if (rc != VOB_NOT_FOUND) {
        *err = e2;
        return rc;
    }
    std::string storage = storage_dir;
    if (storage.empty()) {
        std::string leaf = tag.substr(1);
        for (char &c : leaf)
            if (c == '/')
                c = '_';
        storage = rgy_home() + "/vobs/" + leaf + ".vbs";
    }
    storage = fileutl_make_abs_pn(storage);
    if (!usable_dir(storage)) {
        *err = VOB_MSG(VM_STORAGE_EXISTS, storage.c_str());
        return VOB_EXISTS;
    }
    if ((rc = make_dirs(storage + "/pool/tmp", err)) != VOB_OK)
        return rc;
    vob_t *v = nullptr;
    rc = vob_db_open(storage, 1, &v, err);
    if (rc == VOB_OK) {
        rc = vob_db_create_schema(v);
        if (rc == VOB_OK)
            rc = seed(v, tag, project);
        if (rc != VOB_OK)
            *err = v->err;
    }
    rgy_vob entry;
    if (rc == VOB_OK) {
        entry.tag = tag;
        entry.storage = storage;
        entry.uuid = v->uuid;
        entry.owner_uid = v->owner_uid;
        entry.project = project;
        rc = rgy_vob_add(entry, err);
    }
    vob_close(v);
    if (rc != VOB_OK) {
        std::error_code ec;
        std::filesystem::remove_all(storage, ec);
        return rc;
    }
    if (storage_out)
        *storage_out = storage;
    return VOB_OK;
}

int vob_remove(const std::string &tag, std::string *err) {
    rgy_vob have;
    int rc = rgy_vob_find(tag, "", &have, err);
    if (rc != VOB_OK)
        return rc;
    // Only a directory that holds a VOB database is deleted; a registry entry
    // that points elsewhere is just dropped.
    vob_t *v = nullptr;
    std::string e2;
    int is_vob = vob_open(have.storage, &v, &e2) == VOB_OK && v->uuid == have.uuid;
    vob_close(v);
    if ((rc = rgy_vob_remove(tag, "", err)) != VOB_OK)
        return rc;
    if (is_vob) {
        std::error_code ec;
        std::filesystem::remove_all(have.storage, ec);
        if (ec) {
            *err = VOB_MSG(VM_MKDIR, have.storage.c_str(), ec.message().c_str());
            return VOB_ERR;
        }
    }
    return VOB_OK;
}

int vob_open_tag(const std::string &tag, vob_t **out, std::string *err) {
    rgy_vob have;
    int rc = rgy_vob_find(tag, "", &have, err);
    if (rc != VOB_OK)
        return rc;
    return vob_open(have.storage, out, err);
}
