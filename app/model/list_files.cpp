#include "list_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QUrl>

#include "platform.h"

namespace vesko::lite {

namespace {

const QString kSeparator = QStringLiteral("\",\"");

enum class Encoding { Utf16Le, Utf8, EightBit };

Encoding encodingOf(ListFormat format) {
    switch (format) {
    case ListFormat::Own:
    case ListFormat::Pls:
    case ListFormat::Zpl: return Encoding::Utf16Le;
    case ListFormat::M3u8: return Encoding::Utf8;
    default: return Encoding::EightBit;
    }
}

QString folderOf(const QString& listPath) { return QFileInfo(listPath).absolutePath(); }

QString relativeTo(const QString& folder, const QString& fullPath) {
    return QDir::toNativeSeparators(QDir(folder).relativeFilePath(QDir::fromNativeSeparators(fullPath)));
}

// A path from a list, made absolute against the list's folder.
QString resolveEntry(const QString& folder, const QString& entry) {
    if (entry.startsWith(QStringLiteral("file://"), Qt::CaseInsensitive)) {
        QUrl url(entry);
        if (url.isLocalFile()) return QDir::toNativeSeparators(url.toLocalFile());
    }
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+://"));
    if (scheme.match(entry).hasMatch()) return entry;  // a stream address: the library will say it cannot open it
    QString path = QDir::fromNativeSeparators(entry);
    if (QDir::isRelativePath(path)) path = folder + u'/' + path;
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

bool hasLineBreak(const QString& text) { return text.contains(u'\r') || text.contains(u'\n'); }

QString oneLine(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

QStringList splitLines(const QString& text) {
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (QString& line : lines)
        if (line.endsWith(u'\r')) line.chop(1);
    return lines;
}

bool hasPrefix(const QByteArray& bytes, const char* prefix, int size) {
    return bytes.size() >= size && std::memcmp(bytes.constData(), prefix, static_cast<size_t>(size)) == 0;
}

QString decodeUtf8(QByteArrayView bytes, bool* valid) {
    QStringDecoder decoder(QStringConverter::Utf8);
    QString text = decoder.decode(bytes);
    if (valid) *valid = !decoder.hasError();
    return text;
}

QString decodeUtf16(QByteArrayView bytes, bool bigEndian) {
    QStringDecoder decoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE);
    return decoder.decode(bytes);
}

}  // namespace

ListFormat listFormatForCode(int formatCode) { return static_cast<ListFormat>(formatCode - 300); }

QString listExtension(ListFormat format) {
    switch (format) {
    case ListFormat::Own: return QStringLiteral("zvmtl");
    case ListFormat::Pls: return QStringLiteral("pls");
    case ListFormat::Lst: return QStringLiteral("lst");
    case ListFormat::Zpl: return QStringLiteral("zpl");
    case ListFormat::Bsl: return QStringLiteral("bsl");
    case ListFormat::M3u: return QStringLiteral("m3u");
    case ListFormat::M3u8: return QStringLiteral("m3u8");
    }
    return {};
}

QString listFilterText(ListFormat format) {
    switch (format) {
    case ListFormat::Own: return QStringLiteral("Veskolab (*.zvmtl)");
    case ListFormat::Pls: return QStringLiteral("Media Player Classic (*.pls)");
    case ListFormat::Lst: return QStringLiteral("DV (*.lst)");
    case ListFormat::Zpl: return QStringLiteral("Zoom Player (*.zpl)");
    case ListFormat::Bsl: return QStringLiteral("BSPlayer (*.bsl)");
    case ListFormat::M3u: return QStringLiteral("WinAMP (*.m3u)");
    case ListFormat::M3u8: return QStringLiteral("WinAMP (*.m3u8)");
    }
    return {};
}

QString listWriteErrorCaption(ListFormat format) {
    switch (format) {
    case ListFormat::Own: return QStringLiteral("*.zvmtlの書込時エラー");
    case ListFormat::Pls: return QStringLiteral("*.plsの書込時エラー");
    case ListFormat::Lst:
    case ListFormat::Bsl: return QStringLiteral("*.lst,*.bslの書込時エラー");
    case ListFormat::Zpl: return QStringLiteral("*.zplの書込時エラー");
    case ListFormat::M3u: return QStringLiteral("*.m3uの書込時エラー");
    case ListFormat::M3u8: return QStringLiteral("*.m3u8の書込時エラー");
    }
    return {};
}

bool usesEightBitEncoding(ListFormat format) { return encodingOf(format) == Encoding::EightBit; }

EightBitEncoder systemEightBitEncoder() { return &platform::encodeEightBit; }

ListWriteResult writeListFile(const QString& path, ListFormat format, const QList<FileEntry>& entries,
                              const EightBitEncoder& encoder) {
    ListWriteResult result;
    if (entries.isEmpty()) {
        result.status = ListWriteResult::NothingToWrite;
        return result;
    }
    const QString folder = folderOf(path);
    const Encoding encoding = encodingOf(format);

    QByteArray bytes;
    if (encoding == Encoding::Utf16Le) bytes.append("\xFF\xFE", 2);
    if (encoding == Encoding::Utf8) bytes.append("\xEF\xBB\xBF", 3);
    QStringEncoder utf16(QStringConverter::Utf16LE);
    QStringEncoder utf8(QStringConverter::Utf8);
    // Every line ends with CR LF in the list's own encoding.
    const QByteArray lineEnd = encoding == Encoding::Utf16Le ? QByteArray("\r\0\n\0", 4) : QByteArray("\r\n");

    int number = 0;
    for (const FileEntry& e : entries) {
        ++number;
        QStringList lines;
        switch (format) {
        case ListFormat::Own:
            lines << u'"' + relativeTo(folder, e.fullPath) + kSeparator + oneLine(e.details) + kSeparator +
                         oneLine(e.sizeText) + u'"';
            break;
        case ListFormat::Pls: lines << QStringLiteral("File%1=%2").arg(number).arg(e.fullPath); break;
        case ListFormat::Lst:
        case ListFormat::Bsl: lines << e.fullPath; break;
        case ListFormat::Zpl:
            lines << QStringLiteral("nm=") + e.fullPath << QStringLiteral("dr=0") << QStringLiteral("br!");
            break;
        case ListFormat::M3u:
        case ListFormat::M3u8: lines << relativeTo(folder, e.fullPath); break;
        }
        // A line break would split the entry; the own list's separator in a
        // path would cut it short when the list is read back.
        if (hasLineBreak(e.fullPath) || (format == ListFormat::Own && e.fullPath.contains(kSeparator))) {
            result.unwritable << e.fullPath;
            continue;
        }
        for (const QString& line : lines) {
            QByteArray encoded;
            bool ok = true;
            switch (encoding) {
            case Encoding::Utf16Le: encoded = utf16.encode(line); break;
            case Encoding::Utf8:
                encoded = utf8.encode(line);
                ok = !utf8.hasError();
                break;
            case Encoding::EightBit: ok = encoder(line, encoded); break;
            }
            if (!ok) {
                result.unwritable << e.fullPath;
                utf8.resetState();
                break;
            }
            bytes += encoded;
            bytes += lineEnd;
        }
    }
    if (!result.unwritable.isEmpty()) {
        result.unwritable.removeDuplicates();
        result.status = ListWriteResult::Unwritable;
        return result;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        result.status = ListWriteResult::Failed;
        result.error = file.errorString();
        return result;
    }
    result.status = ListWriteResult::Written;
    return result;
}

QString decodeListText(const QByteArray& bytes, ListFormat format) {
    if (hasPrefix(bytes, "\xEF\xBB\xBF", 3)) return decodeUtf8(QByteArrayView(bytes).sliced(3), nullptr);
    if (hasPrefix(bytes, "\xFF\xFE", 2)) return decodeUtf16(QByteArrayView(bytes).sliced(2), false);
    if (hasPrefix(bytes, "\xFE\xFF", 2)) return decodeUtf16(QByteArrayView(bytes).sliced(2), true);
    // UTF-16 text of paths always holds NUL bytes ("/", "\", "=" are ASCII):
    // a list of these formats without any was written in an 8-bit encoding.
    if (encodingOf(format) == Encoding::Utf16Le && bytes.contains('\0')) return decodeUtf16(bytes, false);
    bool valid = false;
    QString text = decodeUtf8(bytes, &valid);
    if (valid || format == ListFormat::M3u8) return text;
    return platform::decodeEightBitFallback(bytes);
}

ListReadResult readListFile(const QString& path, ListFormat format) {
    ListReadResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = file.errorString();
        return result;
    }
    const QString folder = folderOf(path);
    const QStringList lines = splitLines(decodeListText(bytes, format));
    static const QRegularExpression plsFileKey(QStringLiteral("^File\\d+$"), QRegularExpression::CaseInsensitiveOption);

    for (const QString& line : lines) {
        switch (format) {
        case ListFormat::Own: {
            QString text = line;
            if (text.startsWith(u'"')) text.remove(0, 1);
            if (text.endsWith(u'"')) text.chop(1);
            // The path cannot hold the separator, the size cannot either;
            // the details between them may (raw bytes of unknown files).
            qsizetype first = text.indexOf(kSeparator);
            qsizetype last = text.lastIndexOf(kSeparator);
            if (first < 0) continue;
            FileEntry e;
            const QString stored = text.left(first);
            if (stored.isEmpty()) continue;
            e.fullPath = resolveEntry(folder, stored);
            e.caption = QFileInfo(QDir::fromNativeSeparators(stored)).fileName();
            if (last > first) e.details = text.mid(first + kSeparator.size(), last - first - kSeparator.size());
            e.sizeText = text.mid(last + kSeparator.size());
            result.entries.append(e);
            break;
        }
        case ListFormat::Pls: {
            qsizetype eq = line.indexOf(u'=');
            if (eq <= 0 || !plsFileKey.match(line.left(eq).trimmed()).hasMatch()) continue;
            QString entry = line.mid(eq + 1);
            if (!entry.isEmpty()) result.paths << resolveEntry(folder, entry);
            break;
        }
        case ListFormat::Zpl:
            if (line.startsWith(QStringLiteral("nm=")) && line.size() > 3) result.paths << resolveEntry(folder, line.mid(3));
            break;
        case ListFormat::Lst:
        case ListFormat::Bsl:
            if (!line.isEmpty()) result.paths << resolveEntry(folder, line);
            break;
        case ListFormat::M3u:
        case ListFormat::M3u8:
            if (!line.isEmpty() && !line.startsWith(u'#')) result.paths << resolveEntry(folder, line);
            break;
        }
    }
    result.ok = true;
    return result;
}

}  // namespace vesko::lite
