// The database the exporter's tests run against, and running the exporter
// with the stand-ins first on PATH.
//
// $/proj holds a.c (shared into sub/, once also in the deleted project
// $/old, branched into dev/ at version 4 and from there, at version 6, into
// $/other/hot, outside the working project), pinned.c (pinned at 2),
// sub/b.bin (binary, checked out), the empty project "empty" and x.c, whose
// branch claims to start at a version x.c never had.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "tests/common/testutil.h"

namespace ssafe_test {

using json = nlohmann::json;

inline json entry(int version, const std::string &date, const std::string &action,
                  const std::string &contents, const std::string &comment = "") {
    json e = {{"version", version}, {"user", "Admin"}, {"date", date}, {"time", "3:05p"}, {"action", action}};
    if (!contents.empty())
        e["contents"] = contents;
    if (!comment.empty())
        e["comment"] = comment;
    return e;
}

// The entries of a.c up to n (1 .. 5).
inline json a_entries(int n) {
    json all = json::array();
    all.push_back(entry(1, "8/06/02", "Created", "a1\n"));
    all.push_back(entry(2, "8/07/02", "Checked in $/proj", "a2\n", "first line\nsecond line"));
    json label = {{"user", "Admin"}, {"date", "8/08/02"},   {"time", "9:00a"},
                  {"label", "REL1"}, {"action", "Labeled"}, {"label_comment", "the first release"}};
    all.push_back(label);
    json v3 = entry(3, "8/09/02", "Labeled", "");
    v3["label"] = "V3";
    all.push_back(v3);
    all.push_back(entry(4, "8/10/02", "Checked in $/proj", "a4\n", "fourth"));
    all.push_back(entry(5, "8/11/02", "Checked in $/proj", "a5\n"));
    json out = json::array();
    for (const json &e : all) {
        if (e.contains("version") && e["version"].get<int>() > n)
            break;
        out.push_back(e);
    }
    return out;
}

inline json database() {
    json db;
    db["current"] = "$/proj";
    db["projects"] = {"$/proj",  "$/proj/sub",  "$/proj/dev", "$/proj/empty",
                      "$/other", "$/other/hot", "$/old",      "$/proj/xdev"};
    json files;
    files["A"] = {{"entries", a_entries(5)}};
    // The branch repeats a.c's history up to 3, as the client lists it.
    json dev = a_entries(3);
    dev.push_back(entry(4, "9/01/02", "Checked in $/proj/dev", "dev4\n", "on dev"));
    dev.push_back(entry(5, "9/02/02", "Checked in $/proj/dev", "dev5\n"));
    files["DEV"] = {{"branch_of", "A"}, {"at_version", 4}, {"entries", dev}};
    json hot = dev;
    hot.push_back(entry(6, "9/03/02", "Checked in $/other/hot", "hot6\n"));
    files["HOT"] = {{"branch_of", "DEV"}, {"at_version", 6}, {"entries", hot}};
    json pinned = json::array();
    pinned.push_back(entry(1, "1/15/03", "Created", "p1\n"));
    json p2 = entry(2, "1/16/03", "Checked in $/proj", "p2\n");
    p2["label"] = "MINE";
    pinned.push_back(p2);
    pinned.push_back(entry(3, "1/17/03", "Checked in $/proj", "p3\n"));
    files["PIN"] = {{"entries", pinned}};
    json bin = json::array();
    bin.push_back(entry(1, "2/01/03", "Created", ""));
    bin[0]["contents_hex"] = "00ff0d0a1a";
    bin.push_back(entry(2, "12/31/03", "Checked in $/proj/sub", ""));
    bin[1]["contents_hex"] = "0d0a0d0a00";
    bin[1]["time"] = "12:05a";
    files["BIN"] = {{"entries", bin}};
    json x = json::array();
    x.push_back(entry(1, "3/01/03", "Created", "x1\n"));
    x.push_back(entry(2, "3/02/03", "Checked in $/proj", "x2\n"));
    files["X"] = {{"entries", x}};
    json xdev = x;
    xdev.push_back(entry(9, "3/05/03", "Checked in $/proj/xdev", "x9\n"));
    files["XDEV"] = {{"branch_of", "X"}, {"at_version", 9}, {"entries", xdev}};
    db["files"] = files;
    db["places"] = {
        {{"path", "$/proj/a.c"}, {"file", "A"}},
        {{"path", "$/proj/sub/a.c"}, {"file", "A"}},
        {{"path", "$/old/a.c"}, {"file", "A"}, {"deleted", true}},
        {{"path", "$/proj/dev/a.c"}, {"file", "DEV"}},
        {{"path", "$/other/hot/a.c"}, {"file", "HOT"}},
        {{"path", "$/proj/pinned.c"}, {"file", "PIN"}, {"pin", 2}},
        {{"path", "$/proj/sub/b.bin"}, {"file", "BIN"}},
        {{"path", "$/proj/x.c"}, {"file", "X"}},
        {{"path", "$/proj/xdev/x.c"}, {"file", "XDEV"}},
    };
    db["checkouts"] = {{"$/proj/sub/b.bin", {"alice   C:\\work\\proj\\sub"}}};
    return db;
}

// Contents of a version of a place, as the fixture holds them.
inline std::string hex_bytes(const std::string &hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

}   // namespace ssafe_test

namespace ssafe_test {

// The bytes of version n of the file seen at a place: the numbered entry's
// own contents, or those of the numbered entry before it.
inline std::string contents_at(const json &db, const std::string &place, int n) {
    std::string file;
    for (const json &p : db["places"])
        if (p["path"] == place)
            file = p["file"];
    std::string got = "<no such version>";
    for (const json &e : db["files"][file]["entries"]) {
        if (!e.contains("version"))
            continue;
        if (e.contains("contents"))
            got = e["contents"];
        else if (e.contains("contents_hex"))
            got = hex_bytes(e["contents_hex"]);
        if (e["version"].get<int>() == n)
            return got;
    }
    return "<no such version>";
}

}   // namespace ssafe_test
