// The writer against a device that refuses every byte: each record reports the
// failure, and the exporter's assembly turns it into exit status 1.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "export/export_cmd.h"

namespace {

struct FullDevice {
    FILE *f = std::fopen("/dev/full", "wb");
    FullDevice() { std::setvbuf(f, nullptr, _IONBF, 0); }
    ~FullDevice() { std::fclose(f); }
};

TEST(ExportWriter, EveryRecordReportsAWriteFailure) {
    FullDevice dev;
    ASSERT_NE(dev.f, nullptr);
    export_globals g;
    g.export_from_dir = "/x";
    EXPECT_NE(write_globals(dev.f, g), 0);
    name_list empty;
    EXPECT_NE(write_types(dev.f, empty, empty, empty, empty), 0);
    EXPECT_NE(write_directory(dev.f, "."), 0);
    element_info info;
    info.name = "a";
    compose_event(std::nullopt, std::nullopt, std::nullopt, std::nullopt, 1);
    EXPECT_NE(write_element_header(dev.f, info), 0);
    export_version_info node;
    node.v.version_id = "1";
    EXPECT_NE(write_version(dev.f, node), 0);
    EXPECT_NE(write_element_end(dev.f), 0);
}

// A stream that takes every record but refuses the line that ends an element.
ssize_t refuse_element_end(void *, const char *buf, size_t size) {
    if (std::string_view(buf, size).find("ELEMENT_END") != std::string_view::npos) {
        errno = ENOSPC;
        return -1;
    }
    return ssize_t(size);
}

// Element "a" made at 10, with one version "1" of the same time.
void one_version_element(export_element *e) {
    e->info.name = "a";
    e->info.created = 10;
    e->versions.emplace_back();
    e->versions.back().is_version = 1;
    e->versions.back().v.version_id = "1";
    e->versions.back().v.status = VERSION_WRITE;
    e->versions.back().v.event_time = e->versions.back().v.selected_time = 10;
}

// Without its end line the record would not parse: the element fails and the
// caller cuts it back off the element file.
TEST(ExportWriter, AFailedElementEndFailsTheElement) {
    cookie_io_functions_t io{nullptr, refuse_element_end, nullptr, nullptr};
    FILE *f = fopencookie(nullptr, "w", io);
    ASSERT_NE(f, nullptr);
    std::setvbuf(f, nullptr, _IONBF, 0);
    export_element e;
    one_version_element(&e);
    EXPECT_EQ(write_selected_versions(e, f, export_selection()), CM_FAILED);
    std::fclose(f);
}

// An element whose record changed after -s (an attribute), with no version
// since, is still written, bare, so that the change arrives; one unchanged
// since then is not.
TEST(ExportWriter, AnElementChangedSinceIsWrittenWithoutVersions) {
    export_element e;
    one_version_element(&e);
    e.info.updated = 30;
    for (int64_t since : {20, 30}) {
        FILE *f = std::tmpfile();
        ASSERT_NE(f, nullptr);
        export_selection sel;
        sel.since = since;
        export_written w;
        EXPECT_EQ(write_selected_versions(e, f, sel, &w), 0);
        EXPECT_EQ(w.elements, since == 20 ? 1 : 0) << since;
        EXPECT_EQ(w.versions, 0) << since;
        EXPECT_EQ(std::ftell(f) > 0, since == 20) << since;
        std::fclose(f);
    }
}

TEST(ExportWriter, StringsOfAnyBytesAreLengthPrefixed) {
    char *buf = nullptr;
    size_t len = 0;
    FILE *f = open_memstream(&buf, &len);
    std::string odd("a\0b\nc", 5);
    EXPECT_EQ(write_directory(f, odd), 0);
    EXPECT_EQ(write_directory(f, ""), 0);
    std::fclose(f);
    const char expected[] = "DIR_BEGIN\nDirName 5:a\0b\nc\nDIR_END\nDIR_BEGIN\nDirName 0:\nDIR_END\n";
    EXPECT_EQ(std::string(buf, len), std::string(expected, sizeof expected - 1));
    std::free(buf);
}

}   // namespace
