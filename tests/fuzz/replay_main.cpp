// Plain-program driver of a fuzz target: feeds every file of the directories
// (or the files) given as arguments to LLVMFuzzerTestOneInput, so that the
// corpus replays under any compiler and sanitizer set as an ordinary test.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

int replay(const std::filesystem::path &p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", p.c_str());
        return 1;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A copy of exactly the input's size, so that reads past the end are caught;
    // never a null pointer, as libFuzzer gives none even for an empty input.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    LLVMFuzzerTestOneInput(exact.get(), bytes.size());
    return 0;
}

}   // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS-DIR-OR-FILE...\n", argv[0]);
        return 2;
    }
    int failed = 0;
    size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path arg(argv[i]);
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(arg)) {
            for (const auto &ent : std::filesystem::directory_iterator(arg))
                if (ent.is_regular_file())
                    files.push_back(ent.path());
        } else {
            files.push_back(arg);
        }
        std::sort(files.begin(), files.end());
        for (const auto &f : files) {
            failed |= replay(f);
            ++count;
        }
    }
    std::printf("replayed %zu inputs\n", count);
    if (count == 0) {
        std::fprintf(stderr, "replay: no inputs\n");
        return 1;
    }
    return failed;
}
