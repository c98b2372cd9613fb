#include "mylabel.h"

#include <QEnterEvent>
#include <QPainter>

myLabel::myLabel(QWidget *parent) : QLabel(parent) {}

void myLabel::enterEvent(QEnterEvent *event)
{
    hovered = true;
    update();
    QLabel::enterEvent(event);
}

void myLabel::leaveEvent(QEvent *event)
{
    hovered = false;
    update();
    QLabel::leaveEvent(event);
}

void myLabel::paintEvent(QPaintEvent *event)
{
    if (hovered) {
        // The label's own hover background; the hint box below covers it.
        QPainter(this).fillRect(rect(), QColor(0xff, 0xdc, 0xdc));
    }
    QLabel::paintEvent(event);
    if (!hovered) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(rect(), QColor(220, 220, 220));
    QFont hintFont = font();
    hintFont.setItalic(true);
    painter.setFont(hintFont);
    const Qt::Alignment flags = (alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter;
    painter.drawText(QRect(2, 2, width() - 4, height() - 4), int(flags), QStringLiteral("Click to edit"));
}
