// Helpers for the data access tests: gzip streams built byte by byte around zlib's raw
// deflate, archives built line by line from the format, and whole-stream reads.
#pragma once

#include <string>
#include <utility>
#include <vector>
#include <zlib.h>

#include "data/datafile.h"

// Raw deflate data (no zlib or gzip wrapper) of the given bytes.
inline std::string deflate_raw(const std::string& data, int level = 6) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, (uLong)data.size()) + 16, '\0');
    z.next_in = (Bytef*)data.data();
    z.avail_in = (uInt)data.size();
    z.next_out = (Bytef*)out.data();
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

inline void put_le32(std::string* s, unsigned long v) {
    for (int i = 0; i < 4; i++) *s += (char)((v >> (8 * i)) & 255);
}

// The optional parts of a gzip header.
struct GzipParts {
    std::string extra;       // flag 4 when not empty
    std::string name;        // flag 8 when not empty
    std::string comment;     // flag 16 when not empty
    bool header_crc = false; // flag 2
    int level = 6;
};

// A complete gzip stream: 31 139 8 flags, time (4), extra flags, OS, the optional fields, raw
// deflate data, CRC-32 and length.
inline std::string gzip_bytes(const std::string& data, const GzipParts& parts = GzipParts()) {
    int flags = (parts.extra.empty() ? 0 : 4) | (parts.name.empty() ? 0 : 8) |
                (parts.comment.empty() ? 0 : 16) | (parts.header_crc ? 2 : 0);
    std::string g = {'\x1f', '\x8b', '\x08', (char)flags};
    put_le32(&g, 0x5e0b1d2c); // any time
    g += '\0';                // extra flags
    g += '\x03';              // Unix
    if (!parts.extra.empty()) {
        g += (char)(parts.extra.size() & 255);
        g += (char)(parts.extra.size() >> 8);
        g += parts.extra;
    }
    if (!parts.name.empty()) g += parts.name + '\0';
    if (!parts.comment.empty()) g += parts.comment + '\0';
    if (parts.header_crc) {
        unsigned long crc = crc32(0, (const Bytef*)g.data(), (uInt)g.size());
        g += (char)(crc & 255);
        g += (char)((crc >> 8) & 255);
    }
    g += deflate_raw(data, parts.level);
    put_le32(&g, crc32(0, (const Bytef*)data.data(), (uInt)data.size()));
    put_le32(&g, (unsigned long)data.size());
    return g;
}

// An archive: one "<size> <name>\n" line per member, "-\n", then the data back to back.
inline std::string saf_bytes(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string dir, data;
    for (const auto& m : members) {
        dir += std::to_string(m.second.size()) + " " + m.first + "\n";
        data += m.second;
    }
    return dir + "-\n" + data;
}

// Text that compresses only moderately, so its deflate data spans several 16 KB blocks.
inline std::string noisy_text(size_t n, unsigned seed = 1) {
    std::string s;
    s.reserve(n);
    unsigned x = seed;
    while (s.size() < n) {
        x = x * 1103515245u + 12345u;
        unsigned r = (x >> 16) & 0x7fff;
        s += (r % 13 == 0) ? '\n' : (char)('!' + r % 90);
    }
    return s;
}

// Every byte data_getc delivers until the end.
inline std::string read_all_getc(DataFile* f) {
    std::string s;
    for (int c; (c = data_getc(f)) >= 0;) s += (char)c;
    return s;
}

// Opens a data name or path for reading and reads it whole; "<none>" when it does not open.
inline std::string read_data(const std::string& name) {
    DataFile* f = data_open(name.c_str(), "rb");
    if (!f) return "<none>";
    std::string s = read_all_getc(f);
    data_close(f);
    return s;
}

// The name list as a vector, without the terminating null.
inline std::vector<std::string> name_list() {
    std::vector<std::string> v;
    for (const char* const* p = data_names(); *p; p++) v.push_back(*p);
    return v;
}
