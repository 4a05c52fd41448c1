// The formatted text scanner: a scanf subset that reads a DataFile one byte at a time.
//
// The stream's pushback byte is the only look-ahead, so one call ends exactly where the next
// one starts, on plain files, archive members and gzip data alike.

#include "data/scanner.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>

#include "data/datafile.h"

// A conversion without a width may take this many bytes.
static constexpr int SCAN_DEFAULT_WIDTH = 1000000;
// Larger widths in a format are taken as this (keeps the width arithmetic in range).
static constexpr int SCAN_MAX_WIDTH = 1000000000;

// The next byte without consuming it (it becomes the pushback), or -1 at the end of the data.
static int scan_peek(DataFile* s) {
    if (s->pushback < 0) s->pushback = data_getc(s);
    if (s->pushback < 0) s->pushback = -1;
    return s->pushback;
}

// Drops the byte last peeked.
static void scan_consume(DataFile* s) {
    if (s->pushback >= 0)
        s->pushback = -1;
    else
        data_getc(s);
}

// The C-locale white-space set.
static bool scan_space(int c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

static bool scan_digit(int c) {
    return c >= '0' && c <= '9';
}

// Skips white space; returns the first other byte (left in the pushback) or -1.
static int scan_skip_space(DataFile* s) {
    int c = scan_peek(s);
    while (c >= 0 && scan_space(c)) {
        scan_consume(s);
        c = scan_peek(s);
    }
    return c;
}

// Powers of ten for the binary decomposition of a decimal exponent: entry k is 10^(2^k).
static const long double SCAN_POW10[13] = {1e1L,   1e2L,   1e4L,   1e8L,    1e16L,   1e32L,  1e64L,
                                           1e128L, 1e256L, 1e512L, 1e1024L, 1e2048L, 1e4096L};

// 10^n for n >= 0, built from the table (whole factors of 10^4096 above 4095).
static long double scan_pow10(long n) {
    long double p = 1.0L;
    while (n > 4095 && std::isfinite(p)) {
        p *= SCAN_POW10[12];
        n -= 4096;
    }
    for (int k = 0; k < 12 && n; k++, n >>= 1)
        if (n & 1) p *= SCAN_POW10[k];
    return p;
}

// Rounds to float the way the hardware would, without the undefined out-of-range conversion.
static float scan_to_float(long double v) {
    // Half a unit in the last place above FLT_MAX: from there on, rounding gives infinity.
    const long double overflow = (long double)FLT_MAX + 0x1p103L;
    if (std::isnan(v)) return NAN;
    if (v >= overflow) return INFINITY;
    if (v <= -overflow) return -INFINITY;
    if (v > FLT_MAX) return FLT_MAX;
    if (v < -FLT_MAX) return -FLT_MAX;
    return (float)v;
}

// Reads a number for "%f". Returns 1 when something besides a sign was read, else 0.
static int scan_float(DataFile* s, int width, float* out) {
    int c = scan_peek(s);
    bool negative = false;
    bool any = false;
    if (width > 0 && (c == '+' || c == '-')) {
        negative = c == '-';
        scan_consume(s);
        width--;
        c = scan_peek(s);
    }
    // Mantissa digits become one integer; each digit after the point lowers the exponent.
    long double mantissa = 0.0L;
    long exponent = 0;
    bool point = false;
    while (width > 0 && c >= 0 && (scan_digit(c) || (c == '.' && !point))) {
        if (c == '.') {
            point = true;
        } else if (mantissa < 1e4000L) {
            mantissa = mantissa * 10.0L + (c - '0');
            if (point) exponent--;
        } else if (!point) {
            // Digits this far past the significand cannot change it; counting them in the
            // exponent keeps the mantissa finite on absurdly long numbers.
            exponent++;
        }
        any = true;
        scan_consume(s);
        width--;
        c = scan_peek(s);
    }
    if (width > 0 && (c == 'e' || c == 'E')) {
        any = true;
        scan_consume(s);
        width--;
        c = scan_peek(s);
        bool exp_negative = false;
        if (width > 0 && (c == '+' || c == '-')) {
            exp_negative = c == '-';
            scan_consume(s);
            width--;
            c = scan_peek(s);
        }
        long e = 0;
        while (width > 0 && c >= 0 && scan_digit(c)) {
            // Saturate: far beyond this every value is already zero or infinite.
            if (e < 100000000L) e = e * 10 + (c - '0');
            scan_consume(s);
            width--;
            c = scan_peek(s);
        }
        exponent += exp_negative ? -e : e;
    }
    if (!any) return 0;
    long double value = mantissa;
    // A zero mantissa stays zero whatever the exponent (0 x infinity would give NaN).
    if (mantissa != 0.0L && exponent > 0) value = mantissa * scan_pow10(exponent);
    if (mantissa != 0.0L && exponent < 0) value = mantissa / scan_pow10(-exponent);
    if (negative) value = -value;
    if (out) *out = scan_to_float(value);
    return 1;
}

// Reads a decimal for "%d". Returns 1 when a digit was read and the number fits an int, else
// 0: a number beyond the int range is consumed but not taken, so that no reader goes on with a
// wrapped value that overflows its later arithmetic.
static int scan_int(DataFile* s, int width, int* out) {
    int c = scan_peek(s);
    bool negative = false;
    if (width > 0 && (c == '+' || c == '-')) {
        negative = c == '-';
        scan_consume(s);
        width--;
        c = scan_peek(s);
    }
    // Saturates just past the int range, however many digits follow.
    const long long limit = (long long)INT_MAX + 1;
    long long value = 0;
    bool any = false;
    while (width > 0 && c >= 0 && scan_digit(c)) {
        value = std::min(value * 10 + (c - '0'), limit + 1);
        any = true;
        scan_consume(s);
        width--;
        c = scan_peek(s);
    }
    if (!any) return 0;
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) return 0;
    if (out) *out = (int)value;
    return 1;
}

// Parses the scan set starting after "[". Fills member[256] and returns the format position
// after the closing "]", or null when the format has no closing "]".
static const char* scan_set_parse(const char* f, bool member[256]) {
    bool negate = false;
    if (*f == '^') {
        negate = true;
        f++;
    }
    for (int i = 0; i < 256; i++) member[i] = false;
    const unsigned char* p = (const unsigned char*)f;
    if (*p == 0) return nullptr;
    // The first byte always belongs to the set, even "]".
    member[*p] = true;
    unsigned char prev = *p++;
    while (*p != ']') {
        if (*p == 0) return nullptr;
        // "a-z" is a range unless the "-" ends the set; a reversed range keeps "-" literal.
        if (*p == '-' && p[1] != 0 && p[1] != ']' && prev <= p[1]) {
            for (int b = prev; b <= p[1]; b++) member[b] = true;
            prev = p[1];
            p += 2;
            continue;
        }
        member[*p] = true;
        prev = *p++;
    }
    if (negate)
        for (int i = 0; i < 256; i++) member[i] = !member[i];
    return (const char*)(p + 1);
}

int data_scanf(DataFile* stream, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int count = 0;
    const char* f = format;
    while (*f) {
        unsigned char fc = (unsigned char)*f;
        // 1. White space in the format skips any amount of white space in the data.
        if (scan_space(fc)) {
            scan_skip_space(stream);
            f++;
            continue;
        }
        // 2. A literal byte must match the next data byte.
        if (fc != '%') {
            if (scan_peek(stream) != fc) {
                count = -1;
                break;
            }
            scan_consume(stream);
            f++;
            continue;
        }
        // 3. A conversion: "%", optional "*", optional width, conversion byte.
        f++;
        bool suppress = false;
        if (*f == '*') {
            suppress = true;
            f++;
        }
        int width = 0;
        while (scan_digit((unsigned char)*f)) {
            width = width < SCAN_MAX_WIDTH / 10 ? width * 10 + (*f - '0') : SCAN_MAX_WIDTH;
            f++;
        }
        // A width of 0 is taken as no width.
        if (width == 0) width = SCAN_DEFAULT_WIDTH;
        char conv = *f;
        if (conv == 'd' || conv == 'f' || conv == 's') {
            if (scan_skip_space(stream) < 0) {
                if (count == 0) count = -1;
                break;
            }
            int ok;
            if (conv == 'd') {
                int* out = suppress ? nullptr : va_arg(args, int*);
                ok = scan_int(stream, width, out);
            } else if (conv == 'f') {
                float* out = suppress ? nullptr : va_arg(args, float*);
                ok = scan_float(stream, width, out);
            } else {
                char* out = suppress ? nullptr : va_arg(args, char*);
                int n = 0;
                int c = scan_peek(stream);
                while (n < width && c >= 0 && !scan_space(c)) {
                    if (out) out[n] = (char)c;
                    n++;
                    scan_consume(stream);
                    c = scan_peek(stream);
                }
                if (out) out[n] = 0;
                ok = 1; // the byte after the white space is not white space, so n >= 1
            }
            if (!ok) break; // matching failure
            if (!suppress) count++;
            f++;
            continue;
        }
        if (conv == '[') {
            bool member[256];
            const char* next = scan_set_parse(f + 1, member);
            // A set without its closing "]" is a broken format: stop before touching the data.
            if (!next) break;
            f = next;
            int c = scan_peek(stream);
            if (c < 0) {
                if (count == 0) count = -1;
                break;
            }
            char* out = suppress ? nullptr : va_arg(args, char*);
            int n = 0;
            while (n < width && c >= 0 && member[c]) {
                if (out) out[n] = (char)c;
                n++;
                scan_consume(stream);
                c = scan_peek(stream);
            }
            if (n == 0) break; // matching failure; nothing was stored
            if (out) out[n] = 0;
            if (!suppress) count++;
            continue;
        }
        if (conv == '%') {
            // "%%" matches a literal "%", like a literal format byte.
            if (scan_peek(stream) != '%') {
                count = -1;
                break;
            }
            scan_consume(stream);
            f++;
            continue;
        }
        // No reader uses other conversions or length modifiers: end the scan here.
        break;
    }
    va_end(args);
    return count;
}

void data_skip_comments(DataFile* stream) {
    char hash[2];
    while (data_scanf(stream, " %1[#]%*[^\n]", hash) == 1) {
    }
}
