// Data files of absolute versions, as a VOB exporter writes them, arrive in
// the target VOB exactly: compared through the JSON dump, with no attribute
// of the import's own, and imported again they change only what is new.
#include "tests/platform/import/import_fixture.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/store/vob_dump.h"

namespace {

using json = nlohmann::json;

std::string line(const std::string &key, const std::string &v) {
    return key + " " + std::to_string(v.size()) + ":" + v + "\n";
}

// An event whose five strings all differ.
void full_event(datafile_builder &b, const std::string &user, int64_t time) {
    b.str("EventUser", user).str("EventGroup", "g_" + user).str("EventName", "Full " + user);
    b.str("EventHost", user + ".example").num("EventTime", time);
}

struct abs_rec {
    std::string vid, on_branch, user;
    int64_t time;
    std::string comment, file, more;   // more: SubBranch, Label, Attrib, Merge, FMerge lines
};

void add(datafile_builder &b, const abs_rec &r) {
    b.marker("VERSION_BEGIN").str("VersionId", r.vid).flag("AbsVersion");
    full_event(b, r.user, r.time);
    if (!r.on_branch.empty())
        b.str("OnBranch", r.on_branch);
    if (!r.file.empty())
        b.str("ExtractFile", r.file);
    b.text += r.more;
    if (!r.comment.empty())
        b.str("Comment", r.comment);
    b.marker("VERSION_END");
}

struct AbsImport : ImportFixture {
    std::vector<abs_rec> recs;

    // Both ends of a merge name it, as an exporter writes them: /main/1 -> dev/fix/1
    // is listed here (FMerge) and by dev/fix/1 (Merge).
    static std::string main1_more(const std::string &more_labels) {
        return line("Attrib", "note=x=y") + line("Attrib", "blank=") +
               line("Attrib", "vantor_import_origin=77 /main/9") + line("Label", "L1") + line("Label", "L0") +
               more_labels + line("FMerge", "dev/fix/1");
    }

    void SetUp() override {
        ImportFixture::SetUp();
        testutil::write_file(src + "/v1", "one\n");
        testutil::write_file(src + "/v2", "fix\n");
        recs = {
            {"/main/0", "", "ann", 1000, "made", "", line("SubBranch", "dev")},
            {"/main/dev/0", "dev", "carol", 1150, "branch made", "", line("SubBranch", "dev/fix")},
            {"/main/dev/fix/0", "dev/fix", "dave", 1160, "fix made", "", ""},
            {"/main/dev/fix/1", "dev/fix", "dave", 1170, "f\xfcr Latin-1", "v2", line("Merge", "1")},
            {"/main/dev/1", "dev", "carol", 1200, "no contents", "",
             line("SubBranch", "dev/idle") + line("FMerge", "2")},
            {"/main/dev/idle/0", "dev/idle", "eve", 1210, "", "", ""},
            {"/main/1", "", "bob", 1100, "first", "v1", main1_more("")},
            {"/main/2", "", "bob", 1300, "second", "v1",
             line("Label", "L2") + line("Merge", "dev/fix/1") + line("Merge", "dev/1")},
        };
    }

    std::string data_file(const std::vector<abs_rec> &rs) {
        datafile_builder b = data_head(src);
        b.marker("ELEMENT_BEGIN").str("Name", "f.c");
        full_event(b, "ann", 1000);
        b.str("Comment", "made")
            .str("BranchObs", "dev/fix")
            .str("Attrib", "owner=a=b")
            .str("Attrib", "empty=");
        for (const abs_rec &r : rs)
            add(b, r);
        b.marker("ELEMENT_END");
        return with_counts(b.text);
    }

    json dump_elem(std::string *whole = nullptr) {
        std::string path = tmp + "/dump.json";
        FILE *f = fopen(path.c_str(), "w");
        std::string err;
        EXPECT_EQ(vob_dump_json(vob, f, &err), 0) << err;
        fclose(f);
        std::string text = testutil::read_file(path);
        if (whole)
            *whole = text;
        json all = json::parse(text);
        for (auto &e : all["elements"])
            if (e["path"] == "f.c")
                return e;
        ADD_FAILURE() << "no f.c in the dump: " << text;
        return json();
    }
};

json text(const std::string &s) {
    if (s.empty())
        return nullptr;
    // the dump's form of a string (only the one Latin-1 comment here)
    return s == "f\xfcr Latin-1" ? json({{"base64", "ZvxyIExhdGluLTE="}}) : json(s);
}

// Every record arrives as written: version 0 of the element and of each
// branch with its own event and comment, labels, attributes (values with "="
// and empty ones, one named like the import's origin attribute), merges both
// ways, a version without contents, an obsolete branch below another, a
// branch with only version 0; none gets an origin attribute.
TEST_F(AbsImport, EveryRecordArrivesExactly) {
    ASSERT_EQ(run_import(data_file(recs)), 0) << err_text;
    std::string first;
    json e = dump_elem(&first);
    EXPECT_EQ(e["comment"], "made");
    EXPECT_EQ(e["attributes"], json({{"owner", "a=b"}, {"empty", ""}}));
    EXPECT_EQ(e["event"], json({{"user", "ann"},
                                {"group", "g_ann"},
                                {"name", "Full ann"},
                                {"host", "ann.example"},
                                {"time", 1000}}));
    EXPECT_EQ(e["branches"], json::parse(R"([{"path": "/main", "obsolete": false},
        {"path": "/main/dev", "obsolete": false}, {"path": "/main/dev/fix", "obsolete": true},
        {"path": "/main/dev/idle", "obsolete": false}])"));
    ASSERT_EQ(e["versions"].size(), recs.size());
    for (size_t i = 0; i < recs.size(); ++i) {
        const abs_rec &r = recs[i];
        json &x = e["versions"][i];
        ASSERT_EQ(x["id"], r.vid);
        EXPECT_EQ(x["event"], json({{"user", r.user},
                                    {"group", "g_" + r.user},
                                    {"name", "Full " + r.user},
                                    {"host", r.user + ".example"},
                                    {"time", r.time}}))
            << r.vid;
        EXPECT_EQ(x["comment"], text(r.comment)) << r.vid;
    }
    auto v = [&](const std::string &id) -> json & {
        for (auto &x : e["versions"])
            if (x["id"] == id)
                return x;
        static json none;
        return none;
    };
    EXPECT_EQ(v("/main/1")["labels"], json({"L0", "L1"}));
    EXPECT_EQ(v("/main/2")["labels"], json({"L2"}));
    EXPECT_EQ(v("/main/1")["attributes"],
              json({{"note", "x=y"}, {"blank", ""}, {"vantor_import_origin", "77 /main/9"}}));
    for (const char *id : {"/main/0", "/main/2", "/main/dev/0", "/main/dev/fix/1", "/main/dev/idle/0"})
        EXPECT_EQ(v(id)["attributes"], json::object()) << id;
    EXPECT_EQ(v("/main/dev/fix/1")["merges_from"], json({"/main/1"}));
    EXPECT_EQ(v("/main/2")["merges_from"], json({"/main/dev/fix/1", "/main/dev/1"}));   // tree order
    EXPECT_EQ(v("/main/dev/1")["merges_from"], json::array());
    EXPECT_TRUE(v("/main/dev/1")["sha256"].is_null());
    EXPECT_EQ(v("/main/2")["sha256"], v("/main/1")["sha256"]);
    EXPECT_NE(v("/main/dev/fix/1")["sha256"], v("/main/1")["sha256"]);
    EXPECT_EQ(contents("f.c@@/main/dev/fix/1"), "fix\n");

    // The same file again: everything is present, nothing changes.
    ASSERT_EQ(run_import(data_file(recs)), 0) << err_text;
    EXPECT_NE(out_text.find("Nothing new to import"), std::string::npos) << out_text;
    std::string second;
    dump_elem(&second);
    EXPECT_EQ(second, first);
}

// A later export of the same VOB: the versions there before are found by
// number and time, the new ones are added, a label that moved follows it, and
// a version number that exists with another time stops the element whole.
TEST_F(AbsImport, LaterExportAddsOnlyWhatIsNew) {
    ASSERT_EQ(run_import(data_file(recs)), 0) << err_text;
    std::vector<abs_rec> later = recs;
    later.back().more = line("Merge", "dev/fix/1") + line("Merge", "dev/1");   // L2 left /main/2 ...
    later.push_back({"/main/3", "", "bob", 1400, "third", "v2", line("Label", "L2")});   // ... for /main/3
    later.insert(later.begin() + 4, {"/main/dev/fix/2", "dev/fix", "dave", 1390, "later fix", "v1", ""});
    later[7].more = main1_more(line("Label", "L9"));   // a new label on an old version (/main/1)
    ASSERT_EQ(run_import(data_file(later)), 0) << err_text;
    json e = dump_elem();
    std::vector<std::string> ids;
    for (auto &x : e["versions"])
        ids.push_back(x["id"]);
    EXPECT_EQ(ids, (std::vector<std::string>{"/main/0", "/main/dev/0", "/main/dev/fix/0", "/main/dev/fix/1",
                                             "/main/dev/fix/2", "/main/dev/1", "/main/dev/idle/0", "/main/1",
                                             "/main/2", "/main/3"}));
    EXPECT_EQ(labels("f.c@@/main/2"), (std::vector<std::string>{}));
    EXPECT_EQ(labels("f.c@@/main/3"), (std::vector<std::string>{"L2"}));
    EXPECT_EQ(labels("f.c@@/main/1"), (std::vector<std::string>{"L0", "L1", "L9"}));
    EXPECT_EQ(e["branches"][2], json({{"path", "/main/dev/fix"}, {"obsolete", true}}));
    EXPECT_EQ(e["versions"][4]["event"]["user"], "dave");
    for (auto &x : e["versions"])
        EXPECT_EQ(x["attributes"].count("vantor_import_origin"), x["id"] == "/main/1" ? 1u : 0u) << x["id"];

    std::string before;
    dump_elem(&before);
    std::vector<abs_rec> clash = later;
    clash.back().time = 1401;
    clash.push_back({"/main/4", "", "bob", 1500, "fourth", "v1", ""});
    ASSERT_EQ(run_import(data_file(clash)), 1);
    EXPECT_NE(err_text.find("version /main/3 exists with another time (1400, the data file has 1401)"),
              std::string::npos)
        << err_text;
    std::string after;
    dump_elem(&after);
    EXPECT_EQ(after, before);

    // A gap that an import of a partial export left: the whole export later
    // fails the element, saying what happened and how to mend it.
    std::vector<abs_rec> gap = later;
    gap.push_back({"/main/5", "", "bob", 1600, "fifth", "v1", ""});
    ASSERT_EQ(run_import(data_file(gap)), 0) << err_text;
    dump_elem(&before);
    gap.insert(gap.end() - 1, {"/main/4", "", "bob", 1500, "fourth", "v2", ""});
    ASSERT_EQ(run_import(data_file(gap)), 1);
    for (const char *said :
         {"version /main/4 is missing from branch /main, which already has higher numbers: an "
          "earlier import of a partial export (-s, -p or -I) left a gap there: ",
          "version number 4 is not above the numbers of branch \"/main\"",
          "\n    Version numbers only grow, so this VOB cannot take the missing version: export "
          "the element whole (without -s, -p or -I) and import it into a fresh VOB."})
        EXPECT_NE(err_text.find(said), std::string::npos) << said << "\n" << err_text;
    dump_elem(&after);
    EXPECT_EQ(after, before);
}

// No Comment line in an absolute record means no comment (the import's default
// comment is for records of other stores), for the element and its /main/0 too.
TEST_F(AbsImport, NoCommentMeansNone) {
    datafile_builder b = data_head(src);
    b.marker("ELEMENT_BEGIN").str("Name", "g.c");
    full_event(b, "ann", 1000);
    add(b, {"/main/0", "", "ann", 1000, "", "", ""});
    add(b, {"/main/1", "", "ann", 1001, "", "v1", ""});
    b.marker("ELEMENT_END");
    ASSERT_EQ(run_import(with_counts(b.text)), 0) << err_text;
    vob_event ev;
    for (vob_oid obj : {elem("g.c"), ver("g.c@@/main/0"), ver("g.c@@/main/1")}) {
        ASSERT_EQ(vob_obj_get_event(vob, obj, &ev), 0);
        EXPECT_EQ(ev.comment, "");
    }
}

// A SubBranch path must name a branch of the version that lists it.
TEST_F(AbsImport, SubBranchPathOffItsBranchFails) {
    recs[1].more = line("SubBranch", "other/fix");
    ASSERT_EQ(run_import(data_file(recs)), 1);
    EXPECT_NE(err_text.find("lists branch other/fix, which does not sprout from its branch"),
              std::string::npos)
        << err_text;
    EXPECT_EQ(elem("f.c"), 0);
}

}   // namespace
