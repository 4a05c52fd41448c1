#include "data/saf.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

// Names in the directory may carry runs of "/"; the readers see them collapsed.
static std::string collapse_slashes(const char* text, size_t n) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; i++) {
        if (text[i] == '/' && !out.empty() && out.back() == '/') continue;
        out += text[i];
    }
    return out;
}

// Reads one directory line (line feed included) into line; returns its length, or 0 when no
// line feed arrives within SAF_MAX_LINE bytes or before the end of the file.
static int saf_read_line(FILE* f, char* line) {
    int n = 0;
    while (n < SAF_MAX_LINE) {
        int c = getc(f);
        if (c == EOF) return 0;
        line[n++] = (char)c;
        if (c == '\n') return n;
    }
    return 0;
}

int saf_read_directory(FILE* f, std::vector<SafMember>* members) {
    members->clear();
    char line[SAF_MAX_LINE + 1];
    long long directory_size = 0;
    std::vector<SafMember> found;
    for (;;) {
        int n = saf_read_line(f, line);
        if (n == 0) return 0;
        directory_size += n;
        if (n == 2 && line[0] == '-') break;
        // A NUL would hide the rest of the line from the number and name parsing.
        if (memchr(line, 0, (size_t)n)) return 0;
        line[n] = 0;
        char* end = nullptr;
        errno = 0;
        long size = strtol(line, &end, 10);
        if (end == line) return 0;
        // Sizes must fit the offsets the readers keep; a negative one would make the following
        // members overlap the directory or each other.
        if (errno == ERANGE || size < 0 || size > INT_MAX) return 0;
        SafMember m;
        m.size = (int)size;
        m.offset = 0;
        // One separator byte after the number; when that byte is the line feed there is no name.
        const char* name = *end == '\n' ? end : end + 1;
        m.name = collapse_slashes(name, (size_t)(line + n - 1 - name));
        found.push_back(std::move(m));
    }
    long long offset = directory_size;
    for (SafMember& m : found) {
        if (offset + m.size > INT_MAX) return 0;
        m.offset = (int)offset;
        offset += m.size;
    }
    *members = std::move(found);
    return 1;
}

int saf_name_ok(const std::string& name, std::string* why) {
    const char* reason = nullptr;
    if (name.empty())
        reason = "empty member name";
    else if (name.find('\n') != std::string::npos)
        reason = "member name contains a line feed";
    else if (name.find('\0') != std::string::npos)
        reason = "member name contains a NUL byte";
    else if (name.find("//") != std::string::npos)
        reason = "member name contains \"//\"";
    if (reason && why) *why = reason;
    return reason == nullptr;
}

static int saf_fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return 0;
}

// Copies exactly size bytes of a file into out; 0 when the file is short, long or unreadable.
static int saf_copy_file(FILE* out, const std::string& file, long long size, std::string* error) {
    FILE* in = fopen(file.c_str(), "rb");
    if (!in) return saf_fail(error, file + ": " + strerror(errno));
    char buffer[65536];
    long long copied = 0;
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, in)) > 0) {
        copied += (long long)got;
        if (copied > size) break;
        if (fwrite(buffer, 1, got, out) != got) {
            fclose(in);
            return saf_fail(error, "write failed: " + std::string(strerror(errno)));
        }
    }
    int read_error = ferror(in);
    fclose(in);
    if (read_error) return saf_fail(error, file + ": read error");
    if (copied != size) return saf_fail(error, file + ": changed size while being stored");
    return 1;
}

int saf_write(const char* path, const std::vector<SafInput>& inputs, std::string* error) {
    // The directory goes first, so every size must be known before any data is written.
    std::string directory;
    std::vector<long long> sizes;
    long long total = 0;
    for (const SafInput& in : inputs) {
        std::string why;
        if (!saf_name_ok(in.name, &why)) return saf_fail(error, why + ": \"" + in.name + "\"");
        long long size = (long long)in.bytes.size();
        if (!in.file.empty()) {
            struct stat st;
            if (stat(in.file.c_str(), &st) != 0)
                return saf_fail(error, in.file + ": " + strerror(errno));
            if (!S_ISREG(st.st_mode)) return saf_fail(error, in.file + ": not a regular file");
            size = (long long)st.st_size;
        }
        std::string line = std::to_string(size) + " " + in.name + "\n";
        if ((int)line.size() > SAF_MAX_LINE)
            return saf_fail(error, "member name too long: \"" + in.name + "\"");
        directory += line;
        sizes.push_back(size);
        total += size;
    }
    directory += "-\n";
    if ((long long)directory.size() + total > INT_MAX)
        return saf_fail(error, "archive would exceed 2147483647 bytes");

    std::string temp = std::string(path) + ".part";
    FILE* out = fopen(temp.c_str(), "wb");
    if (!out) return saf_fail(error, temp + ": " + strerror(errno));
    int ok = fwrite(directory.data(), 1, directory.size(), out) == directory.size();
    if (!ok) saf_fail(error, "write failed: " + std::string(strerror(errno)));
    for (size_t i = 0; ok && i < inputs.size(); i++) {
        const SafInput& in = inputs[i];
        if (!in.file.empty()) {
            ok = saf_copy_file(out, in.file, sizes[i], error);
        } else if (!in.bytes.empty() &&
                   fwrite(in.bytes.data(), 1, in.bytes.size(), out) != in.bytes.size()) {
            ok = saf_fail(error, "write failed: " + std::string(strerror(errno)));
        }
    }
    if (fclose(out) != 0 && ok)
        ok = saf_fail(error, "write failed: " + std::string(strerror(errno)));
    if (ok && rename(temp.c_str(), path) != 0)
        ok = saf_fail(error, std::string(path) + ": " + strerror(errno));
    if (!ok) unlink(temp.c_str());
    return ok;
}
