// Small helpers of the VOB store with no database behind them.
#include "platform/store/vob.h"

#include "runtime/credutl.h"
#include "runtime/sysutl.h"

#include <ctime>

const char *vob_mtype_name(int mtype) {
    switch (mtype) {
        case VOB_MT_VOB:
            return "vob";
        case VOB_MT_FILE_ELEM:
            return "file element";
        case VOB_MT_VERSION:
            return "version";
        case VOB_MT_DIR_ELEM:
            return "directory element";
        case VOB_MT_DIR_VERSION:
            return "directory version";
        case VOB_MT_BRANCH:
            return "branch";
        case VOB_MT_HLINK:
            return "hyperlink";
        case VOB_MT_LABEL:
            return "label";
        case VOB_MT_ATTR:
            return "attribute";
        case VOB_MT_LOCK:
            return "lock";
        case VOB_MT_ELTYPE:
            return "element type";
        case VOB_MT_BRTYPE:
            return "branch type";
        case VOB_MT_ATTYPE:
            return "attribute type";
        case VOB_MT_HLTYPE:
            return "hyperlink type";
        case VOB_MT_CKOUT:
            return "checkout";
        case VOB_MT_LBTYPE:
            return "label type";
        case VOB_MT_PROJECT:
            return "project";
        case VOB_MT_COMPONENT:
            return "component";
        case VOB_MT_BASELINE:
            return "baseline";
        case VOB_MT_STREAM:
            return "stream";
    }
    return "unknown";
}

// Who and where this process runs; looked up once (thread-safe start-up).
// A user or group without an entry is given by its number.
static const vob_event &process_identity() {
    static const vob_event id = [] {
        vob_event ev;
        // Nonzero only when a name is missing; the numbers stand in for it.
        (void)credutl_get_credentials(&ev.user, &ev.group);
        credutl_pw pw;
        if (credutl_getpwnam(ev.user.c_str(), &pw) == 0)
            ev.name = pw.full_name;
        ev.host = sysutl_myhostname();
        return ev;
    }();
    return id;
}

vob_event vob_event_now(const std::string &comment) {
    vob_event ev = process_identity();
    ev.time = (int64_t)time(nullptr);
    ev.comment = comment;
    return ev;
}

int vob_split_xpname(const std::string &xpname, std::string *path, std::string *vid) {
    size_t at = xpname.find("@@");
    if (at == std::string::npos)
        return 0;
    *path = xpname.substr(0, at);
    *vid = xpname.substr(at + 2);
    return 1;
}

std::vector<vob_rule> vob_default_rules() {
    std::vector<vob_rule> r(2);
    r[0].kind = vob_rule::CHECKEDOUT;
    r[1].kind = vob_rule::LATEST;
    r[1].arg = "/main";
    return r;
}
