// Selectors: "[KIND:]NAME[@VOB-TAG]". Names of the layer's objects are type
// names and hold neither ":" nor "@", so the first "@" ends the name and a
// ":" before it ends the kind.
#include "platform/orbis/orb_int.h"

static const char *const kinds[] = {"project", "component", "baseline", "stream", "lbtype"};

static bool known_kind(const std::string &k) {
    for (const char *x : kinds)
        if (k == x)
            return true;
    return false;
}

static int refuse(std::string *err, const std::string &msg) {
    if (err)
        *err = msg;
    return VOB_ERR;
}

int orb_parse_selector(const std::string &text, const char *kind, const std::string &default_vob,
                       orb_selector *out, std::string *err) {
    size_t at = text.find('@');
    std::string head = text.substr(0, at);
    std::string vob = at == std::string::npos ? default_vob : text.substr(at + 1);
    std::string given, name = head;
    if (size_t colon = head.find(':'); colon != std::string::npos) {
        given = head.substr(0, colon);
        name = head.substr(colon + 1);
        if (!known_kind(given))
            return refuse(err, ORB_MSG(ORB_SEL_KIND, text.c_str(), given.c_str()));
        if (kind && given != kind)
            return refuse(err, ORB_MSG(ORB_SEL_WRONG_KIND, text.c_str(), given.c_str(), kind));
    }
    if (name.empty())
        return refuse(err, ORB_MSG(ORB_SEL_EMPTY, text.c_str()));
    if (vob.empty())
        return refuse(err, ORB_MSG(ORB_SEL_NO_VOB, text.c_str()));
    if (vob[0] != '/')
        vob = "/" + vob;
    if (!vob_tag_is_valid(vob))
        return refuse(err, ORB_MSG(ORB_SEL_BAD_VOB, text.c_str(), vob.c_str()));
    out->kind = !given.empty() ? given : kind ? kind : "";
    out->name = name;
    out->vob = vob;
    return VOB_OK;
}

std::string orb_selector_text(const char *kind, const std::string &name, const std::string &vob) {
    std::string s = kind && *kind ? std::string(kind) + ":" + name : name;
    return vob.empty() ? s : s + "@" + vob;
}
