#pragma once

#include "ts1900fp_genspc.h"

// The Xentra 4820's adapter: forwards to the ts4820 driver and supplies the
// product's texts.
class ts4820_spc : public ts1900fp_genSPC
{
public:
    ts4820_spc() = default;

    ViStatus init(const char *descriptor, ViBoolean idQuery, ViBoolean reset, ViSession *vi) override;
    ViStatus close(ViSession vi) override;
    QString softwareVersion() override;
    QString productDescription() override;
    QString driverRevision() override;
    QString copyrightText() override;
    QString secondVersionText() override;
};
