#include "paint_throttle.h"

#include <QCoreApplication>
#include <QEvent>

namespace vesko::lite {

PaintThrottle::PaintThrottle(QWidget* window, int intervalMs) : QObject(window), window_(window), interval_(intervalMs) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &PaintThrottle::releaseHeld);
}

void PaintThrottle::start() {
    if (active_ || !window_) return;
    active_ = true;
    sincePaint_.start();
    window_->installEventFilter(this);
}

void PaintThrottle::stop() {
    if (!active_) return;
    active_ = false;
    if (window_) window_->removeEventFilter(this);
    timer_.stop();
    releaseHeld();
}

// A held request is posted again: the widget's repaint manager still counts
// its own request as sent, so without this the window would never repaint.
void PaintThrottle::releaseHeld() {
    if (!pending_ || !window_) return;
    pending_ = false;
    QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

bool PaintThrottle::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::UpdateRequest) {
        qint64 elapsed = sincePaint_.elapsed();
        if (elapsed < interval_) {
            ++held_;
            pending_ = true;
            if (!timer_.isActive()) timer_.start(static_cast<int>(interval_ - elapsed));
            return true;
        }
        pending_ = false;
        sincePaint_.restart();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace vesko::lite
