// The data-file writer.
//
// Every function takes the output file first and returns 0, or nonzero after a
// write failure (the warning "Could not output string to output file" is then
// already printed and whatever was written stays). String values are written
// length-prefixed ("Key <bytes>:<value>\n") straight from the caller's string,
// so any byte, line feeds included, passes unchanged and no value ever needs a
// formatting buffer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "export/export_elem.h"

struct export_globals {
    std::string export_from_dir;
    long num_elements = 0;
    long num_versions = 0;
    int kind = 0;
    const char *onto_branch = nullptr;   // -b, or null
    const char *onto_brvid = nullptr;    // -v, or null
    const char *label_all = nullptr;     // -l, or null
    std::string need_cmd;
};

[[nodiscard]] int write_globals(FILE *f, const export_globals &g);
[[nodiscard]] int write_types(FILE *f, const name_list &attr_types, const name_list &label_types,
                              const name_list &branch_types, const name_list &element_types);
[[nodiscard]] int write_directory(FILE *f, const std::string &name);
// Builds the event lines of the next record in a process-wide buffer.
void compose_event(const opt_str &user, const opt_str &group, const opt_str &event_name, const opt_str &host,
                   int64_t time);
[[nodiscard]] int write_element_header(FILE *f, const element_info &info);
[[nodiscard]] int write_version(FILE *f, const export_version_info &node);
[[nodiscard]] int write_element_end(FILE *f);
// Bytes handed to the files so far, all files together: the main keeps the
// element file's length from it without asking the file (which costs a seek).
uint64_t export_cmd_bytes_written();
