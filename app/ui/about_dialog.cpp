#include "about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesko::lite {

namespace {

// The program's emblem: a list sheet with a wave across it.
QPixmap emblem(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF sheet(size * 0.12, size * 0.06, size * 0.76, size * 0.88);
    QLinearGradient fill(sheet.topLeft(), sheet.bottomRight());
    fill.setColorAt(0, QColor(0x3a, 0x7b, 0xd5));
    fill.setColorAt(1, QColor(0x1d, 0x3f, 0x8a));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(sheet, size * 0.08, size * 0.08);
    p.setPen(QPen(QColor(255, 255, 255, 140), size * 0.035, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i) {
        const qreal y = sheet.top() + sheet.height() * (0.18 + 0.1 * i);
        p.drawLine(QPointF(sheet.left() + size * 0.1, y), QPointF(sheet.right() - size * 0.1, y));
    }
    QPainterPath wave;
    const qreal base = sheet.top() + sheet.height() * 0.72;
    wave.moveTo(sheet.left() + size * 0.08, base);
    for (int i = 0; i < 4; ++i) {
        const qreal x = sheet.left() + size * 0.08 + i * sheet.width() * 0.2;
        const qreal w = sheet.width() * 0.2;
        wave.cubicTo(x + w * 0.3, base - size * 0.14 * (i % 2 ? -1 : 1), x + w * 0.7,
                     base - size * 0.14 * (i % 2 ? -1 : 1), x + w, base);
    }
    p.setPen(QPen(QColor(0xff, 0xd3, 0x4e), size * 0.05, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    return pixmap;
}

}  // namespace

QString AboutDialog::libraryLine(int32_t dllVersion, bool unicode) {
    return QStringLiteral("DLL %1 %2")
        .arg(dllVersion, 6, 10, QChar(u'0'))
        .arg(unicode ? QStringLiteral("Unicode") : QStringLiteral("ANSI"));
}

AboutDialog::AboutDialog(const QString& title, int32_t dllVersion, bool unicode, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TVKR_ABOUT"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setModal(true);

    auto* image = new QLabel;
    image->setObjectName(QStringLiteral("AboutImage"));
    image->setPixmap(emblem(72));
    image->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(title);
    name->setObjectName(QStringLiteral("AboutTitle"));
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    name->setFont(big);
    auto* library = new QLabel(libraryLine(dllVersion, unicode));
    library->setObjectName(QStringLiteral("AboutLibrary"));
    auto* credits = new QLabel(QStringLiteral("音声・動画・画像ファイルの中身を一覧表示します\n"
                                              "解析ライブラリ Vesko / デスクトッププログラム VeskoLite\n"
                                              "Qt %1 で動作しています")
                                   .arg(QString::fromLatin1(qVersion())));
    credits->setObjectName(QStringLiteral("AboutCredits"));

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(library);
    texts->addSpacing(8);
    texts->addWidget(credits);
    texts->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(image);
    top->addSpacing(12);
    top->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    if (parent) move(parent->frameGeometry().topLeft());
}

}  // namespace vesko::lite
