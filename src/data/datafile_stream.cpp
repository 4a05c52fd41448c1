// Reading and writing open DataFile streams, and their gzip decompression.
//
// A gzip stream (RFC 1952) is: the bytes 31, 139, 8 (deflate), a flag byte, four bytes of
// time, one of extra flags, one of operating system; then, as the flags say, an extra field
// (flag 4: a little-endian 16-bit length and that many bytes), a zero-terminated name (flag 8),
// a zero-terminated comment (flag 16) and a 16-bit header CRC (flag 2); then raw deflate data
// and an 8-byte trailer (CRC-32 and length), which is not checked. The header is parsed here;
// the deflate data go to zlib as raw inflation. Compressed bytes come through a 16 KB input
// buffer and are never read beyond the compressed size limit (an archive member's size), and
// the output is handed out from a 1 KB window so that byte-wise reading stays cheap.
#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <zlib.h>

#include "data/datafile.h"
#include "data/datafile_internal.h"
#include "platform/log.h"

// ---- Decompression -------------------------------------------------------------------------

// Refills the input buffer with up to 16384 bytes, never beyond the compressed size limit.
// Returns the count; 0 marks the input as used up.
static size_t inflate_refill(DataFile* s) {
    DataInflate* d = s->inflate;
    z_stream* z = d->z;
    if (d->input_done) return 0;
    long long room = d->zlimit - d->zconsumed;
    size_t want = (size_t)std::max<long long>(0, std::min<long long>(room, sizeof d->in));
    size_t got = want > 0 ? fread(d->in, 1, want, s->file) : 0;
    d->zconsumed += (long long)got;
    z->next_in = d->in;
    z->avail_in = (uInt)got;
    if (got == 0) d->input_done = 1;
    return got;
}

// The next compressed byte for the header parser, or -1 when the input ends.
static int header_byte(DataFile* s) {
    z_stream* z = s->inflate->z;
    if (z->avail_in == 0 && inflate_refill(s) == 0) return -1;
    z->avail_in--;
    return *z->next_in++;
}

static int header_skip(DataFile* s, long n) {
    for (; n > 0; n--)
        if (header_byte(s) < 0) return 0;
    return 1;
}

static int header_skip_string(DataFile* s) {
    for (;;) {
        int c = header_byte(s);
        if (c < 0) return 0;
        if (c == 0) return 1;
    }
}

// Parses the gzip header; the bytes after it stay in the input buffer for inflation. The
// header may run past the first 16 KB block (a long name or extra field).
static int header_parse(DataFile* s) {
    if (header_byte(s) != 31 || header_byte(s) != 139 || header_byte(s) != 8) return 0;
    int flags = header_byte(s);
    if (flags < 0 || flags >= 32) return 0;
    if (!header_skip(s, 6)) return 0; // time, extra flags, operating system
    if (flags & 4) {
        int lo = header_byte(s), hi = header_byte(s);
        if (lo < 0 || hi < 0 || !header_skip(s, lo | hi << 8)) return 0;
    }
    if ((flags & 8) && !header_skip_string(s)) return 0;
    if ((flags & 16) && !header_skip_string(s)) return 0;
    if ((flags & 2) && !header_skip(s, 2)) return 0;
    return 1;
}

int data_inflate_start(DataFile* s) {
    DataInflate* d = (DataInflate*)xmalloc(sizeof(DataInflate));
    memset(d, 0, sizeof *d);
    d->z = (z_stream*)xmalloc(sizeof(z_stream));
    memset(d->z, 0, sizeof(z_stream)); // default allocators, no input yet
    d->zlimit = s->limit;
    s->limit = INT_MAX; // the uncompressed length is not known
    s->inflate = d;
    int ok = header_parse(s) && inflateInit2(d->z, -15) == Z_OK;
    if (!ok) {
        free(d->z);
        free(d);
        s->inflate = nullptr;
    }
    return ok;
}

void data_inflate_end(DataFile* s) {
    if (!s->inflate) return;
    inflateEnd(s->inflate->z);
    free(s->inflate->z);
    free(s->inflate);
    s->inflate = nullptr;
}

// Delivers up to n decompressed bytes. Corrupt data, or input that runs out before the end of
// the deflate stream, end the data (and set the error flag); nothing is read past the limit.
static size_t inflate_read(DataFile* s, unsigned char* dst, size_t n) {
    DataInflate* d = s->inflate;
    z_stream* z = d->z;
    size_t done = 0;
    for (;;) {
        // 1. What the window holds.
        size_t take = std::min((size_t)(d->out_end - d->out_read), n - done);
        memcpy(dst + done, d->out + d->out_read, take);
        d->out_read += (int)take;
        done += take;
        if (done == n) break;
        // 2. Nothing more will come.
        if (d->end_of_stream) break;
        // 3. The window is used up: start it again.
        d->out_read = d->out_end = 0;
        z->next_out = d->out;
        z->avail_out = sizeof d->out;
        // 4. Inflate until the window holds something or the data end.
        for (;;) {
            if (z->avail_in == 0) inflate_refill(s);
            uInt in_before = z->avail_in;
            int r = inflate(z, Z_NO_FLUSH);
            if (r == Z_STREAM_END) {
                d->end_of_stream = 1;
                break;
            }
            bool failed = r != Z_OK && r != Z_BUF_ERROR;
            if (!failed && z->avail_out < sizeof d->out) break;
            // Cut short: no input left and nothing produced. No progress at all with input
            // still there cannot happen with zlib, but must not turn into an endless loop.
            if (failed || (z->avail_in == 0 && d->input_done) || z->avail_in == in_before) {
                d->end_of_stream = 1;
                d->error = 1;
                break;
            }
        }
        d->out_end = (int)(sizeof d->out - z->avail_out);
    }
    s->position += (long long)done;
    return done;
}

// ---- Reading -------------------------------------------------------------------------------

int data_getc(DataFile* s) {
    if (!s || !s->file) return -1;
    if (s->pushback >= 0) {
        int c = s->pushback;
        s->pushback = -1;
        return c;
    }
    if (s->compressed) {
        DataInflate* d = s->inflate;
        if (d->out_read < d->out_end) {
            s->position++;
            return d->out[d->out_read++];
        }
        unsigned char c;
        return inflate_read(s, &c, 1) == 1 ? c : -1;
    }
    if (s->position >= s->limit) return -1;
    int c = getc_unlocked(s->file); // streams belong to the main thread
    if (c == EOF) return -1;
    s->position++;
    return c;
}

int data_peek(DataFile* s) {
    int c = data_getc(s);
    if (c >= 0) s->pushback = c;
    return c;
}

char* data_gets(DataFile* s, char* buffer, int n) {
    if (!buffer || n <= 0) return nullptr;
    int i = 0;
    while (i < n - 1) {
        int c = data_getc(s);
        if (c < 0) break;
        buffer[i++] = (char)c;
        if (c == '\n') break;
    }
    buffer[i] = 0;
    return i > 0 ? buffer : nullptr;
}

size_t data_read(DataFile* s, void* buffer, size_t n) {
    if (!s || !s->file || !buffer || n == 0) return 0;
    unsigned char* out = (unsigned char*)buffer;
    size_t done = 0;
    if (s->pushback >= 0) {
        out[done++] = (unsigned char)s->pushback;
        s->pushback = -1;
    }
    if (s->compressed) return done + inflate_read(s, out + done, n - done);
    long long room = std::max<long long>(0, s->limit - s->position);
    size_t want = (size_t)std::min<long long>((long long)(n - done), room);
    size_t got = want > 0 ? fread(out + done, 1, want, s->file) : 0;
    s->position += (long long)got;
    return done + got;
}

int data_seek(DataFile* s, long long offset) {
    if (!s || !s->file || s->compressed || offset < 0 || offset >= s->limit) return 0;
    if (fseeko(s->file, (off_t)(s->base + offset), SEEK_SET) != 0) return 0;
    s->position = offset;
    s->pushback = -1;
    return 1;
}

int data_error(DataFile* s) {
    if (!s || !s->file) return 0;
    if (s->inflate && s->inflate->error) return 1;
    return ferror(s->file) != 0;
}

// ---- Writing -------------------------------------------------------------------------------

int data_putc(DataFile* s, int c) {
    return s && s->file ? fputc(c, s->file) : -1;
}

int data_puts(DataFile* s, const char* text) {
    return s && s->file && text ? fputs(text, s->file) : -1;
}

size_t data_write(DataFile* s, const void* bytes, size_t n) {
    return s && s->file && bytes ? fwrite(bytes, 1, n, s->file) : 0;
}

int data_printf(DataFile* s, const char* format, ...) {
    if (!s || !s->file) return -1;
    va_list args;
    va_start(args, format);
    int n = vfprintf(s->file, format, args);
    va_end(args);
    return n;
}

int data_flush(DataFile* s) {
    return s && s->file ? fflush(s->file) : -1;
}
