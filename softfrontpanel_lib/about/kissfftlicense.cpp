#include "kissfftlicense.h"

kissFFTLicense::kissFFTLicense(QWidget *parent)
    : licenceViewer(tr("KISS FFT BSD License"), QStringLiteral(":/kiss-fft-bsd-license.txt"), parent)
{}
