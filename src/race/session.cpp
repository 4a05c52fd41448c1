// Placeholder until the race session lands: no track is ever loaded.
#include "race/session.h"

Session g_session;

int session_start(const int*, int, int, int, int, int) { return 0; }
void session_tick() { g_session.session_clock++; }
void session_free() {}
int session_leader_laps() { return 0; }
