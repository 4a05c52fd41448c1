// The "config" file in the per-user folder: every setting of core/config.h as one "key=value"
// line, read at start-up and written at exit.
#pragma once

struct KeyBinding;

// Reads "@config" when it exists; a missing file changes nothing.
void config_read();
// Writes "@config" (creating the per-user folder); failures are silent.
void config_write();
// Sets a binding from a configuration value text ("(k)x", "x", "(0.1,0.9)axis name").
void binding_parse(KeyBinding* binding, const char* value);
