// The panel's dialogs as the operator meets them: presets and device information.
#include <QDesktopServices>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include "demoidentity.h"
#include "driverstatus.h"
#include "fakedriver.h"
#include "managepresetsdialog.h"
#include "modalanswer.h"
#include "presethost.h"
#include "savepresetdialog.h"
#include "settingsstore.h"
#include "testenv.h"
#include "ts4820fp_devconfig.h"
#include "ts4820fp_presetlist.h"
#include "ts4820inst.h"

using fake::driver;

namespace {

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

class TestPresets : public QObject
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
};

TS_TEST_MAIN(TestPresets)
#include "test_presets.moc"
