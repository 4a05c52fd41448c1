// The ".saf" archive format: reading its directory and writing whole archives.
//
// An archive is a text directory followed by the member data:
//
//   <size> <name>\n      one line per member; size in decimal, one separator byte (normally a
//   <size> <name>\n      space), then the name up to the line feed (it may contain spaces);
//   -\n                  the directory ends with a line that is exactly "-".
//   <data of member 1><data of member 2>...
//
// Every directory line, line feed included, is at most 1023 bytes long. The first member
// starts right after the "-" line, each next one right after the previous one: no gaps, no
// padding. A member whose name ends in ".gz" holds gzip data.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The longest directory line, line feed included.
constexpr int SAF_MAX_LINE = 1023;

// One member as the directory describes it.
struct SafMember {
    std::string name; // runs of "/" collapsed; empty when the line gave no name
    int offset;       // byte offset of the data from the start of the archive
    int size;         // byte length (the data may end early when the archive is short)
};

// Reads the directory from the current position of f (the start of the archive) into
// *members. Returns 1 for a valid directory, 0 for an invalid one: a line without a line feed
// (the end of the file or a line over SAF_MAX_LINE bytes), a line that is neither a number
// nor exactly "-", a NUL byte, a negative size, or data reaching beyond 2147483647 bytes.
// *members is left empty when the directory is invalid.
int saf_read_directory(FILE* f, std::vector<SafMember>* members);

// One member to store: its data come from the file named by `file` when that is not empty,
// otherwise from `bytes`.
struct SafInput {
    std::string name;
    std::string file;
    std::vector<unsigned char> bytes;
};

// Checks that a member name can be stored and read back unchanged (not empty, no line feed or
// NUL byte, no run of "/"). 1 when it can; otherwise 0 with the reason in *why.
int saf_name_ok(const std::string& name, std::string* why);

// Writes an archive holding the inputs in the given order. The archive is written beside the
// target under a temporary name and renamed into place, so a failed write leaves no partial
// archive. Returns 1 on success; 0 with a message in *error (may be null) otherwise.
int saf_write(const char* path, const std::vector<SafInput>& inputs, std::string* error);
