// The check of a legacy kind when the user first picks it: only PVCS has
// one, which looks for the installation's `get` through the registry (files
// under VANTOR_HOME/registry/) and PATH.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/registry/registry.h"
#include "runtime/fileutl.h"
#include "wizard/wiz_legacy.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_ui.h"

namespace fs = std::filesystem;

namespace {

const char PVCS_KEY[] = "HKLM/SOFTWARE/INTERSOLV/PVCS Version Manager";
// A registry value longer than this is no directory the check could use.
constexpr std::streamsize VALUE_MAX = 4096;

// The value of a key's file, its trailing line ends stripped; false when
// the file cannot be read.
bool read_value(const std::string &file, std::string *value) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return false;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::string text(size_t(VALUE_MAX), '\0');
    in.read(text.data(), VALUE_MAX);
    if (in.bad())
        return false;
    text.resize(size_t(in.gcount()));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    *value = text;
    return true;
}

// 0 with the first sub-key's PathString in *value; 1 when no sub-key has
// one; -1 when the key does not exist.
int pvcs_path_string(std::string *value) {
    std::string key = rgy_home() + "/registry/" + PVCS_KEY;
    std::error_code ec;
    if (!fs::is_directory(key, ec))
        return -1;
    std::vector<std::string> subkeys;
    fs::directory_iterator it(key, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code dec;
        if (it->is_directory(dec))
            subkeys.push_back(it->path().filename().string());
    }
    std::sort(subkeys.begin(), subkeys.end());
    for (const std::string &sub : subkeys)
        if (read_value(key + "/" + sub + "/PathString", value))
            return 0;
    return 1;
}

void inform(WizUi *ui, int id) {
    if (ui)
        ui->message_box(wiz_box::INFORMATION, wiz_format(id));
}

}   // namespace

void LegacyKind::first_selection_check(WizUi *ui) {
    if (id_ != PVCS || check_done_)
        return;
    check_done_ = true;
    WizWaitCursor wait(ui);
    std::string dir;
    int found = pvcs_path_string(&dir);
    if (found < 0) {
        inform(ui, IDS_PVCS_NOT_INSTALLED);
        return;
    }
    if (found > 0) {
        const char *path = std::getenv("PATH");
        if (!path || fileutl_resolve_pathname("get").empty())
            inform(ui, IDS_PVCS_GET_NOT_ON_PATH);
        return;
    }
    std::string get = dir.empty() || dir.back() == '/' ? dir + "get" : dir + "/get";
    if (!fileutl_is_file(get)) {
        inform(ui, IDS_PVCS_GET_MISSING);
        return;
    }
    tool_dir_ = dir;
}
