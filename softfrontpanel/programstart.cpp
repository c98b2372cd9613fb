#include "programstart.h"

#include <QApplication>
#include <QSplashScreen>
#include <QStyleFactory>

#include "ts1900fp_splashlabel.h"
#include "ts4820_spc.h"
#include "ts4820fp_app.h"

int runFrontPanel(int &argc, char **argv, const ProgramHooks &hooks)
{
    auto *app = new QApplication(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (hooks.applicationReady) {
        hooks.applicationReady(*app);
    }

    auto *adapter = new ts4820_spc;
    const ts1900fp_splashLabel picture(1.0, 20, adapter->model, false, adapter->copyrightText(),
                                       adapter->productDescription());
    auto *splash = new QSplashScreen(picture);
    splash->show();

    // The connection dialogue runs while the splash is still up.
    auto *window = new ts4820fp_App(adapter, nullptr);
    if (hooks.windowBuilt) {
        hooks.windowBuilt(*window);
    }

    window->show();
    splash->finish(window);
    delete splash;
    if (hooks.aboutToRun) {
        hooks.aboutToRun(*window);
    }
    app->exec();

    delete window;
    delete adapter;
    delete app;
    return 0;
}
