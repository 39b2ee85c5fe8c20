// VeskoLite: lists media files with the analysis library's findings.
#include <QApplication>
#include <cstdio>

#include "message_prompter.h"
#include "platform.h"
#include "startup.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VeskoLite"));

    using namespace vesko::lite;
    MessagePrompter prompter;
    StartOptions options;
    options.programDir = QApplication::applicationDirPath();
    options.userName = platform::userName();
    options.arguments = absoluteArguments(QApplication::arguments().mid(1));
    // Measurement runs (bench/bench_app.sh): close once the command line's
    // files are listed, and say how long adding them took.
    options.quitWhenIdle = qEnvironmentVariableIsSet("VESKOLITE_QUIT_WHEN_IDLE");
    // Tests run instances side by side under their own names.
    const QString key = qEnvironmentVariableIsSet("VESKOLITE_INSTANCE")
                            ? SingleInstance::keyFor(qEnvironmentVariable("VESKOLITE_INSTANCE"))
                            : SingleInstance::keyFor(options.userName);

    Startup startup = startVeskoLite(options, key, prompter);
    if (startup.exitCode) return *startup.exitCode;
    prompter.setParent(startup.window.get());
    int status = app.exec();
    return startup.window->bindingFailed() ? -1 : status;
}
