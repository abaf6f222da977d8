// TEMPORARY stand-in for fsimport_start until the library lands: checks the
// target and the sources and prints the action each would get; changes nothing.
#include <csignal>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/fsimport/fsimport_msgs.h"
#include "platform/fsimport/fsimport_start.h"
#include "runtime/fileutl.h"
#include "runtime/version.h"

namespace {

volatile sig_atomic_t stop_asked = 0;

const imsg_catalog *cat() { return fsimport_fsimport_msg_table_adr(); }

}   // namespace

int fsimport_start(fsimport_params *p, const char *const *sources, int count) {
    struct stat st;
    if (!p->target || stat(p->target, &st) != 0 || !S_ISDIR(st.st_mode)) {
        IMSG_PRINT(IMSG_ERROR, cat(), FSI_NO_TARGET, p->target ? p->target : "");
        return 1;
    }
    std::vector<const char *> failed;
    p->area = stg_create_area(4096);
    for (int i = 0; i < count && !stop_asked; ++i) {
        std::string dir, leaf;
        fileutl_strip_leaf(sources[i], &dir, &leaf);
        std::string path = std::string(p->target) + "/" + leaf;
        if (lstat(sources[i], &st) != 0) {
            IMSG_PRINT(IMSG_ERROR, cat(), FSI_NO_SOURCE, sources[i], std::strerror(errno));
            failed.push_back(stg_area_strdup(p->area, path.c_str()));
        } else if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
            IMSG_PRINT(IMSG_ERROR, cat(), FSI_SKIPPED, path.c_str(), "not a file or a directory");
            failed.push_back(stg_area_strdup(p->area, path.c_str()));
        } else {
            IMSG_PRINT(IMSG_NOTICE, cat(), FSI_ACTION, "new element", path.c_str());
        }
    }
    if (!failed.empty()) {
        auto table = static_cast<const char **>(stg_alloc(p->area, failed.size() * sizeof(char *)));
        std::memcpy(table, failed.data(), failed.size() * sizeof(char *));
        p->not_imported = table;
        p->not_imported_count = int(failed.size());
    }
    return failed.empty() && !stop_asked ? 0 : 1;
}

void fsimport_params_release(fsimport_params *p) {
    stg_delete_area(&p->area);
    if (p->reported)
        hash_delete_ht(p->reported);
    p->reported = nullptr;
    p->not_imported = p->not_labelled = nullptr;
    p->not_imported_count = p->not_labelled_count = 0;
}

void libvelkfsimport_print_verid() { ks_print_banner("libvelkfsimport"); }

void fsimport_request_stop() { stop_asked = 1; }
