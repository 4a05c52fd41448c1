// Helpers for the game-data tests: run the generator into the test's folder and pick its files
// apart by their formats (PNG and PPM headers, PNG pixels, track text files).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <png.h>

#include "support/test_env.h"

// The generator program of this build.
inline std::string gen_program() {
    return std::string(VORNIX_BUILD_DIR) + "/tools/vornix-gen/vornix-gen";
}

// Writes the given parts (empty: everything) into <test folder>/<sub>/ with a summary file;
// returns the folder with a trailing "/", or "" when the generator failed.
inline std::string generate(const std::vector<std::string>& parts,
                            const std::string& sub = "data") {
    std::string out = test_dir() + "/" + sub + "/";
    std::string cmd = gen_program() + " '" + out + "' --summary '" + out + "summary.txt'";
    for (const std::string& p : parts) cmd += " --only " + p;
    RunResult r = run_command(cmd);
    if (r.status != 0) {
        ADD_FAILURE() << "vornix-gen failed: " << r.err;
        return "";
    }
    return out;
}

// "key value..." lines of the summary for one track: the value text of a key.
inline std::string summary_value(const std::string& folder, const std::string& track,
                                 const std::string& key) {
    std::vector<std::string> lines = split_lines(read_file(folder + "summary.txt"));
    bool in = false;
    for (const std::string& l : lines) {
        if (l.rfind("track ", 0) == 0)
            in = l.substr(6) == track;
        else if (in && l.rfind(key + " ", 0) == 0)
            return l.substr(key.size() + 1);
    }
    return "";
}
inline double summary_number(const std::string& folder, const std::string& track,
                             const std::string& key) {
    std::string v = summary_value(folder, track, key);
    EXPECT_FALSE(v.empty()) << key;
    return atof(v.c_str());
}

inline uint32_t be32(const std::string& s, size_t at) {
    return ((uint32_t)(uint8_t)s[at] << 24) | ((uint32_t)(uint8_t)s[at + 1] << 16) |
           ((uint32_t)(uint8_t)s[at + 2] << 8) | (uint32_t)(uint8_t)s[at + 3];
}

// The PNG signature and the IHDR chunk, which must come first.
struct PngHeader {
    bool ok = false;
    uint32_t width = 0, height = 0;
    int depth = 0, colour_type = -1;
};
inline PngHeader png_header(const std::string& path) {
    PngHeader h;
    std::string b = read_file(path);
    static const char sig[8] = {(char)137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
    if (b.size() < 33 || memcmp(b.data(), sig, 8) != 0 || be32(b, 8) != 13 ||
        b.compare(12, 4, "IHDR") != 0)
        return h;
    h.ok = true;
    h.width = be32(b, 16);
    h.height = be32(b, 20);
    h.depth = (uint8_t)b[24];
    h.colour_type = (uint8_t)b[25];
    return h;
}

// Decoded RGBA pixels through libpng's simplified reader.
inline bool png_rgba(const std::string& path, int* w, int* h, std::vector<uint8_t>* px) {
    png_image img;
    memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
    img.format = PNG_FORMAT_RGBA;
    px->resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, px->data(), 0, nullptr)) return false;
    *w = (int)img.width;
    *h = (int)img.height;
    return true;
}

// A binary PPM or PGM with the generator's header layout "P6\n<w> <h>\n255\n".
struct Netpbm {
    bool ok = false;
    int width = 0, height = 0;
    std::string pixels;
};
inline Netpbm netpbm_read(const std::string& path, const char* magic) {
    Netpbm p;
    std::string b = read_file(path);
    int w = 0, h = 0, max = 0, used = 0;
    std::string fmt = std::string(magic) + "\n%d %d\n%d%n";
    if (sscanf(b.c_str(), fmt.c_str(), &w, &h, &max, &used) != 3 || max != 255) return p;
    if ((size_t)used >= b.size() || b[(size_t)used] != '\n') return p;
    p.ok = true;
    p.width = w;
    p.height = h;
    p.pixels = b.substr((size_t)used + 1);
    return p;
}

inline bool power_of_two(uint32_t v) {
    return v && (v & (v - 1)) == 0;
}

// Whitespace-separated tokens of a text, brackets kept as tokens of their own.
inline std::vector<std::string> tokens(const std::string& text) {
    std::string spaced;
    for (char c : text) {
        if (c == '[' || c == ']') {
            spaced += ' ';
            spaced += c;
            spaced += ' ';
        } else {
            spaced += c;
        }
    }
    std::istringstream in(spaced);
    std::vector<std::string> out;
    std::string t;
    while (in >> t) out.push_back(t);
    return out;
}

// A data name ("@a/b.png") as a path in the generated folder.
inline std::string data_path(const std::string& folder, const std::string& name) {
    return folder + (name[0] == '@' ? name.substr(1) : name);
}

// Heights of a "terrain.hf" whose samples follow ":" in binary.
struct HeightField {
    bool ok = false;
    int shift = 0, samples = 0;
    float spacing = 0, min = 0, max = 0;
    std::vector<uint16_t> raw;
    std::string raw_bytes;
    float height(int i, int j) const {
        return min + raw[(size_t)i + (size_t)samples * j] * (max - min) / 65535.0f;
    }
};
inline HeightField heightfield_read(const std::string& path) {
    HeightField hf;
    std::string b = read_file(path);
    int used = 0;
    if (sscanf(b.c_str(), "%d %f %f %f%n", &hf.shift, &hf.spacing, &hf.min, &hf.max, &used) != 4)
        return hf;
    size_t at = (size_t)used;
    while (at < b.size() && isspace((unsigned char)b[at])) at++;
    if (at >= b.size() || b[at] != ':') return hf;
    hf.samples = 2 * (1 << hf.shift) + 1;
    size_t count = (size_t)hf.samples * hf.samples;
    hf.raw_bytes = b.substr(at + 1);
    if (hf.raw_bytes.size() != count * 2) return hf;
    hf.raw.resize(count);
    for (size_t k = 0; k < count; k++)
        hf.raw[k] =
            (uint16_t)((uint8_t)hf.raw_bytes[2 * k] | ((uint8_t)hf.raw_bytes[2 * k + 1] << 8));
    hf.ok = true;
    return hf;
}
