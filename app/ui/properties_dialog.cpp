#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>

#include "library_text.h"
#include "properties.h"

namespace vesko::lite {

FilePropertiesDialog::FilePropertiesDialog(const FileEntry& entry, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TVKR_PROPERTIES"));
    setWindowTitle(entry.caption + QStringLiteral(" のプロパティ"));
    auto* form = new QFormLayout;
    auto add = [&](const QString& label, const QString& value) {
        auto* text = new QLabel(value);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        text->setWordWrap(true);
        form->addRow(label, text);
    };
    const QFileInfo info(entry.fullPath);
    add(QStringLiteral("名前:"), entry.caption);
    add(QStringLiteral("場所:"), QDir::toNativeSeparators(info.absolutePath()));
    add(QStringLiteral("詳細:"), entry.details);
    if (info.exists()) {
        add(QStringLiteral("サイズ:"), groupThousands(info.size()) + QStringLiteral(" バイト"));
        add(QStringLiteral("更新日時:"), QLocale().toString(info.lastModified(), QLocale::LongFormat));
        QString mode;
        const auto p = info.permissions();
        mode += p & QFile::ReadOwner ? u'r' : u'-';
        mode += p & QFile::WriteOwner ? u'w' : u'-';
        mode += p & QFile::ExeOwner ? u'x' : u'-';
        mode += p & QFile::ReadGroup ? u'r' : u'-';
        mode += p & QFile::WriteGroup ? u'w' : u'-';
        mode += p & QFile::ExeGroup ? u'x' : u'-';
        mode += p & QFile::ReadOther ? u'r' : u'-';
        mode += p & QFile::WriteOther ? u'w' : u'-';
        mode += p & QFile::ExeOther ? u'x' : u'-';
        add(QStringLiteral("アクセス権:"), mode + u' ' + info.owner() + u'/' + info.group());
    } else {
        add(QStringLiteral("サイズ:"), entry.sizeText);
        add(QStringLiteral("状態:"), QStringLiteral("ファイルが見つかりません"));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    form->addRow(buttons);
    setLayout(form);
    setMinimumWidth(360);
}

}  // namespace vesko::lite
