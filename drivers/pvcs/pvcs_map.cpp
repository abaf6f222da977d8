// Which walked paths are archives, and the element name each one gets.
//
// Archives in a "VCS" directory belong to the directory above; directories
// below a "VCS" directory hold nothing to export. The configuration file
// VCS.CFV, and every file that is not an archive, is left out silently.
#include <cerrno>
#include <cstring>
#include <vector>

#include "drivers/pvcs/pvcs_archive.h"
#include "drivers/pvcs/pvcs_driver.h"
#include "drivers/pvcs/pvcs_msgs.h"
#include "runtime/fileutl.h"
#include "runtime/strutl.h"

namespace {

const imsg_catalog *cat() { return pvcs_driver_pvcs_msg_table_adr(); }

// The element name of an archive, or "" when its workfile name cannot be
// read (reported here: the open then fails without saying it again).
std::string archive_element_name(pvcs_file &f, const char *path) {
    std::string workfile;
    if (pvcs_workfile_name(f, path, &workfile) != 0) {
        pvcs_note_unreadable(path);
        return "";
    }
    return pvcs_element_name(path, workfile);
}

}   // namespace

int pvcs_cm_map_name(const char *path, int, int *convert, int *prune, std::string *name) {
    *prune = 0;
    fileutl_stat_t st;
    if (fileutl_stat(path, 1, &st) != 0) {
        int err = errno;
        IMSG_PRINT(IMSG_ERROR, cat(), PVCS_CANT_STAT, path);
        IMSG_PRINT(IMSG_CONT, cat(), PVCS_REASON, std::strerror(err));
        return 1;
    }
    *convert = 1;
    const bool is_dir = S_ISDIR(st.mode);
    std::vector<std::string> comps = strutl_split(path, FILEUTL_SEP, 1);
    for (size_t i = comps.size(); i-- > 0;) {
        const size_t level = comps.size() - 1 - i;
        if (strutl_stricoll(comps[i].c_str(), "VCS.CFV") == 0) {
            *convert = 0;
            continue;
        }
        if (strutl_stricoll(comps[i].c_str(), "VCS") != 0)
            continue;
        if (level >= 2) {
            *convert = 0;
            break;
        }
        if (is_dir) {
            if (level == 1)
                imsg_printf_nonl(IMSG_REPORT, "Warning: Skipping files in directory %s\n", path);
            *convert = 0;
            break;
        }
        // a file directly inside a "VCS" directory is an archive's place
    }
    if (is_dir) {
        *name = path;
        return 0;
    }
    if (!*convert)
        return 0;
    // One open for the test and the workfile name.
    pvcs_file f;
    int rc = pvcs_open_walked(path, &f);
    if (rc == 1) {
        *convert = 0;
        return 0;
    }
    if (rc)
        return rc;
    bool archive = false;
    if ((rc = pvcs_is_archive(f, &archive)) != 0)
        return rc;
    if (!archive) {
        *convert = 0;
        return 0;
    }
    *name = archive_element_name(f, path);
    if (name->empty())
        *name = path;   // the open fails and the element is listed
    return 0;
}
