#include "qwtlicense.h"

qwtLicense::qwtLicense(QWidget *parent)
    : licenceViewer(tr("Qwt LGPL License"), QStringLiteral(":/qwt-lgpl-license.txt"), parent)
{}
