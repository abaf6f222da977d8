// POSIX getopt without argument permutation: the first operand, or "--", ends the
// options. Resettable: set nt_optind = 1 (or call nt_getopt_reset) to start over.
// With nt_opterr nonzero it prints "illegal option -- c" and "option requires an
// argument -- c" as errors through imsg ("<program>: Error: ..."); returns '?'
// for both. ':' as the first character of optstring silences the messages and
// makes a missing argument return ':'. nt_optopt holds the letter last seen.
// Inside a cluster ("-rL") nt_optind already indexes the word after it.
#pragma once

extern char *nt_optarg;
extern int nt_optind;
extern int nt_opterr;
extern int nt_optopt;

int nt_getopt(int argc, char *const argv[], const char *optstring);
void nt_getopt_reset();
