#include <gtest/gtest.h>

#include <cstring>

#include "platform/input.h"
#include "platform/window.h"

namespace {

// A fake game device: fixed axis values, counts of opens and closes.
struct FakeDevice {
    int opens = 0, closes = 0;
    int values[4] = {0, 0, 0, 0};
};
FakeDevice g_fake;
int fake_activate(InputDevice*) {
    return 0;
}
int fake_open(InputDevice*) {
    return ++g_fake.opens, 1;
}
void fake_close(InputDevice*) {
    g_fake.closes++;
}
int fake_read(InputDevice*, int i) {
    return g_fake.values[i];
}
void fake_poll(InputDevice*) {}
void fake_destroy(InputDevice*) {}
const InputDeviceOps FAKE_OPS = {fake_activate, fake_open, fake_close,
                                 fake_read,     fake_poll, fake_destroy};

// The device id rule worked out from its description.
int expected_id(const char* name) {
    unsigned s0 = 0, s1 = 0;
    for (size_t i = 0; i < strlen(name); i++) {
        if (i % 2 == 0)
            s0 = (s0 + (unsigned char)name[i]) % 65536;
        else
            s1 = (s1 + (unsigned char)name[i]) % 256;
    }
    return (int)(((s0 + 256 * s1) % 32768) * 65536);
}

struct WindowFixture : ::testing::Test {
    GameWindow* w = nullptr;
    void SetUp() override {
        g_fake = FakeDevice{};
        w = window_open_headless();
    }
    void TearDown() override { window_close(w); }
};

int code_of(GameWindow* w, const char* name) {
    int code = -1;
    return key_code(w, &code, name) ? code : -1;
}

} // namespace

TEST(KeyNames, BuiltInNamesByExactAndLooseMatch) {
    EXPECT_EQ(code_of(nullptr, "right ctrl"), 4096 + 285);
    EXPECT_EQ(code_of(nullptr, "Right Ctrl"), 4381);
    EXPECT_EQ(code_of(nullptr, "right_ctrl"), 4381);
    EXPECT_EQ(code_of(nullptr, "left"), 4427);
    EXPECT_EQ(code_of(nullptr, "pause"), 4165);
    EXPECT_EQ(code_of(nullptr, "\\"), 4139);
    EXPECT_EQ(code_of(nullptr, "/"), 4149);
    EXPECT_EQ(code_of(nullptr, "x"), 4096 + 45);
    EXPECT_EQ(code_of(nullptr, "keypad enter"), 4096 + 284);
    // "return" names the same key as "enter", whose name stays the one shown.
    EXPECT_EQ(code_of(nullptr, "return"), 4096 + 28);
    EXPECT_EQ(code_of(nullptr, "Return"), code_of(nullptr, "enter"));
    EXPECT_EQ(code_of(nullptr, "keypad return"), 4096 + 284);
    EXPECT_STREQ(key_name(nullptr, 4096 + 28), "Enter");
    EXPECT_EQ(code_of(nullptr, "Space"), 4096 + 57);
    EXPECT_EQ(code_of(nullptr, " "), 4096 + 57);
    EXPECT_EQ(code_of(nullptr, "Close"), 57005);
    EXPECT_EQ(code_of(nullptr, "mouse left"), 8192);
    EXPECT_EQ(code_of(nullptr, "no such key"), -1);
}

TEST(KeyNames, HexScanCodes) {
    EXPECT_EQ(code_of(nullptr, "0x1c"), 4124);
    EXPECT_EQ(code_of(nullptr, "0x1ff"), 4096 + 511);
    EXPECT_EQ(code_of(nullptr, "0x200"), -1);
    EXPECT_EQ(code_of(nullptr, "0x"), -1);
    EXPECT_EQ(code_of(nullptr, "0x1cz"), -1);
}

TEST(KeyNames, NamesOfCodes) {
    EXPECT_STREQ(key_name(nullptr, 4381), "Right Ctrl");
    EXPECT_STREQ(key_name(nullptr, 4096 + 57), "Space");  // the first of its two names
    EXPECT_STREQ(key_name(nullptr, 4096 + 0x46), "0x46"); // not in the table
    EXPECT_STREQ(key_name(nullptr, 57005), "Close");
    EXPECT_STREQ(key_name(nullptr, 8194), "Mouse Right");
    EXPECT_EQ(key_name(nullptr, 'a'), nullptr); // typed characters have no name
    EXPECT_EQ(key_name(nullptr, 4096 + 512), nullptr);
    // Names are interned: the same pointer every time.
    EXPECT_EQ(key_name(nullptr, 4381), key_name(nullptr, 4381));
}

TEST_F(WindowFixture, DeviceButtonsInBothForms) {
    InputDevice* d = input_device_add(w, "Joystick 1", &FAKE_OPS, 2, 8, 0);
    EXPECT_EQ(d->name, "Joystick1");
    EXPECT_EQ(d->id, expected_id("Joystick1"));
    EXPECT_EQ(code_of(w, "Joystick1.key[3]"), d->id + 3);
    EXPECT_EQ(code_of(w, "Joystick1 button 3"), d->id + 3);
    EXPECT_STREQ(key_name(w, d->id + 3), "Joystick1 button 3");
    EXPECT_EQ(code_of(w, "Joystick1.key[8]"), -1); // only 8 buttons
    EXPECT_EQ(code_of(w, "Joystick2.key[0]"), -1);
    EXPECT_EQ(key_name(w, d->id + 8), nullptr);
    // The aliases reach the first joystick.
    EXPECT_EQ(code_of(w, "joystick-a-2"), d->id + 1);
}

TEST_F(WindowFixture, RepeatedDeviceNamesAndIds) {
    InputDevice* a = input_device_add(w, "USB Joystick", &FAKE_OPS, 2, 4, 0);
    InputDevice* b = input_device_add(w, "USB Joystick", &FAKE_OPS, 2, 4, 0);
    InputDevice* c = input_device_add(w, "USB. Joystick", &FAKE_OPS, 2, 4, 0);
    EXPECT_EQ(a->name, "USBJoystick");
    EXPECT_EQ(b->name, "USBJoystick#2");
    EXPECT_EQ(c->name, "USBJoystick#3");
    EXPECT_EQ(a->id, expected_id("USBJoystick"));
    EXPECT_NE(a->id, b->id);
    EXPECT_EQ(a->id % 65536, 0);
    // A taken id moves on by 65536.
    InputDevice* taken = input_device_add(w, "Pad", &FAKE_OPS, 0, 1, 0);
    taken->id = expected_id("Copy");
    EXPECT_EQ(input_device_id("Copy", w->input.devices), expected_id("Copy") + 65536);
}

TEST_F(WindowFixture, AxesByNameAndTheCursor) {
    InputDevice* d = input_device_add(w, "Wheel", &FAKE_OPS, 3, 2, 0);
    (void)d;
    g_fake.values[1] = -1234;
    Axis* a = axis_open(w, "Wheel.axis[1]");
    Axis* b = axis_open(w, "Wheel axis 1");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(axis_read(a), -1234);
    EXPECT_EQ(g_fake.opens, 1); // opened with the first handle only
    EXPECT_EQ(axis_open(w, "Wheel.axis[3]"), nullptr);
    EXPECT_EQ(axis_open(w, "Wheel.axis[-1]"), nullptr);
    axis_close(a);
    EXPECT_EQ(g_fake.closes, 0);
    axis_close(b);
    EXPECT_EQ(g_fake.closes, 1);

    w->input.cursor_x = 320;
    w->input.cursor_y = 200;
    Axis* cx = axis_open(w, "cursor-x");
    Axis* cy = axis_open(w, "cursor-y");
    ASSERT_NE(cx, nullptr);
    ASSERT_NE(cy, nullptr);
    EXPECT_EQ(axis_read(cx), 320);
    EXPECT_EQ(axis_read(cy), 200);
    axis_close(cx);
    axis_close(cy);
}

TEST_F(WindowFixture, DeviceButtonEventsOnlyOnChange) {
    InputDevice* d = input_device_add(w, "Pad", &FAKE_OPS, 0, 4, 0);
    input_device_button(d, 2, 1, 5, 0);
    input_device_button(d, 2, 1, 5, 1000); // no change: no event
    input_device_button(d, 2, 0, 5, 2000);
    int code, pressed;
    ASSERT_TRUE(event_next(w, &code, &pressed));
    EXPECT_EQ(code, d->id + 2);
    EXPECT_EQ(pressed, 1);
    ASSERT_TRUE(event_next(w, &code, &pressed));
    EXPECT_EQ(pressed, 0);
    EXPECT_FALSE(event_next(w, &code, &pressed));
}

TEST(EventQueue, FullQueueDropsNewEvents) {
    EventQueue q;
    for (int i = 0; i < EVENT_QUEUE_SIZE; i++)
        EXPECT_TRUE(event_queue_push(&q, 4096 + i, 1, 1, i * 1000));
    EXPECT_FALSE(event_queue_push(&q, 9999, 1, 2, 0)); // the 257th
    int code, pressed, n = 0;
    while (event_queue_pop(&q, &code, &pressed, 1e9)) {
        EXPECT_EQ(code, 4096 + n);
        n++;
    }
    EXPECT_EQ(n, EVENT_QUEUE_SIZE);
    // Room again once taken.
    EXPECT_TRUE(event_queue_push(&q, 1, 1, 3, 0));
}

TEST(EventQueue, TimeOrderReleaseBitAndLimit) {
    EventQueue q;
    event_queue_push(&q, 100, 1, 2, 0);
    event_queue_push(&q, 101, 0, 1, 500000);
    event_queue_push(&q, 102, 1, 1, 0);
    event_queue_push(&q, 103, 1, 2, 0); // same time as the first: stays after it
    int code, pressed;
    EXPECT_FALSE(event_queue_pop(&q, &code, &pressed, 0.999));
    ASSERT_TRUE(event_queue_pop(&q, &code, &pressed, 1.0));
    EXPECT_EQ(code, 102);
    ASSERT_TRUE(event_queue_pop(&q, &code, &pressed, 1.5));
    EXPECT_EQ(code, 101);
    EXPECT_EQ(pressed, 0);
    EXPECT_FALSE(event_queue_pop(&q, &code, &pressed, 1.9));
    ASSERT_TRUE(event_queue_pop(&q, &code, &pressed, 2.0));
    EXPECT_EQ(code, 100);
    ASSERT_TRUE(event_queue_pop(&q, &code, &pressed, 2.0));
    EXPECT_EQ(code, 103);
}

TEST(EventQueue, WrapsAroundTheRing) {
    EventQueue q;
    int code, pressed;
    for (int round = 0; round < 3; round++) {
        for (int i = 0; i < 200; i++) event_queue_push(&q, i, 1, 10 - i / 100, 0);
        // The second hundred was stamped earlier and comes out first.
        for (int i = 0; i < 200; i++) {
            ASSERT_TRUE(event_queue_pop(&q, &code, &pressed, 1e9));
            EXPECT_EQ(code, i < 100 ? i + 100 : i - 100);
        }
    }
}

TEST_F(WindowFixture, NextUntilTakesOnlyEventsUpToTheTime) {
    input_queue_event(w, 4141, 1, 3, 250000);
    input_queue_event(w, 4141, 0, 3, 750000);
    int code, pressed;
    EXPECT_FALSE(event_next_until(w, &code, &pressed, 3.2));
    ASSERT_TRUE(event_next_until(w, &code, &pressed, 3.25));
    EXPECT_EQ(code, 4141);
    EXPECT_EQ(pressed, 1);
    EXPECT_FALSE(event_next_until(w, &code, &pressed, 3.5));
    ASSERT_TRUE(event_next(w, &code, &pressed));
    EXPECT_EQ(pressed, 0);
}

TEST(DisplayModes, FullScreenTakesTheSmallestModeThatFits) {
    const DisplayMode modes[] = {
        {800, 600, 32, 60}, {1024, 768, 32, 60}, {640, 480, 32, 60}, {0, 0, 0, 0}};
    const DisplayMode desktop = {1920, 1080, 32, 60};
    DisplayMode m = display_mode_choose(modes, 800, 600, desktop);
    EXPECT_EQ(m.width, 800);
    EXPECT_EQ(m.height, 600);
    m = display_mode_choose(modes, 900, 600, desktop);
    EXPECT_EQ(m.width, 1024);
    EXPECT_EQ(m.height, 768);
    m = display_mode_choose(modes, 2000, 600, desktop);
    EXPECT_EQ(m.width, 1920);
    m = display_mode_choose(modes, 0, 0, desktop); // the smallest of all
    EXPECT_EQ(m.width, 640);
}
