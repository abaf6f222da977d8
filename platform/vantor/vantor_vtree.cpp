// vantor lsvtree: an element's version tree, as a tree for readers or as a
// flat list for scripts (-s, the output of earlier releases, kept as it was).
//
// The tree puts each branch on a line of its own under the version it
// sprouts from, its versions indented below it; labels stand beside a
// version, merges as "-> VERSION" on the version a merge went from (the
// way Merge hyperlinks are stored). Without -all it shows the versions a
// reader looks for, those with labels, sprouting branches or merges (either
// way) and the latest of each branch, and puts "... N versions" for each run
// of the others: a long history of one branch then takes two lines, and its
// shape stays in sight.
#include "platform/vantor/vantor_int.h"
#include "runtime/date.h"
#include "runtime/strutl.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace {

std::string branch_of(const std::string &vid) { return vid.substr(0, vid.rfind('/')); }

// Branch /main is at depth 0, /main/dev at 1, ...
size_t depth_of(const std::string &branch) {
    size_t n = 0;
    for (char c : branch)
        n += c == '/';
    return n - 1;
}

std::string labels_text(const vob_vtree_node &n) {
    std::string out;
    if (n.labels.empty())
        return out;
    out += " (";
    for (size_t i = 0; i < n.labels.size(); i++)
        out += (i ? ", " : "") + n.labels[i];
    return out + ")";
}

std::string flat(const std::vector<vob_vtree_node> &tree) {
    std::string out;
    for (auto &n : tree)
        out += n.ver.id + labels_text(n) + "\n";
    return out;
}

// What the tree shows of a version besides its id and labels.
struct ver_extra {
    std::vector<std::string> merged_to;   // ids of the versions merges from it went to
    bool merged_from = false;             // a merge went to it
    vob_event ev;                         // with -l
};

int read_extras(vob_t *v, const std::vector<vob_vtree_node> &tree, bool events, std::vector<ver_extra> *out) {
    vob_oid merge = vob_wk_obj(v, VOB_WK_MERGE_HLTYPE);
    out->resize(tree.size());
    for (size_t i = 0; i < tree.size(); i++) {
        std::vector<vob_hlink> from, to;
        vob_oid ver = tree[i].ver.oid;
        int rc;
        if ((rc = vob_obj_get_hlinks(v, ver, merge, VOB_HL_FROM, &from)) != VOB_OK ||
            (rc = vob_obj_get_hlinks(v, ver, merge, VOB_HL_TO, &to)) != VOB_OK ||
            (events && (rc = vob_obj_get_event(v, ver, &(*out)[i].ev)) != VOB_OK))
            return rc;
        for (const vob_hlink &h : from)
            (*out)[i].merged_to.push_back(ver_id(v, h.to));
        (*out)[i].merged_from = !to.empty();
    }
    return VOB_OK;
}

// Which versions the tree shows: all, or those worth a line (a run of one
// other version is shown too, as its "..." line would take the same room).
std::vector<bool> shown(const std::vector<vob_vtree_node> &tree, const std::vector<ver_extra> &x, bool all) {
    std::vector<bool> show(tree.size(), true);
    if (all)
        return show;
    std::map<std::string, size_t> latest;
    for (size_t i = 0; i < tree.size(); i++)
        latest[branch_of(tree[i].ver.id)] = i;
    for (size_t i = 0; i < tree.size(); i++) {
        const vob_vtree_node &n = tree[i];
        show[i] = !n.labels.empty() || !n.sub_branches.empty() || !x[i].merged_to.empty() || x[i].merged_from ||
                  latest[branch_of(n.ver.id)] == i;
    }
    const std::vector<bool> hidden_run = show;
    auto hidden_beside = [&](size_t i, size_t j) {
        return j < tree.size() && !hidden_run[j] && branch_of(tree[j].ver.id) == branch_of(tree[i].ver.id);
    };
    for (size_t i = 0; i < tree.size(); i++)
        if (!hidden_run[i] && !hidden_beside(i, i - 1) && !hidden_beside(i, i + 1))
            show[i] = true;
    return show;
}

std::string tree_text(const std::vector<vob_vtree_node> &tree, const std::vector<ver_extra> &x, bool all,
                      bool events) {
    std::vector<bool> show = shown(tree, x, all);
    std::set<std::string> seen;
    std::string out;
    for (size_t i = 0; i < tree.size();) {
        const std::string branch = branch_of(tree[i].ver.id);
        const std::string pad(4 * depth_of(branch), ' ');
        if (seen.insert(branch).second)
            out += pad + branch + "\n";
        if (!show[i]) {
            // Hidden versions follow each other on their branch: a version
            // that a branch sprouts from is always shown.
            size_t n = 0;
            for (; i < tree.size() && !show[i] && branch_of(tree[i].ver.id) == branch; i++)
                n++;
            out += pad + "  ... " + strutl_count((long long)n, "version", "versions") + "\n";
            continue;
        }
        out += pad + "  " + tree[i].ver.id + labels_text(tree[i]);
        for (size_t k = 0; k < x[i].merged_to.size(); k++)
            out += (k ? ", " : " -> ") + x[i].merged_to[k];
        out += "\n";
        if (events) {
            const vob_event &e = x[i].ev;
            out += pad + "      " + date_format_utc(e.time) + " by " + show_text(e.user) + "\n";
            if (e.comment.find_first_not_of('\n') != std::string::npos) {
                const std::string c = show_comment(e.comment);
                for (size_t b = 0, nl; b <= c.size(); b = nl + 1) {
                    nl = std::min(c.find('\n', b), c.size());
                    out += pad + "        " + c.substr(b, nl - b) + "\n";
                }
            }
        }
        i++;
    }
    return out;
}

}   // namespace

int cmd_lsvtree(const args_t &a) {
    bool events = a.has("l") || a.has("long");
    if (a.has("s") && events) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_NOT_WITH, a.cmd, "-s", "-l");
        return 1;
    }
    vob_pname p;
    std::string err;
    if (vob_resolve_pname(a.ops[0], &p, &err, true) != VOB_OK)
        return fail_text(err);
    if (p.unselected) {
        std::string why =
            IMSG_SPRINTF(cat(), VT_NOT_SELECTED, a.ops[0].c_str(), view_get_tag(p.view).c_str());
        IMSG_PRINT(IMSG_WARNING, cat(), VT_VTREE_UNSELECTED, why.c_str());
    }
    std::vector<vob_vtree_node> tree;
    if (vob_elem_get_vtree(p.vob, p.elem, &tree) != VOB_OK)
        return vob_failed(p.vob);
    std::string out;
    if (a.has("s")) {
        out = flat(tree);
    } else {
        std::vector<ver_extra> x;
        if (read_extras(p.vob, tree, events, &x) != VOB_OK)
            return vob_failed(p.vob);
        out = tree_text(tree, x, a.has("all"), events);
    }
    fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
