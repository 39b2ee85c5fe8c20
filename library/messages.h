// Texts the core writes into records (code page 932).
#pragma once

#include "text.h"

namespace vesko {

inline const char* msgOpenFailed() { return jp("ファイルのオープンに失敗"); }
inline const char* msgUnsupported() { return jp("未対応形式"); }
inline const char* msgException() { return jp("[Exception] 例外終了(%d)"); }

}  // namespace vesko
