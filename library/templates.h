// Description templates: FORMAT.INI holds line templates per format,
// CODECS.INI codec names by FourCC, format tag or brand.
#pragma once

#include <string>
#include <string_view>

namespace vesko {

inline constexpr size_t kTemplateBytes = 512;  // a line and its terminator

// The directory set by SetPath (a prefix of the INI names, ending with a
// separator), or empty.
void setDataDirectory(std::u16string_view directory);
const std::u16string& dataDirectory();

// Looks `key` up in `section` of `iniName` ("FORMAT.INI" or "CODECS.INI").
// Every entry whose key begins with `key` contributes its value; several
// are joined with " / ". A failed lookup yields its short failure text
// ("C空", "S長", "S不明" or "不明" followed by the key). The result holds at
// most outSize - 1 bytes.
std::string lookupTemplate(std::string_view key, std::string_view section, std::u16string_view iniName,
                           size_t outSize = kTemplateBytes);

// Replaces every occurrence of `placeholder` (ignoring case) in `text` by
// `value`, keeping the text below outSize bytes: an occurrence whose value
// would not fit is left as it stands. True when something was replaced.
bool replacePlaceholder(std::string& text, std::string_view placeholder, std::string_view value,
                        size_t outSize = kTemplateBytes);

}  // namespace vesko
