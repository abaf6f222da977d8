// The data-file writer: one line per key, values as the format defines them.
#include "export/export_cmd.h"

#include <charconv>
#include <cinttypes>

#include "export/export_msgs.h"

namespace {

std::string event_lines;   // composed just before the record that uses them
uint64_t bytes_written = 0;

const imsg_catalog *cat() { return export_cmd_export_msg_table_adr(); }

int failed() {
    IMSG_PRINT(IMSG_WARNING, cat(), CMD_WRITE_FAILED);
    return 1;
}

int put_raw(FILE *f, const std::string &bytes) {
    if (bytes.empty())
        return 0;
    size_t n = std::fwrite(bytes.data(), 1, bytes.size(), f);
    bytes_written += n;
    return n == bytes.size() && !std::ferror(f) ? 0 : failed();
}

void append_number(std::string &out, long long value) {
    char digits[24];
    auto res = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, res.ptr);
}

void append_string(std::string &out, const char *key, const std::string &value) {
    out += key;
    out += ' ';
    append_number(out, (long long)value.size());
    out += ':';
    out += value;
    out += '\n';
}

void append_int(std::string &out, const char *key, long long value) {
    out += key;
    out += ' ';
    append_number(out, value);
    out += '\n';
}

void append_marker(std::string &out, const char *marker) {
    out += marker;
    out += '\n';
}

bool present(const opt_str &s) { return s && !s->empty(); }

// The text after the last separator: SubBranch carries only the branch's own name.
std::string last_component(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void append_list_reversed(std::string &out, const char *key, const str_list &list) {
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        append_string(out, key, *it);
}

void append_type_group(std::string &out, const name_list &list, const char *begin, const char *key,
                       const char *end) {
    for (const std::string &name : list.names) {
        if (name.empty())
            continue;
        append_marker(out, begin);
        append_string(out, key, name);
        append_marker(out, end);
    }
}

}   // namespace

uint64_t export_cmd_bytes_written() { return bytes_written; }

int write_globals(FILE *f, const export_globals &g) {
    std::string out;
    append_int(out, "EXPORT_FORMAT", 5);
    append_marker(out, "GLOBALS_BEGIN");
    append_string(out, "ExportFromDir", g.export_from_dir);
    append_int(out, "NumElements", g.num_elements);
    append_int(out, "NumVersions", g.num_versions);
    append_int(out, "ExporterKind", g.kind);
    bool onto = g.onto_branch && *g.onto_branch;
    if (onto)
        append_string(out, "OntoBranch", g.onto_branch);
    if (onto && g.onto_brvid && *g.onto_brvid)
        append_string(out, "OntoBrvid", g.onto_brvid);
    if (g.label_all)
        append_string(out, "LabelAll", g.label_all);
    if (!g.need_cmd.empty())
        append_string(out, "NeedCmd", g.need_cmd);
    append_marker(out, "GLOBALS_END");
    return put_raw(f, out);
}

int write_types(FILE *f, const name_list &attr_types, const name_list &label_types,
                const name_list &branch_types, const name_list &element_types) {
    std::string out;
    append_marker(out, "TYPES_BEGIN");
    append_type_group(out, attr_types, "ATTYPE_BEGIN", "AttrType", "ATTYPE_END");
    append_type_group(out, label_types, "LBTYPE_BEGIN", "LbType", "LBTYPE_END");
    append_type_group(out, branch_types, "BRTYPE_BEGIN", "BrType", "BRTYPE_END");
    append_type_group(out, element_types, "ELTYPE_BEGIN", "ElType", "ELTYPE_END");
    append_marker(out, "TYPES_END");
    return put_raw(f, out);
}

int write_directory(FILE *f, const std::string &name) {
    std::string out;
    append_marker(out, "DIR_BEGIN");
    append_string(out, "DirName", name);
    append_marker(out, "DIR_END");
    return put_raw(f, out);
}

void compose_event(const opt_str &user, const opt_str &group, const opt_str &event_name, const opt_str &host,
                   int64_t time) {
    event_lines.clear();   // keeps its capacity from record to record
    if (present(user))
        append_string(event_lines, "EventUser", *user);
    if (present(group))
        append_string(event_lines, "EventGroup", *group);
    if (present(event_name))
        append_string(event_lines, "EventName", *event_name);
    if (present(host))
        append_string(event_lines, "EventHost", *host);
    append_int(event_lines, "EventTime", (long long)time);
}

int write_element_header(FILE *f, const element_info &info) {
    std::string out;
    out.reserve(512);
    append_marker(out, "ELEMENT_BEGIN");
    append_string(out, "Name", info.name);
    if (info.type_name)
        append_string(out, "ElType", *info.type_name);
    if (info.mode != 0)
        append_int(out, "Mode", info.mode);
    out += event_lines;
    if (info.comment)
        append_string(out, "Comment", *info.comment);
    if (info.state == ELEMENT_STATE_OBSOLETE)
        append_marker(out, "Obsolete TRUE");
    for (const std::string &b : info.obsolete_branches)
        append_string(out, "BranchObs", b);
    for (const std::string &a : info.attributes)
        append_string(out, "Attrib", a);
    for (const std::string &n : info.alt_names)
        append_string(out, "AltName", n);
    return put_raw(f, out);
}

int write_version(FILE *f, const export_version_info &node) {
    const cm_version_info &v = node.v;
    std::string out;
    out.reserve(512);
    append_marker(out, "VERSION_BEGIN");
    append_string(out, "VersionId", v.version_id);
    if (v.status == VERSION_ABSOLUTE || v.status == VERSION_ABS_IMPORTANT)
        append_marker(out, "AbsVersion TRUE");
    out += event_lines;
    if (present(v.branch))
        append_string(out, "OnBranch", *v.branch);
    if (!v.no_contents) {
        if (node.extract_file)
            append_string(out, "ExtractFile", *node.extract_file);
        else if (node.extract_cmd)
            append_string(out, "ExtractCmd", *node.extract_cmd);
    }
    for (const std::string &s : v.subbranches)
        append_string(out, "SubBranch", last_component(s));
    append_list_reversed(out, "Attrib", v.attributes);
    append_list_reversed(out, "Label", v.labels);
    append_list_reversed(out, "Merge", v.merges);
    append_list_reversed(out, "FMerge", v.fmerges);
    if (v.comment)
        append_string(out, "Comment", *v.comment);
    append_marker(out, "VERSION_END");
    return put_raw(f, out);
}

int write_element_end(FILE *f) { return put_raw(f, "ELEMENT_END\n"); }
