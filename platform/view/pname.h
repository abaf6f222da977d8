// Resolving path names given on command lines: a path inside a snapshot view
// goes through that view (its config spec selects versions); any other path
// that begins with a registered VOB tag ("/proj/src/a.c") is taken from that
// VOB's root with /main/LATEST. Either may end in "@@VERSION".
#pragma once

#include "platform/view/view.h"
#include "platform/store/vob.h"

#include <memory>
#include <string>
#include <vector>

struct vob_pname {
    vob_t *vob = nullptr;     // owned here, or by the view when view is set
    view_t *view = nullptr;   // owned here; null outside views
    std::string vob_tag;
    std::string vob_path;        // below the VOB root, "/" separated
    std::string vid;             // after "@@", or ""
    vob_oid elem = 0, ver = 0;   // ver: named by vid, else selected
    bool unselected = false;     // in a view that selects no version of it: ver is /main/LATEST
    vob_pname() = default;
    ~vob_pname();
    vob_pname(const vob_pname &) = delete;
    vob_pname &operator=(const vob_pname &) = delete;
};
// VOB_NOT_FOUND when the path is in no view and begins with no VOB tag, or
// names no element or version; the message says which part failed. With
// unselected_ok, a path of a view whose config spec selects no version of
// the element (or of a directory above it) resolves through /main/LATEST,
// with `unselected` set, for commands that read what does not depend on
// the selection.
[[nodiscard]] int vob_resolve_pname(const std::string &pname, vob_pname *out, std::string *err,
                                    bool unselected_ok = false);

// Path names resolved one after another by a long run (the VOB-to-VOB
// import reads every version of a source view): the views, and the handles
// of paths outside views, stay open for the next name, instead of a view,
// its registry and its VOB opened again for each.
struct vob_pname_cache {
    std::vector<view_t *> views;
    std::vector<std::unique_ptr<vob_pname>> held;
    vob_pname_cache() = default;
    ~vob_pname_cache();
    vob_pname_cache(const vob_pname_cache &) = delete;
    vob_pname_cache &operator=(const vob_pname_cache &) = delete;
};
// As vob_resolve_pname, giving the VOB (owned by the cache) and the version.
[[nodiscard]] int vob_resolve_pname_cached(vob_pname_cache *cache, const std::string &pname, vob_t **vob,
                                           vob_oid *ver, std::string *err);
