// Small helpers of the VOB store with no database behind them.
#include "platform/vob.h"

#include <ctime>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

const char *vob_mtype_name(int mtype)
{
    switch (mtype) {
    case VOB_MT_VOB: return "vob";
    case VOB_MT_FILE_ELEM: return "file element";
    case VOB_MT_VERSION: return "version";
    case VOB_MT_DIR_ELEM: return "directory element";
    case VOB_MT_DIR_VERSION: return "directory version";
    case VOB_MT_BRANCH: return "branch";
    case VOB_MT_HLINK: return "hyperlink";
    case VOB_MT_LABEL: return "label";
    case VOB_MT_ATTR: return "attribute";
    case VOB_MT_LOCK: return "lock";
    case VOB_MT_ELTYPE: return "element type";
    case VOB_MT_BRTYPE: return "branch type";
    case VOB_MT_ATTYPE: return "attribute type";
    case VOB_MT_HLTYPE: return "hyperlink type";
    case VOB_MT_CKOUT: return "checkout";
    case VOB_MT_LBTYPE: return "label type";
    }
    return "unknown";
}

// Who and where this process runs; looked up once (thread-safe start-up).
static const vob_event &process_identity()
{
    static const vob_event id = [] {
        vob_event ev;
        std::vector<char> buf(16384);
        passwd pw, *pwp = nullptr;
        if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &pwp) == 0 && pwp) {
            ev.user = pw.pw_name;
            std::string gecos = pw.pw_gecos ? pw.pw_gecos : "";
            ev.name = gecos.substr(0, gecos.find(','));
        } else {
            ev.user = std::to_string(geteuid());
        }
        group gr, *grp = nullptr;
        if (getgrgid_r(getegid(), &gr, buf.data(), buf.size(), &grp) == 0 && grp)
            ev.group = gr.gr_name;
        else
            ev.group = std::to_string(getegid());
        char host[256];
        if (gethostname(host, sizeof host) == 0) {
            host[sizeof host - 1] = '\0';
            ev.host = host;
        } else {
            ev.host = "UnknownHost";
        }
        return ev;
    }();
    return id;
}

vob_event vob_event_now(const std::string &comment)
{
    vob_event ev = process_identity();
    ev.time = (int64_t)time(nullptr);
    ev.comment = comment;
    return ev;
}

int vob_split_xpname(const std::string &xpname, std::string *path, std::string *vid)
{
    size_t at = xpname.find("@@");
    if (at == std::string::npos)
        return 0;
    *path = xpname.substr(0, at);
    *vid = xpname.substr(at + 2);
    return 1;
}

std::vector<vob_rule> vob_default_rules()
{
    std::vector<vob_rule> r(2);
    r[0].kind = vob_rule::CHECKEDOUT;
    r[1].kind = vob_rule::LATEST;
    r[1].arg = "/main";
    return r;
}
