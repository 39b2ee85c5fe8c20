// 5,000 files: the event loop runs after every file, timers keep firing,
// and repaints are limited while rows pour in.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>

#include "ui_support.h"

using namespace vesko::lite;

namespace {

TEST(Responsiveness, FiveThousandFilesKeepTheWindowResponsive) {
    constexpr int kFiles = 5000;
    QTemporaryDir media;
    // Small real files of a few kinds.
    QStringList sources;
    for (const QFileInfo& info : QDir(test::fixturesDir()).entryInfoList(QDir::Files, QDir::Name))
        if (info.size() > 40 && info.size() < 8192 && sources.size() < 8 &&
            !QStringList{"pls", "m3u", "m3u8"}.contains(info.suffix()))
            sources << info.absoluteFilePath();
    ASSERT_FALSE(sources.isEmpty());
    for (int i = 0; i < kFiles; ++i) {
        const QFileInfo source(sources[i % sources.size()]);
        ASSERT_TRUE(QFile::copy(source.absoluteFilePath(),
                                media.filePath(QStringLiteral("%1-%2").arg(i, 4, 10, QChar(u'0')).arg(source.fileName()))));
    }

    test::Harness harness;
    MainWindow* w = harness.start({media.path()});
    ASSERT_NE(w, nullptr);

    // The longest stretch without the event loop, measured from pump to pump.
    QElapsedTimer clock;
    qint64 lastPump = -1, longestGap = 0;
    int pumps = 0;
    w->controller().setPump([&] {
        const qint64 now = clock.nsecsElapsed();
        if (lastPump >= 0) longestGap = std::max(longestGap, now - lastPump);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        lastPump = clock.nsecsElapsed();
        ++pumps;
    });
    // A timer of the window keeps firing during the batch.
    int ticksDuringBatch = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, w, [&] {
        if (w->controller().isBusy()) ++ticksDuringBatch;
    });
    ticker.start(20);

    clock.start();
    ASSERT_TRUE(harness.waitIdle(120000));
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::printf("5,000 files listed in %.2f s; longest gap between event pumps %.1f ms; %d timer ticks\n", seconds,
                static_cast<double>(longestGap) / 1e6, ticksDuringBatch);

    EXPECT_EQ(w->model().count(), kFiles);
    EXPECT_EQ(pumps, kFiles);
    EXPECT_GT(ticksDuringBatch, 0);
    // One small file takes well under a millisecond; a loaded machine (or a
    // sanitizer build) may take far longer, but nothing near a second.
    EXPECT_LT(longestGap, 750'000'000);
    EXPECT_EQ(w->statusText(0), QStringLiteral("5000"));
    EXPECT_EQ(w->statusText(2), QString());
    w->close();
}

}  // namespace
