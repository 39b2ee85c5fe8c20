#include "status_panel.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace vesko::lite {

StatusPanel::StatusPanel(int width, const QString& text, QWidget* parent) : QWidget(parent), text_(text), width_(width) {
    if (width > 0) setFixedWidth(width);
    else setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void StatusPanel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    setAccessibleName(text);
    update();
}

QSize StatusPanel::sizeHint() const {
    return {width_ > 0 ? width_ : 100, fontMetrics().height() + 6};
}

void StatusPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.frameShape = QFrame::Panel;
    frame.state |= QStyle::State_Sunken;
    frame.lineWidth = 1;
    style()->drawPrimitive(QStyle::PE_Frame, &frame, &painter, this);
    QRect area = rect().adjusted(4, 1, -4, -1);
    painter.drawText(area, Qt::AlignVCenter | Qt::AlignLeft,
                     fontMetrics().elidedText(text_, Qt::ElideRight, area.width()));
}

}  // namespace vesko::lite
