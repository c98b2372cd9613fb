#pragma once

#include "ts1900fp_app.h"
#include "visa.h"

class ts1900fp_About;
class ts1900fp_genSPC;

// The frame connected to a module: runs the connection dialogue when it is
// built, keeps the driver session (or the demo flag) for the whole run, and
// presents the chosen module in its title, module label, banner and logo.
class ts1900fp_AppSPC : public ts1900fp_app
{
    Q_OBJECT
public:
    // aboutText and aboutFlag are passed on to the About dialog as its Qwt
    // version and its KISS FFT flag.
    ts1900fp_AppSPC(ts1900fp_genSPC *adapter, bool forcedDemo = false, const char *aboutText = nullptr,
                    bool aboutFlag = false, QWidget *parent = nullptr);
    ~ts1900fp_AppSPC() override;

    ViSession d_vi = 0;
    qint32 demo = 0;
    ts1900fp_genSPC *spc;

    ts1900fp_About *about() const;

    // Models of the family that are LXI instruments.
    static bool isLxiModel(int model) { return model >= 4000 && model <= 4999; }

private:
    void openSession(const QString &descriptor);
    void presentModule(bool forcedDemo);
};
