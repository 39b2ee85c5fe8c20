// Feeds arbitrary bytes through GetFileInfoAuto and both renderings. The
// library reads files by name, so each input is written to one scratch
// file; the last byte of the input picks the file's extension, so that the
// extension rules are reached too.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "io.h"
#include "vesko.h"

namespace {

const char* const kExtensions[] = {".bin", ".mp3", ".aac", ".ac3", ".mpg", ".vob", ".ts", ".m2ts", ".mov",
                                   ".mp4", ".m4a", ".3gp", ".rmp", ".mpga", ".m3u", ".dts", ".wav", ".avi"};
constexpr size_t kExtensionCount = sizeof kExtensions / sizeof kExtensions[0];

std::string scratchDir;

std::u16string scratchPath(const char* extension) {
    return vesko::utf8ToUtf16(scratchDir + "/input" + extension);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/vesko-fuzz-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) std::abort();
    scratchDir = dir;
    std::u16string data = vesko::utf8ToUtf16(VESKO_FUZZ_DATA_DIR);
    SetPath(data.c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* extension = kExtensions[size ? data[size - 1] % kExtensionCount : 0];
    std::string name = scratchDir + "/input" + extension;
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);

    std::vector<uint8_t> storage(sizeof(AnalysisRecord), 0);
    auto* record = reinterpret_cast<AnalysisRecord*>(storage.data());
    std::u16string path = scratchPath(extension);
    std::memcpy(record->fileName, path.data(), path.size() * sizeof(char16_t));
    GetFileInfoAuto(record);

    // Exactly the sizes the length functions ask for, so that a rendering
    // that writes one byte more is caught.
    std::vector<char> one(static_cast<size_t>(ConvertOneLen(record)) + 1, '\0');
    ConvertOne(record, one.data());
    std::vector<char> full(static_cast<size_t>(ConvertFullLen(record)) + 1, '\0');
    ConvertFull(record, full.data());
    if (std::strlen(one.data()) + 1 > one.size() || std::strlen(full.data()) + 1 > full.size()) std::abort();
    std::remove(name.c_str());
    return 0;
}
