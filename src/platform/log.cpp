#include "platform/log.h"

#include <SDL.h>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/clock.h"

LogState g_log;

void log_format_stamp(char* out, size_t n, long s, long u) {
    snprintf(out, n, "[%ld:%02ld:%02ld.%02ld] ", s / 3600, (s / 60) % 60, s % 60, u / 10000);
}

// Writes one stamped message; the caller holds the lock.
static void log_write_locked(const char* format, va_list args) {
    if (!g_log.file) return;
    long s, u;
    clock_now(&s, &u);
    char stamp[64];
    log_format_stamp(stamp, sizeof stamp, s, u);
    fputs(stamp, g_log.file);
    vfprintf(g_log.file, format, args);
    fflush(g_log.file);
}

static void log_write_plain_locked(const char* format, ...) {
    va_list args;
    va_start(args, format);
    log_write_locked(format, args);
    va_end(args);
}

// The first message opens the log. Returns 1 when the message was only the set-up call naming
// the file ("DRUV_LOGFILE=<path>"), which is not itself written.
static int log_open_locked(const char* format) {
    const char* env = getenv("DRUV_LOGFILE");
    const char* prefix = "DRUV_LOGFILE=";
    int setup = strncmp(format, prefix, strlen(prefix)) == 0;
    const char* path = env;
    if (setup && !env) path = format + strlen(prefix);
    if (path) {
        const char* mode = "w";
        if (strncmp(path, ">>", 2) == 0) {
            mode = "a";
            path += 2;
        } else if (path[0] == '>') {
            path += 1;
        }
        g_log.file = fopen(path, mode);
    }
    g_log.initialised = true;
    log_write_plain_locked("Logfile \"%s\" opened\n", path ? path : "");
    log_write_plain_locked("DRUV 0.31\n");
    return setup;
}

void log_printf(const char* format, ...) {
    std::lock_guard<std::mutex> hold(g_log.lock);
    if (!g_log.initialised && log_open_locked(format)) return;
    va_list args;
    va_start(args, format);
    log_write_locked(format, args);
    va_end(args);
}

void log_setup(const char* setup_text) {
    std::lock_guard<std::mutex> hold(g_log.lock);
    if (!g_log.initialised) log_open_locked(setup_text);
}

void log_error(const char* text) {
    log_printf("Error: %s\n", text);
    g_log.last_error = text;
}

const char* last_error() {
    return g_log.last_error;
}

void log_reset() {
    std::lock_guard<std::mutex> hold(g_log.lock);
    if (g_log.file) fclose(g_log.file);
    g_log.file = nullptr;
    g_log.initialised = false;
    g_log.last_error = "Unknown";
    g_log.box_uses_window = 0;
    g_log.oom_cleanup = nullptr;
}

void error_box_use_window(int on) {
    g_log.box_uses_window = on;
}

void error_box(const char* title, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    // Before the window exists (and without a display) the box would have nowhere to appear,
    // or would block a headless run; standard error is the message box then.
    if (g_log.box_uses_window &&
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr) == 0)
        return;
    fprintf(stderr, "%s: %s", title, text);
    size_t n = strlen(text);
    if (n == 0 || text[n - 1] != '\n') fputc('\n', stderr);
}

void log_set_oom_cleanup(void (*cleanup)()) {
    g_log.oom_cleanup = cleanup;
}

void out_of_memory() {
    if (g_log.oom_cleanup) {
        void (*cleanup)() = g_log.oom_cleanup;
        g_log.oom_cleanup = nullptr; // the cleanup itself must not recurse here
        cleanup();
    }
    error_box("Error", "Out of virtual memory");
    exit(1);
}

static void new_handler() {
    out_of_memory();
}

void log_install_new_handler() {
    std::set_new_handler(new_handler);
}

void* xmalloc(size_t size) {
    void* p = malloc(size ? size : 1);
    if (!p) out_of_memory();
    return p;
}

void* xrealloc(void* old, size_t size) {
    void* p = realloc(old, size ? size : 1);
    if (!p) out_of_memory();
    return p;
}

char* xstrdup(const char* text) {
    size_t n = strlen(text) + 1;
    char* p = (char*)xmalloc(n);
    memcpy(p, text, n);
    return p;
}
