// Baselines: a label type of the component's VOB whose labels below the
// root are the baseline. Import baselines take a label an import applied,
// normal ones label the /main/LATEST tree themselves; the initial baseline
// is made with its component and has no label (it selects /main/0).
#include "platform/orbis/orb_int.h"

#include "platform/store/vob_msg.h"

#include <algorithm>
#include <unordered_set>

const char *orb_bl_kind_name(int kind) {
    switch (kind) {
        case ORB_BL_INITIAL:
            return "initial";
        case ORB_BL_IMPORT:
            return "import";
        case ORB_BL_NORMAL:
            return "normal";
    }
    return "unknown";
}

static int taken(vob_t *pvob, const std::string &name) {
    return vob_fail(pvob, VOB_EXISTS,
                    VOB_MSG(VM_TYPE_EXISTS, vob_get_tag(pvob).c_str(), "baseline", name.c_str()));
}

static int selects_none(vob_t *pvob, const orb_component &c, const std::string &lbtype) {
    return vob_fail(pvob, VOB_ERR,
                    ORB_MSG(ORB_SELECTS_NONE, c.vob_tag.c_str(), lbtype.c_str(), c.name.c_str(),
                            orb_component_root(c).c_str()));
}

// Where the label type stands in the component's open VOB: 0 not there
// (the VOB's message says so), 1 on no version of the root, 2 on a version
// of the root. A failure status when the VOB cannot be read.
static int find_label(vob_t *cv, const orb_component &c, const std::string &lbtype, int *found) {
    vob_oid lbt = 0, ver = 0;
    int rc = vob_type_find(cv, VOB_MT_LBTYPE, lbtype, &lbt);
    if (rc == VOB_OK)
        rc = vob_elem_find_label(cv, c.root_elem, lbt, &ver);
    if (rc != VOB_OK && rc != VOB_NOT_FOUND)
        return rc;
    *found = rc == VOB_OK ? 2 : lbt ? 1 : 0;
    return VOB_OK;
}

int orb_baseline_selects(vob_t *pvob, const orb_baseline &b, const orb_component &c, bool *selects,
                         std::string *why) {
    *selects = true;
    if (b.kind == ORB_BL_INITIAL)
        return VOB_OK;
    orb_vob cv;
    int found = 0;
    int rc = orb_open_comp_vob(pvob, c, &cv);
    if (rc == VOB_OK && (rc = find_label(cv.v, c, b.lbtype, &found)) != VOB_OK)
        return orb_pass(pvob, cv.v, rc);
    if (rc != VOB_OK)
        return rc;
    if (found < 2) {
        *selects = false;
        *why = ORB_MSG(ORB_SELECTS_NONE, c.vob_tag.c_str(), b.lbtype.c_str(), c.name.c_str(),
                       orb_component_root(c).c_str());
    }
    return VOB_OK;
}

// The first free of name, "<name>.<comp>", "<name>.<comp>.N".
static int free_import_name(vob_t *pvob, const std::string &label, const std::string &comp,
                            std::string *out) {
    std::string cand = label;
    for (int n = 0;; n++) {
        vob_oid have = 0;
        int rc = vob_record_find(pvob, VOB_MT_BASELINE, cand, &have);
        if (rc == VOB_NOT_FOUND)
            break;
        if (rc != VOB_OK)
            return rc;
        cand = label + "." + comp + (n ? "." + std::to_string(n) : "");
    }
    *out = cand;
    return orb_check_name(pvob, cand, "baseline");
}

static int create_import(vob_t *pvob, bool &wrote, orb_baseline *b, const std::string &lbtype_vob,
                         const vob_event *ev) {
    orb_component c;
    int rc = orb_load(pvob, b->comp, &c);
    if (rc != VOB_OK)
        return rc;
    std::string tag = lbtype_vob.empty() || lbtype_vob[0] == '/' ? lbtype_vob : "/" + lbtype_vob;
    if (tag != c.vob_tag)
        return vob_fail(
            pvob, VOB_ERR,
            ORB_MSG(ORB_LBTYPE_VOB, b->lbtype.c_str(), tag.c_str(), c.name.c_str(), c.vob_tag.c_str()));
    {
        orb_vob cv;
        int found = 0;
        if ((rc = orb_open_comp_vob(pvob, c, &cv)) != VOB_OK)
            return rc;
        if ((rc = find_label(cv.v, c, b->lbtype, &found)) != VOB_OK || found == 0)
            return orb_pass(pvob, cv.v, rc == VOB_OK ? VOB_NOT_FOUND : rc);
        if (found == 1)
            return selects_none(pvob, c, b->lbtype);
    }
    vob_oid have = 0;
    if (b->name.empty())
        rc = free_import_name(pvob, b->lbtype, c.name, &b->name);
    else if ((rc = vob_record_find(pvob, VOB_MT_BASELINE, b->name, &have)) == VOB_OK)
        return taken(pvob, b->name);
    else if (rc == VOB_NOT_FOUND)
        rc = VOB_OK;
    if (rc != VOB_OK)
        return rc;
    b->comp_name = c.name;
    wrote = true;
    return orb_make_record(pvob, VOB_MT_BASELINE, b->name, orb_baseline_body(*b), ev, &b->oid);
}

int orb_baseline_create_import(vob_t *pvob, const std::string &name, vob_oid comp,
                               const std::string &lbtype_vob, const std::string &lbtype, const vob_event *ev,
                               vob_oid *out) {
    orb_baseline b;
    b.name = name;
    b.comp = comp;
    b.kind = ORB_BL_IMPORT;
    b.lbtype = lbtype;
    int rc = orb_check_pvob(pvob);
    if (rc == VOB_OK && !name.empty())
        rc = orb_check_name(pvob, name, "baseline");
    if (rc == VOB_OK)
        rc = orb_write(pvob,
                       [&](bool &wrote) -> int { return create_import(pvob, wrote, &b, lbtype_vob, ev); });
    if (rc == VOB_OK && out)
        *out = b.oid;
    return rc;
}

// Labels the /main/LATEST version of the root and of every element met
// below it through /main/LATEST directory versions, each element once: a
// few queries per element, so linear in the tree.
static int label_tree(vob_t *cv, vob_oid root, vob_oid lbtype, const vob_event *ev) {
    std::vector<vob_oid> todo{root};
    std::unordered_set<vob_oid> seen{root};
    std::vector<vob_dirent> ents;
    while (!todo.empty()) {
        vob_oid elem = todo.back();
        todo.pop_back();
        vob_elem_info ei;
        vob_oid ver = 0;
        int rc = vob_elem_get(cv, elem, &ei);
        if (rc == VOB_OK)
            rc = vob_branch_get_latest(cv, ei.main_branch, &ver);
        if (rc == VOB_OK)
            rc = vob_ver_add_label(cv, ver, lbtype, 0, ev);
        if (rc == VOB_OK && ei.mtype == VOB_MT_DIR_ELEM)
            rc = vob_dir_read(cv, ver, &ents);
        if (rc != VOB_OK)
            return rc;
        if (ei.mtype != VOB_MT_DIR_ELEM)
            continue;
        for (const vob_dirent &d : ents)
            if (seen.insert(d.elem).second)
                todo.push_back(d.elem);
    }
    return VOB_OK;
}

// The label type and its labels, in one transaction of the component's VOB.
// *wrote: something was written (when that transaction is the caller's, a
// failure after it must doom it; a refusal before it leaves it as it was).
static int label_component(vob_t *cv, const orb_component &c, const std::string &name, const vob_event *ev,
                           bool *wrote) {
    vob_txn t(cv);
    vob_oid lbtype = 0;
    int rc = t.begin();
    if (rc == VOB_OK && (rc = vob_type_create(cv, VOB_MT_LBTYPE, name, ev, &lbtype)) == VOB_OK) {
        *wrote = true;
        rc = label_tree(cv, c.root_elem, lbtype, ev);
    }
    if (rc == VOB_OK)
        return t.commit();
    if (*wrote)
        t.rollback();
    return rc;
}

static int create_normal(vob_t *pvob, bool &wrote, orb_baseline *b, const vob_event *ev) {
    vob_oid have = 0;
    int rc = vob_record_find(pvob, VOB_MT_BASELINE, b->name, &have);
    if (rc == VOB_OK)
        return taken(pvob, b->name);
    if (rc != VOB_NOT_FOUND)
        return rc;
    orb_component c;
    if ((rc = orb_load(pvob, b->comp, &c)) != VOB_OK)
        return rc;
    b->comp_name = c.name;
    {
        orb_vob cv;
        if ((rc = orb_open_comp_vob(pvob, c, &cv)) != VOB_OK)
            return rc;
        // In the project VOB itself the labels join this transaction.
        bool labelled = false;
        rc = label_component(cv.v, c, b->name, ev, &labelled);
        if (cv.v == pvob)
            wrote = labelled;
        if (rc != VOB_OK)
            return orb_pass(pvob, cv.v, rc);
    }
    wrote = true;
    return orb_make_record(pvob, VOB_MT_BASELINE, b->name, orb_baseline_body(*b), ev, &b->oid);
}

int orb_baseline_create_normal(vob_t *pvob, const std::string &name, vob_oid comp, const vob_event *ev,
                               vob_oid *out) {
    orb_baseline b;
    b.name = name;
    b.comp = comp;
    b.kind = ORB_BL_NORMAL;
    b.lbtype = name;
    int rc = orb_check_pvob(pvob);
    if (rc == VOB_OK)
        rc = orb_check_name(pvob, name, "baseline");
    if (rc == VOB_OK)
        rc = orb_write(pvob, [&](bool &wrote) -> int { return create_normal(pvob, wrote, &b, ev); });
    if (rc == VOB_OK && out)
        *out = b.oid;
    return rc;
}

int orb_baseline_find(vob_t *pvob, const std::string &name, vob_oid *out) {
    int rc = orb_check_pvob(pvob);
    return rc == VOB_OK ? vob_record_find(pvob, VOB_MT_BASELINE, name, out) : rc;
}

int orb_baseline_get(vob_t *pvob, vob_oid bl, orb_baseline *out) {
    int rc = orb_check_pvob(pvob);
    return rc == VOB_OK ? orb_load(pvob, bl, out) : rc;
}

int orb_baseline_list(vob_t *pvob, vob_oid comp, std::vector<orb_baseline> *out) {
    std::vector<vob_record> recs;
    int rc = orb_check_pvob(pvob);
    if (rc == VOB_OK)
        rc = vob_record_list(pvob, VOB_MT_BASELINE, &recs);
    std::sort(recs.begin(), recs.end(),
              [](const vob_record &a, const vob_record &b) { return a.oid < b.oid; });
    std::vector<orb_baseline> all;
    for (size_t i = 0; rc == VOB_OK && i < recs.size(); i++) {
        orb_baseline b;
        if ((rc = orb_load(pvob, recs[i].oid, &b)) == VOB_OK && (!comp || b.comp == comp))
            all.push_back(std::move(b));
    }
    if (rc == VOB_OK)
        *out = std::move(all);
    return rc;
}
