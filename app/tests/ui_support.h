// Starting VeskoLite inside a test process: a program folder of its own
// (library, FORMAT.INI, CODECS.INI), the real start-up steps, offscreen.
#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "binding.h"
#include "startup.h"
#include "test_support.h"

namespace vesko::lite::test {

inline QString uniqueInstanceName() {
    static int counter = 0;
    return QStringLiteral("test-%1-%2").arg(QCoreApplication::applicationPid()).arg(++counter);
}

class Harness {
public:
    explicit Harness(const QString& library = libraryFile(), bool formatIni = true, bool codecsIni = true) {
        if (!library.isEmpty()) QFile::copy(library, programDir.filePath(LibraryBinding::libraryFileName()));
        if (formatIni) QFile::copy(dataDir() + "FORMAT.INI", programDir.filePath("FORMAT.INI"));
        if (codecsIni) QFile::copy(dataDir() + "CODECS.INI", programDir.filePath("CODECS.INI"));
        instanceName = uniqueInstanceName();
    }

    QString settingsPath() const { return programDir.filePath("VeskoLite_tester.ini"); }
    QString ownListPath() const { return programDir.filePath("VeskoLite_tester.zvmtl"); }

    MainWindow* start(const QStringList& arguments = {}) {
        StartOptions options;
        options.programDir = programDir.path();
        options.arguments = arguments;
        options.userName = QStringLiteral("tester");
        options.configDir = programDir.filePath("config");
        startup = startVeskoLite(options, SingleInstance::keyFor(instanceName), prompter);
        return startup.window.get();
    }

    // Start-up done and no loop running.
    bool waitIdle(int timeoutMs = 60000) {
        MainWindow* w = startup.window.get();
        return w && QTest::qWaitFor([w] { return w->isIdle() || w->bindingFailed(); }, timeoutMs);
    }

    QTemporaryDir programDir;
    QString instanceName;
    RecordingPrompter prompter;
    Startup startup;
};

}  // namespace vesko::lite::test
