// Projects, components, baselines and streams, kept as records (vob.h) of a
// project VOB (a VOB made with -project; every call refuses another VOB).
//
// Component: a name and a root, a directory element of some registered VOB
// (the component's VOB, recorded by tag and uuid). No component root lies
// at, above or below another's in the same VOB, so that a path belongs to
// at most one component. A component is made with its initial baseline,
// which selects /main/0 of the root: the empty tree.
//
// Baseline: a name, its component, its kind and a label type of the
// component's VOB; the versions carrying that label below the root are the
// baseline. An import baseline is made from a label an import applied; a
// normal one labels the /main/LATEST versions of the component's tree with
// a new label type of the baseline's name. A baseline is made only from a
// label on the root's version: a label that selects no version of the
// component is refused (ORB_MSG "selects no version").
//
// Project: a name, a title, its modifiable components (by component name)
// and its default integration stream (0 for none).
//
// Stream: a name, its project, integration or development, and a
// foundation: baselines, at most one per component (by component name).
// A conflict is two baselines of one component in a foundation, or a
// baseline whose label no longer selects a version of its component's root.
//
// Names of projects, components, baselines and streams are type names
// (typename_acceptable: letters, digits, "_", "-", "."), unique per
// metatype in the project VOB. Titles are any text.
//
// Selectors: "[KIND:]NAME[@VOB-TAG]" with KIND project, component,
// baseline, stream or lbtype; without "@" the VOB is the caller's default.
//
// Calls return vob_status codes; a failure leaves its message in
// vob_errmsg(pvob) (also for what went wrong in another VOB the call had to
// read). Each mutating call is one transaction of the project VOB; it reads
// other VOBs (component roots, labels) inside it, by tag, through the
// registry. A normal baseline writes labels in the component's VOB first
// (one transaction there), then its record.
#pragma once

#include "platform/store/vob.h"

#include <string>
#include <vector>

// ---- Selectors ---------------------------------------------------------------------------

struct orb_selector {
    std::string kind;   // as given, or the expected kind when none was given
    std::string name;
    std::string vob;   // the VOB tag after "@", else default_vob
};
// kind: the kind expected ("project", ...); a selector naming another kind,
// an empty name, or no VOB (no "@" and no default_vob) is refused with a
// message in *err. A VOB tag lacking its leading "/" gets one.
[[nodiscard]] int orb_parse_selector(const std::string &text, const char *kind,
                                     const std::string &default_vob, orb_selector *out, std::string *err);
std::string orb_selector_text(const char *kind, const std::string &name, const std::string &vob);

// ---- Components --------------------------------------------------------------------------

struct orb_component {
    vob_oid oid = 0;
    std::string name;
    std::string vob_tag, vob_uuid;   // the component's VOB
    vob_oid root_elem = 0;           // in that VOB
    std::string root_path;           // below its VOB root; "" for the root itself
    vob_oid initial = 0;             // the initial baseline
    vob_event ev;
};
// root_path: below the VOB root of root_tag ("" the root), through
// /main/LATEST; it must name a directory element. Makes the initial
// baseline "<name>_INITIAL" (or the first free "<name>_INITIAL.N") too.
[[nodiscard]] int orb_component_create(vob_t *pvob, const std::string &name, const std::string &root_tag,
                                       const std::string &root_path, const vob_event *ev, vob_oid *out);
[[nodiscard]] int orb_component_find(vob_t *pvob, const std::string &name, vob_oid *out);   // VOB_NOT_FOUND
[[nodiscard]] int orb_component_get(vob_t *pvob, vob_oid comp, orb_component *out);
[[nodiscard]] int orb_component_list(vob_t *pvob, std::vector<orb_component> *out);   // by name
// The view path of the component's root: "/vob" or "/vob/sub/dir".
std::string orb_component_root(const orb_component &c);

// ---- Baselines ---------------------------------------------------------------------------

enum orb_bl_kind { ORB_BL_INITIAL = 0, ORB_BL_IMPORT = 1, ORB_BL_NORMAL = 2 };
const char *orb_bl_kind_name(int kind);   // "initial", "import", "normal"

struct orb_baseline {
    vob_oid oid = 0;
    std::string name;
    vob_oid comp = 0;
    std::string comp_name;
    int kind = ORB_BL_IMPORT;
    std::string lbtype;   // a label type of the component's VOB; "" for the initial baseline
    vob_event ev;
};
// An import baseline of comp from label type lbtype of lbtype_vob, which
// must be the component's VOB and carry a label on the root's version.
// name "": the label's name, or when a baseline has it, "<label>.<comp>",
// then "<label>.<comp>.N" (the first free).
[[nodiscard]] int orb_baseline_create_import(vob_t *pvob, const std::string &name, vob_oid comp,
                                             const std::string &lbtype_vob, const std::string &lbtype,
                                             const vob_event *ev, vob_oid *out);
// A normal baseline: a new label type `name` in the component's VOB on the
// /main/LATEST version of the root and of every element below it.
[[nodiscard]] int orb_baseline_create_normal(vob_t *pvob, const std::string &name, vob_oid comp,
                                             const vob_event *ev, vob_oid *out);
[[nodiscard]] int orb_baseline_find(vob_t *pvob, const std::string &name, vob_oid *out);   // VOB_NOT_FOUND
[[nodiscard]] int orb_baseline_get(vob_t *pvob, vob_oid bl, orb_baseline *out);
// comp 0: every baseline; in creation order.
[[nodiscard]] int orb_baseline_list(vob_t *pvob, vob_oid comp, std::vector<orb_baseline> *out);

// ---- Projects ----------------------------------------------------------------------------

struct orb_project {
    vob_oid oid = 0;
    std::string name, title;
    std::vector<vob_oid> mod_comps;   // by component name
    vob_oid istream = 0;              // the default integration stream, 0 for none
    vob_event ev;
};
// title "": the name.
[[nodiscard]] int orb_project_create(vob_t *pvob, const std::string &name, const std::string &title,
                                     const vob_event *ev, vob_oid *out);
[[nodiscard]] int orb_project_find(vob_t *pvob, const std::string &name, vob_oid *out);   // VOB_NOT_FOUND
[[nodiscard]] int orb_project_get(vob_t *pvob, vob_oid project, orb_project *out);
[[nodiscard]] int orb_project_list(vob_t *pvob, std::vector<orb_project> *out);   // by name
// A component that is modifiable already: VOB_OK.
[[nodiscard]] int orb_project_add_mod_comp(vob_t *pvob, vob_oid project, vob_oid comp);
// stream: an integration stream of the project.
[[nodiscard]] int orb_project_set_istream(vob_t *pvob, vob_oid project, vob_oid stream);
// Removes the project and its streams.
[[nodiscard]] int orb_project_remove(vob_t *pvob, vob_oid project);

// ---- Streams -----------------------------------------------------------------------------

enum orb_stream_kind { ORB_ST_INTEGRATION = 1, ORB_ST_DEVELOPMENT = 2 };
const char *orb_stream_kind_name(int kind);   // "integration", "development"

struct orb_stream {
    vob_oid oid = 0;
    std::string name;
    vob_oid project = 0;
    int kind = ORB_ST_INTEGRATION;
    std::vector<vob_oid> foundation;   // by component name
    vob_event ev;
};
// The conflicts of a set of baselines, one text each ("" none): two of one
// component, a label that selects no version of the component's root, a
// baseline or component that is gone. VOB_OK whether or not there are any.
// (*out[i] is the text of baselines[i]; several conflicts of one baseline
// are joined by "; ", and the second baseline of a component carries the
// text naming both. A baseline whose component's VOB cannot be read has a
// conflict saying why.)
[[nodiscard]] int orb_foundation_conflicts(vob_t *pvob, const std::vector<vob_oid> &baselines,
                                           std::vector<std::string> *out);
// Refuses a foundation with conflicts (the message lists them). An
// integration stream becomes the project's default when it has none.
[[nodiscard]] int orb_stream_create(vob_t *pvob, const std::string &name, vob_oid project, int kind,
                                    const std::vector<vob_oid> &foundation, const vob_event *ev,
                                    vob_oid *out);
// orb_stream_create with flags: ORB_ST_KEEP_DEFAULT leaves the project's
// default integration stream as it is (none stays none).
enum { ORB_ST_KEEP_DEFAULT = 1 };
[[nodiscard]] int orb_stream_create_ex(vob_t *pvob, const std::string &name, vob_oid project, int kind,
                                       const std::vector<vob_oid> &foundation, int flags, const vob_event *ev,
                                       vob_oid *out);
// Each baseline takes the place of the foundation's baseline of its
// component (or joins it); refused, changing nothing, when the result has
// conflicts.
[[nodiscard]] int orb_stream_rebase(vob_t *pvob, vob_oid stream, const std::vector<vob_oid> &baselines);
[[nodiscard]] int orb_stream_find(vob_t *pvob, const std::string &name, vob_oid *out);   // VOB_NOT_FOUND
[[nodiscard]] int orb_stream_get(vob_t *pvob, vob_oid stream, orb_stream *out);
// project 0: every stream; by name.
[[nodiscard]] int orb_stream_list(vob_t *pvob, vob_oid project, std::vector<orb_stream> *out);
// Refused for the default integration stream of its project.
[[nodiscard]] int orb_stream_remove(vob_t *pvob, vob_oid stream);

// What a view of the stream selects: the config spec its foundation makes
// and the load scope (the components' VOB tags, sorted, each once).
//   element * CHECKEDOUT
//   element ROOT/... LABEL        per baseline (initial: ROOT/... /main/0)
//   element -directory DIR /main/LATEST
//                                 per directory above a component root
//                                 within its VOB (the VOB root included)
// ROOT and DIR are view paths ("/vob/sub"), quoted when they hold blanks
// (or a "#"). Baseline rules by component name; the directory rules sorted,
// each once. A component root holding '"' or a control character is
// refused when the component is made, so that every root can stand here.
[[nodiscard]] int orb_stream_config(vob_t *pvob, vob_oid stream, std::string *config_spec,
                                    std::vector<std::string> *vob_tags);

// ---- Dump --------------------------------------------------------------------------------

// The members that the JSON dump of a project VOB adds after "elements", as
// compact JSON text beginning with ",":
//   ,"projects":[{"name","title","event","comment","modifiable":[names],
//                 "integration_stream":name|null}...]
//   ,"components":[{"name","vob","root","event","comment","initial":name}...]
//   ,"baselines":[{"name","component","kind","label":name|null,"event","comment"}...]
//   ,"streams":[{"name","project","kind","foundation":[names],"event","comment"}...]
// Texts and events as the store's dump writes them. "" for a VOB that is not
// a project VOB. Each list by name; "root" is the view path of the root
// (orb_component_root), "vob" its VOB's tag; references by name.
[[nodiscard]] int orb_dump_members(vob_t *pvob, std::string *out);
