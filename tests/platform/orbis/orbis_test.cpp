// The project layer on the VOB store: a project VOB with components of two
// VOBs, baselines from labels applied by hand and made by labelling, streams
// and the config spec they make, the dump; the refusals; the SUM_ classes as
// the import wizard calls them.
#include "platform/orbis/orbis.h"
#include "platform/orbis/sum.h"
#include "platform/registry/vob_tag.h"
#include "platform/store/vob_dump.h"
#include "runtime/imsg.h"
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include <nlohmann/json.hpp>

#include <functional>

namespace {

using json = nlohmann::json;

struct Orbis : testvob::VobTest {
    vob_t *pv = nullptr, *a = nullptr, *b = nullptr;
    vob_oid comp_a = 0, comp_b = 0, project = 0;

    void SetUp() override {
        testvob::VobTest::SetUp();
        std::string err;
        ASSERT_EQ(vob_make("/pvob", "", 1, nullptr, &err), VOB_OK) << err;
        ASSERT_EQ(vob_open_tag("/pvob", &pv, &err), VOB_OK) << err;
        a = make_vob("/a");
        b = make_vob("/b");
        ASSERT_TRUE(a && b);
        // /a: README, src/main.c, src/lib/x.c; /b: other.txt, docs/user guide/{intro.txt, ch1/one.txt}.
        mk(a, 0, "README", false);
        vob_oid src = mk(a, 0, "src", true);
        mk(a, src, "main.c", false);
        mk(a, mk(a, src, "lib", true), "x.c", false);
        mk(b, 0, "other.txt", false);
        vob_oid guide = mk(b, mk(b, 0, "docs", true), "user guide", true);
        mk(b, guide, "intro.txt", false);
        mk(b, mk(b, guide, "ch1", true), "one.txt", false);
        ASSERT_EQ(orb_component_create(pv, "A", "/a", "", nullptr, &comp_a), VOB_OK) << vob_errmsg(pv);
        ASSERT_EQ(orb_component_create(pv, "B", "b", "/docs/user guide/", nullptr, &comp_b), VOB_OK)
            << vob_errmsg(pv);
        ASSERT_EQ(orb_project_create(pv, "P", "Product", nullptr, &project), VOB_OK) << vob_errmsg(pv);
        for (vob_oid c : {comp_b, comp_a, comp_a})
            ASSERT_EQ(orb_project_add_mod_comp(pv, project, c), VOB_OK) << vob_errmsg(pv);
    }
    void TearDown() override {
        vob_close(pv);
        vob_close(a);
        vob_close(b);
        testvob::VobTest::TearDown();
    }

    // A file (with one version) or a directory below dir (0: the root).
    vob_oid mk(vob_t *v, vob_oid dir, const std::string &name, bool is_dir) {
        vob_oid e = 0, ver = 0;
        EXPECT_EQ(vob_elem_create(v, dir ? dir : vob_wk_obj(v, VOB_WK_ROOT_DIR), name,
                                  is_dir ? VOB_MT_DIR_ELEM : VOB_MT_FILE_ELEM, 0, nullptr, &e),
                  VOB_OK)
            << vob_errmsg(v);
        vob_elem_info ei;
        EXPECT_EQ(vob_elem_get(v, e, &ei), VOB_OK);
        if (!is_dir) {
            EXPECT_EQ(vob_ver_create(v, ei.main_branch, vob_data_bytes(name), nullptr, &ver), VOB_OK);
        }
        return e;
    }
    vob_oid at(vob_t *v, const std::string &path) {
        vob_oid e = 0, ver = 0;
        EXPECT_EQ(vob_resolve_path(v, path, nullptr, "", &e, &ver), VOB_OK) << vob_errmsg(v);
        return ver;
    }
    // Label type `name` in v on the /main/LATEST versions of the paths.
    void label(vob_t *v, const std::string &name, const std::vector<std::string> &paths) {
        vob_oid lt = 0;
        ASSERT_EQ(vob_type_create(v, VOB_MT_LBTYPE, name, nullptr, &lt), VOB_OK) << vob_errmsg(v);
        for (const std::string &p : paths)
            ASSERT_EQ(vob_ver_add_label(v, at(v, p), lt, 0, nullptr), VOB_OK) << vob_errmsg(v);
    }
    std::vector<std::string> labels(vob_t *v, const std::string &path) {
        std::vector<vob_label> ls;
        EXPECT_EQ(vob_ver_get_labels(v, at(v, path), &ls), VOB_OK);
        std::vector<std::string> names;
        for (auto &l : ls)
            names.push_back(l.name);
        return names;
    }
    vob_oid baseline(const std::string &name) {
        vob_oid bl = 0;
        EXPECT_EQ(orb_baseline_find(pv, name, &bl), VOB_OK) << vob_errmsg(pv);
        return bl;
    }
    std::vector<std::string> baseline_names(const std::vector<vob_oid> &oids) {
        std::vector<std::string> names;
        for (vob_oid o : oids) {
            orb_baseline bl;
            EXPECT_EQ(orb_baseline_get(pv, o, &bl), VOB_OK) << vob_errmsg(pv);
            names.push_back(bl.name);
        }
        return names;
    }
    std::string config(vob_oid stream, std::vector<std::string> *tags = nullptr) {
        std::string text;
        std::vector<std::string> t;
        EXPECT_EQ(orb_stream_config(pv, stream, &text, &t), VOB_OK) << vob_errmsg(pv);
        if (tags)
            *tags = t;
        return text;
    }
};

TEST_F(Orbis, ProjectStreamsBaselinesAndTheirConfigSpec) {
    // Components: their roots, VOBs and initial baselines.
    orb_component ca, cb;
    ASSERT_EQ(orb_component_get(pv, comp_a, &ca), VOB_OK);
    ASSERT_EQ(orb_component_get(pv, comp_b, &cb), VOB_OK);
    EXPECT_EQ(orb_component_root(ca), "/a");
    EXPECT_EQ(orb_component_root(cb), "/b/docs/user guide");
    EXPECT_EQ(cb.vob_uuid, vob_get_uuid(b));
    EXPECT_EQ(baseline_names({ca.initial, cb.initial}), (std::vector<std::string>{"A_INITIAL", "B_INITIAL"}));
    orb_project p;
    ASSERT_EQ(orb_project_get(pv, project, &p), VOB_OK);
    EXPECT_EQ(p.title, "Product");
    EXPECT_EQ(p.mod_comps, (std::vector<vob_oid>{comp_a, comp_b}));
    EXPECT_EQ(p.istream, 0);

    // Import baselines from a label applied by hand; the name comes from the
    // label, then from label and component.
    label(a, "REL1", {"", "src/main.c"});
    vob_oid imp[3];
    for (vob_oid &i : imp)
        ASSERT_EQ(orb_baseline_create_import(pv, "", comp_a, "a", "REL1", nullptr, &i), VOB_OK)
            << vob_errmsg(pv);
    EXPECT_EQ(baseline_names({imp[0], imp[1], imp[2]}),
              (std::vector<std::string>{"REL1", "REL1.A", "REL1.A.1"}));
    // A normal baseline labels the component's tree and nothing beside it.
    vob_oid b1 = 0;
    ASSERT_EQ(orb_baseline_create_normal(pv, "B_1", comp_b, nullptr, &b1), VOB_OK) << vob_errmsg(pv);
    for (const char *in : {"docs/user guide", "docs/user guide/intro.txt", "docs/user guide/ch1/one.txt"})
        EXPECT_EQ(labels(b, in), std::vector<std::string>{"B_1"}) << in;
    for (const char *out : {"", "docs", "other.txt"})
        EXPECT_TRUE(labels(b, out).empty()) << out;
    orb_baseline bl;
    ASSERT_EQ(orb_baseline_get(pv, b1, &bl), VOB_OK);
    EXPECT_EQ(bl.kind, ORB_BL_NORMAL);
    EXPECT_EQ(bl.lbtype, "B_1");
    EXPECT_EQ(bl.comp_name, "B");

    // An integration stream becomes the default of a project without one;
    // its config spec, exactly.
    vob_oid in = 0, dev = 0;
    ASSERT_EQ(orb_stream_create(pv, "P_int", project, ORB_ST_INTEGRATION, {b1, imp[0]}, nullptr, &in), VOB_OK)
        << vob_errmsg(pv);
    ASSERT_EQ(orb_stream_create(pv, "P_dev", project, ORB_ST_DEVELOPMENT, {ca.initial}, nullptr, &dev),
              VOB_OK)
        << vob_errmsg(pv);
    ASSERT_EQ(orb_project_get(pv, project, &p), VOB_OK);
    EXPECT_EQ(p.istream, in);
    std::vector<std::string> tags;
    EXPECT_EQ(config(in, &tags),
              "element * CHECKEDOUT\n"
              "element /a/... REL1\n"
              "element \"/b/docs/user guide/...\" B_1\n"
              "element -directory /b /main/LATEST\n"
              "element -directory /b/docs /main/LATEST\n");
    EXPECT_EQ(tags, (std::vector<std::string>{"/a", "/b"}));
    EXPECT_EQ(config(dev, &tags), "element * CHECKEDOUT\nelement /a/... /main/0\n");
    EXPECT_EQ(tags, std::vector<std::string>{"/a"});

    // A rebase replaces the baseline of its component and adds others.
    ASSERT_EQ(orb_stream_rebase(pv, in, {imp[1]}), VOB_OK) << vob_errmsg(pv);
    ASSERT_EQ(orb_stream_rebase(pv, dev, {cb.initial}), VOB_OK) << vob_errmsg(pv);
    orb_stream s;
    ASSERT_EQ(orb_stream_get(pv, in, &s), VOB_OK);
    EXPECT_EQ(baseline_names(s.foundation), (std::vector<std::string>{"REL1.A", "B_1"}));
    EXPECT_EQ(config(dev),
              "element * CHECKEDOUT\nelement /a/... /main/0\nelement \"/b/docs/user guide/...\" /main/0\n"
              "element -directory /b /main/LATEST\nelement -directory /b/docs /main/LATEST\n");

    // Lists: by name, baselines in creation order.
    std::vector<orb_stream> streams;
    ASSERT_EQ(orb_stream_list(pv, project, &streams), VOB_OK);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].name + " " + streams[1].name, "P_dev P_int");
    std::vector<orb_baseline> bls;
    ASSERT_EQ(orb_baseline_list(pv, comp_a, &bls), VOB_OK);
    std::string names;
    for (auto &x : bls)
        names += x.name + " ";
    EXPECT_EQ(names, "A_INITIAL REL1 REL1.A REL1.A.1 ");
    ASSERT_EQ(orb_baseline_list(pv, 0, &bls), VOB_OK);
    EXPECT_EQ(bls.size(), 6u);
    std::vector<orb_component> comps;
    ASSERT_EQ(orb_component_list(pv, &comps), VOB_OK);
    ASSERT_EQ(comps.size(), 2u);
    EXPECT_EQ(comps[0].name + comps[1].name, "AB");

    // Conflicts, one text per baseline: the label taken off the root selects nothing.
    vob_oid rel1 = 0;
    ASSERT_EQ(vob_type_find(a, VOB_MT_LBTYPE, "REL1", &rel1), VOB_OK);
    ASSERT_EQ(vob_ver_remove_label(a, at(a, ""), rel1), VOB_OK);
    std::vector<std::string> conflicts;
    ASSERT_EQ(orb_foundation_conflicts(pv, {cb.initial, imp[0], b1}, &conflicts), VOB_OK);
    EXPECT_EQ(conflicts,
              (std::vector<std::string>{
                  "",
                  "VOB \"/a\": label \"REL1\" selects no version of component \"A\" "
                  "(no version of its root \"/a\" carries it)",
                  "Component \"B\": baselines \"B_INITIAL\" and \"B_1\" are both in the foundation"}));

    // The dump: the store's elements, then the four members.
    std::string members, err;
    ASSERT_EQ(orb_dump_members(pv, &members), VOB_OK) << vob_errmsg(pv);
    std::string path = tmp + "/dump.json";
    FILE *f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(vob_dump_json(pv, f, &err, members), VOB_OK) << err;
    fclose(f);
    json d = json::parse(testutil::read_file(path));
    EXPECT_EQ(d["tag"], "/pvob");
    EXPECT_EQ(d["elements"].size(), 2u);   // the root and lost+found: no record among them
    EXPECT_EQ(d["projects"][0]["name"], "P");
    EXPECT_EQ(d["projects"][0]["title"], "Product");
    EXPECT_EQ(d["projects"][0]["modifiable"], json({"A", "B"}));
    EXPECT_EQ(d["projects"][0]["integration_stream"], "P_int");
    EXPECT_EQ(d["projects"][0]["comment"], nullptr);
    EXPECT_TRUE(d["projects"][0]["event"]["time"].is_number());
    EXPECT_EQ(d["components"][1],
              json::parse(R"({"name":"B","vob":"/b","root":"/b/docs/user guide","event":)" +
                          d["components"][1]["event"].dump() + R"(,"comment":null,"initial":"B_INITIAL"})"));
    ASSERT_EQ(d["baselines"].size(), 6u);
    EXPECT_EQ(d["baselines"][0]["name"], "A_INITIAL");
    EXPECT_EQ(d["baselines"][0]["label"], nullptr);
    EXPECT_EQ(d["baselines"][0]["kind"], "initial");
    EXPECT_EQ(d["baselines"][1]["kind"], "normal");
    EXPECT_EQ(d["baselines"][3]["component"], "A");
    EXPECT_EQ(d["streams"][1]["foundation"], json({"REL1.A", "B_1"}));
    EXPECT_EQ(d["streams"][1]["kind"], "integration");
    EXPECT_EQ(d["streams"][1]["project"], "P");
    ASSERT_EQ(orb_dump_members(a, &members), VOB_OK);
    EXPECT_EQ(members, "");
    // The command's dump of a project VOB holds them too.
    std::string out;
    ASSERT_EQ(testvob::run_vantor("dump --json /pvob", &out), 0);
    EXPECT_EQ(json::parse(out)["streams"], d["streams"]);

    // Removing the project takes its streams.
    ASSERT_EQ(orb_project_remove(pv, project), VOB_OK) << vob_errmsg(pv);
    ASSERT_EQ(orb_stream_list(pv, 0, &streams), VOB_OK);
    EXPECT_TRUE(streams.empty());
    EXPECT_EQ(orb_project_find(pv, "P", &project), VOB_NOT_FOUND);
}

TEST_F(Orbis, SelectorsAndRefusals) {
    struct {
        const char *text, *kind, *def;
        const char *want;   // "kind name vob", or the message
    } const selectors[] = {
        {"P@/pvob", "project", "", "project P /pvob"},
        {"project:P@pvob", "project", "", "project P /pvob"},
        {"baseline:B", "baseline", "/pvob", "baseline B /pvob"},
        {"lbtype:L@/a", nullptr, "", "lbtype L /a"},
        {"widget:P@/pvob", "project", "", "Bad selector \"widget:P@/pvob\": unknown kind \"widget\""},
        {"stream:P@/pvob", "project", "", "Selector \"stream:P@/pvob\" names a stream, not a project"},
        {"P", "project", "", "Selector \"P\" names no VOB: add \"@VOB-TAG\""},
        {"P@", "project", "/pvob", "Selector \"P@\" names no VOB"},
        {"project:@/pvob", "project", "", "Bad selector \"project:@/pvob\": it names no object"},
        {"P@/a b", "project", "", "Selector \"P@/a b\": bad VOB tag \"/a b\""},
    };
    for (const auto &c : selectors) {
        orb_selector sel;
        std::string err;
        int rc = orb_parse_selector(c.text, c.kind, c.def, &sel, &err);
        std::string got = rc == VOB_OK ? sel.kind + " " + sel.name + " " + sel.vob : err;
        EXPECT_EQ(got.substr(0, strlen(c.want)), c.want) << c.text;
    }
    EXPECT_EQ(orb_selector_text("stream", "S", "/pvob"), "stream:S@/pvob");

    label(a, "REL1", {""});
    label(a, "LOOSE", {"src/main.c"});
    label(b, "REL1", {""});
    label(b, "TAKEN", {"other.txt"});
    vob_oid rel1 = 0, rel1a = 0, in = 0, dev = 0, none = 0;
    ASSERT_EQ(orb_baseline_create_import(pv, "", comp_a, "/a", "REL1", nullptr, &rel1), VOB_OK)
        << vob_errmsg(pv);
    ASSERT_EQ(orb_baseline_create_import(pv, "", comp_a, "/a", "REL1", nullptr, &rel1a), VOB_OK);
    ASSERT_EQ(orb_stream_create(pv, "P_int", project, ORB_ST_INTEGRATION, {rel1}, nullptr, &in), VOB_OK);
    ASSERT_EQ(orb_stream_create(pv, "P_dev", project, ORB_ST_DEVELOPMENT, {}, nullptr, &dev), VOB_OK);
    orb_component ca;
    ASSERT_EQ(orb_component_get(pv, comp_a, &ca), VOB_OK);
    vob_oid rec = 0;
    ASSERT_EQ(vob_record_create(pv, VOB_MT_STREAM, "raw", "not json", nullptr, &rec), VOB_OK);
    vob_oid attype = 0;
    ASSERT_EQ(vob_type_create(pv, VOB_MT_ATTYPE, "Note", nullptr, &attype), VOB_OK);

    struct {
        const char *what;
        std::function<int()> call;
        int status;
        std::string says;   // in the message of the project VOB's handle
    } const refusals[] = {
        {"not a project VOB",
         [&] {
             int rc = orb_project_create(a, "P2", "", nullptr, &none);
             return vob_fail(pv, rc, vob_errmsg(a));
         },
         VOB_ERR, "VOB \"/a\" is not a project VOB"},
        {"root is a file", [&] { return orb_component_create(pv, "C", "/a", "src/main.c", nullptr, &none); },
         VOB_ERR, "VOB \"/pvob\": component root \"/a/src/main.c\" is not a directory"},
        {"root not found", [&] { return orb_component_create(pv, "C", "/a", "nothere", nullptr, &none); },
         VOB_NOT_FOUND, "VOB \"/a\": no name \"nothere\" in directory \"/\""},
        {"unregistered VOB", [&] { return orb_component_create(pv, "C", "/nope", "", nullptr, &none); },
         VOB_NOT_FOUND, "No VOB has tag \"/nope\""},
        {"inside a root", [&] { return orb_component_create(pv, "C", "/a", "src/lib", nullptr, &none); },
         VOB_ERR,
         "VOB \"/pvob\": component root \"/a/src/lib\" is inside the root \"/a\" of component \"A\""},
        {"above a root", [&] { return orb_component_create(pv, "C", "/b", "docs", nullptr, &none); }, VOB_ERR,
         "component root \"/b/docs\" is above the root \"/b/docs/user guide\" of component \"B\""},
        {"at a root", [&] { return orb_component_create(pv, "C", "/b", "docs//user guide", nullptr, &none); },
         VOB_ERR,
         "component root \"/b/docs/user guide\" is at the root \"/b/docs/user guide\" of component \"B\""},
        {"quote in a root", [&] { return orb_component_create(pv, "C", "/b", "say \"hi\"", nullptr, &none); },
         VOB_ERR, "VOB \"/pvob\": bad component root path \"say \"hi\"\": a config spec cannot name"},
        {"label on no version of the root",
         [&] { return orb_baseline_create_import(pv, "", comp_a, "/a", "LOOSE", nullptr, &none); }, VOB_ERR,
         "VOB \"/a\": label \"LOOSE\" selects no version of component \"A\" (no version of its root \"/a\""},
        {"label type missing",
         [&] { return orb_baseline_create_import(pv, "", comp_a, "/a", "NO", nullptr, &none); },
         VOB_NOT_FOUND, "VOB \"/a\": no label type named \"NO\""},
        {"label type of another VOB",
         [&] { return orb_baseline_create_import(pv, "", comp_a, "/b", "REL1", nullptr, &none); }, VOB_ERR,
         "Label type \"REL1\" is in VOB \"/b\", but component \"A\" is in VOB \"/a\""},
        {"two baselines of one component",
         [&] {
             return orb_stream_create(pv, "S2", project, ORB_ST_INTEGRATION, {rel1, rel1a}, nullptr, &none);
         },
         VOB_ERR,
         "VOB \"/pvob\": the foundation has conflicts: Component \"A\": baselines \"REL1\" and \"REL1.A\" are both"},
        {"rebase to two of one component",
         [&] {
             return orb_stream_rebase(pv, dev, {ca.initial, rel1a});
         },
         VOB_ERR, "the foundation has conflicts: Component \"A\": baselines \"A_INITIAL\" and \"REL1.A\""},
        {"removing the default integration stream", [&] { return orb_stream_remove(pv, in); }, VOB_ERR,
         "VOB \"/pvob\": stream \"P_int\" is the default integration stream of project \"P\"; it is not removed"},
        {"a development stream as the default", [&] { return orb_project_set_istream(pv, project, dev); },
         VOB_ERR, "VOB \"/pvob\": stream \"P_dev\" is not an integration stream of project \"P\""},
        {"project name", [&] { return orb_project_create(pv, "bad name", "", nullptr, &none); }, VOB_ERR,
         "VOB \"/pvob\": bad project name \"bad name\" (a name holds"},
        {"component name", [&] { return orb_component_create(pv, "-x", "/a", "src", nullptr, &none); },
         VOB_ERR, "bad component name \"-x\""},
        {"baseline name", [&] { return orb_baseline_create_normal(pv, "12", comp_a, nullptr, &none); },
         VOB_ERR, "bad baseline name \"12\""},
        {"stream name", [&] { return orb_stream_create(pv, "a/b", project, 1, {}, nullptr, &none); }, VOB_ERR,
         "bad stream name \"a/b\""},
        {"stream kind", [&] { return orb_stream_create(pv, "S3", project, 7, {}, nullptr, &none); }, VOB_ERR,
         "VOB \"/pvob\": unknown stream kind 7"},
        {"taken project", [&] { return orb_project_create(pv, "P", "", nullptr, &none); }, VOB_EXISTS,
         "VOB \"/pvob\": project \"P\" already exists"},
        {"taken component", [&] { return orb_component_create(pv, "A", "/b", "", nullptr, &none); },
         VOB_EXISTS, "VOB \"/pvob\": component \"A\" already exists"},
        {"taken baseline",
         [&] { return orb_baseline_create_import(pv, "REL1", comp_a, "/a", "REL1", nullptr, &none); },
         VOB_EXISTS, "VOB \"/pvob\": baseline \"REL1\" already exists"},
        {"taken label type", [&] { return orb_baseline_create_normal(pv, "TAKEN", comp_b, nullptr, &none); },
         VOB_EXISTS, "VOB \"/b\": label type \"TAKEN\" already exists"},
        {"taken stream", [&] { return orb_stream_create(pv, "P_dev", project, 2, {}, nullptr, &none); },
         VOB_EXISTS, "VOB \"/pvob\": stream \"P_dev\" already exists"},
        {"an id of another kind",
         [&] {
             orb_stream s;
             return orb_stream_get(pv, comp_a, &s);
         },
         VOB_NOT_FOUND, "VOB \"/pvob\": no stream with id "},
        {"a damaged record",
         [&] {
             orb_stream s;
             return orb_stream_get(pv, rec, &s);
         },
         VOB_CORRUPT, "VOB \"/pvob\": the record of stream \"raw\" is damaged"},
        {"an attribute on a record", [&] { return vob_obj_set_attr(pv, project, attype, "x", nullptr); },
         VOB_NOT_FOUND, "VOB \"/pvob\": no object with id"},
    };
    for (const auto &c : refusals) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(), c.status);
        EXPECT_NE(vob_errmsg(pv).find(c.says), std::string::npos) << vob_errmsg(pv);
    }
    // Nothing of them was made.
    std::vector<orb_component> comps;
    ASSERT_EQ(orb_component_list(pv, &comps), VOB_OK);
    EXPECT_EQ(comps.size(), 2u);
    orb_stream s;
    ASSERT_EQ(orb_stream_get(pv, dev, &s), VOB_OK);
    EXPECT_TRUE(s.foundation.empty());
    vob_oid lt = 0;
    EXPECT_EQ(vob_type_find(pv, VOB_MT_LBTYPE, "12", &lt), VOB_NOT_FOUND);

    // A refusal inside a caller's transaction leaves it to go on and commit.
    {
        vob_txn t(pv);
        ASSERT_EQ(t.begin(), VOB_OK);
        EXPECT_EQ(orb_project_create(pv, "P", "", nullptr, &none), VOB_EXISTS);
        EXPECT_EQ(orb_stream_remove(pv, in), VOB_ERR);
        ASSERT_EQ(orb_project_create(pv, "Q", "", nullptr, &none), VOB_OK) << vob_errmsg(pv);
        ASSERT_EQ(t.commit(), VOB_OK) << vob_errmsg(pv);
    }
    orb_project q;
    ASSERT_EQ(orb_project_get(pv, none, &q), VOB_OK);
    EXPECT_EQ(q.title, "Q");

    // The tag now names another VOB: the component's VOB is refused.
    std::string err;
    ASSERT_EQ(vob_remove("/b", &err), VOB_OK) << err;
    ASSERT_EQ(vob_make("/b", "", 0, nullptr, &err), VOB_OK) << err;
    EXPECT_EQ(orb_baseline_create_normal(pv, "B_2", comp_b, nullptr, &none), VOB_NOT_FOUND);
    EXPECT_NE(vob_errmsg(pv).find("Component \"B\": VOB tag \"/b\" now names another VOB"), std::string::npos)
        << vob_errmsg(pv);
    orb_component cb;
    ASSERT_EQ(orb_component_get(pv, comp_b, &cb), VOB_OK);
    std::vector<std::string> conflicts;
    ASSERT_EQ(orb_foundation_conflicts(pv, {cb.initial, 9999}, &conflicts), VOB_OK);
    EXPECT_EQ(conflicts, (std::vector<std::string>{"", "VOB \"/pvob\": baseline 9999 does not exist"}));
}

TEST_F(Orbis, NormalBaselineIsOneLinearTransaction) {
    // Queries per element stay flat as the tree grows.
    vob_oid top = mk(a, 0, "big", true);
    auto grow = [&](int from, int to) {
        for (int d = from; d < to; d++) {
            vob_oid dir = mk(a, top, "d" + std::to_string(d), true);
            for (int f = 0; f < 20; f++)
                mk(a, dir, "f" + std::to_string(f), false);
        }
    };
    double per_elem[2];
    int64_t elems[2];
    for (int round = 0; round < 2; round++) {
        grow(round ? 5 : 0, round ? 20 : 5);
        std::vector<vob_oid> all;
        ASSERT_EQ(vob_elem_list(a, &all), VOB_OK);
        elems[round] = int64_t(all.size());
        int64_t before = vob_queries_run();
        vob_oid bl = 0;
        ASSERT_EQ(orb_baseline_create_normal(pv, "N" + std::to_string(round), comp_a, nullptr, &bl), VOB_OK)
            << vob_errmsg(pv);
        per_elem[round] = double(vob_queries_run() - before) / double(elems[round]);
    }
    EXPECT_GT(elems[1], 3 * elems[0]);
    EXPECT_LT(per_elem[0], 16.0);
    EXPECT_LT(per_elem[1], per_elem[0] * 1.2) << per_elem[0] << " " << per_elem[1];
    EXPECT_EQ(labels(a, "big/d19/f19"), std::vector<std::string>{"N1"});
    EXPECT_EQ(labels(a, "src/lib/x.c"), (std::vector<std::string>{"N0", "N1"}));

    // An element that cannot take the label refuses the whole baseline:
    // no label type, no label, no record.
    vob_oid deep = 0, ver = 0;
    ASSERT_EQ(vob_resolve_path(a, "big/d19/f19", nullptr, "", &deep, &ver), VOB_OK);
    ASSERT_EQ(vob_obj_lock(a, deep, 0, nullptr), VOB_OK);
    vob_oid none = 0;
    EXPECT_EQ(orb_baseline_create_normal(pv, "N2", comp_a, nullptr, &none), VOB_LOCKED);
    EXPECT_NE(vob_errmsg(pv).find("VOB \"/a\": the element is locked"), std::string::npos) << vob_errmsg(pv);
    EXPECT_EQ(vob_type_find(a, VOB_MT_LBTYPE, "N2", &none), VOB_NOT_FOUND);
    EXPECT_EQ(labels(a, "README"), (std::vector<std::string>{"N0", "N1"}));
    EXPECT_EQ(orb_baseline_find(pv, "N2", &none), VOB_NOT_FOUND);
}

// The SUM_ calls in the order the import wizard makes them: an import
// baseline per destination VOB, then at exit a new default integration
// stream of the initial baselines of the modifiable components.
TEST_F(Orbis, SumLayerAsTheWizardCallsIt) {
    label(a, "IMPORTED_2026-Apr-17", {"", "README"});
    SUM_Vob pvob, none;
    ASSERT_EQ(SUM_Vob::construct_from_pname_or_tag("/pvob", 0, &pvob), 0);
    EXPECT_EQ(pvob.tag(), "/pvob");
    SUM_Vob by_path;
    ASSERT_EQ(SUM_Vob::construct_from_pname_or_tag("/a/src/main.c", 0, &by_path), 0);
    EXPECT_EQ(by_path.tag(), "/a");
    SUM_LabelType lt;
    ASSERT_EQ(SUM_LabelType::construct_from_selector("IMPORTED_2026-Apr-17@/a", none, &lt), 0);
    SUM_Component comp;
    ASSERT_EQ(SUM_Component::construct_from_selector("component:A", pvob, SUM_READ, &comp), 0);
    SUM_Baseline made;
    ASSERT_EQ(SUM_Baseline::create_import(lt, nullptr, comp, "Baseline made by Import Wizard", &made), 0);
    EXPECT_EQ(made.name(), "IMPORTED_2026-Apr-17");
    EXPECT_EQ(made.selector(), "baseline:IMPORTED_2026-Apr-17@/pvob");
    orb_baseline bl;
    ASSERT_EQ(orb_baseline_get(pv, made.oid(), &bl), VOB_OK);
    EXPECT_EQ(bl.ev.comment, "Baseline made by Import Wizard");
    std::string tag;
    ASSERT_EQ(comp.vob_tag(&tag), 0);
    EXPECT_EQ(tag, "/a");

    // Failures are printed, and a redirector on the thread collects them.
    {
        SUM_ImsgRedirector r;
        SUM_Project nope;
        SUM_Component c;
        SUM_Vob v;
        EXPECT_EQ(SUM_Project::construct_from_selector("nope@/pvob", none, SUM_READ, &nope), VOB_NOT_FOUND);
        EXPECT_EQ(SUM_Component::construct_from_selector("", pvob, SUM_READ, &c), VOB_ERR);
        EXPECT_EQ(SUM_Vob::construct_from_pname_or_tag("/nowhere/x", 0, &v), VOB_NOT_FOUND);
        SUM_Project lazy;
        ASSERT_EQ(SUM_Project::construct_from_selector("gone@/pvob", none, &lazy), 0);   // not read yet
        std::string title;
        EXPECT_EQ(lazy.title(&title), VOB_NOT_FOUND);
        ASSERT_EQ(r.count(), 4);
        EXPECT_EQ(r.message(0),
                  std::string(imsg_app_name()) + ": Error: VOB \"/pvob\": no project named \"nope\"\n");
        EXPECT_NE(r.message(1).find("Bad selector \"\": it names no object"), std::string::npos) << r.text();
        EXPECT_NE(r.message(2).find("\"/nowhere/x\" is neither a VOB tag nor a path inside a VOB"),
                  std::string::npos)
            << r.text();
        EXPECT_NE(r.text().find("no project named \"gone\""), std::string::npos);
    }

    // Project Q holds A only; the wizard's configuration at exit.
    vob_oid q = 0;
    ASSERT_EQ(orb_project_create(pv, "Q", "Quality", nullptr, &q), VOB_OK);
    ASSERT_EQ(orb_project_add_mod_comp(pv, q, comp_a), VOB_OK);
    auto configure = [&](const std::string &selector, std::vector<SUM_Baseline> bls, bool *flagged,
                         std::vector<std::string> *changes, std::unique_ptr<SUM_NewConfig> *config) {
        SUM_ImsgRedirector r;
        SUM_Project p;
        EXPECT_EQ(SUM_Project::construct_from_selector(selector, none, &p), 0);
        SUM_Foundation f;
        EXPECT_EQ(SUM_Foundation::construct_from_baselines(bls, &f), 0);
        (void)f.diagnose_conflicts();
        SUM_ConfigCallbacks cb;
        cb.config_change = [&](const SUM_ConfigChange &c) {
            changes->push_back((c.report ? "" : "(quiet) ") + c.message);
            if (c.report)
                imsg_printf(IMSG_NOTICE, "%s", c.message.c_str());
        };
        EXPECT_EQ(SUM_NewConfig::validate_new_istream_config(p, f, cb, config, flagged), 0);
        return r.text();
    };
    SUM_Project sq;
    ASSERT_EQ(SUM_Project::construct_from_selector("project:Q@/pvob", none, SUM_READ, &sq), 0);
    std::string title;
    ASSERT_EQ(sq.title(&title), 0);
    EXPECT_EQ(title, "Quality");
    std::vector<SUM_Component> mods;
    ASSERT_EQ(sq.mod_comps(&mods), 0);
    ASSERT_EQ(mods.size(), 1u);
    EXPECT_EQ(mods[0].name(), "A");
    SUM_Baseline init_a, init_b;
    ASSERT_EQ(mods[0].initial_baseline(&init_a), 0);
    EXPECT_EQ(init_a.name(), "A_INITIAL");
    SUM_Component cb_;
    ASSERT_EQ(SUM_Component::construct_from_selector("B@/pvob", none, 0, &cb_), 0);
    ASSERT_EQ(cb_.initial_baseline(&init_b), 0);

    // A baseline of a component Q does not hold is flagged, and says which.
    bool flagged = false;
    std::vector<std::string> changes;
    std::unique_ptr<SUM_NewConfig> config;
    std::string said = configure("Q@/pvob", {init_a, init_b}, &flagged, &changes, &config);
    EXPECT_TRUE(flagged);
    ASSERT_TRUE(config);
    EXPECT_FALSE(config->is_valid());
    EXPECT_EQ(changes, (std::vector<std::string>{"Component \"A\": baseline \"A_INITIAL\"",
                                                 "Component \"B\": baseline \"B_INITIAL\""}));
    EXPECT_NE(
        said.find(
            "Error: Component \"B\" of baseline \"B_INITIAL\" is not a modifiable component of project \"Q\""),
        std::string::npos)
        << said;
    SUM_Stream st;
    {
        SUM_ImsgRedirector r;
        EXPECT_EQ(SUM_Stream::create("IntegrationStream", sq, *config, &st), VOB_ERR);
        EXPECT_NE(r.text().find("the configuration is not valid"), std::string::npos);
    }
    // Two baselines of one component: a conflict, printed by the diagnosis too.
    changes.clear();
    said = configure("Q@/pvob", {init_a, made}, &flagged, &changes, &config);
    EXPECT_TRUE(flagged);
    EXPECT_EQ(testutil::count(said, "baselines \"A_INITIAL\" and \"IMPORTED_2026-Apr-17\" are both"), 2u)
        << said;

    // Valid: made, not the default until it is set.
    changes.clear();
    said = configure("Q@/pvob", {init_a}, &flagged, &changes, &config);
    EXPECT_FALSE(flagged);
    ASSERT_TRUE(config && config->is_valid());
    EXPECT_EQ(said, "Component \"A\": baseline \"A_INITIAL\"\n");
    ASSERT_EQ(SUM_Stream::create("IntegrationStream", sq, *config, &st), 0);
    SUM_Stream def;
    {
        SUM_ImsgRedirector r;
        EXPECT_EQ(sq.default_integration_stream(&def), VOB_NOT_FOUND);
        EXPECT_EQ(r.count(), 0);
    }
    ASSERT_EQ(sq.set_default_integration_stream(st, 0), 0);
    ASSERT_EQ(sq.default_integration_stream(&def), 0);
    EXPECT_EQ(def.name(), "IntegrationStream");
    EXPECT_EQ(def.oid(), st.oid());

    // Against the current default's foundation: what was there, what is
    // unchanged (not reported), what the foundation lacks.
    ASSERT_EQ(orb_project_add_mod_comp(pv, q, comp_b), VOB_OK);
    changes.clear();
    said = configure("Q@/pvob", {made}, &flagged, &changes, &config);
    EXPECT_FALSE(flagged);
    EXPECT_EQ(changes, (std::vector<std::string>{
                           "Component \"A\": baseline \"IMPORTED_2026-Apr-17\" (was \"A_INITIAL\")",
                           "(quiet) Component \"B\": no baseline"}));
    ASSERT_EQ(st.rebase(*config), 0);
    changes.clear();
    said = configure("Q@/pvob", {made, init_b}, &flagged, &changes, &config);
    EXPECT_EQ(changes, (std::vector<std::string>{"(quiet) Component \"A\": baseline \"IMPORTED_2026-Apr-17\"",
                                                 "Component \"B\": baseline \"B_INITIAL\""}));
    EXPECT_EQ(said, "Component \"B\": baseline \"B_INITIAL\"\n");
    SUM_Stream by_sel;
    ASSERT_EQ(SUM_Stream::construct_from_selector("stream:IntegrationStream", pvob, SUM_READ, &by_sel), 0);
    EXPECT_EQ(by_sel.oid(), st.oid());
}

}   // namespace
