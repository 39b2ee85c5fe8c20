// POSIX side of the platform layer.
#include "platform.h"

#include <errno.h>
#include <iconv.h>
#include <pwd.h>
#include <unistd.h>

#include <QFileInfo>
#include <QStringEncoder>
#include <vector>

#include "library_text.h"

namespace vesko::lite::platform {

QString userName() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        return QString::fromLocal8Bit(found->pw_name);
    return qEnvironmentVariable("USER");
}

QString decodeCp932(const char* bytes, qsizetype size) {
    QString out;
    if (size <= 0) return out;
    iconv_t cd = ::iconv_open("UTF-16LE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return QString::fromLatin1(bytes, size);
    std::vector<char> buffer(static_cast<size_t>(size) * 2 + 16);
    char* src = const_cast<char*>(bytes);
    size_t srcLeft = static_cast<size_t>(size);
    while (srcLeft > 0) {
        char* dst = buffer.data();
        size_t dstLeft = buffer.size();
        size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(QStringView(reinterpret_cast<const char16_t*>(buffer.data()),
                               static_cast<qsizetype>((dst - buffer.data()) / 2)));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            out.append(QChar::ReplacementCharacter);
            ++src;
            --srcLeft;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    ::iconv_close(cd);
    return out;
}

bool encodeEightBit(const QString& text, QByteArray& out) {
    QStringEncoder encoder(QStringConverter::Utf8);
    out = encoder.encode(text);
    return !encoder.hasError();
}

QString decodeEightBitFallback(const QByteArray& bytes) { return decodeLibraryText(bytes.constData(), bytes.size()); }

int libraryLoadErrorCode(const QString& path) {
    QFileInfo info(path);
    if (!info.exists()) return ENOENT;
    if (!info.isReadable()) return EACCES;
    return ENOEXEC;
}

}  // namespace vesko::lite::platform
