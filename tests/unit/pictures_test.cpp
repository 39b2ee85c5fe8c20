// Tests of the picture analysers: BMP, GIF and JPEG (JFIF and Exif).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "analysers.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::bytes;
using test::cp;

struct PictureCase {
    const char* file;
    int32_t code;
    const char* line;   // the video line, UTF-8; empty: none
    const char* error;  // the error text, UTF-8; empty: none
};

const PictureCase kPictures[] = {
    {"bmp_24bit.bmp", VESKO_FMT_BMP, "Windows 24Bit 64x48 RAW", ""},
    {"bmp_v5_header.bmp", VESKO_FMT_BMP, "Windows 24Bit 32x24 RAW", ""},
    {"bmp_4bit_indexed.bmp", VESKO_FMT_BMP, "Windows 4Bit 32x24 RAW", ""},
    {"bmp_8bit_rle.bmp", VESKO_FMT_BMP, "Windows 8Bit 32x24 RLE", ""},
    {"bmp_top_down.bmp", VESKO_FMT_BMP, "Windows 4Bit 32x-24 RAW", ""},
    {"bmp_os2_header.bmp", VESKO_FMT_BMP, "", "[BMP] 不明なフォーマット"},
    {"gif_16colour.gif", VESKO_FMT_GIF, "GIF89a 64x48", ""},
    {"gif87a_100x50.gif", VESKO_FMT_GIF, "GIF87a 100x50", ""},
    {"jpeg_jfif.jpg", VESKO_FMT_JPEG, "JFIF 24Bit 64x48 normal", ""},
    {"jpeg_jfif_inch.jpg", VESKO_FMT_JPEG, "JFIF 24Bit 64x48 inch", ""},
    {"jpeg_jfif_cm.jpg", VESKO_FMT_JPEG, "JFIF 24Bit 64x48 cm", ""},
    {"jpeg_jfif_sof_beyond_window.jpg", VESKO_FMT_JPEG, "[JPEG] マーカが見つかりません", ""},
    {"jpeg_jfif_cut_in_sof.jpg", VESKO_FMT_JPEG, "[JPEG] マーカが見つかりません", ""},
    {"jpeg_exif.jpg", VESKO_FMT_JPEG, "[Exif] PixelXDimensionが見つかりません", ""},
    {"jpeg_exif_short_mm.jpg", VESKO_FMT_JPEG, "Exif 24Bit 64x48", ""},
    {"jpeg_exif_long_mm.jpg", VESKO_FMT_JPEG, "Exif 24Bit 64x48", ""},
    {"jpeg_exif_short_ii.jpg", VESKO_FMT_JPEG, "[Exif] PixelXDimensionが見つかりません", ""},
};

TEST(Pictures, FixtureLines) {
    for (const auto& c : kPictures) {
        SCOPED_TRACE(c.file);
        const auto path = test::fixture(c.file);
        auto record = test::analyse(path);
        EXPECT_EQ(record->formatCode, c.code);
        EXPECT_EQ(std::string(record->errorText), cp(c.error));
        if (*c.line) {
            ASSERT_EQ(record->videoCount, 1);
            EXPECT_EQ(std::string(record->videoText[0]), cp(c.line));
        } else {
            EXPECT_EQ(record->videoCount, 0);
        }
        EXPECT_EQ(record->audioCount, 0);
        EXPECT_EQ(record->fileSize, static_cast<int64_t>(std::filesystem::file_size(path)));
    }
}

// Runs one analyser directly on crafted bytes (whatever identification
// would make of them).
std::unique_ptr<AnalysisRecord> run(void (*analyser)(AnalysisRecord&), const std::string& content) {
    test::TempDir dir;
    auto record = test::makeRecord(dir.write("picture", content));
    analyser(*record);
    return record;
}

std::string jfifHead(int unit) {
    return bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10}) + "JFIF" + bytes({0, 1, 1, unit, 0, 1, 0, 1, 0, 0});
}

TEST(Pictures, ShortBitmapReadsAsZeros) {
    // Fewer than the 34 bytes the line needs: the header size reads as 0.
    auto record = run(analyzeBmp, "BM" + std::string(10, '\0'));
    EXPECT_EQ(std::string(record->errorText), cp("[BMP] 不明なフォーマット"));
    EXPECT_EQ(record->fileSize, 12);
}

TEST(Pictures, JfifSkipsFramesWithoutASize) {
    // A start-of-frame marker with width and height 0 does not end the scan.
    const std::string frame0 = bytes({0xFF, 0xC0, 0, 11, 8, 0, 0, 0, 0, 1});
    const std::string frame = bytes({0xFF, 0xC2, 0, 11, 8, 0x03, 0x00, 0x04, 0x00, 1});
    auto record = run(analyzeJpeg, jfifHead(2) + frame0 + frame + bytes({0xFF, 0xD9}));
    ASSERT_EQ(record->videoCount, 1);
    EXPECT_EQ(std::string(record->videoText[0]), "JFIF 24Bit 1024x768 cm");
}

TEST(Pictures, JfifIgnoresHuffmanAndArithmeticTableMarkers) {
    // FF C4 (Huffman tables) and FF CC (arithmetic conditioning) are not frames.
    const std::string tables = bytes({0xFF, 0xC4, 0, 8, 0, 0x10, 0x20, 0, 0, 0, 0xFF, 0xCC, 0, 8, 0, 0x30, 0x40});
    const std::string frame = bytes({0xFF, 0xC1, 0, 11, 8, 0, 0x30, 0, 0x40, 1});
    auto record = run(analyzeJpeg, jfifHead(1) + tables + frame + std::string(20, '\0'));
    ASSERT_EQ(record->videoCount, 1);
    EXPECT_EQ(std::string(record->videoText[0]), "JFIF 24Bit 64x48 inch");
}

TEST(Pictures, ExifPassesOverBytesThatAreNoDimensionTag) {
    // "A0 02" inside other data with a field type that is neither SHORT nor
    // LONG is not the tag; the search goes on to the real entry.
    const std::string head = bytes({0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x40}) + "Exif" + bytes({0, 0}) + "MM";
    const std::string decoy = bytes({0xA0, 0x02, 0x00, 0x07, 0, 0, 0, 1, 0x12, 0x34, 0, 0});
    const std::string width = bytes({0xA0, 0x02, 0x00, 0x04, 0, 0, 0, 1, 0x00, 0x01, 0x00, 0x00});
    const std::string height = bytes({0xA0, 0x03, 0x00, 0x03, 0, 0, 0, 1, 0x02, 0x00, 0, 0});
    auto record = run(analyzeJpeg, head + decoy + width + height + std::string(16, '\0'));
    ASSERT_EQ(record->videoCount, 1);
    EXPECT_EQ(std::string(record->videoText[0]), "Exif 24Bit 65536x512");
}

TEST(Pictures, ExifEntryCutByTheEndOfTheFile) {
    // The PixelYDimension entry lacks its value: not found, nothing read past the file.
    const std::string head = bytes({0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x40}) + "Exif" + bytes({0, 0}) + "MM";
    const std::string width = bytes({0xA0, 0x02, 0x00, 0x03, 0, 0, 0, 1, 0x00, 0x40, 0, 0});
    auto record = run(analyzeJpeg, head + std::string(30, '\0') + width + bytes({0xA0, 0x03, 0x00, 0x03, 0, 0}));
    ASSERT_EQ(record->videoCount, 1);
    EXPECT_EQ(std::string(record->videoText[0]), cp("[Exif] PixelYDimensionが見つかりません"));
}

TEST(Pictures, JpegNeitherJfifNorExif) {
    const std::string adobe = bytes({0xFF, 0xD8, 0xFF, 0xEE, 0x00, 0x0E}) + "Adobe" + std::string(40, '\0');
    auto record = run(analyzeJpeg, adobe);
    EXPECT_EQ(std::string(record->errorText), cp("[JPEG] JFIFかExif以外のJPEGです"));
    EXPECT_EQ(record->videoCount, 0);
}

}  // namespace
}  // namespace vesko
