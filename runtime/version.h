// Version banner shared by every program: "%-*s %s (%s)\n" at width 33 with the
// program or library name, the build's version string and the build date.
#pragma once

extern const char *const ks_version_string;   // from the build
extern const char *const ks_build_date;       // from the build
enum { KS_BANNER_WIDTH = 33 };

void ks_print_banner(const char *name);
// 1 when arg is "-Ver", "-Version" or "-VerAll" in any letter case; sets *all for -VerAll.
int ks_is_version_request(const char *arg, int *all);
