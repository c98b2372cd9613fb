// The whole program against simulated units over the network: our driver
// and VISA, real windows, and every effect checked on the unit's side.
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidget>

#include "alias.h"
#include "loadpresetdialog.h"
#include "managepresetsdialog.h"
#include "modalanswer.h"
#include "panelsim.h"
#include "relaybutton.h"
#include "savepresetdialog.h"
#include "schematic.h"
#include "settingsstore.h"
#include "simprocess.h"
#include "testenv.h"
#include "ts1900fp_about.h"
#include "ts1900fp_led.h"
#include "ts4820_spc.h"
#include "ts4820fp_app.h"
#include "ts4820fp_devconfig.h"
#include "ts4820inst.h"

#include <csignal>

namespace {

// Every unit of this test serves its portmapper on this port of its own
// loopback address (127.0.0.50 to 127.0.0.59), so no privileges are needed.
constexpr quint16 kPortmapper = 1111;

QStringList treeRows(QTreeWidget *tree)
{
    QStringList rows;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        const QTreeWidgetItem *i = *it;
        if (i->parent()) {
            rows << i->text(0) + " | " + i->text(2) + (i->flags().testFlag(Qt::ItemIsSelectable) ? " *" : "");
        }
    }
    return rows;
}

void renameLine(Alias *alias, const QString &name)
{
    QTest::mouseClick(alias, Qt::LeftButton);
    alias->editor()->setText(name);
    QTest::keyClick(alias->editor(), Qt::Key_Return);
}

} // namespace

class TestProgramSim : public QObject
{
    Q_OBJECT

public slots:
    void urlOpened(const QUrl &url) { openedUrls << url; }

private:
    QList<QUrl> openedUrls;

private slots:
    void init()
    {
        QSettings(settingsstore::organisation(), settingsstore::application()).clear();
        qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(kPortmapper));
        qputenv("TS4820_VISA_CONFIG", QFile::encodeName(testenv::root() + "/no-visa.conf"));
    }

    void autoFindOpensTheOnlyUnit();
    void treeListsUnitsAndOtherModels();
    void operatorWorkReachesTheUnit();
    void unitLostMidSessionThenBackAfterRefresh();
};

void TestProgramSim::autoFindOpensTheOnlyUnit()
{
    SimProcess unit("127.0.0.50", {"--subtype", "AB", "--serial", "48209481"}, kPortmapper);
    QVERIFY2(unit.running(), qPrintable(unit.banner));
    // A listed resource where nothing answers neither shows nor stalls.
    listResources({"TCPIP0::127.0.0.59::INSTR", unit.instr()});
    ts4820_spc adapter;
    auto window = autoFind(adapter);
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("Xentra 4820 Soft Front Panel: 127.0.0.50"));
    QCOMPARE(window->findChild<ts1900fp_led *>()->state(), 1);
    QCOMPARE(window->instrument->nRows, 192);
    QCOMPARE(window->about()->serialNumberLabel()->text(), QStringLiteral("48209481"));
    QCOMPARE(window->about()->revisionLabel()->text(), QStringLiteral("2.1.0 (Product: 1.2.0)"));
    QCOMPARE(window->about()->modelLabel()->text(), QStringLiteral("4820-AB"));
    QCOMPARE(window->schematic->vrefCombo->count(), 17);
}

void TestProgramSim::treeListsUnitsAndOtherModels()
{
    SimProcess first("127.0.0.51", {"--subtype", "AA"}, kPortmapper);
    SimProcess second("127.0.0.52", {"--subtype", "BB", "--no-vref"}, kPortmapper);
    SimProcess other("127.0.0.53", {"--idn", "Other Corp,Meter 9,1,1.0"}, kPortmapper);
    QVERIFY(first.running() && second.running() && other.running());
    listResources({first.instr(), "TCPIP0::127.0.0.58::INSTR", other.instr(), second.instr()});
    ts4820_spc adapter;
    QStringList rows;
    auto window = autoFind(adapter, {{QStringLiteral("OK"), [&](QWidget *dialog) {
                                          auto *tree = dialog->findChild<QTreeWidget *>();
                                          rows = treeRows(tree);
                                          tree->setCurrentItem(tree->findItems(
                                              "127.0.0.52", Qt::MatchExactly | Qt::MatchRecursive)[0]);
                                      }}});
    QVERIFY(window);
    QCOMPARE(rows,
             (QStringList{"127.0.0.51 | 4820-AA LXI *", "127.0.0.52 | 4820-BB LXI *", "127.0.0.53 | LXI"}));
    QCOMPARE(window->windowTitle(), QStringLiteral("Xentra 4820 Soft Front Panel: 127.0.0.52"));
    QCOMPARE(window->instrument->nRows, 192);
    QCOMPARE(window->schematic->vrefCombo->itemText(0), QStringLiteral("External"));
}

void TestProgramSim::operatorWorkReachesTheUnit()
{
    QTemporaryDir state;
    SimProcess unit("127.0.0.54", {"--subtype", "AA", "--state", state.path()}, kPortmapper);
    QVERIFY2(unit.running(), qPrintable(unit.banner));
    listResources({unit.instr()});
    ts4820_spc adapter;
    auto window = autoFind(adapter);
    QVERIFY(window);
    Probe probe(unit);
    Schematic *schematic = window->schematic;

    // Relays, a line name, the voltage and a bus link, then Apply.
    schematic->relayAt(2, 0)->click(); // X3
    schematic->relayAt(2, 1)->click(); // A3 (columns: X, A, B, C, D, Y)
    renameLine(schematic->aliasWidgets.at(2), QStringLiteral("Sense+"));
    schematic->vrefCombo->setCurrentIndex(3);
    schematic->vrefRelay(0)->click();
    QCOMPARE(probe.query("ROUT:MATR?"), words(18)); // nothing sent before Apply
    window->applyButton->click();
    QCOMPARE(probe.query("ROUT:MATR?"), words(18, {{0, 4}, {6, 4}}));
    QCOMPARE(probe.query("ROUT:ALI:CAT?"), QByteArray("#19X3=Sense+"));
    QCOMPARE(probe.query("SOUR:VOLT?"), QByteArray("4.5"));
    QCOMPARE(probe.query("SOUR:VOLT:LINK? A"), QByteArray("1"));
    QVERIFY(!window->applyButton->isEnabled());

    // Undo takes back what was not sent; Refresh shows the unit's changes.
    schematic->relayAt(7, 1)->click();
    window->undoButton->click();
    probe.command("ROUT:ALI Y5,\"ext\"");
    window->refreshButton->click();
    QCOMPARE(schematic->aliasWidgets.at(96 + 4)->text(), QStringLiteral("ext"));
    QVERIFY(!schematic->relayAt(7, 1)->isChecked());
    QCOMPARE(probe.query("ROUT:MATR?"), words(18, {{0, 4}, {6, 4}}));

    emit window->identToggled(true);
    QCOMPARE(probe.query("SYST:IDEN?"), QByteArray("1"));

    // Presets: saved on the unit, loaded back over a change.
    ModalAnswer save(QList<ModalAnswer::Step>{{QStringLiteral("Save"), [](QWidget *dialog) {
                                                   dialog->findChild<QComboBox *>()->setEditText(
                                                       QStringLiteral("Bench-1"));
                                               }}});
    window->saveDialog->exec();
    QVERIFY2(save.done(), qPrintable(save.error()));
    QCOMPARE(probe.query("MEM:PRES:CAT?"), QByteArray("#17Bench-1"));
    QCOMPARE(probe.query("MEM:PRES:CURR?"), QByteArray("\"Bench-1\""));
    schematic->relayAt(2, 0)->click();
    window->applyButton->click();
    QCOMPARE(probe.query("MEM:PRES:CURR?"), QByteArray("\"Bench-1*\""));
    QCOMPARE(window->presetLabel->text(), QStringLiteral("Bench-1 <i>(preset not saved)</i>"));
    ModalAnswer load(QStringLiteral("Load"));
    window->loadDialog->exec();
    QVERIFY2(load.done(), qPrintable(load.error()));
    QCOMPARE(probe.query("ROUT:MATR?"), words(18, {{0, 4}, {6, 4}}));
    QVERIFY(schematic->relayAt(2, 0)->isChecked());

    // Download to a file, delete on the unit, upload the file again.
    const QString folder = testenv::root() + QStringLiteral("/downloads");
    QDir().mkpath(folder);
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "urlOpened");
    managePresetsDialog::chooseFolder = [&](QWidget *) { return folder; };
    managePresetsDialog::chooseFiles = [&](QWidget *) { return QStringList{folder + "/Bench-1.prs"}; };
    const QByteArray stored = probe.query("MEM:PRES:DATA? \"Bench-1\"");
    QByteArray afterDelete = "not deleted";
    ModalAnswer manage(
        QList<ModalAnswer::Step>{{QStringLiteral("Close"), [&](QWidget *dialog) {
                                      dialog->findChild<QListWidget *>()->selectAll();
                                      buttonNamed(dialog, QStringLiteral("Save to File"))->click();
                                      ModalAnswer confirm(QStringLiteral("Yes"));
                                      buttonNamed(dialog, QStringLiteral("Delete"))->click();
                                      afterDelete = probe.query("MEM:PRES:COUN?");
                                      buttonNamed(dialog, QStringLiteral("Load from File"))->click();
                                  }}});
    window->manageDialog->exec();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QVERIFY2(manage.done(), qPrintable(manage.error()));
    QFile file(folder + "/Bench-1.prs");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE("#3" + QByteArray::number(file.size()) + file.readAll(), stored);
    QCOMPARE(afterDelete, QByteArray("0"));
    QCOMPARE(probe.query("MEM:PRES:DATA? \"Bench-1\""), stored);

    // Device information and the web address, as the unit reports them.
    window->devConfig->loadDevInfo();
    QCOMPARE(window->devConfig->field(ts4820fp_devConfig::SerialNumber)->text(), QStringLiteral("48200036"));
    QCOMPARE(window->devConfig->field(ts4820fp_devConfig::IpAddress)->text(), QStringLiteral("127.0.0.54"));
    QCOMPARE(window->devConfig->field(ts4820fp_devConfig::HostName)->text(),
             QStringLiteral("xentra-48200036"));
    QCOMPARE(window->devConfig->field(ts4820fp_devConfig::Model)->text(), QStringLiteral("4820-AA"));
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "urlOpened");
    window->devConfig->openWebInterface();
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(openedUrls.last(), QUrl("http://xentra-48200036"));

    // Reset: the unit opens everything and forgets the preset in use.
    ModalAnswer reset(QStringLiteral("Yes"));
    emit window->resetPressed();
    QVERIFY2(reset.done(), qPrintable(reset.error()));
    QCOMPARE(probe.query("ROUT:MATR?"), words(18));
    QCOMPARE(probe.query("MEM:PRES:CURR?"), QByteArray("\"\""));
    QVERIFY(!schematic->relayAt(2, 0)->isChecked());
}

void TestProgramSim::unitLostMidSessionThenBackAfterRefresh()
{
    SimProcess unit("127.0.0.55", {"--subtype", "AA"}, kPortmapper);
    QVERIFY2(unit.running(), qPrintable(unit.banner));
    listResources({unit.instr()});
    ts4820_spc adapter;
    auto window = autoFind(adapter);
    QVERIFY(window);
    QCOMPARE(unit.stop(SIGKILL), -SIGKILL);

    // Every failing call has its box with the driver's text; "No" goes on.
    window->schematic->relayAt(0, 0)->click();
    {
        ModalAnswer boxes(QStringList(40, QStringLiteral("No")), 3000);
        window->applyButton->click();
        QVERIFY(boxes.answered() > 0);
        for (const BoxReport &box : boxes.reports()) {
            QCOMPARE(box.icon, QMessageBox::Critical);
            QVERIFY2(
                QRegularExpression("^ts4820_\\w+\\(.*\\) failed due to \\[[^]]+\\]\nDo you want to exit\\?$")
                    .match(box.text)
                    .hasMatch(),
                qPrintable(box.text));
        }
        QCOMPARE(boxes.report(0).text.left(22), QStringLiteral("ts4820_setMatrixState("));
    }

    // The unit comes back where it was; Refresh uses it again.
    QVERIFY(unit.restart());
    Probe(unit).command("ROUT:ALI X1,\"back\"");
    {
        ModalAnswer none(QStringList{QStringLiteral("No")}, 1000);
        window->refreshButton->click();
        QCOMPARE(none.answered(), 0);
    }
    QCOMPARE(window->schematic->aliasWidgets.at(0)->text(), QStringLiteral("back"));
    window->schematic->relayAt(0, 1)->click();
    window->applyButton->click();
    QCOMPARE(Probe(unit).query("ROUT:MATR?"), words(18, {{6, 1}}));
}

TS_TEST_MAIN(TestProgramSim)
#include "test_program_sim.moc"
