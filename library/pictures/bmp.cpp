// Windows bitmaps: the BITMAPINFOHEADER that follows the 14-byte file
// header. Version 4 and 5 headers (108 and 124 bytes, ImageMagick's
// default) begin with the same fields, so any header of 40 bytes or more
// is read; the 12-byte OS/2 header is not.
#include <array>

#include "../analysers.h"
#include "../io.h"
#include "../messages.h"
#include "../record.h"
#include "../text.h"

namespace vesko {

namespace {

constexpr size_t kWindow = 100;
constexpr uint32_t kInfoHeaderBytes = 40;

}  // namespace

void analyzeBmp(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    std::array<uint8_t, kWindow> window{};  // a short file reads as zeros
    reader.read(window.data(), window.size());
    reader.close();

    const Bytes b(window);
    if (readU32LE(b, 14) < kInfoHeaderBytes) {
        setErrorText(record, jp("[BMP] 不明なフォーマット"));
        return;
    }
    const uint16_t storedBits = readU16LE(b, 28);
    const int bits = storedBits == 0 ? 32 : storedBits;
    const auto width = static_cast<int32_t>(readU32LE(b, 18));
    const auto height = static_cast<int32_t>(readU32LE(b, 22));  // negative: top-down rows
    const char* packing = readU32LE(b, 30) != 0 ? "RLE" : "RAW";
    addVideoText(record, format("Windows %dBit %dx%d %s", bits, width, height, packing));
}

}  // namespace vesko
