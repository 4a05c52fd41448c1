#include "platform/mixer.h"

#include <algorithm>
#include <cstring>

#include "platform/log.h"

namespace {

// One row per gain level 1..31: the signed sample (unsigned - 128) x level / 32, truncated
// toward zero. Built on first use.
struct ScaleTable {
    int16_t rows[MIX_LEVELS - 1][256];
    ScaleTable() {
        for (int level = 1; level < MIX_LEVELS; level++)
            for (int u = 0; u < 256; u++) rows[level - 1][u] = (int16_t)((u - 128) * level / 32);
    }
};
const ScaleTable& scale_table() {
    static const ScaleTable table;
    return table;
}

void list_remove(Mixer* m, Voice* v, int c) {
    if (v->listed[c] < 0) return;
    if (v->prev[c])
        v->prev[c]->next[c] = v->next[c];
    else
        m->lists[c][v->listed[c]] = v->next[c];
    if (v->next[c]) v->next[c]->prev[c] = v->prev[c];
    v->prev[c] = v->next[c] = nullptr;
    v->listed[c] = -1;
}

void list_insert(Mixer* m, Voice* v, int c, int level) {
    v->prev[c] = nullptr;
    v->next[c] = m->lists[c][level];
    if (v->next[c]) v->next[c]->prev[c] = v;
    m->lists[c][level] = v;
    v->listed[c] = level;
}

// Puts a playing voice into the lists of its current gain levels.
void relist(Mixer* m, Voice* v) {
    for (int c = 0; c < 2; c++) list_remove(m, v, c);
    if (!v->playing) return;
    for (int c = 0; c < m->channels; c++) list_insert(m, v, c, v->gain[c]);
}

void update_gains(Mixer* m, Voice* v) {
    mixer_gains(v->volume, v->pan, &v->gain[0], &v->gain[1]);
    relist(m, v);
}

uint64_t voice_step(const Mixer* m, const Voice* v) {
    return ((uint64_t)(unsigned)v->rate << 16) / (unsigned)m->rate;
}

void mix_channel(Mixer* m, Voice* v, int c, int level, int frames) {
    const int16_t* row = scale_table().rows[level - 1];
    const unsigned char* s = v->block->samples;
    uint64_t end = (uint64_t)v->block->length << 16;
    uint64_t p = v->position, step = voice_step(m, v);
    int32_t* acc = m->acc[c].data();
    for (int i = 0; i < frames; i++) {
        if (p >= end) {
            if (!v->looping || end == 0) break;
            p %= end;
        }
        acc[i] += row[s[p >> 16]];
        p += step;
    }
}

// Moves a voice on by one block; a voice that runs off its end wraps when looping, else stops.
void advance(Mixer* m, Voice* v, int frames) {
    uint64_t end = (uint64_t)v->block->length << 16;
    uint64_t p = v->position + voice_step(m, v) * (uint64_t)frames;
    if (p >= end) {
        if (v->looping && end > 0) {
            p %= end;
        } else {
            v->playing = 0;
            p = 0;
            relist(m, v);
        }
    }
    v->position = p;
}

} // namespace

int mixer_mixahead_fragments(int ms) {
    return std::clamp(ms * 64 / 1000, 1, 32);
}

void mixer_gains(int volume, int pan, int* left, int* right) {
    *left = (int)(((int64_t)(32767 - pan) * volume) >> 26);
    *right = (int)(((int64_t)volume * (pan + 32768)) >> 26);
}

int mixer_scaled(int level, int sample) {
    if (level <= 0 || level >= MIX_LEVELS) return 0;
    return scale_table().rows[level - 1][sample & 255];
}

void mixer_init(Mixer* m, int rate, int channels, int budget, int frames) {
    m->rate = rate > 0 ? rate : 22050;
    m->channels = channels == 1 ? 1 : 2;
    m->budget = budget;
    for (auto& per_channel : m->lists)
        for (Voice*& head : per_channel) head = nullptr;
    for (auto& a : m->acc) a.assign(frames > 0 ? frames : 1, 0);
}

Voice* mixer_voice_create(Mixer* m, int count, const unsigned char* samples, int sample_rate) {
    if (count < 0) count = 0;
    if (sample_rate <= 0) sample_rate = m->rate;
    int64_t length = (int64_t)count * m->rate / sample_rate;
    if (length > 0x7fffffff / 2) length = 0x7fffffff / 2;
    MixBlock* b = (MixBlock*)xmalloc(sizeof(MixBlock));
    b->refs = 1;
    b->length = (int)length;
    b->samples = (unsigned char*)xmalloc(length > 0 ? (size_t)length : 1);
    for (int64_t i = 0; i < length; i++) {
        int64_t src = (i * sample_rate * 2 + m->rate) / (2 * (int64_t)m->rate); // nearest
        b->samples[i] = samples[std::min<int64_t>(src, count - 1)];
    }
    Voice* v = (Voice*)xmalloc(sizeof(Voice));
    memset(v, 0, sizeof *v);
    v->block = b;
    v->rate = m->rate;
    v->volume = 32767;
    v->pan = m->channels == 1 ? -32768 : 0;
    v->listed[0] = v->listed[1] = -1;
    mixer_gains(v->volume, v->pan, &v->gain[0], &v->gain[1]);
    return v;
}

Voice* mixer_voice_clone(Mixer* m, Voice* src) {
    Voice* v = (Voice*)xmalloc(sizeof(Voice));
    memset(v, 0, sizeof *v);
    v->block = src->block;
    v->block->refs++;
    v->rate = m->rate;
    v->volume = 32767;
    v->pan = m->channels == 1 ? -32768 : 0;
    v->listed[0] = v->listed[1] = -1;
    mixer_gains(v->volume, v->pan, &v->gain[0], &v->gain[1]);
    return v;
}

void mixer_voice_free(Mixer* m, Voice* v) {
    if (!v) return;
    mixer_voice_stop(m, v);
    if (--v->block->refs == 0) {
        free(v->block->samples);
        free(v->block);
    }
    free(v);
}

void mixer_voice_play(Mixer* m, Voice* v) {
    v->playing = 1;
    relist(m, v);
}

void mixer_voice_stop(Mixer* m, Voice* v) {
    v->playing = 0;
    v->position = 0;
    relist(m, v);
}

void mixer_voice_set_rate(Mixer*, Voice* v, int rate) {
    v->rate = rate > 0 ? rate : 0;
}

void mixer_voice_set_volume(Mixer* m, Voice* v, int volume) {
    v->volume = std::clamp(volume, 0, 32767);
    update_gains(m, v);
}

void mixer_voice_set_pan(Mixer* m, Voice* v, int pan) {
    // On a single channel the full-left gain is the full volume.
    v->pan = m->channels == 1 ? -32768 : std::clamp(pan, -32768, 32767);
    update_gains(m, v);
}

void mixer_voice_set_loop(Mixer*, Voice* v, int loop) {
    v->looping = loop ? 1 : 0;
}

int mixer_voice_position(Mixer*, Voice* v) {
    return v->playing ? (int)(v->position >> 16) : 0;
}

void mixer_voice_write(Mixer*, Voice* v, int count, const unsigned char* samples, int position) {
    int len = v->block->length;
    if (len <= 0 || count <= 0) return;
    if (count > len) {
        samples += count - len;
        position += count - len;
        count = len;
    }
    int pos = position % len;
    if (pos < 0) pos += len;
    int first = std::min(count, len - pos);
    memcpy(v->block->samples + pos, samples, (size_t)first);
    memcpy(v->block->samples, samples + first, (size_t)(count - first));
}

void mixer_mix(Mixer* m, int frames, int bits, void* out) {
    if ((int)m->acc[0].size() < frames)
        for (auto& a : m->acc) a.assign(frames, 0);
    for (int c = 0; c < m->channels; c++)
        std::fill(m->acc[c].begin(), m->acc[c].begin() + frames, 0);

    // Loudest first; a voice takes one unit of the budget when first heard at a level above 0.
    for (int level = 0; level < MIX_LEVELS; level++)
        for (int c = 0; c < m->channels; c++)
            for (Voice* v = m->lists[c][level]; v; v = v->next[c]) v->visited = 0;
    int budget = m->budget;
    for (int level = MIX_LEVELS - 1; level >= 0; level--) {
        for (int c = 0; c < m->channels; c++) {
            for (Voice* v = m->lists[c][level]; v; v = v->next[c]) {
                if (!v->visited) {
                    v->visited = 1;
                    v->audible = level > 0 && budget > 0;
                    if (v->audible) budget--;
                }
                if (v->audible && level > 0) mix_channel(m, v, c, level, frames);
            }
        }
    }
    // Every playing voice moves on once, heard or not.
    for (int level = 0; level < MIX_LEVELS; level++) {
        for (int c = 0; c < m->channels; c++) {
            Voice* v = m->lists[c][level];
            while (v) {
                Voice* next = v->next[c];
                if (v->visited == 1) {
                    v->visited = 2;
                    advance(m, v, frames);
                }
                v = next;
            }
        }
    }

    int ch = m->channels;
    if (bits == 8) {
        unsigned char* o = (unsigned char*)out;
        for (int i = 0; i < frames; i++)
            for (int c = 0; c < ch; c++)
                o[i * ch + c] = (unsigned char)(std::clamp(m->acc[c][i], -127, 126) + 128);
    } else {
        int16_t* o = (int16_t*)out;
        for (int i = 0; i < frames; i++)
            for (int c = 0; c < ch; c++)
                o[i * ch + c] = (int16_t)(std::clamp(m->acc[c][i], -126, 126) * 256);
    }
}
