// One version record per call, in the tree's pre-order: id, branch, event,
// contents, merges of both directions, sprouting branches, labels and
// attributes. The update time is the latest creation among the version and
// what was hung on it later, so that a -s export still selects a version
// labelled, merged or branched from after the -s time.
#include <algorithm>

#include "drivers/vantor/vantor_int.h"

namespace {

void raise_to_creation(const vantor_element *e, vob_oid obj, int64_t *t) {
    vob_event ev;
    if (vob_obj_find_event(e->vob, obj, VOB_EV_CREATE, &ev) == VOB_OK)
        *t = std::max(*t, ev.time);
}

int id_branch_event(const vantor_element *e, vob_oid ver, cm_version_info *v) {
    if (int rc = vob_ver_get_idstr(e->vob, ver, VT_PATH_SIZE, &v->version_id))
        return vt_fail(e, VT_NO_VID, rc);
    if (vt_ver_no_contents(e->vob, ver))
        v->no_contents = 1;
    vob_oid branch = 0;
    if (int rc = vob_ver_get_branch(e->vob, ver, &branch))
        return vt_fail(e, VT_NO_BRANCH, rc);
    std::string path;
    if (int rc = vob_branch_get_pname(e->vob, branch, VT_PATH_SIZE, &path))
        return vt_fail(e, VT_NO_BRANCH_PATH, rc);
    if (path != e->main_path)
        v->branch = vt_below_main(e, path);
    vob_event ev;
    if (vt_creation_event(e, ver, &ev))
        return CM_FAILED;
    v->event_time = v->selected_time = ev.time;
    vt_copy_event_who(ev, v);
    return 0;
}

// The other end of each merge of one direction, as a version below the main
// branch: "4" for /main/4, "dev/1" for /main/dev/1. The version id is taken
// after the last "@@" of the extended name, so an "@" in the element's own
// path cannot shift it.
int merges(const vantor_element *e, vob_oid ver, vob_oid hltype, int dir, str_list *out, int64_t *update) {
    std::vector<cmd_hlink> links;
    if (int rc = cmd_utl_get_hlinks(e->vob, ver, hltype, dir, &links))
        return vt_fail(e, VT_NO_MERGES, rc);
    for (const cmd_hlink &l : links) {
        std::string x;
        int rc = cmd_utl_get_vob_ext_pname(e->path, l.other_vob, l.other, VT_PATH_SIZE, &x);
        size_t at = rc == VOB_OK ? x.rfind("@@") : std::string::npos;
        std::string vid = at == std::string::npos ? std::string() : x.substr(at + 2);
        if (vid.size() <= e->main_path.size() || vid.compare(0, e->main_path.size(), e->main_path) != 0 ||
            vid[e->main_path.size()] != '/') {
            IMSG_PRINT(IMSG_ERROR, vt_cat(), VT_NO_EXT_PNAME, e->path.c_str());
            if (rc != VOB_OK)
                vt_reason(e, rc);
            return CM_FAILED;
        }
        out->push_back(vid.substr(e->main_path.size() + 1));
        raise_to_creation(e, l.hlink, update);
    }
    return 0;
}

int hung_on(const vantor_element *e, const cmd_vtree_version *n, cm_version_info *v) {
    vob_oid merge = 0;
    if (int rc = vob_ob_get_wk_obj(e->vob, VOB_WK_MERGE_HLTYPE, &merge))
        return vt_fail(e, VT_NO_MERGE_TYPE, rc);
    if (merges(e, n->ver, merge, VOB_HL_TO, &v->merges, &v->selected_time) ||
        merges(e, n->ver, merge, VOB_HL_FROM, &v->fmerges, &v->selected_time))
        return CM_FAILED;
    for (const cmd_vtree_branch &b : n->branches) {
        raise_to_creation(e, b.branch, &v->selected_time);
        std::string path;
        if (int rc = vob_branch_get_pname(e->vob, b.branch, VT_PATH_SIZE, &path))
            return vt_fail(e, VT_NO_BRANCH_PATH, rc);
        v->subbranches.push_back(vt_below_main(e, path));
    }
    for (const vob_label &l : n->labels) {
        raise_to_creation(e, l.oid, &v->selected_time);
        std::string name;
        if (vt_type_name(e, l.lbtype, VT_NAME_SIZE, VT_NO_LABEL_NAME, &name))
            return CM_FAILED;
        v->labels.push_back(name);
    }
    return vt_attributes(e, n->ver, &v->attributes, &v->selected_time);
}

}   // namespace

int vt_next_version(void *handle, cm_version_info *v, int *is_version) {
    vantor_element *e = static_cast<vantor_element *>(handle);
    if (e->cursor >= e->nodes.size())
        return CM_NO_MORE;
    const cmd_vtree_version *n = e->nodes[e->cursor++];
    *is_version = 1;
    *v = cm_version_info();
    v->status = VERSION_ABSOLUTE;
    if (id_branch_event(e, n->ver, v) || hung_on(e, n, v))
        return CM_FAILED;
    vt_versions_out++;
    return 0;
}
