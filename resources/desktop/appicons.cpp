// Writes the program's application icons, the window icon enlarged pixel
// for pixel, as <folder>/<n>x<n>/apps/ts4820fp.png in the layout of the
// desktop's icon theme.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>

#include <cstdio>

#include "frameicons.h"

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <icon folder>\n", argv[0]);
        return 2;
    }
    const QImage icon = frameicons::windowIcon().toImage();
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        // Whole multiples of the 16-pixel drawing stay sharp; 48 is 3 x 16.
        const QImage scaled = icon.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (!QDir().mkpath(folder) || !scaled.save(folder + QStringLiteral("/ts4820fp.png"))) {
            std::fprintf(stderr, "cannot write the icons into %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
