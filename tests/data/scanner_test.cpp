#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <zlib.h>

#include "data/datafile.h"
#include "data/scanner.h"
#include "support/test_env.h"

namespace {

// Opens a plain file holding exactly the given bytes.
struct ScanInput {
    DataFile* f = nullptr;
    explicit ScanInput(const std::string& bytes) {
        std::string path = test_dir() + "/scan_input";
        write_file(path, bytes);
        f = data_open(path.c_str(), "rb");
    }
    ~ScanInput() {
        if (f) data_close(f);
    }
    // The next byte a reader would get: the pushback when there is one, else the stream's.
    int next() {
        if (f->pushback >= 0) {
            int c = f->pushback;
            f->pushback = -1;
            return c;
        }
        return data_getc(f);
    }
};

} // namespace

TEST(ScanInt, TwoNumbersAndLiteralMismatch) {
    {
        ScanInput in("12 34");
        ASSERT_NE(in.f, nullptr);
        int a = 0, b = 0;
        EXPECT_EQ(data_scanf(in.f, "%d %d", &a, &b), 2);
        EXPECT_EQ(a, 12);
        EXPECT_EQ(b, 34);
        EXPECT_EQ(in.next(), -1);
    }
    {
        // The comma does not match the space: -1 although the first value was stored.
        ScanInput in("12 34");
        int a = 0, b = 99;
        EXPECT_EQ(data_scanf(in.f, "%d,%d", &a, &b), -1);
        EXPECT_EQ(a, 12);
        EXPECT_EQ(b, 99);
        EXPECT_EQ(in.next(), ' '); // the mismatching byte stays
        EXPECT_EQ(in.next(), '3');
    }
}

TEST(ScanInt, SignsAndStopByte) {
    {
        ScanInput in("  -7x");
        int v = 0;
        EXPECT_EQ(data_scanf(in.f, "%d", &v), 1);
        EXPECT_EQ(v, -7);
        EXPECT_EQ(in.next(), 'x');
    }
    {
        ScanInput in("x");
        int v = 5;
        EXPECT_EQ(data_scanf(in.f, "%d", &v), 0);
        EXPECT_EQ(v, 5);
        EXPECT_EQ(in.next(), 'x');
    }
    {
        ScanInput in("+15 -0");
        int a = 0, b = 3;
        EXPECT_EQ(data_scanf(in.f, "%d%d", &a, &b), 2);
        EXPECT_EQ(a, 15);
        EXPECT_EQ(b, 0);
    }
    {
        // A sign alone is a matching failure; the sign is consumed.
        ScanInput in("-;");
        int v = 5;
        EXPECT_EQ(data_scanf(in.f, "%d", &v), 0);
        EXPECT_EQ(in.next(), ';');
    }
}

TEST(ScanInt, EndOfData) {
    {
        ScanInput in("");
        int v = 0;
        EXPECT_EQ(data_scanf(in.f, "%d", &v), -1);
        EXPECT_EQ(data_scanf(in.f, " "), 0);
        EXPECT_EQ(data_scanf(in.f, ""), 0);
    }
    {
        // A conversion meeting the end after an assigned one gives the count.
        ScanInput in("5  \n");
        int a = 0, b = 0;
        EXPECT_EQ(data_scanf(in.f, "%d %d", &a, &b), 1);
        EXPECT_EQ(a, 5);
    }
    {
        // A literal meeting the end gives -1 whatever was assigned.
        ScanInput in("5");
        int a = 0;
        EXPECT_EQ(data_scanf(in.f, "%d,", &a), -1);
        EXPECT_EQ(a, 5);
    }
}

TEST(ScanInt, WidthsSuppressionAndWrap) {
    {
        ScanInput in("12345 -12345");
        int a = 0, b = 0, c = 0, d = 0;
        EXPECT_EQ(data_scanf(in.f, "%2d%d%3d%d", &a, &b, &c, &d), 4);
        EXPECT_EQ(a, 12);
        EXPECT_EQ(b, 345);
        EXPECT_EQ(c, -12); // the sign counts toward the width
        EXPECT_EQ(d, 345);
    }
    {
        ScanInput in("1 2");
        int v = 0;
        EXPECT_EQ(data_scanf(in.f, "%*d %d", &v), 1);
        EXPECT_EQ(v, 2);
    }
}

TEST(ScanInt, NumbersBeyondTheIntRangeDoNotMatch) {
    {
        // The ends of the range are numbers like any other.
        ScanInput in("2147483647 -2147483648");
        int a = 0, b = 0;
        EXPECT_EQ(data_scanf(in.f, "%d %d", &a, &b), 2);
        EXPECT_EQ(a, INT_MAX);
        EXPECT_EQ(b, INT_MIN);
    }
    {
        // One past either end fails the conversion: its digits are gone, nothing is stored.
        ScanInput in("7 2147483648 5");
        int a = 0, b = 99, c = 99;
        EXPECT_EQ(data_scanf(in.f, "%d %d %d", &a, &b, &c), 1);
        EXPECT_EQ(a, 7);
        EXPECT_EQ(b, 99);
        EXPECT_EQ(in.next(), ' ');
        EXPECT_EQ(in.next(), '5');
    }
    {
        ScanInput in("-2147483649");
        int a = 99;
        EXPECT_EQ(data_scanf(in.f, "%d", &a), 0);
        EXPECT_EQ(a, 99);
    }
    {
        // However long the number, and suppressed or not.
        ScanInput in("4294967297 99999999999999999999999999999999");
        int a = 99;
        EXPECT_EQ(data_scanf(in.f, "%d", &a), 0);
        EXPECT_EQ(a, 99);
        EXPECT_EQ(data_scanf(in.f, "%*d"), 0);
        EXPECT_EQ(in.next(), -1);
    }
}

TEST(ScanInt, ConsecutiveCallsLoseNothing) {
    ScanInput in("1\n2\n3");
    int v[3] = {0, 0, 0};
    for (int& x : v) EXPECT_EQ(data_scanf(in.f, "%d", &x), 1);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 2);
    EXPECT_EQ(v[2], 3);
    EXPECT_EQ(data_scanf(in.f, "%d", &v[0]), -1);
}

static float scan_one_float(const std::string& text, int* ret, int* next = nullptr) {
    ScanInput in(text);
    float v = -12345.0f;
    *ret = data_scanf(in.f, "%f", &v);
    if (next) *next = in.next();
    return v;
}

TEST(ScanFloat, DecimalForms) {
    int r;
    EXPECT_EQ(scan_one_float(".5", &r), 0.5f);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(scan_one_float("1e3", &r), 1000.0f);
    EXPECT_EQ(scan_one_float("2.5E-1", &r), 0.25f);
    EXPECT_EQ(scan_one_float("-3.75", &r), -3.75f);
    EXPECT_EQ(scan_one_float("+12.", &r), 12.0f);
    EXPECT_EQ(scan_one_float("0.1", &r), 0.1f);
    EXPECT_EQ(scan_one_float("  \n\t6.25e+2", &r), 625.0f);
    EXPECT_EQ(scan_one_float("3.14159265358979323846", &r), 3.14159265358979323846f);
    EXPECT_EQ(scan_one_float("123456789", &r), 123456789.0f);
    float z = scan_one_float("-0", &r);
    EXPECT_EQ(z, 0.0f);
    EXPECT_TRUE(std::signbit(z));
}

TEST(ScanFloat, MatchingFailuresAndStops) {
    int r, next;
    EXPECT_EQ(scan_one_float("-", &r), -12345.0f);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(scan_one_float("+x", &r, &next), -12345.0f);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(next, 'x');
    EXPECT_EQ(scan_one_float("x", &r, &next), -12345.0f);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(next, 'x');
    EXPECT_EQ(scan_one_float("", &r), -12345.0f);
    EXPECT_EQ(r, -1);
    // A second point ends the number; an "e" without digits is exponent 0 and consumed.
    EXPECT_EQ(scan_one_float("1.2.3", &r, &next), 1.2f);
    EXPECT_EQ(next, '.');
    EXPECT_EQ(scan_one_float("1ex", &r, &next), 1.0f);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(next, 'x');
    EXPECT_EQ(scan_one_float("4e-;", &r, &next), 4.0f);
    EXPECT_EQ(next, ';');
    // No "inf", "nan" or hexadecimal forms.
    EXPECT_EQ(scan_one_float("inf", &r), -12345.0f);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(scan_one_float("0x10", &r, &next), 0.0f);
    EXPECT_EQ(next, 'x');
}

TEST(ScanFloat, RangeLimits) {
    int r;
    // Just below and beyond the largest float.
    EXPECT_EQ(scan_one_float("3.4028235e38", &r), FLT_MAX);
    EXPECT_EQ(scan_one_float("3.5e38", &r), INFINITY);
    EXPECT_EQ(scan_one_float("-1e39", &r), -INFINITY);
    EXPECT_EQ(scan_one_float("1e-50", &r), 0.0f);
    EXPECT_EQ(scan_one_float("1e99999999999999999999", &r), INFINITY);
    EXPECT_EQ(scan_one_float("1e-99999999999999999999", &r), 0.0f);
    // 10^4096 and beyond are built from whole factors of 10^4096.
    EXPECT_EQ(scan_one_float("1e-4100", &r), 0.0f);
    EXPECT_EQ(scan_one_float("1e5000", &r), INFINITY);
    // A zero mantissa stays zero even with an exponent beyond every range.
    EXPECT_EQ(scan_one_float("0e99999", &r), 0.0f);
    EXPECT_EQ(r, 1);
    // A five-thousand-digit mantissa scaled back down.
    std::string big = "1" + std::string(4999, '0') + "e-4999";
    EXPECT_FLOAT_EQ(scan_one_float(big, &r), 1.0f);
    std::string tiny = "0." + std::string(3000, '0') + "25e3001";
    EXPECT_FLOAT_EQ(scan_one_float(tiny, &r), 2.5f);
}

TEST(ScanFloat, WidthAndSuppression) {
    ScanInput in("1.2345 7");
    float a = 0, b = 0;
    EXPECT_EQ(data_scanf(in.f, "%3f%*f %f", &a, &b), 2);
    EXPECT_EQ(a, 1.2f);
    EXPECT_EQ(b, 7.0f);
}

TEST(ScanFloat, BracketedVector) {
    {
        ScanInput in(" [1 2 3] 4 5");
        float v[5] = {0, 0, 0, 0, 0};
        EXPECT_EQ(data_scanf(in.f, " [ %f %f %f ] %f %f ", &v[0], &v[1], &v[2], &v[3], &v[4]), 5);
        for (int i = 0; i < 5; i++) EXPECT_EQ(v[i], (float)(i + 1));
    }
    {
        ScanInput in(" [1 2 3 4 5");
        float v[5] = {0, 0, 0, 0, 0};
        EXPECT_EQ(data_scanf(in.f, " [ %f %f %f ] %f %f ", &v[0], &v[1], &v[2], &v[3], &v[4]), -1);
        EXPECT_EQ(v[2], 3.0f);
        EXPECT_EQ(in.next(), '4');
    }
}

TEST(ScanString, WordsWidthsAndEnd) {
    {
        ScanInput in("  hello\tworld\n");
        char a[16] = "", b[16] = "";
        EXPECT_EQ(data_scanf(in.f, "%15s %15s", a, b), 2);
        EXPECT_STREQ(a, "hello");
        EXPECT_STREQ(b, "world");
        EXPECT_EQ(in.next(), '\n');
    }
    {
        ScanInput in("abcdef");
        char a[8];
        memset(a, 'z', sizeof a);
        EXPECT_EQ(data_scanf(in.f, "%3s", a), 1);
        EXPECT_STREQ(a, "abc");
        EXPECT_EQ(a[4], 'z'); // nothing written past the terminator
        EXPECT_EQ(in.next(), 'd');
    }
    {
        ScanInput in("   \n ");
        char a[8] = "keep";
        EXPECT_EQ(data_scanf(in.f, "%7s", a), -1);
        EXPECT_STREQ(a, "keep");
    }
    {
        ScanInput in("one two");
        char a[8] = "", b[8] = "x";
        EXPECT_EQ(data_scanf(in.f, "%*s %7s %7s", a, b), 1);
        EXPECT_STREQ(a, "two");
        EXPECT_STREQ(b, "x");
    }
}

TEST(ScanSet, NegatedSetNamingCloseBracket) {
    ScanInput in("abc]def");
    char buf[16] = "";
    EXPECT_EQ(data_scanf(in.f, "%15[^]]", buf), 1);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(in.next(), ']');
}

TEST(ScanSet, MembersRangesAndDashes) {
    {
        ScanInput in("]]x");
        char buf[8] = "";
        EXPECT_EQ(data_scanf(in.f, "%7[]]", buf), 1);
        EXPECT_STREQ(buf, "]]");
        EXPECT_EQ(in.next(), 'x');
    }
    {
        ScanInput in("abcd");
        char buf[8] = "";
        EXPECT_EQ(data_scanf(in.f, "%[a-c]", buf), 1);
        EXPECT_STREQ(buf, "abc");
        EXPECT_EQ(in.next(), 'd');
    }
    {
        // "-" last (or first) is a member, not a range.
        ScanInput in("a-a-b");
        char buf[8] = "";
        EXPECT_EQ(data_scanf(in.f, "%[a-]", buf), 1);
        EXPECT_STREQ(buf, "a-a-");
        EXPECT_EQ(in.next(), 'b');
    }
    {
        ScanInput in("-a-z");
        char buf[8] = "";
        EXPECT_EQ(data_scanf(in.f, "%[-a]", buf), 1);
        EXPECT_STREQ(buf, "-a-");
        EXPECT_EQ(in.next(), 'z');
    }
    {
        // A reversed range names its two ends and "-" itself.
        ScanInput in("z-ab");
        char buf[8] = "";
        EXPECT_EQ(data_scanf(in.f, "%[z-a]", buf), 1);
        EXPECT_STREQ(buf, "z-a");
        EXPECT_EQ(in.next(), 'b');
    }
    {
        ScanInput in("019:A");
        char buf[8] = "";
        EXPECT_EQ(data_scanf(in.f, "%[^:-A]", buf), 1); // negated range ":".."A"
        EXPECT_STREQ(buf, "019");
        EXPECT_EQ(in.next(), ':');
    }
    {
        ScanInput in("\x90\xfe\x7f");
        char buf[8] = "";
        EXPECT_EQ(data_scanf(in.f, "%[\x80-\xff]", buf), 1);
        EXPECT_STREQ(buf, "\x90\xfe");
        EXPECT_EQ(in.next(), 0x7f);
    }
}

TEST(ScanSet, FailuresWidthAndNoSpaceSkip) {
    {
        ScanInput in("b");
        char buf[8] = "keep";
        EXPECT_EQ(data_scanf(in.f, "%[a]", buf), 0);
        EXPECT_STREQ(buf, "keep");
        EXPECT_EQ(in.next(), 'b');
    }
    {
        ScanInput in(" a");
        char buf[8] = "keep";
        EXPECT_EQ(data_scanf(in.f, "%[a]", buf), 0);
        EXPECT_EQ(in.next(), ' ');
    }
    {
        ScanInput in("");
        char buf[8];
        EXPECT_EQ(data_scanf(in.f, "%[a]", buf), -1);
    }
    {
        ScanInput in("5");
        int v = 0;
        char buf[8];
        EXPECT_EQ(data_scanf(in.f, "%d%[a]", &v, buf), 1);
    }
    {
        ScanInput in("aaab");
        char buf[8] = "";
        EXPECT_EQ(data_scanf(in.f, "%2[a]%*[a]%1[b]", buf, buf + 4), 2);
        EXPECT_STREQ(buf, "aa");
        EXPECT_STREQ(buf + 4, "b");
    }
}

TEST(ScanFormat, BrokenAndUnsupportedFormatsStopCleanly) {
    const char* formats[] = {"%[abc", "%[^", "%[", "%[]", "%[^]", "%q",
                             "%",     "%5",  "%*", "%ld", "%c"};
    for (const char* fmt : formats) {
        ScanInput in("abc");
        char buf[64] = "keep";
        EXPECT_EQ(data_scanf(in.f, fmt, buf), 0) << fmt;
        EXPECT_STREQ(buf, "keep") << fmt;
        EXPECT_EQ(in.next(), 'a') << fmt; // nothing consumed
    }
    ScanInput in("5abc");
    int v = 0;
    char buf[8] = "keep";
    EXPECT_EQ(data_scanf(in.f, "%d%[abc", &v, buf), 1);
    EXPECT_STREQ(buf, "keep");
    // A huge width in the format does not overflow.
    ScanInput in2("77");
    EXPECT_EQ(data_scanf(in2.f, "%99999999999999999999d", &v), 1);
    EXPECT_EQ(v, 77);
}

TEST(ScanFormat, LiteralsAndPercent) {
    {
        ScanInput in("abx");
        EXPECT_EQ(data_scanf(in.f, "abc"), -1);
        EXPECT_EQ(in.next(), 'x'); // matched bytes stay consumed
    }
    {
        ScanInput in("50%");
        int v = 0;
        EXPECT_EQ(data_scanf(in.f, "%d%%", &v), 1);
        EXPECT_EQ(in.next(), -1);
    }
    {
        ScanInput in("width=  640\nheight =480");
        int w = 0, h = 0;
        EXPECT_EQ(data_scanf(in.f, "width=%d height = %d", &w, &h), 2);
        EXPECT_EQ(w, 640);
        EXPECT_EQ(h, 480);
    }
}

TEST(ScanComments, LoopSkipsCommentLines) {
    {
        ScanInput in("# first comment\n  # second one\n42");
        char hash[2];
        int loops = 0;
        while (data_scanf(in.f, " %1[#]%*[^\n]", hash) == 1) loops++;
        EXPECT_EQ(loops, 2);
        int v = 0;
        EXPECT_EQ(data_scanf(in.f, "%d", &v), 1);
        EXPECT_EQ(v, 42);
    }
    {
        ScanInput in("#\n#x\n\n  P6 # not a comment here");
        data_skip_comments(in.f);
        char word[16] = "";
        EXPECT_EQ(data_scanf(in.f, "%15s", word), 1);
        EXPECT_STREQ(word, "P6");
    }
    {
        // A comment that ends the data without a line feed ends the loop too.
        ScanInput in("# only a comment");
        data_skip_comments(in.f);
        int v = 0;
        EXPECT_EQ(data_scanf(in.f, "%d", &v), -1);
    }
}

TEST(ScanComments, EightyByteLine) {
    ScanInput in(std::string(100, 'n') + "\nrest");
    char line[81];
    EXPECT_EQ(data_scanf(in.f, "%80[^\n]", line), 1);
    EXPECT_EQ(std::string(line), std::string(80, 'n'));
    EXPECT_EQ(data_scanf(in.f, "%80[^\n]", line), 1);
    EXPECT_EQ(std::string(line), std::string(20, 'n'));
    EXPECT_EQ(data_scanf(in.f, " %80[^\n]", line), 1);
    EXPECT_STREQ(line, "rest");
}

TEST(ScanStreams, GzipDataAcrossWindowBoundaries) {
    // Enough text that numbers straddle the decompressor's output window.
    std::string text = "# numbers\n";
    for (int i = 0; i < 3000; i++) text += std::to_string(i * 7 - 5000) + (i % 9 ? " " : "\n");
    std::string path = test_dir() + "/numbers";
    gzFile gz = gzopen((path + ".gz").c_str(), "wb");
    ASSERT_NE(gz, nullptr);
    ASSERT_EQ(gzwrite(gz, text.data(), (unsigned)text.size()), (int)text.size());
    gzclose(gz);
    DataFile* f = data_open(path.c_str(), "rb"); // found under its name without ".gz"
    ASSERT_NE(f, nullptr);
    data_skip_comments(f);
    for (int i = 0; i < 3000; i++) {
        int v = 0;
        ASSERT_EQ(data_scanf(f, "%d", &v), 1) << i;
        ASSERT_EQ(v, i * 7 - 5000) << i;
    }
    int v;
    EXPECT_EQ(data_scanf(f, "%d", &v), -1);
    data_close(f);
}
