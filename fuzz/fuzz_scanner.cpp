// Fuzzes the text scanner: the input (after one control byte) is a data file read with the
// formats the data readers use, in an order picked by the control byte. With the control
// byte's top bit set, the input holds a format of its own before the first zero byte: every
// conversion in it is made non-assigning, so malformed formats are exercised safely.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "fuzz_util.h"
#include "data/datafile.h"
#include "data/scanner.h"

static std::string g_path;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_path = fuzz_temp_folder() + "/input";
    return 0;
}

static DataFile* open_data(const uint8_t* data, size_t size) {
    FILE* f = fopen(g_path.c_str(), "wb");
    if (!f) abort();
    if (size && fwrite(data, 1, size, f) != size) abort();
    fclose(f);
    return data_open(g_path.c_str(), "rb");
}

static void check(bool ok) {
    if (!ok) abort();
}

// A string the scanner filled: terminated within its width.
static void check_text(const char* buf, size_t width) {
    check(strnlen(buf, width + 1) <= width);
}

static void check_stream(DataFile* s) {
    check(s->pushback >= -1 && s->pushback <= 255);
}

// One call with one of the readers' formats; returns the scanner's result.
static int scan_step(DataFile* s, int which) {
    static char word[1024], line[81], small[16], hash[2];
    int i[3];
    float v[5];
    int r = 0;
    switch (which) {
    case 0:
        r = data_scanf(s, "%d", &i[0]);
        check(r >= -1 && r <= 1);
        break;
    case 1:
        r = data_scanf(s, "%f", &v[0]);
        check(r >= -1 && r <= 1);
        break;
    case 2:
        r = data_scanf(s, " %1023s", word);
        check(r >= -1 && r <= 1);
        if (r == 1) check_text(word, 1023);
        break;
    case 3:
        r = data_scanf(s, " [ %f %f %f ] %f %f ", &v[0], &v[1], &v[2], &v[3], &v[4]);
        check(r >= -1 && r <= 5);
        break;
    case 4:
        data_skip_comments(s);
        r = data_scanf(s, " %1[#]%*[^\n]", hash);
        check(r != 1); // the loop has already taken every comment
        break;
    case 5:
        r = data_scanf(s, "%80[^\n]", line);
        check(r >= -1 && r <= 1);
        if (r == 1) check_text(line, 80);
        break;
    case 6:
        r = data_scanf(s, "%d %d %d", &i[0], &i[1], &i[2]);
        check(r >= -1 && r <= 3);
        break;
    case 7:
        r = data_scanf(s, " %15s", small);
        check(r >= -1 && r <= 1);
        if (r == 1) check_text(small, 15);
        break;
    case 8:
        r = data_scanf(s, "%f %f %f", &v[0], &v[1], &v[2]);
        check(r >= -1 && r <= 3);
        break;
    default:
        r = data_scanf(s, " %*[^\n]");
        check(r <= 0);
        break;
    }
    check_stream(s);
    return r;
}

// Inserts "*" after every "%" so no conversion assigns.
static std::string suppress_all(const char* format, size_t n) {
    std::string out;
    for (size_t k = 0; k < n; k++) {
        out += format[k];
        if (format[k] == '%' && (k + 1 >= n || format[k + 1] != '*')) out += '*';
    }
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    uint8_t control = data[0];
    data++;
    size--;
    if (control & 0x80) {
        const uint8_t* zero = (const uint8_t*)memchr(data, 0, size);
        size_t flen = zero ? (size_t)(zero - data) : size;
        std::string format = suppress_all((const char*)data, flen);
        size_t rest = zero ? size - flen - 1 : 0;
        DataFile* s = open_data(zero ? zero + 1 : data + size, rest);
        if (!s) return 0;
        for (int k = 0; k < 8; k++) {
            int r = data_scanf(s, format.c_str());
            check(r <= 0); // nothing assigns
            check_stream(s);
        }
        data_close(s);
        return 0;
    }
    DataFile* s = open_data(data, size);
    if (!s) return 0;
    int step = 1 + (control >> 4 & 7);
    int which = control & 15;
    // Bounded: a call that consumes nothing must not keep the loop going forever.
    for (int k = 0; k < 256; k++) {
        scan_step(s, which % 10);
        which += step;
    }
    data_close(s);
    return 0;
}
