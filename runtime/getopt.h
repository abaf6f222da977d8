// POSIX getopt without argument permutation: the first operand, or "--", ends the
// options. Resettable: set nt_optind = 1 (or call nt_getopt_reset) to start over.
// With nt_opterr nonzero it prints "<program>: illegal option -- c" style
// messages for unknown letters and missing arguments; returns '?' for both.
// (':' as the first character of optstring makes a missing argument return ':'.)
#pragma once

extern char *nt_optarg;
extern int nt_optind;
extern int nt_opterr;
extern int nt_optopt;

int nt_getopt(int argc, char *const argv[], const char *optstring);
void nt_getopt_reset();
