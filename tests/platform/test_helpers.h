// Shared set-up of the platform tests: a private VANTOR_HOME per test.
#pragma once

#include "platform/vob.h"

#include <gtest/gtest.h>

#include <string>

// Makes a temporary VANTOR_HOME and removes it afterwards.
class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Makes VOB `tag` and opens it.
    vob_t *make_vob(const std::string &tag);
    std::string home;
    std::string tmp;   // a scratch directory inside home
};

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &text);
// Runs the vantor command with a shell command line after "vantor"; returns
// the exit status, and the two streams when asked.
int run_vantor(const std::string &args, std::string *out = nullptr, std::string *err = nullptr,
               const std::string &cwd = "");
