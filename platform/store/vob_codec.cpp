// zstd frames of version contents: whole, or made against the full bytes of
// an earlier version as their prefix (a delta), always with a checksum.
#include "platform/store/vob_blob.h"

#include <zstd.h>

// Level 1: deltas are long matches whatever the level, and a whole text at 1
// is within a tenth of level 3's size at twice its speed.
enum { CODEC_LEVEL = 1, CODEC_WINDOW_LOG_MAX = 27 };

struct vob_codec {
    ZSTD_CCtx *c = nullptr;
    ZSTD_DCtx *d = nullptr;
};

vob_codec *vob_codec_new() { return new vob_codec; }

void vob_codec_free(vob_codec *c) {
    if (!c)
        return;
    ZSTD_freeCCtx(c->c);
    ZSTD_freeDCtx(c->d);
    delete c;
}

// The window a frame needs: its prefix and its own bytes.
static int window_log(size_t n) {
    int log = 10;   // zstd's smallest window
    while (log < CODEC_WINDOW_LOG_MAX && (size_t(1) << log) < n)
        log++;
    return log;
}

bool vob_codec_encode(vob_codec *c, std::string_view src, std::string_view prefix, std::string *out) {
    if (!c->c && !(c->c = ZSTD_createCCtx()))
        return false;
    ZSTD_CCtx *z = c->c;
    ZSTD_CCtx_reset(z, ZSTD_reset_session_and_parameters);
    if (ZSTD_isError(ZSTD_CCtx_setParameter(z, ZSTD_c_compressionLevel, CODEC_LEVEL)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(z, ZSTD_c_checksumFlag, 1)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(z, ZSTD_c_windowLog, window_log(src.size() + prefix.size()))))
        return false;
    if (!prefix.empty() && ZSTD_isError(ZSTD_CCtx_refPrefix(z, prefix.data(), prefix.size())))
        return false;
    out->resize(ZSTD_compressBound(src.size()));
    size_t n = ZSTD_compress2(z, out->data(), out->size(), src.data(), src.size());
    if (ZSTD_isError(n))
        return false;
    out->resize(n);
    return true;
}

bool vob_codec_decode(vob_codec *c, std::string_view frame, std::string_view prefix, int64_t size,
                      std::string *out, std::string *why) {
    if (!c->d && !(c->d = ZSTD_createDCtx())) {
        *why = "out of memory";
        return false;
    }
    ZSTD_DCtx *z = c->d;
    ZSTD_DCtx_reset(z, ZSTD_reset_session_and_parameters);
    unsigned long long said = ZSTD_getFrameContentSize(frame.data(), frame.size());
    if (said == ZSTD_CONTENTSIZE_ERROR || said != (unsigned long long)size) {
        *why = said == ZSTD_CONTENTSIZE_ERROR ? "its stored form is not a compressed frame"
                                              : "its stored form does not give the version's size";
        return false;
    }
    if (ZSTD_isError(ZSTD_DCtx_setParameter(z, ZSTD_d_windowLogMax, CODEC_WINDOW_LOG_MAX)) ||
        (!prefix.empty() && ZSTD_isError(ZSTD_DCtx_refPrefix(z, prefix.data(), prefix.size())))) {
        *why = "out of memory";
        return false;
    }
    out->resize(size_t(size));
    size_t n = ZSTD_decompressDCtx(z, out->data(), out->size(), frame.data(), frame.size());
    if (ZSTD_isError(n) || n != size_t(size)) {
        *why = ZSTD_isError(n) ? std::string("its stored form does not decode: ") + ZSTD_getErrorName(n)
                               : "its stored form gives fewer bytes than the version has";
        out->clear();
        return false;
    }
    return true;
}
