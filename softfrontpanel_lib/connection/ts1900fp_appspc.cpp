#include "ts1900fp_appspc.h"

#include <QPushButton>

#include <cstdio>
#include <cstdlib>

#include "demoidentity.h"
#include "ts1900fp_about.h"
#include "ts1900fp_genspc.h"
#include "ts1900fp_spcselect.h"

ts1900fp_AppSPC::ts1900fp_AppSPC(ts1900fp_genSPC *adapter, bool forcedDemo, const char *aboutText,
                                 bool aboutFlag, QWidget *parent)
    : ts1900fp_app(parent), spc(adapter)
{
    setModelText(spc->model);
    auto *select = new ts1900fp_spcSelect(spc);
    if (forcedDemo) {
        demo = 1;
    } else {
        select->setWindowIcon(windowIcon());
        centreOnScreen(select);
        if (select->selectModule() == 0) {
            // The operator gave up before any window was shown.
            std::fflush(stdout);
            std::_Exit(0);
        }
        demo = select->demo;
    }
    setDemoMode(demo != 0);
    if (!demo) {
        d_vi = select->vi;
        if (d_vi == 0) {
            openSession(select->descriptor);
        }
    }
    presentModule(forcedDemo);

    // Demo mode calls no driver function at all, not even for its revision.
    const QString driverRevision = demo ? QStringLiteral("Not used (DEMO)") : spc->driverRevision();
    auto *aboutBox = new ts1900fp_About(
        spc->softwareVersion().toLocal8Bit().constData(), driverRevision.toLocal8Bit().constData(),
        modelField(spc->model).toLocal8Bit().constData(), spc->copyrightText().toLocal8Bit().constData(),
        this, nullptr, aboutText, aboutFlag);
    aboutBox->setWindowIcon(windowIcon());
    m_aboutDialog = aboutBox;
    connect(m_aboutButton, &QPushButton::clicked, aboutBox, &QWidget::show);
    m_aboutButton->setEnabled(!forcedDemo);
    delete select;
}

ts1900fp_AppSPC::~ts1900fp_AppSPC()
{
    if (demo == 0) {
        spc->close(d_vi);
    }
}

ts1900fp_About *ts1900fp_AppSPC::about() const { return static_cast<ts1900fp_About *>(m_aboutDialog); }

void ts1900fp_AppSPC::openSession(const QString &descriptor)
{
    // The one call reported without a driver text: there is no session to
    // ask for one.
    const ViStatus status = spc->init(descriptor.toLatin1().constData(), VI_FALSE, VI_TRUE, &d_vi);
    if (status < 0) {
        showErrorMessage(QString::asprintf("Function Call failed due to [0x%08x]", unsigned(status)));
    } else if (status > 0) {
        showWarningMessage(QString::asprintf("Warning [0x%08x]", unsigned(status)));
    }
}

void ts1900fp_AppSPC::presentModule(bool forcedDemo)
{
    bool lxi = false;
    ViInt16 slot = 0;
    if (demo) {
        lxi = isLxiModel(spc->model);
        slot = 5;
    } else {
        ViUInt16 interfaceType = 0;
        viGetAttribute(d_vi, VI_ATTR_SLOT, &slot);
        viGetAttribute(d_vi, VI_ATTR_INTF_TYPE, &interfaceType);
        lxi = interfaceType == VI_INTF_TCPIP;
    }
    const QString title = QLatin1String("Xentra ") + modelText + QLatin1String(" Soft Front Panel");
    if (lxi) {
        QString host;
        if (forcedDemo) {
            host.clear();
        } else if (demo) {
            host = demoidentity::address();
        } else {
            char name[256] = {};
            viGetAttribute(d_vi, VI_ATTR_TCPIP_HOSTNAME, name);
            name[sizeof name - 1] = '\0';
            host = QString::fromLatin1(name);
        }
        setWindowTitle(title + QLatin1String(": ") + host);
        setModuleInfo(host, QStringLiteral("Shows which LXI module is connected to the Soft Front Panel"));
    } else {
        setWindowTitle(title);
        setModuleInfo(QStringLiteral("Slot %1").arg(slot),
                      QStringLiteral("Shows which VXI module is connected to the Soft Front Panel"));
    }
    setProductText(QLatin1String("<html>Xentra ") + modelText + QLatin1String("<br>")
                   + QLatin1String("<font size='2'>") + spc->productDescription()
                   + QLatin1String("</font></html>"));
    setLxiLogo(lxi);
}
