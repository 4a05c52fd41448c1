#include "platform/messages.h"

#include <cstdio>
#include <cstring>

#include "platform/log.h"

MessageList g_messages;

void post_message(const char* text) {
    size_t n = strlen(text);
    if (n > 0 && text[n - 1] == '\n')
        log_printf("%s", text);
    else
        log_printf("%s\n", text);
    char* slot = g_messages.lines[g_messages.next];
    snprintf(slot, MESSAGE_LINE_SIZE, "%s", text);
    g_messages.next = (g_messages.next + 1) % MESSAGE_LINES;
    if (g_messages.visible < MESSAGE_VISIBLE_MAX) g_messages.visible++;
    g_messages.expiry = g_messages.elapsed_time + 2.0;
}

void post_problem(const char* text) {
    post_message(text);
    size_t n = strlen(text);
    fprintf(stderr, n > 0 && text[n - 1] == '\n' ? "%s" : "%s\n", text);
    fflush(stderr);
}

void messages_clear() {
    memset(g_messages.lines, 0, sizeof g_messages.lines);
    g_messages.next = 0;
    g_messages.visible = 0;
    g_messages.expiry = 0;
}

void messages_update() {
    if (g_messages.visible > 0 && g_messages.elapsed_time > g_messages.expiry) {
        g_messages.visible--;
        g_messages.expiry = g_messages.elapsed_time + 5.0;
    }
}

const char* messages_visible(int i) {
    if (i < 0 || i >= g_messages.visible) return nullptr;
    int slot = (g_messages.next - g_messages.visible + i + MESSAGE_LINES) % MESSAGE_LINES;
    return g_messages.lines[slot];
}

void messages_advance(double seconds) {
    g_messages.elapsed_time += seconds;
}
