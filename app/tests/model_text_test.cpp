// Library text (code page 932) and size texts.
#include <gtest/gtest.h>

#include <climits>

#include "library_text.h"
#include "test_support.h"

using namespace vesko::lite;

namespace {

struct DecodeCase {
    QByteArray bytes;
    QString expected;
};

TEST(LibraryText, DecodesCodePage932NotTheSystemEncoding) {
    const DecodeCase cases[] = {
        {test::cp932(QStringLiteral("ファイルのオープンに失敗")), QStringLiteral("ファイルのオープンに失敗")},
        // 0x5C and 0x7E stay backslash and tilde (not yen sign / overline).
        {QByteArray("C:\\x~y"), QStringLiteral("C:\\x~y")},
        // NEC and IBM extensions exist in code page 932 only.
        {QByteArray("\x87\x40\xFA\x40", 4), QStringLiteral("①ⅰ")},
        {QByteArray("\x82\xa0", 2), QStringLiteral("あ")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decodeLibraryText(c.bytes.constData(), c.bytes.size()), c.expected) << c.bytes.toHex().constData();
}

TEST(LibraryText, StopsAtTheTerminatorAndAtTheBound) {
    const char buffer[] = {'a', 'b', 0, 'c', 'd'};
    EXPECT_EQ(decodeLibraryText(buffer, 5), QStringLiteral("ab"));
    const char unterminated[] = {'x', 'y', 'z'};
    EXPECT_EQ(decodeLibraryText(unterminated, 2), QStringLiteral("xy"));
    EXPECT_EQ(decodeLibraryText(nullptr, 4), QString());
}

TEST(LibraryText, GroupsThousands) {
    const std::pair<int64_t, const char*> cases[] = {
        {0, "0"},           {999, "999"},         {1000, "1,000"}, {1234567, "1,234,567"}, {-1234, "-1,234"},
        {-999, "-999"},     {100000, "100,000"},  {LLONG_MAX, "9,223,372,036,854,775,807"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(groupThousands(value), QString::fromLatin1(text)) << value;
}

TEST(LibraryText, ReadsSizeTextsBack) {
    int64_t v = 0;
    EXPECT_TRUE(parseGroupedNumber(QStringLiteral("1,000"), v));
    EXPECT_EQ(v, 1000);
    EXPECT_TRUE(parseGroupedNumber(QStringLiteral("-12,345"), v));
    EXPECT_EQ(v, -12345);
    EXPECT_FALSE(parseGroupedNumber(QStringLiteral("12 KB"), v));
    EXPECT_FALSE(parseGroupedNumber(QString(), v));
}

}  // namespace
