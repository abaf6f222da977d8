// The fixture of the file-system import tests: a VOB /t in a loaded snapshot
// view (vob_root() is its root there) and an empty directory of sources.
#pragma once

#include <string>

#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

struct FsImportTest : testvob::ViewTest {
    std::string src;   // the source tree
    void SetUp() override {
        testvob::ViewTest::SetUp();
        if (HasFatalFailure())
            return;
        src = tmp + "/src";
        testutil::make_dirs(src);
    }
};
