// The registry: regions, VOB tags and view tags, kept under VANTOR_HOME
// (default ~/.vantor) in registry/rgy.json.
//
// Invariants: a region holds each VOB tag and each view tag at most once;
// one region is the default ("default" unless set otherwise); every entry
// belongs to a region. The file is replaced whole (synced temporary file,
// rename, synced directory) under an exclusive lock of registry/rgy.lock, so readers see the
// registry before or after a change, never halfway; concurrent changes from
// several processes are serialised by the lock.
//
// Calls return VOB_OK (0), VOB_NOT_FOUND (1002) when the entry is not there,
// VOB_EXISTS (1003) when it is there already, or VOB_ERR (1001) with a
// message in *err that names the registry file. An empty region argument
// means the default region.
#pragma once

#include <string>
#include <vector>

struct rgy_vob {
    std::string tag;       // begins with "/"
    std::string storage;   // absolute storage directory
    std::string uuid;      // the VOB's identifier (32 hex digits)
    unsigned owner_uid = 0;
    int project = 0;   // a project VOB
    std::string region;
};

struct rgy_view {
    std::string tag;
    std::string dir;   // absolute root directory of the snapshot view
    std::string region;
};

// VANTOR_HOME, or $HOME/.vantor; without a trailing "/".
std::string rgy_home();

[[nodiscard]] int rgy_get_default_region(std::string *region, std::string *err);
[[nodiscard]] int rgy_list_regions(std::vector<std::string> *regions, std::string *err);
[[nodiscard]] int rgy_add_region(const std::string &region, std::string *err);

[[nodiscard]] int rgy_vob_add(const rgy_vob &vob, std::string *err);
[[nodiscard]] int rgy_vob_remove(const std::string &tag, const std::string &region, std::string *err);
[[nodiscard]] int rgy_vob_find(const std::string &tag, const std::string &region, rgy_vob *out,
                               std::string *err);
// VOB_OK when the default region has no entry with tag; VOB_EXISTS, with a
// message that names where the entry points, when it has one.
[[nodiscard]] int rgy_vob_tag_free(const std::string &tag, std::string *err);
[[nodiscard]] int rgy_vob_find_uuid(const std::string &uuid, rgy_vob *out, std::string *err);
// Sorted by tag.
[[nodiscard]] int rgy_vob_list(const std::string &region, std::vector<rgy_vob> *out, std::string *err);

[[nodiscard]] int rgy_view_add(const rgy_view &view, std::string *err);
[[nodiscard]] int rgy_view_remove(const std::string &tag, const std::string &region, std::string *err);
[[nodiscard]] int rgy_view_find(const std::string &tag, const std::string &region, rgy_view *out,
                                std::string *err);
[[nodiscard]] int rgy_view_tag_free(const std::string &tag, std::string *err);   // as rgy_vob_tag_free
[[nodiscard]] int rgy_view_list(const std::string &region, std::vector<rgy_view> *out, std::string *err);
// The view directory of a tag; VOB_NOT_FOUND when no view has it.
[[nodiscard]] int view_tag_get_path(const std::string &tag, std::string *dir, std::string *err);
