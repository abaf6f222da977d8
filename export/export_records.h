// Element and version records: what a driver fills for one legacy element.
//
// Strings that may be absent are optional: an absent value leaves its line out
// of the data file, where an empty one may still be written (Comment 0:).
// Lists that are empty write nothing. The library may rename a version's
// branch, labels, merges, fmerges and sub-branches in place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using opt_str = std::optional<std::string>;
using str_list = std::vector<std::string>;

enum { ELEMENT_STATE_OBSOLETE = 8 };

struct element_info {
    int state = 0;         // 8: obsolete (Obsolete TRUE)
    opt_str type_name;     // ElType; absent adds no element type
    int64_t created = 0;   // creation time; also decides whether a head is written
    int64_t updated = 0;   // latest change to the record itself (its attributes), 0 if none;
                           // a head is written when this is in range too
    std::string name;      // Name
    int mode = 0;          // Mode; 0 leaves it out
    opt_str user, group, event_name, host;
    opt_str comment;
    str_list checkouts;           // "user:where", reported only
    str_list attributes;          // "name=value" (Attrib); names become attribute types
    str_list obsolete_branches;   // BranchObs
    str_list alt_names;           // AltName
};

// Version statuses.
enum {
    VERSION_SKIP = 1001,            // not written
    VERSION_WRITE = 1002,           // written
    VERSION_SKIP_OTHER = 1003,      // not written
    VERSION_ABSOLUTE = 1004,        // written with AbsVersion TRUE
    VERSION_IMPORTANT = 1005,       // a 1002 made important by -I (set by the library)
    VERSION_ABS_IMPORTANT = 1006,   // a 1004 made important by -I (set by the library)
};

struct cm_version_info {
    int status = 0;
    int64_t event_time = 0;      // EventTime; compared with the -I time
    int64_t selected_time = 0;   // compared with the -s and -p times
    std::string version_id;      // VersionId
    opt_str user, group, event_name, host;
    opt_str comment;
    opt_str branch;         // OnBranch; absent is a branch of its own for -I
    int no_contents = 0;    // nonzero: no ExtractFile/ExtractCmd
    str_list attributes;    // "name=value" (Attrib)
    str_list labels;        // Label
    str_list merges;        // Merge: version paths
    str_list fmerges;       // FMerge: version paths
    str_list subbranches;   // SubBranch: paths of branches starting here
};
