#include "ts1900fp_splashlabel.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <cstdio>

namespace {
QFont boldFont(const QFont &base, int pointSize)
{
    QFont font(base);
    font.setBold(true);
    font.setPointSize(pointSize);
    return font;
}
} // namespace

ts1900fp_splashLabel::ts1900fp_splashLabel(double scale, int margin, int model, bool hexModel,
                                           const QString &copyright, const QString &description)
{
    load(QStringLiteral(":/fp_splash.png"));
    QPainter painter(this);

    const QFont titleFont = boldFont(painter.font(), int(scale * 18.0));
    const QFont descriptionFont = boldFont(painter.font(), int(scale * 12.0));
    const QFont copyrightFont = boldFont(painter.font(), 8);
    const int h1 = QFontMetrics(titleFont, this).height();
    const int h3 = QFontMetrics(copyrightFont, this).height();

    const int x = margin + 67;
    const int w = 453 - 2 * margin;
    const QString modelField = QStringLiteral("%1").arg(model, 4, hexModel ? 16 : 10, QChar(' '));

    painter.setFont(titleFont);
    painter.drawText(QRect(x, h1 / 2 + 236, w, h1), Qt::AlignCenter,
                     QStringLiteral("Xentra %1").arg(modelField));
    painter.setFont(descriptionFont);
    painter.drawText(QRect(x, 2 * h1 + 236, w, (82 - h1) * 2 - 3 * h3),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, description);
    painter.setFont(copyrightFont);
    painter.drawText(QRect(x, (200 - h3) * 2, w, h3), Qt::AlignCenter, copyright);

    drawDeviceImage(painter, modelField);
}

void ts1900fp_splashLabel::drawDeviceImage(QPainter &painter, const QString &modelField)
{
    const QImage bitmap(QStringLiteral(":/ts%1fp_splash.bmp").arg(modelField));
    if (bitmap.size() == QSize(520, 400)) {
        painter.drawImage(QPoint(67, 38), bitmap, QRect(67, 38, 453, 199));
        return;
    }
    const QImage png(QStringLiteral(":/ts%1fp_splash.png").arg(modelField));
    if (png.size() == QSize(452, 194)) {
        painter.drawImage(QPoint(67, 43), png);
        return;
    }
    std::printf("The size of the image of the device, that is to be used in the splash screen, "
                "is not as required!!!\n");
    std::fflush(stdout);
}
