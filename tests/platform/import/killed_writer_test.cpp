// What a writer killed inside a transaction leaves in the content pool (blobs
// in pool/tmp, blobs moved to pool/trash before a COMMIT that never came) is
// put right by the next open of the VOB that can take the write lock.
#include "platform/store/vob_blob.h"
#include "tests/platform/import/import_fixture.h"

#include <dirent.h>
#include <sys/stat.h>

namespace {

std::vector<std::string> names_in(const std::string &dir) {
    std::vector<std::string> out;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                out.push_back(e->d_name);
        closedir(d);
    }
    return out;
}

TEST_F(ImportFixture, OpenClearsWhatAKilledWriterLeftInThePool) {
    testutil::write_file(src + "/a", "first");
    // Incompressible and larger than the database keeps: a file of the pool.
    std::string second;
    uint64_t x = 88172645463325252ull;
    while (second.size() < VOB_INLINE_MAX + 1000) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        second += char(x & 0xff);
    }
    testutil::write_file(src + "/b", second);
    datafile_builder b = data_head(src);
    b.marker("ELEMENT_BEGIN").str("Name", "f").event("ann", 10);
    b.marker("VERSION_BEGIN")
        .str("VersionId", "1")
        .event("ann", 11)
        .str("ExtractFile", "a")
        .marker("VERSION_END");
    b.marker("VERSION_BEGIN")
        .str("VersionId", "2")
        .event("ann", 12)
        .str("ExtractFile", "b")
        .marker("VERSION_END");
    b.marker("ELEMENT_END");
    ASSERT_EQ(run_import(b.text), 0) << err_text;
    std::string pool = vob_dir + "/pool", pname, err;
    vob_ver_info vi;
    ASSERT_EQ(vob_ver_get(vob, ver("f@@/main/2"), &vi), 0);
    std::string sha = vi.sha256;
    pname = pool + "/" + sha.substr(0, 2) + "/" + sha;
    ASSERT_TRUE(testutil::exists(pname));

    // A removal of /main/2's data killed before its COMMIT: the blob sits in
    // trash/ while the version still names it. One killed after its COMMIT:
    // an unnamed blob in trash/. A blob written for a version never committed.
    mkdir((pool + "/trash").c_str(), 0755);
    ASSERT_EQ(rename(pname.c_str(), (pool + "/trash/" + sha).c_str()), 0);
    std::string gone(64, 'e');
    testutil::write_file(pool + "/trash/" + gone, "old");
    mkdir((pool + "/tmp").c_str(), 0755);
    testutil::write_file(pool + "/tmp/99999.1", "never committed");

    // Not while another writer holds the lock: its own blobs may be there.
    {
        vob_txn busy(vob);
        ASSERT_EQ(busy.begin(), 0);
        vob_t *other = nullptr;
        ASSERT_EQ(vob_open(vob_dir, &other, &err), 0) << err;
        vob_close(other);
        EXPECT_EQ(names_in(pool + "/tmp").size(), 1u);
        EXPECT_EQ(names_in(pool + "/trash").size(), 2u);
        busy.rollback();
    }
    vob_t *other = nullptr;
    ASSERT_EQ(vob_open(vob_dir, &other, &err), 0) << err;
    EXPECT_TRUE(names_in(pool + "/tmp").empty());
    EXPECT_TRUE(names_in(pool + "/trash").empty());
    std::string bytes;
    ASSERT_EQ(vob_ver_read_data(other, ver("f@@/main/2"), &bytes), 0) << vob_errmsg(other);
    EXPECT_TRUE(bytes == second);
    vob_close(other);
    // And the import goes on over it.
    EXPECT_EQ(run_import(b.text), 0) << err_text;
    EXPECT_EQ(contents("f@@/main/1"), "first");
}

}   // namespace
