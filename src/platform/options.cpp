#include "platform/options.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/log.h"

OptionState g_options;

static const char* option_text() {
    if (!g_options.text_read) {
        const char* env = getenv("DRUV_OPTIONS");
        g_options.text = env ? env : "";
        g_options.text_read = true;
    }
    return g_options.text.c_str();
}

void options_reset() {
    g_options.text_read = false;
    g_options.text.clear();
}

// The text right after "[name:" in the option list, or null when the option is absent.
static const char* option_find(const char* name) {
    char key[64];
    snprintf(key, sizeof key, "[%.60s:", name);
    const char* hit = strstr(option_text(), key);
    return hit ? hit + strlen(key) : nullptr;
}

int option_flag(const char* name, int def) {
    const char* v = option_find(name);
    if (!v) return def;
    if (strncmp(v, "yes]", 4) == 0 || strncmp(v, "on]", 3) == 0) return 1;
    if (strncmp(v, "no]", 3) == 0 || strncmp(v, "off]", 4) == 0) return 0;
    log_printf("unrecognized setting for %s\n", name);
    return def;
}

int option_int(const char* name, int def) {
    const char* v = option_find(name);
    if (!v) return def;
    while (isspace((unsigned char)*v)) v++;
    int sign = 1;
    if (*v == '+' || *v == '-') sign = *v++ == '-' ? -1 : 1;
    if (!isdigit((unsigned char)*v)) {
        log_printf("unrecognized setting for %s\n", name);
        return def;
    }
    long long value = 0;
    while (isdigit((unsigned char)*v)) {
        value = value * 10 + (*v++ - '0');
        if (value > 0x7fffffff) value = 0x7fffffff; // saturate rather than overflow
    }
    return (int)(sign * value);
}

const char* alias_lookup(const char* name) {
    for (AliasNode* a = g_options.aliases; a; a = a->next)
        if (strcmp(a->name, name) == 0) return a->value;
    return name;
}

int alias_define(const char* name, const char* value) {
    if (alias_lookup(name) != name) {
        log_printf("Second alias for '%s' ('%s') ignored\n", name, value);
        return 0;
    }
    size_t nn = strlen(name) + 1, nv = strlen(value) + 1;
    AliasNode* node = (AliasNode*)malloc(sizeof(AliasNode) + nn + nv);
    if (!node) {
        log_printf("Can't alias %s to %s -- out of memory\n", name, value);
        return 0;
    }
    char* text = (char*)(node + 1);
    memcpy(text, name, nn);
    memcpy(text + nn, value, nv);
    node->name = text;
    node->value = text + nn;
    node->next = g_options.aliases;
    g_options.aliases = node;
    return 1;
}

const char* intern_string(const char* text) {
    OptionState& o = g_options;
    for (int i = 0; i < o.string_count; i++)
        if (strcmp(o.strings[i], text) == 0) return o.strings[i];
    if (o.string_count == o.string_capacity) {
        o.string_capacity = o.string_capacity ? o.string_capacity * 2 : 16;
        o.strings = (char**)xrealloc(o.strings, sizeof(char*) * o.string_capacity);
    }
    char* copy = xstrdup(text);
    o.strings[o.string_count++] = copy;
    return copy;
}

const char* intern_name(const char* text) {
    InternNode** link = &g_options.names;
    while (*link) {
        int c = strcmp((*link)->text, text);
        if (c == 0) return (*link)->text;
        if (c > 0) break;
        link = &(*link)->next;
    }
    size_t n = strlen(text);
    InternNode* node = (InternNode*)malloc(sizeof(InternNode) + n);
    if (!node) return nullptr;
    memcpy(node->text, text, n + 1);
    node->next = *link;
    *link = node;
    return node->text;
}

static int loose_char(unsigned char c) {
    if (isspace(c) || c == '_') return ' ';
    return tolower(c);
}

int names_equal_loose(const char* a, const char* b) {
    const unsigned char* p = (const unsigned char*)a;
    const unsigned char* q = (const unsigned char*)b;
    for (;; p++, q++) {
        int x = loose_char(*p), y = loose_char(*q);
        if (x != y) return x - y;
        if (x == 0) return 0;
    }
}
