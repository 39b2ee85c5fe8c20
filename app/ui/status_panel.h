// One panel of the status bar. Setting its text repaints the panel and
// nothing else: no size hint changes, no layout pass per file added.
#pragma once

#include <QWidget>

namespace vesko::lite {

class StatusPanel : public QWidget {
    Q_OBJECT
public:
    // width 0: the panel takes the room that is left.
    explicit StatusPanel(int width, const QString& text = {}, QWidget* parent = nullptr);
    QString text() const { return text_; }
    void setText(const QString& text);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    int width_;
};

}  // namespace vesko::lite
