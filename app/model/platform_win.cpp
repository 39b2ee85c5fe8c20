// Windows side of the platform layer.
#include "platform.h"

#include <windows.h>

#include <QDir>

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

namespace {

RenameResult fromLastError(const QString& from) {
    const DWORD error = ::GetLastError();
    switch (error) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return {RenameStatus::TargetExists, {}};
    case ERROR_NOT_SAME_DEVICE: return {RenameStatus::CrossDevice, {}};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: {
        const auto* wide = reinterpret_cast<const wchar_t*>(from.utf16());
        if (::GetFileAttributesW(wide) == INVALID_FILE_ATTRIBUTES) return {RenameStatus::SourceMissing, {}};
        break;
    }
    }
    return {RenameStatus::Failed, qt_error_string(static_cast<int>(error))};
}

RenameResult moveFile(const QString& from, const QString& to, DWORD flags) {
    const QString f = QDir::toNativeSeparators(from);
    const QString t = QDir::toNativeSeparators(to);
    if (::MoveFileExW(reinterpret_cast<const wchar_t*>(f.utf16()), reinterpret_cast<const wchar_t*>(t.utf16()), flags))
        return {RenameStatus::Renamed, {}};
    return fromLastError(f);
}

}  // namespace

// Without MOVEFILE_REPLACE_EXISTING, MoveFileExW refuses an existing name,
// except the file's own name in another letter case.
RenameResult renameNoReplace(const QString& from, const QString& to) { return moveFile(from, to, 0); }

RenameResult renameReplacing(const QString& from, const QString& to) {
    return moveFile(from, to, MOVEFILE_REPLACE_EXISTING);
}

}  // namespace vesko::lite::platform
