// The whole VOB as JSON:
//   {"tag": TAG, "elements": [ELEMENT...] EXTRA}
//   ELEMENT: {"path": TEXT, "kind": "file"|"directory", "type", "event": EVENT,
//             "comment": TEXT|null, "attributes": {name: TEXT}, "obsolete": bool,
//             "branches": [BRANCH...], "versions": [VERSION...]}
//   BRANCH:  {"path": "/main/dev/fix", "obsolete": bool}
//   VERSION: {"id", "event": EVENT, "comment": TEXT|null, "labels": [names],
//             "attributes": {name: TEXT}, "merges_from": [version ids, tree order],
//             "sha256": hex|null}
//   EVENT:   {"user": TEXT, "group": TEXT, "name": TEXT, "host": TEXT,
//             "time": integer seconds}
//   TEXT:    a string when the bytes are well-formed UTF-8, else
//            {"base64": the bytes in base64}, so that no byte is lost.
// Elements by path (the VOB root is "." and comes first, then byte order);
// branches and versions in version-tree order (/main first), version 0
// included. An element that no directory names is listed as
// "lost+found/<name>.<id>". Written element by element, so memory stays
// small for large VOBs.
//
// EXTRA: the members a layer above the store adds for what it keeps in the
// VOB, as JSON text beginning with "," (the project layer's "projects",
// "components", "baselines" and "streams": orb_dump_members in
// platform/orbis/orbis.h); nothing for a VOB without them. The store's own
// walk meets only elements, so records stay out of "elements".
#pragma once

#include "platform/store/vob.h"

#include <cstdio>
#include <string>

// extra_members: written as it stands before the closing "}".
[[nodiscard]] int vob_dump_json(vob_t *vob, FILE *out, std::string *err,
                                const std::string &extra_members = "");

// TEXT and EVENT as the dump writes them, as compact JSON text, for the
// layers that add members, so that both write texts alike.
std::string vob_dump_text(const std::string &s);
std::string vob_dump_event(const vob_event &e);
