// Fixtures of the tests that need a Vantor store: a private VANTOR_HOME, a VOB
// and a snapshot view of it, and the vantor command run against them.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/store/vob.h"
#include "tests/common/testutil.h"

namespace testvob {

// Each test gets its own VANTOR_HOME (a fresh temporary directory, removed
// afterwards with everything in it) and a lock wait long enough for a loaded
// machine. VANTOR_HOME and VANTOR_BUSY_TIMEOUT_MS are unset at the end.
class VobTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Makes VOB `tag` and opens it; null (with a failure) when either fails.
    vob_t *make_vob(const std::string &tag);

    std::string home;   // the VANTOR_HOME
    std::string tmp;    // a scratch directory inside home

private:
    testutil::TempDir dir_;
};

// VobTest with VOB /t made and open as `v`, for tests of the store's calls.
class OpenVobTest : public VobTest {
protected:
    void SetUp() override;
    void TearDown() override;
    vob_oid root() { return vob_wk_obj(v, VOB_WK_ROOT_DIR); }

    vob_t *v = nullptr;
};

// VobTest with VOB /t (open as `vob`, its storage in vob_dir) and a loaded
// snapshot view "vt" of it at view_root; the queries read the VOB by path.
class ViewTest : public VobTest {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string vob_root() const { return view_root + "/t"; }   // the VOB's root in the view
    // The element or version at a path below the VOB root, 0 when there is none.
    vob_oid elem(const std::string &path);
    vob_oid ver(const std::string &xpath);
    // A version's contents, "<none>" when it has none.
    std::string contents(const std::string &xpath);
    // The version ids of an element's tree, in the store's order.
    std::vector<std::string> vtree(const std::string &path);
    std::vector<std::string> labels(const std::string &xpath);
    // The value of an attribute of an object, "<none>" when it is not set.
    std::string attr(vob_oid obj, const std::string &name);

    vob_t *vob = nullptr;
    std::string vob_dir, view_root;
};

// The version ids of an element's tree, in the store's order.
std::vector<std::string> vtree_ids(vob_t *vob, vob_oid elem);

// Runs the vantor command of this build with a shell command line after
// "vantor", in cwd when given; returns the exit status, and the two streams
// when asked.
int run_vantor(const std::string &args, std::string *out = nullptr, std::string *err = nullptr,
               const std::string &cwd = "");

// Runs fn in a child process that file permissions bind: as root, the child
// first drops to uid and gid 65534 (the files it must reach belong to that
// uid then, see unprivileged_uid). Returns what fn returns; a child that could
// not drop its privileges returns "SKIP: <why>". fn must not use gtest.
std::string run_unprivileged(const std::function<std::string()> &fn);
// The uid the child of run_unprivileged runs as.
unsigned unprivileged_uid();

}   // namespace testvob
