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

// What a data file holds, read line by line with the length-prefixed values
// taken whole: a value (a comment) may hold line ends and record markers.
struct RecordCounts {
    bool ok = false;          // the file followed the line format to its end
    long elements = 0;        // ELEMENT_BEGIN lines
    long versions = 0;        // VERSION_BEGIN lines
    long num_elements = -1;   // the globals' NumElements
    long num_versions = -1;   // the globals' NumVersions
};

inline RecordCounts count_records(const std::string &s) {
    RecordCounts c;
    size_t i = 0;
    while (i < s.size()) {
        size_t eol = s.find('\n', i);
        if (eol == std::string::npos)
            return c;
        size_t sp = s.find(' ', i);
        std::string key = s.substr(i, (sp < eol ? sp : eol) - i);
        std::string value;
        i = eol + 1;
        if (sp < eol) {
            size_t colon = s.find(':', sp);
            std::string num = s.substr(sp + 1, (colon < eol ? colon : eol) - sp - 1);
            bool is_len =
                colon < eol && !num.empty() && num.find_first_not_of("0123456789") == std::string::npos;
            if (is_len) {
                size_t end = colon + 1 + std::stoul(num);
                if (end >= s.size() || s[end] != '\n')
                    return c;
                value = s.substr(colon + 1, end - colon - 1);
                i = end + 1;
            } else {
                value = num;
            }
        }
        if (key == "ELEMENT_BEGIN")
            c.elements++;
        else if (key == "VERSION_BEGIN")
            c.versions++;
        else if (key == "NumElements")
            c.num_elements = std::stol(value);
        else if (key == "NumVersions")
            c.num_versions = std::stol(value);
    }
    c.ok = true;
    return c;
}

// The last line of a text (without its line end).
inline std::string last_line(const std::string &text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n')
        t.pop_back();
    size_t nl = t.find_last_of('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}
