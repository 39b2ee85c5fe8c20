// The new names of the renaming commands and the destination of a copied
// or moved file: text only, no files.
#include <gtest/gtest.h>

#include "file_ops.h"
#include "renaming.h"
#include "test_support.h"

using namespace vesko::lite;

namespace {

struct ExtensionCase {
    const char* path;
    int32_t code;
    const char* expected;  // "" = no rename
};

TEST(ExtensionCorrection, NewPathsFromTheFormatCode) {
    const ExtensionCase cases[] = {
        {"/m/movie.vob", VESKO_FMT_MPEG1_PS, "/m/movie.mpg"},
        {"/m/movie.vob", VESKO_FMT_MPEG2_PS, "/m/movie.mpg"},
        {"/m/SONG.MP3", VESKO_FMT_MPEG_AUDIO, ""},          // letter case alone never renames
        {"/m/clip.Avi", VESKO_FMT_AVI, ""},
        {"/m/noext", VESKO_FMT_AVI, "/m/noext.avi"},        // appended
        {"/m/v1.0/noext", VESKO_FMT_AVI, "/m/v1.0/noext.avi"},  // the folder's "." is not the name's
        {"/m/a.b.c", VESKO_FMT_WAVE, "/m/a.b.wav"},         // only the last extension
        {"/m/trailing.", VESKO_FMT_FLAC, "/m/trailing.flac"},
        {"/m/.hidden", VESKO_FMT_AVI, "/m/.hidden.avi"},    // a leading "." starts no extension
        {"/m/x.dts", VESKO_FMT_DTS14_BE, ""},
        {"/m/x.wav", VESKO_FMT_DTS16_LE, "/m/x.dts"},
        {"/m/x.mka", VESKO_FMT_MATROSKA, "/m/x.mkv"},
        {"/m/x.m4a", VESKO_FMT_MP4, "/m/x.mp4"},
        {"/m/x.bin", VESKO_FMT_UNKNOWN, ""},                // codes without extension
        {"/m/x.bin", VESKO_FMT_OPEN_FAILED, ""},
        {"/m/x.oga", VESKO_FMT_OGG_FLAC, ""},
        {"/m/x.qcp", VESKO_FMT_QLCM, ""},
        {"/m/x.s98", VESKO_FMT_S98, ""},
        {"/m/list.txt", VESKO_FMT_LIST_M3U, ""},
    };
    for (const ExtensionCase& c : cases)
        EXPECT_EQ(extensionCorrectedPath(QString::fromUtf8(c.path), c.code), QString::fromUtf8(c.expected))
            << c.path << " code " << c.code;
}

TEST(ExtensionCorrection, EveryCodeOfTheTable) {
    const std::pair<int32_t, const char*> table[] = {
        {12, ".avi"},  {13, ".mpg"},  {14, ".dat"},  {15, ".ogm"},  {16, ".mpg"},  {17, ".ts"},   {18, ".wmv"},
        {19, ".rm"},   {20, ".qt"},   {21, ".mp4"},  {25, ".mkv"},  {26, ".flv"},  {51, ".bmp"},  {52, ".jpg"},
        {53, ".gif"},  {101, ".wav"}, {102, ".mid"}, {103, ".rmi"}, {104, ".au"},  {105, ".aiff"}, {106, ".mp3"},
        {107, ".cda"}, {108, ".rmp"}, {109, ".ogg"}, {110, ".spx"}, {112, ".wma"}, {113, ".ac3"}, {114, ".ape"},
        {115, ".mpc"}, {116, ".flac"}, {117, ".aac"}, {118, ".ra"}, {119, ".tta"}, {120, ".dts"}, {121, ".dts"},
        {122, ".dts"}, {123, ".dts"}, {124, ".wv"}, {125, ".ofr"}, {126, ".vqf"}, {127, ".swa"}};
    int withExtension = 0;
    for (int32_t code = -1; code <= 400; ++code) {
        QString expected;
        for (const auto& [c, ext] : table)
            if (c == code) expected = QString::fromLatin1(ext);
        EXPECT_EQ(extensionForFormat(code), expected) << code;
        if (!expected.isEmpty()) ++withExtension;
    }
    EXPECT_EQ(withExtension, 41);
}

struct DetailsCase {
    const char* path;
    const char* details;
    const char* expected;
};

TEST(DetailsRename, BracketedDetailsBeforeTheNamesExtension) {
    const DetailsCase cases[] = {
        {"/m/clip.avi", "DivX 5 640x480 / MP3", "/m/clip [DivX 5 640x480 - MP3].avi"},
        {"/m/a.b.mp3", "MP3 128k", "/m/a.b [MP3 128k].mp3"},
        {"/m/x.wav", "\\/:*?\"<>|", "/m/x [---------].wav"},
        {"/m/x.wav", "tab\there\nline\x01\x7f", "/m/x [tab-here-line--].wav"},  // control characters too
        {"/m/x.wav", "", "/m/x [].wav"},
        {"/m/v1.0/README", "text", ""},  // the folder's "." is not the name's: no rename
        {"/m/noext", "text", ""},
        {"/m/.hidden", "text", ""},
        {"/m/日本語.flac", "FLAC 44.1kHz 2ch", "/m/日本語 [FLAC 44.1kHz 2ch].flac"},
    };
    for (const DetailsCase& c : cases)
        EXPECT_EQ(detailsRenamedPath(QString::fromUtf8(c.path), QString::fromUtf8(c.details)),
                  QString::fromUtf8(c.expected))
            << c.path << " / " << c.details;
}

TEST(ManualRename, NamesThatAreRefused) {
    const std::pair<const char*, bool> cases[] = {
        {"new.mp3", true}, {"名前 (1).mp3", true}, {".hidden", true}, {"...", true},
        {"", false},       {"   ", false},        {".", false},       {"..", false},
        {"a/b.mp3", false}, {"../up.mp3", false}, {"a\\b.mp3", false},
    };
    for (const auto& [name, ok] : cases)
        EXPECT_EQ(isAcceptableFileName(QString::fromUtf8(name)), ok) << '"' << name << '"';
    EXPECT_FALSE(isAcceptableFileName(QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b")));
}

TEST(Destination, AFolderRootGetsNoSecondSeparator) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"/", "x.mp3", "/x.mp3"},
        {"/mnt/usb", "x.mp3", "/mnt/usb/x.mp3"},
        {"/mnt/usb/", "x.mp3", "/mnt/usb/x.mp3"},
#if defined(Q_OS_WIN)
        {"C:\\", "x.mp3", "C:\\x.mp3"},
        {"C:\\Music", "x.mp3", "C:\\Music\\x.mp3"},
#endif
    };
    for (const auto& [folder, name, expected] : cases)
        EXPECT_EQ(pathInFolder(QString::fromUtf8(folder), QString::fromUtf8(name)), QString::fromUtf8(expected))
            << folder;
}

TEST(PathParts, NameAndFolder) {
    EXPECT_EQ(fileNamePart(QStringLiteral("/a/b.c/d.mp3")), QStringLiteral("d.mp3"));
    EXPECT_EQ(fileNamePart(QStringLiteral("d.mp3")), QStringLiteral("d.mp3"));
    EXPECT_EQ(folderPart(QStringLiteral("/a/b.c/d.mp3")), QStringLiteral("/a/b.c"));
    EXPECT_EQ(folderPart(QStringLiteral("/d.mp3")), QStringLiteral("/"));
}

}  // namespace
