// SHA-256 through OpenSSL's EVP interface.
#include "runtime/digest.h"
#include "runtime/fileutl.h"

#include <openssl/evp.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

digest_sha256::digest_sha256() {
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    if (ctx && EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(ctx);
        ctx = nullptr;
    }
    ctx_ = ctx;
}

digest_sha256::~digest_sha256() { EVP_MD_CTX_free(static_cast<EVP_MD_CTX *>(ctx_)); }

void digest_sha256::update(const void *data, size_t size) {
    if (ctx_ && size && EVP_DigestUpdate(static_cast<EVP_MD_CTX *>(ctx_), data, size) != 1) {
        EVP_MD_CTX_free(static_cast<EVP_MD_CTX *>(ctx_));
        ctx_ = nullptr;
    }
}

std::string digest_sha256::final_hex() {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    if (!ctx_ || EVP_DigestFinal_ex(static_cast<EVP_MD_CTX *>(ctx_), md, &len) != 1)
        return "";
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * len);
    for (unsigned i = 0; i < len; ++i) {
        hex += digits[md[i] >> 4];
        hex += digits[md[i] & 15];
    }
    return hex;
}

int digest_sha256_hex(std::string_view bytes, std::string *hex) {
    digest_sha256 d;
    d.update(bytes.data(), bytes.size());
    std::string h = d.final_hex();
    if (h.empty())
        return 1;
    *hex = std::move(h);
    return 0;
}

int digest_sha256_file(const std::string &path, std::string *hex, int64_t *size) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    digest_sha256 d;
    int64_t total = 0;
    int err = fileutl_read_chunks(fd, [&](const char *data, size_t n) {
        d.update(data, n);
        total += int64_t(n);
        return 0;
    });
    close(fd);
    if (err)
        return err;
    std::string h = d.final_hex();
    if (h.empty())
        return ENOMEM;
    *hex = std::move(h);
    if (size)
        *size = total;
    return 0;
}
