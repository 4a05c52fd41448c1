// Run-time options from DRUV_OPTIONS, name aliases and the two string-interning pools.
#pragma once

#include <string>

struct AliasNode {
    AliasNode* next;
    const char* name;
    const char* value; // both strings live in the node's own allocation
};

struct InternNode {
    InternNode* next;
    char text[1]; // allocated to the string's length
};

// Process-wide option, alias and interning state.
struct OptionState {
    bool text_read = false;
    std::string text; // DRUV_OPTIONS, "" when unset; read once
    AliasNode* aliases = nullptr;  // newest first, never freed
    InternNode* names = nullptr;   // platform pool, ascending strcmp order
    // Application pool, searched linearly; a plain array that lives for the whole run (no
    // destructor), initial capacity 16, doubled when full.
    char** strings = nullptr;
    int string_count = 0;
    int string_capacity = 0;
};
extern OptionState g_options;

// Boolean option: "yes]"/"on]" give 1, "no]"/"off]" give 0, anything else logs
// "unrecognized setting for <name>" and gives the default.
int option_flag(const char* name, int def);
// Integer option: a decimal number after "[name:", else the default (logged when unreadable).
int option_int(const char* name, int def);
// Forgets the cached DRUV_OPTIONS text so the next lookup reads the environment again.
void options_reset();

// 1 on success, 0 when the name already has an alias (logged) or memory runs out.
int alias_define(const char* name, const char* value);
// The alias's value, or the name itself when it has none.
const char* alias_lookup(const char* name);

// Application pool: the one stored copy of an equal string (never null).
const char* intern_string(const char* text);
// Platform pool (key, button and axis names): the one stored copy, null when memory runs out.
const char* intern_name(const char* text);
// strcmp-like comparison ignoring case, with white space and "_" all counted as a space.
int names_equal_loose(const char* a, const char* b);
