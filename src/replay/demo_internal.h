// Internal to the demo code: the state record itself (everything else reads g_demo).
#pragma once

#include "replay/demo.h"

extern DemoState g_demo_data;
