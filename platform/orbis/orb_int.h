// Inside the project layer: the records' bodies, handles on the other VOBs
// a call reads, and the checks every call makes. Not for callers.
//
// Modules, each calling only those listed before it:
//   orb_msg        the catalog
//   orb_record     bodies (JSON) to and from the model's structs; loading a
//                  record of a metatype by oid; other VOBs by tag
//   orb_select     selectors
//   orb_component, orb_baseline, orb_project, orb_stream (conflicts and the
//                  config spec), orb_dump
//   sum_*          the SUM_ classes (sum_int.h)
//
// Bodies are JSON objects; a reference to another record is {"oid", "name"}
// (the name for reading and messages, the oid to follow). Texts that are
// not well-formed UTF-8 are kept as {"hex": ...}, so that no byte is lost.
// Invariants kept by the writers: a project's "modifiable" and a stream's
// "foundation" are sorted by component name, each component once; a
// component's "initial" names a baseline of it.
#pragma once

#include "platform/orbis/orb_msg.h"
#include "platform/orbis/orbis.h"

#include <nlohmann/json.hpp>

#include <string>

using orb_json = nlohmann::json;

// ---- orb_record.cpp -----------------------------------------------------------------------

// VOB_ERR (ORB_NOT_PROJECT_VOB) unless pvob is a project VOB.
[[nodiscard]] int orb_check_pvob(vob_t *pvob);
// VOB_ERR (ORB_BAD_NAME) unless name is a type name; what: "project", ...
[[nodiscard]] int orb_check_name(vob_t *pvob, const std::string &name, const char *what);

// A text as a body holds it, and back (a malformed value reads as "").
orb_json orb_text_json(const std::string &s);
std::string orb_json_text(const orb_json &j);
orb_json orb_ref(vob_oid oid, const std::string &name);

// The record oid of metatype mtype with its body, parsed: VOB_NOT_FOUND
// (ORB_NO_ID) when oid is no record of that metatype, VOB_CORRUPT
// (ORB_DAMAGED) when its body is no JSON object.
[[nodiscard]] int orb_load_record(vob_t *pvob, int mtype, vob_oid oid, vob_record *rec, orb_json *body);
// The model's objects: record, body and event. VOB_CORRUPT when the body
// lacks what the struct needs.
[[nodiscard]] int orb_load(vob_t *pvob, vob_oid oid, orb_component *out);
[[nodiscard]] int orb_load(vob_t *pvob, vob_oid oid, orb_baseline *out);
[[nodiscard]] int orb_load(vob_t *pvob, vob_oid oid, orb_project *out);
[[nodiscard]] int orb_load(vob_t *pvob, vob_oid oid, orb_stream *out);
// Bodies of the model's objects (names of the references looked up by the
// caller: comp_name, the names parallel to the oid lists).
orb_json orb_component_body(const orb_component &c, const std::string &initial_name);
orb_json orb_baseline_body(const orb_baseline &b);
orb_json orb_project_body(const orb_project &p, const std::vector<std::string> &mod_names,
                          const std::string &istream_name);
orb_json orb_stream_body(const orb_stream &s, const std::string &project_name,
                         const std::vector<std::string> &foundation_names);
[[nodiscard]] int orb_make_record(vob_t *pvob, int mtype, const std::string &name, const orb_json &body,
                                  const vob_event *ev, vob_oid *out);
[[nodiscard]] int orb_set_body(vob_t *pvob, vob_oid oid, const orb_json &body);

// Another VOB, open while the object lives (closed at once after), or the
// project VOB itself when the tag is its own, so that a call never waits on
// its own transaction.
struct orb_vob {
    orb_vob() = default;
    ~orb_vob();
    orb_vob(const orb_vob &) = delete;
    orb_vob &operator=(const orb_vob &) = delete;
    vob_t *v = nullptr;
    bool own = false;
};
// By tag through the registry; a failure's message goes to pvob.
[[nodiscard]] int orb_open_vob(vob_t *pvob, const std::string &tag, orb_vob *out);
// The component's VOB, refused (ORB_VOB_CHANGED) when its tag now names a
// VOB of another uuid.
[[nodiscard]] int orb_open_comp_vob(vob_t *pvob, const orb_component &c, orb_vob *out);
// A failure rc of another VOB's call, its message moved to pvob.
[[nodiscard]] int orb_pass(vob_t *pvob, vob_t *other, int rc);

// Runs op(wrote) inside one write transaction of pvob (joining a caller's):
// commits when op returns VOB_OK. op sets wrote before its first change; a
// failure after it dooms a caller's transaction, a refusal before it leaves
// that transaction as it was (the store's rule).
template <class Op> [[nodiscard]] int orb_write(vob_t *pvob, Op op) {
    vob_txn t(pvob);
    int rc = t.begin();
    if (rc != VOB_OK)
        return rc;
    bool wrote = false;
    rc = op(wrote);
    if (rc == VOB_OK)
        return t.commit();
    if (wrote)
        t.rollback();
    return rc;
}

// ---- orb_baseline.cpp ----------------------------------------------------------------------

// Whether the baseline's label is on a version of the component's root
// (the initial baseline always selects /main/0). VOB_OK with *selects set,
// *why the conflict text when it does not; a failure status (message on
// pvob) when the component's VOB cannot be read.
[[nodiscard]] int orb_baseline_selects(vob_t *pvob, const orb_baseline &b, const orb_component &c,
                                       bool *selects, std::string *why);
