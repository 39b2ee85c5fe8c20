// Tests of the Standard MIDI header reader, the MIDI and S98 analysers and
// their description lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "analysers.h"
#include "audio/midi.h"
#include "io.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::bytes;
using test::cp;

std::string be16(unsigned v) { return bytes({static_cast<int>(v >> 8 & 0xFF), static_cast<int>(v & 0xFF)}); }
std::string be32(uint32_t v) { return be16(v >> 16) + be16(v & 0xFFFF); }
std::string le32(uint32_t v) {
    return bytes({static_cast<int>(v & 0xFF), static_cast<int>(v >> 8 & 0xFF), static_cast<int>(v >> 16 & 0xFF),
                  static_cast<int>(v >> 24 & 0xFF)});
}

// A name event as a track writes it: delta 0, FF 03, variable-length size.
std::string nameEvent(const std::string& name) {
    std::string out = bytes({0x00, 0xFF, 0x03});
    size_t n = name.size();
    if (n >= 128) out += static_cast<char>(0x80 | (n >> 7));
    out += static_cast<char>(n & 0x7F);
    return out + name;
}

const std::string kNotes = bytes({0x00, 0x90, 0x3C, 0x40, 0x60, 0x80, 0x3C, 0x00});
const std::string kEndOfTrack = bytes({0x00, 0xFF, 0x2F, 0x00});

std::string track(const std::string& events) { return "MTrk" + be32(events.size() + 4) + events + kEndOfTrack; }

std::string smf(unsigned format, unsigned tracks, unsigned division, const std::string& body,
                const std::string& tag = "MThd") {
    return tag + be32(6) + be16(format) + be16(tracks) + be16(division) + body;
}

std::optional<MidiInfo> parse(const std::string& data) {
    MidiInfo info{};
    if (!parseMidiHeader(info, Bytes(reinterpret_cast<const uint8_t*>(data.data()), data.size())))
        return std::nullopt;
    return info;
}

std::unique_ptr<AnalysisRecord> analyseAs(const std::filesystem::path& path, int32_t code) {
    auto r = test::makeRecord(path);
    r->formatCode = code;
    GetFileInfo(r.get());
    return r;
}

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ---------------------------------------------------------------------------
// MIDI header
// ---------------------------------------------------------------------------

TEST(MidiHeader, HeaderFieldsAndTitle) {
    struct Case {
        const char* name;
        std::string data;
        int format;
        int trackCount;
        uint32_t division;
        std::string title;
    };
    const std::string long130(130, 'L');
    const Case cases[] = {
        {"format 1, 5 tracks, name with trailing spaces", smf(1, 5, 480, track(nameEvent("Song  ") + kNotes)), 1, 4,
         480, "Song"},
        {"format 0, one track", smf(0, 1, 96, track(nameEvent("Zero") + kNotes)), 0, 0, 96, "Zero"},
        {"format 2, two tracks, name in the second",
         smf(2, 2, 240, track(kNotes) + track(nameEvent("Pattern B") + kNotes)), 2, 1, 240, "Pattern B"},
        {"no name event", smf(1, 2, 960, track(kNotes) + track(kNotes)), 1, 1, 960, ""},
        {"empty name", smf(0, 1, 96, track(nameEvent("") + kNotes)), 0, 0, 96, ""},
        {"name of spaces only", smf(0, 1, 96, track(nameEvent("   ") + kNotes)), 0, 0, 96, ""},
        {"text event (FF 01) is no name", smf(0, 1, 96, track(bytes({0x00, 0xFF, 0x01, 0x03}) + "abc" + kNotes)), 0,
         0, 96, ""},
        {"only the first name counts", smf(1, 2, 96, track(nameEvent("First")) + track(nameEvent("Second"))), 1, 1,
         96, "First"},
        {"lower-case tag", smf(1, 3, 480, track(nameEvent("x")), "mthd"), 1, 2, 480, "x"},
        {"no tracks", smf(0, 0, 96, ""), 0, -1, 96, ""},
        {"largest division word", smf(1, 2, 0x7FFF, track(kNotes)), 1, 1, 0x7FFF, ""},
        // Both header words are taken whole, not only their low bytes.
        {"300 tracks", smf(1, 300, 480, track(kNotes)), 1, 299, 480, ""},
        {"256 tracks", smf(1, 256, 480, track(kNotes)), 1, 255, 480, ""},
        {"format word 0x0101", smf(0x0101, 1, 96, track(kNotes)), 257, 0, 96, ""},
        // 255 tracks and division 960 put the bytes FF 03 into the header
        // itself (track count low byte, division high byte): no name.
        {"FF 03 inside the header", smf(1, 255, 0x03C0, track(kNotes)), 1, 254, 960, ""},
        // Header further into the window (RMID data, junk before it).
        {"header at offset 100", std::string(100, 'j') + smf(0, 1, 96, track(nameEvent("Late"))), 0, 0, 96, "Late"},
        // A length of 128 or more is a two-byte quantity.
        {"name of 130 bytes", smf(0, 1, 96, track(nameEvent(long130))), 0, 0, 96, long130},
        // Line breaks and other control characters would break the report.
        {"name with CR LF and TAB", smf(0, 1, 96, track(nameEvent("A\r\nB\tC"))), 0, 0, 96, "A  B C"},
        {"name ending at a NUL", smf(0, 1, 96, track(nameEvent(std::string("Ab\0cd", 5)))), 0, 0, 96, "Ab"},
        {"Shift-JIS name kept as it is", smf(0, 1, 96, track(nameEvent(cp("曲名")))), 0, 0, 96, cp("曲名")},
    };
    for (const auto& c : cases) {
        auto info = parse(c.data);
        ASSERT_TRUE(info) << c.name;
        EXPECT_EQ(info->format, c.format) << c.name;
        EXPECT_EQ(info->trackCount, c.trackCount) << c.name;
        EXPECT_EQ(info->division, c.division) << c.name;
        EXPECT_EQ(std::string(info->title), c.title) << c.name;
    }
}

TEST(MidiHeader, NameRunsToTheEndOfTheWindowAtMost) {
    // 14 header bytes, 8 track header bytes, the delta at 22, FF 03 at 23,
    // a two-byte length at 25 and a name of 250 bytes from 27: only what
    // lies inside the 256-byte window is taken.
    const std::string name(250, 'n');
    auto info = parse(smf(0, 1, 96, track(nameEvent(name))));
    ASSERT_TRUE(info);
    EXPECT_EQ(std::string(info->title), std::string(256 - 27, 'n'));

    // FF 03 as the window's last two bytes (no length), and FF 03 with its
    // length as the last three (no name bytes): no title, no reading on.
    const std::string filler = bytes({0x00, 0xFF, 0x01, 0x7F}) + std::string(127, 't');  // a text event
    std::string head = smf(0, 1, 96, "MTrk" + be32(1000));
    head += filler;
    while (head.size() + filler.size() < 254) head += filler;
    head += std::string(254 - head.size(), 'p');
    ASSERT_EQ(head.size(), 254u);
    info = parse(head + bytes({0xFF, 0x03}) + bytes({0x04}) + "Cut!");
    ASSERT_TRUE(info);
    EXPECT_STREQ(info->title, "");
    info = parse(head.substr(0, 253) + bytes({0xFF, 0x03, 0x04}) + "Cut!");
    ASSERT_TRUE(info);
    EXPECT_STREQ(info->title, "");
}

TEST(MidiHeader, HeaderMustLieInsideTheWindow) {
    struct Case {
        size_t junk;
        bool found;
    };
    // 242 + 14 = 256: the last place where the whole header fits.
    const Case cases[] = {{0, true}, {241, true}, {242, true}, {243, false}, {250, false}, {252, false}, {253, false}};
    for (const auto& c : cases) {
        // Bytes after the window that a reader running past it would take.
        const std::string data = std::string(c.junk, 'j') + smf(1, 0x0203, 0x0405, "") + std::string(64, '\x7F');
        auto info = parse(data);
        EXPECT_EQ(info.has_value(), c.found) << c.junk;
        if (info) {
            EXPECT_EQ(info->trackCount, 0x0202) << c.junk;
            EXPECT_EQ(info->division, 0x0405u) << c.junk;
        }
    }
    EXPECT_FALSE(parse(""));
    EXPECT_FALSE(parse("MThd"));
    EXPECT_FALSE(parse(smf(1, 2, 96, "").substr(0, 13)));
    EXPECT_TRUE(parse(smf(1, 2, 96, "").substr(0, 14)));
}

TEST(MidiHeader, ReaderIsBoundedToItsRangeAndNotMoved) {
    test::TempDir dir;
    const std::string midi = smf(1, 3, 480, track(nameEvent("Ranged") + kNotes));
    const std::string prefix = "RIFF" + std::string(16, '\0');  // as if an RMID header stood here
    const auto path = dir.write("range.bin", prefix + midi + std::string(300, 'x'));
    FileReader reader;
    ASSERT_TRUE(reader.openPath(utf8ToUtf16(path.string())));
    const uint64_t start = prefix.size();

    struct Case {
        const char* name;
        uint64_t end;
        bool found;
        std::string title;
    };
    const size_t nameAt = 14 + 8 + 4;  // header, track header, 00 FF 03 06
    const Case cases[] = {
        {"whole file", std::numeric_limits<uint64_t>::max(), true, "Ranged"},
        {"exactly the MIDI data", start + midi.size(), true, "Ranged"},
        {"range ends inside the name", start + nameAt + 3, true, "Ran"},
        {"range ends after the header", start + 14, true, ""},
        {"range ends inside the header", start + 13, false, ""},
        {"empty range", start, false, ""},
        {"end before the position", start - 1, false, ""},
    };
    for (const auto& c : cases) {
        reader.seek(static_cast<int64_t>(start), 0);
        MidiInfo info{};
        EXPECT_EQ(readMidiHeader(info, reader, c.end), c.found) << c.name;
        EXPECT_EQ(reader.tell(), start) << c.name;
        if (c.found) {
            EXPECT_EQ(info.format, 1) << c.name;
            EXPECT_EQ(info.trackCount, 2) << c.name;
            EXPECT_EQ(info.division, 480u) << c.name;
            EXPECT_EQ(std::string(info.title), c.title) << c.name;
        }
    }
}

TEST(MidiHeader, ReadsTheRmidDataChunk) {
    // The RIFF analyser runs the reader on the data chunk of an RMID file.
    const auto path = test::fixture("riff_rmid.rmi");
    const std::string file = fileBytes(path);
    ASSERT_EQ(file.substr(8, 8), "RMIDdata");
    const uint32_t size = readU32LE(Bytes(reinterpret_cast<const uint8_t*>(file.data()), file.size()), 16);
    FileReader reader;
    ASSERT_TRUE(reader.openPath(utf8ToUtf16(path.string())));
    reader.seek(20, 0);
    MidiInfo info{};
    ASSERT_TRUE(readMidiHeader(info, reader, 20 + size));
    EXPECT_EQ(reader.tell(), 20u);
    EXPECT_EQ(info.format, 1);
    EXPECT_EQ(info.trackCount, 2);
    EXPECT_EQ(info.division, 480u);
    EXPECT_STREQ(info.title, "Song");
}

TEST(MidiDescription, KeyAndPlaceholdersFollowTheTitle) {
    test::useTestData();
    MidiInfo titled{};
    titled.format = 1;
    titled.trackCount = 4;
    titled.division = 480;
    std::strcpy(titled.title, "Song");
    auto f = test::fields(describeMidi(titled));
    EXPECT_EQ(f["tpl"], "MIDI/AUDIO1");
    EXPECT_EQ(f["format"], "1");
    EXPECT_EQ(f["track"], "4");
    EXPECT_EQ(f["delta"], "480");
    EXPECT_EQ(f["title"], "Song");

    MidiInfo plain{};
    plain.trackCount = -1;
    plain.division = 96;
    f = test::fields(describeMidi(plain));
    EXPECT_EQ(f["tpl"], "MIDI/AUDIO2");
    EXPECT_EQ(f["format"], "0");
    EXPECT_EQ(f["track"], "-1");
    EXPECT_EQ(f["delta"], "96");
    EXPECT_EQ(f.count("title"), 0u);

    // A title that looks like a placeholder is not filled in again.
    std::strcpy(titled.title, "#format#");
    EXPECT_EQ(test::fields(describeMidi(titled))["title"], "#format#");

    char out[24];
    std::memset(out, 'z', sizeof out);
    describeMidi(out, sizeof out, titled);
    EXPECT_EQ(std::strlen(out), sizeof out - 1);
}

// ---------------------------------------------------------------------------
// MIDI analyser
// ---------------------------------------------------------------------------

TEST(MidiAnalyser, Fixtures) {
    test::useTestData();
    struct Case {
        const char* file;
        const char* format;
        const char* track;
        const char* delta;
        const char* title;  // nullptr: no name, key AUDIO2
    };
    const Case cases[] = {
        {"midi_format1_3tracks.mid", "1", "2", "480", "Song"},
        {"midi_format0_named.mid", "0", "0", "96", "Format Zero"},
        {"midi_format1_2tracks_unnamed.mid", "1", "1", "960", nullptr},
        {"midi_format2_name_in_track2.mid", "2", "1", "240", "Pattern B"},
        {"size_40_bytes_midi.mid", "0", "0", "96", "T"},
    };
    for (const auto& c : cases) {
        const auto path = test::fixture(c.file);
        auto r = test::analyse(path);
        ASSERT_EQ(r->formatCode, VESKO_FMT_MIDI) << c.file;
        ASSERT_STREQ(r->errorText, "") << c.file;
        EXPECT_STREQ(r->formatName, "") << c.file;
        EXPECT_EQ(r->videoCount, 0) << c.file;
        EXPECT_EQ(r->extraCount, 0) << c.file;
        ASSERT_EQ(r->audioCount, 1) << c.file;
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], c.title ? "MIDI/AUDIO1" : "MIDI/AUDIO2") << c.file;
        EXPECT_EQ(f["format"], c.format) << c.file;
        EXPECT_EQ(f["track"], c.track) << c.file;
        EXPECT_EQ(f["delta"], c.delta) << c.file;
        if (c.title) {
            EXPECT_EQ(f["title"], c.title) << c.file;
        }
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(std::filesystem::file_size(path))) << c.file;
        // No play time is computed: unknown, not zero.
        EXPECT_EQ(r->duration, -1.0) << c.file;
    }
}

TEST(MidiAnalyser, ShippedTemplates) {
    test::useShippedData();
    auto r = test::analyse(test::fixture("midi_format1_3tracks.mid"));
    EXPECT_EQ(test::one(*r), "SMF Format1 Tracks:1+2 Division:480 \"Song\"");
    r = test::analyse(test::fixture("midi_format1_2tracks_unnamed.mid"));
    EXPECT_EQ(test::one(*r), "SMF Format1 Tracks:1+1 Division:960");
    test::useTestData();
}

TEST(MidiAnalyser, Failures) {
    test::useTestData();
    test::TempDir dir;
    const std::string notFound = cp("[MIDI] MThdが見つかりません");
    struct Case {
        const char* name;
        std::string content;
    };
    const Case cases[] = {
        {"no header", std::string(400, 'x')},
        {"empty file", ""},
        {"header beyond the window", std::string(300, 'x') + smf(0, 1, 96, track(kNotes))},
        // The tag where the header's words would lie past the 256-byte window.
        {"tag near the end of the window", std::string(250, 'x') + smf(1, 0x1234, 0x5678, track(kNotes))},
        {"tag at the last place of the search", std::string(252, 'x') + "MThd" + std::string(100, '\x55')},
        {"file ends inside the header", smf(0, 1, 96, "").substr(0, 10)},
    };
    for (const auto& c : cases) {
        auto r = analyseAs(dir.write("f.mid", c.content), VESKO_FMT_MIDI);
        EXPECT_EQ(std::string(r->errorText), notFound) << c.name;
        EXPECT_EQ(r->audioCount, 0) << c.name;
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(c.content.size())) << c.name;
        EXPECT_EQ(test::one(*r), notFound) << c.name;
    }
    auto r = analyseAs(dir.path() / "missing.mid", VESKO_FMT_MIDI);
    EXPECT_EQ(std::string(r->errorText), cp("ファイルのオープンに失敗"));
}

// ---------------------------------------------------------------------------
// S98
// ---------------------------------------------------------------------------

TEST(S98DeviceNames, Table) {
    const char* const names[] = {"NONE",         "PSG(YM2149)",  "OPN(YM2203)",  "OPN2(YM2612)",   "OPNA(YM2608)",
                                 "OPM(YM2151)",  "OPLL(YM2413)", "OPL(YM3526)",  "OPL2(YM3812)",   "OPL3(YMF262)",
                                 "NONE(10)",     "NONE(11)",     "NONE(12)",     "NONE(13)",       "NONE(14)",
                                 "PSG(AY-3-8910)", "DCSG(SN76489)"};
    for (uint32_t type = 0; type < std::size(names); ++type) EXPECT_EQ(s98DeviceName(type), names[type]) << type;
    EXPECT_EQ(s98DeviceName(17), "UnknownDevice(17)");
    EXPECT_EQ(s98DeviceName(0xFFFFFFFF), "UnknownDevice(4294967295)");
    char small[5];
    s98DeviceName(small, sizeof small, 4);
    EXPECT_STREQ(small, "OPNA");
}

uint64_t ticksOf(const std::string& dump, uint32_t numerator) {
    return countS98Ticks(Bytes(reinterpret_cast<const uint8_t*>(dump.data()), dump.size()), numerator);
}

TEST(S98Dump, SyncCounting) {
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    struct Case {
        const char* name;
        std::string dump;
        uint32_t numerator;
        uint64_t ticks;
    };
    const Case cases[] = {
        {"one sync, a count of 0, end", bytes({0xFF, 0xFE, 0x00, 0xFD}), 10, 30},
        {"empty dump", "", 10, 0},
        {"end first", bytes({0xFD, 0xFF, 0xFF}), 10, 0},
        {"nothing after the end counts", bytes({0xFF, 0xFD, 0xFF, 0xFE, 0x10}), 1, 1},
        {"no end byte: walk to the end of the data", bytes({0xFF, 0xFF, 0xFF}), 7, 21},
        {"register write values are not commands", bytes({0x00, 0xFD, 0xFF, 0x01, 0xFE, 0x05, 0xFF}), 1, 1},
        {"count 0 in two bytes", bytes({0xFE, 0x80, 0x00}), 1, 2},
        {"count 1 + 128", bytes({0xFE, 0x81, 0x01}), 1, 131},
        {"count 127", bytes({0xFE, 0x7F}), 2, 258},
        // More than 32 bits: 2^35 - 1 syncs plus two.
        {"count beyond 32 bits", bytes({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}), 1, (uint64_t{1} << 35) + 1},
        {"ticks beyond 32 bits", bytes({0xFE, 0xFF, 0xFF, 0xFF, 0x0F}), 1000, ((uint64_t{1} << 25) + 1) * 1000},
        // Events cut off by the end of the data add nothing.
        {"count without its last byte", bytes({0xFF, 0xFE, 0x80}), 1, 1},
        {"0xFE as the last byte", bytes({0xFF, 0xFE}), 1, 1},
        {"register write cut off", bytes({0xFF, 0x00, 0x29}), 1, 1},
        // Counts and sums that do not fit 64 bits stop at the maximum
        // instead of wrapping round to small values.
        {"count of 70 bits", bytes({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}), 1, kMax},
        {"count times numerator", bytes({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}), 10, kMax},
        {"sum of counts", bytes({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0xFE, 0xFF, 0xFF, 0xFF,
                                 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF}),
         1, kMax},
        {"long run of continuation bytes", bytes({0xFE}) + std::string(100, '\x80') + bytes({0x00, 0xFF}), 1, 3},
    };
    for (const auto& c : cases) EXPECT_EQ(ticksOf(c.dump, c.numerator), c.ticks) << c.name;
}

struct S98Header {
    char version = '3';
    uint32_t numerator = 10, denominator = 1000, tag = 0, dump = 0, loop = 0, devices = 0;
    std::string records;
    std::string dumpData = bytes({0xFF, 0xFD});

    std::string build() const {
        std::string h = "S98" + std::string(1, version) + le32(numerator) + le32(denominator) + le32(0) + le32(tag) +
                        le32(dump ? dump : static_cast<uint32_t>(32 + records.size())) + le32(loop) + le32(devices);
        return h + records + dumpData;
    }
};

std::string device(uint32_t type, uint32_t clock) { return le32(type) + le32(clock) + le32(0) + le32(0); }

TEST(S98Analyser, HeaderDevicesAndPlayTime) {
    test::useTestData();
    test::TempDir dir;
    struct Case {
        const char* name;
        S98Header header;
        std::vector<std::pair<std::string, std::string>> devices;  // device, clock
        std::string timerLine;
        double duration;
    };
    S98Header v1;
    v1.version = '1';
    v1.numerator = 0;
    v1.denominator = 0;
    v1.dumpData = bytes({0xFF, 0xFE, 0x00, 0xFD});
    S98Header two;
    two.devices = 2;
    two.records = device(2, 3993600) + device(16, 3579545);
    two.numerator = 1;
    two.denominator = 60;
    two.dumpData = std::string(60, '\xFF') + "\xFD";
    S98Header big;
    big.numerator = 0x80000000;
    big.denominator = 0x80000000;
    big.devices = 1;
    big.records = device(0xFFFFFFFF, 0xFFFFFFFF);
    S98Header withLoop;
    withLoop.loop = 32 + 3;
    withLoop.dumpData = bytes({0x00, 0x01, 0x02, 0xFF, 0xFD});
    S98Header loopBeforeDump = withLoop;
    loopBeforeDump.loop = 8;
    const Case cases[] = {
        {"version 1, no devices, timer 0/0", v1, {{"OPNA(YM2608)", "7987200"}}, "10/1000 0x00000000 (+0x00000000)",
         0.03},
        {"two devices, timer 1/60", two, {{"OPN(YM2203)", "3993600"}, {"DCSG(SN76489)", "3579545"}},
         "1/60 0x00000000 (+0x00000000)", 1.0},
        // 32-bit values above 2^31 are shown unsigned.
        {"largest values", big, {{"UnknownDevice(4294967295)", "4294967295"}},
         "2147483648/2147483648 0x00000000 (+0x00000000)", 1.0},
        {"loop point", withLoop, {{"OPNA(YM2608)", "7987200"}}, "10/1000 0x00000023 (+0x00000003)", 0.01},
        // A loop offset before the dump is no loop point: no length.
        {"loop offset before the dump", loopBeforeDump, {{"OPNA(YM2608)", "7987200"}},
         "10/1000 0x00000008 (+0x00000000)", 0.01},
    };
    for (const auto& c : cases) {
        const std::string content = c.header.build();
        auto r = analyseAs(dir.write("f.s98", content), VESKO_FMT_S98);
        ASSERT_STREQ(r->errorText, "") << c.name;
        EXPECT_STREQ(r->formatName, "S98") << c.name;
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(content.size())) << c.name;
        ASSERT_EQ(r->audioCount, static_cast<int>(c.devices.size())) << c.name;
        for (size_t i = 0; i < c.devices.size(); ++i) {
            auto f = test::fields(r->audioText[i]);
            EXPECT_EQ(f["tpl"], "S98/AUDIO") << c.name;
            EXPECT_EQ(f["device"], c.devices[i].first) << c.name << " " << i;
            EXPECT_EQ(f["clock"], c.devices[i].second) << c.name << " " << i;
        }
        ASSERT_EQ(r->extraCount, 1) << c.name;
        EXPECT_STREQ(r->extraText[0], c.timerLine.c_str()) << c.name;
        EXPECT_DOUBLE_EQ(r->duration, c.duration) << c.name;
    }
}

TEST(S98Analyser, DumpRangeIsClampedToTheFile) {
    test::useTestData();
    test::TempDir dir;
    // 32-byte header, then 10 syncs, the end byte, then 5 syncs after it.
    const std::string dump = std::string(10, '\xFF') + "\xFD";
    struct Case {
        const char* name;
        uint32_t tag, dumpOffset;
        std::string after;  // bytes after the dump
        double duration;
        bool tagLine;
    };
    const Case cases[] = {
        {"tag right after the end byte", 32 + 11, 32, "[S98]", 0.10, true},
        // The tag offset ends the dump: syncs behind it are not counted.
        {"tag inside the syncs", 32 + 4, 32, "", 0.04, true},
        // A tag offset far beyond the file must not make the reader take
        // a dump of 4 GB: the dump ends with the file.
        {"tag offset beyond the file", 0xFFFFFFF0, 32, "", 0.10, true},
        {"tag offset before the dump: to the end of the file", 8, 32, "", 0.10, true},
        {"no tag", 0, 32, "", 0.10, false},
        {"dump offset at the end of the file", 0, 32 + 11, "", 0.0, false},
        {"dump offset beyond the file", 0, 0xFFFFFF00, "", 0.0, false},
        {"dump and tag offsets beyond the file", 0xFFFFFFFF, 0xFFFFFF00, "", 0.0, true},
    };
    for (const auto& c : cases) {
        S98Header h;
        h.tag = c.tag;
        h.dump = c.dumpOffset;
        h.dumpData = dump + c.after;
        auto r = analyseAs(dir.write("f.s98", h.build()), VESKO_FMT_S98);
        ASSERT_STREQ(r->errorText, "") << c.name;
        EXPECT_NEAR(r->duration, c.duration, 1e-12) << c.name;
        ASSERT_EQ(r->extraCount, c.tagLine ? 2 : 1) << c.name;
        if (c.tagLine) {
            EXPECT_STREQ(r->extraText[1], "TAG") << c.name;
        }
    }
}

TEST(S98Analyser, DeviceRecordsInsideTheFileOnly) {
    test::useTestData();
    test::TempDir dir;
    struct Case {
        const char* name;
        uint32_t declared;
        size_t present;   // records written
        int lines;        // audio lines (the record holds ten)
    };
    const Case cases[] = {
        {"one record", 1, 1, 1},
        {"twelve records: ten lines", 12, 12, 10},
        {"70 declared and written: at most 64 read, ten shown", 70, 70, 10},
        // Records that the file does not hold are not invented.
        {"three declared, two in the file", 3, 2, 2},
        {"huge count, one record", 0xFFFFFFFF, 1, 1},
        {"count but no records", 5, 0, 0},
    };
    for (const auto& c : cases) {
        S98Header h;
        h.devices = c.declared;
        for (size_t i = 0; i < c.present; ++i) h.records += device(static_cast<uint32_t>(i % 17), 1000000 + i);
        h.dump = 0;  // no dump data beyond the records
        h.dumpData = "";
        h.tag = 0;
        std::string content = h.build();
        // The dump offset points at the end of the file.
        auto r = analyseAs(dir.write("f.s98", content), VESKO_FMT_S98);
        ASSERT_STREQ(r->errorText, "") << c.name;
        ASSERT_EQ(r->audioCount, c.lines) << c.name;
        for (int i = 0; i < c.lines; ++i) {
            auto f = test::fields(r->audioText[i]);
            EXPECT_EQ(f["device"], s98DeviceName(static_cast<uint32_t>(i % 17))) << c.name << " " << i;
            EXPECT_EQ(f["clock"], std::to_string(1000000 + i)) << c.name << " " << i;
        }
    }

    // readS98 itself keeps at most 64 records.
    S98Header h;
    h.devices = 70;
    for (int i = 0; i < 70; ++i) h.records += device(4, 1000 + i);
    const auto path = dir.write("many.s98", h.build());
    FileReader reader;
    ASSERT_TRUE(reader.openPath(utf8ToUtf16(path.string())));
    S98Info info{};
    ASSERT_TRUE(readS98(info, reader));
    EXPECT_EQ(info.deviceCount, 64u);
    EXPECT_EQ(info.devices[63].clock, 1063u);
    info.deviceIndex = 63;
    EXPECT_EQ(test::fields(describeS98Device(info))["clock"], "1063");
}

TEST(S98Analyser, DumpWalkedAcrossReadBlocks) {
    // The dump is read in blocks of 64 KiB: register writes and sync counts
    // that straddle a block boundary must be walked as in one piece.
    test::useTestData();
    test::TempDir dir;
    std::string pattern;
    pattern += bytes({0x00, 0x29, 0x80});        // register write
    pattern += bytes({0xFE, 0x81, 0x01});        // 131 syncs
    pattern += bytes({0xFF});                    // 1 sync
    pattern += bytes({0x01, 0xFE, 0xFF});        // register write with command-like values
    pattern += bytes({0xFE, 0x80, 0x80, 0x01});  // 16384 + 2 syncs
    const uint64_t perPattern = 131 + 1 + 16386;
    // Fourteen shifts move every byte of the pattern onto the boundary.
    for (size_t shift = 0; shift < pattern.size(); ++shift) {
        S98Header h;
        h.numerator = 1;
        h.denominator = 1000;
        std::string dump(shift, '\xFF');
        uint64_t patterns = 0;
        for (; dump.size() < 70000; ++patterns) dump += pattern;
        dump += "\xFD";
        h.dumpData = dump + std::string(20, '\xFF');
        auto r = analyseAs(dir.write("f.s98", h.build()), VESKO_FMT_S98);
        ASSERT_STREQ(r->errorText, "") << shift;
        const uint64_t ticks = shift + patterns * perPattern;
        EXPECT_EQ(ticksOf(dump, 1), ticks) << shift;
        EXPECT_DOUBLE_EQ(r->duration, static_cast<double>(ticks) / 1000.0) << shift;
    }
}

TEST(S98Analyser, Fixtures) {
    test::useTestData();
    struct Case {
        const char* file;
        std::vector<std::pair<std::string, std::string>> devices;
        std::vector<std::string> extras;
        double duration;
    };
    const Case cases[] = {
        {"s98_v3_opna.s98", {{"OPNA(YM2608)", "7987200"}}, {"10/1000 0x00000000 (+0x00000000)", "TAG"}, 1.0},
        {"s98_v1_no_devices.s98", {{"OPNA(YM2608)", "7987200"}}, {"10/1000 0x00000000 (+0x00000000)"}, 1.0},
        {"s98_v3_two_devices_loop.s98",
         {{"OPNA(YM2608)", "7987200"}, {"PSG(AY-3-8910)", "1789772"}},
         {"1/60 0x00000046 (+0x00000006)"},
         3.0},
    };
    for (const auto& c : cases) {
        const auto path = test::fixture(c.file);
        auto r = test::analyse(path);
        ASSERT_EQ(r->formatCode, VESKO_FMT_S98) << c.file;
        ASSERT_STREQ(r->errorText, "") << c.file;
        EXPECT_STREQ(r->formatName, "S98") << c.file;
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(std::filesystem::file_size(path))) << c.file;
        ASSERT_EQ(r->audioCount, static_cast<int>(c.devices.size())) << c.file;
        for (size_t i = 0; i < c.devices.size(); ++i) {
            auto f = test::fields(r->audioText[i]);
            EXPECT_EQ(f["device"], c.devices[i].first) << c.file;
            EXPECT_EQ(f["clock"], c.devices[i].second) << c.file;
        }
        ASSERT_EQ(r->extraCount, static_cast<int>(c.extras.size())) << c.file;
        for (size_t i = 0; i < c.extras.size(); ++i) EXPECT_EQ(r->extraText[i], c.extras[i]) << c.file;
        EXPECT_NEAR(r->duration, c.duration, 1e-9) << c.file;
    }
}

TEST(S98Analyser, ShippedTemplate) {
    test::useShippedData();
    auto r = test::analyse(test::fixture("s98_v3_two_devices_loop.s98"));
    EXPECT_EQ(std::string(r->audioText[0]), "OPNA(YM2608) 7987200Hz");
    EXPECT_EQ(std::string(r->audioText[1]), "PSG(AY-3-8910) 1789772Hz");
    test::useTestData();
}

TEST(S98Analyser, Failures) {
    test::useTestData();
    test::TempDir dir;
    struct Case {
        const char* name;
        std::string content;
        std::string error;
    };
    const Case cases[] = {
        {"version 2", fileBytes(test::fixture("s98_v2_unknown.s98")), cp("不明なS98のバージョン(2)")},
        {"version 0 character", "S980" + std::string(40, '\0'), cp("不明なS98のバージョン(0)")},
        {"version letter", "S98A" + std::string(40, '\0'), cp("不明なS98のバージョン(A)")},
        {"no version byte", "S98", cp("不明なS98のバージョン()")},
        {"empty file", "", cp("不明なS98のバージョン()")},
    };
    for (const auto& c : cases) {
        auto r = analyseAs(dir.write("f.s98", c.content), VESKO_FMT_S98);
        EXPECT_EQ(std::string(r->errorText), c.error) << c.name;
        EXPECT_EQ(r->audioCount, 0) << c.name;
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(c.content.size())) << c.name;
        EXPECT_EQ(test::one(*r), c.error) << c.name;
    }
    auto r = analyseAs(dir.path() / "missing.s98", VESKO_FMT_S98);
    EXPECT_EQ(std::string(r->errorText), cp("ファイルのオープンに失敗"));

    // A header cut short reads as zeros: version 3 with nothing else is one
    // default device and no play time.
    r = analyseAs(dir.write("short.s98", "S983"), VESKO_FMT_S98);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_EQ(r->audioCount, 1);
    EXPECT_EQ(r->duration, 0.0);
}

}  // namespace
}  // namespace vesko
