// The VOB driver's table and its small hooks: start-up, usage and help, the
// mapping of walked names (lost+found is left out), extract, close.
#include <cstdlib>
#include <cstring>
#include <new>

#include "drivers/vantor/vantor_int.h"
#include "runtime/getopt.h"
#include "runtime/tbs.h"
#include "runtime/version.h"

namespace {

// The VOB whose lost+found was asked last, and that directory element.
vob_t *lost_found_vob = nullptr;
vob_oid lost_found = 0;

// The library lines of -VerAll: what a VOB export is built from.
const char *const LIBRARIES[] = {"libvelkexport", "libvelkcmd", "libvelkview",
                                 "libvelkcm",     "libvelkvob", "libvelkdbrpc"};

void version_request(int argc, char **argv) {
    int asked = export_version_asked(argc, argv, "V");   // -V is no letter of this driver's
    if (asked == 0)
        return;
    bool all = asked == 2;
    ks_print_banner("vantexport_vantor");
    if (all)
        for (const char *lib : LIBRARIES)
            ks_print_banner(lib);
    export_exit(0);
}

// Source names come after the options; an option's value may hold "/" (a date).
int check_sources(int argc, char **argv) {
    int saved = nt_opterr;
    nt_opterr = 0;
    nt_getopt_reset();
    const std::string letters = std::string(":") + export_common_options();
    while (nt_getopt(argc, argv, letters.c_str()) != -1) {
    }
    int first = nt_optind;
    nt_opterr = saved;
    nt_getopt_reset();
    int bad = 0;
    for (int i = first; i < argc; ++i)
        if (std::strchr(argv[i], '/')) {
            IMSG_PRINT(IMSG_ERROR, vt_cat(), VT_BAD_SOURCE, argv[i]);
            bad = 1;
        }
    return bad ? CM_FAILED : 0;
}

int vt_init(int argc, char **argv, const cm_fs_ops **fs_ops, int *kind, cm_globals *g) {
    *kind = KIND_VANTOR;
    *fs_ops = &vt_fs_ops;
    // Handles of an earlier run in this process are gone with the cache.
    (void)vob_ob_all_cache_action(0, 1, 1);
    lost_found_vob = nullptr;
    lost_found = 0;
    vt_versions_out = 0;
    version_request(argc, argv);
    g->follow_links_default = 0;
    return check_sources(argc, argv);
}

void vt_usage(const char *) { IMSG_PRINT_NONL(IMSG_NOTICE, vt_cat(), VT_USAGE); }

int vt_help(const char *, cm_help_text *text) {
    text->kind = KIND_VANTOR;
    text->environment = imsg_text(vt_cat(), VT_HELP_ENVIRONMENT);
    return 0;
}

int vt_shutdown() { return 0; }

// What one version costs the store, for measurements.
void vt_end_report() {
    const char *want = std::getenv("VANTOR_SQL_STATS");
    if (!want || !*want)
        return;
    long long q = vob_queries_run(), n = vt_versions_out;
    IMSG_PRINT(IMSG_CONT, vt_cat(), VT_QUERY_STATS, q, n, n ? double(q) / double(n) : 0.0);
}

const char *vt_need_cmd() { return ""; }

int vt_map_name(const char *path, int, int *convert, int *prune, std::string *name) {
    std::string x;
    if (tbs_version_ext_pname(&x, path, nullptr) != 0) {
        IMSG_PRINT(IMSG_ERROR, vt_cat(), VT_NOT_VERSIONED, path, "unknown");
        return 1;
    }
    vob_t *vob = nullptr;
    vob_oid obj = 0;
    std::string err;
    if (vob_resolve_vob_obj(x, &vob, &obj, &err) != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, vt_cat(), VT_CANT_RESOLVE, x.c_str());
        IMSG_PRINT(IMSG_CONT, vt_cat(), VT_REASON, err.c_str());
        return 1;
    }
    if (vob != lost_found_vob) {
        lost_found_vob = vob;
        if (vob_ob_get_wk_obj(vob, VOB_WK_LOST_FOUND, &lost_found) != VOB_OK)
            lost_found = 0;
    }
    if (lost_found != 0 && obj == lost_found) {
        IMSG_PRINT(IMSG_WARNING, vt_cat(), VT_LOST_FOUND, path);
        *convert = 0;
        *prune = 1;
        return 0;
    }
    *convert = 1;
    *prune = 0;
    *name = path;
    return 0;
}

int vt_extract(void *handle, const cm_version_info *v, std::string *text, int *is_command) {
    const vantor_element *e = static_cast<vantor_element *>(handle);
    *is_command = 0;
    if (tbs_version_ext_pname(text, e->path.c_str(), v->version_id.c_str()) != 0) {
        std::string what = "the version-extended name of " + v->version_id + " does not fit " +
                           std::to_string(int(VT_PATH_SIZE) - 1) + " bytes";
        IMSG_PRINT(IMSG_ERROR, vt_cat(), VT_TOO_LONG, e->path.c_str(), what.c_str());
        return CM_FAILED;
    }
    return 0;
}

void vt_close_element(void *handle) { delete static_cast<vantor_element *>(handle); }

}   // namespace

int64_t vt_versions_out = 0;

const imsg_catalog *vt_cat() { return vantor_driver_vantor_msg_table_adr(); }

void vt_reason(const vantor_element *e, int rc) {
    const std::string &why = vob_errmsg(e->vob);
    if (rc == VOB_TOO_LONG)
        IMSG_PRINT(IMSG_ERROR, vt_cat(), VT_TOO_LONG, e->path.c_str(), why.c_str());
    else if (!why.empty())
        IMSG_PRINT(IMSG_CONT, vt_cat(), VT_REASON, why.c_str());
}

int vt_fail(const vantor_element *e, int entry, int rc) {
    imsg_print(IMSG_ERROR, vt_cat(), entry);
    vt_reason(e, rc);
    return CM_FAILED;
}

int vt_type_name(const vantor_element *e, vob_oid type, size_t size, int no_name, std::string *name) {
    int rc = vob_type_get_name(e->vob, type, name);
    if (rc == VOB_OK)
        rc = vt_fits(e->vob, *name, size, "type name");
    return rc == VOB_OK ? 0 : vt_fail(e, no_name, rc);
}

int vt_creation_event(const vantor_element *e, vob_oid obj, vob_event *ev) {
    if (int rc = vob_obj_find_event(e->vob, obj, VOB_EV_CREATE, ev)) {
        vt_fail(e, VT_NO_CREATE_EVENT, rc);
        IMSG_PRINT(IMSG_ERROR, vt_cat(), VT_NO_EVENT);
        return CM_FAILED;
    }
    return 0;
}

std::string vt_below_main(const vantor_element *e, const std::string &branch_path) {
    const std::string &m = e->main_path;
    if (branch_path.compare(0, m.size(), m) != 0)
        return branch_path;
    if (branch_path.size() == m.size())
        return "";
    if (branch_path[m.size()] != '/')
        return branch_path;
    return branch_path.substr(m.size() + 1);
}

const cm_driver vantor_driver = {
    vt_init,         vt_usage,        vt_shutdown, vt_need_cmd,      vt_map_name, vt_open_element,
    vt_element_info, vt_next_version, vt_extract,  vt_close_element, vt_help,     vt_end_report,
    nullptr,
};
