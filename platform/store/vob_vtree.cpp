// The version tree of an element, read in a fixed number of queries and
// flattened depth first.
#include "platform/store/vob_int.h"

int vob_elem_get_vtree(vob_t *v, vob_oid elem, std::vector<vob_vtree_node> *out) {
    struct br {
        vob_oid oid, sprout;
        std::string path;
        std::vector<vob_vtree_node> vers;
    };
    std::vector<br> branches;
    int emtype = 0;
    {
        vob_stmt q(v, "SELECT mtype FROM elem WHERE oid = ?1");
        q.bind(1, elem);
        int rc = q.step();
        if (rc == SQLITE_DONE)
            return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "element", (long long)elem));
        if (rc != SQLITE_ROW)
            return VOB_ERR;
        emtype = (int)q.i64(0);
    }
    {
        vob_stmt q(v, "SELECT oid, sprout, path FROM branch WHERE elem = ?1 ORDER BY oid");
        q.bind(1, elem);
        int rc;
        while ((rc = q.step()) == SQLITE_ROW)
            branches.push_back({q.i64(0), q.i64(1), q.str(2), {}});
        if (rc != SQLITE_DONE)
            return VOB_ERR;
    }
    std::unordered_map<vob_oid, std::pair<size_t, size_t>> where;   // version -> (branch index, position)
    for (size_t i = 0; i < branches.size(); i++) {
        vob_stmt q(v, "SELECT oid, num, sha, size FROM ver WHERE branch = ?1 ORDER BY num");
        q.bind(1, branches[i].oid);
        int rc;
        while ((rc = q.step()) == SQLITE_ROW) {
            vob_vtree_node n;
            n.ver.oid = q.i64(0);
            n.ver.elem = elem;
            n.ver.branch = branches[i].oid;
            n.ver.num = q.i64(1);
            n.ver.has_data = !q.is_null(2);
            if (n.ver.has_data)
                n.ver.sha256 = q.str(2);
            n.ver.size = q.i64(3);
            n.ver.id = branches[i].path + "/" + std::to_string(n.ver.num);
            n.ver.mtype = emtype == VOB_MT_DIR_ELEM ? VOB_MT_DIR_VERSION : VOB_MT_VERSION;
            where[n.ver.oid] = {i, branches[i].vers.size()};
            branches[i].vers.push_back(std::move(n));
        }
        if (rc != SQLITE_DONE)
            return VOB_ERR;
    }
    {
        vob_stmt q(v,
                   "SELECT l.ver, t.name FROM label l JOIN type t ON t.oid = l.lbtype WHERE l.elem = ?1"
                   " ORDER BY t.name");
        q.bind(1, elem);
        int rc;
        while ((rc = q.step()) == SQLITE_ROW) {
            auto it = where.find(q.i64(0));
            if (it != where.end())
                branches[it->second.first].vers[it->second.second].labels.push_back(q.str(1));
        }
        if (rc != SQLITE_DONE)
            return VOB_ERR;
    }
    // Children of each version, in creation order (branches are in oid order).
    std::unordered_map<vob_oid, std::vector<size_t>> kids;
    size_t main_idx = branches.size();
    for (size_t i = 0; i < branches.size(); i++) {
        if (branches[i].sprout == 0) {
            main_idx = i;
            continue;
        }
        kids[branches[i].sprout].push_back(i);
        auto it = where.find(branches[i].sprout);
        if (it != where.end()) {
            vob_vtree_node &n = branches[it->second.first].vers[it->second.second];
            n.sub_branches.push_back(branches[i].oid);
            n.sub_branch_paths.push_back(branches[i].path);
        }
    }
    std::vector<vob_vtree_node> r;
    if (main_idx == branches.size()) {
        *out = std::move(r);
        return VOB_OK;
    }
    // Depth-first walk with an explicit stack of (branch, next position).
    std::vector<std::pair<size_t, size_t>> stack{{main_idx, 0}};
    while (!stack.empty()) {
        auto &top = stack.back();
        br &b = branches[top.first];
        if (top.second >= b.vers.size()) {
            stack.pop_back();
            continue;
        }
        vob_vtree_node &n = b.vers[top.second++];
        vob_oid oid = n.ver.oid;
        r.push_back(std::move(n));
        auto k = kids.find(oid);
        if (k != kids.end())
            for (auto it = k->second.rbegin(); it != k->second.rend(); ++it)
                stack.push_back({*it, 0});
    }
    *out = std::move(r);
    return VOB_OK;
}
