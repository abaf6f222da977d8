#include "version.h"

#include <cstdio>

#include "imsg.h"
#include "strutl.h"

const char *const ks_version_string = VANTOR_VERSION_STRING;
const char *const ks_build_date = VANTOR_BUILD_DATE;

void ks_print_banner(const char *name) {
    imsg_printf_nonl(IMSG_NOTICE, "%-*s %s (%s)\n", int(KS_BANNER_WIDTH), name, ks_version_string,
                     ks_build_date);
}

int ks_is_version_request(const char *arg, int *all) {
    if (all)
        *all = 0;
    if (!arg)
        return 0;
    if (strutl_stricoll(arg, "-VerAll") == 0) {
        if (all)
            *all = 1;
        return 1;
    }
    return strutl_stricoll(arg, "-Ver") == 0 || strutl_stricoll(arg, "-Version") == 0;
}
