// Helpers shared by the test suites: temporary directories, files, running a
// program with captured output, and capturing the message streams.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// Defined when AddressSanitizer is built in: it reserves terabytes of
// address space, so tests under an address-space limit cannot run with it.
#if defined(__SANITIZE_ADDRESS__)
#define TESTUTIL_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESTUTIL_UNDER_ASAN 1
#endif
#endif

namespace testutil {

// A fresh directory under the temporary location (TMPDIR), removed with its
// contents when the object goes; permissions the test took away are given
// back first so that nothing is left behind. VANTOR_TEST_KEEP set in the
// environment keeps it for a look afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &rel) const { return path_ + "/" + rel; }
    // Writes a file below the directory (parents made as needed).
    void file(const std::string &rel, const std::string &text = "x") const;
    // Makes a directory below it, with its parents.
    void dir(const std::string &rel) const;

private:
    std::string path_;
};

struct ProcResult {
    int status = -1;   // exit status, or 128 + signal
    std::string out, err;
};

using EnvList = std::vector<std::pair<std::string, std::string>>;

// Runs argv[0] (a path, or a name searched on PATH) in cwd with extra
// environment settings (a value of "\x01unset" removes the variable), feeding
// it input; both streams and the status are captured.
ProcResult run(const std::vector<std::string> &argv, const std::string &cwd = ".", const EnvList &env = {},
               const std::string &input = "");

// Runs argv as run() does, but with standard error on a pseudo-terminal (and
// standard output too unless stdout_on_pty is false, when it goes to a pipe);
// standard input is /dev/null. The terminal passes bytes as they are written
// (no "\r" added before line ends); what it showed is in err, stdout's pipe in out.
ProcResult run_pty(const std::vector<std::string> &argv, const std::string &cwd = ".",
                   const EnvList &env = {}, bool stdout_on_pty = true);

// Runs a command line with /bin/sh through run(). Returns the exit status; the
// output goes to *out and the errors to *err when given; errors not asked for
// go on to the test's own standard error.
int shell(const std::string &cmd, std::string *out = nullptr, std::string *err = nullptr,
          const std::string &cwd = ".");

// Both throw std::runtime_error when the file cannot be written or read, so a
// test never compares against the contents of a file that is not there.
void write_file(const std::string &path, const std::string &bytes);
std::string read_file(const std::string &path);
bool exists(const std::string &path);
void make_dirs(const std::string &path);
// Sets a file's modification (and access) time.
void set_mtime(const std::string &path, long long t);
// Count of non-overlapping occurrences of needle in hay.
size_t count(const std::string &hay, const std::string &needle);
// Number of entries of a directory.
size_t count_entries(const std::string &dir);
// Starts argv[0] in cwd with exactly env, standard output and error both to
// log (truncated), without waiting: its pid, or -1.
int spawn_logged(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                 const std::string &log, const std::string &cwd);

// Catches what imsg writes to its two streams while the object lives; out()
// and err() return everything written since it began or was cleared.
class ImsgCapture {
public:
    ImsgCapture();
    ~ImsgCapture();
    ImsgCapture(const ImsgCapture &) = delete;
    ImsgCapture &operator=(const ImsgCapture &) = delete;
    std::string out() const;
    std::string err() const;
    // Forgets what was caught so far.
    void clear();

private:
    FILE *out_;
    FILE *err_;
};

}   // namespace testutil
