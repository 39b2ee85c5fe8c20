#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "identify.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::bytes;
using test::TempDir;

// A 256-byte window holding `head` at offset `at`.
std::string window(const std::string& head, size_t at = 0) {
    std::string w(256, '\0');
    w.replace(at, head.size(), head);
    return w;
}

int classify(const std::string& w, const std::u16string& ext = u"") {
    return classifyWindow({reinterpret_cast<const uint8_t*>(w.data()), w.size()}, ext);
}

TEST(Identify, MagicNumbersInOrder) {
    struct Case {
        const char* name;
        std::string window;
        int code;
    };
    std::string ts = window("\x47");
    ts[188] = 0x47;
    std::string m2ts = window("\x47", 4);
    m2ts[196] = 0x47;
    std::string bmpAndJfif = window(std::string("BM\0\0\0\0JFIF", 10));
    const Case cases[] = {
        {"JFIF", window("JFIF", 6), 52},
        {"Exif, any case", window("exif", 6), 52},
        {"JFIF wins over BM", bmpAndJfif, 52},
        {"BMP", window("BM"), 51},
        {"GIF", window("GIF89a"), 53},
        {"AVI", window(std::string("RIFF\0\0\0\0AVI ", 12)), 12},
        {"wave in lower case", window(std::string("RIFF\0\0\0\0wave", 12)), 101},
        {"CDDA", window(std::string("RIFF\0\0\0\0CDDA", 12)), 107},
        {"RMP3", window(std::string("RIFF\0\0\0\0RMP3", 12)), 108},
        {"CDXA", window(std::string("RIFF\0\0\0\0CDXA", 12)), 14},
        {"RMID", window(std::string("RIFF\0\0\0\0RMID", 12)), 103},
        {"QLCM", window(std::string("RIFF\0\0\0\0QLCM", 12)), 128},
        {"unknown RIFF form", window(std::string("RIFF\0\0\0\0ABCD", 12)), 1},
        {"riff in lower case is no RIFF", window(std::string("riff\0\0\0\0WAVE", 12)), 1},
        {"pack header MPEG-1", window(bytes({0, 0, 1, 0xBA, 0x21})), 13},
        {"pack header MPEG-2", window(bytes({0, 0, 1, 0xBA, 0x44})), 16},
        {"pack header other", window(bytes({0, 0, 1, 0xBA, 0xC4})), 1},
        {"moov", window("moov", 4), 20},
        {"ftyp", window("ftyp", 4), 21},
        {"Ogg Vorbis", window("vorbis", 29).replace(0, 4, "OggS"), 109},
        {"Ogg Speex", window("Speex", 28).replace(0, 4, "OggS"), 110},
        {"Ogg FLAC", window("fLaC", 28).replace(0, 4, "OggS"), 111},
        {"Ogg other", window("OggS"), 15},
        {"RealMedia", window(".RMF"), 19},
        {"RealAudio", window(bytes({0x2E, 0x72, 0x61, 0xFD})), 118},
        {"ASF", window(bytes({0x30, 0x26, 0xB2, 0x75})), kNeedsAsfProbe},
        {"Matroska", window(bytes({0x1A, 0x45, 0xDF, 0xA3})), 25},
        {"FLV", window("FLV"), 26},
        {"MIDI", window("MThd"), 102},
        {"Sun audio", window(".snd"), 104},
        {"AIFF", window("AIFF", 8), 105},
        {"AIFC", window("AIFC", 8), 105},
        {"ADIF", window("ADIF"), 117},
        {"ADTS FF F1", window(bytes({0xFF, 0xF1})), 117},
        {"ADTS FF F9", window(bytes({0xFF, 0xF9})), 117},
        {"MPEG audio FF FB", window(bytes({0xFF, 0xFB})), 106},
        {"MPEG audio FF E3", window(bytes({0xFF, 0xE3})), 106},
        {"FF 0F is neither", window(bytes({0xFF, 0x0F})), 1},
        {"AC-3", window(bytes({0x0B, 0x77})), 113},
        {"Monkey's Audio", window("MAC "), 114},
        {"Musepack SV7", window("MP+"), 115},
        {"FLAC", window("fLaC"), 116},
        {"TTA", window("TTA1"), 119},
        {"WavPack", window("wvpk"), 124},
        {"OptimFROG", window("OFR "), 125},
        {"OptimFROG *RIFF", window("*RIFF"), 125},
        {"DTS 14-bit LE (not MPEG audio)", window(bytes({0xFF, 0x1F, 0x00, 0xE8, 0xF1, 0x07})), 120},
        {"FF 1F without the DTS pattern is MPEG audio", window(bytes({0xFF, 0x1F, 0x00, 0xE8, 0xF1, 0x08})), 106},
        {"DTS 14-bit BE", window(bytes({0x1F, 0xFF, 0xE8, 0x00, 0x07, 0xF3})), 121},
        {"DTS 16-bit LE", window(bytes({0xFE, 0x7F, 0x01, 0x80})), 122},
        {"DTS 16-bit BE", window(bytes({0x7F, 0xFE, 0x80, 0x01})), 123},
        {"TwinVQ", window("TWIN"), 126},
        {"S98", window("S98"), 129},
        {"transport stream 188", ts, 17},
        {"transport stream 192", m2ts, 17},
        {"Shockwave Audio", window("MACRZ", 36), 127},
        {"nothing", window("hello world"), 1},
    };
    for (const auto& c : cases) EXPECT_EQ(classify(c.window), c.code) << c.name;
}

TEST(Identify, FallbackExtensions) {
    const std::string nothing = window("hello world");
    const std::pair<const char16_t*, int> cases[] = {
        {u".mpeg", 13}, {u".MPG", 13},  {u".m1v", 13},  {u".m2v", 16},  {u".vob", 16}, {u".m2t", 17},
        {u".m2ts", 17}, {u".ts", 17},   {u".TS", 17},   {u".tsv", 1},   {u".rmp", 101}, {u".mp3", 106},
        {u".mp2", 106}, {u".mpga", 106}, {u".mpa", 106}, {u".ac3", 113}, {u".aac", 117}, {u".mov", 20},
        {u".QTX", 20},  {u".3gp", 21},  {u".3gpp", 21}, {u".3g2", 21},  {u".amc", 21},  {u".mp4", 21},
        {u".m4a", 21},  {u".m4v", 21},  {u".txt", 1},   {u"", 1},
    };
    for (const auto& [ext, code] : cases) EXPECT_EQ(classify(nothing, ext), code) << utf16ToUtf8(ext);
    // The magic number decides before the extension.
    EXPECT_EQ(classify(window(bytes({0, 0, 1, 0xBA, 0xC4})), u".mpg"), 1);
}

TEST(Identify, ExtensionOfAPath) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"/music/song.mp3", u".mp3"},
        {u"/music/song.tar.gz", u".gz"},
        {u"/music.d/song", u""},   // a dot in a folder name is not the file's extension
        {u"C:\\a.b\\song", u""},
        {u".hidden", u""},         // the first character is never examined
        {u"x.", u"."},
        {u"", u""},
    };
    for (const auto& [path, ext] : cases) EXPECT_EQ(extensionOf(path), ext) << utf16ToUtf8(path);
}

TEST(Identify, ListExtensionsNeedNoFile) {
    const std::pair<const char16_t*, int> cases[] = {
        {u"/none/list.zvmtl", 301}, {u"/none/list.pls", 302}, {u"/none/list.plsx", 302},
        {u"/none/list.lst", 303},   {u"/none/list.zpl", 304}, {u"/none/list.bsl", 305},
        {u"/none/list.m3u", 306},   {u"/none/list.M3U8", 307},
    };
    for (const auto& [path, code] : cases) {
        auto record = test::makeRecord(std::u16string(path));
        record->fileSize = 77;
        GetFileFormat(record.get());
        EXPECT_EQ(record->formatCode, code) << utf16ToUtf8(path);
        EXPECT_EQ(record->fileSize, 77);  // the file is not opened
    }
}

TEST(Identify, SizesAndOpenFailures) {
    TempDir dir;
    auto check = [](const std::filesystem::path& path, int code, int64_t size) {
        auto record = test::makeRecord(path);
        GetFileFormat(record.get());
        EXPECT_EQ(record->formatCode, code) << path;
        EXPECT_EQ(record->fileSize, size) << path;
    };
    check(dir.write("short.mp3", "\xFF\xFB" + std::string(37, 'a')), 1, 39);
    check(dir.write("forty.mp3", "\xFF\xFB" + std::string(38, 'a')), 106, 40);
    check(dir.write("empty.bin", ""), 1, 0);
    check(dir.path() / "missing.bin", 2, 0);
    check(dir.path(), 2, 0);  // a folder is not a file
}

TEST(Identify, LeadingId3v2IsPassedOver) {
    TempDir dir;
    std::string tag = bytes({'I', 'D', '3', 4, 0, 0, 0, 0, 0, 20}) + std::string(20, '\0');
    auto check = [&](const std::string& name, const std::string& content, int code) {
        auto record = test::makeRecord(dir.write(name, content));
        GetFileFormat(record.get());
        EXPECT_EQ(record->formatCode, code) << name;
    };
    check("a.bin", tag + bytes({0xFF, 0xFB, 0x90, 0x64}) + std::string(100, '\0'), 106);
    check("b.bin", tag + "fLaC" + std::string(100, '\0'), 116);
    check("c.bin", tag + bytes({0xFF, 0xF1, 0x50, 0x80}) + std::string(100, '\0'), 117);
    // A tag that claims to run past the end leaves an empty window: nothing of
    // the first read (here "AIFF" at offset 8) may decide.
    std::string longTag = bytes({'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}) + "AIFF" + std::string(60, 'x');
    check("d.bin", longTag, 1);
}

// A minimal ASF header: Header Object with the given child objects.
std::string guidBytes(const char* text) {
    // text form "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" back to the byte order on disk
    auto hex = [](const std::string& s) {
        std::string out;
        for (size_t i = 0; i + 1 < s.size(); i += 2) out.push_back(static_cast<char>(std::stoi(s.substr(i, 2), nullptr, 16)));
        return out;
    };
    std::string t(text);
    std::string a = hex(t.substr(0, 8)), b = hex(t.substr(9, 4)), c = hex(t.substr(14, 4));
    std::string out(a.rbegin(), a.rend());
    out.append(b.rbegin(), b.rend());
    out.append(c.rbegin(), c.rend());
    out += hex(t.substr(19, 4)) + hex(t.substr(24, 12));
    return out;
}

std::string le64(uint64_t v) {
    std::string out;
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
    return out;
}

std::string asfObject(const char* guid, const std::string& body, uint64_t declared = 0) {
    return guidBytes(guid) + le64(declared ? declared : body.size() + 24) + body;
}

constexpr const char* kHeader = "75B22630-668E-11CF-A6D9-00AA0062CE6C";
constexpr const char* kFileProps = "8CABDCA1-A947-11CF-8EE4-00C00C205365";
constexpr const char* kStreamProps = "B7DC0791-A9B7-11CF-8EE6-00C00C205365";
constexpr const char* kAudio = "F8699E40-5B4D-11CF-A8FD-00805F5C442B";
constexpr const char* kVideo = "BC19EFC0-5B4D-11CF-A8FD-00805F5C442B";
constexpr const char* kData = "75B22636-668E-11CF-A6D9-00AA0062CE6C";

std::string asf(const std::string& children) {
    return asfObject(kHeader, std::string(6, '\0') + children) + asfObject(kData, std::string(26, '\0'));
}

TEST(Identify, AsfProbe) {
    TempDir dir;
    const std::string fileProps = asfObject(kFileProps, std::string(80, '\0'));
    const std::string audio = asfObject(kStreamProps, guidBytes(kAudio) + std::string(40, '\0'));
    const std::string video = asfObject(kStreamProps, guidBytes(kVideo) + std::string(40, '\0'));
    struct Case {
        const char* name;
        std::string content;
        int code;
    };
    const Case cases[] = {
        {"audio only", asf(fileProps + audio), 112},
        {"audio and video", asf(fileProps + audio + video), 18},
        {"video only", asf(video + fileProps), 18},
        {"no file properties", asf(audio + video), 1},
        {"no streams", asf(fileProps), 1},
        // An object that declares a size below 24 must end the walk, not loop.
        {"object size 0", asf(fileProps + asfObject(kVideo, std::string(30, '\0'), 1) + video), 1},
        // A huge stream properties object is read only for its type.
        {"huge stream object", asf(fileProps + asfObject(kStreamProps, guidBytes(kAudio), 1ull << 40)), 112},
    };
    for (const auto& c : cases) {
        auto record = test::makeRecord(dir.write("x.asf", c.content));
        GetFileFormat(record.get());
        EXPECT_EQ(record->formatCode, c.code) << c.name;
    }
}

// Every file of the fixture corpus gets the code listed in codes.tsv.
TEST(Identify, FixtureCorpus) {
    std::ifstream list(std::string(VESKO_FIXTURE_DIR) + "codes.tsv");
    ASSERT_TRUE(list) << "tests/fixtures/codes.tsv is missing";
    std::string line;
    int checked = 0;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, code;
        std::getline(fields, name, '\t');
        std::getline(fields, code, '\t');
        auto record = test::makeRecord(test::fixture(name));
        GetFileFormat(record.get());
        EXPECT_EQ(record->formatCode, std::stoi(code)) << name;
        if (std::stoi(code) != 2 && record->formatCode != 2 && std::stoi(code) < 301) {
            EXPECT_EQ(static_cast<uint64_t>(record->fileSize), std::filesystem::file_size(test::fixture(name))) << name;
        }
        ++checked;
    }
    EXPECT_GT(checked, 40);
}

}  // namespace
}  // namespace vesko
