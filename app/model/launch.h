// Launching the application of a slot on a file ("起動アプリ").
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "prompter.h"
#include "settings.h"

namespace vesko::lite {

struct LaunchRequest {
    // No program in the slot: the file opens with the desktop's default
    // application for it.
    bool openWithDefault = false;
    QString program;
    // The slot's options before the file, the file as one argument, the
    // options after it. Options are split like a command line (double
    // quotes group words); no shell ever sees the file's name.
    QStringList arguments;
    QString file;
    // The same as one text: options before, ' "', the file, '" ', options
    // after (for messages).
    QString parameters;
};

LaunchRequest buildLaunch(const AppSlot& slot, const QString& file);

class Launcher {
public:
    virtual ~Launcher() = default;
    // Starts a program detached from VeskoLite; false with a reason when it
    // could not be started.
    virtual bool startProgram(const QString& program, const QStringList& arguments, QString* error) = 0;
    // Opens a file with the desktop's default application.
    virtual bool openFile(const QString& file, QString* error) = 0;
};

// QProcess::startDetached for programs; files through `opener` (the window
// layer passes the desktop's default action).
class ProcessLauncher : public Launcher {
public:
    explicit ProcessLauncher(std::function<bool(const QString& file)> opener = {}) : opener_(std::move(opener)) {}
    bool startProgram(const QString& program, const QStringList& arguments, QString* error) override;
    bool openFile(const QString& file, QString* error) override;

private:
    std::function<bool(const QString&)> opener_;
};

// Launches the slot's application on the file and reports a failure (caption
// "エラー"). True when started.
bool launchApp(Launcher& launcher, Prompter& prompter, const AppSlot& slot, const QString& file);

}  // namespace vesko::lite
