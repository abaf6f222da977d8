// vantor's commands on VOBs and types: mkvob, rmvob, lsvob, mk*type, check.
#include "platform/registry/registry.h"
#include "platform/registry/vob_tag.h"
#include "platform/vantor/vantor_int.h"
#include "runtime/strutl.h"

#include <chrono>
#include <cstdio>
#include <unistd.h>

int cmd_mkvob(const args_t &a) {
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

// The views of a message: view "TAG" at "DIR", ...
static std::string view_names(const std::vector<rgy_view> &views) {
    std::string r;
    for (const rgy_view &v : views)
        r += (r.empty() ? "view \"" : ", view \"") + v.tag + "\" at \"" + v.dir + "\"";
    return r;
}

// Storage that cannot be written cannot be removed either: said before the
// views, so that no one removes views for a removal that would fail.
static bool read_only_storage(const std::string &tag, std::string *err) {
    vob_t *v = nullptr;
    if (vob_open_tag(tag, &v, err) != VOB_OK) {
        err->clear();   // not a VOB: rmvob just drops the tag
        return false;
    }
    bool ro = vob_check_writable(v) != VOB_OK;
    if (ro)
        *err = vob_errmsg(v);
    vob_close(v);
    return ro;
}

// A VOB that a view loads is removed only with -force: the view would lose
// it without a word, and its next update would fail.
int cmd_rmvob(const args_t &a) {
    const std::string &tag = a.ops[0];
    std::string err;
    rgy_vob have;
    std::vector<rgy_view> users;
    if (rgy_vob_find(tag, "", &have, &err) != VOB_OK || read_only_storage(tag, &err) ||
        view_list_loading(tag, &users, &err) != VOB_OK)
        return fail_text(err);
    std::string names = view_names(users);
    if (!users.empty() && !a.has("force")) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_VOB_LOADED, tag.c_str(), names.c_str());
        return 1;
    }
    if (vob_remove(tag, &err) != VOB_OK)
        return fail_text(err);
    if (!users.empty())
        IMSG_PRINT(IMSG_WARNING, cat(), VT_VOB_REMOVED_LOADED, tag.c_str(), names.c_str());
    return 0;
}

int cmd_lsvob(const args_t &a) {
    std::vector<rgy_vob> vobs;
    std::string err;
    if (rgy_vob_list(a.opt("region"), &vobs, &err) != VOB_OK)
        return fail_text(err);
    for (auto &v : vobs)
        printf("%-24s %s%s\n", v.tag.c_str(), v.storage.c_str(), v.project ? " (project VOB)" : "");
    return 0;
}

// The VOB a type command works on: -vob TAG, NAME@TAG, or the VOB of the working directory.
static bool type_vob(const args_t &a, std::string *name, vob_pname *here, vob_t **out, vob_t **owned) {
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

static int mktype(const args_t &a, int mtype) {
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

int cmd_mkbrtype(const args_t &a) { return mktype(a, VOB_MT_BRTYPE); }
int cmd_mklbtype(const args_t &a) { return mktype(a, VOB_MT_LBTYPE); }
int cmd_mkattype(const args_t &a) { return mktype(a, VOB_MT_ATTYPE); }
int cmd_mkhltype(const args_t &a) { return mktype(a, VOB_MT_HLTYPE); }
int cmd_mkeltype(const args_t &a) { return mktype(a, VOB_MT_ELTYPE); }

// A VOB of fewer versions is checked before a progress line would be read.
constexpr int64_t check_progress_from = 500;

int cmd_check(const args_t &a) {
    using clock = std::chrono::steady_clock;
    const clock::time_point started = clock::now();
    const std::string &tag = a.ops[0];
    vob_t *v;
    std::string err;
    if (vob_open_tag(tag, &v, &err) != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_CHECK_FAILED, tag.c_str(), err.c_str());
        return 1;
    }
    clock::time_point drawn{};
    const bool tty = isatty(2);
    // At most ten drawings a second, and the last one always.
    auto progress = [&](int64_t done, int64_t total) {
        if (!tty || total < check_progress_from)
            return;
        clock::time_point now = clock::now();
        if (done < total && now - drawn < std::chrono::milliseconds(100))
            return;
        drawn = now;
        imsg_status_draw(IMSG_SPRINTF(cat(), VT_CHECK_PROGRESS_N, (long long)done,
                                      strutl_count(total, "version", "versions").c_str()),
                         done == total);
    };
    vob_check_report r;
    int rc = vob_check_contents(v, &r, progress);
    imsg_status_clear();
    if (rc != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_CHECK_FAILED, tag.c_str(), vob_errmsg(v).c_str());
        vob_close(v);
        return 1;
    }
    vob_close(v);
    for (const vob_check_report::damage &d : r.damaged)
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_CHECK_DAMAGE, d.element.c_str(), d.version.c_str(), d.why.c_str());
    double secs = std::chrono::duration<double>(clock::now() - started).count();
    IMSG_PRINT(IMSG_NOTICE, cat(), VT_CHECKED_N, tag.c_str(), strutl_count(r.elements, "element", "elements").c_str(),
               strutl_count(r.versions, "version", "versions").c_str(),
               strutl_count(r.bytes, "byte", "bytes").c_str(), secs, (long long)r.damaged.size());
    if (r.damaged.empty())
        return 0;
    IMSG_PRINT(IMSG_ERROR, cat(), VT_CHECK_DAMAGED_N, tag.c_str(),
               strutl_count((long long)r.damaged.size(), "damaged version", "damaged versions").c_str());
    return 1;
}
