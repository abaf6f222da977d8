// A temporary directory removed with everything below it when the test ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "rtXXXXXX").string();
        path_ = mkdtemp(tmpl.data()) ? tmpl : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &rel) const { return path_ + "/" + rel; }
    void file(const std::string &rel, const std::string &text = "x") const {
        std::ofstream(path_ + "/" + rel) << text;
    }
    void dir(const std::string &rel) const { std::filesystem::create_directories(path_ + "/" + rel); }

private:
    std::string path_;
};
