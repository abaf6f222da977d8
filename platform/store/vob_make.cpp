// Making a VOB in its storage directory: the schema and the first objects.
// Registering it under its tag is the registry's (registry/vob_tag.cpp).
#include "platform/store/vob_int.h"
#include "runtime/fileutl.h"

#include <openssl/rand.h>

#include <filesystem>
#include <unistd.h>

int vob_tag_is_valid(const std::string &tag) {
    return tag.size() >= 2 && tag.size() <= 255 && tag[0] == '/' && tag.back() != '/' &&
           tag.find("@@") == std::string::npos && tag.find("..") == std::string::npos &&
           tag.find("//") == std::string::npos && tag.find('\0') == std::string::npos &&
           tag.find_first_of(" \t\n\r") == std::string::npos;
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
    return vob_end_txn(v, rc);
}

int vob_create(const std::string &storage, const std::string &tag, int project, std::string *uuid,
               std::string *err) {
    if (!fileutl_is_empty_dir_or_missing(storage.c_str())) {
        *err = VOB_MSG(VM_STORAGE_EXISTS, storage.c_str());
        return VOB_EXISTS;
    }
    int rc = make_dirs(storage + "/pool/tmp", err);
    if (rc != VOB_OK)
        return rc;
    vob_t *v = nullptr;
    rc = vob_db_open(storage, 1, &v, err);
    if (rc == VOB_OK) {
        rc = vob_db_create_schema(v);
        if (rc == VOB_OK)
            rc = seed(v, tag, project);
        if (rc != VOB_OK)
            *err = v->err;
        else
            *uuid = v->uuid;
    }
    vob_close(v);
    if (rc != VOB_OK) {
        std::error_code ec;
        std::filesystem::remove_all(storage, ec);
    }
    return rc;
}
