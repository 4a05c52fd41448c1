// The command line: long options ("--name", "--name value", "--name=value") and at most one
// positional argument, the demo file to play at start-up.
#pragma once

struct ArgCursor {
    int remaining;      // arguments not yet consumed
    char** current;     // the next argument
    int end_of_options; // set by "--"
};

// Succeeds (1) and consumes the argument when it equals the name exactly.
int arg_switch(ArgCursor* cursor, const char* name);
// Matches "name value" (value null when the name is the last argument), "name=value", or "--"
// (which sets the end-of-options flag and fails). 1 when the option matched.
int arg_value(ArgCursor* cursor, const char* name, const char** value);

// Ranges of numeric options; a value outside is "Bad arg for --<option>" and exit status 1.
constexpr int CMDLINE_WINDOW_MIN = 64; // "--width", "--height": pixels
constexpr int CMDLINE_WINDOW_MAX = 16384;
constexpr float CMDLINE_LOCK_FPS_MIN = 1; // "--lock-fps" above 0 (0 or less is off)
constexpr float CMDLINE_LOCK_FPS_MAX = 1000;
constexpr float CMDLINE_QUIT_AFTER_MAX = 1e6; // "--quit-after": simulated seconds (0 no limit)
constexpr float CMDLINE_CHASE_MAX = 1000;     // "--chase-center": feet from the bike, each axis

enum { CMDLINE_OK = -1 }; // otherwise the result is the exit status (0 "--open-home", 1 error)

// Whether a switch is among the options (before any "--"), looked at ahead of the parse: the
// display is not probed for video modes in a "--headless" run.
int cmdline_has_switch(int argc, char** argv, const char* name);

// Parses the arguments after the program name into g_settings and g_config. Errors are
// printed to standard error. Returns CMDLINE_OK or the status to exit with.
int cmdline_parse(int argc, char** argv);
