// Archives made with the real ci, rcs and cvs, and the revisions co prints
// from them, for comparing the reader's results byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/common/testutil.h"

namespace rcsreal {

// An archive "<dir>/<name>,v" grown one ci at a time. Locking is non-strict,
// so any revision number ci accepts with -f may be checked in; every check-in
// gets a date one second after the one before.
class archive_maker {
public:
    archive_maker(const std::string &dir, const std::string &name);
    // Checks text in as revision rev ("" lets ci choose). Fails the test when
    // ci fails.
    void checkin(const std::string &rev, const std::string &text);
    // Runs rcs with these arguments on the archive.
    void rcs(const std::string &args);
    std::string archive() const { return dir_ + "/" + name_ + ",v"; }

private:
    std::string dir_, name_;
    int clock_ = 0;
    bool made_ = false;
};

// What `co -ko -p -rREV archive` writes on its standard output, exactly.
std::string co_raw(const std::string &archive, const std::string &rev);

// Opens the archive, rebuilds every revision in one call and compares each
// with co's output; *count gets the number of revisions compared.
::testing::AssertionResult all_revisions_match(const std::string &archive, size_t *count = nullptr);

// Runs a command line with sh in cwd (TZ=UTC), failing the test when it fails.
void sh(const std::string &cmd, const std::string &cwd);

// Quotes a string for the shell.
std::string quoted(const std::string &s);

}   // namespace rcsreal
