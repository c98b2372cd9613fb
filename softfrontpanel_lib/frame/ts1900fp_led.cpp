#include "ts1900fp_led.h"

#include <QFontMetrics>
#include <QPainter>

ts1900fp_led::ts1900fp_led(const QString &caption, const QColor &onColour, const QColor &offColour,
                           QWidget *parent)
    : QWidget(parent), m_onColour(onColour), m_offColour(offColour), m_caption(caption)
{
    if (m_offColour == QColor(Qt::magenta)) {
        m_offColour = palette().color(QPalette::Window);
    }
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
}

void ts1900fp_led::setState(int state)
{
    if (state == m_state) {
        return;
    }
    m_state = state;
    repaint();
}

void ts1900fp_led::toggleValue()
{
    m_state = m_state == 0 ? 1 : 0;
    repaint();
    emit valueToggled();
}

void ts1900fp_led::setCaption(const QString &caption)
{
    if (caption == m_caption) {
        return;
    }
    m_caption = caption;
    updateGeometry();
    repaint();
}

void ts1900fp_led::setOnColour(const QColor &colour)
{
    m_onColour = colour;
    repaint();
}

void ts1900fp_led::setOffColour(const QColor &colour)
{
    m_offColour = colour;
    repaint();
}

void ts1900fp_led::setThirdColour(const QColor &colour)
{
    m_thirdColour = colour;
    m_hasThirdColour = true;
    repaint();
}

QSize ts1900fp_led::minimumSizeHint() const
{
    const QFontMetrics fm(font());
    const int H = fm.height() + 2;
    return QSize(H + fm.horizontalAdvance(m_caption) - 1 + (H - 1) / 2, H);
}

QColor ts1900fp_led::fillColour() const
{
    if (m_state == 2 && m_hasThirdColour) {
        return m_thirdColour;
    }
    return m_state != 0 ? m_onColour : m_offColour;
}

void ts1900fp_led::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int h = QFontMetrics(font()).height();
    const int x0 = (width() - minimumSizeHint().width()) / 2 + 2;
    painter.drawText(QPoint(x0 + h + h / 2, h - 1), m_caption);
    paintLamp(painter, x0, h);
}

void ts1900fp_led::paintLamp(QPainter &painter, int x0, int h) const
{
    const QColor fill = fillColour();
    if (h < 10) {
        // Too small for the bevel rings to read: a plain disc.
        painter.setBrush(QBrush(fill));
        painter.drawChord(x0, 0, h, h, 0, 5760);
        return;
    }
    const QColor base = painter.background().color();
    const QColor light = base.lighter(150);
    const QColor dark = base.darker(200);

    painter.setPen(light);
    painter.drawArc(x0, 0, h, h, 720, 2880);
    painter.drawArc(x0 + 2, 2, h - 4, h - 4, 720, 2880);
    painter.setPen(dark);
    painter.drawArc(x0, 0, h, h, 3600, 2880);
    painter.drawArc(x0 + 2, 2, h - 4, h - 4, 3600, 2880);
    painter.setPen(base);
    painter.drawArc(x0 + 1, 1, h - 2, h - 2, 0, 5760);
    painter.setPen(fill);
    painter.setBrush(QBrush(fill));
    painter.drawChord(x0 + 3, 3, h - 6, h - 6, 0, 5760);
}
