#include "clickablelabel.h"

clickableLabel::clickableLabel(const QString &text, QWidget *parent)
    : QLabel(QStringLiteral("<u><font color='#22e'>") + text + QStringLiteral("</font></u>"), parent)
{}

// Any button counts, as it always has for these links.
void clickableLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    emit clicked();
}
