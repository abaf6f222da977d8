// The flat-file driver: every ordinary file becomes one element with one
// version, "one", whose contents are the file itself.
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "drivers/ffile/ffile_driver.h"
#include "runtime/credutl.h"
#include "runtime/fileutl.h"
#include "runtime/getopt.h"
#include "runtime/strutl.h"
#include "runtime/sysutl.h"
#include "runtime/vcsignore.h"

namespace {

// FFILE_USAGE_WITH_L and FFILE_USAGE are kept in the catalog but no longer
// printed: FFILE_USAGE_ALL lists every option the exporter takes.
#define FFILE_MESSAGES(X)                                                                             \
    X(FFILE_NO_MEMORY, "Unable to allocate memory\n")                                                 \
    X(FFILE_CANT_STAT, "Unable to stat \"%s\".\n")                                                    \
    X(FFILE_NO_CREDENTIALS, "Unable to get credentials.\n")                                           \
    X(FFILE_USAGE_WITH_L,                                                                             \
      "Usage: vantexport_ffile [-r] [-o datafile-pname] [-L] [-s date-time]\n\t\t\t [-l label] [-b "  \
      "import-branch [-v version-id ]]\n                         [-p date-time] [-t temp_dir_pname] " \
      "[source-name ...]\n")                                                                          \
    X(FFILE_USAGE,                                                                                    \
      "Usage: vantexport_ffile [-r] [-o datafile-pname] [-s date-time]\n\t\t\t [-l label] [-b "       \
      "import-branch [-v version-id ]]\n                         [-p date-time] [-t temp_dir_pname] " \
      "[source-name ...]\n")                                                                          \
    X(FFILE_HELP_ENVIRONMENT,                                                                         \
      "  EXPORT_REPLACE_COMM    the comment of every version (default \"made from flat file\")\n")      \
    X(FFILE_USAGE_ALL,                                                                                \
      "Usage: vantexport_ffile [-r] [-a] [-L] [-o datafile-pname] [-s date-time]\n"                    \
      "                        [-p date-time] [-l label] [-b import-branch [-v version-id]]\n"        \
      "                        [-t temp_dir_pname] [source-name ...]\n")                              \
    X(FFILE_HELP_OPTIONS,                                                                             \
      "  -a              export everything: also the administrative directories of other\n"          \
      "                  tools (CVS, RCS, SCCS, .git, .svn, .hg, .bzr, _darcs) and the names\n"      \
      "                  that .vantorignore files list, which are left out otherwise\n")             \
    X(FFILE_LEFT_OUT_ADMIN, "%s of other version-control tools left out (%s); -a exports them.")     \
    X(FFILE_LEFT_OUT_IGNORED, "%s that .vantorignore files list left out; -a exports them.")        \
    X(FFILE_CANT_READ_IGNORE, "%s; its names are exported.")
IMSG_DECLARE_LISTED(ffile_msg, FFILE_MESSAGES)

const char *const DEFAULT_COMMENT = "made from flat file";

// User and group are fixed for the run; host and comment are read per element.
std::string run_user, run_group;

struct ffile_element {
    std::string path;
    uint32_t mode = 0;   // from the stat of the open
    cm_version_info version;
    int cursor = 0;   // 1 once the version is handed out
};

const imsg_catalog *cat() { return ffile_driver_ffile_msg_table_adr(); }

const char *const DRIVER_OPTIONS = "aV";

// What is left out as vantfsimport -filter leaves it out, unless -a.
bool export_all = false;
std::set<std::string> admin_names;   // the administrative directories met, by name
long admin_left_out = 0;
long ignored_left_out = 0;
// Per directory of the walk ("" for the start), the patterns of its own
// .vantorignore and of those above it.
std::map<std::string, std::vector<vcsignore_pattern>> ignore_by_dir;

const std::vector<vcsignore_pattern> &patterns_of(const std::string &dir) {
    auto it = ignore_by_dir.find(dir);
    if (it != ignore_by_dir.end())
        return it->second;
    std::vector<vcsignore_pattern> pats;
    if (!dir.empty()) {
        std::string parent, leaf;
        fileutl_strip_leaf(dir, &parent, &leaf);
        pats = patterns_of(parent == "." ? std::string() : parent);
    }
    std::string why;
    if (vcsignore_read(dir, &pats, &why) != 0)
        IMSG_PRINT(IMSG_WARNING, cat(), FFILE_CANT_READ_IGNORE, why.c_str());
    return ignore_by_dir.emplace(dir, std::move(pats)).first->second;
}

// Whether a walked path is left out (and counted so).
bool left_out(const char *path) {
    fileutl_stat_t st{};
    bool is_dir = fileutl_stat(path, 0, &st) == 0 && S_ISDIR(st.mode);
    std::string dir, leaf;
    fileutl_strip_leaf(path, &dir, &leaf);
    if (vcsignore_is_admin_dir(leaf, is_dir)) {
        admin_names.insert(leaf);
        admin_left_out++;
        return true;
    }
    if (vcsignore_matches(patterns_of(dir == "." ? std::string() : dir), path, is_dir)) {
        ignored_left_out++;
        return true;
    }
    return false;
}

int ffile_init(int argc, char **argv, const cm_fs_ops **fs_ops, int *kind, cm_globals *g) {
    *kind = KIND_FFILE;
    *fs_ops = nullptr;
    export_check_version_request(argc, argv, "vantexport_ffile", DRIVER_OPTIONS);
    g->extra_options = DRIVER_OPTIONS;
    g->follow_links_default = 0;
    int saved_opterr = nt_opterr;
    nt_opterr = 0;
    std::string optstring = std::string(export_common_options()) + DRIVER_OPTIONS;
    nt_getopt_reset();
    for (int c; (c = nt_getopt(argc, argv, optstring.c_str())) != -1;)
        if (c == 'a')
            export_all = true;
    nt_getopt_reset();
    nt_opterr = saved_opterr;
    if (credutl_get_credentials(&run_user, &run_group) != 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), FFILE_NO_CREDENTIALS);
        return CM_FAILED;
    }
    return 0;
}

void ffile_usage(const char *) { IMSG_PRINT_NONL(IMSG_NOTICE, cat(), FFILE_USAGE_ALL); }

int ffile_help(const char *, cm_help_text *text) {
    text->kind = KIND_FFILE;
    text->options = imsg_text(cat(), FFILE_HELP_OPTIONS);
    text->environment = imsg_text(cat(), FFILE_HELP_ENVIRONMENT);
    return 0;
}

int ffile_shutdown() { return 0; }

const char *ffile_need_cmd() { return ""; }

int ffile_map_name(const char *path, int, int *convert, int *prune, std::string *name) {
    if (!export_all && left_out(path)) {
        *convert = 0;
        *prune = 1;   // nothing below it either
        return 0;
    }
    *convert = 1;
    *prune = 0;
    *name = path;
    return 0;
}

// After the totals: what was left out as vantfsimport -filter leaves it out.
void ffile_end_report() {
    if (admin_left_out > 0) {
        std::string names;
        for (const std::string &n : admin_names)
            names += (names.empty() ? "" : ", ") + n;
        IMSG_PRINT(IMSG_CONT, cat(), FFILE_LEFT_OUT_ADMIN,
                   strutl_count(admin_left_out, "administrative directory", "administrative directories").c_str(),
                   names.c_str());
    }
    if (ignored_left_out > 0)
        IMSG_PRINT(IMSG_CONT, cat(), FFILE_LEFT_OUT_IGNORED,
                   strutl_count(ignored_left_out, "name", "names").c_str());
}

// Asked once per run: the name cannot change under a running export, and the
// lookup is a system call per file otherwise.
const std::string &host_name() {
    static const std::string host = [] {
        std::string h = sysutl_myhostname();
        return h == "UnknownHost" ? std::string("???") : h;
    }();
    return host;
}

int fill_element(ffile_element *e) {
    cm_version_info &v = e->version;
    v.status = VERSION_WRITE;
    v.version_id = "one";
    fileutl_stat_t st{};
    if (fileutl_stat(e->path.c_str(), 1, &st) != 0) {
        int err = errno;
        IMSG_PRINT(IMSG_ERROR, cat(), FFILE_CANT_STAT, e->path.c_str());
        imsg_print_errno(IMSG_ERROR, e->path.c_str(), err);
        return CM_FAILED;
    }
    e->mode = st.mode;
    // A time before 1970 is taken as the time of the run.
    int64_t now = int64_t(std::time(nullptr));
    v.event_time = v.selected_time = st.mtime < 0 ? now : st.mtime;
    v.user = run_user;
    v.group = run_group;
    v.event_name = run_user;
    v.host = host_name();
    const char *comment = std::getenv("EXPORT_REPLACE_COMM");
    v.comment = comment ? comment : DEFAULT_COMMENT;
    return 0;
}

int ffile_open_element(const char *path, void **handle) {
    auto *e = new ffile_element;
    *handle = e;
    e->path = path;
    if (fill_element(e) != 0)
        return CM_FAILED;
    e->cursor = 0;
    return 0;
}

int ffile_element_info(void *handle, element_info *info) {
    const ffile_element *e = static_cast<ffile_element *>(handle);
    *info = element_info();
    info->created = e->version.event_time;
    info->name = e->path;
    info->mode = int(e->mode);   // the open's stat follows links too
    info->user = e->version.user;
    info->group = e->version.group;
    info->event_name = e->version.event_name;
    info->host = e->version.host;
    info->comment = e->version.comment;
    return 0;
}

int ffile_next_version(void *handle, cm_version_info *v, int *is_version) {
    ffile_element *e = static_cast<ffile_element *>(handle);
    if (e->cursor != 0)
        return CM_NO_MORE;
    e->cursor = 1;
    *v = std::move(e->version);   // handed out once; extract needs only the path
    *is_version = 1;
    return 0;
}

int ffile_extract(void *handle, const cm_version_info *, std::string *text, int *is_command) {
    *text = static_cast<ffile_element *>(handle)->path;
    *is_command = 0;
    return 0;
}

void ffile_close_element(void *handle) { delete static_cast<ffile_element *>(handle); }

}   // namespace

IMSG_DEFINE_LISTED_CATALOG(ffile_driver_ffile_msg_table_adr, "ffile_cvt", "ffile_driver", 1, FFILE_MESSAGES)

const cm_driver ffile_driver = {
    ffile_init,     ffile_usage,         ffile_shutdown,     ffile_need_cmd,
    ffile_map_name, ffile_open_element,  ffile_element_info, ffile_next_version,
    ffile_extract,  ffile_close_element, ffile_help,         ffile_end_report,
    nullptr,
};
