// TVKR_APPSEL, "起動するアプリの選択": edits one application slot.
#pragma once

#include <QDialog>
#include <functional>

#include "prompter.h"
#include "settings.h"

class QLineEdit;

namespace vesko::lite {

class AppSelectDialog : public QDialog {
    Q_OBJECT
public:
    AppSelectDialog(const AppSlot& slot, Prompter& prompter, QWidget* parent = nullptr);

    // The four fields as a slot.
    AppSlot slot() const;
    // The file dialog of "..." (tests answer in its place): the chosen
    // program, or empty when cancelled.
    void setProgramChooser(std::function<QString(const QString& current)> chooser) { chooser_ = std::move(chooser); }

    // "OK": refused with a message while the title is empty.
    void accept() override;

private:
    void chooseProgram();

    Prompter& prompter_;
    QLineEdit* caption_ = nullptr;
    QLineEdit* program_ = nullptr;
    QLineEdit* before_ = nullptr;
    QLineEdit* after_ = nullptr;
    std::function<QString(const QString&)> chooser_;
};

}  // namespace vesko::lite
