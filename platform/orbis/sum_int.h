// Inside the SUM_ classes: failures printed, the project VOB of a handle
// open for one call, objects found by a handle's name.
#pragma once

#include "platform/orbis/orb_int.h"
#include "platform/orbis/sum.h"

#include <string>

// Prints msg as an error through the message library and returns rc.
int sum_fail(int rc, const std::string &msg);
// The VOB a handle names, open for one call and closed with this object.
struct sum_pvob {
    sum_pvob() = default;
    ~sum_pvob() { vob_close(v); }
    sum_pvob(const sum_pvob &) = delete;
    sum_pvob &operator=(const sum_pvob &) = delete;
    vob_t *v = nullptr;
};
// Opens the VOB of tag (a failure printed).
int sum_open(const std::string &tag, sum_pvob *out);
// A failed call on the open VOB: its message printed, rc returned.
int sum_vob_fail(vob_t *v, int rc);
// The record of a handle: oid when it has one (the handle read it), else
// the record of mtype named name; a failure printed.
int sum_find(vob_t *pvob, int mtype, const std::string &name, vob_oid oid, vob_oid *out);
// A selector of kind parsed against the default VOB, and with SUM_READ in
// flags the object read (found in its project VOB); failures printed.
int sum_construct(const std::string &selector, const char *kind, int mtype, const SUM_Vob &pvob, int flags,
                  std::string *pvob_out, std::string *name_out, vob_oid *oid_out);
