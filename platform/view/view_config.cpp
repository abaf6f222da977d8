// The config spec, the load scope and the stream of an open view, and the
// views whose scope holds a VOB. Each change is made under the view lock to
// the view.json it re-read, so two processes that change the view one after
// the other both keep their change.
#include "platform/view/view_int.h"

#include <algorithm>
#include <cstring>

const std::vector<vob_rule> &view_get_rules(const view_t *v) { return v->rules; }
const std::vector<std::string> &view_get_scopes(const view_t *v) { return v->scopes; }

int view_get_config_spec(view_t *v, std::string *text) {
    *text = v->cspec;
    return VOB_OK;
}

int view_set_config_spec(view_t *v, const std::string &text) {
    std::vector<vob_rule> rules;
    std::string e;
    if (view_parse_config_spec(text, "config spec", &rules, &e) != VOB_OK)
        return view_fail(v, VOB_ERR, e);
    view_lock lk(v);
    int rc = lk.take();
    if (rc != VOB_OK)
        return rc;
    std::string old = v->cspec;
    v->cspec = text;
    if ((rc = view_meta_save(v)) != VOB_OK) {
        v->cspec = old;
        return rc;
    }
    v->rules = std::move(rules);
    return VOB_OK;
}

int view_set_config_spec_file(view_t *v, const std::string &path) {
    std::string text;
    if (int e = view_read_text(path, &text))
        return view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_META, v->tag.c_str(), path.c_str(), strerror(e)));
    std::vector<vob_rule> rules;
    std::string e;
    if (view_parse_config_spec(text, path, &rules, &e) != VOB_OK)
        return view_fail(v, VOB_ERR, e);
    return view_set_config_spec(v, text);
}

int view_add_scope(view_t *v, const std::string &tag) {
    view_lock lk(v);
    int rc = lk.take();
    if (rc != VOB_OK)
        return rc;
    if (std::find(v->scopes.begin(), v->scopes.end(), tag) != v->scopes.end())
        return VOB_OK;
    vob_t *h;
    if ((rc = view_get_vob(v, tag, &h)) != VOB_OK)
        return rc;
    v->scopes.push_back(tag);
    std::sort(v->scopes.begin(), v->scopes.end());
    rc = view_meta_save(v);
    if (rc != VOB_OK)
        v->scopes.erase(std::find(v->scopes.begin(), v->scopes.end(), tag));
    return rc;
}

int view_remove_scope(view_t *v, const std::string &tag) {
    view_lock lk(v);
    int rc = lk.take();
    if (rc != VOB_OK)
        return rc;
    auto it = std::find(v->scopes.begin(), v->scopes.end(), tag);
    if (it == v->scopes.end())
        return view_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NOT_IN_VOB, tag.c_str(), v->tag.c_str()));
    v->scopes.erase(it);
    rc = view_meta_save(v);
    if (rc != VOB_OK) {
        v->scopes.push_back(tag);
        std::sort(v->scopes.begin(), v->scopes.end());
    }
    return rc;
}

int view_list_loading(const std::string &vob_tag, std::vector<rgy_view> *out, std::string *err) {
    std::vector<rgy_view> views;
    int rc = rgy_view_list("", &views, err);
    if (rc != VOB_OK)
        return rc;
    out->clear();
    for (const rgy_view &rv : views) {
        // Read without the view lock: view.json is only ever replaced whole.
        view_t v;
        std::string e;
        if (view_meta_read(&v, rv.dir, &e) == VOB_OK &&
            std::find(v.scopes.begin(), v.scopes.end(), vob_tag) != v.scopes.end())
            out->push_back(rv);
    }
    return VOB_OK;
}

const std::string &view_get_stream(const view_t *v) { return v->stream; }

// A stream selector as the project layer writes it: "stream:" and a name
// (with "@" and its project VOB), on one line.
static bool stream_ok(const std::string &s) {
    if (s.empty())
        return true;
    if (s.compare(0, 7, "stream:") != 0 || s.size() == 7)
        return false;
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7f)
            return false;
    return true;
}

int view_set_stream(view_t *v, const std::string &stream) {
    if (!stream_ok(stream))
        return view_fail(v, VOB_ERR, VOB_MSG(VM_BAD_STREAM, v->tag.c_str(), stream.c_str()));
    view_lock lk(v);
    int rc = lk.take();
    if (rc != VOB_OK)
        return rc;
    std::string old = v->stream;
    v->stream = stream;
    if ((rc = view_meta_save(v)) != VOB_OK)
        v->stream = old;
    return rc;
}
