#include "renaming.h"

#include <algorithm>

#include "vesko.h"

namespace vesko::lite {

namespace {

qsizetype lastSeparator(const QString& path) {
    qsizetype at = path.lastIndexOf(u'/');
#if defined(Q_OS_WIN)
    at = std::max({at, path.lastIndexOf(u'\\'), path.lastIndexOf(u':')});
#endif
    return at;
}

// Position of the "." that starts the extension of the name part, or -1.
qsizetype extensionDot(const QString& path) {
    const qsizetype nameStart = lastSeparator(path) + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot > nameStart ? dot : -1;  // a name's first character starts no extension
}

bool isForbiddenInName(QChar c) {
    switch (c.unicode()) {
    case u'\\':
    case u'/':
    case u':':
    case u'*':
    case u'?':
    case u'"':
    case u'<':
    case u'>':
    case u'|': return true;
    }
    return c.category() == QChar::Other_Control;
}

}  // namespace

QString fileNamePart(const QString& path) { return path.mid(lastSeparator(path) + 1); }

QString folderPart(const QString& path) {
    const qsizetype at = lastSeparator(path);
    if (at < 0) return {};
    // The root keeps its separator ("/", "C:\").
    if (at == 0 || (at > 0 && path[at - 1] == u':')) return path.left(at + 1);
    return path.left(at);
}

QString extensionForFormat(int32_t code) {
    switch (code) {
    case VESKO_FMT_AVI: return QStringLiteral(".avi");
    case VESKO_FMT_MPEG1_PS:
    case VESKO_FMT_MPEG2_PS: return QStringLiteral(".mpg");
    case VESKO_FMT_CDXA: return QStringLiteral(".dat");
    case VESKO_FMT_OGG: return QStringLiteral(".ogm");
    case VESKO_FMT_MPEG2_TS: return QStringLiteral(".ts");
    case VESKO_FMT_ASF_VIDEO: return QStringLiteral(".wmv");
    case VESKO_FMT_REALMEDIA: return QStringLiteral(".rm");
    case VESKO_FMT_QUICKTIME: return QStringLiteral(".qt");
    case VESKO_FMT_MP4: return QStringLiteral(".mp4");
    case VESKO_FMT_MATROSKA: return QStringLiteral(".mkv");
    case VESKO_FMT_FLV: return QStringLiteral(".flv");
    case VESKO_FMT_BMP: return QStringLiteral(".bmp");
    case VESKO_FMT_JPEG: return QStringLiteral(".jpg");
    case VESKO_FMT_GIF: return QStringLiteral(".gif");
    case VESKO_FMT_WAVE: return QStringLiteral(".wav");
    case VESKO_FMT_MIDI: return QStringLiteral(".mid");
    case VESKO_FMT_RMID: return QStringLiteral(".rmi");
    case VESKO_FMT_SUN_AUDIO: return QStringLiteral(".au");
    case VESKO_FMT_AIFF: return QStringLiteral(".aiff");
    case VESKO_FMT_MPEG_AUDIO: return QStringLiteral(".mp3");
    case VESKO_FMT_CDDA: return QStringLiteral(".cda");
    case VESKO_FMT_RMP3: return QStringLiteral(".rmp");
    case VESKO_FMT_OGG_VORBIS: return QStringLiteral(".ogg");
    case VESKO_FMT_OGG_SPEEX: return QStringLiteral(".spx");
    case VESKO_FMT_ASF_AUDIO: return QStringLiteral(".wma");
    case VESKO_FMT_AC3: return QStringLiteral(".ac3");
    case VESKO_FMT_MONKEYS_AUDIO: return QStringLiteral(".ape");
    case VESKO_FMT_MUSEPACK: return QStringLiteral(".mpc");
    case VESKO_FMT_FLAC: return QStringLiteral(".flac");
    case VESKO_FMT_AAC: return QStringLiteral(".aac");
    case VESKO_FMT_REALAUDIO: return QStringLiteral(".ra");
    case VESKO_FMT_TTA: return QStringLiteral(".tta");
    case VESKO_FMT_DTS14_LE:
    case VESKO_FMT_DTS14_BE:
    case VESKO_FMT_DTS16_LE:
    case VESKO_FMT_DTS16_BE: return QStringLiteral(".dts");
    case VESKO_FMT_WAVPACK: return QStringLiteral(".wv");
    case VESKO_FMT_OPTIMFROG: return QStringLiteral(".ofr");
    case VESKO_FMT_TWINVQ: return QStringLiteral(".vqf");
    case VESKO_FMT_SHOCKWAVE_AUDIO: return QStringLiteral(".swa");
    }
    return {};
}

QString extensionCorrectedPath(const QString& path, int32_t formatCode) {
    const QString extension = extensionForFormat(formatCode);
    if (extension.isEmpty() || path.isEmpty()) return {};
    const qsizetype dot = extensionDot(path);
    const QString corrected = (dot < 0 ? path : path.left(dot)) + extension;
    if (corrected.compare(path, Qt::CaseInsensitive) == 0) return {};
    return corrected;
}

QString detailsRenamedPath(const QString& path, const QString& details) {
    const qsizetype dot = extensionDot(path);
    if (dot < 0) return {};
    QString text = details;
    for (QChar& c : text)
        if (isForbiddenInName(c)) c = u'-';
    return path.left(dot) + QStringLiteral(" [") + text + u']' + path.mid(dot);
}

bool isAcceptableFileName(const QString& name) {
    if (name.trimmed().isEmpty() || name == u"." || name == u"..") return false;
    return !name.contains(u'/') && !name.contains(u'\\') && !name.contains(QChar(u'\0'));
}

}  // namespace vesko::lite
