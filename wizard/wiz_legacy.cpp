// The legacy kinds, repositories and objects.
#include "wizard/wiz_legacy.h"

#include <cstdlib>
#include <cstring>

#include "wizard/wiz_strings.h"

LegacyKind::LegacyKind(Id id, const char *program, int string_id)
    : id_(id), program_(program), string_id_(string_id) {}

LegacyKind *LegacyKind::get(Id id) {
    static LegacyKind ffile(FFILE, "vantexport_ffile", IDS_KIND_FFILE);
    static LegacyKind pvcs(PVCS, "vantexport_pvcs", IDS_KIND_PVCS);
    static LegacyKind ssafe(SSAFE, "vantexport_ssafe", IDS_KIND_SSAFE);
    static LegacyKind rcs(RCS, "vantexport_rcs", IDS_KIND_RCS);
    static LegacyKind si(SI, "vantexport_rcs", IDS_KIND_SI);
    switch (id) {
        case FFILE:
            return &ffile;
        case PVCS:
            return &pvcs;
        case SSAFE:
            return &ssafe;
        case RCS:
            return &rcs;
        case SI:
            return &si;
    }
    return &ffile;
}

bool LegacyKind::ui_is_english() {
    const char *names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    for (const char *n : names) {
        const char *v = std::getenv(n);
        if (!v || !*v)
            continue;
        return std::strcmp(v, "C") == 0 || std::strncmp(v, "C.", 2) == 0 || std::strcmp(v, "POSIX") == 0 ||
               std::strncmp(v, "en", 2) == 0;
    }
    return true;
}

std::vector<LegacyKind *> LegacyKind::offered() {
    std::vector<LegacyKind *> kinds = {get(FFILE), get(PVCS)};
    if (ui_is_english())
        kinds.push_back(get(SSAFE));
    kinds.push_back(get(RCS));
    kinds.push_back(get(SI));
    return kinds;
}

const std::string &LegacyKind::display() {
    if (display_.empty())
        display_ = wiz_string(string_id_);
    return display_;
}

void LegacyKind::reset_check() {
    check_done_ = false;
    tool_dir_.clear();
}

void LegacyKind::prepend_tool_dir_to_path() const {
    if (tool_dir_.empty())
        return;
    const char *old = std::getenv("PATH");
    std::string path = tool_dir_;
    if (old && *old)
        path += std::string(":") + old;
    ::setenv("PATH", path.c_str(), 1);
}

LegacyRepository::LegacyRepository(LegacyKind *kind, std::string location)
    : kind_(kind), location_(std::move(location)) {}

LegacyRepository::~LegacyRepository() = default;

void LegacyRepository::prepare_export(const std::string &) const {}

LegacyObject::LegacyObject(std::unique_ptr<LegacyRepository> repo, std::string object_path,
                           std::string display_name)
    : repo_(std::move(repo)), object_path_(std::move(object_path)), display_name_(std::move(display_name)) {}

LegacyObject::~LegacyObject() = default;
