#include "message_prompter.h"

#include <QCheckBox>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace vesko::lite {

void MessagePrompter::error(const QString& caption, const QString& text) {
    QMessageBox::critical(parent_, caption, text);
}

void MessagePrompter::warning(const QString& caption, const QString& text) {
    QMessageBox::warning(parent_, caption, text);
}

bool MessagePrompter::confirm(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> MessagePrompter::askText(const QString& title, const QString& prompt, const QString& initial) {
    QInputDialog dialog(parent_);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initial);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("キャンセル"));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue();
}

ConflictAnswer MessagePrompter::askConflict(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::NoButton, parent_);
    QPushButton* replace = box.addButton(QStringLiteral("置き換える(&R)"), QMessageBox::AcceptRole);
    QPushButton* skip = box.addButton(QStringLiteral("スキップ(&S)"), QMessageBox::NoRole);
    QPushButton* cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    box.setDefaultButton(skip);
    box.setEscapeButton(cancel);
    auto* forAll = new QCheckBox(QStringLiteral("以降のファイルにも同じ処理をする(&A)"));
    box.setCheckBox(forAll);
    box.exec();
    ConflictAnswer answer;
    if (box.clickedButton() == replace) answer.choice = ConflictChoice::Replace;
    else if (box.clickedButton() == skip) answer.choice = ConflictChoice::Skip;
    else answer.choice = ConflictChoice::Cancel;
    answer.forAll = forAll->isChecked();
    return answer;
}

}  // namespace vesko::lite
