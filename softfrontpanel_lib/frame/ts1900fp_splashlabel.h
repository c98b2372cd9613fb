#pragma once

#include <QPixmap>
#include <QString>

// The splash picture: the family's background with the product title,
// description, copyright line and, when it has one of the two accepted
// sizes, the picture of the device.
class ts1900fp_splashLabel : public QPixmap
{
public:
    ts1900fp_splashLabel(double scale, int margin, int model, bool hexModel, const QString &copyright,
                         const QString &description);

private:
    void drawDeviceImage(class QPainter &painter, const QString &modelField);
};
