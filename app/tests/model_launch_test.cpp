// Launching a slot's application on a file: the parameters, the file as
// one argument, the default application, and failures reported.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "launch.h"
#include "test_support.h"

using namespace vesko::lite;

namespace {

struct LaunchCase {
    const char* what;
    AppSlot slot;
    const char* file;
    bool openWithDefault;
    QStringList arguments;
    const char* parameters;
};

TEST(Launch, ParametersAndArguments) {
    const LaunchCase cases[] = {
        {"options before and after", {"P", "/usr/bin/player", "-a", "-b"}, "C:\\x\\y.mp3", false,
         {"-a", "C:\\x\\y.mp3", "-b"}, "-a \"C:\\x\\y.mp3\" -b"},
        {"no options", {"P", "/usr/bin/player", "", ""}, "/m/y.mp3", false, {"/m/y.mp3"}, " \"/m/y.mp3\" "},
        {"quoted words stay together", {"P", "player", "--title \"My Song\" -v", "--end"}, "/m/y.mp3", false,
         {"--title", "My Song", "-v", "/m/y.mp3", "--end"}, "--title \"My Song\" -v \"/m/y.mp3\" --end"},
        {"a quote in the file name", {"P", "player", "", ""}, "/m/it's a \"song\" & more.mp3", false,
         {"/m/it's a \"song\" & more.mp3"}, " \"/m/it's a \"song\" & more.mp3\" "},
        {"no program", {"P", "", "-a", "-b"}, "/m/y.mp3", true, {}, "-a \"/m/y.mp3\" -b"},
        {"blank program", {"P", "  ", "", ""}, "/m/y.mp3", true, {}, " \"/m/y.mp3\" "},
    };
    for (const LaunchCase& c : cases) {
        SCOPED_TRACE(c.what);
        const LaunchRequest r = buildLaunch(c.slot, QString::fromUtf8(c.file));
        EXPECT_EQ(r.openWithDefault, c.openWithDefault);
        EXPECT_EQ(r.program, c.openWithDefault ? QString() : c.slot.program.trimmed());
        EXPECT_EQ(r.arguments, c.arguments);
        EXPECT_EQ(r.file, QString::fromUtf8(c.file));
        EXPECT_EQ(r.parameters, QString::fromUtf8(c.parameters));
    }
}

class StubLauncher : public Launcher {
public:
    bool startProgram(const QString& program, const QStringList& arguments, QString* error) override {
        started << (QStringList{program} + arguments);
        if (!succeed && error) *error = QStringLiteral("no such program");
        return succeed;
    }
    bool openFile(const QString& file, QString* error) override {
        opened << file;
        if (!succeed && error) *error = QStringLiteral("no application");
        return succeed;
    }
    QList<QStringList> started;
    QStringList opened;
    bool succeed = true;
};

TEST(Launch, ThroughTheLauncherAndFailuresReported) {
    StubLauncher launcher;
    test::RecordingPrompter prompter;
    EXPECT_TRUE(launchApp(launcher, prompter, {"P", "/usr/bin/player", "-a", "-b"}, "/m/y.mp3"));
    EXPECT_TRUE(launchApp(launcher, prompter, {"P", "", "", ""}, "/m/z.mp3"));
    EXPECT_EQ(launcher.started, (QList<QStringList>{{"/usr/bin/player", "-a", "/m/y.mp3", "-b"}}));
    EXPECT_EQ(launcher.opened, QStringList{"/m/z.mp3"});
    EXPECT_TRUE(prompter.records.isEmpty());

    launcher.succeed = false;
    EXPECT_FALSE(launchApp(launcher, prompter, {"P", "/usr/bin/player", "-a", "-b"}, "/m/y.mp3"));
    EXPECT_FALSE(launchApp(launcher, prompter, {"P", "", "", ""}, "/m/z.mp3"));
    ASSERT_EQ(prompter.records.size(), 2);
    EXPECT_EQ(prompter.records[0].caption, QStringLiteral("エラー"));
    EXPECT_TRUE(prompter.records[0].text.startsWith(QStringLiteral("アプリケーションの起動に失敗しました")));
    EXPECT_TRUE(prompter.records[0].text.contains(QStringLiteral("no such program")));
    EXPECT_TRUE(prompter.records[1].text.contains(QStringLiteral("/m/z.mp3")));
}

TEST(Launch, RealProgramsStartOrAreReported) {
    ProcessLauncher launcher;  // no default-application opener
    test::RecordingPrompter prompter;
    EXPECT_TRUE(launchApp(launcher, prompter, {"true", "/bin/true", "", ""}, "/m/y.mp3"));
    EXPECT_TRUE(prompter.records.isEmpty());
    QTemporaryDir dir;
    EXPECT_FALSE(launchApp(launcher, prompter, {"none", dir.filePath("no-such-program"), "", ""}, "/m/y.mp3"));
    EXPECT_FALSE(launchApp(launcher, prompter, {"none", "", "", ""}, "/m/y.mp3"));
    EXPECT_EQ(prompter.records.size(), 2);
}

// The program gets the file as one argument, whatever the name holds.
TEST(Launch, TheFileReachesTheProgramAsOneArgument) {
    QTemporaryDir dir;
    const QString out = dir.filePath("args.txt");
    const QString script = test::writeFile(
        dir.filePath("show-args"),
        QStringLiteral("#!/bin/sh\nprintf '[%s]\\n' \"$@\" > '%1.tmp' && mv '%1.tmp' '%1'\n").arg(out).toUtf8());
    QFile::setPermissions(script, QFile::permissions(script) | QFileDevice::ExeOwner);
    const QString file = dir.filePath(QStringLiteral("it's a \"song\"; $(echo no) `x` & more.mp3"));

    ProcessLauncher launcher;
    test::RecordingPrompter prompter;
    ASSERT_TRUE(launchApp(launcher, prompter, {"show", script, "-a \"two words\"", "-b"}, file));
    QDeadlineTimer deadline(10000);
    while (!QFile::exists(out) && !deadline.hasExpired()) QThread::msleep(20);
    EXPECT_EQ(QString::fromUtf8(test::readFile(out)), "[-a]\n[two words]\n[" + file + "]\n[-b]\n");
}

}  // namespace
