// Faults of the unit and the network as the operator meets them: the
// program with our driver and VISA against simulated units that misbehave
// on purpose, each case checking the boxes shown, what the unit holds
// afterwards, and that work goes on.
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidget>

#include "alias.h"
#include "managepresetsdialog.h"
#include "modalanswer.h"
#include "panelsim.h"
#include "relaybutton.h"
#include "savepresetdialog.h"
#include "schematic.h"
#include "settingsstore.h"
#include "simprocess.h"
#include "testenv.h"
#include "ts4820_spc.h"
#include "ts4820fp_app.h"

#include <csignal>

namespace {

// Every unit of this test serves its portmapper on this port of its own
// loopback address (127.0.0.70 to 127.0.0.79).
constexpr quint16 kPortmapper = 1114;

enum Action { StartUp, Apply, RenameLine, Identify, SavePreset, UploadPreset };

const QString kError = QStringLiteral("Xentra 4820 SFP Error message|");
const QString kAsk = QStringLiteral("\nDo you want to exit?");

QStringList shown(const QList<BoxReport> &reports)
{
    QStringList texts;
    for (const BoxReport &box : reports) {
        texts << box.title + "|" + box.text;
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

class TestFaultsSim : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings(settingsstore::organisation(), settingsstore::application()).clear();
        qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(kPortmapper));
        qputenv("TS4820_VISA_CONFIG", QFile::encodeName(testenv::root() + "/no-visa.conf"));
    }

    void faultShowsItsBoxAndWorkGoesOn_data();
    void faultShowsItsBoxAndWorkGoesOn();
    void discoveryFinishesWhatever();
};

void TestFaultsSim::faultShowsItsBoxAndWorkGoesOn_data()
{
    QTest::addColumn<QStringList>("fault");
    QTest::addColumn<int>("action");
    QTest::addColumn<QStringList>("boxes");      // at start-up, then from the action
    QTest::addColumn<QByteArrayList>("queries"); // then the unit holds
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("firstLine"); // and the panel shows as X1's name

    const QString relays = "ts4820_setMatrixState(d_vi, (ViInt32*)pattern) failed due to [";
    const QByteArray nothingClosed = words(18);
    QTest::newRow("error on the relays: the voltage is still set")
        << QStringList{"--fail", "ROUT:MATR=-222"} << int(Apply)
        << QStringList{kError + relays + "Instrument reported an error: -222,\"Data out of range\"]" + kAsk}
        << QByteArrayList{"SOUR:VOLT?", "ROUT:MATR?"} << "4.5;" + nothingClosed << "first";
    QTest::newRow("connection dropped at the relays: the rest of Apply reconnects")
        << QStringList{"--drop-on", "ROUT:MATR"} << int(Apply)
        << QStringList{kError + relays + "VI_ERROR_CONN_LOST: The connection to the device was lost.]" + kAsk}
        << QByteArrayList{"SOUR:VOLT?", "ROUT:MATR?"} << "4.5;" + nothingClosed << "first";
    QTest::newRow("error on a line name")
        << QStringList{"--fail", "ROUT:ALI=-310"} << int(RenameLine)
        << QStringList{kError
                       + "ts4820_setAlias(d_vi, COL_MAGIC[col]+1, row+1, txt.toAscii().data()) "
                         "failed due to [Instrument reported an error: -310,\"System error\"]"
                       + kAsk}
        << QByteArrayList{"ROUT:ALI:CAT?"} << QByteArray("#10") << "";
    QTest::newRow("error on identify, also when it is switched off at the start")
        << QStringList{"--fail", "SYST:IDEN=-310"} << int(Identify)
        << QStringList{kError
                           + "ts4820_identify(d_vi, VI_FALSE) failed due to [Instrument reported an error: "
                             "-310,\"System error\"]"
                           + kAsk,
                       kError
                           + "ts4820_identify(d_vi, state) failed due to [Instrument reported an error: "
                             "-310,\"System error\"]"
                           + kAsk}
        << QByteArrayList{"SYST:IDEN?"} << QByteArray("0") << "first";
    QTest::newRow("unit out of preset memory")
        << QStringList{"--fail", "MEM:PRES:STOR=-225"} << int(SavePreset)
        << QStringList{kError
                       + "ts4820_storePreset(d_vi, name.toAscii().data()) failed due to [Instrument "
                         "reported an error: -225,\"Out of memory\"]"
                       + kAsk}
        << QByteArrayList{"MEM:PRES:CAT?"} << QByteArray("#10") << "first";
    QTest::newRow("connection dropped during a preset upload")
        << QStringList{"--drop-on", "MEM:PRES:DATA"} << int(UploadPreset)
        << QStringList{kError
                       + "ts4820_loadPresetFromFile(d_vi, path.toLocal8Bit().data()) failed due to "
                         "[VI_ERROR_CONN_LOST: The connection to the device was lost.]"
                       + kAsk}
        << QByteArrayList{"MEM:PRES:CAT?"} << QByteArray("#10") << "first";
    QTest::newRow("relays answered later than the time-out: the next replies are the right ones")
        << QStringList{"--slow", "ROUT:MATR?=4500"} << int(StartUp)
        << QStringList{kError
                       + "ts4820_getMatrixState(d_vi, (ViInt32*)pattern) failed due to [VI_ERROR_TMO: "
                         "The time-out expired before the operation completed.]"
                       + kAsk}
        << QByteArrayList{} << QByteArray() << "first";
    QTest::newRow("malformed relays")
        << QStringList{"--malformed", "ROUT:MATR?"} << int(StartUp)
        << QStringList{kError
                       + "ts4820_getMatrixState(d_vi, (ViInt32*)pattern) failed due to [The instrument "
                         "sent a reply that could not be understood.]"
                       + kAsk}
        << QByteArrayList{"SOUR:VOLT?"} << QByteArray("0") << "first";
    QTest::newRow("malformed voltage")
        << QStringList{"--malformed", "SOUR:VOLT?"} << int(StartUp)
        << QStringList{kError
                       + "ts4820_getVoltRefOutput(d_vi, &voltage) failed due to [The instrument sent a "
                         "reply that could not be understood.]"
                       + kAsk}
        << QByteArrayList{"ROUT:MATR?"} << nothingClosed << "first";
    QTest::newRow("names longer than the driver's buffer: a warning, the names cut")
        << QStringList{"--oversized", "ROUT:ALI:CAT?=70000"} << int(StartUp)
        << QStringList{"Xentra 4820 SFP Warning message|Warning: [The reply did not fit the buffer and was cut.]"}
        << QByteArrayList{"ROUT:MATR?"} << nothingClosed << "firstWWWW";
}

void TestFaultsSim::faultShowsItsBoxAndWorkGoesOn()
{
    QFETCH(QStringList, fault);
    QFETCH(int, action);
    QFETCH(QStringList, boxes);
    QFETCH(QByteArrayList, queries);
    QFETCH(QByteArray, reply);
    QFETCH(QString, firstLine);
    QTemporaryDir state;
    SimProcess unit("127.0.0.70", QStringList{"--subtype", "AA", "--state", state.path()} + fault,
                    kPortmapper);
    QVERIFY2(unit.running(), qPrintable(unit.banner));
    listResources({unit.instr()});
    Probe probe(unit);
    probe.command("ROUT:ALI X1,\"first\"");

    // A preset file as the unit gives it, to be uploaded again.
    const QString file = testenv::root() + "/upload/P1.prs";
    QByteArray presetData;
    if (action == UploadPreset) {
        probe.command("MEM:PRES:STOR \"P1\"");
        presetData = probe.query("MEM:PRES:DATA? \"P1\"");
        presetData = presetData.mid(2 + presetData[1] - '0');
        probe.command("MEM:PRES:DEL \"P1\"");
        QDir().mkpath(QFileInfo(file).path());
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(presetData) == presetData.size());
    }

    ts4820_spc adapter;
    QList<ModalAnswer::Step> start{{QStringLiteral("Auto Find"), nullptr}};
    for (int i = 0; i < 6; ++i) {
        start << ModalAnswer::Step{QStringLiteral("No"), nullptr};
    }
    auto startUp = std::make_unique<ModalAnswer>(start, 8000);
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
        ModalAnswer save(QList<ModalAnswer::Step>{{QStringLiteral("Save"),
                                                   [&](QWidget *dialog) {
                                                       dialog->findChild<QComboBox *>()->setEditText(
                                                           QStringLiteral("Bench-1"));
                                                   }},
                                                  {QStringLiteral("No"), nullptr},
                                                  {QStringLiteral("No"), nullptr}},
                         8000);
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
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), presetData); // the file is left as it was
        break;
    }
    }
    QCOMPARE(seen, boxes);
    QByteArrayList replies;
    for (const QByteArray &q : queries) {
        replies << probe.query(q);
    }
    QCOMPARE(replies.join(';'), reply);
    QCOMPARE(schematic->aliasWidgets.at(0)->text().left(firstLine.size()), firstLine);
}

// A unit that drops the connection at "*IDN?", and one that accepts
// connections and never answers (stopped): the search still ends, with the
// good units choosable.
void TestFaultsSim::discoveryFinishesWhatever()
{
    SimProcess good("127.0.0.75", {"--subtype", "AB"}, kPortmapper);
    SimProcess dropping("127.0.0.76", {"--drop-on", "*IDN?"}, kPortmapper);
    SimProcess hung("127.0.0.77", {}, kPortmapper);
    SimProcess other("127.0.0.78", {"--subtype", "BA"}, kPortmapper); // two to choose from
    QVERIFY(good.running() && dropping.running() && hung.running() && other.running());
    QCOMPARE(::kill(hung.process.processId(), SIGSTOP), 0);
    listResources({hung.instr(), dropping.instr(), good.instr(), other.instr()});
    ts4820_spc adapter;
    QStringList rows;
    auto window = autoFind(
        adapter, {{QStringLiteral("OK"), [&](QWidget *dialog) {
                       auto *tree = dialog->findChild<QTreeWidget *>();
                       for (QTreeWidgetItemIterator it(tree); *it; ++it) {
                           if ((*it)->parent()) {
                               rows << (*it)->text(0) + " | " + (*it)->text(2)
                                           + ((*it)->flags().testFlag(Qt::ItemIsSelectable) ? " *" : "");
                           }
                       }
                       tree->setCurrentItem(
                           tree->findItems("127.0.0.75", Qt::MatchExactly | Qt::MatchRecursive).value(0));
                   }}});
    ::kill(hung.process.processId(), SIGCONT);
    QVERIFY(window);
    QCOMPARE(rows,
             (QStringList{"127.0.0.75 | 4820-AB LXI *", "127.0.0.76 | LXI", "127.0.0.78 | 4820-BA LXI *"}));
    QCOMPARE(window->windowTitle(), QStringLiteral("Xentra 4820 Soft Front Panel: 127.0.0.75"));
}
TS_TEST_MAIN(TestFaultsSim)
#include "test_faults_sim.moc"
