// The library writes code page 932 (Shift-JIS); VeskoLite shows UTF-16.
#pragma once

#include <QString>
#include <cstdint>

namespace vesko::lite {

// Decodes at most `maxBytes` bytes of code page 932 text, stopping at the
// first NUL. Independent of the system's locale.
QString decodeLibraryText(const char* bytes, qsizetype maxBytes);

// "," between groups of three digits: 1234567 -> "1,234,567".
QString groupThousands(int64_t value);

// A size text read back as a number ("1,234" -> 1234); false when it is
// not one.
bool parseGroupedNumber(const QString& text, int64_t& value);

}  // namespace vesko::lite
