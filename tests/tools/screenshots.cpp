// Renders the program's windows to PNG files for docs/screenshots, so the
// look can be checked by eye against the intended design.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QStyleFactory>
#include <QVBoxLayout>

#include <cstdio>

#include "ts1900fp_app.h"
#include "ts1900fp_splashlabel.h"
#include "ts4820_spc.h"

namespace {

bool save(const QPixmap &picture, const QString &folder, const QString &name)
{
    const QString path = folder + QLatin1Char('/') + name;
    const bool ok = picture.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

QPixmap frameShot(ts4820_spc &adapter)
{
    ts1900fp_app frame;
    frame.setWindowTitle(QStringLiteral("Xentra 4820 Soft Front Panel: 192.168.250.20"));
    frame.setProductText(QLatin1String("<html>Xentra ") + ts1900fp_app::modelText +
                         QLatin1String("<br><font size='2'>") + adapter.productDescription() +
                         QLatin1String("</font></html>"));
    frame.setModuleInfo(QStringLiteral("192.168.250.20"), QString());
    frame.setLxiLogo(true);
    frame.setDemoMode(false);
    frame.showIdentify(true);
    auto *content = new QVBoxLayout;
    auto *placeholder = new QLabel(QStringLiteral("(product content)"));
    placeholder->setMinimumSize(600, 420);
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setStyleSheet(QStringLiteral("QLabel { background-color: #eeeeee; }"));
    content->addWidget(placeholder);
    frame.setPanelLayout(content);
    frame.show();
    QApplication::processEvents();
    return frame.grab();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);

    ts4820_spc adapter;
    ts1900fp_app::setModelText(adapter.model);
    bool ok = save(ts1900fp_splashLabel(1.0, 20, adapter.model, false, adapter.copyrightText(),
                                        adapter.productDescription()),
                   folder, QStringLiteral("splash.png"));
    ok = save(frameShot(adapter), folder, QStringLiteral("frame.png")) && ok;
    return ok ? 0 : 1;
}
