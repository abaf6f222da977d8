// A view's directories as the store holds them, for a walk that must meet
// every element the config spec selects whether or not update loaded a file
// for it: the names a rule selects, and the directories above the VOB roots.
#include "platform/view/view_int.h"
#include "runtime/fileutl.h"

#include <algorithm>

int view_above_vobs(const view_t *v, const std::string &path, std::vector<std::string> *next) {
    std::string abs = fileutl_make_abs_pn(path.empty() ? "." : path);
    if (abs.compare(0, v->root.size(), v->root) != 0 ||
        (abs.size() > v->root.size() && abs[v->root.size()] != '/'))
        return 0;
    std::string rel = abs.substr(v->root.size());   // "" for the root, "/proj" below it
    bool above = false;
    for (const std::string &tag : v->scopes) {
        if (tag.size() <= rel.size() || tag.compare(0, rel.size(), rel) != 0 || tag[rel.size()] != '/')
            continue;
        above = true;
        std::string rest = tag.substr(rel.size() + 1);
        rest = rest.substr(0, rest.find('/'));
        if (next && !rest.empty() && std::find(next->begin(), next->end(), rest) == next->end())
            next->push_back(rest);
    }
    if (next)
        std::sort(next->begin(), next->end());
    return above;
}

int view_read_selected(view_t *v, const view_fhandle &dir, std::vector<view_selected> *out) {
    vob_t *h = nullptr;
    int rc = view_get_vob(v, dir.vob_tag, &h);
    if (rc != VOB_OK)
        return rc;
    std::vector<view_dirent> ents;
    if ((rc = view_readdir(v, dir, &ents)) != VOB_OK)
        return rc;
    std::vector<view_selected> sel;
    const std::string at = dir.vob_tag + (dir.vob_path.empty() ? "" : "/" + dir.vob_path) + "/";
    for (const view_dirent &e : ents) {
        vob_oid ver = 0;
        std::string vp = at + e.name;
        rc = vob_select_version(h, e.elem, v->rules, v->tag, &ver, nullptr, e.mtype, &vp);
        if (rc == VOB_NOT_FOUND)
            continue;   // update loads no name that no rule selects
        if (rc != VOB_OK)
            return view_fail(v, rc, vob_errmsg(h));
        sel.push_back({e.name, e.elem, ver, e.mtype});
    }
    *out = std::move(sel);
    return VOB_OK;
}
