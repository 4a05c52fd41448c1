// Engine sound: wave tables and default pipes, ".pipeinfo" reading and lookup, the firing
// rates, the samples made ahead of the player, Doppler, distance and pan, and the voice it
// plays through.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "effects/engine_sound.h"
#include "platform/audio.h"
#include "platform/log.h"
#include "platform/random.h"
#include "support/test_env.h"

namespace {

constexpr double PI = 3.14159265358979323846;

// The delay a tap of this length gets, as stored: 32768 minus the round trip in samples.
int stored_delay(double length) {
    return 32768 - (int)(length / 1140.63 * 44100 * 2);
}

// A sound's synthesis state without a voice.
std::unique_ptr<EngineSound> bare_sound(int two_stroke) {
    std::unique_ptr<EngineSound> s(new EngineSound());
    engine_sound_init(s.get(), engine_params_default(two_stroke));
    return s;
}

// Firings per second at a steady engine speed, counted over `seconds` after a second to
// settle (the first firing comes at the starting rate of 10 per second).
double firing_rate(int two_stroke, float rpm, double seconds) {
    std::unique_ptr<EngineSound> s = bare_sound(two_stroke);
    EngineDrive d{rpm, 0.5f, 3.0f};
    for (int i = 0; i < 10; i++) engine_sound_synthesize(s.get(), 4410, d);
    int before = s->firings;
    int batches = (int)(seconds * 10);
    for (int i = 0; i < batches; i++) engine_sound_synthesize(s.get(), 4410, d);
    return (s->firings - before) / seconds;
}

EngineParams params_of(int two_stroke) {
    return *engine_params_default(two_stroke);
}

} // namespace

TEST(EngineSound, WaveTablesFollowTheirFormulas) {
    engine_sounds_reset();
    const EngineParams* four = engine_params_default(0);
    const EngineParams* two = engine_params_default(1);
    for (int i : {0, 1, 100, 255, 256, 300, 512, 700, 1023}) {
        double x = i / 1023.0;
        double f = (std::fabs(std::sin(3 * PI * x + 0.5246)) - 0.5) * 0.5;
        double t = 0;
        if (x < 0.25) {
            f += std::sin(16 * PI * x) * (1 - 4 * x);
            t = std::sin(8 * PI * x) * (1 - 4 * x);
        }
        EXPECT_NEAR(four->wave[i], f, 1e-6) << i;
        EXPECT_NEAR(two->wave[i], t, 1e-6) << i;
    }
    EXPECT_EQ(four->firings_per_rev, 0.5f);
    EXPECT_EQ(two->firings_per_rev, 1.0f);
    EXPECT_EQ(four->misfire_low, -2.5f);
    EXPECT_EQ(two->misfire_high, 3.5f);
    EXPECT_EQ(four->closed_amplitude, 0.5f);
    EXPECT_EQ(two->closed_amplitude, 0.75f);
}

TEST(EngineSound, DefaultPipesSpreadSixteenTapsFromTheirLength) {
    // Four-stroke: L 5, S 0.9182072, G -0.85 over taps 0..15; two-stroke: 1.75, 0.3, -0.75.
    struct Pipe {
        int two;
        double L, S, G;
    };
    for (Pipe p : {Pipe{0, 5.0, 0.9182072, -0.85}, Pipe{1, 1.75, 0.3, -0.75}}) {
        EngineParams e = params_of(p.two);
        double m = std::min(p.L, p.S), v = 1.0 / 15;
        for (int i = 0; i < 16; i++) {
            double length = (float)p.L - (i + v * v * i * i) * (float)m / 16;
            EXPECT_EQ(e.tap_delay[i], stored_delay(length)) << p.two << " tap " << i;
            EXPECT_FLOAT_EQ(e.tap_gain[i], (float)(p.G / 16)) << i;
        }
        // From length L at the first tap to L - min(L, S) at the last.
        EXPECT_EQ(e.tap_delay[0], stored_delay((float)p.L));
        EXPECT_NEAR(e.tap_delay[15], stored_delay(p.L - m), 1);
    }
}

TEST(EngineSound, PipeLinesConfigureTheirTaps) {
    EngineParams p = params_of(0);
    // A single tap takes the length and the whole gain; the others are silent.
    EXPECT_EQ(engine_pipe_read(&p, "pipe 2 0.5 -0.5 3 3\n", 20, "t"), 1);
    for (int i = 0; i < 16; i++) {
        if (i == 3) {
            EXPECT_EQ(p.tap_delay[i], stored_delay(2.0));
            EXPECT_FLOAT_EQ(p.tap_gain[i], -0.5f);
        } else {
            EXPECT_EQ(p.tap_gain[i], 0.0f) << i;
        }
    }
    // Only comments: every tap silent.
    p = params_of(0);
    const std::string comments = "# nothing but notes\n   # pipe 3 1 -1 0 15\n#\n";
    EXPECT_EQ(engine_pipe_read(&p, comments.data(), comments.size(), "t"), 0);
    for (int i = 0; i < 16; i++) EXPECT_EQ(p.tap_gain[i], 0.0f);
    // "pipe" alone takes every default: the four-stroke's own pipe. A comment after the values
    // is cut off; lines not starting with "pipe" are ignored.
    p = params_of(1);
    const std::string plain = "muffler 1 2 3\n pipe 1 1 1\npipe # the defaults\n";
    EXPECT_EQ(engine_pipe_read(&p, plain.data(), plain.size(), "t"), 1);
    EngineParams four = params_of(0);
    for (int i = 0; i < 16; i++) {
        EXPECT_EQ(p.tap_delay[i], four.tap_delay[i]) << i;
        EXPECT_EQ(p.tap_gain[i], four.tap_gain[i]) << i;
    }
    // Missing fields at the end take their defaults (spread 0.9182072, gain -0.85, taps 0..15);
    // a field that does not read ends the line's values there.
    p = params_of(0);
    const std::string partial = "pipe 4 0.5\npipe 3 x 9 9 9\n";
    EXPECT_EQ(engine_pipe_read(&p, partial.data(), partial.size(), "t"), 2);
    // The second line wins: L 3 with the other defaults.
    double m = 0.9182072, v = 1.0 / 15;
    for (int i = 0; i < 16; i++) {
        EXPECT_EQ(p.tap_delay[i], stored_delay(3.0f - (i + v * v * i * i) * (float)m / 16)) << i;
        EXPECT_FLOAT_EQ(p.tap_gain[i], -0.85f / 16);
    }
    // Taps are clamped: a last below first gives one tap at first, negatives give 0, and 99
    // gives 15.
    p = params_of(0);
    const std::string taps = "pipe 2 1 -0.4 7 2\n";
    engine_pipe_read(&p, taps.data(), taps.size(), "t");
    for (int i = 0; i < 16; i++) EXPECT_EQ(p.tap_gain[i], i == 7 ? -0.4f : 0.0f) << i;
    const std::string wide = "pipe 2 1 -0.4 -5 99\n";
    engine_pipe_read(&p, wide.data(), wide.size(), "t");
    for (int i = 0; i < 16; i++) EXPECT_FLOAT_EQ(p.tap_gain[i], -0.4f / 16) << i;
}

TEST(EngineSound, BadPipeValuesAreSkippedOrHeldWithALogLine) {
    log_setup(("DRUV_LOGFILE=" + test_dir() + "/log.txt").c_str());
    EngineParams p = params_of(0);
    const char raw[] = "pipe nan 1 -0.5 0 15\npipe 2 1 inf\npipe 1e30 -7 -50 0 0\n"
                       "pipe 2 1 -0.5 99999999999999999999 -99999999999999999999\n"
                       "\xff\xfe pipe\0pipe 1 1\n";
    const std::string bad(raw, sizeof raw - 1);
    int applied = engine_pipe_read(&p, bad.data(), bad.size(), "@junk.pipeinfo");
    EXPECT_EQ(applied, 2);
    // Every delay is a real delay inside the ring, every gain within -1..1.
    for (int i = 0; i < 16; i++) {
        EXPECT_GE(p.tap_delay[i], 1) << i;
        EXPECT_LE(p.tap_delay[i], 32767) << i;
        EXPECT_TRUE(std::isfinite(p.tap_gain[i]));
        EXPECT_LE(std::fabs(p.tap_gain[i]), 1.0f);
    }
    // The huge line was held (length 400, spread 0, gain -1 on tap 0), and the saturated taps
    // gave one tap at 15.
    EXPECT_EQ(p.tap_delay[0], stored_delay(400));
    EXPECT_FLOAT_EQ(p.tap_gain[0], -1.0f);
    EXPECT_FLOAT_EQ(p.tap_gain[15], -0.5f);
    std::string log = read_file(test_dir() + "/log.txt");
    EXPECT_NE(log.find("@junk.pipeinfo line 1"), std::string::npos) << log;
    EXPECT_NE(log.find("@junk.pipeinfo line 2"), std::string::npos) << log;
    EXPECT_NE(log.find("@junk.pipeinfo line 3"), std::string::npos) << log;
    // Synthesis with the worst pipe allowed never leaves the sample range.
    std::unique_ptr<EngineSound> s = bare_sound(0);
    for (int i = 0; i < 16; i++) s->params.tap_gain[i] = -1, s->params.tap_delay[i] = 32767;
    EngineDrive d{9000, 1, 10};
    for (int k = 0; k < 20; k++) engine_sound_synthesize(s.get(), 8820, d);
    for (float v : s->ring) ASSERT_TRUE(v >= -16 && v <= 16);
    // A broken engine state still gives a sound at the slowest rate.
    EngineDrive broken{std::nanf(""), std::nanf(""), INFINITY};
    engine_sound_synthesize(s.get(), 8820, broken);
    EXPECT_EQ(s->firing_rate, 20.0f);
}

TEST(EngineSound, PipeFilesAreFoundByTheGraphicsName) {
    std::string game = test_game_dir() + "/";
    write_file(game + "bikes/crf250.pipeinfo", "pipe 2 1 -0.5 4 4\n");
    write_file(game + "default250f.pipeinfo", "pipe 3 1 -0.25 6 6\n");
    write_file(game + "default125.pipeinfo", "# silent\n");
    data_rescan();
    EngineParams p = params_of(0);
    // The variant's own file is missing; cutting at the last "-" finds the model's.
    EXPECT_EQ(engine_pipe_load(&p, "@bikes/crf250-blue-2.png", 0), 1);
    EXPECT_FLOAT_EQ(p.tap_gain[4], -0.5f);
    // Dots and dashes before the last "/" do not count: then the engine kind's default.
    p = params_of(0);
    EXPECT_EQ(engine_pipe_load(&p, "@odd-folder.v2/none", 0), 1);
    EXPECT_FLOAT_EQ(p.tap_gain[6], -0.25f);
    p = params_of(1);
    EXPECT_EQ(engine_pipe_load(&p, "@nothing-red.png", 1), 1);
    for (int i = 0; i < 16; i++) EXPECT_EQ(p.tap_gain[i], 0.0f);
    // Nothing to open leaves the record as it was.
    std::remove((game + "default250f.pipeinfo").c_str());
    data_rescan();
    p = params_of(0);
    EXPECT_EQ(engine_pipe_load(&p, "@yz250f.png", 0), 0);
    EngineParams four = params_of(0);
    for (int i = 0; i < 16; i++) EXPECT_EQ(p.tap_gain[i], four.tap_gain[i]);
}

TEST(EngineSound, FiringRatesFollowTheEngineSpeed) {
    rand15_seed(7);
    // 6000 rpm: a four-stroke fires every other turn, 50 times a second plus up to 1/32 of
    // jitter; a two-stroke every turn.
    double four = firing_rate(0, 6000, 4);
    EXPECT_GE(four, 50 - 0.5);
    EXPECT_LE(four, 50 * (1 + 1.0 / 32) + 0.5);
    double two = firing_rate(1, 6000, 4);
    EXPECT_GE(two, 100 - 0.5);
    EXPECT_LE(two, 100 * (1 + 1.0 / 32) + 0.5);
    // A stopped engine still pulses 20 times a second.
    EXPECT_NEAR(firing_rate(0, 0, 4), 20, 0.5);
    EXPECT_NEAR(firing_rate(1, 0, 4), 20, 0.5);
}

TEST(EngineSound, TheRawPulseTrainIsHeardWithoutAPipe) {
    // A two-stroke pulse is silent over the last three quarters of its table, so with every
    // tap silent most samples are exactly 0; the default pipe's echoes fill them.
    rand15_seed(3);
    std::unique_ptr<EngineSound> bare = bare_sound(1);
    const std::string comments = "# no pipe\n";
    engine_pipe_read(&bare->params, comments.data(), comments.size(), "t");
    std::unique_ptr<EngineSound> piped = bare_sound(1);
    EngineDrive d{3000, 1, 5};
    int zeros_bare = 0, zeros_piped = 0, loud_bare = 0;
    for (int k = 0; k < 10; k++) {
        engine_sound_synthesize(bare.get(), 4410, d);
        engine_sound_synthesize(piped.get(), 4410, d);
        if (k < 2) continue;
        for (int i = 0; i < 4410; i++) {
            zeros_bare += bare->bytes[i] == 127;
            zeros_piped += piped->bytes[i] == 127;
            loud_bare += bare->bytes[i] > 127 + 60 || bare->bytes[i] < 127 - 60;
        }
    }
    EXPECT_GT(zeros_bare, 8 * 4410 * 7 / 10);
    EXPECT_LT(zeros_piped, 8 * 4410 / 10);
    EXPECT_GT(loud_bare, 100); // the pulses themselves are there
    // Samples become bytes as round(s x 127 + 127), held to 0..255.
    for (int i = 0; i < 4410; i++) {
        int idx = (bare->write - 4410 + i) & 32767;
        float x = bare->ring[idx] * 127 + 127;
        int want = x <= 0 ? 0 : (x >= 255 ? 255 : (int)(x + 0.5f));
        ASSERT_EQ(bare->bytes[i], want) << i;
    }
}

TEST(EngineSound, EachUpdateWritesUpToATenthOfASecondAheadOfThePlayer) {
    // (play - write + 37178) mod 32768, at most 8820.
    EXPECT_EQ(engine_sound_batch(0, 4410), 0);
    EXPECT_EQ(engine_sound_batch(1000, 4410), 1000);
    EXPECT_EQ(engine_sound_batch(0, 0), 4410);
    EXPECT_EQ(engine_sound_batch(32000, 500), (32000 - 500 + 37178) % 32768);
    EXPECT_EQ(engine_sound_batch(0, 11025), 8820);
    EXPECT_EQ(engine_sound_batch(20000, 100), 8820);
    // Synthesis moves the write position on by the count, wrapping at the ring's end.
    std::unique_ptr<EngineSound> s = bare_sound(0);
    EXPECT_EQ(s->write, 11025);
    EXPECT_EQ(s->firing_rate, 10.0f);
    EXPECT_EQ(s->amplitude, 0.0f);
    EngineDrive d{5000, 0, 0};
    EXPECT_EQ(engine_sound_synthesize(s.get(), 8820, d), 11025);
    EXPECT_EQ(s->write, 11025 + 8820);
    engine_sound_synthesize(s.get(), 8820, d);
    engine_sound_synthesize(s.get(), 8820, d);
    EXPECT_EQ(s->write, (11025 + 3 * 8820) % 32768);
}

TEST(EngineSound, DopplerDistanceAndPanFollowTheListener) {
    EngineVoiceSettings vs;
    EngineListener ear;
    const float still[3] = {0, 0, 0};
    // A listener on the bike (closer than 1/32 foot) hears it as it is, full volume, centred.
    const float here[3] = {0.01f, 0.01f, 0};
    const float fast[3] = {80, 0, 0};
    engine_voice_settings(here, fast, ear, 1.0f, &vs);
    EXPECT_EQ(vs.rate, 44100);
    EXPECT_EQ(vs.pan, 0);
    EXPECT_EQ(vs.volume, 32767);
    // Approaching at 100 ft/s from 10 feet ahead: 1 / (1 - 100 / 1140.63) of the pitch; going
    // away the other way; a listener running toward a still source hears 1 + 100 / 1140.63.
    const float ahead[3] = {0, 0, -10}, toward[3] = {0, 0, 100}, away[3] = {0, 0, -100};
    engine_voice_settings(ahead, toward, ear, 1.0f, &vs);
    EXPECT_NEAR(vs.rate, 44100 / (1 - 100 / 1140.63), 1);
    engine_voice_settings(ahead, away, ear, 1.0f, &vs);
    EXPECT_NEAR(vs.rate, 44100 / (1 + 100 / 1140.63), 1);
    ear.velocity[2] = -100;
    engine_voice_settings(ahead, still, ear, 1.0f, &vs);
    EXPECT_NEAR(vs.rate, 44100 * (1 + 100 / 1140.63), 1);
    ear.velocity[2] = 0;
    // Near the speed of sound the factor stops at the limit.
    const float sonic[3] = {0, 0, 1100}, supersonic[3] = {0, 0, 3000};
    engine_voice_settings(ahead, sonic, ear, 1.0f, &vs);
    EXPECT_EQ(vs.rate, (int)(44100 * ENGINE_DOPPLER_LIMIT));
    engine_voice_settings(ahead, supersonic, ear, 1.0f, &vs);
    EXPECT_EQ(vs.rate, (int)(44100 * ENGINE_DOPPLER_LIMIT));
    // Distance: g = 1 + (d - 1) / 48; at 49 feet half the volume.
    const float far[3] = {0, 0, -49};
    engine_voice_settings(far, still, ear, 0.5f, &vs);
    EXPECT_EQ(vs.volume, (int)(0.5 * 32767 / 2.0));
    // Pan: -(n . right) x 32767 with n from the bike to the listener.
    const float right[3] = {10, 0, 0}, left[3] = {-10, 0, 0}, front_left[3] = {-10, 0, -10};
    engine_voice_settings(right, still, ear, 1.0f, &vs);
    EXPECT_EQ(vs.pan, 32767);
    engine_voice_settings(left, still, ear, 1.0f, &vs);
    EXPECT_EQ(vs.pan, -32767);
    engine_voice_settings(front_left, still, ear, 1.0f, &vs);
    EXPECT_NEAR(vs.pan, -32767 / std::sqrt(2.0), 1);
    // A turned listener: its right axis decides.
    ear.right[0] = 0, ear.right[2] = 1;
    engine_voice_settings(right, still, ear, 1.0f, &vs);
    EXPECT_EQ(vs.pan, 0);
    // Level 0 silences; a broken position neither crashes nor shouts.
    engine_voice_settings(right, still, ear, 0.0f, &vs);
    EXPECT_EQ(vs.volume, 0);
    const float nowhere[3] = {std::nanf(""), 0, 0};
    engine_voice_settings(nowhere, still, ear, 1.0f, &vs);
    EXPECT_GE(vs.rate, 100);
    EXPECT_LE(vs.rate, 1000000);
    EXPECT_GE(vs.volume, 0);
    EXPECT_LE(vs.volume, 32767);
}

TEST(EngineSound, NoAudioMeansNoVoiceAndNothingBreaks) {
    ASSERT_FALSE(audio_is_open());
    EXPECT_EQ(audio_output_rate(), 0);
    // Without a bike or audio there is no sound; updating or freeing none is harmless.
    EXPECT_EQ(engine_sound_create(nullptr, nullptr), nullptr);
    EngineListener ear;
    engine_sound_update(nullptr, nullptr, 1.0f, ear);
    engine_sound_free(nullptr);
    // The recording back end plays voices at 44100 Hz: a voice made at the output rate is not
    // resampled, so the engine's ring keeps its 32768 samples.
    ASSERT_EQ(audio_open_readback(88200, 690), 1);
    EXPECT_EQ(audio_output_rate(), 44100);
    std::vector<unsigned char> silence(32768, 128);
    Voice* v = voice_create(32768, silence.data(), audio_output_rate());
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->block->length, 32768);
    voice_free(v);
    audio_close();
}
