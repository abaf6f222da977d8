// The string table and its insert formatting.
#include "wizard/wiz_strings.h"

#include <cstdlib>
#include <map>

#include "runtime/tbs.h"

namespace {

struct entry {
    int id;
    const char *text;
};

#define WIZ_STRING_ENTRY(name, num, text) {num, text},
const entry strings[] = {WIZ_STRINGS(WIZ_STRING_ENTRY)};
const entry dialog_texts[] = {WIZ_DIALOG_TEXTS(WIZ_STRING_ENTRY)};
#undef WIZ_STRING_ENTRY

const char *find(const entry *table, size_t n, int id) {
    for (size_t i = 0; i < n; ++i)
        if (table[i].id == id)
            return table[i].text;
    return "";
}

std::string as_string(const wiz_arg &a) {
    if (const std::string *s = std::get_if<std::string>(&a))
        return *s;
    return std::to_string(std::get<long long>(a));
}

std::string as_number(const wiz_arg &a) {
    if (const long long *n = std::get_if<long long>(&a))
        return std::to_string(*n);
    return std::to_string(std::strtoll(std::get<std::string>(a).c_str(), nullptr, 10));
}

std::string insert(const std::vector<wiz_arg> &args, size_t index, char conv) {
    if (index >= args.size())
        return std::string();
    return conv == 'd' || conv == 'u' ? as_number(args[index]) : as_string(args[index]);
}

}   // namespace

const char *wiz_string(int id) { return find(strings, sizeof strings / sizeof strings[0], id); }

const char *wiz_dialog_text(int id) {
    return find(dialog_texts, sizeof dialog_texts / sizeof dialog_texts[0], id);
}

std::string wiz_format_text(const std::string &text, const std::vector<wiz_arg> &args) {
    std::string out;
    size_t next = 0;   // the next argument of a plain "%s"
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '%' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        char d = text[i + 1];
        if (d == '%') {
            out += '%';
            ++i;
        } else if (d >= '1' && d <= '9') {
            // "%N" or "%N!x!": the Nth argument.
            size_t j = i + 1, n = 0;
            while (j < text.size() && text[j] >= '0' && text[j] <= '9')
                n = n * 10 + size_t(text[j++] - '0');
            char conv = 's';
            if (j < text.size() && text[j] == '!') {
                size_t close = text.find('!', j + 1);
                if (close != std::string::npos && close > j + 1) {
                    conv = text[close - 1];
                    j = close + 1;
                }
            }
            out += insert(args, n - 1, conv);
            i = j - 1;
        } else if (d == 's' || d == 'd' || d == 'u') {
            out += insert(args, next++, d);
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::string wiz_format(int id, const std::vector<wiz_arg> &args) {
    return wiz_format_text(wiz_string(id), args);
}

std::string wiz_product() { return tbs_product_name(); }

const std::string &wiz_title() {
    static const std::string title = wiz_format(IDS_WIZARD_TITLE, {wiz_product()});
    return title;
}

std::vector<int> wiz_string_ids() {
    std::map<int, int> sorted;
    for (const entry &e : strings)
        sorted[e.id] = 1;
    std::vector<int> ids;
    for (auto &kv : sorted)
        ids.push_back(kv.first);
    return ids;
}
