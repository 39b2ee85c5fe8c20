#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "checked.h"
#include "io.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::bytes;

std::span<const uint8_t> span(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

TEST(ByteReaders, BothOrdersAndWidths) {
    const std::string b = bytes({0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x11});
    EXPECT_EQ(readU16LE(span(b), 0), 0x3412);
    EXPECT_EQ(readU16BE(span(b), 0), 0x1234);
    EXPECT_EQ(readU24LE(span(b), 1), 0x785634u);
    EXPECT_EQ(readU24BE(span(b), 1), 0x345678u);
    EXPECT_EQ(readU32LE(span(b), 0), 0x78563412u);
    EXPECT_EQ(readU32BE(span(b), 5), 0xBCDEF011u);
    EXPECT_EQ(readU64LE(span(b), 0), 0xF0DEBC9A78563412ull);
    EXPECT_EQ(readU64BE(span(b), 1), 0x3456789ABCDEF011ull);
    EXPECT_EQ(readUIntBE(span(b), 2), 0x1234u);
    EXPECT_EQ(readUIntLE(span(b), 2), 0x3412u);
    EXPECT_EQ(readUIntBE(span(b), 0), 0u);  // count outside 1 to 8
    EXPECT_EQ(readUIntLE(span(b), 9), 0u);
}

TEST(ByteReaders, NeverReadPastTheBuffer) {
    const std::string b = bytes({1, 2, 3});
    EXPECT_THROW(readU32LE(span(b), 0), BoundsError);
    EXPECT_THROW(readU16BE(span(b), 2), BoundsError);
    EXPECT_THROW(readU16BE(span(b), SIZE_MAX), BoundsError);
    EXPECT_THROW(readUIntBE(span(b), 4), BoundsError);
    EXPECT_THROW(readFloatBE(span(b), 0, 10), BoundsError);
    EXPECT_THROW(formatGuid(span(b)), BoundsError);
}

TEST(ReadFloatBE, SingleDoubleAndExtended) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::string bytes;
        size_t width;
        double value;
    };
    const Case cases[] = {
        {bytes({0x3F, 0x80, 0, 0}), 4, 1.0},
        {bytes({0xC0, 0x49, 0x0F, 0xDB}), 4, -3.1415927410125732},
        {bytes({0x80, 0, 0, 0}), 4, 0.0},                      // -0 reads as +0
        {bytes({0x7F, 0x80, 0, 0}), 4, inf},
        {bytes({0xFF, 0x80, 0, 0}), 4, -inf},
        {bytes({0xFF, 0xC0, 0, 0}), 4, inf},                   // NaN reads as +infinity
        {bytes({0x00, 0x00, 0x00, 0x01}), 4, std::ldexp(1.0, -149)},  // subnormal
        {bytes({0x40, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18}), 8, 3.141592653589793},
        {bytes({0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}), 10, 44100.0},
        {bytes({0xC0, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}), 10, 48000.0},  // the sign is ignored
        {bytes({0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 10, inf},  // overflows quietly
        {bytes({0x40, 0x0E, 0xAC, 0x44}), 3, 0.0},
    };
    for (const auto& c : cases) {
        double v = readFloatBE(span(c.bytes), 0, c.width);
        EXPECT_EQ(v, c.value) << "width " << c.width;
        if (c.value == 0.0) {
            EXPECT_FALSE(std::signbit(v));
        }
    }
}

TEST(BitText, ExpandAndRead) {
    std::string bits = bytesToBits(span(bytes({0xA5, 0x0F})));
    EXPECT_EQ(bits, "1010010100001111");
    EXPECT_EQ(bytesToBits({}), "");
    std::string one;
    byteToBits(one, 0x80);
    EXPECT_EQ(one, "10000000");
    EXPECT_EQ(bitsToNumber("0101", 4), 5.0);
    EXPECT_EQ(bitsToNumber("0101", 2), 1.0);
    EXPECT_EQ(bitsToNumber("1x1", 3), 5.0);     // anything but '1' is 0
    EXPECT_EQ(bitsToNumber("11", 4), 12.0);     // missing characters read as 0
    EXPECT_EQ(bitsToNumber(std::string(53, '1'), 53), std::ldexp(1.0, 53) - 1);
    EXPECT_EQ(bitsAt(bits, 4, 8), 0x50u);
    EXPECT_EQ(bitsAt(bits, 12, 8), 0xF0u);      // past the end reads 0
}

TEST(Formatters, Guid) {
    const std::string asfHeader =
        bytes({0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C});
    EXPECT_EQ(formatGuid(span(asfHeader)), "75B22630-668E-11CF-A6D9-00AA0062CE6C");
}

TEST(Formatters, Thousands) {
    const std::pair<int64_t, const char*> cases[] = {
        {0, "0"},           {123, "123"},         {1000, "1,000"},         {1234, "1,234"},
        {123456, "123,456"}, {1234567, "1,234,567"}, {-1234, "-1,234"},
        {INT64_MAX, "9,223,372,036,854,775,807"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(formatThousands(value), text) << value;
}

TEST(Formatters, SplitDuration) {
    struct Case {
        double seconds;
        DurationParts parts;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {3725.9999, {1, 2, 5, 999}},
        {83.4567, {0, 1, 23, 456}},
        {0.0, {0, 0, 0, 0}},
        {59.9999999, {0, 0, 59, 999}},
        {3600.0, {1, 0, 0, 0}},
        {-5.5, {0, 0, 0, 0}},
        {nan, {0, 0, 0, 0}},
        {std::numeric_limits<double>::infinity(), {std::numeric_limits<int>::max(), 59, 59, 999}},
        {1e300, {std::numeric_limits<int>::max(), 59, 59, 999}},
    };
    for (const auto& c : cases) {
        DurationParts p = splitDuration(c.seconds);
        EXPECT_EQ(p.hours, c.parts.hours) << c.seconds;
        EXPECT_EQ(p.minutes, c.parts.minutes) << c.seconds;
        EXPECT_EQ(p.seconds, c.parts.seconds) << c.seconds;
        EXPECT_EQ(p.milliseconds, c.parts.milliseconds) << c.seconds;
    }
}

TEST(Formatters, CopyStrided) {
    struct Case {
        std::string source;
        size_t stride;
        std::string text;
    };
    const Case cases[] = {
        {std::string("A\0B\0 \0 \0", 8), 2, "AB"},
        {std::string("A\0B\0C", 5), 2, "ABC"},    // length not a multiple of the stride
        {std::string("AB\x82\xA0  ", 6), 1, "AB"},  // high bytes and blanks leave the end
        {"    ", 1, ""},
        {"abc", 0, ""},
        {"", 2, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(copyStrided(span(c.source), c.stride), c.text);
}

TEST(Checked, ArithmeticFaultsOnlyWhereTheValuesDemand) {
    EXPECT_EQ(checkedDiv(10, 3), 3);
    EXPECT_THROW(checkedDiv(10, 0), ArithmeticFault);
    EXPECT_THROW(checkedDiv(INT32_MIN, -1), ArithmeticFault);
    EXPECT_THROW(checkedMod(10u, 0u), ArithmeticFault);
    EXPECT_EQ(checkedDiv(1.0, 4.0), 0.25);
    EXPECT_THROW(checkedDiv(1.0, 0.0), ArithmeticFault);
    EXPECT_THROW(checkedDiv(1e308, 1e-308), ArithmeticFault);
    EXPECT_EQ(checkedCast<int32_t>(-2.9), -2);
    EXPECT_EQ(checkedCast<uint8_t>(255.9), 255);
    EXPECT_THROW(checkedCast<uint8_t>(256.0), ArithmeticFault);
    EXPECT_THROW(checkedCast<int32_t>(std::nan("")), ArithmeticFault);
    EXPECT_THROW(checkedCast<int32_t>(2147483648.0), ArithmeticFault);
    EXPECT_EQ(checkedCast<int32_t>(-2147483648.0), INT32_MIN);
}

}  // namespace
}  // namespace vesko
