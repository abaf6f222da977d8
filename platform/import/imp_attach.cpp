// What a record attaches: labels (and LabelAll), attributes and merge
// hyperlinks.
#include "platform/import/imp_elem.h"
#include "platform/import/imp_msgs.h"

namespace {

// Labels (and LabelAll) of a data-file version, attached to version `ver`.
// A label ends where the data file says, whether the version is new or was
// imported before: a label type marks one version of an element, so one on
// another version (an earlier import's, or a tag moved since) moves here.
// Only when two records of this data file name the same label for the
// element does the first keep it. LabelAll follows this import to the
// element's last version in the file.
int attach_labels(imp_elem_ctx *c, const imp_version &v, vob_oid ver, const std::string &ver_id,
                  const vob_event &ev) {
    std::vector<std::string> labels = v.labels;
    const imp_opt_str &all = c->run->head.globals.label_all;
    if (all && !all->empty())
        labels.push_back(*all);
    for (size_t i = 0; i < labels.size(); ++i) {
        const std::string &label = labels[i];
        bool is_all = i == v.labels.size();
        vob_oid lbtype, where = 0;
        if (imp_el_find_type(c, VOB_MT_LBTYPE, label, &lbtype))
            return 1;
        int rc = vob_elem_find_label(c->vob, c->elem, lbtype, &where);
        if (rc && rc != VOB_NOT_FOUND)
            return imp_el_store_fail(c, "cannot look up label " + label);
        if (rc == VOB_NOT_FOUND)
            where = 0;
        c->label_was.emplace(lbtype, where);
        auto mine = c->label_on.find(lbtype);
        if (where != ver && where && !is_all && mine != c->label_on.end() && mine->second == where) {
            vob_ver_info wi;
            if (vob_ver_get(c->vob, where, &wi) != VOB_OK)
                return imp_el_store_fail(c, "cannot look up label " + label);
            imp_progress_break(c->run);
            IMSG_PRINT(IMSG_WARNING, importer_import_msg_table_adr(), IMP_LABEL_ELSEWHERE,
                       c->el->name.c_str(), label.c_str(), wi.id.c_str(), ver_id.c_str());
            continue;
        }
        c->label_on[lbtype] = ver;
        if (where == ver)
            continue;
        if (imp_el_unlock(c, c->elem))
            return 1;
        if (vob_ver_add_label(c->vob, ver, lbtype, 1, &ev))
            return imp_el_store_fail(c, "cannot attach label " + label + " to " + ver_id);
    }
    return 0;
}

}   // namespace

int imp_el_set_attributes(imp_elem_ctx *c, const imp_str_list &attrs, vob_oid obj, const vob_event &ev,
                          bool only_changes) {
    std::vector<vob_attr> have;
    if (only_changes && vob_obj_get_attrs(c->vob, obj, &have))
        return imp_el_store_fail(c, "cannot read attributes");
    for (const std::string &a : attrs) {
        std::string name, value;
        if (!imp_el_split_attr(a, &name, &value)) {
            imp_progress_break(c->run);
            IMSG_PRINT(IMSG_WARNING, importer_import_msg_table_adr(), IMP_BAD_ATTRIBUTE, c->el->name.c_str(),
                       a.c_str());
            continue;
        }
        bool same = false;
        for (const vob_attr &h : have)
            same = same || (h.name == name && h.value == value);
        if (same)
            continue;
        vob_oid attype;
        if (imp_el_find_type(c, VOB_MT_ATTYPE, name, &attype) || imp_el_unlock(c, c->elem))
            return 1;
        if (vob_obj_set_attr(c->vob, obj, attype, value, &ev))
            return imp_el_store_fail(c, "cannot set attribute " + name);
    }
    return 0;
}

int imp_el_attach_record(imp_elem_ctx *c, const imp_version &v, vob_oid ver, const std::string &ver_id,
                         const vob_event &ev, bool only_changes) {
    if (attach_labels(c, v, ver, ver_id, ev) || imp_el_set_attributes(c, v.attributes, ver, ev, only_changes))
        return 1;
    for (const std::string &m : v.merges)
        c->merges.push_back({ver, ver_id, m, 1, ev});
    for (const std::string &m : v.fmerges)
        c->merges.push_back({ver, ver_id, m, 0, ev});
    return 0;
}

void imp_el_label_counts(const imp_elem_ctx *c, long *added, long *moved) {
    for (const auto &[lbtype, on] : c->label_on) {
        auto was = c->label_was.find(lbtype);
        vob_oid before = was == c->label_was.end() ? 0 : was->second;
        *added += before == 0;
        *moved += before != 0 && before != on;
    }
}

// Merge hyperlinks, once all versions of the element exist; a link that is
// there already (both ends name it) is made once.
int imp_el_make_merges(imp_elem_ctx *c) {
    vob_oid hltype = vob_wk_obj(c->vob, VOB_WK_MERGE_HLTYPE);
    for (const imp_pending_merge &m : c->merges) {
        vob_oid other = 0;
        auto it = c->by_vid.find(m.other);
        if (it != c->by_vid.end())
            other = it->second;
        else if (vob_ver_find(c->vob, c->elem, m.other[0] == '/' ? m.other : "/main/" + m.other, &other))
            other = 0;
        if (!other) {
            imp_progress_break(c->run);
            IMSG_PRINT(IMSG_WARNING, importer_import_msg_table_adr(), IMP_MERGE_UNKNOWN, c->el->name.c_str(),
                       m.vid.c_str(), m.other.c_str());
            continue;
        }
        vob_oid from = m.into ? other : m.ver, to = m.into ? m.ver : other;
        std::vector<vob_hlink> links;
        if (vob_obj_get_hlinks(c->vob, from, hltype, VOB_HL_FROM, &links))
            return imp_el_store_fail(c, "cannot read hyperlinks");
        bool have = false;
        for (const vob_hlink &l : links)
            have = have || l.to == to;
        if (have)
            continue;
        if (imp_el_unlock(c, c->elem))
            return 1;
        if (vob_hlink_create(c->vob, hltype, from, to, &m.ev, nullptr))
            return imp_el_store_fail(c, "cannot make the Merge hyperlink of " + m.vid);
    }
    return 0;
}
