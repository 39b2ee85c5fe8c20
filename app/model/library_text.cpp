#include "library_text.h"

#include <QStringDecoder>
#include <cstring>

#include "platform.h"

namespace vesko::lite {

namespace {

// ICU knows code page 932 as "windows-31j"; a Qt built without ICU does not,
// and the platform layer's converter takes over.
QStringDecoder* cp932Decoder() {
    thread_local QStringDecoder decoder("windows-31j", QStringConverter::Flag::Stateless);
    return decoder.isValid() ? &decoder : nullptr;
}

}  // namespace

QString decodeLibraryText(const char* bytes, qsizetype maxBytes) {
    if (!bytes || maxBytes <= 0) return {};
    const void* nul = std::memchr(bytes, 0, static_cast<size_t>(maxBytes));
    qsizetype size = nul ? static_cast<const char*>(nul) - bytes : maxBytes;
    bool ascii = true;
    for (qsizetype i = 0; i < size && ascii; ++i) ascii = static_cast<unsigned char>(bytes[i]) < 0x80;
    if (ascii) return QString::fromLatin1(bytes, size);
    if (QStringDecoder* decoder = cp932Decoder()) return decoder->decode(QByteArrayView(bytes, size));
    return platform::decodeCp932(bytes, size);
}

QString groupThousands(int64_t value) {
    QString digits = QString::number(value);
    QString out;
    qsizetype start = 0;
    if (digits.startsWith(u'-')) {
        out += u'-';
        start = 1;
    }
    qsizetype count = digits.size() - start;
    for (qsizetype i = 0; i < count; ++i) {
        if (i > 0 && (count - i) % 3 == 0) out += u',';
        out += digits[start + i];
    }
    return out;
}

bool parseGroupedNumber(const QString& text, int64_t& value) {
    QString digits = text;
    digits.remove(u',');
    bool ok = false;
    qlonglong n = digits.trimmed().toLongLong(&ok);
    if (ok) value = n;
    return ok;
}

}  // namespace vesko::lite
