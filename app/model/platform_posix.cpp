// POSIX side of the platform layer.
#include "platform.h"

#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <pwd.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
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

namespace {

bool exists(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0;
}

RenameResult fromErrno(int error, const QByteArray& from) {
    switch (error) {
    case EEXIST:
    case ENOTEMPTY: return {RenameStatus::TargetExists, {}};
    case EXDEV: return {RenameStatus::CrossDevice, {}};
    case ENOENT:
        // Also said when the new name's folder is missing.
        if (!exists(from)) return {RenameStatus::SourceMissing, {}};
        break;
    }
    return {RenameStatus::Failed, QString::fromLocal8Bit(::strerror(error))};
}

// Two names of one file that differ in letter case only: the file system
// ignores case, and the rename changes the spelling.
bool isCaseChangeOfOneFile(const QString& from, const QString& to, const QByteArray& f, const QByteArray& t) {
    if (from == to || from.compare(to, Qt::CaseInsensitive) != 0) return false;
    struct stat a {}, b {};
    return ::lstat(f.constData(), &a) == 0 && ::lstat(t.constData(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

}  // namespace

RenameResult renameNoReplace(const QString& from, const QString& to) {
    const QByteArray f = QFile::encodeName(from);
    const QByteArray t = QFile::encodeName(to);
    int error = 0;
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0)
        return {RenameStatus::Renamed, {}};
    error = errno;
    if (error != EINVAL && error != ENOSYS && error != ENOTSUP && error != EOPNOTSUPP) {
        if (error == EEXIST && isCaseChangeOfOneFile(from, to, f, t))
            return ::rename(f.constData(), t.constData()) == 0 ? RenameResult{RenameStatus::Renamed, {}}
                                                               : fromErrno(errno, f);
        return fromErrno(error, f);
    }
#elif defined(__APPLE__) && defined(RENAME_EXCL)
    if (::renamex_np(f.constData(), t.constData(), RENAME_EXCL) == 0) return {RenameStatus::Renamed, {}};
    error = errno;
    if (error != ENOTSUP && error != EINVAL) {
        if (error == EEXIST && isCaseChangeOfOneFile(from, to, f, t))
            return ::rename(f.constData(), t.constData()) == 0 ? RenameResult{RenameStatus::Renamed, {}}
                                                               : fromErrno(errno, f);
        return fromErrno(error, f);
    }
#endif
    // The file system cannot rename without replacing: a second link under
    // the new name (refused when the name exists), then the old link goes.
    if (::link(f.constData(), t.constData()) == 0) {
        if (::unlink(f.constData()) == 0) return {RenameStatus::Renamed, {}};
        error = errno;
        ::unlink(t.constData());
        return fromErrno(error, f);
    }
    error = errno;
    if (error == EEXIST) {
        if (isCaseChangeOfOneFile(from, to, f, t))
            return ::rename(f.constData(), t.constData()) == 0 ? RenameResult{RenameStatus::Renamed, {}}
                                                               : fromErrno(errno, f);
        return {RenameStatus::TargetExists, {}};
    }
    if (error != EPERM && error != ENOTSUP && error != EOPNOTSUPP && error != EMLINK) return fromErrno(error, f);
    // Folders, and file systems without hard links: look, then rename. Only
    // a name that appears between the two steps could still be replaced.
    if (exists(t)) return {RenameStatus::TargetExists, {}};
    if (::rename(f.constData(), t.constData()) == 0) return {RenameStatus::Renamed, {}};
    return fromErrno(errno, f);
}

RenameResult renameReplacing(const QString& from, const QString& to) {
    const QByteArray f = QFile::encodeName(from);
    if (::rename(f.constData(), QFile::encodeName(to).constData()) == 0) return {RenameStatus::Renamed, {}};
    return fromErrno(errno, f);
}

}  // namespace vesko::lite::platform
