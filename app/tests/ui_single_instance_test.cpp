// One instance per user: a second start of the real program hands its
// arguments to the first and ends with status 1.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>

#include "ui_support.h"

using namespace vesko::lite;

namespace {

// Runs the built program while this process keeps serving its events.
int runSecondStart(const QString& instanceName, const QStringList& arguments, const QString& workingDir) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VESKOLITE_INSTANCE", instanceName);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workingDir);
    process.start(QStringLiteral(VESKOLITE_TEST_PROGRAM), arguments);
    if (!process.waitForStarted(10000)) return -100;
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000)) {
        process.kill();
        process.waitForFinished();
        return -101;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -102;
}

TEST(SingleInstance, SecondStartHandsOverRelativeArgumentsAndEnds) {
    QTemporaryDir media;
    test::writeFile(media.filePath("first.bin"), "1");
    test::writeFile(media.filePath("second.bin"), "22");
    test::Harness harness;
    MainWindow* w = harness.start();
    ASSERT_TRUE(harness.waitIdle());
    ASSERT_TRUE(harness.startup.instance->isListening());

    // Relative paths: the second start makes them absolute against its own
    // current folder, which the first instance does not share.
    EXPECT_EQ(runSecondStart(harness.instanceName, {"first.bin", "second.bin"}, media.path()), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->model().count() == 2 && w->isIdle(); }, 10000));
    EXPECT_EQ(w->model().entry(0).fullPath, media.filePath("second.bin"));
    EXPECT_EQ(w->model().entry(1).fullPath, media.filePath("first.bin"));

    // Without arguments it still ends with status 1 and adds nothing.
    EXPECT_EQ(runSecondStart(harness.instanceName, {}, media.path()), 1);
    QTest::qWait(200);
    EXPECT_EQ(w->model().count(), 2);
}

TEST(SingleInstance, MessagesWithAnotherIdentifierAreRefused) {
    QTemporaryDir media;
    const QString good = test::writeFile(media.filePath("good.bin"), "1");
    const QString bad = test::writeFile(media.filePath("bad.bin"), "1");
    test::Harness harness;
    MainWindow* w = harness.start();
    ASSERT_TRUE(harness.waitIdle());

    QLocalSocket foreign;
    foreign.connectToServer(SingleInstance::keyFor(harness.instanceName));
    ASSERT_TRUE(foreign.waitForConnected(3000));
    foreign.write(SingleInstance::encodeMessage(bad, 1234));
    foreign.write(SingleInstance::encodeMessage(bad));  // after a foreign message the connection is dropped
    foreign.flush();
    ASSERT_TRUE(QTest::qWaitFor([&] { return foreign.state() == QLocalSocket::UnconnectedState; }, 5000));

    QLocalSocket ours;
    ours.connectToServer(SingleInstance::keyFor(harness.instanceName));
    ASSERT_TRUE(ours.waitForConnected(3000));
    ours.write(SingleInstance::encodeMessage(good));
    ours.flush();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->model().count() == 1 && w->isIdle(); }, 10000));
    QTest::qWait(100);
    ASSERT_EQ(w->model().count(), 1);
    EXPECT_EQ(w->model().entry(0).fullPath, good);
}

TEST(SingleInstance, SocketLeftByACrashedInstanceIsTakenOver) {
    const QString key = SingleInstance::keyFor(test::uniqueInstanceName());
    // A bound socket that nobody listens on: what a killed instance leaves.
    const QByteArray file = QFile::encodeName(QDir(QDir::tempPath()).filePath(key));
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(static_cast<size_t>(file.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, file.constData(), static_cast<size_t>(file.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(QFile::decodeName(file)));
    SingleInstance instance(key);
    EXPECT_FALSE(instance.handOverOrListen({}));
    EXPECT_TRUE(instance.isListening());
}

}  // namespace
