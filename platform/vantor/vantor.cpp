// vantor: the admin command of the VOB store and its snapshot views.
// Exit status 0 on success, 1 on any failure (diff: 0 the same, 1
// differences, 2 not compared); every failure is reported with a message
// that names what failed.
#include "platform/registry/vob_tag.h"
#include "platform/view/pname.h"
#include "platform/registry/registry.h"
#include "platform/vantor/vantor_msg.h"
#include "platform/view/view.h"
#include "platform/store/vob.h"
#include "platform/store/vob_dump.h"
#include "runtime/date.h"
#include "runtime/ks.h"
#include "runtime/pfm.h"
#include "runtime/version.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const imsg_catalog *cat() { return vantor_cmd_vantor_msg_table_adr(); }

int fail_text(const std::string &msg) {
    IMSG_PRINT(IMSG_ERROR, cat(), VT_ERR_TEXT, msg.c_str());
    return 1;
}

// Parsed command line of one command: flags, options with a value, operands.
struct args_t {
    const char *cmd;
    std::map<std::string, int> flags;
    std::map<std::string, std::vector<std::string>> opts;
    std::vector<std::string> ops;
    int bad = 0;
    bool has(const char *f) const { return flags.count(f) != 0; }
    std::string opt(const char *o) const {
        auto it = opts.find(o);
        return it == opts.end() || it->second.empty() ? std::string() : it->second.back();
    }
};

// flag_names and opt_names: space-separated option words without the "-".
args_t parse(const char *cmd, const std::vector<std::string> &argv, const char *flag_names,
             const char *opt_names) {
    args_t a;
    a.cmd = cmd;
    auto in = [](const char *list, const std::string &w) {
        std::string l = std::string(" ") + list + " ";
        return l.find(" " + w + " ") != std::string::npos;
    };
    bool operands_only = false;
    for (size_t i = 0; i < argv.size(); i++) {
        const std::string &w = argv[i];
        if (operands_only || w.size() < 2 || w[0] != '-') {
            a.ops.push_back(w);
            continue;
        }
        if (w == "--") {
            operands_only = true;
            continue;
        }
        std::string name = w.substr(w[1] == '-' ? 2 : 1);
        if (in(flag_names, name)) {
            a.flags[name] = 1;
        } else if (in(opt_names, name)) {
            if (i + 1 >= argv.size()) {
                IMSG_PRINT(IMSG_ERROR, cat(), VT_MISSING_ARG, cmd, ("value of " + w).c_str());
                a.bad = 1;
                return a;
            }
            a.opts[name].push_back(argv[++i]);
        } else {
            IMSG_PRINT(IMSG_ERROR, cat(), VT_BAD_OPTION, cmd, w.c_str());
            a.bad = 1;
            return a;
        }
    }
    return a;
}

// Checks the operand count: min..max (max < 0: any).
bool operands(const args_t &a, size_t min, long max, const char *what) {
    if (a.ops.size() < min) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_MISSING_ARG, a.cmd, what);
        return false;
    }
    if (max >= 0 && a.ops.size() > (size_t)max) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_EXTRA_ARG, a.cmd, a.ops[(size_t)max].c_str());
        return false;
    }
    return true;
}

std::string event_line(const vob_event &e) {
    std::string s = date_format_utc(e.time) + " by " + e.user;
    if (!e.name.empty())
        s += " (" + e.name + ")";
    return s + ", group " + e.group + ", on " + e.host;
}

// Resolves a path operand and prints the failure.
bool resolve(const args_t &a, const std::string &p, vob_pname *out) {
    std::string err;
    if (vob_resolve_pname(p, out, &err) != VOB_OK) {
        fail_text(err);
        return false;
    }
    (void)a;
    return true;
}

int vob_failed(vob_t *v) { return fail_text(vob_errmsg(v)); }
int view_failed(view_t *v) { return fail_text(view_errmsg(v)); }

// ---- VOBs and views ------------------------------------------------------------

int cmd_mkvob(const std::vector<std::string> &argv) {
    args_t a = parse("mkvob", argv, "project", "tag");
    if (a.bad || !operands(a, 0, 1, "storage directory"))
        return 1;
    std::string tag = a.opt("tag"), storage, err;
    if (tag.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_MISSING_ARG, "mkvob", "-tag TAG");
        return 1;
    }
    if (vob_make(tag, a.ops.empty() ? "" : a.ops[0], a.has("project"), &storage, &err) != VOB_OK)
        return fail_text(err);
    IMSG_PRINT(IMSG_NOTICE, cat(), VT_CREATED_VOB, tag.c_str(), storage.c_str());
    return 0;
}

int cmd_rmvob(const std::vector<std::string> &argv) {
    args_t a = parse("rmvob", argv, "", "");
    if (a.bad || !operands(a, 1, 1, "VOB tag"))
        return 1;
    std::string err;
    return vob_remove(a.ops[0], &err) == VOB_OK ? 0 : fail_text(err);
}

int cmd_lsvob(const std::vector<std::string> &argv) {
    args_t a = parse("lsvob", argv, "", "region");
    if (a.bad || !operands(a, 0, 0, ""))
        return 1;
    std::vector<rgy_vob> vobs;
    std::string err;
    if (rgy_vob_list(a.opt("region"), &vobs, &err) != VOB_OK)
        return fail_text(err);
    for (auto &v : vobs)
        printf("%-24s %s%s\n", v.tag.c_str(), v.storage.c_str(), v.project ? " (project VOB)" : "");
    return 0;
}

// Redraws the loading line; *ctx is set once it was drawn.
void progress_cb(void *ctx, int64_t done, int64_t total) {
    *static_cast<bool *>(ctx) = true;
    if (total < 0)
        IMSG_PRINT_NONL(IMSG_CONT, cat(), VT_PROGRESS, (long long)done);
    else
        IMSG_PRINT_NONL(IMSG_CONT, cat(), VT_PROGRESS_OF, (long long)done, (long long)total);
}

int do_update(view_t *v) {
    view_progress pr;
    bool drawn = false;
    if (isatty(2)) {
        pr.cb = progress_cb;
        pr.ctx = &drawn;
        pr.with_total = 1;
    }
    view_update_stats st;
    std::vector<std::string> warnings;
    int rc = view_update(v, &pr, &st, &warnings);
    if (drawn)
        imsg_printf_nonl(IMSG_CONT, "\r%60s\r", "");
    for (auto &w : warnings)
        IMSG_PRINT(IMSG_WARNING, cat(), VT_WARN_TEXT, w.c_str());
    if (rc != VOB_OK)
        return view_failed(v);
    IMSG_PRINT(IMSG_NOTICE, cat(), VT_UPDATED, view_get_tag(v).c_str(), (long long)st.loaded,
               (long long)st.unchanged, (long long)st.removed, (long long)st.kept);
    if (st.no_contents)
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_NO_CONTENTS, (long long)st.no_contents);
    return 0;
}

int cmd_mkview(const std::vector<std::string> &argv) {
    args_t a = parse("mkview", argv, "", "tag vob");
    if (a.bad || !operands(a, 1, 1, "view directory"))
        return 1;
    std::string tag = a.opt("tag"), err;
    if (tag.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_MISSING_ARG, "mkview", "-tag VIEWTAG");
        return 1;
    }
    // Every VOB must exist before anything is made.
    for (auto &t : a.opts["vob"]) {
        rgy_vob rv;
        if (rgy_vob_find(t, "", &rv, &err) != VOB_OK)
            return fail_text(err);
    }
    if (view_make(tag, a.ops[0], &err) != VOB_OK)
        return fail_text(err);
    view_t *v = nullptr;
    if (view_open(a.ops[0], &v, &err) != VOB_OK)
        return fail_text(err);
    int rc = 0;
    for (auto &t : a.opts["vob"])
        if (view_add_scope(v, t) != VOB_OK) {
            rc = view_failed(v);
            break;
        }
    IMSG_PRINT(IMSG_NOTICE, cat(), VT_CREATED_VIEW, tag.c_str(), view_get_root(v).c_str());
    if (rc == 0)
        rc = do_update(v);
    view_close(v);
    return rc;
}

int cmd_rmview(const std::vector<std::string> &argv) {
    args_t a = parse("rmview", argv, "force", "");
    if (a.bad || !operands(a, 1, 1, "view directory"))
        return 1;
    std::string err;
    return view_remove(a.ops[0], a.has("force"), &err) == VOB_OK ? 0 : fail_text(err);
}

bool open_view(const char *cmd, const std::string &dir, view_t **v) {
    std::string err;
    if (view_open(dir, v, &err) != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_NEED_VIEW, cmd, dir.c_str());
        return false;
    }
    return true;
}

// The view of a path operand (which may name a version).
bool need_view_of(const char *cmd, const std::string &path, view_t **v) {
    std::string p, vid;
    if (!vob_split_xpname(path, &p, &vid))
        p = path;
    return open_view(cmd, p.empty() ? "." : p, v);
}

int cmd_update(const std::vector<std::string> &argv) {
    args_t a = parse("update", argv, "", "");
    if (a.bad || !operands(a, 0, 1, ""))
        return 1;
    view_t *v;
    if (!open_view("update", a.ops.empty() ? "." : a.ops[0], &v))
        return 1;
    int rc = do_update(v);
    view_close(v);
    return rc;
}

int cmd_setcs(const std::vector<std::string> &argv) {
    args_t a = parse("setcs", argv, "", "");
    if (a.bad || !operands(a, 1, 2, "config spec file"))
        return 1;
    view_t *v;
    if (!open_view("setcs", a.ops.size() > 1 ? a.ops[1] : ".", &v))
        return 1;
    int rc = view_set_config_spec_file(v, a.ops[0]) == VOB_OK ? do_update(v) : view_failed(v);
    view_close(v);
    return rc;
}

int cmd_catcs(const std::vector<std::string> &argv) {
    args_t a = parse("catcs", argv, "", "");
    if (a.bad || !operands(a, 0, 1, ""))
        return 1;
    view_t *v;
    if (!open_view("catcs", a.ops.empty() ? "." : a.ops[0], &v))
        return 1;
    std::string text;
    int rc = view_get_config_spec(v, &text) == VOB_OK ? 0 : view_failed(v);
    if (rc == 0)
        fputs(text.c_str(), stdout);
    view_close(v);
    return rc;
}

// ---- reading ---------------------------------------------------------------------

int cmd_lsvtree(const std::vector<std::string> &argv) {
    args_t a = parse("lsvtree", argv, "", "");
    if (a.bad || !operands(a, 1, 1, "element path"))
        return 1;
    vob_pname p;
    if (!resolve(a, a.ops[0], &p))
        return 1;
    std::vector<vob_vtree_node> tree;
    if (vob_elem_get_vtree(p.vob, p.elem, &tree) != VOB_OK)
        return vob_failed(p.vob);
    std::string out;
    for (auto &n : tree) {
        out += n.ver.id;
        if (!n.labels.empty()) {
            out += " (";
            for (size_t i = 0; i < n.labels.size(); i++)
                out += (i ? ", " : "") + n.labels[i];
            out += ")";
        }
        out += "\n";
    }
    fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int cmd_cat(const std::vector<std::string> &argv) {
    args_t a = parse("cat", argv, "", "");
    if (a.bad || !operands(a, 1, 1, "PATH@@VERSION"))
        return 1;
    vob_pname p;
    if (!resolve(a, a.ops[0], &p))
        return 1;
    std::string bytes;
    if (vob_ver_read_data(p.vob, p.ver, &bytes) != VOB_OK)
        return vob_failed(p.vob);
    fwrite(bytes.data(), 1, bytes.size(), stdout);
    return fflush(stdout) == 0 ? 0 : 1;
}

std::string type_name(vob_t *v, vob_oid t) {
    std::string n;
    return vob_type_get_name(v, t, &n) == VOB_OK ? n : "?";
}

std::string ver_id(vob_t *v, vob_oid ver) {
    vob_ver_info vi;
    return vob_ver_get(v, ver, &vi) == VOB_OK ? vi.id : "?";
}

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
    std::vector<vob_vtree_node> tree;
};

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
    return VOB_OK;
}

int cmd_describe(const std::vector<std::string> &argv) {
    args_t a = parse("describe", argv, "", "");
    if (a.bad || !operands(a, 1, 1, "PATH[@@VERSION]"))
        return 1;
    vob_pname p;
    if (!resolve(a, a.ops[0], &p))
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
    printf("  comment: %s\n", d.ve.comment.empty() ? "(none)" : d.ve.comment.c_str());
    if (ei.mtype != VOB_MT_DIR_ELEM)
        printf("  contents: %s\n",
               vi.has_data ? (std::to_string(vi.size) + " bytes, sha256 " + vi.sha256).c_str() : "(none)");
    printf("  labels:");
    for (auto &l : d.labels)
        printf(" %s", l.name.c_str());
    printf("%s\n", d.labels.empty() ? " (none)" : "");
    printf("  attributes:%s\n", d.attrs.empty() ? " (none)" : "");
    for (auto &x : d.attrs)
        printf("    %s = %s\n", x.name.c_str(), x.value.c_str());
    printf("  hyperlinks:%s\n", d.from.empty() && d.to.empty() ? " (none)" : "");
    for (auto &h : d.to)
        printf("    %s <- %s\n", type_name(v, h.hltype).c_str(), ver_id(v, h.from).c_str());
    for (auto &h : d.from)
        printf("    %s -> %s\n", type_name(v, h.hltype).c_str(), ver_id(v, h.to).c_str());
    printf("  element \"%s\"\n", path.c_str());
    printf("    element type: %s\n", ei.eltype_name.c_str());
    printf("    created %s\n", event_line(d.ee).c_str());
    printf("    comment: %s\n", d.ee.comment.empty() ? "(none)" : d.ee.comment.c_str());
    vob_lock lk;
    if (vob_obj_get_lock(v, p.elem, &lk) == VOB_OK)
        printf("    locked%s\n", lk.obsolete ? " (obsolete)" : "");
    for (auto &x : d.eattrs)
        printf("    attribute %s = %s\n", x.name.c_str(), x.value.c_str());
    printf("    checkouts:%s\n", d.cks.empty() ? " (none)" : "");
    for (size_t i = 0; i < d.cks.size(); i++) {
        const vob_ckout &c = d.cks[i];
        printf("      %s:%s (%s) in view \"%s\"\n", d.ck_events[i].user.c_str(), ver_id(v, c.ver).c_str(),
               c.reserved ? "reserved" : "unreserved", c.view_tag.c_str());
    }
    for (auto &n : d.tree)
        for (size_t i = 0; i < n.sub_branches.size(); i++)
            if (vob_obj_get_lock(v, n.sub_branches[i], &lk) == VOB_OK)
                printf("    branch %s locked%s\n", n.sub_branch_paths[i].c_str(),
                       lk.obsolete ? " (obsolete)" : "");
    return 0;
}

int cmd_dump(const std::vector<std::string> &argv) {
    args_t a = parse("dump", argv, "json", "");
    if (a.bad || !operands(a, 1, 1, "VOB tag"))
        return 1;
    if (!a.has("json")) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_MISSING_ARG, "dump", "--json");
        return 1;
    }
    vob_t *v;
    std::string err;
    if (vob_open_tag(a.ops[0], &v, &err) != VOB_OK)
        return fail_text(err);
    int rc = vob_dump_json(v, stdout, &err);
    vob_close(v);
    return rc == VOB_OK ? 0 : fail_text(err);
}

// Exit status 0: the same, 1: differences, 2: not compared.
int cmd_diff(const std::vector<std::string> &argv) {
    args_t a = parse("diff", argv, "r prune", "");
    if (a.bad || !operands(a, 2, 2, "VIEW-PATH DIR"))
        return 2;
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
    IMSG_PRINT(IMSG_REPORT, cat(), VT_DIFF_SUMMARY, (long long)items.size(), n[view_diff_item::ONLY_VIEW],
               n[view_diff_item::ONLY_DIR], n[view_diff_item::DIFFERS], n[view_diff_item::KIND_DIFFERS],
               (long long)st.files, (long long)st.dirs);
    if (fflush(stdout) != 0)
        return 2;
    return items.empty() ? 0 : 1;
}

// ---- changing ----------------------------------------------------------------------

// The VOB a type command works on: -vob TAG, NAME@TAG, or the VOB of the working directory.
bool type_vob(const args_t &a, std::string *name, vob_pname *here, vob_t **out, vob_t **owned) {
    std::string tag = a.opt("vob");
    size_t at = name->find('@');
    if (at != std::string::npos) {
        tag = name->substr(at + 1);
        name->resize(at);
    }
    std::string err;
    *owned = nullptr;
    if (!tag.empty()) {
        if (vob_open_tag(tag, owned, &err) != VOB_OK) {
            fail_text(err);
            return false;
        }
        *out = *owned;
        return true;
    }
    if (vob_resolve_pname(".", here, &err) != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_NEED_TAG, a.cmd);
        return false;
    }
    *out = here->vob;
    return true;
}

int mktype(const std::vector<std::string> &argv, const char *cmd, int mtype) {
    args_t a = parse(cmd, argv, "", "c vob");
    if (a.bad || !operands(a, 1, -1, "type name"))
        return 1;
    vob_event ev = vob_event_now(a.opt("c"));
    for (std::string name : a.ops) {
        vob_pname here;
        vob_t *v, *owned;
        if (!type_vob(a, &name, &here, &v, &owned))
            return 1;
        int rc = vob_type_create(v, mtype, name, &ev, nullptr);
        if (rc != VOB_OK) {
            vob_failed(v);
            vob_close(owned);
            return 1;
        }
        vob_close(owned);
    }
    return 0;
}

int cmd_mkbrtype(const std::vector<std::string> &a) { return mktype(a, "mkbrtype", VOB_MT_BRTYPE); }
int cmd_mklbtype(const std::vector<std::string> &a) { return mktype(a, "mklbtype", VOB_MT_LBTYPE); }
int cmd_mkattype(const std::vector<std::string> &a) { return mktype(a, "mkattype", VOB_MT_ATTYPE); }
int cmd_mkhltype(const std::vector<std::string> &a) { return mktype(a, "mkhltype", VOB_MT_HLTYPE); }
int cmd_mkeltype(const std::vector<std::string> &a) { return mktype(a, "mkeltype", VOB_MT_ELTYPE); }

int cmd_mkelem(const std::vector<std::string> &argv) {
    args_t a = parse("mkelem", argv, "dir ci", "eltype c");
    if (a.bad || !operands(a, 1, -1, "element path"))
        return 1;
    for (auto &path : a.ops) {
        view_t *v;
        if (!need_view_of("mkelem", path, &v))
            return 1;
        int rc = view_mkelem(v, path, a.has("dir") ? VOB_MT_DIR_ELEM : VOB_MT_FILE_ELEM, a.opt("eltype"),
                             a.opt("c"), a.has("ci"), nullptr);
        if (rc != VOB_OK) {
            view_failed(v);
            view_close(v);
            return 1;
        }
        view_close(v);
    }
    return 0;
}

// Runs a view operation on each operand in turn; the first failure stops.
template <class Op> static int for_each_in_view(const char *cmd, const args_t &a, Op op) {
    for (auto &path : a.ops) {
        view_t *v;
        if (!need_view_of(cmd, path, &v))
            return 1;
        int rc = op(v, path);
        if (rc != VOB_OK)
            view_failed(v);
        view_close(v);
        if (rc != VOB_OK)
            return 1;
    }
    return 0;
}

int cmd_checkout(const std::vector<std::string> &argv) {
    args_t a = parse("checkout", argv, "unreserved reserved nc", "c");
    if (a.bad || !operands(a, 1, -1, "element path"))
        return 1;
    return for_each_in_view("checkout", a, [&](view_t *v, const std::string &path) {
        return view_checkout(v, path, !a.has("unreserved"), a.opt("c"));
    });
}

int cmd_checkin(const std::vector<std::string> &argv) {
    args_t a = parse("checkin", argv, "nc", "c from");
    if (a.bad || !operands(a, 1, 1, "element path"))
        return 1;
    view_t *v;
    if (!need_view_of("checkin", a.ops[0], &v))
        return 1;
    vob_oid ver;
    int rc = view_checkin(v, a.ops[0], a.opt("from"), a.opt("c"), &ver);
    if (rc != VOB_OK) {
        view_failed(v);
        view_close(v);
        return 1;
    }
    vob_t *h;
    view_fhandle fh;
    if (view_get_fhandle(v, a.ops[0], &fh) == VOB_OK && view_get_vob(v, fh.vob_tag, &h) == VOB_OK)
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_CKED_IN, a.ops[0].c_str(), ver_id(h, ver).c_str());
    view_close(v);
    return 0;
}

int cmd_uncheckout(const std::vector<std::string> &argv) {
    args_t a = parse("uncheckout", argv, "keep rm", "");
    if (a.bad || !operands(a, 1, -1, "element path"))
        return 1;
    return for_each_in_view("uncheckout", a,
                            [](view_t *v, const std::string &path) { return view_uncheckout(v, path); });
}

int cmd_mkbranch(const std::vector<std::string> &argv) {
    args_t a = parse("mkbranch", argv, "nco", "c");
    if (a.bad || !operands(a, 2, 2, "BRTYPE PATH"))
        return 1;
    vob_pname p;
    if (!resolve(a, a.ops[1], &p))
        return 1;
    vob_oid bt;
    vob_event ev = vob_event_now(a.opt("c"));
    if (vob_type_find(p.vob, VOB_MT_BRTYPE, a.ops[0], &bt) != VOB_OK ||
        vob_branch_create(p.vob, p.ver, bt, &ev, nullptr, nullptr) != VOB_OK)
        return vob_failed(p.vob);
    return 0;
}

int cmd_mklabel(const std::vector<std::string> &argv) {
    args_t a = parse("mklabel", argv, "replace", "c");
    if (a.bad || !operands(a, 2, -1, "LABEL PATH"))
        return 1;
    // All operands are resolved first, then labelled in one transaction per VOB.
    for (size_t i = 1; i < a.ops.size(); i++) {
        vob_pname p;
        if (!resolve(a, a.ops[i], &p))
            return 1;
        vob_oid lt;
        vob_event ev = vob_event_now(a.opt("c"));
        if (vob_type_find(p.vob, VOB_MT_LBTYPE, a.ops[0], &lt) != VOB_OK ||
            vob_ver_add_label(p.vob, p.ver, lt, a.has("replace"), &ev) != VOB_OK)
            return vob_failed(p.vob);
    }
    return 0;
}

int cmd_mkattr(const std::vector<std::string> &argv) {
    args_t a = parse("mkattr", argv, "element", "c");
    if (a.bad || !operands(a, 3, 3, "ATTRTYPE VALUE PATH"))
        return 1;
    vob_pname p;
    if (!resolve(a, a.ops[2], &p))
        return 1;
    vob_oid at;
    vob_event ev = vob_event_now(a.opt("c"));
    if (vob_type_find(p.vob, VOB_MT_ATTYPE, a.ops[0], &at) != VOB_OK ||
        vob_obj_set_attr(p.vob, a.has("element") ? p.elem : p.ver, at, a.ops[1], &ev) != VOB_OK)
        return vob_failed(p.vob);
    return 0;
}

int cmd_merge(const std::vector<std::string> &argv) {
    args_t a = parse("merge", argv, "ndata", "to c");
    if (a.bad || !operands(a, 1, 1, "FROM-VERSION"))
        return 1;
    std::string to = a.opt("to");
    if (to.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_MISSING_ARG, "merge", "-to PATH");
        return 1;
    }
    vob_pname p;
    if (!resolve(a, to, &p))
        return 1;
    std::string vid = a.ops[0];
    std::string path_part, vpart;
    if (vob_split_xpname(vid, &path_part, &vpart))
        vid = vpart;
    vob_oid from;
    vob_event ev = vob_event_now(a.opt("c"));
    if (vob_ver_find(p.vob, p.elem, vid, &from) != VOB_OK ||
        vob_hlink_create(p.vob, vob_wk_obj(p.vob, VOB_WK_MERGE_HLTYPE), from, p.ver, &ev, nullptr) != VOB_OK)
        return vob_failed(p.vob);
    return 0;
}

// The element, or the branch that "@@/main/dev" names.
bool lock_target(const args_t &a, const std::string &operand, vob_pname *p, vob_oid *target) {
    std::string path, vid;
    bool branch = vob_split_xpname(operand, &path, &vid);
    if (!resolve(a, branch ? path : operand, p))
        return false;
    *target = p->elem;
    if (branch && vob_branch_find(p->vob, p->elem, vid, target) != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_NOT_BRANCH, a.cmd, vid.c_str(), path.c_str());
        return false;
    }
    return true;
}

int cmd_lock(const std::vector<std::string> &argv) {
    args_t a = parse("lock", argv, "obsolete", "c");
    if (a.bad || !operands(a, 1, 1, "PATH[@@BRANCH]"))
        return 1;
    vob_pname p;
    vob_oid target;
    if (!lock_target(a, a.ops[0], &p, &target))
        return 1;
    vob_event ev = vob_event_now(a.opt("c"));
    if (vob_obj_lock(p.vob, target, a.has("obsolete"), &ev) != VOB_OK)
        return vob_failed(p.vob);
    IMSG_PRINT(IMSG_NOTICE, cat(), VT_LOCKED, a.ops[0].c_str(), a.has("obsolete") ? " (obsolete)" : "");
    return 0;
}

int cmd_unlock(const std::vector<std::string> &argv) {
    args_t a = parse("unlock", argv, "", "");
    if (a.bad || !operands(a, 1, 1, "PATH[@@BRANCH]"))
        return 1;
    vob_pname p;
    vob_oid target;
    if (!lock_target(a, a.ops[0], &p, &target))
        return 1;
    return vob_obj_unlock(p.vob, target) == VOB_OK ? 0 : vob_failed(p.vob);
}

int cmd_rmver(const std::vector<std::string> &argv) {
    args_t a = parse("rmver", argv, "data force", "");
    if (a.bad || !operands(a, 1, 1, "PATH@@VERSION"))
        return 1;
    if (!a.has("data")) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_NEED_DATA, "rmver");
        return 1;
    }
    std::string path, vid;
    if (!vob_split_xpname(a.ops[0], &path, &vid)) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_NOT_VERSION, "rmver", a.ops[0].c_str());
        return 1;
    }
    vob_pname p;
    if (!resolve(a, a.ops[0], &p))
        return 1;
    return vob_ver_remove_data(p.vob, p.ver) == VOB_OK ? 0 : vob_failed(p.vob);
}

struct command {
    const char *name;
    int (*fn)(const std::vector<std::string> &);
};

const command commands[] = {
    {"mkvob", cmd_mkvob},       {"rmvob", cmd_rmvob},       {"lsvob", cmd_lsvob},
    {"mkview", cmd_mkview},     {"rmview", cmd_rmview},     {"update", cmd_update},
    {"setcs", cmd_setcs},       {"catcs", cmd_catcs},       {"lsvtree", cmd_lsvtree},
    {"describe", cmd_describe}, {"cat", cmd_cat},           {"dump", cmd_dump},
    {"diff", cmd_diff},         {"mkbrtype", cmd_mkbrtype}, {"mklbtype", cmd_mklbtype},
    {"mkattype", cmd_mkattype}, {"mkhltype", cmd_mkhltype}, {"mkeltype", cmd_mkeltype},
    {"mkelem", cmd_mkelem},     {"checkout", cmd_checkout}, {"co", cmd_checkout},
    {"checkin", cmd_checkin},   {"ci", cmd_checkin},        {"uncheckout", cmd_uncheckout},
    {"unco", cmd_uncheckout},   {"mkbranch", cmd_mkbranch}, {"mklabel", cmd_mklabel},
    {"mkattr", cmd_mkattr},     {"merge", cmd_merge},       {"lock", cmd_lock},
    {"unlock", cmd_unlock},     {"rmver", cmd_rmver},
};

// -h or --help as a word of its own, not the value of an option.
bool help_requested(int argc, char **argv) {
    static const char *const takes_value[] = {"-tag", "-vob", "-eltype", "-c", "-from", "-to", "-region"};
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "-h") || !strcmp(argv[i], "--help"))
            return true;
        for (const char *o : takes_value)
            if (!strcmp(argv[i], o) || (argv[i][0] == '-' && argv[i][1] == '-' && !strcmp(argv[i] + 1, o))) {
                ++i;
                break;
            }
    }
    return false;
}

}   // namespace

int main(int argc, char **argv) {
    ks_system_init();
    imsg_set_app_name(argv[0]);
    int all = 0;
    if (argc > 1 && ks_is_version_request(argv[1], &all)) {
        ks_print_banner("vantor");
        pfm_exit(0);
    }
    if (argc < 2 || !strcmp(argv[1], "help") || help_requested(argc, argv)) {
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_USAGE);
        if (argc < 2)
            pfm_exit(1);
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_HELP);
        pfm_exit(0);
    }
    std::vector<std::string> rest(argv + 2, argv + argc);
    for (const command &c : commands)
        if (!strcmp(c.name, argv[1]))
            pfm_exit(c.fn(rest));
    IMSG_PRINT(IMSG_ERROR, cat(), VT_UNKNOWN_CMD, argv[1]);
    pfm_exit(1);
}
