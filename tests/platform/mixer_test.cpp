#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/audio.h"
#include "platform/mixer.h"

namespace {

// The scale rule worked out in the test: (unsigned sample - 128) x level / 32, toward zero.
int scaled(int level, int u) {
    return (u - 128) * level / 32;
}
int gain_left(int volume, int pan) {
    return (int)((long long)(32767 - pan) * volume / 67108864);
}
int gain_right(int volume, int pan) {
    return (int)((long long)volume * (pan + 32768) / 67108864);
}
unsigned char to_u8(int sum) {
    return (unsigned char)(std::clamp(sum, -127, 126) + 128);
}

std::vector<unsigned char> mix8(Mixer* m, int frames) {
    std::vector<unsigned char> out((size_t)frames * m->channels);
    mixer_mix(m, frames, 8, out.data());
    return out;
}

} // namespace

TEST(Mixer, TwoVoicesWithKnownPanAndVolume) {
    Mixer m;
    mixer_init(&m, 22050, 2, 16, 64);
    const unsigned char a_samples[4] = {228, 28, 178, 78};
    const unsigned char b_samples[4] = {255, 0, 128, 200};
    Voice* a = mixer_voice_create(&m, 4, a_samples, 22050);
    Voice* b = mixer_voice_create(&m, 4, b_samples, 22050);
    mixer_voice_set_volume(&m, a, 32767); // centre
    mixer_voice_set_volume(&m, b, 20000);
    mixer_voice_set_pan(&m, b, 16384); // right of centre
    mixer_voice_play(&m, a);
    mixer_voice_play(&m, b);
    int al = gain_left(32767, 0), ar = gain_right(32767, 0);
    int bl = gain_left(20000, 16384), br = gain_right(20000, 16384);
    EXPECT_EQ(al, 15);
    EXPECT_EQ(bl, 4);
    EXPECT_EQ(br, 14);
    std::vector<unsigned char> out = mix8(&m, 6);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(out[2 * i], to_u8(scaled(al, a_samples[i]) + scaled(bl, b_samples[i]))) << i;
        EXPECT_EQ(out[2 * i + 1], to_u8(scaled(ar, a_samples[i]) + scaled(br, b_samples[i]))) << i;
    }
    // Past the end of the samples the voices are silent and have stopped.
    for (int i = 8; i < 12; i++) EXPECT_EQ(out[i], 128);
    EXPECT_FALSE(a->playing);
    EXPECT_EQ(mixer_voice_position(&m, a), 0);
    mixer_voice_free(&m, a);
    mixer_voice_free(&m, b);
}

TEST(Mixer, SixteenBitConversionAndClamping) {
    Mixer m;
    mixer_init(&m, 44100, 2, 16, 16);
    const unsigned char loud[2] = {255, 0};
    std::vector<Voice*> voices;
    for (int i = 0; i < 3; i++) {
        voices.push_back(mixer_voice_create(&m, 2, loud, 44100));
        mixer_voice_play(&m, voices.back());
    }
    // Three full voices sum to 3 x 59 = 177 and -180: clamped.
    int l = gain_left(32767, 0);
    ASSERT_GT(3 * scaled(l, 255), 126);
    std::vector<int16_t> out(4);
    mixer_mix(&m, 2, 16, out.data());
    EXPECT_EQ(out[0], 126 * 256);
    EXPECT_EQ(out[2], -126 * 256);
    for (Voice* v : voices) mixer_voice_set_loop(&m, v, 1);
    for (Voice* v : voices) mixer_voice_play(&m, v);
    std::vector<unsigned char> b = mix8(&m, 2);
    EXPECT_EQ(b[0], 126 + 128);
    EXPECT_EQ(b[2], -127 + 128);
    for (Voice* v : voices) mixer_voice_free(&m, v);
}

TEST(Mixer, MonoPlaysEveryPanAtFullVolume) {
    Mixer m;
    mixer_init(&m, 22050, 1, 16, 16);
    const unsigned char s[1] = {192};
    Voice* v = mixer_voice_create(&m, 1, s, 22050);
    mixer_voice_set_pan(&m, v, 32767); // full right asked for
    EXPECT_EQ(v->pan, -32768);
    mixer_voice_play(&m, v);
    int level = gain_left(32767, -32768);
    EXPECT_EQ(level, 31);
    std::vector<unsigned char> out = mix8(&m, 1);
    EXPECT_EQ(out[0], to_u8(scaled(31, 192)));
    mixer_voice_free(&m, v);
}

TEST(Mixer, BudgetSilencesTheQuietestVoices) {
    Mixer m;
    mixer_init(&m, 22050, 1, 16, 16);
    const unsigned char s[10] = {144, 144, 144, 144, 144, 144, 144, 144, 144, 144}; // +16
    std::vector<Voice*> voices;
    int heard = 0, all = 0;
    for (int level = 1; level <= 20; level++) {
        // On mono the gain is (32767 + 32768) x volume / 2^26: find the volume for the level.
        int volume = (int)(((long long)level * 67108864 + 65534) / 65535);
        ASSERT_EQ(gain_left(volume, -32768), level);
        Voice* v = mixer_voice_create(&m, 10, s, 22050);
        mixer_voice_set_loop(&m, v, 1);
        mixer_voice_set_volume(&m, v, volume);
        mixer_voice_play(&m, v);
        voices.push_back(v);
        all += scaled(level, 144);
        if (level > 4) heard += scaled(level, 144);
    }
    ASSERT_NE(heard, all);
    std::vector<unsigned char> out = mix8(&m, 3);
    EXPECT_EQ(out[0], to_u8(heard));
    // The silent ones still moved on.
    for (Voice* v : voices) EXPECT_EQ(mixer_voice_position(&m, v), 3);
    for (Voice* v : voices) mixer_voice_free(&m, v);
}

TEST(Mixer, LoopingRateAndResampling) {
    Mixer m;
    mixer_init(&m, 22050, 1, 16, 16);
    unsigned char s[10];
    for (int i = 0; i < 10; i++) s[i] = (unsigned char)(100 + i);
    // Made at half the output rate: twice as long, nearest source sample.
    Voice* v = mixer_voice_create(&m, 10, s, 11025);
    ASSERT_EQ(v->block->length, 20);
    for (int i = 0; i < 20; i++)
        EXPECT_EQ(v->block->samples[i], s[std::min(9, (i * 11025 * 2 + 22050) / 44100)]) << i;
    // At twice the rate every other sample plays; a looping voice wraps.
    mixer_voice_set_rate(&m, v, 44100);
    mixer_voice_set_loop(&m, v, 1);
    mixer_voice_play(&m, v);
    std::vector<unsigned char> out = mix8(&m, 12);
    for (int i = 0; i < 12; i++)
        EXPECT_EQ(out[i], to_u8(scaled(31, v->block->samples[(2 * i) % 20]))) << i;
    EXPECT_EQ(mixer_voice_position(&m, v), 24 % 20);
    mixer_voice_free(&m, v);
}

TEST(Mixer, WriteWrapsAtTheEnd) {
    Mixer m;
    mixer_init(&m, 22050, 2, 16, 16);
    std::vector<unsigned char> zero(200, 128), data(250);
    for (int i = 0; i < 250; i++) data[i] = (unsigned char)i;
    Voice* v = mixer_voice_create(&m, 200, zero.data(), 22050);
    mixer_voice_write(&m, v, 100, data.data(), 200 - 40);
    for (int i = 0; i < 40; i++) EXPECT_EQ(v->block->samples[160 + i], i);
    for (int i = 0; i < 60; i++) EXPECT_EQ(v->block->samples[i], 40 + i);
    EXPECT_EQ(v->block->samples[60], 128);
    // More than the length: only the last 200 land, as if written from position 50.
    mixer_voice_write(&m, v, 250, data.data(), 0);
    for (int k = 0; k < 200; k++) EXPECT_EQ(v->block->samples[(50 + k) % 200], 50 + k);
    // A clone shares the samples.
    Voice* c = mixer_voice_clone(&m, v);
    EXPECT_EQ(c->block, v->block);
    EXPECT_EQ(v->block->refs, 2);
    mixer_voice_free(&m, v);
    EXPECT_EQ(c->block->refs, 1);
    mixer_voice_free(&m, c);
}

TEST(Mixer, VolumeAndPanAreClamped) {
    Mixer m;
    mixer_init(&m, 22050, 2, 16, 16);
    const unsigned char s[1] = {128};
    Voice* v = mixer_voice_create(&m, 1, s, 22050);
    mixer_voice_set_volume(&m, v, 99999);
    EXPECT_EQ(v->volume, 32767);
    mixer_voice_set_volume(&m, v, -5);
    EXPECT_EQ(v->volume, 0);
    mixer_voice_set_pan(&m, v, 40000);
    EXPECT_EQ(v->pan, 32767);
    mixer_voice_set_pan(&m, v, -40000);
    EXPECT_EQ(v->pan, -32768);
    mixer_voice_free(&m, v);
}

TEST(Mixer, MixaheadFragments) {
    EXPECT_EQ(mixer_mixahead_fragments(125), 8);
    EXPECT_EQ(8 * 1000 / 64, 125);
    EXPECT_EQ(mixer_mixahead_fragments(1000), 32);
    EXPECT_EQ(mixer_mixahead_fragments(5), 1);
    EXPECT_EQ(mixer_mixahead_fragments(0), 1);
}

TEST(Audio, ReadbackGivesSilenceAndPlaysVoices) {
    ASSERT_TRUE(audio_open_readback(88200, 690));
    ASSERT_TRUE(audio_is_open());
    EXPECT_EQ(audio_read_bytes(), 1380);
    const unsigned char* block = audio_read();
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 1380; i++) ASSERT_EQ(block[i], 0) << i;
    const unsigned char s[2] = {160, 96};
    Voice* v = voice_create(2, s, 44100);
    ASSERT_NE(v, nullptr);
    voice_set_loop(v, 1);
    voice_play(v);
    const int16_t* pcm = (const int16_t*)audio_read();
    int l = gain_left(32767, 0);
    EXPECT_EQ(pcm[0], scaled(l, 160) * 256);
    EXPECT_EQ(pcm[2], scaled(l, 96) * 256);
    voice_free(v);
    audio_close();
    EXPECT_FALSE(audio_is_open());
    EXPECT_EQ(audio_read(), nullptr);
}
