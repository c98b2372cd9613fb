// Renders the program's windows to PNG files for docs/screenshots, so the
// look can be checked by eye against the intended design.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QSettings>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QVBoxLayout>

#include <cstdio>

#include "alias.h"
#include "diagnostics.h"
#include "fakevisa.h"
#include "loadpresetdialog.h"
#include "managepresetsdialog.h"
#include "modalanswer.h"
#include "openclosedialog.h"
#include "qtlicense.h"
#include "relaybutton.h"
#include "relayexpression.h"
#include "savepresetdialog.h"
#include "schematic.h"
#include "settingsstore.h"
#include "ts1900fp_about.h"
#include "ts1900fp_app.h"
#include "ts1900fp_spcenteraddress.h"
#include "ts1900fp_spcselect.h"
#include "ts1900fp_splashlabel.h"
#include "ts4820_spc.h"
#include "ts4820fp_app.h"
#include "ts4820fp_demosubtypeselect.h"
#include "ts4820fp_devconfig.h"
#include "ts4820inst.h"

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
    frame.setProductText(QLatin1String("<html>Xentra ") + ts1900fp_app::modelText
                         + QLatin1String("<br><font size='2'>") + adapter.productDescription()
                         + QLatin1String("</font></html>"));
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
    schematic.loadVoltageChoices();
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

QPixmap shown(QWidget *widget)
{
    widget->show();
    QApplication::processEvents();
    const QPixmap picture = widget->grab();
    widget->hide();
    return picture;
}

// The main window in demo mode, started through its real start-up dialogs,
// with pending changes: closed relays, an opened one, a new VRef voltage.
std::unique_ptr<ts4820fp_App> demoWindow(ts4820_spc &adapter, int subtypeIndex)
{
    ModalAnswer answers(QList<ModalAnswer::Step>{{QStringLiteral("Run In Demo Mode"), nullptr},
                                                 {QStringLiteral("Ok"), [subtypeIndex](QWidget *dialog) {
                                                      dialog->findChild<QComboBox *>()->setCurrentIndex(
                                                          subtypeIndex);
                                                  }}});
    auto window = std::make_unique<ts4820fp_App>(&adapter, nullptr);
    Schematic *schematic = window->schematic;
    schematic->relayAt(0, 0)->click();
    schematic->relayAt(1, 2)->click();
    window->applyButton->click();
    window->instrument->storePreset(QStringLiteral("Bench-1"));
    window->refresh(false);
    schematic->relayAt(1, 2)->click();
    schematic->relayAt(2, 5)->click();
    schematic->vrefCombo->setCurrentIndex(3);
    QStringList names = window->instrument->getAliases();
    names[0] = QStringLiteral("DUT supply");
    schematic->setAliases(names);
    return window;
}

class Shooter
{
public:
    explicit Shooter(const QString &folder) : folder(folder) {}
    void take(const QPixmap &picture, const QString &name) { ok = save(picture, folder, name) && ok; }
    QString folder;
    bool ok = true;
};

void shootMainWindows(Shooter &shoot, ts4820_spc &adapter)
{
    const struct
    {
        int subtype;
        int scale;
        const char *name;
    } shots[] = {{0, 0, "main-96-75.png"},
                 {0, 3, "main-96-150.png"},
                 {1, 0, "main-192-75.png"},
                 {1, 3, "main-192-150.png"}};
    for (const auto &shot : shots) {
        auto window = demoWindow(adapter, shot.subtype);
        window->scaleCombo->setCurrentIndex(shot.scale);
        window->adjustSize();
        shoot.take(shown(window.get()), QLatin1String(shot.name));
    }
    // The VRef choice with its longest texts (seven decimals), pending, at
    // every scale: each shows whole, its frame clear of the caption.
    for (int scale = 0; scale < 4; ++scale) {
        auto window = demoWindow(adapter, 0);
        window->scaleCombo->setCurrentIndex(scale);
        window->schematic->vrefCombo->setCurrentText(QStringLiteral("+0.0045000"));
        window->adjustSize();
        window->show();
        window->findChild<QScrollArea *>()->ensureWidgetVisible(window->schematic->vrefCombo, 200, 20);
        shoot.take(shown(window.get()),
                   QStringLiteral("main-vref-%1.png").arg(window->scaleCombo->currentText().chopped(1)));
    }
}

void shootDialogs(Shooter &shoot, ts4820_spc &adapter)
{
    auto window = demoWindow(adapter, 0);
    window->show();
    window->ocDialog->expression()->setText(QStringLiteral("X1-4,Y1,Y6"));
    shoot.take(shown(window->ocDialog), QStringLiteral("dialog-open-close.png"));
    shoot.take(shown(window->loadDialog), QStringLiteral("dialog-load-preset.png"));
    shoot.take(shown(window->saveDialog), QStringLiteral("dialog-save-preset.png"));
    shoot.take(shown(window->manageDialog), QStringLiteral("dialog-manage-presets.png"));
    shoot.take(shown(window->devConfig), QStringLiteral("dialog-device-status.png"));
    shoot.take(shown(window->about()), QStringLiteral("dialog-about.png"));
    qtLicense licence(window->about());
    shoot.take(shown(&licence), QStringLiteral("dialog-qt-licence.png"));
    window->hide();

    ts4820fp_demoSubtypeSelect subtype;
    subtype.setWindowTitle(QStringLiteral("Xentra 4820"));
    shoot.take(shown(&subtype), QStringLiteral("dialog-demo-subtype.png"));
    ts1900fp_spcEnterAddress enterAddress(&adapter);
    enterAddress.loadHistory();
    shoot.take(shown(&enterAddress), QStringLiteral("dialog-enter-address.png"));
}

// The connection question and the module tree over simulated resources.
void shootConnection(Shooter &shoot, ts4820_spc &adapter)
{
    const char *const units[][3] = {{"TCPIP0::10.0.0.9::INSTR", "lab-rack-1", "4820-AB"},
                                    {"TCPIP0::10.0.0.10::INSTR", "lab-rack-2", "4820-AA"},
                                    {"TCPIP0::10.0.0.12::INSTR", "scope-3", "4830-BA"}};
    for (const auto &unit : units) {
        fake::VisaResource resource;
        resource.descriptor = QLatin1String(unit[0]);
        resource.attributes.host = QLatin1String(unit[1]);
        resource.idnReply = QByteArray("Tarsel Ltd.,Xentra ") + unit[2] + ",1,1";
        fake::visa().resources << resource;
    }
    fake::VisaResource vxi;
    vxi.descriptor = QStringLiteral("VXI0::5::INSTR");
    vxi.attributes.intfType = VI_INTF_VXI;
    fake::visa().resources << vxi;

    ts1900fp_spcSelect select(&adapter);
    QPixmap question;
    ModalAnswer cancel(
        QList<ModalAnswer::Step>{{QStringLiteral("Cancel"), [&](QWidget *box) { question = box->grab(); }}});
    select.selectModule();
    shoot.take(question, QStringLiteral("dialog-connect.png"));
    select.findModules();
    shoot.take(shown(&select), QStringLiteral("dialog-select-module.png"));
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

    Shooter shoot(folder);
    shootMainWindows(shoot, adapter);
    shootDialogs(shoot, adapter);
    shootConnection(shoot, adapter);
    return ok && shoot.ok ? 0 : 1;
}
