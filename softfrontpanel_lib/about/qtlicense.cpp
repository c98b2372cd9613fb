#include "qtlicense.h"

namespace {
bool isVersion4(const QString &runtimeVersion) { return runtimeVersion.startsWith(QLatin1Char('4')); }
} // namespace

qtLicense::qtLicense(QWidget *parent)
    : licenceViewer(tr("Qt LGPL License"), resourceFor(QString::fromLatin1(qVersion())), parent)
{}

QString qtLicense::resourceFor(const QString &runtimeVersion)
{
    return isVersion4(runtimeVersion) ? QStringLiteral(":/qt-lgpl-license.txt")
                                      : QStringLiteral(":/qt5-lgpl-license.txt");
}

QString qtLicense::linkTextFor(const QString &runtimeVersion)
{
    return isVersion4(runtimeVersion) ? QStringLiteral("LGPL v2.1") : QStringLiteral("LGPL v3");
}
