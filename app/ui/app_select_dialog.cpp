#include "app_select_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesko::lite {

namespace {

QLineEdit* addField(QVBoxLayout* layout, const QString& label, const char* name, const QString& value,
                    QWidget* beside = nullptr) {
    auto* edit = new QLineEdit(value);
    edit->setObjectName(QString::fromLatin1(name));
    auto* caption = new QLabel(label);
    caption->setBuddy(edit);
    layout->addWidget(caption);
    if (!beside) {
        layout->addWidget(edit);
    } else {
        auto* row = new QHBoxLayout;
        row->addWidget(edit, 1);
        row->addWidget(beside);
        layout->addLayout(row);
    }
    return edit;
}

// The program dialog's filters: executables first where they have an
// extension of their own.
QStringList programFilters() {
#if defined(Q_OS_WIN)
    return {QStringLiteral("実行可能なファイル (*.exe)"), QStringLiteral("全てのファイル (*.*)")};
#else
    return {QStringLiteral("全てのファイル (*)")};
#endif
}

}  // namespace

AppSelectDialog::AppSelectDialog(const AppSlot& slot, Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter) {
    setObjectName(QStringLiteral("TVKR_APPSEL"));
    setWindowTitle(QStringLiteral("起動するアプリの選択"));

    auto* layout = new QVBoxLayout(this);
    caption_ = addField(layout, QStringLiteral("タイトル"), "E_AppCaption", slot.caption);
    auto* browse = new QPushButton(QStringLiteral("..."));
    browse->setObjectName(QStringLiteral("B_Dialog"));
    browse->setAutoDefault(false);
    browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
    program_ = addField(layout, QStringLiteral("アプリケーション"), "E_AppName", slot.program, browse);
    before_ = addField(layout, QStringLiteral("コマンドラインオプション(ファイル名の前)"), "E_AppCmdlFront",
                       slot.optionsBefore);
    after_ = addField(layout, QStringLiteral("コマンドラインオプション(ファイル名の後)"), "E_AppCmdlBack",
                      slot.optionsAfter);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("B_Ok"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("B_Cancel"));
    layout->addSpacing(6);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &AppSelectDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, &AppSelectDialog::chooseProgram);

    setMinimumWidth(380);
    // At the main window's top-left corner.
    if (parent) move(parent->frameGeometry().topLeft());
}

AppSlot AppSelectDialog::slot() const {
    return {caption_->text(), program_->text(), before_->text(), after_->text()};
}

void AppSelectDialog::accept() {
    if (caption_->text().trimmed().isEmpty()) {
        prompter_.error(QStringLiteral("エラー"), QStringLiteral("タイトルを指定してください"));
        caption_->setFocus();
        return;
    }
    QDialog::accept();
}

void AppSelectDialog::chooseProgram() {
    QString chosen;
    if (chooser_) {
        chosen = chooser_(program_->text());
    } else {
        QFileDialog dialog(this, QStringLiteral("アプリの選択"), QFileInfo(program_->text()).absolutePath());
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters(programFilters());
#if defined(Q_OS_WIN)
        dialog.setDefaultSuffix(QStringLiteral("exe"));
#endif
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = QDir::toNativeSeparators(dialog.selectedFiles().first());
    }
    if (!chosen.isEmpty()) program_->setText(chosen);
}

}  // namespace vesko::lite
