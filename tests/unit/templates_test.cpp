#include <gtest/gtest.h>

#include "io.h"
#include "templates.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::cp;
using test::TempDir;

class Templates : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }
    void TearDown() override { SetPath(u""); }
};

TEST_F(Templates, LookupRules) {
    struct Case {
        const char* key;
        std::string section;
        std::string expected;
    };
    const Case cases[] = {
        {"CBR1", "TEST", "abc / def"},          // CBR1 also collects CBR10
        {"CBR10", "test", "def"},               // sections ignore case
        {"cbr10", "TEST", "def"},               // so do keys
        {"AUDIO", "TEST", "three tabs"},        // a run of TABs; the comment line is skipped
        {"KEYX", "TEST", "after notab"},        // a line without a TAB is passed over
        {"NOPE", "TEST", cp("不明") + "NOPE"},
        {"", "TEST", cp("不明")},                // an empty key matches nothing
        {"X", "EMPTYFIRST", cp("不明") + "X"},  // an empty first line ends the section
        {"FIRST", "LASTLINE", "value1"},
        {"LAST", "LASTLINE", cp("不明") + "LAST"},  // the last line without a line end is not read
        {"X", "NOSUCHSECTION", cp("S不明") + "X"},
        {"X", std::string(33, 'S'), cp("S長") + "X"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lookupTemplate(c.key, c.section, u"FORMAT.INI"), c.expected) << c.key << " in " << c.section;
    EXPECT_EQ(lookupTemplate("KEY", "TEST", u"NOFILE.INI"), cp("C空") + "KEY");
}

TEST_F(Templates, EveryFormatSectionAndKeyExists) {
    // The sections and keys the analysers look up, in both the test and the
    // shipped files.
    const std::pair<const char*, const char*> keys[] = {
        {"AAC", "AUDIO1"},         {"AAC", "AUDIO2"},      {"AC3", "AUDIO"},         {"AU", "AUDIO"},
        {"DTS", "AUDIO1"},         {"DTS", "AUDIO2"},      {"FLAC", "AUDIO"},        {"FLASHVIDEO", "FLV"},
        {"FLASHVIDEO", "FLL"},     {"FLASHVIDEO", "AUDIO"}, {"MATROSKA", "VIDEO"},   {"MATROSKA", "AUDIO"},
        {"MIDI", "AUDIO1"},        {"MIDI", "AUDIO2"},     {"APE", "AUDIO"},         {"MP3", "CBR1"},
        {"MP3", "CBR2"},           {"MP3", "LAME"},        {"MP3", "VBRI"},          {"MP3", "XING"},
        {"MPEG1/2", "MPEG1"},      {"MPEG1/2", "MPEG2"},   {"MPEG1/2", "LPCM"},      {"MPEG2-TS", "LPCM"},
        {"AVC", "VIDEO"},          {"MUSEPACK", "AUDIO"},  {"OGG", "VIDEO"},         {"OGG", "THEORA"},
        {"OGG", "VORBIS"},         {"OGG", "SPEEX"},       {"OPTIMFROG", "AUDIO"},   {"QUICKTIME", "VIDEO"},
        {"QUICKTIME", "AUDIO"},    {"REAL", "VIDEO"},      {"REAL", "AUDIO"},        {"RIFF", "VIDEO"},
        {"RIFF", "AUDIO"},         {"AIFF", "AUDIO"},      {"PUREVOICE", "AUDIO"},   {"S98", "AUDIO"},
        {"TTA", "AUDIO"},          {"VQ", "AUDIO"},        {"WAVPACK", "AUDIO"},     {"WINDOWSMEDIA", "VIDEO1"},
        {"WINDOWSMEDIA", "VIDEO2"}, {"WINDOWSMEDIA", "AUDIO"},
    };
    const std::string failures[] = {cp("C空"), cp("S長"), cp("S不明"), cp("不明")};
    for (bool shipped : {false, true}) {
        shipped ? test::useShippedData() : test::useTestData();
        for (const auto& [section, key] : keys) {
            std::string value = lookupTemplate(key, section, u"FORMAT.INI");
            for (const auto& failure : failures)
                EXPECT_FALSE(value.starts_with(failure) && value.substr(failure.size()) == key)
                    << (shipped ? "data/" : "tests/data/") << "FORMAT.INI [" << section << "] " << key << ": " << value;
            EXPECT_EQ(value.find(" / "), std::string::npos) << section << " " << key << " collects several entries";
        }
    }
}

TEST(TemplateFiles, LineEndsAndLimits) {
    TempDir dir;
    std::string longValue(600, 'v');
    dir.write("FORMAT.INI",
              "[LF]\n"
              "A\tlf value\n"
              "B\t\n"            // nothing after the TABs
              "C\tx\n"
              "\n"
              "[LONG]\r\n"
              "K\t" + longValue + "\r\n"
              "K2\tshort\r\n"
              "\r\n");
    SetPath(utf8ToUtf16(dir.path().string() + "/").c_str());
    EXPECT_EQ(lookupTemplate("A", "LF", u"FORMAT.INI"), "lf value");
    EXPECT_EQ(lookupTemplate("B", "LF", u"FORMAT.INI"), cp("不明") + "B");
    EXPECT_EQ(lookupTemplate("C", "LF", u"FORMAT.INI"), "x");
    // A line longer than a piece: its first piece yields a value of at most
    // 477 bytes, the rest is a piece of its own without a TAB.
    std::string k = lookupTemplate("K", "LONG", u"FORMAT.INI", 2048);
    EXPECT_EQ(k, std::string(477, 'v') + " / short");
    EXPECT_LE(lookupTemplate("K", "LONG", u"FORMAT.INI").size(), 511u);
    EXPECT_EQ(lookupTemplate("K", "LONG", u"FORMAT.INI", 8), "vvvvvvv");
    SetPath(u"");
}

TEST(SetPath, LengthLimit) {
    TempDir dir;
    dir.write("FORMAT.INI", "[S]\r\nK\tvalue\r\n\r\n");
    std::u16string good = utf8ToUtf16(dir.path().string() + "/");
    SetPath(good.c_str());
    EXPECT_EQ(lookupTemplate("K", "S", u"FORMAT.INI"), "value");
    std::u16string exact(255, u'a');
    SetPath(exact.c_str());
    EXPECT_EQ(dataDirectory(), exact);
    SetPath(good.c_str());
    std::u16string tooLong(256, u'a');
    SetPath(tooLong.c_str());  // refused, and the earlier directory is gone
    EXPECT_EQ(dataDirectory(), u"");
    EXPECT_EQ(lookupTemplate("K", "S", u"FORMAT.INI"), cp("C空") + "K");
}

TEST(ReplacePlaceholder, Cases) {
    struct Case {
        std::string text, placeholder, value, result;
        bool replaced;
    };
    const Case cases[] = {
        {"#samplerate#Hz", "#samplerate#", "44100", "44100Hz", true},
        {"#SampleRate#Hz", "#samplerate#", "44100", "44100Hz", true},
        {"#a# and #a#", "#a#", "x", "x and x", true},
        {"#a#", "#a#", "", "", true},
        {"no placeholder", "#a#", "x", "no placeholder", false},
        {"#a##b#", "#b#", "#a#", "#a##a#", true},  // the value is not scanned again
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(replacePlaceholder(text, c.placeholder, c.value), c.replaced) << c.text;
        EXPECT_EQ(text, c.result) << c.text;
    }
}

TEST(ReplacePlaceholder, NeverGrowsPastTheBuffer) {
    std::string text = std::string(500, 't') + "#v#";
    EXPECT_FALSE(replacePlaceholder(text, "#v#", std::string(100, 'x')));  // would not fit: left as it stands
    EXPECT_EQ(text, std::string(500, 't') + "#v#");
    text = "#v##v#";
    EXPECT_TRUE(replacePlaceholder(text, "#v#", std::string(300, 'x')));
    EXPECT_EQ(text, std::string(300, 'x') + "#v#");
    text = std::string(600, 'a');
    replacePlaceholder(text, "#v#", "x");
    EXPECT_EQ(text.size(), 511u);
}

}  // namespace
}  // namespace vesko
