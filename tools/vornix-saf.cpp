// vornix-saf: creates, lists and extracts ".saf" game-data archives.
//
//   vornix-saf c ARCHIVE [-C DIR] FILES|FOLDERS...   create (folders are walked recursively)
//   vornix-saf t ARCHIVE                             list members with their sizes
//   vornix-saf x ARCHIVE [-C DIR]                    extract into DIR (default: here)
//
// A folder's files are stored under their paths relative to that folder; a file is stored
// under the path given. With -C, the files and folders are looked up inside DIR (the archive's
// own path is not), so "-C data tracks" stores data/tracks/... as tracks/...
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "data/datafile.h"
#include "data/saf.h"

static const char* USAGE = "usage: vornix-saf c ARCHIVE [-C DIR] FILES|FOLDERS...\n"
                           "       vornix-saf t ARCHIVE\n"
                           "       vornix-saf x ARCHIVE [-C DIR]\n";

static int usage() {
    fputs(USAGE, stderr);
    return 2;
}

static void complain(const std::string& text) {
    fprintf(stderr, "vornix-saf: %s\n", text.c_str());
}

// Splits a member name into its "/"-separated parts.
static std::vector<std::string> name_parts(const std::string& name) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t slash = name.find('/', start);
        parts.push_back(name.substr(start, slash == std::string::npos ? slash : slash - start));
        if (slash == std::string::npos) return parts;
        start = slash + 1;
    }
}

// A name that stays inside the folder it is extracted to (or stored from): relative, with no
// ".." part.
static bool name_is_safe(const std::string& name) {
    if (name.empty() || name[0] == '/') return false;
    for (const std::string& part : name_parts(name))
        if (part == "..") return false;
    return true;
}

// "./a//b/" becomes "a/b".
static std::string name_clean(const std::string& path) {
    std::string out;
    for (const std::string& part : name_parts(path)) {
        if (part.empty() || part == ".") continue;
        if (!out.empty()) out += '/';
        out += part;
    }
    if (!path.empty() && path[0] == '/') out = "/" + out;
    return out;
}

struct FileId {
    dev_t dev;
    ino_t ino;
};

// Adds every regular file under dir (relative names under prefix), in name order so that the
// same tree always gives the same archive. Skips the archive itself and folder loops.
static int collect_folder(const std::string& dir, const std::string& prefix, const FileId* skip,
                          std::vector<FileId>* walking, std::vector<SafInput>* out) {
    DIR* d = opendir(dir.c_str());
    if (!d) {
        complain(dir + ": " + strerror(errno));
        return 0;
    }
    std::vector<std::string> names;
    while (struct dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    int ok = 1;
    for (const std::string& name : names) {
        std::string path = dir + "/" + name;
        std::string member = prefix.empty() ? name : prefix + "/" + name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0) {
            complain(path + ": " + strerror(errno));
            ok = 0;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            bool loop = false;
            for (const FileId& id : *walking) loop |= id.dev == st.st_dev && id.ino == st.st_ino;
            if (loop) continue;
            walking->push_back({st.st_dev, st.st_ino});
            ok &= collect_folder(path, member, skip, walking, out);
            walking->pop_back();
        } else if (S_ISREG(st.st_mode)) {
            if (skip && skip->dev == st.st_dev && skip->ino == st.st_ino) continue;
            out->push_back({member, path, {}});
        }
    }
    return ok;
}

static int command_create(const std::string& archive, const std::string& base,
                          const std::vector<std::string>& items) {
    FileId archive_id{}, *skip = nullptr;
    struct stat st;
    if (stat(archive.c_str(), &st) == 0) {
        archive_id = {st.st_dev, st.st_ino};
        skip = &archive_id;
    }
    std::vector<SafInput> inputs;
    int ok = 1;
    for (const std::string& item : items) {
        std::string path =
            base.empty() || (!item.empty() && item[0] == '/') ? item : base + "/" + item;
        if (stat(path.c_str(), &st) != 0) {
            complain(path + ": " + strerror(errno));
            ok = 0;
        } else if (S_ISDIR(st.st_mode)) {
            std::vector<FileId> walking{{st.st_dev, st.st_ino}};
            ok &= collect_folder(path, "", skip, &walking, &inputs);
        } else if (S_ISREG(st.st_mode)) {
            std::string name = name_clean(item);
            if (!name_is_safe(name)) {
                complain(item + ": absolute or \"..\" names cannot be stored; use -C DIR");
                ok = 0;
            } else {
                inputs.push_back({name, path, {}});
            }
        } else {
            complain(path + ": not a regular file or folder");
            ok = 0;
        }
    }
    // The reader lets the first of two equal names win; refuse rather than hide one silently.
    std::vector<std::string> names;
    for (const SafInput& in : inputs) names.push_back(in.name);
    std::sort(names.begin(), names.end());
    for (size_t i = 1; i < names.size(); i++)
        if (names[i] == names[i - 1]) {
            complain("member \"" + names[i] + "\" given twice");
            ok = 0;
        }
    if (!ok) return 1;
    std::string error;
    if (!saf_write(archive.c_str(), inputs, &error)) {
        complain(archive + ": " + error);
        return 1;
    }
    return 0;
}

static FILE* open_archive(const std::string& archive, std::vector<SafMember>* members) {
    FILE* f = fopen(archive.c_str(), "rb");
    if (!f) {
        complain(archive + ": " + strerror(errno));
        return nullptr;
    }
    if (!saf_read_directory(f, members)) {
        complain(archive + ": not a valid archive (bad directory)");
        fclose(f);
        return nullptr;
    }
    return f;
}

static long long file_size(FILE* f) {
    struct stat st;
    return fstat(fileno(f), &st) == 0 ? (long long)st.st_size : 0;
}

static int command_list(const std::string& archive) {
    std::vector<SafMember> members;
    FILE* f = open_archive(archive, &members);
    if (!f) return 1;
    long long length = file_size(f);
    fclose(f);
    int ok = 1;
    for (const SafMember& m : members) {
        printf("%10d %s\n", m.size, m.name.c_str());
        if ((long long)m.offset + m.size > length) {
            complain("member \"" + m.name + "\" reaches past the end of the archive");
            ok = 0;
        }
    }
    return ok ? 0 : 1;
}

static int extract_member(FILE* f, const SafMember& m, const std::string& path) {
    data_make_dirs(path.c_str());
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) {
        complain(path + ": " + strerror(errno));
        return 0;
    }
    int ok = fseeko(f, m.offset, SEEK_SET) == 0;
    long long left = m.size;
    char buffer[65536];
    while (ok && left > 0) {
        size_t want = (size_t)std::min<long long>(left, sizeof buffer);
        size_t got = fread(buffer, 1, want, f);
        if (got > 0 && fwrite(buffer, 1, got, out) != got) {
            complain(path + ": " + strerror(errno));
            ok = 0;
        }
        left -= (long long)got;
        if (got < want) break;
    }
    if (fclose(out) != 0) ok = 0;
    if (ok && left > 0) {
        complain("member \"" + m.name + "\" is cut short by the end of the archive");
        ok = 0;
    }
    return ok;
}

static int command_extract(const std::string& archive, const std::string& base) {
    std::vector<SafMember> members;
    FILE* f = open_archive(archive, &members);
    if (!f) return 1;
    std::string dir = base.empty() ? std::string(".") : base;
    int ok = 1;
    for (const SafMember& m : members) {
        if (m.name.empty()) continue;
        if (!name_is_safe(m.name)) {
            complain("refusing member \"" + m.name + "\": absolute or \"..\" name");
            ok = 0;
            continue;
        }
        ok &= extract_member(f, m, dir + "/" + m.name);
    }
    fclose(f);
    return ok ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc >= 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
        fputs(USAGE, stdout);
        return 0;
    }
    if (argc < 3) return usage();
    std::string command = argv[1];
    if (command != "c" && command != "t" && command != "x") return usage();
    std::string base;
    bool have_base = false;
    std::vector<std::string> args;
    bool options = true;
    for (int i = 2; i < argc; i++) {
        std::string a = argv[i];
        if (options && a == "--") {
            options = false;
        } else if (options && a == "-C") {
            if (i + 1 >= argc || have_base || !argv[i + 1][0]) return usage();
            base = argv[++i];
            have_base = true;
        } else if (options && a.size() > 1 && a[0] == '-') {
            return usage();
        } else {
            args.push_back(a);
        }
    }
    if (args.empty()) return usage();
    std::string archive = args[0];
    args.erase(args.begin());
    if (command == "c") {
        if (args.empty()) return usage();
        return command_create(archive, base, args);
    }
    if (!args.empty()) return usage();
    if (command == "t") return have_base ? usage() : command_list(archive);
    return command_extract(archive, base);
}
