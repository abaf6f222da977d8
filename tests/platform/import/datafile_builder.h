// Builds export data files for the tests, line by line as the exporters write them.
#pragma once

#include <cstdint>
#include <string>

struct datafile_builder {
    std::string text;
    datafile_builder &marker(const std::string &m) {
        text += m + "\n";
        return *this;
    }
    datafile_builder &str(const std::string &key, const std::string &v) {
        text += key + " " + std::to_string(v.size()) + ":" + v + "\n";
        return *this;
    }
    datafile_builder &num(const std::string &key, int64_t v) {
        text += key + " " + std::to_string(v) + "\n";
        return *this;
    }
    datafile_builder &flag(const std::string &key) {
        text += key + " TRUE\n";
        return *this;
    }
    // The format line, the globals and an empty types section.
    datafile_builder &head(const std::string &from, int64_t nelem, int64_t nver, int kind = 2) {
        num("EXPORT_FORMAT", 5).marker("GLOBALS_BEGIN").str("ExportFromDir", from);
        num("NumElements", nelem).num("NumVersions", nver).num("ExporterKind", kind);
        return marker("GLOBALS_END");
    }
    datafile_builder &dir(const std::string &name) {
        return marker("DIR_BEGIN").str("DirName", name).marker("DIR_END");
    }
    datafile_builder &event(const std::string &user, int64_t time) {
        str("EventUser", user).str("EventGroup", "staff").str("EventName", user);
        return str("EventHost", "host").num("EventTime", time);
    }
};
