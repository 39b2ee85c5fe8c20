// While files are added, rows arrive faster than a screen can show them.
// The throttle lets the window repaint at most once per interval; input and
// every other event are still handled after each file.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace vesko::lite {

class PaintThrottle : public QObject {
    Q_OBJECT
public:
    explicit PaintThrottle(QWidget* window, int intervalMs = 50);
    void start();
    // Lets any held repaint through at once.
    void stop();
    bool isActive() const { return active_; }
    int heldRequests() const { return held_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void releaseHeld();

    QPointer<QWidget> window_;
    int interval_;
    bool active_ = false;
    bool pending_ = false;
    int held_ = 0;
    QElapsedTimer sincePaint_;
    QTimer timer_;
};

}  // namespace vesko::lite
