// What the player hears, measured on the mixed sound: the real program's "--record-audio" of a
// time trial (idling, then full throttle), two bikes passing the listener from left to right,
// a landing's thump, and the engines playing through an SDL device (its disk writer) at 60
// frames per second without the synthesis falling behind the player.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/harness.h"
#include "bike/step.h"
#include "bike/world.h"
#include "core/config.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "effects/engine_sound.h"
#include "platform/audio.h"
#include "platform/log.h"
#include "platform/options.h"
#include "support/test_env.h"

namespace {

const std::string DATA = std::string(VORNIX_BUILD_DIR) + "/data";
constexpr int RATE = 44100;

// Stereo samples, left and right.
struct Sound {
    std::vector<double> left, right;
    size_t frames() const { return left.size(); }
};

// Raw signed 16-bit native-endian stereo, as "--record-audio" writes it.
Sound from_recording(const std::string& bytes) {
    Sound s;
    const int16_t* v = (const int16_t*)bytes.data();
    for (size_t i = 0; i + 1 < bytes.size() / 2; i += 2) {
        s.left.push_back(v[i]);
        s.right.push_back(v[i + 1]);
    }
    return s;
}

double rms(const std::vector<double>& v, size_t from, size_t to) {
    double mean = 0, sum = 0;
    for (size_t i = from; i < to; i++) mean += v[i];
    mean /= (double)(to - from);
    for (size_t i = from; i < to; i++) sum += (v[i] - mean) * (v[i] - mean);
    return std::sqrt(sum / (double)(to - from));
}

// The fundamental (Hz) of both channels together over [from, to): the lag between 1/400 s and
// 1/15 s at which the signal is most like itself.
double fundamental(const Sound& s, size_t from, size_t to) {
    std::vector<double> m;
    for (size_t i = from; i < to; i++) m.push_back((s.left[i] + s.right[i]) / 2);
    double mean = 0;
    for (double v : m) mean += v;
    mean /= (double)m.size();
    for (double& v : m) v -= mean;
    int best = RATE / 400;
    double best_r = -1e300;
    for (int lag = RATE / 400; lag <= RATE / 15; lag++) {
        double r = 0;
        for (size_t i = 0; i + lag < m.size(); i++) r += m[i] * m[i + lag];
        r /= (double)(m.size() - lag);
        if (r > best_r) best_r = r, best = lag;
    }
    return (double)RATE / best;
}

// Median of the fundamentals of half-second windows over [t0, t1) seconds, and the level of
// both channels over the same span.
void measure(const Sound& s, double t0, double t1, double* f0, double* level) {
    std::vector<double> f;
    for (double t = t0; t + 0.5 <= t1 + 1e-9; t += 0.5)
        f.push_back(fundamental(s, (size_t)(t * RATE), (size_t)((t + 0.5) * RATE)));
    std::sort(f.begin(), f.end());
    *f0 = f[f.size() / 2];
    size_t a = (size_t)(t0 * RATE), b = (size_t)(t1 * RATE);
    *level = (rms(s.left, a, b) + rms(s.right, a, b)) / 2;
}

void sleep_seconds(double s) {
    timespec t{(time_t)s, (long)((s - (time_t)s) * 1e9)};
    nanosleep(&t, nullptr);
}

double now_seconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + t.tv_nsec * 1e-9;
}

// Bikes on a flat field with the generated bikes' files, and the readback mixer open.
class SoundScene : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!file_exists(DATA + "/crf250.pipeinfo")) GTEST_SKIP() << "no generated data";
        log_setup(("DRUV_LOGFILE=" + test_dir() + "/log.txt").c_str());
        g_settings = Settings{};
        g_settings.headless = 1;
        setenv("QZ_HOME", DATA.c_str(), 1);
        data_reset();
        bikes_reset();
        engine_sounds_reset();
        harness_open();
        ASSERT_EQ(harness_flat_track(2048), 1);
    }
    void TearDown() override {
        for (EngineSound* s : sounds) engine_sound_free(s);
        sounds.clear();
        audio_close();
        harness_close();
        options_reset();
        g_settings = Settings{};
        config_reset();
    }
    // Updates every sound for a frame heard from `ear`, then mixes `ticks` ticks of sound.
    void frame(const EngineListener& ear, int ticks, Sound* out) {
        for (size_t i = 0; i < sounds.size(); i++)
            engine_sound_update(g_harness.bikes[i], sounds[i], 1.0f, ear);
        audio_commit();
        for (int t = 0; t < ticks; t++) {
            const int16_t* v = (const int16_t*)audio_read();
            ASSERT_NE(v, nullptr);
            for (int k = 0; k < audio_read_bytes() / 4; k++) {
                out->left.push_back(v[2 * k]);
                out->right.push_back(v[2 * k + 1]);
            }
        }
    }
    std::vector<EngineSound*> sounds;
};

} // namespace

TEST(SoundRecording, ATimeTrialIsHeardIdlingAndLouderAndHigherUnderThrottle) {
    if (!file_exists(DATA + "/rabbithill/terrain.hf")) GTEST_SKIP() << "no generated data";
    // The throttle opens at 2.5 s; the run keeps real time, so the script's seconds are the
    // recording's.
    write_file("keys.txt", "2.5 press x\n");
    RunResult r = run_command("QZ_HOME='" + DATA + "' " + std::string(VORNIX_BIN) +
                              " --headless --time-trial --quit-after 7 --script keys.txt "
                              "--record-audio engine.raw");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string bytes = read_file(test_dir() + "/engine.raw");
    // One block of 690 samples (1380 bytes) per tick.
    ASSERT_EQ(bytes.size() % 1380, 0u);
    ASSERT_GE(bytes.size(), (size_t)1380 * 128 * 7);
    Sound s = from_recording(bytes);
    double idle_f0, idle_level, open_f0, open_level;
    measure(s, 0.5, 2.5, &idle_f0, &idle_level);
    measure(s, 4.0, 7.0, &open_f0, &open_level);
    RecordProperty("idle_level", (int)idle_level);
    RecordProperty("idle_hz", (int)idle_f0);
    RecordProperty("throttle_level", (int)open_level);
    RecordProperty("throttle_hz", (int)open_f0);
    printf("idle: level %.0f, %.1f Hz; full throttle: level %.0f, %.1f Hz\n", idle_level, idle_f0,
           open_level, open_f0);
    // Idling is heard: a four-stroke below 2400 rpm fires at the floor of 20 per second.
    EXPECT_GT(idle_level, 500);
    EXPECT_NEAR(idle_f0, 20, 2);
    // Under throttle: louder, and the firings come several times faster.
    EXPECT_GT(open_level, idle_level * 1.3);
    EXPECT_GT(open_f0, idle_f0 * 3);
    // Heard from the rider's own head: both sides alike.
    double l = rms(s.left, 4 * RATE, 7 * RATE), rr = rms(s.right, 4 * RATE, 7 * RATE);
    EXPECT_NEAR(l / rr, 1.0, 0.15);
}

TEST_F(SoundScene, TwoBikesPassingTheListenerPanFromLeftToRight) {
    ASSERT_EQ(audio_open_readback(88200, 690), 1);
    // Two bikes 12 and 20 feet in front of a listener facing -z (its right is +x) ride from
    // 120 feet on its left to 120 feet on its right at 60 ft/s, one 16 feet behind the other.
    Bike* a = harness_add_bike("crf250(2009)", 1024 - 120, 1012, 0);
    Bike* b = harness_add_bike("yz125", 1024 - 136, 1004, 0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    for (Bike* bike : {a, b}) {
        EngineSound* s = engine_sound_create(bike, nullptr);
        ASSERT_NE(s, nullptr);
        sounds.push_back(s);
    }
    EngineListener ear;
    ear.eye[0] = 1024, ear.eye[1] = 5, ear.eye[2] = 1024;
    Sound out;
    const int frames = 4 * 64; // 4 s at 64 frames per second, two ticks each
    for (int f = 0; f < frames; f++) {
        for (Bike* bike : {a, b}) bike_translate(bike, 60.0f / 64, 0, 0);
        frame(ear, 2, &out);
    }
    // Left louder than right while they come, right louder once they have passed.
    size_t q = out.frames() / 8;
    double early_l = rms(out.left, q / 2, q * 2), early_r = rms(out.right, q / 2, q * 2);
    double late_l = rms(out.left, q * 6, q * 8), late_r = rms(out.right, q * 6, q * 8);
    printf("coming: left %.0f right %.0f; gone: left %.0f right %.0f\n", early_l, early_r, late_l,
           late_r);
    EXPECT_GT(early_l, early_r * 2);
    EXPECT_GT(late_r, late_l * 2);
    // Loudest as they pass in front.
    double passing = rms(out.left, q * 3, q * 5) + rms(out.right, q * 3, q * 5);
    EXPECT_GT(passing, early_l + early_r);
    EXPECT_GT(passing, late_l + late_r);
}

TEST_F(SoundScene, ALandingThumpsUnlessImpactSoundsAreOff) {
    ASSERT_EQ(audio_open_readback(88200, 690), 1);
    for (int on : {1, 0}) {
        g_config.impact_sounds.current = on ? YES : NO;
        Bike* bike =
            g_harness.bikes.empty() ? harness_add_bike(nullptr, 1024, 1024, 0) : g_harness.bikes[0];
        ASSERT_NE(bike, nullptr);
        harness_place(bike, 1024, 1024, 0);
        if (sounds.empty()) sounds.push_back(engine_sound_create(bike, nullptr));
        ASSERT_NE(sounds[0], nullptr);
        EngineListener ear;
        ear.eye[0] = 1034, ear.eye[1] = 5, ear.eye[2] = 1024;
        // Settle on the ground, then drop from 12 feet.
        Sound out;
        for (int t = 0; t < 64; t++) {
            harness_tick();
            if (t % 2) frame(ear, 2, &out);
        }
        bike_translate(bike, 0, 12, 0);
        bool thumped = false;
        for (int t = 0; t < 160; t++) {
            harness_tick();
            if (t % 2 == 0) continue;
            frame(ear, 2, &out);
            thumped |= sounds[0]->land_voice && sounds[0]->land_voice->playing;
        }
        EXPECT_EQ(thumped, on == 1) << on;
    }
}

TEST_F(SoundScene, EnginesPlayThroughTheDeviceWithoutFallingBehindAt60Fps) {
    // SDL's disk writer stands in for a sound card: it takes the mixed stream at the device's
    // pace and keeps it in a file.
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (test_dir() + "/device.raw").c_str(), 1);
    int opened = audio_open(nullptr);
    unsetenv("SDL_AUDIODRIVER");
    if (!opened) GTEST_SKIP() << "SDL has no disk audio writer here";
    for (int i = 0; i < 8; i++) {
        Bike* bike = harness_add_bike(i % 2 ? "kx125" : "rmz250(2009)", 1000 + 6.0f * i, 1024, 0);
        ASSERT_NE(bike, nullptr);
        sounds.push_back(engine_sound_create(bike, nullptr));
        ASSERT_NE(sounds.back(), nullptr);
        bike_set_clutch(bike, 1);
        bike_set_throttle(bike, 0.3f);
    }
    EngineListener ear;
    ear.eye[0] = 1020, ear.eye[1] = 5, ear.eye[2] = 1030;
    // 3 s of frames at 60 per second, each with its ticks of simulation.
    double next = now_seconds(), ticks = 0;
    for (int f = 0; f < 180; f++) {
        for (size_t i = 0; i < sounds.size(); i++)
            engine_sound_update(g_harness.bikes[i], sounds[i], 1.0f, ear);
        audio_commit();
        for (ticks += 128.0 / 60; ticks >= 1; ticks--) harness_tick();
        next += 1.0 / 60;
        double wait = next - now_seconds();
        if (wait > 0) sleep_seconds(wait);
    }
    for (EngineSound* s : sounds) {
        EXPECT_TRUE(s->settled);
        EXPECT_EQ(s->late, 0);
    }
    for (EngineSound* s : sounds) engine_sound_free(s);
    sounds.clear();
    audio_close();
    // The device played the engines: 8-bit unsigned samples around 128, not silence.
    std::string played = read_file(test_dir() + "/device.raw");
    ASSERT_GT(played.size(), 22050u);
    int loud = 0;
    for (unsigned char c : played) loud += c < 128 - 8 || c > 128 + 8;
    EXPECT_GT(loud, (int)played.size() / 20);
}
