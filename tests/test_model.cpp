// The instrument model and the dialogs on it: relay addressing and text
// forms, what moves between the panel and the unit (the fake driver) or the
// demo store, damaged local files; saving, managing, downloading and
// uploading presets; device information.
#include <QComboBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <array>

#include "demoidentity.h"
#include "driverstatus.h"
#include "fakedriver.h"
#include "managepresetsdialog.h"
#include "modalanswer.h"
#include "presethost.h"
#include "savepresetdialog.h"
#include "settingsstore.h"
#include "testenv.h"
#include "ts1900fp_spcenteraddress.h"
#include "ts4820_spc.h"
#include "ts4820fp_demosubtypeselect.h"
#include "ts4820fp_devconfig.h"
#include "ts4820fp_presetlist.h"
#include "ts4820inst.h"

using fake::driver;

namespace {

// What the panel shows: the closed relays by name, the VRef links to buses
// A..D and the VRef index, e.g. "[X1 D96] links 0101 vref 8".
QString view(const ts4820inst &m)
{
    QStringList closed;
    for (int i = 0; i < m.nRows * 6; ++i) {
        if (m.getState(i / 6, i % 6) != 0) {
            closed << QChar("XABCDY"[i % 6]) + QString::number(i / 6 + 1);
        }
    }
    const auto at = [&m](int col) { return QString::number(uchar(m.getState(-1, col))); };
    return "[" + closed.join(' ') + "] links " + at(0) + at(1) + at(2) + at(3) + " vref " + at(-1);
}

// `count` relay words, only bit `bit` set.
QString bitText(int bit, int count)
{
    QStringList words(count, QStringLiteral("00000000"));
    words[bit / 32] = QString::asprintf("%08x", 1u << bit % 32);
    return words.join(',');
}

// "a(1)|b(2)" as ts4820_a(1), ts4820_b(2).
QStringList driverCalls(const QString &list)
{
    return list.split('|').replaceInStrings(QRegularExpression("^"), "ts4820_");
}

const QString kOverwrite = QStringLiteral("Preset '%1' already exists. Do you want to overwrite it?");

// The main window as far as the dialogs see it.
struct TestHost : presetHost
{
    explicit TestHost(bool demo) : model(demo ? 0 : 5, demo, 96, "AA") {}
    ts4820inst *presetInstrument() override { return &model; }
    QString presetLabelText() const override { return label; }
    bool hasUnappliedChanges() const override { return unapplied; }
    void refreshFromDevice() override
    {
        ++refreshes;
        model.readState();
    }
    ts4820inst model;
    QString label;
    bool unapplied = false;
    int refreshes = 0;
};

// A value of the demo unit's preset memory, e.g. "P1/Relays".
QString stored(const QString &key)
{
    return QSettings(settingsstore::organisation(), settingsstore::application())
        .value("AA/Presets/" + key)
        .toString();
}

// The boxes answered, each as "title: text".
QStringList boxes(const ModalAnswer &answer)
{
    QStringList out;
    for (const BoxReport &report : answer.reports()) {
        out << report.title + ": " + report.text;
    }
    return out;
}

} // namespace

class TestModel : public QObject
{
    Q_OBJECT

public slots:
    void openedUrl(const QUrl &url) { m_opened << url; } // stands in for the file manager and browser

private:
    std::unique_ptr<TestHost> m_host;
    ts4820inst *m_model = nullptr;
    QList<QUrl> m_opened;

private slots:
    void init()
    {
        QSettings(settingsstore::organisation(), settingsstore::application()).clear();
        driver().reset();
        m_host = std::make_unique<TestHost>(true);
        m_model = &m_host->model;
        m_model->setDemoVoltRef();
        m_model->readState();
        m_opened.clear();
        QDesktopServices::setUrlHandler("file", this, "openedUrl");
        QDesktopServices::setUrlHandler("http", this, "openedUrl");
    }

    // Saving until a name passes: refused names, then the questions before overwriting and writing.
    void saveDialog()
    {
        m_model->storePreset("Alpha");
        m_host->label = "Alpha <i>(preset not saved)</i>";
        savePresetDialog dialog(nullptr, m_host.get());
        dialog.show();
        auto *list = dialog.findChild<ts4820fp_presetList *>();
        QCOMPARE(list->currentText(), QStringLiteral("Alpha")); // the label's preset
        m_model->storePreset("P1"); // after the showing: saving must re-read the unit's list
        m_model->setState(2, 0, 1); // on the schematic only
        m_host->unapplied = true;
        const QString current = stored("{current}/Relays"), p1 = stored("P1/Relays"),
                      wanted = m_model->patternToHex(m_model->matrixState.last().constData()),
                      overwrite = kOverwrite.arg("P1"), longName = QString("Bench_rig-7").repeated(7);
        ModalAnswer box({"OK", "OK", "No", "Yes", "No", "Yes", "OK"}); // and a spare: a box too many shows
        for (const QString &typed : {QString("cfg.1"), QString(), QString("P1"), QString("P1"), longName}) {
            list->setEditText(typed);
            buttonNamed(&dialog, "Save")->click();
        }
        const QString invalid = "New preset name is invalid. It may contain only alphanumeric characters, "
                                "hyphens and underscores.",
                      unwritten = "The current relay configuration hasn't been written to the device yet. It "
                                  "will be done when the preset is saved. Do you want to continue?";
        QStringList expected{invalid,   "Please enter the name of the preset to save.",
                             overwrite, overwrite,
                             unwritten, unwritten};
        QCOMPARE(boxes(box), expected.replaceInStrings(QRegularExpression("^"), "Save preset: "));
        QVERIFY(box.report(0).icon == QMessageBox::Critical && box.report(2).icon == QMessageBox::Question);
        QCOMPARE(QStringList({stored("P1/Relays"), stored("{current}/Relays"),
                              stored(longName.left(63) + "/Relays")}),
                 QStringList({p1, wanted, wanted})); // saved under the name cut to 63 characters
        QVERIFY(current != wanted && m_host->refreshes == 1 && dialog.result() == QDialog::Accepted);
    }

    // From a real unit: names that are no preset names build no path; a second download started while
    // the first is inside the driver's write gets a file of its own.
    void downloadFromUnit()
    {
        driver().reset({}, 5);
        fake::visa().scpi("MEM:PRES:STOR 'Cfg'");
        fake::visa().unitReplies = {{"MEM:PRES:COUN?", "4"},
                                    {"MEM:PRES:NAME? 1", "\"../../x\""},
                                    {"MEM:PRES:NAME? 2", "\"/abs\""},
                                    {"MEM:PRES:NAME? 3", "\"sub/dir\""}};
        TestHost unitHost(false);
        unitHost.model.setReporter(driverStatusBoxes(5));
        QTemporaryDir root;
        const QString folder = root.filePath("a/chosen");
        QVERIFY(QDir().mkpath(folder));
        managePresetsDialog::chooseFolder = [folder](QWidget *) { return folder; };
        managePresetsDialog first(nullptr, &unitHost), second(nullptr, &unitHost);
        first.show();
        second.show();
        first.findChild<QListWidget *>()->selectAll();
        second.findChild<QListWidget *>()->item(0)->setSelected(true);
        driver().beforeCall = [&](const QString &) {
            fake::visa().scpi("SOUR:VOLT:LINK A,ON\nMEM:PRES:STOR 'Cfg'"); // as the second download reads it
            buttonNamed(&second, "Save to File")->click();
            fake::visa().scpi("SOUR:VOLT:LINK A,OFF\nMEM:PRES:STOR 'Cfg'");
        };
        ModalAnswer warning(QStringLiteral("OK"));
        buttonNamed(&first, "Save to File")->click();
        driver().beforeCall = nullptr;
        QCOMPARE(boxes(warning),
                 QStringList{"Manage presets: These presets were not saved, because their names are "
                             "not valid preset names: '../../x', '/abs', 'sub/dir'."});
        const auto head = [&folder](const char *name) {
            QFile file(folder + "/" + name);
            return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n').value(3) : QByteArray();
        };
        QCOMPARE(head("Cfg.prs") + head("Cfg_1.prs"), QByteArray("vrefrelays=0vrefrelays=1")); // each its own
        QCOMPARE(QDir(root.path()).entryList(QDir::Files) + QDir(folder).entryList(QDir::Files),
                 QStringList({"Cfg.prs", "Cfg_1.prs"}));
        QCOMPARE(m_opened, QList<QUrl>(2, QUrl::fromLocalFile(folder)));
    }

    // The commands on the selection, then uploads: what is asked or refused, where uploads stop.
    void manageDialog()
    {
        for (const char *name : {"A", "B", "C"}) {
            m_model->storePreset(name);
        }
        QTemporaryDir dir;
        const QString gone = dir.filePath("gone");
        const auto file = [&dir](const QByteArray &name, const char *eol = "\n", int words = 18) {
            QFile out(dir.filePath(name + ".prs"));
            out.open(QIODevice::WriteOnly);
            out.write("configname" + name + eol + "mainrelays=000000ff"
                      + QByteArray(",00000000").repeated(words - 1) + eol + "vrefvolt=0" + eol
                      + "vrefrelays=0");
            return out.fileName();
        };
        const QList<QStringList> uploads{{file("=D"), file(" = B", "\r\n"), file("=E")},
                                         {file("=W", "\n", 36), file("=F")},
                                         {dir.filePath("missing.prs"), file("=G")},
                                         {"/dev/zero", file("=H")},
                                         {file("=B")}};
        managePresetsDialog::chooseFolder = [gone](QWidget *) { return gone; };
        managePresetsDialog dialog(nullptr, m_host.get());
        dialog.show();
        auto *list = dialog.findChild<QListWidget *>();
        ModalAnswer box({"OK", "OK", "OK", "Yes", "No", "OK", "OK", "OK", "Yes", "OK"}); // and a spare
        buttonNamed(&dialog, "Delete")->click();
        buttonNamed(&dialog, "Save to File")->click();
        list->item(0)->setSelected(true);
        buttonNamed(&dialog, "Save to File")->click();
        list->item(2)->setSelected(true);
        buttonNamed(&dialog, "Delete")->click();
        QCOMPARE(m_host->refreshes, 1);
        for (const QStringList &paths : uploads) {
            managePresetsDialog::chooseFiles = [paths](QWidget *) { return paths; };
            buttonNamed(&dialog, "Load from File")->click();
        }
        const QString overwrite = kOverwrite.arg("B"), failed = "Failed to ";
        QStringList expected{"Please select presets to be deleted.",
                             "Please select presets to be saved to files.",
                             failed + "download preset. Unable to write file: " + gone + "/A.prs.",
                             "Do you really want to remove the selected presets from device's memory?",
                             overwrite,
                             failed + "upload preset. Syntax error in file: " + uploads[1][0]
                                 + ". The file may be valid for different Xentra 4820 subtype.",
                             failed + "open file: " + uploads[2][0] + ".",
                             failed + "upload preset. Unable to read file: /dev/zero.",
                             overwrite};
        QCOMPARE(boxes(box), expected.replaceInStrings(QRegularExpression("^"), "Manage presets: "));
        QVERIFY(box.report(0).icon == QMessageBox::Critical && box.report(3).icon == QMessageBox::Question);
        QCOMPARE(m_model->getPresetList(), QStringList({"B", "D", "F", "H"})); // after a stop, no more
        QVERIFY(list->count() == 4 && stored("B/Relays").startsWith("000000ff,") && m_host->refreshes == 1);
        QVERIFY(!QFileInfo::exists(gone) && !QApplication::overrideCursor());
    }

    // The twelve fields and the web interface's address; a failed read is boxed, its field left as read.
    void deviceInformation_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("boxes");
        const QString
            error = "Xentra 4820 SFP Error message: ts4820_get%1Attribute(parent->d_vi, ts4820_ATTR_%2, %3) "
                    "failed due to [Fake VISA status 0xbfff0015]\nDo you want to exit?",
            demo = demoidentity::address();
        QStringList lost;
        for (const QString &read :
             QString("SUB_TYPE SER_NUM ETH_ADDR LXI_CLASS DESCRIPTION ASSET_NO CURRENT_HOSTNAME "
                     "CURRENT_IPADDR CURRENT_NETMASK CURRENT_GATEWAY CURRENT_DNS1 CURRENT_DNS2 "
                     "CURRENT_IPADDR")
                 .split(' ')) {
            lost << error.arg(read == "SER_NUM" ? "" : "String", read, read == "SER_NUM" ? "&val" : "strVal");
        }
        const QStringList unit =
            QString("4820-AB|Class C|000012ab|02:54:53:00:12:AB|ts4820-fake|192.168.7.20|255.255.255.0|"
                    "192.168.7.1|192.168.7.100|192.168.7.101|Tarsel Ltd - Xentra 4820 - 000012ab - LXI "
                    "Matrix Switching Unit||http://ts4820-fake")
                .split('|');
        QTest::newRow("demo")
            << "demo"
            << QString("4820-AA|Class A|48209481|02:00:00:01:02:03|%1|%2|255.255.255.0|%3.1|%3.100|"
                       "%3.101|Tarsel Ltd - Xentra 4820 - 48209481 - LXI Matrix Switching Unit "
                       "(DEMO)||http://%2")
                   .arg(demoidentity::hostName(), demo, demo.section('.', 0, 2))
                   .split('|')
            << QStringList();
        QTest::newRow("all read") << "" << unit << QStringList();
        const QStringList warning{"Xentra 4820 SFP Warning message: Warning: [The reply did not fit the "
                                  "buffer and was cut.]"},
            nothing = QStringList({"4820-", "Class ", "00000000"}) + QStringList(9, "") << "http://";
        QTest::newRow("a warning") << "warning" << unit << warning;
        QTest::newRow("connection lost") << "lost" << nothing << lost;
    }
    void deviceInformation()
    {
        QFETCH(QString, unit);
        driver().reset({"AB", 0x12ab, true, {}, "ts4820-fake", "192.168.7.20"}, 5);
        fake::visa().unitReplies = {{"SYST:COMM:LAN:GAT?", "\"192.168.7.1\""}, // none on the simulated LAN
                                    {"SYST:COMM:LAN:DNS1?", "\"192.168.7.100\""},
                                    {"SYST:COMM:LAN:DNS2?", "\"192.168.7.101\""}};
        if (unit == "warning") {
            driver().script("ts4820_getStringAttribute", ts4820_WARN_TRUNCATED, 1);
        } else if (unit == "lost") {
            driver().script("ts4820_getStringAttribute", VI_ERROR_TMO);
            driver().script("ts4820_getAttribute", VI_ERROR_TMO);
        }
        ts4820inst model(5, unit == "demo", 192, unit == "demo" ? "AA" : "AB");
        ModalAnswer answers(QStringList(14, unit == "warning" ? "OK" : "No")); // a box too many shows too
        ts4820fp_devConfig dialog(nullptr, &model);
        QStringList shown;
        for (int i = 0; i < ts4820fp_devConfig::FieldCount; ++i) {
            shown << dialog.field(i)->text();
        }
        dialog.openWebInterface();
        QTEST(shown << m_opened.value(0).toString(), "shown");
        QTEST(boxes(answers), "boxes");
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Xentra 4820 Device Information & Status"));
        QVERIFY(unit != "demo" || driver().calls.isEmpty());
    }

    // Relay words read into a model whose relays are all closed.
    void relayText_data()
    {
        QTest::addColumn<QString>("subType");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown"); // the diagnostic, then the relays
        const QString relays = "[%1] links 1111 vref 1";
        QTest::newRow("AA: Y1 is bit 96") << "AA" << bitText(96, 18) << relays.arg("Y1");
        QTest::newRow("BA: D96 is the last bit") << "BA" << bitText(575, 18) << relays.arg("D96");
        QTest::newRow("another subtype has 192 rows") << "aa" << bitText(868, 36) << relays.arg("C101");
        QTest::newRow("not hex: 0") << "AA" << bitText(64, 17).prepend("zz,") << relays.arg("Y1");
        QTest::newRow("17 words, 96 rows") << "AA" << bitText(0, 17) << "Bad relays data!\n" + relays.arg("");
    }
    void relayText()
    {
        QFETCH(QString, subType);
        QFETCH(QString, text);
        const int rows = ts4820inst::rowsForSubType(subType);
        ts4820inst m(0, true, rows, subType);
        QCOMPARE(m.aliases, QStringList(2 * rows + 4));
        m.matrixState = {QByteArray(m.patternSize(), 1)};
        StdoutCapture capture;
        m.hexToPattern(m.matrixState[0].data(), text);
        QTEST(capture.text() + view(m), "shown");
    }

    void boundsAndVRef()
    {
        ts4820inst m(0, true, 96, "AA");
        m.setDemoVoltRef();
        QCOMPARE(QList<int>({m.getVRefIndex(-8.6), m.getVRefIndex(0.0045f), m.getVRefIndex(6.0)}),
                 QList<int>({2, 15, 0})); // within 5% (at least 1 mV) of an entry, else the first
        m.matrixState = {QByteArray(m.patternSize(), 0)};
        for (const auto &cell : {std::array<int, 2>{-1, 4}, {3, -1}, {96, 0}, {0, 6}}) {
            m.setState(cell[0], cell[1], 1);
            QCOMPARE(uchar(m.getState(cell[0], cell[1])), uchar(255));
        }
        QCOMPARE(m.matrixState, QList<QByteArray>{QByteArray(m.patternSize(), 0)});
        m.setState(95, 5, 1);
        m.setState(-1, 3, 1);
        m.setState(-1, -1, 9);
        QCOMPARE(m.matrixState[0].mid(575), QByteArray::fromHex("010000000109"));
    }

    // Every operation on a 96-row unit, each call failing once (a warning where an error would change
    // what later calls write): each reaches the reporter with its call text, and every call is made.
    void realMode()
    {
        const QString path = testenv::root() + "/transfer.prs";
        QStringList calls = driverCalls(
            QString(
                "getMatrixState(7, out)|getAlias(7, 0, 0, out)|getVoltRefOutput(7, out)|"
                "getVoltRefConnectionState(7, 3, out)|getVoltRefConnectionState(7, 4, out)|"
                "getVoltRefConnectionState(7, 5, out)|getVoltRefConnectionState(7, 6, out)|setMatrixState(7, %1)|"
                "setVoltRefConnectionState(7, 3, 0)|setVoltRefConnectionState(7, 4, 1)|"
                "setVoltRefConnectionState(7, 5, 0)|setVoltRefConnectionState(7, 6, 0)|setVoltRefOutput(7, -0.45)|"
                "setAlias(7, 2, 4, \"in\")")
                .arg(bitText(0, 18)));
        for (int r = 1; r <= 96; ++r) {
            calls << QStringLiteral("ts4820_setAlias(7, 2, %1, \"\")").arg(r); // every Y line
        }
        calls += driverCalls( // a bus has one name
            QString(
                "setAlias(7, 4, 1, \"\")|getPresetList(7, out)|getPresetFromList(7, 0, out)|"
                "getPresetFromList(7, 1, out)|storePreset(7, \"P1\")|restorePreset(7, \"P1\")|getVoltRefOutput(7, out)|"
                "getDefaultPresetName(7, out)|savePresetToFile(7, \"P1\", \"%1\")|loadPresetFromFile(7, \"%1\")|"
                "removePreset(7, \"P1\")")
                .arg(path));
        const QStringList failing = driverCalls(
            "getMatrixState(d_vi, (ViInt32*)pattern) (warning)|getAlias(d_vi, 0, 0, aliases) (warning)|"
            "getVoltRefOutput(d_vi, &voltage) (warning)|"
            "getVoltRefConnectionState(d_vi, ts4820_LINE_A+i, &state) (warning)|setMatrixState(d_vi, (ViInt32*)pattern)|"
            "setVoltRefConnectionState(d_vi, ts4820_LINE_A+i, matrixState.last()[nRows*nCols+i])|"
            "setVoltRefOutput(d_vi, getVRefVoltage(matrixState.last()[nRows*nCols+4]))|"
            "setAlias(d_vi, COL_MAGIC[col]+1, row+1, txt.toAscii().data())|"
            "setAlias(d_vi, COL_MAGIC[col]+1, r+1, (char*)\"\")|getPresetList(d_vi, &n) (warning)|"
            "getPresetFromList(d_vi, i, name)|storePreset(d_vi, name.toAscii().data())|"
            "restorePreset(d_vi, name.toAscii().data())|getVoltRefOutput(d_vi, &voltage)|"
            "getDefaultPresetName(d_vi, name)|savePresetToFile(d_vi, name.toAscii().data(), path.toLocal8Bit().data())|"
            "loadPresetFromFile(d_vi, path.toLocal8Bit().data())|removePreset(d_vi, name.toAscii().data())");
        driver().reset({"AA"}, 7);
        fake::visa().scpi("ROUT:MATR " + bitText(0, 18).toLatin1() // X1
                          + "\nSOUR:VOLT -0.45\nSOUR:VOLT:LINK B,ON\nROUT:ALI X2,'in'\nMEM:PRES:STOR 'P1'\n"
                            "MEM:PRES:STOR 'Alpha'");
        ts4820inst m(7, false, 96, "AA");
        ts4820_getVoltRefInfo(7, &m.voltRef.n, m.voltRef.voltages);
        m.matrixState = {QByteArray(m.patternSize(), 1), QByteArray(m.patternSize(), 1)};
        m.aliases[5] = "stale";
        m.savePresetToFile("P1", path); // for the load
        driver().calls.clear();
        QStringList reports;
        m.setReporter(
            [&](ViStatus s, const char *call) { reports << call + QString(s > 0 ? " (warning)" : ""); });
        for (const QString &call : failing) {
            driver().script(call.section('(', 0, 0),
                            call.endsWith("(warning)") ? ts4820_WARN_TRUNCATED : VI_ERROR_TMO, 1);
        }
        m.readState();
        QStringList results{view(m), m.aliasLines().join(','), QString::number(m.matrixState.size())};
        m.writeState();
        m.setAlias(3, 5, "in");
        m.clearAliases(5);
        m.clearAliases(2);
        results << m.getPresetList().join(',');
        m.storePreset("P1");
        m.restorePreset("P1");
        results << m.getDefaultPresetName() << QString::number(m.savePresetToFile("P1", path))
                << QString::number(m.loadPresetFromFile(path));
        m.removePreset("P1");
        QCOMPARE(reports, failing);
        QCOMPARE(driver().calls, calls);
        QCOMPARE(results.join(" | "), QStringLiteral("[X1] links 0100 vref 8 | X2=in | 1 | P1 |  | 1 | 0"));
    }

    void presetFileWritten()
    {
        ts4820inst m(0, true, 96, "AA");
        m.setDemoVoltRef();
        m.readState();
        for (const auto &cell : {std::array<int, 3>{0, 0, 1}, {-1, 1, 1}, {-1, 2, 1}, {-1, -1, 16}}) {
            m.setState(cell[0], cell[1], char(cell[2]));
        }
        m.setAlias(5, 5, "out");
        m.setAlias(0, 0, QStringLiteral("in \u03a9")); // written and read back in one encoding
        m.storePreset("P1");
        QFile file(testenv::root() + "/p1.prs");
        QVERIFY(m.savePresetToFile("P1", file.fileName()) && file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 "configname=P1\nmainrelays=" + bitText(0, 18).toLatin1()
                     + "\nvrefvolt=-0.004500\nvrefrelays=6\n==alias==\nX1=in \xce\xa9\nY6=out");
        QVERIFY(!m.savePresetToFile("P1", testenv::root() + "/no-such-folder/p1.prs"));
        m.removePreset("P1");
        m.setAlias(0, 0, QString());
        QCOMPARE(m.loadPresetFromFile(file.fileName()), 0);
        m.restorePreset("P1");
        m.readState();
        QCOMPARE(m.aliases.at(0), QStringLiteral("in \u03a9"));
    }

    // Uploaded to the demo unit: stored beside the live state, or refused with code and diagnostics.
    void presetFileUpload_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("seen"); // the diagnostics, then the preset restored
        const QByteArray x1 = bitText(0, 18).toLatin1(),
                         tail = "\nmainrelays=" + x1 + "\nvrefvolt=4.5\nvrefrelays=9";
        const QString
            diag = "ts4820inst::parsePresetFile_%1: syntax error at line: '%2'\nparsePresetFile error: #%3\n",
            bad = "Bad alias data: 'Y97=a'!\nBad alias data: 'X1=a=b'!\n"; // on upload, then restored
        QTest::newRow("as written") << "configname=Bench" + tail
                                           + "\n==alias==\nx12=in\nd=bus\nY96=out\nY97=a\nX1=a=b"
                                    << 0 << bad + bad + "[X1] links 1001 vref 3 X12=in Y96=out D=bus";
        QTest::newRow("CR LF, keys in any order")
            << "vrefvolt=-0.045\r\nconfigname=Odd\r\nvrefrelays=f\r\nmainrelays=" + x1
                   + "\r\n==alias==\r\nB=bus"
            << 0 << "[X1] links 1111 vref 12 B=bus";
        QTest::newRow("no file") << QByteArray() << -1 << "parsePresetFile error: #-1\n";
        QTest::newRow("empty line") << QByteArray("configname=E\n\nvrefrelays=1") << 1
                                    << diag.arg(529).arg("").arg(1);
        QTest::newRow("36 words on 96 rows") << "mainrelays=" + bitText(0, 36).toLatin1() << 2
                                             << diag.arg(549).arg("mainrelays=" + bitText(0, 36)).arg(2);
        QTest::newRow("mask > f") << QByteArray("vrefrelays=10") << 3
                                  << diag.arg(568).arg("vrefrelays=10").arg(3);
        for (const QString name : {"", "a/b", "a\\b", "{current}"}) { // no name to store it under
            QTest::newRow(qPrintable("name '" + name + "'"))
                << "configname=" + name.toLatin1() + tail << 1 << "parsePresetFile error: #1\n";
        }
    }
    void presetFileUpload()
    {
        QFETCH(QByteArray, content);
        QFile file(testenv::root() + "/in.prs");
        file.remove();
        QVERIFY(content.isNull() || (file.open(QIODevice::WriteOnly) && file.write(content) && file.flush()));
        ts4820inst m(0, true, 96, "AA");
        m.setDemoVoltRef();
        m.readState();
        m.setAlias(1, 0, "live");
        m.storePreset("Mine");
        StdoutCapture capture;
        QTEST(int(m.loadPresetFromFile(file.fileName())), "code");
        QCOMPARE(m.getDefaultPresetName() + " " + m.aliasLines().join(','), QStringLiteral("Mine X2=live"));
        QStringList uploaded = m.getPresetList();
        uploaded.removeOne("Mine");
        if (!uploaded.isEmpty()) {
            m.restorePreset(uploaded.first());
            m.readState();
            uploaded = QStringList{view(m)} + m.aliasLines();
        }
        QTEST(capture.text() + uploaded.join(' '), "seen");
    }

    // The demo start takes what does not read in the store as not set, a history that is no INI file
    // is used as far as it reads, and neither file is written over.
    void damagedLocalFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("read"); // the subtype offered | X1's name | the history offered
        const QByteArray at = "\nPresets\\%7Bcurrent%7D\\";
        const QString demo = "|TCPIP::" + demoidentity::address() + "::INSTR";
        QTest::newRow("keys missing") << "store" << QByteArray("[General]\nLast%20model=1\n") << "1|" + demo;
        QTest::newRow("wrong types") << "store"
                                     << "[General]\nLast%20model=AB\n[AA]" + at + "Alias=42" + at
                                            + "Relays=1, ff" + at + "VRef\\Voltage=@Rect(1 2 3 4)"
                                     << "0|" + demo;
        QTest::newRow("huge values") << "store"
                                     << "[General]\nLast%20model=1e+300\n[AA]" + at + "Alias="
                                            + QByteArray("X1=xxxx, ").repeated(9999) + at + "Relays="
                                            + QByteArray(1 << 20, 'f') + at + "VRef\\Voltage=1e+308"
                                     << "0|xxxx" + demo;
        QTest::newRow("not INI") << "store" << QByteArray("\0\x01[\xff\n=\nLast model\n", 16) << "0|" + demo;
        QTest::newRow("history binary") << "history" << QByteArray("\0\x01\xff[4820\n", 9) << "0|" + demo;
        QTest::newRow("history not INI")
            << "history" << QByteArray("[4820]\n1.Descriptor=TCPIP::10.0.0.9::INSTR\nno equals\n")
            << "0||TCPIP::10.0.0.9::INSTR";
        QTest::newRow("history folder a file") << "folder" << QByteArray("not a folder") << "0|" + demo;
    }
    void damagedLocalFiles()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        const QString history = qEnvironmentVariable("ALLUSERSPROFILE") + "/Tarsel/DefaultInstrDescr.ini";
        QDir(QFileInfo(history).path()).removeRecursively();
        QFile::remove(QFileInfo(history).path()); // or the file in its place
        QDir(qEnvironmentVariable("ALLUSERSPROFILE")).mkpath(file == "history" ? "Tarsel" : ".");
        QFile damaged(file == "store"
                          ? QSettings(settingsstore::organisation(), settingsstore::application()).fileName()
                      : file == "history" ? history
                                          : QFileInfo(history).path());
        QVERIFY(damaged.open(QIODevice::ReadWrite | QIODevice::Truncate) && damaged.write(bytes)
                && damaged.flush());
        ts4820inst m(0, true, 96, "AA");
        m.setDemoVoltRef();
        m.readState();
        QCOMPARE(m.matrixState, QList<QByteArray>{QByteArray(m.patternSize(), 0)}); // all open, 0 V, no links
        ts4820_spc adapter;
        ts1900fp_spcEnterAddress address(&adapter);
        address.loadHistory();
        QTEST(QStringList({QString::number(ts4820fp_demoSubtypeSelect().combo->currentIndex()),
                           m.aliases[0].left(4),
                           address.combo->count() == 1 ? address.combo->itemText(0) : "more than one"})
                  .join('|'),
              "read");
        address.combo->setEditText("TCPIP::10.0.0.1::INSTR");
        QCOMPARE(address.takeDescriptor(), QStringLiteral("TCPIP::10.0.0.1::INSTR")); // used all the same
        QVERIFY(damaged.seek(0) && damaged.readAll() == bytes);                       // never written over
    }
};

TS_TEST_MAIN(TestModel)
#include "test_model.moc"
