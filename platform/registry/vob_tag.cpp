// VOBs by tag: the store makes the storage, the registry names it.
#include "platform/registry/vob_tag.h"

#include "platform/registry/registry.h"
#include "platform/store/vob_msg.h"
#include "runtime/fileutl.h"

#include <filesystem>
#include <unistd.h>

int vob_make(const std::string &tag, const std::string &storage_dir, int project, std::string *storage_out,
             std::string *err) {
    if (!vob_tag_is_valid(tag)) {
        *err = VOB_MSG(VM_BAD_TAG, tag.c_str());
        return VOB_ERR;
    }
    int rc = rgy_vob_tag_free(tag, err);
    if (rc != VOB_OK)
        return rc;
    std::string storage = storage_dir;
    if (storage.empty()) {
        std::string leaf = tag.substr(1);
        for (char &c : leaf)
            if (c == '/')
                c = '_';
        storage = rgy_home() + "/vobs/" + leaf + ".vbs";
    }
    storage = fileutl_make_abs_pn(storage);
    rgy_vob entry;
    if ((rc = vob_create(storage, tag, project, &entry.uuid, err)) != VOB_OK)
        return rc;
    entry.tag = tag;
    entry.storage = storage;
    entry.owner_uid = geteuid();
    entry.project = project;
    if ((rc = rgy_vob_add(entry, err)) != VOB_OK) {
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
    int is_vob = vob_open(have.storage, &v, &e2) == VOB_OK && vob_get_uuid(v) == have.uuid;
    // Storage that cannot be deleted keeps its tag, rather than lose it and fail.
    if (is_vob && vob_check_writable(v) != VOB_OK) {
        *err = vob_errmsg(v);
        vob_close(v);
        return VOB_ERR;
    }
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
