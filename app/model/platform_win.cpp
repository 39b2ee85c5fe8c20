// Windows side of the platform layer.
#include "platform.h"

#include <windows.h>

#include <vector>

namespace vesko::lite::platform {

QString userName() {
    wchar_t name[512];
    DWORD size = 512;
    if (!::GetUserNameW(name, &size) || size == 0) return {};
    return QString::fromWCharArray(name, static_cast<qsizetype>(size) - 1);
}

namespace {

QString decodeCodePage(UINT codePage, const char* bytes, qsizetype size) {
    if (size <= 0) return {};
    int n = ::MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(size), nullptr, 0);
    if (n <= 0) return {};
    std::vector<wchar_t> wide(static_cast<size_t>(n));
    ::MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(size), wide.data(), n);
    return QString::fromWCharArray(wide.data(), n);
}

}  // namespace

QString decodeCp932(const char* bytes, qsizetype size) { return decodeCodePage(932, bytes, size); }

bool encodeEightBit(const QString& text, QByteArray& out) {
    out.clear();
    if (text.isEmpty()) return true;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    BOOL usedDefault = FALSE;
    int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, static_cast<int>(text.size()), nullptr, 0,
                                  nullptr, &usedDefault);
    if (n <= 0) return false;
    out.resize(n);
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, static_cast<int>(text.size()), out.data(), n, nullptr,
                          &usedDefault);
    return !usedDefault;
}

QString decodeEightBitFallback(const QByteArray& bytes) { return decodeCodePage(CP_ACP, bytes.constData(), bytes.size()); }

int libraryLoadErrorCode(const QString&) { return static_cast<int>(::GetLastError()); }

}  // namespace vesko::lite::platform
