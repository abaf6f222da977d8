// Captures what imsg writes to its two streams during one test.
#pragma once

#include <cstdio>
#include <string>

#include "runtime/imsg.h"

class ImsgCapture {
public:
    ImsgCapture() : out_(std::tmpfile()), err_(std::tmpfile()) { imsg_set_streams(out_, err_); }
    ~ImsgCapture() {
        imsg_set_streams(nullptr, nullptr);
        std::fclose(out_);
        std::fclose(err_);
    }
    std::string out() { return read(out_); }
    std::string err() { return read(err_); }

private:
    static std::string read(FILE *f) {
        std::fflush(f);
        long end = std::ftell(f);
        std::string s(size_t(end > 0 ? end : 0), '\0');
        std::rewind(f);
        size_t n = std::fread(s.data(), 1, s.size(), f);
        s.resize(n);
        std::fseek(f, 0, SEEK_END);
        return s;
    }
    FILE *out_;
    FILE *err_;
};
