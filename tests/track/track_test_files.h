// Byte-by-byte writers of the track folder files for the terrain and surface tests, and log
// reading. Every file is built from the formats' descriptions, not with the code under test.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/log.h"
#include "support/test_env.h"

namespace trackfiles {

inline std::string le16(const std::vector<uint16_t>& v) {
    std::string s;
    for (uint16_t x : v) s += (char)(x & 255), s += (char)(x >> 8);
    return s;
}

// "terrain.hf" with inline binary samples.
inline std::string hf_binary(int shift, const char* spacing, const char* lo, const char* hi,
                             const std::vector<uint16_t>& samples) {
    return std::to_string(shift) + " " + spacing + " " + lo + " " + hi + "\n:" + le16(samples);
}

inline std::string ppm(int w, int h, const std::vector<uint8_t>& rgb) {
    std::string s = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    s.append(rgb.begin(), rgb.end());
    return s;
}

inline std::string pgm(int w, int h, const std::vector<uint8_t>& grey) {
    std::string s = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    s.append(grey.begin(), grey.end());
    return s;
}

inline std::string be32(uint32_t v) {
    std::string s;
    for (int k = 3; k >= 0; k--) s += (char)((v >> (8 * k)) & 255);
    return s;
}

inline std::string png_chunk(const char* type, const std::string& data) {
    std::string body = std::string(type, 4) + data;
    uint32_t crc = (uint32_t)crc32(0, (const Bytef*)body.data(), (uInt)body.size());
    return be32((uint32_t)data.size()) + body + be32(crc);
}

// A 16-bit grey PNG: signature, IHDR, one zlib IDAT of unfiltered rows (big-endian samples).
inline std::string png_grey16(int w, int h, const std::vector<uint16_t>& samples) {
    std::string raw;
    for (int y = 0; y < h; y++) {
        raw += '\0';
        for (int x = 0; x < w; x++) {
            uint16_t v = samples[(size_t)y * w + x];
            raw += (char)(v >> 8), raw += (char)(v & 255);
        }
    }
    uLongf n = compressBound((uLong)raw.size());
    std::string z(n, '\0');
    compress((Bytef*)z.data(), &n, (const Bytef*)raw.data(), (uLong)raw.size());
    z.resize(n);
    std::string ihdr = be32(w) + be32(h) + std::string("\x10\x00\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + png_chunk("IHDR", ihdr) + png_chunk("IDAT", z) +
           png_chunk("IEND", "");
}

inline std::string log_path() {
    return test_dir() + "/test-log.txt";
}
inline void log_start() {
    log_setup(("DRUV_LOGFILE=" + log_path()).c_str());
}

// The log's lines without their time stamps.
inline std::vector<std::string> log_lines() {
    std::vector<std::string> out;
    for (const std::string& line : split_lines(read_file(log_path()))) {
        size_t end = line.find("] ");
        out.push_back(end == std::string::npos ? line : line.substr(end + 2));
    }
    return out;
}

inline bool log_has(const std::string& text) {
    for (const std::string& l : log_lines())
        if (l == text) return true;
    return false;
}

inline int log_count(const std::string& text) {
    int n = 0;
    for (const std::string& l : log_lines()) n += l == text;
    return n;
}

} // namespace trackfiles
