// What rlog says of an archive, read from its output.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

struct rlog_revision {
    std::string date, author, state, log;
    std::vector<std::string> branches;   // branch numbers, as "branches:" lists them
};

struct rlog_archive {
    std::vector<std::pair<std::string, std::string>> symbols;   // archive order
    std::vector<std::pair<std::string, std::string>> locks;     // user, revision
    std::string description;
    std::string default_branch;   // "branch:" of the header; empty when none
    std::map<std::string, rlog_revision> revisions;
};

// Runs rlog on the archive; false when it fails or its output is not understood.
bool rlog_read(const std::string &archive, rlog_archive *out);
