// Internal to ui/: the menu state record itself (everything else reads g_menu).
#pragma once

#include "ui/menu.h"

extern MenuState g_menu_data;

// Typing into a text of at most max_len characters: printable characters append, Backspace
// removes the last one. 1 when the code was used.
int menu_edit_key(char* text, int max_len, int code);
// The menus move from screen `from` to screen `to`: leaving the rider screens hands the rider
// to the race session and tells the race server.
void menu_screens_left(int from, int to);
