// GIF: the version and the logical screen size of the header.
#include <array>

#include "../analysers.h"
#include "../io.h"
#include "../messages.h"
#include "../record.h"

namespace vesko {

void analyzeGif(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    std::array<uint8_t, 100> window{};
    reader.read(window.data(), window.size());
    reader.close();

    const Bytes b(window);
    addVideoText(record, format("GIF%c%c%c %dx%d", window[3], window[4], window[5],
                                readU16LE(b, 6), readU16LE(b, 8)));
}

}  // namespace vesko
