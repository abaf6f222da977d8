// SHA-256 digests in lower-case hex, the names the VOB store gives contents.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// An incremental digest. update() may be called any number of times, then
// final_hex() once; ok() is false if the digest could not be set up (memory),
// and final_hex() then gives "".
class digest_sha256 {
public:
    digest_sha256();
    ~digest_sha256();
    digest_sha256(const digest_sha256 &) = delete;
    digest_sha256 &operator=(const digest_sha256 &) = delete;
    bool ok() const { return ctx_ != nullptr; }
    void update(const void *data, size_t size);
    std::string final_hex();

private:
    void *ctx_ = nullptr;
};

// The digest of bytes; 0, or nonzero when it cannot be computed.
[[nodiscard]] int digest_sha256_hex(std::string_view bytes, std::string *hex);
// The digest and size of a file's contents; 0, or an errno value.
[[nodiscard]] int digest_sha256_file(const std::string &path, std::string *hex, int64_t *size);
