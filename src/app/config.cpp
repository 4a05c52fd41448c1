// Placeholder until the configuration lands.
#include "app/config.h"

Config g_config;

void config_defaults() {}
void config_read() {}
void config_write() {}
void binding_parse(KeyBinding*, const char*) {}
KeyBinding* config_binding(int) { return nullptr; }
const char* config_binding_key(int) { return ""; }
void config_set_options(Choice* choice, const std::vector<const char*>& options) {
    choice->options = options;
    choice->current = 0;
}
void config_apply_stability(int) {}
void config_set_bike_hook(void (*)()) {}
