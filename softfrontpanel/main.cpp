#include <QApplication>
#include <QSplashScreen>
#include <QStyleFactory>

#include "ts1900fp_app.h"
#include "ts1900fp_splashlabel.h"
#include "ts4820_spc.h"

int main(int argc, char *argv[])
{
    auto *app = new QApplication(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    auto *adapter = new ts4820_spc;
    const ts1900fp_splashLabel picture(1.0, 20, adapter->model, false,
                                       adapter->copyrightText(),
                                       adapter->productDescription());
    auto *splash = new QSplashScreen(picture);
    splash->show();

    // Until the connection dialogue exists the frame opens directly, in demo
    // presentation.
    ts1900fp_app::setModelText(adapter->model);
    auto *window = new ts1900fp_app;
    window->setWindowTitle(QLatin1String("Xentra ") + ts1900fp_app::modelText +
                           QLatin1String(" Soft Front Panel"));
    window->setProductText(QLatin1String("<html>Xentra ") + ts1900fp_app::modelText +
                           QLatin1String("<br><font size='2'>") + adapter->productDescription() +
                           QLatin1String("</font></html>"));
    window->setDemoMode(true);

    window->show();
    splash->finish(window);
    delete splash;
    app->exec();

    delete window;
    delete adapter;
    delete app;
    return 0;
}
