// Placeholder until the mixer and its back ends land: audio never opens.
#include "platform/audio.h"

int audio_open(GameWindow*) { return 0; }
int audio_open_readback(int, int) { return 0; }
int audio_is_open() { return 0; }
void audio_close() {}
void audio_commit() {}
const unsigned char* audio_read() { return nullptr; }
