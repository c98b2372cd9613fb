#pragma once

#include "licenceviewer.h"

// The KISS FFT library's licence, shown by panels that compute spectra.
class kissFFTLicense : public licenceViewer
{
    Q_OBJECT
public:
    explicit kissFFTLicense(QWidget *parent = nullptr);
};
