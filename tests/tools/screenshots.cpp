// Renders the program's windows to PNG files for docs/screenshots, so the
// look can be checked by eye against the intended design.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QStyleFactory>
#include <QVBoxLayout>

#include <QComboBox>
#include <QEnterEvent>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>

#include "alias.h"
#include "diagnostics.h"
#include "relaybutton.h"
#include "relayexpression.h"
#include "schematic.h"
#include "settingsstore.h"
#include "ts1900fp_app.h"
#include "ts4820inst.h"
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

// A 96-row demo schematic with pending changes (yellow frames), relays
// marked by an expression (red), one hovered relay (blue) and line names.
QPixmap schematicShot(double scale)
{
    ts4820inst model(0, true, 96, QStringLiteral("AA"));
    model.setDemoVoltRef();
    model.readState();
    model.setState(0, 0, 1);
    model.setState(2, 3, 1);
    model.setState(-1, 1, 1);
    Schematic schematic(&model, nullptr);
    const bool blocked = schematic.vrefCombo->blockSignals(true);
    for (int i = 0; i < model.voltRef.n; ++i) {
        schematic.vrefCombo->addItem(QString::asprintf("%+.7f", model.voltRef.voltages[i]));
    }
    schematic.vrefCombo->blockSignals(blocked);
    schematic.loadPattern(model.matrixState.last().constData());
    schematic.setScale(scale);
    QStringList names = model.getAliases();
    names[0] = QStringLiteral("DUT supply");
    names[96] = QStringLiteral("Scope ch1");
    names[2 * 96 + 1] = QStringLiteral("Sense");
    schematic.setAliases(names);

    schematic.relayAt(1, 0)->click();        // closed, not yet applied
    schematic.relayAt(2, 3)->click();        // opened, not yet applied
    schematic.vrefCombo->setCurrentIndex(3); // +4.5 V pending
    showRelayExpression(schematic, QStringLiteral("Y1-3,B3"));
    RelayButton *hovered = schematic.relayAt(3, 4);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(hovered, &enter);
    schematic.show();
    QApplication::processEvents();
    return schematic.grab(QRect(0, 0, schematic.width(), int(330 * scale)));
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QSettings(settingsstore::organisation(), settingsstore::application()).clear();
    diagnosticsEnabled() = false;
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);

    ts4820_spc adapter;
    ts1900fp_app::setModelText(adapter.model);
    bool ok = save(ts1900fp_splashLabel(1.0, 20, adapter.model, false, adapter.copyrightText(),
                                        adapter.productDescription()),
                   folder, QStringLiteral("splash.png"));
    ok = save(frameShot(adapter), folder, QStringLiteral("frame.png")) && ok;
    ok = save(schematicShot(0.75), folder, QStringLiteral("schematic-75.png")) && ok;
    ok = save(schematicShot(1.5), folder, QStringLiteral("schematic-150.png")) && ok;
    return ok ? 0 : 1;
}
