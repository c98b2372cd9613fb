#pragma once

#include "licenceviewer.h"

// The Qwt plotting library's licence, shown by panels that draw plots.
class qwtLicense : public licenceViewer
{
    Q_OBJECT
public:
    explicit qwtLicense(QWidget *parent = nullptr);
};
