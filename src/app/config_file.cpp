// The "config" file.
//
// File format: plain text, one "key=value" line per setting, each ending in a line feed
// (a carriage return before it is tolerated on reading). The key is everything before the first
// "=" (case-sensitive, not trimmed); the value everything after it. Values: integers "%d",
// sliders "%f", choices the current option's text, texts as they are, bindings "(k)<key name>"
// or "(<low>,<high>)<axis name>". Lines are written in the fixed order of config_items(), the
// numbered keys "slot00".."slot39" and "server_name_hist00".."server_name_hist15" in place,
// the bindings last; an unbound binding has no line. Unknown keys and bad values are skipped.

#include "app/config_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include "core/config.h"
#include "data/datafile.h"
#include "data/save.h"
#include "platform/messages.h"
#include "platform/options.h"

namespace {

Config& C = g_config;

// Older configuration files name these bikes without their model year.
constexpr const char* OLD_BIKE_NAMES[][2] = {{"crf250", "crf250(2008)"},
                                             {"kx250f", "kx250f(2008)"},
                                             {"rmz250", "rmz250(2008)"},
                                             {"yz250f", "yz250f(2008)"}};

// The key of the n-th record of a row ("slot07"), in a caller's buffer.
const char* item_key(const ConfigItem& item, int n, char* buf, size_t size) {
    if (item.count == 1) return item.key;
    snprintf(buf, size, item.key, n);
    return buf;
}

// "%d" in the manner of scanf: leading white space and a sign allowed, trailing text ignored.
// A number beyond the int range is not read (the setting keeps its value). 1 when one was.
int parse_int(const char* text, int* out) {
    char* end;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (end == text || errno == ERANGE || v < INT_MIN || v > INT_MAX) return 0;
    *out = (int)v;
    return 1;
}

// "%f" in the manner of scanf; "nan" is refused so that no setting can hold one.
int parse_float(const char* text, float* out) {
    char* end;
    float v = strtof(text, &end);
    if (end == text || std::isnan(v)) return 0;
    *out = v;
    return 1;
}

void choice_select(Choice* c, const char* value) {
    for (size_t i = 0; i < c->options.size(); i++) {
        if (c->options[i] && strcmp(c->options[i], value) == 0) {
            c->current = (int)i;
            return;
        }
    }
}

void item_read(const ConfigItem& item, int n, const char* value) {
    switch (item.kind) {
    case CFG_INT: {
        int v;
        if (parse_int(value, &v)) *config_record<int>(item, n) = v;
        break;
    }
    case CFG_CHOICE: {
        Choice* c = config_record<Choice>(item, n);
        if (c == &C.bike) {
            for (const auto& old : OLD_BIKE_NAMES)
                if (strcmp(value, old[0]) == 0) value = old[1];
            choice_select(c, value);
            // The bike's texture variants depend on the bike; a later "bike_texture" line
            // picks within the new list.
            C.bike_texture.current = 0;
            if (g_config_state.bike_changed) g_config_state.bike_changed();
            break;
        }
        choice_select(c, value);
        break;
    }
    case CFG_SLIDER: {
        Slider* s = config_record<Slider>(item, n);
        float v;
        if (!parse_float(value, &v)) break;
        s->value = std::clamp(v, (float)s->min, (float)s->max);
        if (s == &C.stability) config_apply_stability((int)s->value);
        break;
    }
    case CFG_TEXT: {
        TextSetting* t = config_record<TextSetting>(item, n);
        // A history entry that long cannot have come from the menu.
        if (t >= C.server_name_hist && t < C.server_name_hist + CONFIG_SERVER_HISTORY &&
            strlen(value) >= 127)
            break;
        config_text_set(t, value);
        break;
    }
    case CFG_BINDING:
        binding_parse(config_record<KeyBinding>(item, n), value);
        break;
    }
}

// Applies one "key=value" pair; unknown keys are ignored.
void config_apply(const char* key, const char* value) {
    // Fixed keys first, then the numbered ones.
    int count;
    const ConfigItem* items = config_items(&count);
    for (const ConfigItem& item : std::span(items, (size_t)count)) {
        if (item.count == 1 && strcmp(key, item.key) == 0) {
            item_read(item, 0, value);
            return;
        }
    }
    // Recognised and dropped: the setting no longer exists.
    if (strcmp(key, "ground_texture_distance") == 0) return;
    // "slot%02d", "server_name_hist%02d": the prefix, then exactly two digits.
    for (const ConfigItem& item : std::span(items, (size_t)count)) {
        if (item.count == 1) continue;
        size_t len = strlen(item.key) - 4;
        if (strncmp(key, item.key, len) != 0) continue;
        const char* d = key + len;
        if (d[0] < '0' || d[0] > '9' || d[1] < '0' || d[1] > '9' || d[2] != 0) continue;
        int n = (d[0] - '0') * 10 + (d[1] - '0');
        if (n < item.count) item_read(item, n, value);
        return;
    }
}

// A text setting's value up to any line break, so a stray one cannot forge another line.
int text_length(const char* text) {
    return (int)strcspn(text, "\r\n");
}

void item_write(DataFile* f, const ConfigItem& item, int n) {
    char buf[64];
    const char* key = item_key(item, n, buf, sizeof buf);
    switch (item.kind) {
    case CFG_INT:
        data_printf(f, "%s=%d\n", key, *config_record<int>(item, n));
        break;
    case CFG_CHOICE: {
        const char* text = config_record<Choice>(item, n)->text();
        data_printf(f, "%s=%.*s\n", key, text_length(text), text);
        break;
    }
    case CFG_SLIDER:
        data_printf(f, "%s=%f\n", key, config_record<Slider>(item, n)->value);
        break;
    case CFG_TEXT: {
        const char* text = config_record<TextSetting>(item, n)->text;
        data_printf(f, "%s=%.*s\n", key, text_length(text), text);
        break;
    }
    case CFG_BINDING: {
        const KeyBinding* b = config_record<KeyBinding>(item, n);
        if (b->key_name)
            data_printf(f, "%s=(k)%.*s\n", key, text_length(b->key_name), b->key_name);
        else if (b->axis_name)
            data_printf(f, "%s=(%f,%f)%.*s\n", key, (double)b->low, (double)b->high,
                        text_length(b->axis_name), b->axis_name);
        break;
    }
    }
}

} // namespace

void config_read() {
    DataFile* f = data_open("@config", "rb");
    if (!f) return;
    char line[1024];
    bool continuation = false; // the rest of a line longer than the buffer
    while (data_gets(f, line, (int)sizeof line)) {
        size_t len = strlen(line);
        bool skip = continuation;
        // A line cut by the buffer goes on in the next chunk, which is not a line of its own.
        continuation = len == sizeof line - 1 && line[len - 1] != '\n';
        if (skip) continue;
        char* eq = strchr(line, '=');
        if (!eq) continue;
        *eq = 0;
        char* value = eq + 1;
        size_t vlen = strlen(value);
        while (vlen > 0 && (value[vlen - 1] == '\r' || value[vlen - 1] == '\n')) value[--vlen] = 0;
        config_apply(line, value);
    }
    data_close(f);
}

void config_write() {
    // Written whole or not at all: a full disk or a kill half way keeps the old settings
    // rather than leaving an empty file that would bring back every default.
    DataSave save;
    if (data_save_begin("@config", &save)) {
        int count;
        const ConfigItem* items = config_items(&count);
        for (const ConfigItem& item : std::span(items, (size_t)count))
            for (int n = 0; n < item.count; n++) item_write(save.file, item, n);
        if (data_save_commit(&save)) return;
    }
    std::string text = "Can't save the settings (config): " + save.error;
    post_problem(text.c_str());
}

void binding_parse(KeyBinding* binding, const char* value) {
    while (*value == ' ' || (*value >= '\t' && *value <= '\r')) value++;
    binding->key_name = nullptr;
    binding->key_code = 0;
    binding->axis_name = nullptr;
    binding->axis = nullptr;
    binding->low = 0.0f;
    binding->high = 1.0f;
    // "(low,high)axis name": the numbers as "(%f,%f)" reads them.
    const char* close = strchr(value, ')');
    if (value[0] == '(' && close) {
        char* comma;
        float low = strtof(value + 1, &comma);
        char* end = comma;
        float high = comma != value + 1 && *comma == ',' ? strtof(comma + 1, &end) : NAN;
        // Infinite or missing numbers would make every axis reading meaningless.
        if (std::isfinite(low) && std::isfinite(high) && end != comma + 1) {
            binding->low = low;
            binding->high = high;
            binding->axis_name = intern_string(close + 1);
            return;
        }
    }
    if (strncmp(value, "(k)", 3) == 0) value += 3;
    binding->key_name = intern_string(value);
}
