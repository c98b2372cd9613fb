// The program on a machine whose local files are damaged or in the way: a
// settings store with wrong types, missing keys and huge values, and a
// descriptor history that is not INI or whose folder cannot be written. It
// starts, offers what it can read, and leaves files it did not write as
// they were.
#include <QComboBox>
#include <QDir>
#include <QSettings>

#include "alias.h"
#include "demoidentity.h"
#include "modalanswer.h"
#include "relaybutton.h"
#include "schematic.h"
#include "settingsstore.h"
#include "testenv.h"
#include "ts1900fp_spcenteraddress.h"
#include "ts4820_spc.h"
#include "ts4820fp_app.h"

namespace {

QString storePath()
{
    return QSettings(settingsstore::organisation(), settingsstore::application()).fileName();
}

QString historyPath()
{
    return qEnvironmentVariable("ALLUSERSPROFILE") + QStringLiteral("/Tarsel/DefaultInstrDescr.ini");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// The demo unit's current state in the store.
const QString kCurrent = QStringLiteral("AA/Presets/{current}/");

} // namespace

class TestLocalState : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QFile::remove(storePath());
        QDir(qEnvironmentVariable("ALLUSERSPROFILE")).removeRecursively();
    }

    // The demo start reads "Last model" and the demo unit from the store,
    // whatever it holds; what does not read is taken as nothing set.
    void demoStartsWhateverTheStoreHolds_data()
    {
        QTest::addColumn<QVariantMap>("values"); // written through the settings class
        QTest::addColumn<QByteArray>("raw");     // or the file's bytes
        QTest::addColumn<QString>("offered");    // by the subtype dialog
        QTest::addColumn<int>("closed");         // relays shown closed
        QTest::addColumn<QString>("firstLine");  // X1's name, its first characters
        const QString words = "00000001" + QString(",00000000").repeated(17);
        QTest::newRow("keys missing")
            << QVariantMap{{"Last model", 1}} << QByteArray() << "Xentra 4820-AB" << 0 << "";
        QTest::newRow("the demo unit as stored")
            << QVariantMap{{kCurrent + "Relays", words}, {kCurrent + "Alias", QStringList{"X1=sense"}}}
            << QByteArray() << "Xentra 4820-AA" << 1 << "sense";
        // Bus A's "maybe" reads as true, as any text but "false" and "0".
        QTest::newRow("wrong types") << QVariantMap{{"Last model", "AB"},
                                                    {kCurrent + "Relays", QStringList{"00000001", "ff"}},
                                                    {kCurrent + "Alias", 42},
                                                    {kCurrent + "VRef/Voltage", QRect(1, 2, 3, 4)},
                                                    {kCurrent + "VRef/BusA", "maybe"}}
                                     << QByteArray() << "Xentra 4820-AA" << 1 << "";
        QTest::newRow("huge values") << QVariantMap{{"Last model", 1e300},
                                                    {kCurrent + "Relays", QString(1 << 20, 'f')},
                                                    {kCurrent + "Alias",
                                                     QStringList(2000, "X1=" + QString(1000, 'x'))},
                                                    {kCurrent + "VRef/Voltage", 1e308}}
                                     << QByteArray() << "Xentra 4820-AA" << 0 << "xxxx";
        QTest::newRow("not INI at all")
            << QVariantMap() << QByteArray("\0\x01[\xff\n=\nLast model\n", 16) << "Xentra 4820-AA" << 0 << "";
    }
    void demoStartsWhateverTheStoreHolds()
    {
        QFETCH(QVariantMap, values);
        QFETCH(QByteArray, raw);
        QFETCH(QString, firstLine);
        if (raw.isNull()) {
            QSettings store(settingsstore::organisation(), settingsstore::application());
            for (auto it = values.cbegin(); it != values.cend(); ++it) {
                store.setValue(it.key(), it.value());
            }
        } else {
            QVERIFY(writeFile(storePath(), raw));
        }
        QString offered;
        ModalAnswer answers(QList<ModalAnswer::Step>{{QStringLiteral("Run In Demo Mode"), nullptr},
                                                     {QStringLiteral("Ok"), [&](QWidget *dialog) {
                                                          offered =
                                                              dialog->findChild<QComboBox *>()->currentText();
                                                      }}});
        ts4820_spc adapter;
        ts4820fp_App window(&adapter, nullptr);
        QVERIFY2(answers.done(), qPrintable(answers.error()));
        QTEST(offered, "offered");
        const QList<RelayButton *> &relays = window.schematic->relays;
        QTEST(
            int(std::count_if(relays.cbegin(), relays.cend(), [](RelayButton *r) { return r->isChecked(); })),
            "closed");
        QCOMPARE(window.schematic->aliasWidgets.at(0)->text().left(firstLine.size()), firstLine);
        QCOMPARE(window.schematic->vrefCombo->currentIndex(), 0);
    }

    // A history the settings class cannot read whole is read as far as it
    // goes and never rewritten; an unwritable folder only loses the
    // history. Either way the typed descriptor is used.
    void historyNotWrittenOverWhenItIsNoIni_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("offered");
        const QString demo = "TCPIP::" + demoidentity::address() + "::INSTR";
        QTest::newRow("binary") << historyPath() << QByteArray("\0\x01\xff[4820\n", 9) << QStringList{demo};
        QTest::newRow("a line that is no INI")
            << historyPath() << QByteArray("[4820]\n1.Descriptor=TCPIP::10.0.0.9::INSTR\nno equals\n")
            << QStringList{"TCPIP::10.0.0.9::INSTR"};
        QTest::newRow("a section never closed")
            << historyPath() << QByteArray("[4820\n1.Descriptor=TCPIP::10.0.0.8::INSTR\n")
            << QStringList{"TCPIP::10.0.0.8::INSTR"};
        QTest::newRow("the folder is a file")
            << QFileInfo(historyPath()).path() << QByteArray("not a folder") << QStringList{demo};
    }
    void historyNotWrittenOverWhenItIsNoIni()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, bytes);
        QVERIFY(writeFile(path, bytes));
        ts4820_spc adapter;
        for (const QString typed : {"TCPIP::10.0.0.1::INSTR", "TCPIP::10.0.0.2::INSTR"}) {
            ts1900fp_spcEnterAddress dialog(&adapter);
            dialog.loadHistory();
            QStringList offered;
            for (int i = 0; i < dialog.combo->count(); ++i) {
                offered << dialog.combo->itemText(i);
            }
            QTEST(offered, "offered");
            dialog.combo->setEditText(typed);
            QCOMPARE(dialog.takeDescriptor(), typed);
        }
        QCOMPARE(readFile(path), bytes);
    }
};

TS_TEST_MAIN(TestLocalState)
#include "test_local_state.moc"
