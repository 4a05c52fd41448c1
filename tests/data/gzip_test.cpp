// Gzip data: the ".gz" fallback, header parsing and damaged streams.
#include <gtest/gtest.h>

#include "data/datafile.h"
#include "data_test_util.h"
#include "support/test_env.h"

static std::string game(const std::string& rel) {
    return test_game_dir() + "/" + rel;
}
static std::string user(const std::string& rel) {
    return test_user_dir() + rel;
}

TEST(Gzip, LooseFallbackForDataNamesAndPaths) {
    write_file(game("tracks/mx/tilemap.gz"), gzip_bytes("tile data\n"));
    EXPECT_EQ(read_data("@tracks/mx/tilemap"), "tile data\n");
    EXPECT_EQ(read_data(game("tracks/mx/tilemap")), "tile data\n");
    // Asking for the ".gz" name itself gives the compressed bytes.
    EXPECT_EQ(read_data("@tracks/mx/tilemap.gz"), gzip_bytes("tile data\n"));
}

TEST(Gzip, PlainFileBeatsItsGzipInTheSameFolder) {
    write_file(game("desc"), "plain");
    write_file(game("desc.gz"), gzip_bytes("packed"));
    EXPECT_EQ(read_data("@desc"), "plain");
    // Folders are tried in order, each with its ".gz" retry.
    write_file(user("desc.gz"), gzip_bytes("user packed"));
    EXPECT_EQ(read_data("@desc"), "user packed");
}

TEST(Gzip, ArchivedMemberFallbackIgnoresCase) {
    std::string packed = gzip_bytes("member text");
    write_file(game("p.saf"), saf_bytes({{"Data.BIN.gz", packed}, {"after", "zzz"}}));
    EXPECT_EQ(read_data("@data.bin"), "member text");
    EXPECT_EQ(read_data("@data.bin.gz"), packed);
}

TEST(Gzip, AllHeaderFieldsAreSkipped) {
    GzipParts parts;
    parts.extra = std::string("AB\x04\x00wxyz", 8);
    parts.name = "original.txt";
    parts.comment = "a comment";
    parts.header_crc = true;
    write_file(game("h.gz"), gzip_bytes("payload", parts));
    EXPECT_EQ(read_data("@h"), "payload");
}

TEST(Gzip, HeaderLongerThanOneInputBlock) {
    GzipParts parts;
    parts.name = std::string(20000, 'n');
    parts.extra = std::string(40000, 'e');
    write_file(game("long.gz"), gzip_bytes("after a long header", parts));
    EXPECT_EQ(read_data("@long"), "after a long header");
}

TEST(Gzip, BadHeadersFailTheOpen) {
    std::string good = gzip_bytes("x");
    std::string wrong_magic = good, wrong_method = good, reserved_flag = good;
    wrong_magic[1] = '\x8c';
    wrong_method[2] = 7;
    reserved_flag[3] = 32;
    write_file(game("a.gz"), wrong_magic);
    write_file(game("b.gz"), wrong_method);
    write_file(game("c.gz"), reserved_flag);
    write_file(game("d.gz"), "");
    write_file(game("e.gz"), good.substr(0, 9)); // time etc. cut short
    write_file(game("f.gz"), std::string("\x1f\x8b\x08\x08", 4) + "123456" + "name-but-no-end");
    write_file(game("g.gz"),
               std::string("\x1f\x8b\x08\x04", 4) + "123456" + "\x10"); // half a length
    write_file(game("h.gz"), std::string("\x1f\x8b\x08\x04", 4) + "123456" +
                                 std::string("\xff\x00", 2) + "short"); // 255 bytes promised
    for (const char* name : {"@a", "@b", "@c", "@d", "@e", "@f", "@g", "@h"})
        EXPECT_EQ(data_open(name, "rb"), nullptr) << name;
}

TEST(Gzip, TruncatedMemberHeaderFailsInsideTheLimit) {
    // The member holds only the first 5 header bytes; the bytes after it complete a valid
    // header, which must not be read.
    std::string packed = gzip_bytes("hidden");
    std::string archive = "5 cut.gz\n" + std::to_string(packed.size() - 5) + " rest\n-\n" + packed;
    write_file(game("p.saf"), archive);
    EXPECT_EQ(data_open("@cut", "rb"), nullptr);
}

TEST(Gzip, LargeDataAcrossWindowsAndBlocks) {
    std::string text = noisy_text(200000);
    std::string packed = gzip_bytes(text, GzipParts{"", "", "", false, 1});
    ASSERT_GT(packed.size(), 3 * 16384u);
    write_file(game("big.gz"), packed);
    write_file(game("p.saf"), saf_bytes({{"pre", "123"}, {"big2.gz", packed}, {"post", "456"}}));

    EXPECT_EQ(read_data("@big"), text);
    // Odd-sized reads mixed with single bytes from an archive member.
    DataFile* f = data_open("@big2", "rb");
    ASSERT_NE(f, nullptr);
    std::string got;
    char buffer[777];
    for (;;) {
        int c = data_getc(f);
        if (c < 0) break;
        got += (char)c;
        size_t n = data_read(f, buffer, sizeof buffer);
        got.append(buffer, n);
    }
    EXPECT_EQ(got, text);
    EXPECT_EQ(data_error(f), 0);
    EXPECT_EQ(data_read(f, buffer, sizeof buffer), 0u);
    data_close(f);
}

TEST(Gzip, EmptyDataAndUncheckedTrailer) {
    write_file(game("empty.gz"), gzip_bytes(""));
    EXPECT_EQ(read_data("@empty"), "");
    std::string packed = gzip_bytes("trailer is not checked");
    packed[packed.size() - 8] ^= 0x55; // CRC
    packed[packed.size() - 1] ^= 0x55; // length
    write_file(game("t.gz"), packed);
    std::vector<unsigned char> out;
    ASSERT_EQ(data_load("@t", &out), 1);
    EXPECT_EQ(std::string(out.begin(), out.end()), "trailer is not checked");
}

TEST(Gzip, CorruptDeflateEndsTheData) {
    // Block type 3 is reserved: the very first block is corrupt.
    std::string bad = gzip_bytes("").substr(0, 10) + std::string(5000, '\xff');
    write_file(game("bad.gz"), bad);
    DataFile* f = data_open("@bad", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_getc(f), -1);
    EXPECT_EQ(data_getc(f), -1);
    EXPECT_EQ(data_error(f), 1);
    data_close(f);
    std::vector<unsigned char> out;
    EXPECT_EQ(data_load("@bad", &out), 0);
}

TEST(Gzip, CutShortStreamGivesAPrefix) {
    std::string text = noisy_text(100000, 7);
    std::string packed = gzip_bytes(text);
    write_file(game("half.gz"), packed.substr(0, packed.size() / 2));
    DataFile* f = data_open("@half", "rb");
    ASSERT_NE(f, nullptr);
    std::string got = read_all_getc(f);
    EXPECT_GT(got.size(), 0u);
    EXPECT_LT(got.size(), text.size());
    EXPECT_EQ(got, text.substr(0, got.size()));
    EXPECT_EQ(data_error(f), 1);
    data_close(f);
}

TEST(Gzip, MemberSizeLimitsTheCompressedInput) {
    // The member's stated size cuts its gzip data in half; the other half follows as the next
    // member. Reading past the member would decompress everything.
    std::string text = noisy_text(60000, 3);
    std::string packed = gzip_bytes(text);
    size_t half = packed.size() / 2;
    std::string archive = std::to_string(half) + " split.gz\n" +
                          std::to_string(packed.size() - half) + " tail\n-\n" + packed;
    write_file(game("p.saf"), archive);
    DataFile* f = data_open("@split", "rb");
    ASSERT_NE(f, nullptr);
    std::string got = read_all_getc(f);
    EXPECT_LT(got.size(), text.size());
    EXPECT_EQ(got, text.substr(0, got.size()));
    EXPECT_EQ(data_error(f), 1);
    data_close(f);
}

TEST(Gzip, CompressedStreamsDoNotSeek) {
    write_file(game("s.gz"), gzip_bytes("abcdef"));
    DataFile* f = data_open("@s", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_getc(f), 'a');
    EXPECT_EQ(data_seek(f, 0), 0);
    EXPECT_EQ(data_peek(f), 'b');
    EXPECT_EQ(data_peek(f), 'b');
    char line[8];
    EXPECT_STREQ(data_gets(f, line, sizeof line), "bcdef");
    EXPECT_EQ(data_gets(f, line, sizeof line), nullptr);
    data_close(f);
}
