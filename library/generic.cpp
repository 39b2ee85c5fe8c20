// The analyser of every format that has none of its own.
#include <cstdio>

#include "analysers.h"
#include "io.h"
#include "messages.h"
#include "record.h"

namespace vesko {

void analyzeGeneric(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.duration = -1.0;
    if (reader.size == 0) {
        setErrorText(record, msgUnsupported());
        record.fileSize = 0;
        return;
    }
    uint8_t head[16] = {};
    size_t n = reader.read(head, reader.size < 16 ? static_cast<size_t>(reader.size) : 16, true);
    record.fileSize = static_cast<int64_t>(reader.size);
    setFormatName(record, msgUnsupported());
    std::string line = "[";
    for (size_t i = 0; i < n; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, i + 1 < n ? "%02X " : "%02X", head[i]);
        line += hex;
    }
    line += "] : ";
    for (size_t i = 0; i < n; ++i) line += (head[i] >= 33 && head[i] <= 126) ? static_cast<char>(head[i]) : ' ';
    addVideoText(record, line);
}

}  // namespace vesko
