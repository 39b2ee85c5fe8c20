#include <gtest/gtest.h>

#include <cfenv>
#include <cstring>
#include <new>
#include <stdexcept>

#include "analysers.h"
#include "checked.h"
#include "io.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::cp;
using test::TempDir;

TEST(Exports, VersionAndUnicode) {
    EXPECT_EQ(GetDllVersion(), 130324);
    EXPECT_EQ(Unicode(), 1);
}

TEST(GenericAnalyser, HexAndText) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string content;
        int32_t code;  // left in the record before GetFileInfo
        std::string line;
    };
    const Case cases[] = {
        {"four.bin", test::bytes({0x41, 0x42, 0x00, 0x43}), 0, "[41 42 00 43] : AB C"},
        {"long.bin", "0123456789abcdefXYZ", 1, "[30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66] : 0123456789abcdef"},
        {"list.m3u", "#EXTM3U\n/a.mp3\n", 306, "[23 45 58 54 4D 33 55 0A 2F 61 2E 6D 70 33 0A] : #EXTM3U /a.mp3 "},
        {"odd.bin", "\x7F\x80 ~!", 4711, "[7F 80 20 7E 21] :    ~!"},
    };
    for (const auto& c : cases) {
        auto record = test::makeRecord(dir.write(c.name, c.content));
        record->formatCode = c.code;
        GetFileInfo(record.get());
        ASSERT_EQ(record->videoCount, 1) << c.name;
        EXPECT_EQ(std::string(record->videoText[0]), c.line) << c.name;
        EXPECT_EQ(std::string(record->formatName), cp("未対応形式")) << c.name;
        EXPECT_EQ(record->duration, -1.0) << c.name;
        EXPECT_EQ(record->fileSize, static_cast<int64_t>(c.content.size())) << c.name;
        EXPECT_EQ(test::one(*record), cp("未対応形式") + " " + c.line) << c.name;
    }
}

TEST(GenericAnalyser, EmptyMissingAndUnopenable) {
    TempDir dir;
    auto empty = test::analyse(dir.write("empty.bin", ""));
    EXPECT_EQ(empty->formatCode, 1);
    EXPECT_EQ(std::string(empty->errorText), cp("未対応形式"));
    EXPECT_EQ(empty->fileSize, 0);
    EXPECT_EQ(test::one(*empty), cp("未対応形式"));
    EXPECT_EQ(test::full(*empty), cp("未対応形式"));

    for (auto path : {dir.path() / "missing.bin", dir.path()}) {
        auto r = test::analyse(path);
        EXPECT_EQ(r->formatCode, 2) << path;
        EXPECT_EQ(test::one(*r), cp("ファイルのオープンに失敗")) << path;
    }
    // A list file that does not exist: the generic analyser cannot open it.
    auto list = test::analyse(dir.path() / "gone.m3u");
    EXPECT_EQ(list->formatCode, 306);
    EXPECT_EQ(std::string(list->errorText), cp("ファイルのオープンに失敗"));
}

TEST(GetFileInfoAuto, IdentifiesThenAnalyses) {
    TempDir dir;
    auto record = test::makeRecord(dir.write("x.xyz", std::string(50, 'q')));
    GetFileInfoAuto(record.get());
    EXPECT_EQ(record->formatCode, 1);
    EXPECT_EQ(record->videoCount, 1);
    EXPECT_EQ(record->fileSize, 50);
}

TEST(Dispatcher, AnyExceptionBecomesTheExceptionText) {
    using Thrower = void (*)(AnalysisRecord&);
    const Thrower throwers[] = {
        [](AnalysisRecord& r) {
            r.fileSize = 123;
            throw ArithmeticFault{"zero"};
        },
        [](AnalysisRecord& r) {
            r.fileSize = 123;
            uint8_t b[2] = {};
            readU32LE(b, 0);
        },
        [](AnalysisRecord& r) {
            r.fileSize = 123;
            throw std::bad_alloc();
        },
        [](AnalysisRecord& r) {
            r.fileSize = 123;
            throw std::runtime_error("x");
        },
        [](AnalysisRecord& r) {
            r.fileSize = 123;
            throw 42;
        },
    };
    for (Thrower thrower : throwers) {
        auto record = test::makeRecord(std::u16string(u"/x"));
        record->formatCode = 17;
        runGuarded(*record, thrower);
        EXPECT_EQ(std::string(record->errorText), cp("[Exception] 例外終了(17)"));
        EXPECT_EQ(record->fileSize, 123);  // what was stored before the fault stays
    }
}

TEST(Dispatcher, UnknownCodesGoToTheGenericAnalyser) {
    for (int32_t code : {0, 1, 301, 307, -5, 99, 1000000}) EXPECT_EQ(analyserFor(code), &analyzeGeneric) << code;
    auto record = test::makeRecord(std::u16string(u"/does/not/matter"));
    record->formatCode = 2;
    GetFileInfo(record.get());
    EXPECT_EQ(std::string(record->errorText), cp("ファイルのオープンに失敗"));
}

TEST(Exports, LeaveTheCallersFloatingPointEnvironment) {
    TempDir dir;
    auto file = dir.write("a.bin", std::string(64, 'a'));
    std::fenv_t before;
    std::fesetround(FE_UPWARD);
    std::feclearexcept(FE_ALL_EXCEPT);
    std::feraiseexcept(FE_INEXACT);
    std::fegetenv(&before);
    auto record = test::makeRecord(file);
    GetFileInfoAuto(record.get());
    record->duration = 1.0 / 3.0;
    test::one(*record);
    test::full(*record);
    EXPECT_EQ(std::fegetround(), FE_UPWARD);
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), FE_INEXACT);
    std::fesetround(FE_TONEAREST);
    std::feclearexcept(FE_ALL_EXCEPT);
}

TEST(Exports, NullArgumentsAreIgnored) {
    GetFileFormat(nullptr);
    GetFileInfo(nullptr);
    GetFileInfoAuto(nullptr);
    EXPECT_EQ(ConvertOneLen(nullptr), 0);
    EXPECT_EQ(ConvertFullLen(nullptr), 0);
    SetPath(nullptr);
}

}  // namespace
}  // namespace vesko
