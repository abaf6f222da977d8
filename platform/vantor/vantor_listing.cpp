// vantor's commands that read: cat, describe, dump, diff.
#include "platform/orbis/orbis.h"
#include "platform/registry/vob_tag.h"
#include "platform/store/vob_dump.h"
#include "platform/vantor/vantor_int.h"
#include "runtime/date.h"
#include "runtime/strutl.h"
#include "runtime/typename.h"

#include <cstdio>

std::string show_text(const std::string &s) { return typename_show_text(s); }

std::string show_comment(const std::string &c) {
    size_t end = c.find_last_not_of('\n');
    return end == std::string::npos ? "(none)" : typename_show_text(std::string_view(c).substr(0, end + 1));
}

std::string event_line(const vob_event &e) {
    std::string s = date_format_utc(e.time) + " by " + show_text(e.user);
    if (!e.name.empty())
        s += " (" + show_text(e.name) + ")";
    return s + ", group " + show_text(e.group) + ", on " + show_text(e.host);
}

namespace {

std::string type_name(vob_t *v, vob_oid t) {
    std::string n;
    return vob_type_get_name(v, t, &n) == VOB_OK ? n : "?";
}

}   // namespace

std::string ver_id(vob_t *v, vob_oid ver) {
    vob_ver_info vi;
    return vob_ver_get(v, ver, &vi) == VOB_OK ? vi.id : "?";
}

namespace {

// Everything describe prints, read before anything is printed.
struct describe_t {
    vob_elem_info ei;
    vob_ver_info vi;
    vob_event ee, ve;
    std::vector<vob_label> labels;
    std::vector<vob_attr> attrs, eattrs;
    std::vector<vob_hlink> from, to;
    std::vector<vob_ckout> cks;
    std::vector<vob_event> ck_events;
    std::vector<std::string> ck_vers;
    std::vector<vob_vtree_node> tree;
    std::vector<std::string> links;   // "TYPE <- VERSION" (to this version), then "TYPE -> VERSION"
    int elem_lock = -1;               // -1 not locked, else obsolete 0 or 1
    std::vector<std::pair<std::string, int>> branch_locks;   // path, obsolete
};

// -1 when obj is not locked (or its lock cannot be read), else its obsolete flag.
int lock_state(vob_t *v, vob_oid obj) {
    vob_lock lk;
    return vob_obj_get_lock(v, obj, &lk) == VOB_OK ? lk.obsolete : -1;
}

// What describe_read leaves out of the failure: names it shows as "?" and
// locks it shows only when it can read them.
void describe_read_names(vob_t *v, const vob_pname &p, describe_t *d) {
    for (auto &h : d->to)
        d->links.push_back(type_name(v, h.hltype) + " <- " + ver_id(v, h.from));
    for (auto &h : d->from)
        d->links.push_back(type_name(v, h.hltype) + " -> " + ver_id(v, h.to));
    for (auto &c : d->cks)
        d->ck_vers.push_back(ver_id(v, c.ver));
    d->elem_lock = lock_state(v, p.elem);
    for (auto &n : d->tree)
        for (size_t i = 0; i < n.sub_branches.size(); i++) {
            int lk = lock_state(v, n.sub_branches[i]);
            if (lk >= 0)
                d->branch_locks.emplace_back(n.sub_branch_paths[i], lk);
        }
}

int describe_read(vob_t *v, const vob_pname &p, describe_t *d) {
    int rc;
    if ((rc = vob_elem_get(v, p.elem, &d->ei)) != VOB_OK || (rc = vob_ver_get(v, p.ver, &d->vi)) != VOB_OK ||
        (rc = vob_obj_get_event(v, p.elem, &d->ee)) != VOB_OK ||
        (rc = vob_obj_get_event(v, p.ver, &d->ve)) != VOB_OK ||
        (rc = vob_ver_get_labels(v, p.ver, &d->labels)) != VOB_OK ||
        (rc = vob_obj_get_attrs(v, p.ver, &d->attrs)) != VOB_OK ||
        (rc = vob_obj_get_hlinks(v, p.ver, 0, VOB_HL_FROM, &d->from)) != VOB_OK ||
        (rc = vob_obj_get_hlinks(v, p.ver, 0, VOB_HL_TO, &d->to)) != VOB_OK ||
        (rc = vob_obj_get_attrs(v, p.elem, &d->eattrs)) != VOB_OK ||
        (rc = vob_elem_get_ckouts(v, p.elem, &d->cks)) != VOB_OK ||
        (rc = vob_elem_get_vtree(v, p.elem, &d->tree)) != VOB_OK)
        return rc;
    d->ck_events.resize(d->cks.size());
    for (size_t i = 0; i < d->cks.size(); i++)
        if ((rc = vob_obj_get_event(v, d->cks[i].oid, &d->ck_events[i])) != VOB_OK)
            return rc;
    describe_read_names(v, p, d);
    return VOB_OK;
}

}   // namespace

int cmd_cat(const args_t &a) {
    vob_pname p;
    if (!resolve(a.ops[0], &p))
        return 1;
    std::string bytes;
    if (vob_ver_read_data(p.vob, p.ver, &bytes) != VOB_OK)
        return vob_failed(p.vob);
    fwrite(bytes.data(), 1, bytes.size(), stdout);
    return 0;
}

int cmd_describe(const args_t &a) {
    vob_pname p;
    if (!resolve(a.ops[0], &p))
        return 1;
    vob_t *v = p.vob;
    describe_t d;
    if (describe_read(v, p, &d) != VOB_OK)
        return vob_failed(v);
    const vob_elem_info &ei = d.ei;
    const vob_ver_info &vi = d.vi;
    std::string path = p.vob_tag + (p.vob_path.empty() ? "" : "/" + p.vob_path);
    printf("%s \"%s@@%s\"\n", ei.mtype == VOB_MT_DIR_ELEM ? "directory version" : "version", path.c_str(),
           vi.id.c_str());
    printf("  created %s\n", event_line(d.ve).c_str());
    printf("  comment: %s\n", show_comment(d.ve.comment).c_str());
    if (ei.mtype != VOB_MT_DIR_ELEM)
        printf("  contents: %s\n",
               vi.has_data ? (std::to_string(vi.size) + " bytes, sha256 " + vi.sha256).c_str() : "(none)");
    printf("  labels:");
    for (auto &l : d.labels)
        printf(" %s", l.name.c_str());
    printf("%s\n", d.labels.empty() ? " (none)" : "");
    printf("  attributes:%s\n", d.attrs.empty() ? " (none)" : "");
    for (auto &x : d.attrs)
        printf("    %s = %s\n", x.name.c_str(), show_text(x.value).c_str());
    printf("  hyperlinks:%s\n", d.links.empty() ? " (none)" : "");
    for (auto &l : d.links)
        printf("    %s\n", l.c_str());
    printf("  element \"%s\"\n", path.c_str());
    printf("    element type: %s\n", ei.eltype_name.c_str());
    printf("    created %s\n", event_line(d.ee).c_str());
    printf("    comment: %s\n", show_comment(d.ee.comment).c_str());
    if (d.elem_lock >= 0)
        printf("    locked%s\n", d.elem_lock ? " (obsolete)" : "");
    for (auto &x : d.eattrs)
        printf("    attribute %s = %s\n", x.name.c_str(), show_text(x.value).c_str());
    printf("    checkouts:%s\n", d.cks.empty() ? " (none)" : "");
    for (size_t i = 0; i < d.cks.size(); i++) {
        const vob_ckout &c = d.cks[i];
        printf("      %s:%s (%s) in view \"%s\"\n", show_text(d.ck_events[i].user).c_str(), d.ck_vers[i].c_str(),
               c.reserved ? "reserved" : "unreserved", c.view_tag.c_str());
    }
    for (auto &b : d.branch_locks)
        printf("    branch %s locked%s\n", b.first.c_str(), b.second ? " (obsolete)" : "");
    return 0;
}

int cmd_dump(const args_t &a) {
    if (!a.has("json")) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_MISSING_ARG, "dump", "--json");
        return 1;
    }
    vob_t *v;
    std::string err;
    if (vob_open_tag(a.ops[0], &v, &err) != VOB_OK)
        return fail_text(err);
    // A project VOB's dump holds its projects, components, baselines and streams too.
    std::string members;
    int rc = orb_dump_members(v, &members);
    if (rc == VOB_OK)
        rc = vob_dump_json(v, stdout, &err, members);
    else
        err = vob_errmsg(v);
    vob_close(v);
    // A dump that could not be written is reported once, by main's check
    // of the output (which also ends silently when the reader has gone).
    if (rc != VOB_OK && std::ferror(stdout))
        return 0;
    return rc == VOB_OK ? 0 : fail_text(err);
}

// Exit status 0: the same, 1: differences, 2: not compared.
int cmd_diff(const args_t &a) {
    view_t *v;
    if (!need_view_of("diff", a.ops[0], &v))
        return 2;
    std::vector<view_diff_item> items;
    view_diff_stats st;
    if (view_diff(v, a.ops[0], a.ops[1], a.has("r"), a.has("prune"), &items, &st) != VOB_OK) {
        view_failed(v);
        view_close(v);
        return 2;
    }
    if (st.unselected)
        IMSG_PRINT(IMSG_WARNING, cat(), VT_NOT_SELECTED, a.ops[0].c_str(), view_get_tag(v).c_str());
    view_close(v);
    long long n[4] = {};
    for (const view_diff_item &d : items) {
        n[d.kind]++;
        switch (d.kind) {
            case view_diff_item::ONLY_VIEW:
                IMSG_PRINT(IMSG_NOTICE, cat(), VT_DIFF_ONLY_VIEW, d.path.c_str());
                break;
            case view_diff_item::ONLY_DIR:
                IMSG_PRINT(IMSG_NOTICE, cat(), VT_DIFF_ONLY_DIR, d.path.c_str());
                break;
            case view_diff_item::DIFFERS:
                IMSG_PRINT(IMSG_NOTICE, cat(), VT_DIFF_DIFFERS, d.path.c_str());
                break;
            case view_diff_item::KIND_DIFFERS:
                IMSG_PRINT(IMSG_NOTICE, cat(), VT_DIFF_KIND, d.path.c_str());
                break;
        }
    }
    IMSG_PRINT(IMSG_REPORT, cat(), VT_DIFF_SUMMARY_N,
               strutl_count((long long)items.size(), "difference", "differences").c_str(),
               n[view_diff_item::ONLY_VIEW], n[view_diff_item::ONLY_DIR], n[view_diff_item::DIFFERS],
               n[view_diff_item::KIND_DIFFERS], strutl_count((long long)st.files, "file", "files").c_str(),
               strutl_count((long long)st.dirs, "directory", "directories").c_str());
    return items.empty() ? 0 : 1;
}
