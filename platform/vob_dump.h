// The whole VOB as JSON:
//   {"tag": TAG, "elements": [ELEMENT...]}
//   ELEMENT: {"path", "kind": "file"|"directory", "type", "event": EVENT,
//             "comment": text|null, "attributes": {name: value}, "obsolete": bool,
//             "versions": [VERSION...]}
//   VERSION: {"id", "event": EVENT, "comment": text|null, "labels": [names],
//             "attributes": {name: value}, "merges_from": [version ids],
//             "sha256": hex|null}
//   EVENT:   {"user", "group", "name", "host", "time": integer seconds}
// Elements by path (the VOB root is "." and comes first, then byte order);
// versions in version-tree order, version 0 included. An element that no
// directory names is listed as "lost+found/<name>.<id>". Written element by
// element, so memory stays small for large VOBs.
#pragma once

#include "platform/vob.h"

#include <cstdio>
#include <string>

[[nodiscard]] int vob_dump_json(vob_t *vob, FILE *out, std::string *err);
