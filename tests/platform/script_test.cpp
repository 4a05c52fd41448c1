#include <gtest/gtest.h>

#include "platform/input.h"
#include "platform/script.h"
#include "platform/window.h"
#include "support/test_env.h"

TEST(Script, ParsesLinesAndRejectsMalformedOnes) {
    std::vector<ScriptLine> lines;
    std::string error;
    ASSERT_TRUE(
        script_parse("# a comment\n\n0.5 press right ctrl\n1 release right ctrl\r\n2 tap s\n"
                     "2.5 char 9\n3 type ab\n",
                     &lines, &error))
        << error;
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_DOUBLE_EQ(lines[0].time, 0.5);
    EXPECT_EQ(lines[0].action, SCRIPT_PRESS);
    EXPECT_EQ(lines[0].arg, "right ctrl");
    EXPECT_EQ(lines[1].action, SCRIPT_RELEASE);
    EXPECT_EQ(lines[2].action, SCRIPT_TAP);
    EXPECT_EQ(lines[3].action, SCRIPT_CHAR);
    EXPECT_EQ(lines[4].line, 7);
    for (const char* bad : {"x press a\n", "1 hold a\n", "1 press\n", "-1 press a\n",
                            "1 char 256\n", "1.5s tap a\n"}) {
        lines.clear();
        EXPECT_FALSE(script_parse(bad, &lines, &error)) << bad;
        EXPECT_NE(error.find("line 1"), std::string::npos) << error;
    }
}

TEST(Script, FeedsDueEventsIntoTheQueueAtTheirTimes) {
    write_file("s.txt", "0.25 tap x\n0.1 press left\n0.5 type A\n0.6 press no such key\n");
    std::string error;
    ScriptFeed* s = script_load("s.txt", &error);
    ASSERT_NE(s, nullptr) << error;
    GameWindow* w = window_open_headless();
    script_start(s, w, 100.0);
    window_attach_script(w, s);
    ASSERT_EQ(s->events.size(), 4u); // the unknown key is skipped
    int code, pressed;
    script_feed(w, 100.05);
    EXPECT_FALSE(event_next_until(w, &code, &pressed, 100.05));
    script_feed(w, 100.28);
    ASSERT_TRUE(event_queue_pop(&w->input.queue, &code, &pressed, 1e9));
    EXPECT_EQ(code, 4096 + 331);
    ASSERT_TRUE(event_queue_pop(&w->input.queue, &code, &pressed, 1e9));
    EXPECT_EQ(code, 4096 + 45);
    EXPECT_EQ(pressed, 1);
    EXPECT_FALSE(
        event_queue_pop(&w->input.queue, &code, &pressed, 1e9)); // the release is due at 0.30
    script_feed(w, 101);
    ASSERT_TRUE(event_queue_pop(&w->input.queue, &code, &pressed, 100.3));
    EXPECT_EQ(pressed, 0);
    ASSERT_TRUE(event_queue_pop(&w->input.queue, &code, &pressed, 100.5));
    EXPECT_EQ(code, 'A');
    window_close(w);
}

TEST(Script, KeepsEventsWhileTheQueueIsFull) {
    GameWindow* w = window_open_headless();
    for (int i = 0; i < EVENT_QUEUE_SIZE; i++) input_queue_event(w, 1, 1, 0, 0);
    ScriptFeed* s = new ScriptFeed;
    std::string error;
    ASSERT_TRUE(script_parse("0 char 65\n", &s->lines, &error));
    script_start(s, w, 0);
    window_attach_script(w, s);
    script_feed(w, 1);
    EXPECT_EQ(s->next, 0u);
    int code, pressed;
    event_queue_pop(&w->input.queue, &code, &pressed, 1e9);
    script_feed(w, 1);
    EXPECT_EQ(s->next, 1u);
    window_close(w);
}

TEST(Script, MissingFileIsReported) {
    std::string error;
    EXPECT_EQ(script_load("nope.txt", &error), nullptr);
    EXPECT_NE(error.find("nope.txt"), std::string::npos);
}
