// Internal to ui/: the menu state record itself (everything else reads g_menu).
#pragma once

#include "ui/menu.h"

extern MenuState g_menu_data;
