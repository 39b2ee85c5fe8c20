#include "message_prompter.h"

#include <QMessageBox>

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

}  // namespace vesko::lite
