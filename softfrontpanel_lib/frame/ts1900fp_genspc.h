#pragma once

#include <QString>

#include "visa.h"

// The instrument adapter: everything product-specific that the common
// front-panel library needs (model number, texts, opening and closing a
// driver session) goes through one object of this kind.
class ts1900fp_genSPC
{
public:
    ts1900fp_genSPC() = default;
    virtual ~ts1900fp_genSPC() = default;

    virtual ViStatus init(const char *descriptor, ViBoolean idQuery, ViBoolean reset, ViSession *vi) = 0;
    virtual ViStatus close(ViSession vi) = 0;
    virtual QString softwareVersion() = 0;
    virtual QString productDescription() = 0;
    virtual QString driverRevision() = 0;
    virtual QString copyrightText() = 0;
    virtual QString secondVersionText() = 0;

    qint32 model = 4820;
};
