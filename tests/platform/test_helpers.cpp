#include "test_helpers.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

void PlatformTest::SetUp()
{
    char tmpl[] = "/tmp/vantor-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    home = tmpl;
    tmp = home + "/scratch";
    std::filesystem::create_directories(tmp);
    setenv("VANTOR_HOME", home.c_str(), 1);
    setenv("VANTOR_BUSY_TIMEOUT_MS", "10000", 1);
}

void PlatformTest::TearDown()
{
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
}

vob_t *PlatformTest::make_vob(const std::string &tag)
{
    std::string err;
    EXPECT_EQ(vob_make(tag, "", 0, nullptr, &err), VOB_OK) << err;
    vob_t *v = nullptr;
    EXPECT_EQ(vob_open_tag(tag, &v, &err), VOB_OK) << err;
    return v;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

int run_vantor(const std::string &args, std::string *out, std::string *err, const std::string &cwd)
{
    std::string base = std::filesystem::temp_directory_path().string() + "/vantor-run-" + std::to_string(getpid());
    std::string cmd = (cwd.empty() ? "" : "cd '" + cwd + "' && ") + std::string(VANTOR_BIN) + " " + args + " >" +
                      base + ".out 2>" + base + ".err";
    int st = system(cmd.c_str());
    if (out)
        *out = read_file(base + ".out");
    if (err)
        *err = read_file(base + ".err");
    std::filesystem::remove(base + ".out");
    std::filesystem::remove(base + ".err");
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}
