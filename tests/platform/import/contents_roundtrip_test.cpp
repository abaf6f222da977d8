// Every kind of version contents through the import and back out by every
// reader, byte for byte: the store's read, vantor cat, a snapshot view of main
// and of each branch, the JSON dump; then the same data file again makes
// nothing. Sizes sit around VOB_INLINE_MAX, where a stored form moves from the
// database to the pool, and one element's long history runs over branches.
#include "tests/platform/import/import_fixture.h"

#include <cstdint>
#include <map>
#include <random>
#include <nlohmann/json.hpp>

#include "platform/store/vob_blob.h"
#include "runtime/digest.h"

namespace {

using json = nlohmann::json;

// Seeded bytes: the raw outputs of mt19937, whose sequence the standard fixes.
std::string random_bytes(size_t n, uint32_t seed) {
    std::mt19937 g(seed);
    std::string s(n, '\0');
    for (char &c : s)
        c = char(g() & 0xff);
    return s;
}

// `entropy` random bytes in base64, 76 characters a line: text that compresses
// to about 1.04 times `entropy` at every zstd level (hex digits would not:
// their chance matches make the default level's output vary by several KiB).
std::string b64_text(size_t entropy, uint32_t seed) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string raw = random_bytes(entropy - entropy % 3, seed), s;
    for (size_t i = 0; i < raw.size(); i += 3) {
        uint32_t w = uint32_t((unsigned char)raw[i]) << 16 | uint32_t((unsigned char)raw[i + 1]) << 8 |
                     uint32_t((unsigned char)raw[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6)
            s += digits[(w >> shift) & 63];
        if (i % 57 == 54)
            s += '\n';
    }
    return s;
}

// Lines of words from a small vocabulary: compresses several times over.
std::string prose(size_t n, uint32_t seed) {
    static const char *const words[] = {"store", "version", "branch", "element", "label", "view",
                                        "delta", "chain",   "pool",   "commit",  "blob",  "row",
                                        "main",  "latest",  "merge",  "import"};
    std::mt19937 g(seed);
    std::string s;
    for (int w = 1; s.size() < n; ++w)
        s += std::string(words[g() % 16]) + (w % 11 ? " " : "\n");
    s.resize(n);
    return s;
}

// A text edited a little at a time: a line changed, added or dropped by turns,
// each edit marked with who made it, so no version equals the one before.
struct EditedText {
    std::vector<std::string> lines;
    explicit EditedText(const std::string &base) {
        for (size_t at = 0, nl; at < base.size(); at = nl + 1) {
            nl = base.find('\n', at);
            if (nl == std::string::npos)
                nl = base.size();
            lines.push_back(base.substr(at, nl - at));
        }
    }
    void edit(const std::string &who, int k) {
        size_t at = (size_t(k) * 7919u) % lines.size();
        std::string mark = who + " " + std::to_string(k);
        if (k % 3 == 0)
            lines[at] += " " + mark;
        else if (k % 3 == 1)
            lines.insert(lines.begin() + long(at), "added by " + mark);
        else
            lines.erase(lines.begin() + long(at));
    }
    std::string text() const {
        std::string s;
        for (const std::string &l : lines)
            s += l + "\n";
        return s;
    }
};

// One version record: its VersionId, its branch below main ("" for main,
// "dev/fix"), the branch that sprouts from it, and its bytes.
struct Rec {
    std::string vid, branch, sprouts, bytes;
};
struct Elem {
    std::string name;
    std::vector<Rec> recs;
};

std::vector<Rec> on_main(const std::vector<std::string> &bytes) {
    std::vector<Rec> recs;
    for (const std::string &b : bytes)
        recs.push_back({"1." + std::to_string(recs.size() + 1), "", "", b});
    return recs;
}

// 300 versions on main; dev sprouts from main 100 (40 versions), fix from
// dev 20 (30), rel from main 220 (25).
std::vector<Rec> long_history() {
    std::vector<Rec> recs;
    EditedText main_text(prose(12000, 41));
    std::vector<EditedText> at;   // main after each version
    for (int k = 1; k <= 300; ++k) {
        main_text.edit("main", k);
        at.push_back(main_text);
        const char *sprout = k == 100 ? "dev" : k == 220 ? "rel" : "";
        recs.push_back({"1." + std::to_string(k), "", sprout, main_text.text()});
    }
    auto branch = [&recs](EditedText t, const std::string &path, const std::string &vid_head, int n,
                          int sprout_at, const std::string &sprout) {
        std::vector<EditedText> states;
        for (int j = 1; j <= n; ++j) {
            t.edit(path, j);
            states.push_back(t);
            recs.push_back({vid_head + std::to_string(j), path, j == sprout_at ? sprout : "", t.text()});
        }
        return states;
    };
    std::vector<EditedText> dev = branch(at[99], "dev", "1.100.2.", 40, 20, "fix");
    branch(dev[19], "dev/fix", "1.100.2.20.2.", 30, 0, "");
    branch(at[219], "rel", "1.220.4.", 25, 0, "");
    return recs;
}

// "" when got is want, else where they part: a failure worth reading
// instead of two dumps of a megabyte.
std::string mismatch(const std::string &got, const std::string &want) {
    if (got == want)
        return "";
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at])
        ++at;
    return std::to_string(got.size()) + " bytes, want " + std::to_string(want.size()) +
           ", first difference at " + std::to_string(at);
}

std::string sha256(const std::string &bytes) {
    std::string hex;
    EXPECT_EQ(digest_sha256_hex(bytes, &hex), 0);
    return hex;
}

// Counts the versions each import run made and found.
struct Counts {
    long made = 0, present = 0, identical = 0;
};
int count_version(void *ctx, const char *, vob_oid, int is_new) {
    (is_new ? static_cast<Counts *>(ctx)->made : static_cast<Counts *>(ctx)->present)++;
    return 0;
}
int count_identical(void *ctx, const char *, vob_oid) {
    static_cast<Counts *>(ctx)->identical++;
    return 0;
}

TEST_F(ImportFixture, EveryKindOfContentsReadsBackByteExact) {
    const size_t limit = VOB_INLINE_MAX;
    const std::string text_a = prose(5000, 11),
                      text_b = text_a.substr(0, 2500) + "changed\n" + text_a.substr(2500);
    const std::string twin_text = prose(40000, 12), twin_bin = random_bytes(150000, 13);
    const std::string across = random_bytes(limit + 1, 14);
    std::string nul_bin(4096, '\0');
    for (size_t i = 0; i < 8192; ++i)
        nul_bin += char(i % 3 ? 0 : i % 256);
    nul_bin += std::string(4096, '\0');
    const std::vector<Elem> elems = {
        {"empty", on_main({""})},
        {"one_byte", on_main({"x"})},
        {"limit_minus_1.bin", on_main({random_bytes(limit - 1, 1)})},
        {"limit.bin", on_main({random_bytes(limit, 2)})},
        {"limit_plus_1.bin", on_main({random_bytes(limit + 1, 3)})},
        // Compressed (zstd, levels 1 to 19) about 1 KiB under and 1 KiB over the limit.
        {"near_limit_under.txt", on_main({b64_text(93 * 1024, 4)})},
        {"near_limit_over.txt", on_main({b64_text(95 * 1024, 5)})},
        {"large.txt", on_main({prose(3 << 20, 6)})},
        {"nul.bin", on_main({nul_bin})},
        {"random_200k.bin", on_main({random_bytes(200 * 1024, 7)})},
        {"random_1m.bin", on_main({random_bytes(1 << 20, 8)})},
        {"history.txt", long_history()},
        {"back.txt", on_main({text_a, text_b, text_a})},
        // Under the limit, over it, at it, and back to the first bytes.
        {"across_limit.bin", on_main({across.substr(0, limit - 1), across, across.substr(0, limit),
                                      across.substr(0, limit - 1)})},
        {"twin_a.txt", on_main({twin_text, twin_bin})},
        {"twin_b.txt", on_main({twin_text, twin_bin})},
    };

    // The expected bytes of every version by element and version id (each
    // branch's version 0 holds its sprout's bytes), and of each branch's LATEST.
    std::map<std::string, std::map<std::string, std::string>> want, latest;
    datafile_builder b = data_head(src);
    int64_t t = 1600000000;
    size_t nrec = 0;
    for (size_t ei = 0; ei < elems.size(); ++ei) {
        const Elem &e = elems[ei];
        auto &w = want[e.name];
        w["/main/0"] = "";
        std::map<std::string, int> next;
        b.marker("ELEMENT_BEGIN").str("Name", e.name).num("Mode", 33188).event("ann", ++t);
        for (const Rec &r : e.recs) {
            std::string path = "/main" + (r.branch.empty() ? "" : "/" + r.branch);
            std::string xid = path + "/" + std::to_string(++next[path]);
            w[xid] = latest[e.name][path] = r.bytes;
            if (!r.sprouts.empty())
                w[path + "/" + r.sprouts + "/0"] = r.bytes;
            std::string file = std::to_string(ei) + "." + std::to_string(++nrec);
            testutil::write_file(src + "/" + file, r.bytes);
            b.marker("VERSION_BEGIN").str("VersionId", r.vid).event("bob", ++t);
            if (!r.branch.empty())
                b.str("OnBranch", r.branch);
            b.str("ExtractFile", file);
            if (!r.sprouts.empty())
                b.str("SubBranch", r.sprouts);
            b.marker("VERSION_END");
        }
        b.marker("ELEMENT_END");
    }
    const std::string text = with_counts(b.text);
    Counts first;
    imp_callbacks cb{};
    cb.ctx = &first;
    cb.version = count_version;
    cb.version_identical = count_identical;
    auto with_cb = [&cb](imp_params &p) { p.callbacks = &cb; };
    ASSERT_EQ(run_import(text, with_cb), 0) << err_text;
    EXPECT_EQ(first.made, long(nrec));
    EXPECT_EQ(first.present + first.identical, 0);

    // The store and vantor cat, every version.
    size_t checked = 0;
    for (const auto &[name, vers] : want) {
        for (const auto &[xid, bytes] : vers) {
            SCOPED_TRACE(name + "@@" + xid);
            vob_oid v = ver(name + "@@" + xid);
            ASSERT_NE(v, 0u);
            vob_ver_info vi;
            ASSERT_EQ(vob_ver_get(vob, v, &vi), VOB_OK) << vob_errmsg(vob);
            EXPECT_EQ(vi.has_data, 1);
            EXPECT_EQ(vi.size, int64_t(bytes.size()));
            EXPECT_EQ(vi.sha256, sha256(bytes));
            std::string got, err;
            ASSERT_EQ(vob_ver_read_data(vob, v, &got), VOB_OK) << vob_errmsg(vob);
            EXPECT_EQ(mismatch(got, bytes), "") << "store read";
            ASSERT_EQ(testvob::run_vantor("cat '" + name + "@@" + xid + "'", &got, &err, vob_root()), 0)
                << err;
            EXPECT_EQ(mismatch(got, bytes), "") << "vantor cat";
            ++checked;
        }
    }
    EXPECT_EQ(checked, nrec + elems.size() + 3);   // with /main/0 and the branches' version 0

    // A view of main, then of each branch over main: every file as its
    // branch's LATEST, or main's where the element has no such branch.
    for (const char *br : {"", "dev", "dev/fix", "rel"}) {
        const std::string branch = br;
        SCOPED_TRACE("view of " + (branch.empty() ? std::string("main") : branch));
        std::string last = branch.substr(branch.rfind('/') + 1), cs = tmp + "/cs", err;
        testutil::write_file(cs, (branch.empty() ? "" : "element * .../" + last + "/LATEST\n") +
                                     std::string("element * /main/LATEST\n"));
        ASSERT_EQ(testvob::run_vantor("setcs '" + cs + "' '" + view_root + "'", nullptr, &err), 0) << err;
        for (const auto &[name, tips] : latest) {
            auto tip = tips.find("/main" + (branch.empty() ? "" : "/" + branch));
            const std::string &bytes = (tip != tips.end() ? tip : tips.find("/main"))->second;
            std::string got = testutil::read_file(vob_root() + "/" + name);
            EXPECT_EQ(mismatch(got, bytes), "") << name;
        }
    }

    // The dump: each file element's versions, exactly those expected, each
    // with the digest of its bytes.
    std::string dump, err;
    ASSERT_EQ(testvob::run_vantor("dump --json /t", &dump, &err), 0) << err;
    const json all = json::parse(dump);
    size_t files = 0;
    for (const json &e : all["elements"]) {
        if (e["kind"] != "file")
            continue;
        ++files;
        std::string name = e["path"];
        ASSERT_EQ(want.count(name), 1u) << name;
        std::map<std::string, std::string> got, exp;
        for (const json &x : e["versions"])
            got[x["id"]] = x["sha256"].is_string() ? x["sha256"].get<std::string>() : "<none>";
        for (const auto &[xid, bytes] : want[name])
            exp[xid] = sha256(bytes);
        EXPECT_EQ(got, exp) << name;
    }
    EXPECT_EQ(files, elems.size());

    // The same file again: every version found, none made, the VOB as it was.
    Counts second;
    cb.ctx = &second;
    ASSERT_EQ(run_import(text, with_cb), 0) << err_text;
    EXPECT_EQ(second.made + second.identical, 0);
    EXPECT_EQ(second.present, long(nrec));
    EXPECT_NE(out_text.find("Nothing new to import"), std::string::npos) << out_text;
    std::string again;
    ASSERT_EQ(testvob::run_vantor("dump --json /t", &again, &err), 0) << err;
    EXPECT_EQ(mismatch(again, dump), "") << "the dump changed on the second import";
}

}   // namespace
