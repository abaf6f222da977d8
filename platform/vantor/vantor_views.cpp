// vantor's commands on views: mkview, rmview, lsview, update, setcs, catcs. A view
// of a stream (mkview -stream) records the stream and takes its config spec
// and load scope from it at every update, until setcs detaches it.
#include "platform/registry/registry.h"
#include "platform/vantor/vantor_int.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

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
    if (st.no_contents == 1)
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_NO_CONTENTS_ONE);
    else if (st.no_contents)
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_NO_CONTENTS, (long long)st.no_contents);
    return 0;
}

// A view that follows a stream takes the stream's config spec as it is
// now, and the VOBs of components that joined its foundation.
int follow_stream(view_t *v) {
    const std::string stream = view_get_stream(v);
    if (stream.empty())
        return 0;
    stream_view sv;
    std::string err, old;
    if (stream_view_config(stream, &sv, &err) != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_STREAM_UNREADABLE, view_get_tag(v).c_str(), stream.c_str(),
                   err.c_str());
        return 1;
    }
    if (view_get_config_spec(v, &old) != VOB_OK)
        return view_failed(v);
    bool changed = old != sv.config_spec;
    if (changed && view_set_config_spec(v, sv.config_spec) != VOB_OK)
        return view_failed(v);
    for (const std::string &t : sv.scope) {
        const std::vector<std::string> &have = view_get_scopes(v);
        if (std::find(have.begin(), have.end(), t) != have.end())
            continue;
        changed = true;
        if (view_add_scope(v, t) != VOB_OK)
            return view_failed(v);
    }
    if (changed)
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_CS_FROM_STREAM, view_get_tag(v).c_str(), stream.c_str());
    return 0;
}

// mkview -stream: nothing is made unless the stream can be read and its
// VOBs are there; a view that cannot be set up is removed again.
int mkview_stream(const args_t &a, const std::string &selector) {
    if (!a.all("vob").empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_STREAM_VOB_OPT);
        return 1;
    }
    stream_view sv;
    std::string err;
    if (stream_view_config(selector, &sv, &err) != VOB_OK)
        return fail_text(err);
    for (const std::string &t : sv.scope) {
        rgy_vob rv;
        if (rgy_vob_find(t, "", &rv, &err) != VOB_OK)
            return fail_text(err);
    }
    std::string tag = a.opt("tag").empty() ? sv.name : a.opt("tag");
    const std::string &dir = a.ops[0];
    if (view_make(tag, dir, &err) != VOB_OK)
        return fail_text(err);
    view_t *v = nullptr;
    if (view_open(dir, &v, &err) != VOB_OK)
        return fail_text(err);
    int rc = view_set_config_spec(v, sv.config_spec);
    for (size_t i = 0; rc == VOB_OK && i < sv.scope.size(); i++)
        rc = view_add_scope(v, sv.scope[i]);
    if (rc == VOB_OK)
        rc = view_set_stream(v, sv.selector);
    if (rc != VOB_OK) {
        view_failed(v);
        view_close(v);
        if (view_remove(dir, 1, &err) != VOB_OK)
            fail_text(err);
        return 1;
    }
    IMSG_PRINT(IMSG_NOTICE, cat(), VT_CREATED_VIEW, tag.c_str(), view_get_root(v).c_str());
    IMSG_PRINT(IMSG_NOTICE, cat(), VT_FOLLOWS, tag.c_str(), sv.selector.c_str());
    rc = do_update(v);
    view_close(v);
    return rc;
}

}   // namespace

int cmd_mkview(const args_t &a) {
    if (!a.opt("stream").empty())
        return mkview_stream(a, a.opt("stream"));
    std::string tag = a.opt("tag"), err;
    if (tag.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_MISSING_ARG, "mkview", "-tag VIEWTAG");
        return 1;
    }
    // Every VOB must exist before anything is made.
    for (auto &t : a.all("vob")) {
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
    for (auto &t : a.all("vob"))
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

int cmd_rmview(const args_t &a) {
    std::string err;
    return view_remove(a.ops[0], a.has("force"), &err) == VOB_OK ? 0 : fail_text(err);
}

static bool open_view(const char *cmd, const std::string &dir, view_t **v) {
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

int cmd_update(const args_t &a) {
    view_t *v;
    if (!open_view("update", a.ops.empty() ? "." : a.ops[0], &v))
        return 1;
    int rc = follow_stream(v);
    if (rc == 0)
        rc = do_update(v);
    view_close(v);
    return rc;
}

int cmd_setcs(const args_t &a) {
    view_t *v;
    if (!open_view("setcs", a.ops.size() > 1 ? a.ops[1] : ".", &v))
        return 1;
    // A config spec set by hand ends the view's following of a stream.
    const std::string stream = view_get_stream(v);
    int rc = view_set_config_spec_file(v, a.ops[0]) == VOB_OK ? 0 : view_failed(v);
    if (rc == 0 && !stream.empty()) {
        if (view_set_stream(v, "") != VOB_OK)
            rc = view_failed(v);
        else
            IMSG_PRINT(IMSG_NOTICE, cat(), VT_DETACHED, view_get_tag(v).c_str(), stream.c_str());
    }
    if (rc == 0)
        rc = do_update(v);
    view_close(v);
    return rc;
}

int cmd_catcs(const args_t &a) {
    view_t *v;
    if (!open_view("catcs", a.ops.empty() ? "." : a.ops[0], &v))
        return 1;
    std::string text;
    int rc = view_get_config_spec(v, &text) == VOB_OK ? 0 : view_failed(v);
    if (rc == 0 && !view_get_stream(v).empty())
        printf("# This view follows %s; \"vantor update\" makes this config spec from it again.\n",
               view_get_stream(v).c_str());
    if (rc == 0)
        fputs(text.c_str(), stdout);
    view_close(v);
    return rc;
}

namespace {

std::string joined(const std::vector<std::string> &v) {
    std::string out;
    for (size_t i = 0; i < v.size(); i++)
        out += (i ? ", " : "") + v[i];
    return out;
}

}   // namespace

// A view whose directory cannot be opened is listed with the reason, not
// left out: the registry still holds its tag.
int cmd_lsview(const args_t &a) {
    std::vector<rgy_view> views;
    std::string err;
    if (rgy_view_list(a.opt("region"), &views, &err) != VOB_OK)
        return fail_text(err);
    bool longer = a.has("long") || a.has("l");
    std::string out;
    for (const rgy_view &rv : views) {
        view_t *v = nullptr;
        std::string why, loads;
        if (view_open(rv.dir, &v, &why) != VOB_OK) {
            loads = "cannot be opened: " + why;
        } else {
            loads = view_get_scopes(v).empty() ? "loads no VOB" : "VOBs " + joined(view_get_scopes(v));
            if (!view_get_stream(v).empty())
                loads = "follows " + view_get_stream(v) + "; " + loads;
        }
        if (!longer) {
            out += rv.tag + (rv.tag.size() < 24 ? std::string(24 - rv.tag.size(), ' ') : "") + " " + rv.dir +
                   " (" + loads + ")\n";
        } else {
            out += "view \"" + rv.tag + "\"\n  directory: " + rv.dir + "\n  region: " + rv.region + "\n";
            if (!v) {
                out += "  " + loads + "\n";
            } else {
                out += "  VOBs: " + (view_get_scopes(v).empty() ? "(none)" : joined(view_get_scopes(v))) + "\n";
                out += "  stream: " + (view_get_stream(v).empty() ? "(none)" : view_get_stream(v)) + "\n";
            }
        }
        if (v)
            view_close(v);
    }
    fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
