#include "launch.h"

#include <QFileInfo>
#include <QProcess>

namespace vesko::lite {

LaunchRequest buildLaunch(const AppSlot& slot, const QString& file) {
    LaunchRequest request;
    request.file = file;
    request.parameters = slot.optionsBefore + QStringLiteral(" \"") + file + QStringLiteral("\" ") + slot.optionsAfter;
    if (slot.program.trimmed().isEmpty()) {
        request.openWithDefault = true;
        return request;
    }
    request.program = slot.program.trimmed();
    request.arguments = QProcess::splitCommand(slot.optionsBefore);
    request.arguments << file;
    request.arguments += QProcess::splitCommand(slot.optionsAfter);
    return request;
}

bool ProcessLauncher::startProgram(const QString& program, const QStringList& arguments, QString* error) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    if (process.startDetached()) return true;
    if (error) *error = process.errorString();
    return false;
}

bool ProcessLauncher::openFile(const QString& file, QString* error) {
    if (opener_ && opener_(file)) return true;
    if (error) *error = QStringLiteral("関連付けられたアプリケーションがありません");
    return false;
}

bool launchApp(Launcher& launcher, Prompter& prompter, const AppSlot& slot, const QString& file) {
    const LaunchRequest request = buildLaunch(slot, file);
    QString error;
    if (request.openWithDefault) {
        if (launcher.openFile(request.file, &error)) return true;
        prompter.error(QStringLiteral("エラー"),
                       QStringLiteral("ファイルを開けませんでした\r\n\r\n") + file + QStringLiteral("\r\n") + error);
        return false;
    }
    if (launcher.startProgram(request.program, request.arguments, &error)) return true;
    prompter.error(QStringLiteral("エラー"), QStringLiteral("アプリケーションの起動に失敗しました\r\n\r\n") +
                                                 request.program + QStringLiteral(" ") + request.parameters +
                                                 QStringLiteral("\r\n") + error);
    return false;
}

}  // namespace vesko::lite
