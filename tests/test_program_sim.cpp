// The whole program against simulated units over the network: our driver
// and VISA, real windows, every effect checked on the unit's side, and
// units that misbehave on purpose, each fault with the boxes it shows, what
// the unit holds afterwards, and that work goes on.
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
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
#include "testenv.h"
#include "ts1900fp_about.h"
#include "ts4820_spc.h"
#include "ts4820fp_app.h"
#include "ts4820inst.h"

#include <csignal>

namespace {

// Every unit of this test serves its portmapper on this port of its own
// loopback address (127.0.0.50 to 127.0.0.59), so no privileges are needed.
constexpr quint16 kPortmapper = 1111;

// The tree's rows as "host | model text", "*" for the choosable ones, into
// `rows`; then "OK" on the row of `host`.
ModalAnswer::Step chooseInTree(QStringList *rows, const QString &host)
{
    return {QStringLiteral("OK"), [rows, host](QWidget *dialog) {
                auto *tree = dialog->findChild<QTreeWidget *>();
                for (QTreeWidgetItemIterator it(tree); *it; ++it) {
                    const QTreeWidgetItem *i = *it;
                    if (i->parent()) {
                        *rows << i->text(0) + " | " + i->text(2)
                                     + (i->flags().testFlag(Qt::ItemIsSelectable) ? " *" : "");
                    }
                }
                tree->setCurrentItem(tree->findItems(host, Qt::MatchExactly | Qt::MatchRecursive)[0]);
            }};
}

enum Action { StartUp, Apply, RenameLine, Identify, SavePreset, UploadPreset };

const QString kError = QStringLiteral("Xentra 4820 SFP Error message|");

// The message boxes among the answered widgets. A spare answer meant for a
// box too many may meet a dialog still busy after its box (a slow unit, a
// sanitized build): that is no box shown.
QStringList shown(const QList<BoxReport> &reports)
{
    QStringList texts;
    for (const BoxReport &box : reports) {
        if (box.className == QLatin1String("QMessageBox")) {
            texts << box.title + "|" + box.text;
        }
    }
    return texts;
}

// Error boxes answered "No" (go on) while run() runs; what they showed.
template <typename Run>
QStringList errorBoxes(Run run)
{
    ModalAnswer boxes(QStringList(6, QStringLiteral("No")), 8000);
    run();
    return shown(boxes.reports());
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
        qputenv("TS4820_VISA_DISCOVER", "off"); // no search beyond loopback
        QSettings(settingsstore::organisation(), settingsstore::application()).clear();
        qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(kPortmapper));
        qputenv("TS4820_VISA_CONFIG", QFile::encodeName(testenv::root() + "/no-visa.conf"));
    }

    void treeListsWhatAnswersWhateverTheOthersDo();
    void operatorWorkReachesTheUnit();
    void autoFindOffersTheUnitsTheNetworkHas();
    void faultShowsItsBoxAndWorkGoesOn_data();
    void faultShowsItsBoxAndWorkGoesOn();
};

// Other models, a unit that drops the connection at "*IDN?", one that
// accepts connections and never answers (stopped) and an address where
// nothing listens: the search still ends, with the units choosable.
void TestProgramSim::treeListsWhatAnswersWhateverTheOthersDo()
{
    SimProcess first("127.0.0.51", {"--subtype", "AA"}, kPortmapper);
    SimProcess second("127.0.0.52", {"--subtype", "BB", "--no-vref"}, kPortmapper);
    SimProcess other("127.0.0.53", {"--idn", "Other Corp,Meter 9,1,1.0"}, kPortmapper);
    SimProcess dropping("127.0.0.56", {"--drop-on", "*IDN?"}, kPortmapper);
    SimProcess hung("127.0.0.57", {}, kPortmapper);
    QVERIFY(first.running() && second.running() && other.running() && dropping.running() && hung.running());
    QCOMPARE(::kill(hung.process.processId(), SIGSTOP), 0);
    listResources({hung.instr(), first.instr(), "TCPIP0::127.0.0.58::INSTR", other.instr(), dropping.instr(),
                   second.instr()});
    ts4820_spc adapter;
    QStringList rows;
    auto window = autoFind(adapter, {chooseInTree(&rows, "127.0.0.52")});
    ::kill(hung.process.processId(), SIGCONT);
    QVERIFY(window);
    QCOMPARE(rows, (QStringList{"127.0.0.51 | 4820-AA LXI *", "127.0.0.52 | 4820-BB LXI *",
                                "127.0.0.53 | LXI", "127.0.0.56 | LXI"}));
    QCOMPARE(window->windowTitle(), QStringLiteral("Xentra 4820 Soft Front Panel: 127.0.0.52"));
    QCOMPARE(window->instrument->nRows, 192);
    QCOMPARE(window->schematic->vrefCombo->itemText(0), QStringLiteral("External"));
}

void TestProgramSim::operatorWorkReachesTheUnit()
{
    QTemporaryDir state;
    SimProcess unit("127.0.0.54", {"--subtype", "AA", "--serial", "48209481", "--state", state.path()},
                    kPortmapper);
    QVERIFY2(unit.running(), qPrintable(unit.banner));
    // A listed resource where nothing answers neither shows nor stalls: the
    // only unit opens at once.
    listResources({"TCPIP0::127.0.0.58::INSTR", unit.instr()});
    ts4820_spc adapter;
    auto window = autoFind(adapter);
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("Xentra 4820 Soft Front Panel: 127.0.0.54"));
    QCOMPARE(window->instrument->nRows, 96);
    QCOMPARE(window->about()->serialNumberLabel()->text(), QStringLiteral("48209481"));
    QCOMPARE(window->about()->revisionLabel()->text(), QStringLiteral("2.1.0 (Product: 1.2.0)"));
    QCOMPARE(window->about()->modelLabel()->text(), QStringLiteral("4820-AA"));
    UnitClient probe(unit);
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
    ModalAnswer save({ModalAnswer::typed("Bench-1", "Save")});
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
    QCOMPARE(openedUrls, QList<QUrl>{QUrl::fromLocalFile(folder)}); // the download's folder
    QCOMPARE(probe.query("MEM:PRES:DATA? \"Bench-1\""), stored);

    // Reset: the unit opens everything and forgets the preset in use.
    ModalAnswer reset(QStringLiteral("Yes"));
    emit window->resetPressed();
    QVERIFY2(reset.done(), qPrintable(reset.error()));
    QCOMPARE(probe.query("ROUT:MATR?"), words(18));
    QCOMPARE(probe.query("MEM:PRES:CURR?"), QByteArray("\"\""));
    QVERIFY(!schematic->relayAt(2, 0)->isChecked());
}

// Nothing configured: the units that answer on the network are offered.
// Run by tests/discovery/discovery.py in the client's network namespace.
void TestProgramSim::autoFindOffersTheUnitsTheNetworkHas()
{
    const QStringList units = qEnvironmentVariable("TS4820_NETWORK_UNITS").split(' ', Qt::SkipEmptyParts);
    if (units.isEmpty()) {
        QSKIP("runs in a network namespace of the discovery test (TS4820_NETWORK_UNITS names the units)");
    }
    qunsetenv("TS4820_VISA_DISCOVER");
    qunsetenv("TS4820_VISA_PORTMAPPER_PORT");
    ts4820_spc adapter;
    QStringList rows;
    auto window = autoFind(adapter, {chooseInTree(&rows, units.last())});
    QVERIFY(window);
    QCOMPARE(rows, QStringList(units).replaceInStrings(QRegularExpression("$"), " | 4820-AB LXI *"));
    QCOMPARE(window->windowTitle(), "Xentra 4820 Soft Front Panel: " + units.last());
}

void TestProgramSim::faultShowsItsBoxAndWorkGoesOn_data()
{
    QTest::addColumn<QStringList>("fault");
    QTest::addColumn<int>("action");
    QTest::addColumn<QStringList>("boxes");      // at start-up, then from the action
    QTest::addColumn<QByteArrayList>("queries"); // then the unit holds
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("firstLine"); // and the panel shows as X1's name

    // The error box of a failed call, with the driver's text for why.
    const auto error = [](const QString &call, const QString &why) {
        return kError + call + " failed due to [" + why + "]\nDo you want to exit?";
    };
    const QString relays = "ts4820_setMatrixState(d_vi, (ViInt32*)pattern)",
                  matrix = "ts4820_getMatrixState(d_vi, (ViInt32*)pattern)",
                  lost = "VI_ERROR_CONN_LOST: The connection to the device was lost.",
                  systemError = "Instrument reported an error: -310,\"System error\"",
                  malformed = "The instrument sent a reply that could not be understood.";
    const QByteArray nothingClosed = words(18);
    QTest::newRow("error on the relays: the voltage is still set")
        << QStringList{"--fail", "ROUT:MATR=-222"} << int(Apply)
        << QStringList{error(relays, "Instrument reported an error: -222,\"Data out of range\"")}
        << QByteArrayList{"SOUR:VOLT?", "ROUT:MATR?"} << "4.5;" + nothingClosed << "first";
    QTest::newRow("connection dropped at the relays: the rest of Apply reconnects")
        << QStringList{"--drop-on", "ROUT:MATR"} << int(Apply) << QStringList{error(relays, lost)}
        << QByteArrayList{"SOUR:VOLT?", "ROUT:MATR?"} << "4.5;" + nothingClosed << "first";
    QTest::newRow("error on a line name")
        << QStringList{"--fail", "ROUT:ALI=-310"} << int(RenameLine)
        << QStringList{error("ts4820_setAlias(d_vi, COL_MAGIC[col]+1, row+1, txt.toAscii().data())",
                             systemError)}
        << QByteArrayList{"ROUT:ALI:CAT?"} << QByteArray("#10") << "";
    QTest::newRow("error on identify, also when it is switched off at the start")
        << QStringList{"--fail", "SYST:IDEN=-310"} << int(Identify)
        << QStringList{error("ts4820_identify(d_vi, VI_FALSE)", systemError),
                       error("ts4820_identify(d_vi, state)", systemError)}
        << QByteArrayList{"SYST:IDEN?"} << QByteArray("0") << "first";
    QTest::newRow("unit out of preset memory")
        << QStringList{"--fail", "MEM:PRES:STOR=-225"} << int(SavePreset)
        << QStringList{error("ts4820_storePreset(d_vi, name.toAscii().data())",
                             "Instrument reported an error: -225,\"Out of memory\"")}
        << QByteArrayList{"MEM:PRES:CAT?"} << QByteArray("#10") << "first";
    QTest::newRow("connection dropped during a preset upload")
        << QStringList{"--drop-on", "MEM:PRES:DATA"} << int(UploadPreset)
        << QStringList{error("ts4820_loadPresetFromFile(d_vi, path.toLocal8Bit().data())", lost)}
        << QByteArrayList{"MEM:PRES:CAT?"} << QByteArray("#10") << "first";
    QTest::newRow("relays answered later than the time-out: the next replies are the right ones")
        << QStringList{"--slow", "ROUT:MATR?=4500"} << int(StartUp)
        << QStringList{error(matrix, "VI_ERROR_TMO: The time-out expired before the operation completed.")}
        << QByteArrayList{} << QByteArray() << "first";
    QTest::newRow("malformed relays")
        << QStringList{"--malformed", "ROUT:MATR?"} << int(StartUp) << QStringList{error(matrix, malformed)}
        << QByteArrayList{"SOUR:VOLT?"} << QByteArray("0") << "first";
    QTest::newRow("names longer than the driver's buffer: a warning, the names cut")
        << QStringList{"--oversized", "ROUT:ALI:CAT?=70000"} << int(StartUp)
        << QStringList{"Xentra 4820 SFP Warning message|Warning: [The reply did not fit the buffer and was cut.]"}
        << QByteArrayList{"ROUT:MATR?"} << nothingClosed << "firstWWWW";
}

void TestProgramSim::faultShowsItsBoxAndWorkGoesOn()
{
    QFETCH(QStringList, fault);
    QFETCH(int, action);
    QFETCH(QStringList, boxes);
    QFETCH(QByteArrayList, queries);
    QFETCH(QByteArray, reply);
    QFETCH(QString, firstLine);
    QTemporaryDir state;
    SimProcess unit("127.0.0.59", QStringList{"--subtype", "AA", "--state", state.path()} + fault,
                    kPortmapper);
    QVERIFY2(unit.running(), qPrintable(unit.banner));
    listResources({unit.instr()});
    UnitClient probe(unit);
    probe.command("ROUT:ALI X1,\"first\"");

    // A preset file as the unit gives it, to be uploaded again.
    const QString file = testenv::root() + "/upload/P1.prs";
    const QByteArray presetData =
        "configname=P1\nmainrelays=" + words(18) + "\nvrefvolt=0.000000\nvrefrelays=0\n==alias==\nX1=first";
    QDir().mkpath(QFileInfo(file).path());
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(presetData) == presetData.size());
    f.close();

    ts4820_spc adapter;
    auto startUp = std::make_unique<ModalAnswer>(QStringList{"Auto Find"} + QStringList(6, "No"), 8000);
    auto window = std::make_unique<ts4820fp_App>(&adapter, nullptr);
    QStringList seen = shown(startUp->reports().mid(1));
    startUp.reset(); // the boxes of the action are the action's
    Schematic *schematic = window->schematic;
    switch (action) {
    case StartUp:
        break;
    case Apply:
        schematic->relayAt(2, 0)->click();
        schematic->vrefCombo->setCurrentIndex(3);
        seen += errorBoxes([&] { window->applyButton->click(); });
        // Apply went on to the read-back: the panel shows the unit.
        QVERIFY(!schematic->relayAt(2, 0)->isChecked());
        QVERIFY(!window->applyButton->isEnabled());
        break;
    case RenameLine: {
        Alias *alias = schematic->aliasWidgets.at(2);
        QTest::mouseClick(alias, Qt::LeftButton);
        alias->editor()->setText(QStringLiteral("Sense+"));
        seen += errorBoxes([&] { QTest::keyClick(alias->editor(), Qt::Key_Return); });
        break;
    }
    case Identify:
        seen += errorBoxes([&] { emit window->identToggled(true); });
        break;
    case SavePreset: {
        ModalAnswer save({ModalAnswer::typed("Bench-1", "Save"), {"No", nullptr}, {"No", nullptr}}, 8000);
        window->saveDialog->exec();
        seen += shown(save.reports().mid(1));
        break;
    }
    case UploadPreset: {
        managePresetsDialog::chooseFiles = [&](QWidget *) { return QStringList{file}; };
        ModalAnswer manage(QStringList{"Load from File", "No", "Close"}, 8000);
        window->manageDialog->exec();
        QVERIFY2(manage.done(), qPrintable(manage.error()));
        seen += shown(manage.reports().mid(1, 1));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), presetData); // the file is left as it was
        break;
    }
    }
    QCOMPARE(seen.join("\n--\n"), boxes.join("\n--\n")); // the texts shown when they differ
    QByteArrayList replies;
    for (const QByteArray &q : queries) {
        replies << probe.query(q);
    }
    QCOMPARE(replies.join(';'), reply);
    QCOMPARE(schematic->aliasWidgets.at(0)->text().left(firstLine.size()), firstLine);
}

TS_TEST_MAIN(TestProgramSim)
#include "test_program_sim.moc"
