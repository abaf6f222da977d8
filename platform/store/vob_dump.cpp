// JSON dump of a VOB (schema in vob_dump.h).
#include "platform/store/vob_dump.h"
#include "platform/store/vob_int.h"
#include "runtime/typename.h"

#include <nlohmann/json.hpp>
#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>

using json = nlohmann::json;

// Bytes that are not UTF-8 go out as base64, so that two dumps compare equal
// only when the stored bytes do.
static json text_json(const std::string &s) {
    if (typename_is_utf8(s))
        return s;
    std::string b64(4 * ((s.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char *>(b64.data()),
                            reinterpret_cast<const unsigned char *>(s.data()), int(s.size()));
    b64.resize(size_t(n));
    return {{"base64", b64}};
}

static json event_json(const vob_event &e) {
    return {{"user", text_json(e.user)},
            {"group", text_json(e.group)},
            {"name", text_json(e.name)},
            {"host", text_json(e.host)},
            {"time", e.time}};
}

static json comment_json(const vob_event &e) {
    return e.comment.empty() ? json(nullptr) : text_json(e.comment);
}

static int attrs_json(vob_t *v, vob_oid obj, json *out) {
    std::vector<vob_attr> at;
    int rc = vob_obj_get_attrs(v, obj, &at);
    *out = json::object();
    for (auto &a : at)
        (*out)[a.name] = text_json(a.value);
    return rc;
}

// Every element with its first path in the latest main-branch namespace.
static int all_paths(vob_t *v, std::vector<std::pair<std::string, vob_oid>> *out) {
    vob_oid root = vob_wk_obj(v, VOB_WK_ROOT_DIR);
    std::unordered_map<vob_oid, std::string> path{{root, "."}};
    std::deque<vob_oid> todo{root};
    vob_stmt latest(v,
                    "SELECT v.oid FROM elem e JOIN ver v ON v.branch = e.main_branch WHERE e.oid = ?1"
                    " ORDER BY v.num DESC LIMIT 1");
    while (!todo.empty()) {
        vob_oid dir = todo.front();
        todo.pop_front();
        latest.bind(1, dir);
        int rc = latest.step();
        vob_oid dv = rc == SQLITE_ROW ? latest.i64(0) : 0;
        sqlite3_reset(latest.st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            return VOB_ERR;
        if (!dv)
            continue;
        std::vector<vob_dirent> ents;
        if ((rc = vob_dir_read(v, dv, &ents)) != VOB_OK)
            return rc;
        const std::string base = dir == root ? "" : path[dir] + "/";
        for (auto &e : ents) {
            std::string p = base + e.name;
            auto it = path.find(e.elem);
            if (it != path.end()) {
                if (p < it->second && e.mtype != VOB_MT_DIR_ELEM)
                    it->second = p;
                continue;
            }
            path[e.elem] = p;
            if (e.mtype == VOB_MT_DIR_ELEM)
                todo.push_back(e.elem);
        }
    }
    std::vector<vob_oid> elems;
    int rc = vob_elem_list(v, &elems);
    if (rc != VOB_OK)
        return rc;
    out->clear();
    for (vob_oid e : elems) {
        auto it = path.find(e);
        if (it != path.end()) {
            out->push_back({it->second, e});
        } else {
            vob_elem_info ei;
            if ((rc = vob_elem_get(v, e, &ei)) != VOB_OK)
                return rc;
            out->push_back({"lost+found/" + ei.name + "." + std::to_string(e), e});
        }
    }
    std::sort(out->begin(), out->end(), [](const auto &a, const auto &b) {
        if ((a.first == ".") != (b.first == "."))
            return a.first == ".";
        return a.first < b.first;
    });
    return VOB_OK;
}

static int branch_json(vob_t *v, vob_oid br, const std::string &path, json *out) {
    vob_lock lk;
    int rc = vob_obj_get_lock(v, br, &lk);
    if (rc != VOB_OK && rc != VOB_NOT_FOUND)
        return rc;
    out->push_back({{"path", path}, {"obsolete", rc == VOB_OK && lk.obsolete != 0}});
    return VOB_OK;
}

static int element_json(vob_t *v, const std::string &path, vob_oid elem, json *out) {
    vob_elem_info ei;
    vob_event ev;
    int rc = vob_elem_get(v, elem, &ei);
    if (rc == VOB_OK)
        rc = vob_obj_get_event(v, elem, &ev);
    if (rc != VOB_OK)
        return rc;
    json j;
    j["path"] = text_json(path);
    j["kind"] = ei.mtype == VOB_MT_DIR_ELEM ? "directory" : "file";
    j["type"] = ei.eltype_name;
    j["event"] = event_json(ev);
    j["comment"] = comment_json(ev);
    json attrs;
    if ((rc = attrs_json(v, elem, &attrs)) != VOB_OK)
        return rc;
    j["attributes"] = attrs;
    vob_lock lk;
    rc = vob_obj_get_lock(v, elem, &lk);
    if (rc != VOB_OK && rc != VOB_NOT_FOUND)
        return rc;
    j["obsolete"] = rc == VOB_OK && lk.obsolete != 0;
    std::vector<vob_vtree_node> tree;
    if ((rc = vob_elem_get_vtree(v, elem, &tree)) != VOB_OK)
        return rc;
    std::unordered_map<vob_oid, size_t> at;   // version -> its place in the tree
    for (size_t i = 0; i < tree.size(); i++)
        at[tree[i].ver.oid] = i;
    json branches = json::array();
    if ((rc = branch_json(v, ei.main_branch, "/main", &branches)) != VOB_OK)
        return rc;
    for (auto &n : tree)
        for (size_t i = 0; i < n.sub_branches.size(); i++)
            if ((rc = branch_json(v, n.sub_branches[i], n.sub_branch_paths[i], &branches)) != VOB_OK)
                return rc;
    j["branches"] = std::move(branches);
    json vers = json::array();
    vob_oid merge = vob_wk_obj(v, VOB_WK_MERGE_HLTYPE);
    for (auto &n : tree) {
        json x;
        vob_event ve;
        if ((rc = vob_obj_get_event(v, n.ver.oid, &ve)) != VOB_OK)
            return rc;
        x["id"] = n.ver.id;
        x["event"] = event_json(ve);
        x["comment"] = comment_json(ve);
        x["labels"] = n.labels;
        if ((rc = attrs_json(v, n.ver.oid, &attrs)) != VOB_OK)
            return rc;
        x["attributes"] = attrs;
        std::vector<vob_hlink> hl;
        if ((rc = vob_obj_get_hlinks(v, n.ver.oid, merge, VOB_HL_TO, &hl)) != VOB_OK)
            return rc;
        // In tree order, not link order: two VOBs with the same merges made
        // in another order dump the same.
        std::vector<size_t> from;
        for (auto &h : hl)
            if (auto it = at.find(h.from); it != at.end())
                from.push_back(it->second);
        std::sort(from.begin(), from.end());
        json mf = json::array();
        for (size_t i : from)
            mf.push_back(tree[i].ver.id);
        x["merges_from"] = mf;
        x["sha256"] = n.ver.has_data ? json(n.ver.sha256) : json(nullptr);
        vers.push_back(std::move(x));
    }
    j["versions"] = std::move(vers);
    *out = std::move(j);
    return VOB_OK;
}

std::string vob_dump_text(const std::string &s) { return text_json(s).dump(); }

std::string vob_dump_event(const vob_event &e) { return event_json(e).dump(); }

int vob_dump_json(vob_t *v, FILE *out, std::string *err, const std::string &extra_members) {
    vob_txn rd(v, vob_txn::READ);
    int rc = rd.begin();
    std::vector<std::pair<std::string, vob_oid>> elems;
    if (rc == VOB_OK)
        rc = all_paths(v, &elems);
    if (rc != VOB_OK) {
        *err = vob_errmsg(v);
        return rc;
    }
    std::string head = "{\"tag\":" + text_json(vob_get_tag(v)).dump() + ",\"elements\":[";
    fputs(head.c_str(), out);
    for (size_t i = 0; i < elems.size(); i++) {
        json j;
        if ((rc = element_json(v, elems[i].first, elems[i].second, &j)) != VOB_OK) {
            *err = vob_errmsg(v);
            return rc;
        }
        std::string s = i ? ",\n" : "\n";
        try {
            s += j.dump();
        } catch (const json::exception &ex) {   // a name that text_json did not see
            *err = "cannot dump element \"" + elems[i].first + "\": " + ex.what();
            return VOB_ERR;
        }
        fwrite(s.data(), 1, s.size(), out);
    }
    fputs("\n]", out);
    fwrite(extra_members.data(), 1, extra_members.size(), out);
    fputs("}\n", out);
    if ((rc = rd.commit()) != VOB_OK) {
        *err = vob_errmsg(v);
        return rc;
    }
    if (fflush(out) != 0 || ferror(out)) {
        *err = "cannot write the dump: " + std::string(strerror(errno));
        return VOB_ERR;
    }
    return VOB_OK;
}
