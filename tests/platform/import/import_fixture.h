// The import tests' fixture: a VOB /t with a snapshot view, a directory of
// source files, and imp_start run on a data file with its messages captured.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

#include "platform/import/imp_start.h"
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"
#include "tests/platform/import/datafile_builder.h"

struct ImportFixture : testvob::ViewTest {
    std::string src;                  // the files the data files name, in tmp
    std::string out_text, err_text;   // what the last run_import printed

    void SetUp() override {
        testvob::ViewTest::SetUp();
        if (HasFatalFailure())
            return;
        src = tmp + "/src";
        mkdir(src.c_str(), 0755);
    }

    // Writes the data file and imports it with the front end's defaults, plus
    // whatever `adjust` changes. Returns imp_start's result.
    template <class F> int run_import(const std::string &text, F adjust, imp_params *keep = nullptr) {
        std::string df = tmp + "/data.dat";
        testutil::write_file(df, text);
        imp_params p;
        p.datafile = df.c_str();
        std::string target = vob_root();
        p.target_dir = target.c_str();
        p.label_directory = 1;
        p.comment = "Created by importer";
        p.load = 0;
        adjust(p);
        testutil::ImsgCapture cap;
        int rc = imp_start(&p);
        out_text = cap.out();
        err_text = cap.err();
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

// The text with NumElements and NumVersions set to the element and version
// records it holds, as an exporter writes them.
inline std::string with_counts(std::string text) {
    auto set = [&text](const std::string &key, size_t n) {
        size_t at = text.find("\n" + key + " ");
        if (at == std::string::npos)
            return;
        size_t b = at + key.size() + 2, e = text.find('\n', b);
        text.replace(b, e - b, std::to_string(n));
    };
    size_t nel = testutil::count(text, "\nELEMENT_BEGIN\n"),
           nver = testutil::count(text, "\nVERSION_BEGIN\n");
    set("NumElements", nel);
    set("NumVersions", nver);
    return text;
}
