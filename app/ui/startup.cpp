#include "startup.h"

#include <QDir>
#include <QFileInfo>

namespace vesko::lite {

QStringList absoluteArguments(const QStringList& arguments) {
    QStringList out;
    for (const QString& argument : arguments)
        if (!argument.isEmpty()) out << QDir::toNativeSeparators(QFileInfo(argument).absoluteFilePath());
    return out;
}

Startup startVeskoLite(const StartOptions& options, const QString& instanceKey, Prompter& prompter) {
    Startup startup;
    const QDir programDir(options.programDir);
    if (!programDir.exists(QStringLiteral("FORMAT.INI"))) {
        prompter.error(QStringLiteral("エラー"), QStringLiteral("FORMAT.INIが見つからないので詳細の表示ができません"));
        startup.exitCode = -1;
        return startup;
    }
    if (!programDir.exists(QStringLiteral("CODECS.INI")))
        prompter.warning(QStringLiteral("無くても動きますが"),
                         QStringLiteral("CODECS.INIが見つからないのでCodec名の表示ができません"));

    startup.instance = std::make_unique<SingleInstance>(instanceKey);
    if (startup.instance->handOverOrListen(options.arguments)) {
        startup.instance.reset();
        startup.exitCode = 1;
        return startup;
    }

    if (options.userName.isEmpty())
        prompter.error(QStringLiteral("ユーザー名の取得"),
                       QStringLiteral("ログオンユーザー名の取得に失敗しました\nデフォルト値を使用します"));

    startup.window = std::make_unique<MainWindow>(options, prompter);
    MainWindow* window = startup.window.get();
    QObject::connect(startup.instance.get(), &SingleInstance::pathReceived, window,
                     &MainWindow::receiveHandedOverPath, Qt::QueuedConnection);
    QObject::connect(startup.instance.get(), &SingleInstance::activated, window, &MainWindow::bringToFront,
                     Qt::QueuedConnection);
    window->show();
    return startup;
}

}  // namespace vesko::lite
