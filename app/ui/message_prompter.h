// Messages and questions as message boxes over the main window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "prompter.h"

namespace vesko::lite {

class MessagePrompter final : public Prompter {
public:
    void setParent(QWidget* parent) { parent_ = parent; }
    void error(const QString& caption, const QString& text) override;
    void warning(const QString& caption, const QString& text) override;
    bool confirm(const QString& caption, const QString& text) override;
    std::optional<QString> askText(const QString& title, const QString& prompt, const QString& initial) override;
    ConflictAnswer askConflict(const QString& caption, const QString& text) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace vesko::lite
