// The library's own texts are written in UTF-8 in the sources and reach
// the record as code page 932. jp() converts a literal once, at first use,
// and keeps the result for the life of the library.
#pragma once

namespace vesko {

// `utf8` must be a string literal (it is remembered by address).
const char* jp(const char* utf8);

}  // namespace vesko
