#include "platform/audio.h"

#include <SDL.h>
#include <algorithm>
#include <cstring>

#include "platform/log.h"
#include "platform/options.h"

AudioState g_audio;

namespace {

// Voice operations shared by both back ends: the mixer under the mixer lock.
Voice* mixed_create(int count, const unsigned char* samples, int rate) {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    return mixer_voice_create(&g_audio.mixer, count, samples, rate);
}
Voice* mixed_clone(Voice* v) {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    return mixer_voice_clone(&g_audio.mixer, v);
}
void mixed_free(Voice* v) {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    mixer_voice_free(&g_audio.mixer, v);
}
void mixed_play(Voice* v) {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    mixer_voice_play(&g_audio.mixer, v);
}
void mixed_stop(Voice* v) {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    mixer_voice_stop(&g_audio.mixer, v);
}
void mixed_set_rate(Voice* v, int rate) {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    mixer_voice_set_rate(&g_audio.mixer, v, rate);
}
void mixed_set_volume(Voice* v, int volume) {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    mixer_voice_set_volume(&g_audio.mixer, v, volume);
}
void mixed_set_pan(Voice* v, int pan) {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    mixer_voice_set_pan(&g_audio.mixer, v, pan);
}
void mixed_set_loop(Voice* v, int loop) {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    mixer_voice_set_loop(&g_audio.mixer, v, loop);
}
int mixed_position(Voice* v) {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    return mixer_voice_position(&g_audio.mixer, v);
}
void mixed_write(Voice* v, int count, const unsigned char* samples, int position) {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    mixer_voice_write(&g_audio.mixer, v, count, samples, position);
}
void nothing_to_commit() {}

// The device asks for bytes on SDL's audio thread: whole fragments are mixed under the
// mixer lock and handed over as the device takes them.
void device_callback(void*, Uint8* stream, int len) {
    if (!g_audio.thread_started) {
        g_audio.thread_started = true;
        log_printf("Audio thread begin\n");
    }
    std::lock_guard<std::mutex> hold(g_audio.lock);
    while (len > 0) {
        if (g_audio.pending_pos >= g_audio.pending.size()) {
            g_audio.pending.resize((size_t)g_audio.fragment * g_audio.mixer.channels);
            mixer_mix(&g_audio.mixer, g_audio.fragment, 8, g_audio.pending.data());
            g_audio.pending_pos = 0;
        }
        size_t n = std::min((size_t)len, g_audio.pending.size() - g_audio.pending_pos);
        memcpy(stream, g_audio.pending.data() + g_audio.pending_pos, n);
        g_audio.pending_pos += n;
        stream += n;
        len -= (int)n;
    }
}

int device_open(GameWindow*);
void device_close();

const AudioOps DEVICE_OPS = {
    device_open,   nullptr,        device_close,   nothing_to_commit,
    nullptr,       mixed_create,   mixed_clone,    mixed_free,
    mixed_play,    mixed_stop,     mixed_set_rate, mixed_set_volume,
    mixed_set_pan, mixed_set_loop, mixed_position, mixed_write,
};

int device_open(GameWindow*) {
    log_printf("Opening waveOut audio...\n");
    if (g_audio.ops) {
        log_printf("Audio already open\n");
        return 0;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        log_printf("No audio device\n");
        log_printf("%s\n", SDL_GetError());
        return 0;
    }
    char* name = nullptr;
    SDL_AudioSpec def;
    if (SDL_GetDefaultAudioInfo(&name, &def, 0) != 0 || !name) {
        if (SDL_GetNumAudioDevices(0) <= 0) {
            log_printf("No audio device\n");
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return 0;
        }
        const char* first = SDL_GetAudioDeviceName(0, 0);
        log_printf("Found a %s\n", first ? first : SDL_GetCurrentAudioDriver());
    } else {
        log_printf("Found a %s\n", name);
        SDL_free(name);
    }
    int voices = option_int("sound-channels", 16);
    int rate = option_int("sound-rate", 22050);
    int ms = option_int("sound-mixahead", 125);
    int fragments = mixer_mixahead_fragments(ms);
    log_printf("Waveout rate: %d\n", rate);
    log_printf("Waveout channels: %d\n", voices);
    log_printf("Waveout mixahead: %d\n", fragments * 1000 / 64);

    // The device buffer holds about half the mix-ahead; SDL double-buffers it.
    int want_frames = rate / 64 * fragments / 2;
    int samples = 64;
    while (samples * 2 <= want_frames && samples < 16384) samples *= 2;
    SDL_AudioSpec want{}, have{};
    want.freq = rate;
    want.format = AUDIO_U8;
    want.channels = 2;
    want.samples = (Uint16)samples;
    want.callback = device_callback;
    SDL_AudioDeviceID dev =
        SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                            SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (dev && have.channels != 1 && have.channels != 2) {
        // More than two speakers: let SDL spread the stereo stream.
        SDL_CloseAudioDevice(dev);
        dev = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    }
    if (!dev) {
        log_printf("Can't open waveOut\n");
        log_printf("%s\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 0;
    }
    g_audio.device = dev;
    g_audio.fragment = have.freq / 64 > 0 ? have.freq / 64 : 1;
    g_audio.mixahead = fragments;
    g_audio.pending.clear();
    g_audio.pending_pos = 0;
    g_audio.thread_started = false;
    mixer_init(&g_audio.mixer, have.freq, have.channels, voices, g_audio.fragment);
    g_audio.ops = &DEVICE_OPS;
    SDL_PauseAudioDevice(dev, 0);
    log_printf("Audio opened!\n");
    return 1;
}

void device_close() {
    if (!g_audio.device) {
        log_printf("Can't close audio, not open\n");
        return;
    }
    log_printf("Closing audio\n");
    SDL_CloseAudioDevice(g_audio.device); // waits for the audio thread to leave the callback
    if (g_audio.thread_started) log_printf("Audio thread end\n");
    g_audio.device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

int readback_open(int rate_value, int samples_per_read);
void readback_close() {
    g_audio.read_buffer.clear();
}

const unsigned char* readback_read() {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    mixer_mix(&g_audio.mixer, g_audio.samples_per_read / g_audio.mixer.channels, 16,
              g_audio.read_buffer.data());
    return (const unsigned char*)g_audio.read_buffer.data();
}

const AudioOps READBACK_OPS = {
    nullptr,       readback_open,  readback_close, nothing_to_commit,
    readback_read, mixed_create,   mixed_clone,    mixed_free,
    mixed_play,    mixed_stop,     mixed_set_rate, mixed_set_volume,
    mixed_set_pan, mixed_set_loop, mixed_position, mixed_write,
};

int readback_open(int rate_value, int samples_per_read) {
    log_printf("Opening readback audio...\n");
    int voices = option_int("sound-channels", 16);
    if (samples_per_read < 2) samples_per_read = 2;
    samples_per_read &= ~1; // whole stereo frames
    g_audio.samples_per_read = samples_per_read;
    g_audio.read_buffer.assign((size_t)samples_per_read, 0);
    mixer_init(&g_audio.mixer, rate_value / 2, 2, voices, samples_per_read / 2);
    g_audio.ops = &READBACK_OPS;
    log_printf("Audio opened!\n");
    return 1;
}

} // namespace

int audio_open(GameWindow* window) {
    if (option_flag("dsnd", 1)) log_printf("DirectSound is not available on this platform\n");
    if (option_flag("waveout", 1) && DEVICE_OPS.open(window)) return 1;
    log_printf("No sound: the program runs silently\n");
    return 0;
}

int audio_open_readback(int rate_value, int samples_per_read) {
    if (g_audio.ops) {
        log_printf("Audio already open\n");
        return 0;
    }
    return READBACK_OPS.open_readback(rate_value, samples_per_read);
}

int audio_is_open() {
    return g_audio.ops != nullptr;
}

int audio_output_rate() {
    return g_audio.ops ? g_audio.mixer.rate : 0;
}

void audio_close() {
    if (!g_audio.ops) return;
    const AudioOps* ops = g_audio.ops;
    ops->close();
    g_audio.ops = nullptr;
}

void audio_commit() {
    if (g_audio.ops) g_audio.ops->commit();
}

const unsigned char* audio_read() {
    return g_audio.ops && g_audio.ops->read ? g_audio.ops->read() : nullptr;
}

int audio_read_bytes() {
    return g_audio.samples_per_read * 2;
}

Voice* voice_create(int count, const unsigned char* samples, int sample_rate) {
    return g_audio.ops ? g_audio.ops->voice_create(count, samples, sample_rate) : nullptr;
}
Voice* voice_clone(Voice* v) {
    return g_audio.ops && v ? g_audio.ops->voice_clone(v) : nullptr;
}
void voice_free(Voice* v) {
    if (g_audio.ops && v) g_audio.ops->voice_free(v);
}
void voice_play(Voice* v) {
    if (g_audio.ops && v) g_audio.ops->voice_play(v);
}
void voice_stop(Voice* v) {
    if (g_audio.ops && v) g_audio.ops->voice_stop(v);
}
void voice_set_rate(Voice* v, int rate) {
    if (g_audio.ops && v) g_audio.ops->voice_set_rate(v, rate);
}
void voice_set_volume(Voice* v, int volume) {
    if (g_audio.ops && v) g_audio.ops->voice_set_volume(v, volume);
}
void voice_set_pan(Voice* v, int pan) {
    if (g_audio.ops && v) g_audio.ops->voice_set_pan(v, pan);
}
void voice_set_loop(Voice* v, int loop) {
    if (g_audio.ops && v) g_audio.ops->voice_set_loop(v, loop);
}
int voice_position(Voice* v) {
    return g_audio.ops && v ? g_audio.ops->voice_position(v) : 0;
}
void voice_write(Voice* v, int count, const unsigned char* samples, int position) {
    if (g_audio.ops && v) g_audio.ops->voice_write(v, count, samples, position);
}
