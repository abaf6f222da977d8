// The target of a file-system import: the snapshot view that holds it and
// the directory element it is. Every check comes before the first change;
// directories of the target's path that the view has only as plain
// directories are made elements last.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/fsimport/fsi_run.h"
#include "runtime/fileutl.h"
#include "runtime/strutl.h"

bool fsi_source_holds_target(const fsi_run *run, const std::string &src) {
    return fileutl_path_within(run->target_real, fileutl_realpath(src));
}

// The components of the target below the view root, with the first ones
// that make the tag of a VOB of the view's scope joined into below[0]
// ("vobs/a" for the VOB /vobs/a); the longest such tag wins, and without one
// the first component is taken for the tag.
static void join_vob_tag(view_t *view, std::vector<std::string> *below) {
    size_t n = 1;
    for (const std::string &tag : view_get_scopes(view)) {
        std::vector<std::string> c = strutl_split(tag, '/');
        if (c.size() > n && c.size() <= below->size() && std::equal(c.begin(), c.end(), below->begin()))
            n = c.size();
    }
    for (size_t k = 1; k < n; ++k)
        (*below)[0] += "/" + (*below)[k];
    below->erase(below->begin() + 1, below->begin() + long(n));
}

static int refuse(fsi_run *run, const std::string &why) {
    IMSG_PRINT(IMSG_ERROR, fsi_cat(), FSI_NOT_IN_VIEW, run->target.c_str(), why.empty() ? "." : ": ",
               why.c_str());
    IMSG_PRINT(IMSG_CONT, fsi_cat(), FSI_NOT_IN_VIEW_TODO);
    return 1;
}

int fsi_selected_dir(fsi_run *run, vob_oid dir, const std::string &vpath, vob_oid *ver, vob_oid *branch) {
    int rc =
        vob_select_version(run->vob, dir, run->rules, run->view_tag, ver, nullptr, VOB_MT_DIR_ELEM, &vpath);
    vob_ver_info vi;
    if (rc == VOB_OK && (rc = vob_ver_get(run->vob, *ver, &vi)) == VOB_OK)
        *branch = vi.branch;
    return rc;
}

// Makes the directories of the target's path that are not elements yet, in
// one transaction. parent_vpath: the view path of parent.
static int make_path(fsi_run *run, vob_oid parent, std::string parent_vpath,
                     const std::vector<std::string> &missing, const std::string &shown_base) {
    std::string shown = shown_base.substr(0, shown_base.rfind('/'));
    std::vector<fsi_path_dir> made;
    vob_txn txn(run->vob);
    int rc = txn.begin();
    vob_event ev = fsi_event(run, run->now);
    for (size_t i = 0; rc == VOB_OK && i < missing.size(); ++i) {
        vob_oid ver = 0, branch = 0, elem = 0;
        rc = fsi_selected_dir(run, parent, parent_vpath, &ver, &branch);
        if (rc == VOB_OK)
            rc = vob_elem_create_in(run->vob, parent, branch, missing[i], VOB_MT_DIR_ELEM, 0, &ev, &elem);
        parent = elem;
        shown += "/" + missing[i];
        parent_vpath += "/" + missing[i];
        made.push_back({elem, i + 1 == missing.size() ? run->target : shown, parent_vpath});
    }
    if (rc == VOB_OK)
        rc = txn.commit();
    if (rc != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, fsi_cat(), FSI_FAILED, shown_base.c_str(), vob_errmsg(run->vob).c_str());
        return 1;
    }
    run->target_elem = parent;
    run->target_path.insert(run->target_path.end(), made.begin(), made.end());
    run->changed = true;
    return 0;
}

int fsi_open_target(fsi_run *run) {
    struct stat st;
    if (run->target.empty() || stat(run->target.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        IMSG_PRINT(IMSG_ERROR, fsi_cat(), FSI_NO_TARGET, run->target.c_str());
        return 1;
    }
    run->target_real = fileutl_realpath(run->target);
    std::string err;
    if (int rc = view_open(run->target_real, &run->view, &err))
        return refuse(run, rc == VOB_NOT_FOUND ? "" : err);
    std::string root = fileutl_realpath(view_get_root(run->view)), &t = run->target_real;
    std::vector<std::string> below;
    if (fileutl_path_within(t, root))
        below = strutl_split(t.substr(root.size()), '/');
    if (below.empty() || below[0] == ".vantor_view")
        return refuse(run, "it is the view's root or its records, which lie in no VOB");
    join_vob_tag(run->view, &below);
    if (view_get_vob(run->view, "/" + below[0], &run->vob) != VOB_OK)
        return refuse(run, view_errmsg(run->view));
    // A VOB that can only be read is refused before anything is done; a
    // preview changes nothing and may read it.
    if (!run->p->preview && vob_check_writable(run->vob) != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, fsi_cat(), FSI_FAILED, run->target.c_str(), vob_errmsg(run->vob).c_str());
        return 1;
    }
    run->view_tag = view_get_tag(run->view);
    run->rules = view_get_rules(run->view);
    run->rules_select_latest = true;
    bool first_for_files = true;
    for (const vob_rule &r : run->rules) {
        if (r.kind != vob_rule::CHECKEDOUT && r.kind != vob_rule::LATEST)
            run->rules_select_latest = false;
        if (first_for_files && r.only != VOB_MT_DIR_ELEM) {
            // A CHECKEDOUT rule of some paths only leaves the others to be looked up.
            run->rules_see_checkouts = r.kind == vob_rule::CHECKEDOUT && r.path.empty();
            first_for_files = false;
        }
    }
    run->root_elem = vob_wk_obj(run->vob, VOB_WK_ROOT_DIR);
    run->lost_found = vob_wk_obj(run->vob, VOB_WK_LOST_FOUND);

    // Down the path through the versions the view selects.
    vob_oid cur = run->root_elem;
    std::string shown = root + "/" + below[0], vpath = "/" + below[0];
    run->target_path.push_back({cur, below.size() == 1 ? run->target : shown, vpath});
    size_t i = 1;
    for (; i < below.size(); ++i) {
        vob_oid ver = 0, branch = 0, next = 0;
        if (fsi_selected_dir(run, cur, vpath, &ver, &branch) != VOB_OK)
            return refuse(run, vob_errmsg(run->vob));
        int rc = vob_dir_lookup(run->vob, ver, below[i], &next);
        if (rc == VOB_NOT_FOUND)
            break;
        int mtype = 0;
        if (rc != VOB_OK || vob_obj_get_mtype(run->vob, next, &mtype) != VOB_OK)
            return refuse(run, vob_errmsg(run->vob));
        if (mtype != VOB_MT_DIR_ELEM)
            return refuse(run, "\"" + below[i] + "\" is a file element in the VOB");
        cur = next;
        shown += "/" + below[i];
        vpath += "/" + below[i];
        run->target_path.push_back({cur, i + 1 == below.size() ? run->target : shown, vpath});
    }
    run->target_vpath = vpath;
    for (size_t k = i; k < below.size(); ++k)
        run->target_vpath += "/" + below[k];
    if (i == below.size()) {
        run->target_elem = cur;
        return 0;
    }
    std::vector<std::string> missing(below.begin() + long(i), below.end());
    if (run->p->preview) {
        for (const std::string &m : missing) {
            shown += "/" + m;
            fsi_action_shown(run, "new element", shown);
        }
        run->target_elem = 0;
        return 0;
    }
    return make_path(run, cur, vpath, missing, shown + "/" + missing[0]);
}
