// The start-up and command-line steps that the front ends share (vantimport,
// vantfsimport, vantor): the application name, help, the version banner,
// reading the flags before the operands, stopping on a signal, the usage on
// a bad command line. Each step prints a message of the program's own
// catalog, by number.
#pragma once

#include "runtime/clp.h"
#include "runtime/imsg.h"

struct frontend_t {
    const char *name;               // the program, as the version banner names it
    const imsg_catalog *(*cat)();   // the program's catalog
    int usage, help;                // its usage text and the explanations after it
    // Its text for standard output that could not be written, one "%s" for
    // the system's reason; -1: the runtime's "write failure on standard
    // output: %s".
    int write_failed = -1;
};

// Descriptors 0, 1 and 2 opened on /dev/null when the caller left them
// closed (read-only, so that writes to them fail and are reported, and no
// file the run opens takes their place), the runtime's start-up, then the
// application name: fixed_name when not null, else the leaf of argv0; with
// neither, the runtime's default name.
void frontend_init(const char *argv0, const char *fixed_name);

// The end of every program. Standard output is flushed (and a copy of its
// descriptor closed, where a file system reports a failed write back) and
// standard error checked; when either could not be written, a status below
// `failed` becomes `failed`, after write_failed on standard error ("<what>: "
// before it when what is not null). A status of `failed` or more is a run
// that already failed: it stays as it is, without the check. Output that
// went to a pipe whose reader has gone (EPIPE) ends the process silently by
// SIGPIPE, as it would have without the signal ignored.
enum { FRONTEND_PIPE_GONE = 2 };
// The check alone, the streams left open: 0 when both were written whole;
// FRONTEND_PIPE_GONE, without a message, when standard output's reader has
// gone; else 1 after write_failed (and "<what>: " before it).
[[nodiscard]] int frontend_check_output(const frontend_t &fe, const char *what);
[[nodiscard]] int frontend_finish(const frontend_t &fe, int status, int failed = 1,
                                  const char *what = nullptr);
[[noreturn]] void frontend_exit(const frontend_t &fe, int status, int failed = 1, const char *what = nullptr);
// The usage, then the explanations, on standard output; status 0 (through
// frontend_exit, as are the two below).
[[noreturn]] void frontend_help_exit(const frontend_t &fe);
// When argv[1] asks for the version (-Ver, -Version, -VerAll): the banner,
// for -VerAll also libraries() when not null; status 0. Returns otherwise.
void frontend_version(const frontend_t &fe, int argc, char **argv, void (*libraries)());
// The usage on standard output, the handle released; status 1.
[[noreturn]] void frontend_usage_exit(const frontend_t &fe, clp_hdl **hdl);
// The version line (-V, --version among the flags), the handle released; status 0.
[[noreturn]] void frontend_banner_exit(const frontend_t &fe, clp_hdl **hdl);

enum { FRONTEND_ERROR = -1, FRONTEND_OPERANDS = 0, FRONTEND_FLAG = 1 };
// The next word before the operands: FRONTEND_FLAG and *id, FRONTEND_OPERANDS
// when the next word is an operand, or FRONTEND_ERROR after the error
// no_operand (no word left) or bad_option (a word that matches no option;
// its one "%s" is the word).
[[nodiscard]] int frontend_next_flag(const frontend_t &fe, clp_hdl *hdl, int no_operand, int bad_option,
                                     int *id);
// The value of the flag just read: 1 and *arg, or 0 after the error
// needs_arg, whose one "%s" is word.
[[nodiscard]] int frontend_flag_value(const frontend_t &fe, clp_hdl *hdl, int needs_arg, const char *word,
                                      const char **arg);
// Stops a long run on SIGINT or SIGTERM (stopsig.h), saying
// "<program>: <text of stopping>".
void frontend_stop_handlers(const frontend_t &fe, int stopping, void (*request)(), void (*at_second)());
