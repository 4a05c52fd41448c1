#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <regex>
#include <thread>

#include "platform/log.h"
#include "platform/messages.h"
#include "platform/options.h"
#include "support/test_env.h"

namespace {
const std::regex stamp_re(R"(^\[\d+:\d\d:\d\d\.\d\d\] )");

std::string strip_stamp(const std::string& line) {
    EXPECT_TRUE(std::regex_search(line, stamp_re)) << line;
    return std::regex_replace(line, stamp_re, "");
}
} // namespace

TEST(LogStamp, FormatsHoursMinutesSecondsHundredths) {
    char buf[64];
    log_format_stamp(buf, sizeof buf, 3725, 120000);
    EXPECT_STREQ(buf, "[1:02:05.12] ");
    log_format_stamp(buf, sizeof buf, 0, 9999);
    EXPECT_STREQ(buf, "[0:00:00.00] ");
}

TEST(LogFile, SetupCallOpensNamedFileWithBanner) {
    std::string path = test_dir() + "/mylog.txt";
    log_setup(("DRUV_LOGFILE=" + path).c_str());
    log_printf("hello %d\n", 42);
    std::vector<std::string> lines = split_lines(read_file(path));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(strip_stamp(lines[0]), "Logfile \"" + path + "\" opened");
    EXPECT_EQ(strip_stamp(lines[1]), "DRUV 0.31");
    EXPECT_EQ(strip_stamp(lines[2]), "hello 42");
}

TEST(LogFile, EnvironmentOverridesAndAppendsWithDoubleAngle) {
    std::string path = test_dir() + "/env.txt";
    write_file(path, "old line\n");
    setenv("DRUV_LOGFILE", (">>" + path).c_str(), 1);
    log_setup("DRUV_LOGFILE=/nonexistent/ignored.txt");
    log_printf("new\n");
    std::vector<std::string> lines = split_lines(read_file(path));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "old line");
    EXPECT_EQ(strip_stamp(lines[3]), "new");

    log_reset();
    setenv("DRUV_LOGFILE", (">" + path).c_str(), 1);
    log_printf("replaced\n"); // a first call that is not a set-up call is written too
    lines = split_lines(read_file(path));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(strip_stamp(lines[2]), "replaced");
}

TEST(LogFile, ErrorsBecomeTheLastErrorText) {
    std::string path = test_dir() + "/e.txt";
    log_setup(("DRUV_LOGFILE=" + path).c_str());
    EXPECT_STREQ(last_error(), "Unknown");
    log_error("Can't create window!\n");
    EXPECT_STREQ(last_error(), "Can't create window!\n");
    // The texts carry their own line feed, which the "Error: %s\n" form doubles.
    std::string log = read_file(path);
    EXPECT_NE(log.find("] Error: Can't create window!\n\n"), std::string::npos);
}

TEST(LogFile, ConcurrentWritersKeepWholeLines) {
    std::string path = test_dir() + "/t.txt";
    log_setup(("DRUV_LOGFILE=" + path).c_str());
    auto writer = [](int id) {
        for (int i = 0; i < 200; i++) log_printf("writer %d line %d\n", id, i);
    };
    std::thread a(writer, 1), b(writer, 2), c(writer, 3);
    a.join();
    b.join();
    c.join();
    std::vector<std::string> lines = split_lines(read_file(path));
    ASSERT_EQ(lines.size(), 2u + 600u);
    std::regex whole(R"(^\[\d+:\d\d:\d\d\.\d\d\] writer [123] line \d+$)");
    for (size_t i = 2; i < lines.size(); i++)
        EXPECT_TRUE(std::regex_match(lines[i], whole)) << lines[i];
}

TEST(RuntimeOptions, FlagsAndIntegers) {
    std::string path = test_dir() + "/o.txt";
    log_setup(("DRUV_LOGFILE=" + path).c_str());
    setenv("DRUV_OPTIONS",
           "[threaded:on][dsnd:true][sound-rate:44100][sound-channels:x][waveout:off]", 1);
    options_reset();
    EXPECT_EQ(option_flag("threaded", 0), 1);
    EXPECT_EQ(option_flag("dsnd", 1), 1); // unrecognised: the default
    EXPECT_EQ(option_flag("waveout", 1), 0);
    EXPECT_EQ(option_flag("missing", 1), 1);
    EXPECT_EQ(option_int("sound-rate", 22050), 44100);
    EXPECT_EQ(option_int("sound-channels", 16), 16);
    EXPECT_EQ(option_int("sound-mixahead", 125), 125);
    std::string log = read_file(path);
    EXPECT_NE(log.find("unrecognized setting for dsnd\n"), std::string::npos);
    EXPECT_NE(log.find("unrecognized setting for sound-channels\n"), std::string::npos);
    EXPECT_EQ(log.find("unrecognized setting for threaded"), std::string::npos);
}

TEST(RuntimeOptions, IntegerAllowsSpaceAndSign) {
    setenv("DRUV_OPTIONS", "[a: -12][b:+7][c:yes]", 1);
    options_reset();
    EXPECT_EQ(option_int("a", 0), -12);
    EXPECT_EQ(option_int("b", 0), 7);
    EXPECT_EQ(option_int("c", 3), 3);
}

TEST(Aliases, SecondDefinitionIsRefused) {
    std::string path = test_dir() + "/a.txt";
    log_setup(("DRUV_LOGFILE=" + path).c_str());
    EXPECT_EQ(alias_define("test-alias-1", "Mouse Left"), 1);
    EXPECT_EQ(alias_define("test-alias-1", "Mouse Right"), 0);
    EXPECT_STREQ(alias_lookup("test-alias-1"), "Mouse Left");
    const char* other = "no-such-alias";
    EXPECT_EQ(alias_lookup(other), other);
    EXPECT_NE(read_file(path).find("Second alias for 'test-alias-1' ('Mouse Right') ignored"),
              std::string::npos);
}

TEST(Interning, EqualStringsShareOneCopy) {
    std::string a = "Right Ctrl", b = "Right Ctrl";
    const char* p = intern_name(a.c_str());
    EXPECT_EQ(p, intern_name(b.c_str()));
    EXPECT_NE(p, a.c_str());
    EXPECT_STREQ(p, "Right Ctrl");
    intern_name("Apple");
    intern_name("Zebra");
    // The platform pool stays in strcmp order.
    const char* prev = "";
    for (InternNode* n = g_options.names; n; n = n->next) {
        EXPECT_LT(strcmp(prev, n->text), 0);
        prev = n->text;
    }
    const char* s = intern_string("throttle");
    EXPECT_EQ(s, intern_string(std::string("throttle").c_str()));
    EXPECT_NE(s, intern_string("brake"));
}

TEST(Interning, LooseNameComparison) {
    EXPECT_EQ(names_equal_loose("right ctrl", "Right Ctrl"), 0);
    EXPECT_EQ(names_equal_loose("Page_Up", "page up"), 0);
    EXPECT_EQ(names_equal_loose("a\tb", "A_B"), 0);
    EXPECT_LT(names_equal_loose("abc", "abd"), 0);
    EXPECT_GT(names_equal_loose("abcd", "ABC"), 0);
}

TEST(Messages, RingOfThousandAndFiveVisible) {
    for (int i = 0; i < 1001; i++) {
        char text[32];
        snprintf(text, sizeof text, "message %d", i);
        post_message(text);
        EXPECT_LE(g_messages.visible, 5);
    }
    EXPECT_STREQ(g_messages.lines[0], "message 1000");
    EXPECT_STREQ(g_messages.lines[1], "message 1");
    EXPECT_EQ(g_messages.next, 1);
    EXPECT_STREQ(messages_visible(4), "message 1000");
    EXPECT_STREQ(messages_visible(0), "message 996");
    EXPECT_EQ(messages_visible(5), nullptr);
}

TEST(Messages, LongTextIsCutAndLinesExpire) {
    std::string path = test_dir() + "/m.txt";
    log_setup(("DRUV_LOGFILE=" + path).c_str());
    std::string long_text(300, 'x');
    g_messages.elapsed_time = 10;
    post_message(long_text.c_str());
    EXPECT_EQ(strlen(g_messages.lines[0]), 127u);
    EXPECT_DOUBLE_EQ(g_messages.expiry, 12);
    post_message("with newline\n");
    std::string log = read_file(path);
    EXPECT_NE(log.find("with newline\n"), std::string::npos);
    EXPECT_EQ(log.find("with newline\n\n"), std::string::npos);
    g_messages.elapsed_time = 12.5;
    messages_update();
    EXPECT_EQ(g_messages.visible, 1);
    EXPECT_DOUBLE_EQ(g_messages.expiry, 17.5);
    messages_update();
    EXPECT_EQ(g_messages.visible, 1);
}

TEST(OutOfMemory, EndsWithStatusOneAndTheMessage) {
    EXPECT_EXIT({ xmalloc((size_t)-1 / 2); }, testing::ExitedWithCode(1),
                "Error: Out of virtual memory");
}
