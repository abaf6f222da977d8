// A fresh VANTOR_HOME with one VOB (/t) and a snapshot view of it for each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "platform/import/imp_start.h"
#include "platform/view.h"
#include "platform/vob.h"
#include "runtime/imsg.h"
#include "tests/import/datafile_builder.h"

inline std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void write_file(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct ImportFixture : ::testing::Test {
    std::string top, src, view_root, vob_dir;
    vob_t *vob = nullptr;
    std::string out_text, err_text;   // what the last run_import printed

    void SetUp() override {
        char tmpl[] = "/tmp/imp_test_XXXXXX";
        top = mkdtemp(tmpl);
        setenv("VANTOR_HOME", (top + "/home").c_str(), 1);
        src = top + "/src";
        mkdir(src.c_str(), 0755);
        std::string err;
        ASSERT_EQ(vob_make("/t", "", 0, &vob_dir, &err), 0) << err;
        view_root = top + "/view";
        ASSERT_EQ(view_make("vt", view_root, &err), 0) << err;
        view_t *view = nullptr;
        ASSERT_EQ(view_open(view_root, &view, &err), 0) << err;
        ASSERT_EQ(view_add_scope(view, "/t"), 0);
        ASSERT_EQ(view_update(view, nullptr, nullptr, nullptr), 0) << view_errmsg(view);
        view_close(view);
        ASSERT_EQ(vob_open(vob_dir, &vob, &err), 0) << err;
    }
    void TearDown() override {
        vob_close(vob);
        [[maybe_unused]] int rc = system(("chmod -R u+w '" + top + "' && rm -rf '" + top + "'").c_str());
        unsetenv("VANTOR_HOME");
    }

    std::string vob_root() const { return view_root + "/t"; }

    // Writes the data file and imports it with the front end's defaults, plus
    // whatever `adjust` changes. Returns imp_start's result.
    template <class F>
    int run_import(const std::string &text, F adjust, imp_params *keep = nullptr) {
        std::string df = top + "/data.dat";
        write_file(df, text);
        imp_params p;
        p.datafile = df.c_str();
        std::string target = vob_root();
        p.target_dir = target.c_str();
        p.label_directory = 1;
        p.comment = "Created by importer";
        p.load = 0;
        adjust(p);
        FILE *o = std::tmpfile(), *e = std::tmpfile();
        imsg_set_streams(o, e);
        int rc = imp_start(&p);
        imsg_set_streams(nullptr, nullptr);
        out_text = slurp(o);
        err_text = slurp(e);
        if (keep) {
            *keep = p;
        } else {
            imp_params_release(&p);
        }
        return rc;
    }
    int run_import(const std::string &text) {
        return run_import(text, [](imp_params &) {});
    }

    static std::string slurp(FILE *f) {
        std::string s;
        std::rewind(f);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            s.append(buf, n);
        std::fclose(f);
        return s;
    }

    // The element at a path below the VOB root, 0 when there is none.
    vob_oid elem(const std::string &path) {
        vob_oid e = 0, v = 0;
        if (vob_resolve_path(vob, path, nullptr, "", &e, &v))
            return 0;
        return e;
    }
    vob_oid ver(const std::string &xpath) {
        vob_oid e = 0, v = 0;
        if (vob_resolve_path(vob, xpath, nullptr, "", &e, &v))
            return 0;
        return v;
    }
    std::string contents(const std::string &xpath) {
        std::string bytes;
        vob_oid v = ver(xpath);
        if (!v || vob_ver_read_data(vob, v, &bytes))
            return "<none>";
        return bytes;
    }
    std::vector<std::string> vtree(const std::string &path) {
        std::vector<vob_vtree_node> nodes;
        std::vector<std::string> ids;
        EXPECT_EQ(vob_elem_get_vtree(vob, elem(path), &nodes), VOB_OK) << vob_errmsg(vob);
        for (const vob_vtree_node &n : nodes)
            ids.push_back(n.ver.id);
        return ids;
    }
    std::vector<std::string> labels(const std::string &xpath) {
        std::vector<vob_label> ls;
        std::vector<std::string> names;
        EXPECT_EQ(vob_ver_get_labels(vob, ver(xpath), &ls), VOB_OK) << vob_errmsg(vob);
        for (const vob_label &l : ls)
            names.push_back(l.name);
        return names;
    }
    std::string attr(vob_oid obj, const std::string &name) {
        std::vector<vob_attr> attrs;
        EXPECT_EQ(vob_obj_get_attrs(vob, obj, &attrs), VOB_OK) << vob_errmsg(vob);
        for (const vob_attr &a : attrs)
            if (a.name == name)
                return a.value;
        return "<none>";
    }
};

// The head of a data file whose contents come from `from`.
inline datafile_builder data_head(const std::string &from, const std::string &extra_globals = "") {
    datafile_builder b;
    b.num("EXPORT_FORMAT", 5).marker("GLOBALS_BEGIN").str("ExportFromDir", from);
    b.num("NumElements", 1).num("NumVersions", 1).num("ExporterKind", 3);
    b.text += extra_globals;
    b.marker("GLOBALS_END").marker("TYPES_BEGIN").marker("TYPES_END").dir(".");
    return b;
}
