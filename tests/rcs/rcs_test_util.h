// Helpers of the RCS tests: where the exporter programs are, and a reader of
// export data files.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The directory of the exporter programs of this build.
std::string program_dir();

// One record of a data file: its key/value lines in order; nested versions.
struct data_version {
    std::multimap<std::string, std::string> f;
    std::string get(const std::string &k) const {
        auto it = f.find(k);
        return it == f.end() ? std::string() : it->second;
    }
    std::vector<std::string> all(const std::string &k) const;
};
struct data_element : data_version {
    std::vector<data_version> versions;
};
struct data_file {
    data_version globals;
    std::vector<std::string> types;   // "LbType:name", "BrType:name", ...
    std::vector<std::string> dirs;
    std::vector<data_element> elements;
    const data_element *element(const std::string &name) const;
    // The elements' names, sorted.
    std::vector<std::string> element_names() const;
};
// Reads the file; false when it cannot be read or does not follow the format.
bool read_data_file(const std::string &path, data_file *out);
// "YYYY/MM/DD HH:MM:SS" of a time, in UTC.
std::string utc_text(int64_t t);
