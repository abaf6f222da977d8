// Helpers shared by the test suites: temporary directories, files, and
// running a program with captured output.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testutil {

// A fresh directory under the temporary location, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
};

struct ProcResult {
    int status = -1;       // exit status, or 128 + signal
    std::string out, err;
};

using EnvList = std::vector<std::pair<std::string, std::string>>;

// Runs argv[0] (a path, or a name searched on PATH) in cwd with extra
// environment settings (a value of "\x01unset" removes the variable).
ProcResult run(const std::vector<std::string> &argv, const std::string &cwd = ".",
               const EnvList &env = {}, const std::string &input = "");

void write_file(const std::string &path, const std::string &bytes);
std::string read_file(const std::string &path);
bool exists(const std::string &path);
void make_dirs(const std::string &path);
// Sets a file's modification (and access) time.
void set_mtime(const std::string &path, long long t);
// Count of non-overlapping occurrences of needle in hay.
size_t count(const std::string &hay, const std::string &needle);

} // namespace testutil
