#pragma once

#include "licenceviewer.h"

// The toolkit's licence: LGPL v2.1 for a version-4 run time, v3 after it.
class qtLicense : public licenceViewer
{
    Q_OBJECT
public:
    explicit qtLicense(QWidget *parent = nullptr);

    // Both follow the toolkit version found at run time, not the one built against.
    static QString resourceFor(const QString &runtimeVersion);
    static QString linkTextFor(const QString &runtimeVersion);
};
