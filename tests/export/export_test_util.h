// Running the exporters in a scratch directory and reading what they wrote.
#pragma once

#include <regex>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/common/testutil.h"

struct ExportRun {
    testutil::ProcResult proc;
    std::string data;   // the data file, "" when none was written
};

inline ExportRun run_exporter(const std::string &bin, const std::string &dir, std::vector<std::string> args,
                              const testutil::EnvList &env = {}, const std::string &output = "cvt_data") {
    args.insert(args.begin(), bin);
    ExportRun r;
    r.proc = testutil::run(args, dir, env);
    std::string out = output[0] == '/' ? output : dir + "/" + output;
    if (testutil::exists(out))
        r.data = testutil::read_file(out);
    return r;
}

// Replaces the machine-dependent values (user, group, host, current directory)
// by placeholders so that data files compare byte for byte.
inline std::string normalise(const std::string &data) {
    static const std::regex event(
        R"((^|\n)(EventUser|EventGroup|EventName|EventHost|ExportFromDir) [0-9]+:[^\n]*)");
    return std::regex_replace(data, event, "$1$2 @");
}

inline ExportRun run_exporter(const std::string &bin, const testutil::TempDir &dir,
                              std::vector<std::string> args, const testutil::EnvList &env = {},
                              const std::string &output = "cvt_data") {
    return run_exporter(bin, dir.path(), std::move(args), env, output);
}

inline std::string scripted_env_file(const std::string &dir, const nlohmann::json &script) {
    std::string path = dir + "/script.json";
    testutil::write_file(path, script.dump(2));
    return path;
}
