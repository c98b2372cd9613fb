// The preset dialogs as the operator meets them: what the lists offer,
// which names are refused, what is asked before anything is overwritten,
// and what ends up in the (demo) unit's memory and on disk.
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

#include "driverstatus.h"
#include "fakedriver.h"
#include "loadpresetdialog.h"
#include "managepresetsdialog.h"
#include "modalanswer.h"
#include "presethost.h"
#include "savepresetdialog.h"
#include "settingsstore.h"
#include "testenv.h"
#include "ts4820fp_presetlist.h"
#include "ts4820inst.h"

namespace {

const QString kOverwrite = QStringLiteral("Preset '%1' already exists. Do you want to overwrite it?");
const QString kUnwritten =
    QStringLiteral("The current relay configuration hasn't been written to the device yet. It will be done "
                   "when the preset is saved. Do you want to continue?");

// The main window as far as the dialogs see it.
struct TestHost : presetHost
{
    explicit TestHost(ts4820inst *model) : model(model) {}
    ts4820inst *presetInstrument() override { return model; }
    QString presetLabelText() const override { return label; }
    bool hasUnappliedChanges() const override { return unapplied; }
    void refreshFromDevice() override
    {
        ++refreshes;
        model->readState();
    }
    ts4820inst *model;
    QString label;
    bool unapplied = false;
    int refreshes = 0;
};

QPushButton *button(const QWidget *dialog, const QString &text)
{
    for (QPushButton *candidate : dialog->findChildren<QPushButton *>()) {
        if (candidate->text() == text) {
            return candidate;
        }
    }
    qFatal("no button '%s'", qPrintable(text));
}

// The rows of a combo box or list widget, as shown.
QStringList items(const QAbstractItemModel *rows)
{
    QStringList out;
    for (int r = 0; r < rows->rowCount(); ++r) {
        out << rows->index(r, 0).data().toString();
    }
    return out;
}

// A value of the demo unit's preset memory, e.g. "P1/Relays".
QString stored(const QString &key)
{
    return QSettings(settingsstore::organisation(), settingsstore::application())
        .value(QStringLiteral("AA/Presets/") + key)
        .toString();
}

// The texts of the boxes answered; a box without the dialog's title shows.
QStringList texts(const ModalAnswer &answer, const QString &title)
{
    QStringList out;
    for (const BoxReport &report : answer.reports()) {
        out << (report.title == title ? report.text : "<titled " + report.title + ">");
    }
    return out;
}

const QByteArray kFolder = QByteArrayLiteral("<a folder>");
const QByteArray kDevice = QByteArrayLiteral("<a device>");

// A preset file as a unit reads it; 36 words are a 192-row unit's.
QByteArray presetFile(const QByteArray &nameLine, const QByteArray &eol,
                      const QByteArray &firstWord = "00000001", int words = 18)
{
    const QByteArray relays = firstWord + QByteArray(",00000000").repeated(words - 1);
    return nameLine + eol + "mainrelays=" + relays + eol + "vrefvolt=0.000000" + eol + "vrefrelays=0";
}

} // namespace

class TestPresets : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop's file manager.
    void openedUrl(const QUrl &url) { opened << url; }

private:
    std::unique_ptr<ts4820inst> model;
    std::unique_ptr<TestHost> host;
    QList<QUrl> opened;
    bool folderAsked = false;

    void storeWithRelay(const QString &name, int row)
    {
        model->setState(row, 0, 1);
        model->storePreset(name);
    }
    QString pending() const { return model->patternToHex(model->matrixState.last().constData()); }

private slots:
    void init()
    {
        QSettings(settingsstore::organisation(), settingsstore::application()).clear();
        model = std::make_unique<ts4820inst>(0, true, 96, QStringLiteral("AA"));
        model->setDemoVoltRef();
        model->readState();
        host = std::make_unique<TestHost>(model.get());
        opened.clear();
        folderAsked = false;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openedUrl");
        // A chooser a test does not set answers like a cancelled one.
        managePresetsDialog::chooseFolder = [this](QWidget *) {
            folderAsked = true;
            return QString();
        };
        managePresetsDialog::chooseFiles = [](QWidget *) { return QStringList(); };
    }
    void cleanup() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

    void loadDialogOffersAndRestoresStoredPresets_data()
    {
        QTest::addColumn<QStringList>("presets");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("selected");
        const QStringList three{"Alpha", "Beta", "Gamma"};
        QTest::newRow("nothing stored") << QStringList() << QString() << QString();
        QTest::newRow("label not saved") << three << "Beta <i>(preset not saved)</i>"
                                         << "Beta";
        QTest::newRow("other case keeps first") << three << "beta"
                                                << "Alpha";
    }
    void loadDialogOffersAndRestoresStoredPresets()
    {
        QFETCH(QStringList, presets);
        QFETCH(QString, selected);
        for (int i = 0; i < presets.size(); ++i) {
            storeWithRelay(presets[i], i); // Alpha X1, Beta X1-2, Gamma X1-3
        }
        QFETCH(QString, label);
        host->label = label;
        loadPresetDialog dialog(nullptr, host.get());
        dialog.show();
        auto *list = dialog.findChild<ts4820fp_presetList *>();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Load preset"));
        QCOMPARE(items(list->model()), presets);
        QCOMPARE(list->currentText(), selected);
        QCOMPARE(list->isEnabled(), !presets.isEmpty());
        QCOMPARE(button(&dialog, "Load")->isEnabled(), !presets.isEmpty());

        // The next showing sees what was stored meanwhile.
        dialog.hide();
        model->storePreset(QStringLiteral("Zulu"));
        dialog.show();
        QCOMPARE(items(list->model()), presets + QStringList{"Zulu"});
        QVERIFY(list->isEnabled() && button(&dialog, "Load")->isEnabled());
        if (selected.isEmpty()) {
            return;
        }
        model->setState(5, 0, 1); // an unsaved change the restore must undo
        model->writeState();
        button(&dialog, "Load")->click();
        QCOMPARE(stored("{current}/Relays"), stored(selected + "/Relays"));
        QCOMPARE(pending(), stored(selected + "/Relays")); // the schematic was refreshed
        QCOMPARE(host->refreshes, 1);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
    }

    void saveDialog_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("unapplied"); // X3 closed on the schematic only
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<bool>("saved");
        const QString longName = QStringLiteral("Bench_rig-7").repeated(7).left(70);
        const QStringList overwrite{kOverwrite.arg("P1")}, unwritten{kUnwritten}, none;
        QTest::newRow("letters digits - _") << "Rack-07_b"
                                            << "Rack-07_b" << false << none << none << true;
        QTest::newRow("70 characters, cut to 63")
            << longName << longName.left(63) << false << none << none << true;
        QTest::newRow("dot refused")
            << "cfg.1"
            << "cfg.1" << false << QStringList{"OK"}
            << QStringList{"New preset name is invalid. It may contain only alphanumeric characters, hyphens "
                           "and underscores."}
            << false;
        QTest::newRow("empty refused")
            << ""
            << "" << false << QStringList{"OK"} << QStringList{"Please enter the name of the preset to save."}
            << false;
        QTest::newRow("overwrite: No") << "P1"
                                       << "P1" << false << QStringList{"No"} << overwrite << false;
        QTest::newRow("unwritten: No") << "P2"
                                       << "P2" << true << QStringList{"No"} << unwritten << false;
        QTest::newRow("both: Yes, No")
            << "P1"
            << "P1" << true << QStringList{"Yes", "No"} << overwrite + unwritten << false;
        QTest::newRow("both: Yes, Yes")
            << "P1"
            << "P1" << true << QStringList{"Yes", "Yes"} << overwrite + unwritten << true;
    }
    void saveDialog()
    {
        QFETCH(QString, typed);
        QFETCH(QString, field);
        QFETCH(QStringList, answers);
        QFETCH(bool, saved);
        savePresetDialog dialog(nullptr, host.get());
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Save preset"));
        // Stored after the showing: saving must re-read the unit's list.
        storeWithRelay(QStringLiteral("P1"), 0);
        model->writeState();
        model->setState(2, 0, 1);
        QFETCH(bool, unapplied);
        host->unapplied = unapplied;
        if (!unapplied) {
            model->writeState();
        }
        const QString wanted = pending();
        const QString currentBefore = stored("{current}/Relays"), nameBefore = stored(field + "/Relays");
        auto *list = dialog.findChild<ts4820fp_presetList *>();
        QTest::keyClicks(list->lineEdit(), typed);
        QCOMPARE(list->currentText(), field);
        ModalAnswer box(answers + QStringList{"OK"}); // a spare: a box too many shows
        button(&dialog, "Save")->click();

        QTEST(texts(box, "Save preset"), "boxes");
        if (!answers.isEmpty()) { // refusals are errors, the rest questions
            const bool error = answers == QStringList{"OK"};
            QCOMPARE(box.report().icon, error ? QMessageBox::Critical : QMessageBox::Question);
            QCOMPARE(box.report().buttons, (error ? QStringList{"OK"} : QStringList{"Yes", "No"}));
        }
        QCOMPARE(stored(field + "/Relays"), saved ? wanted : nameBefore);
        QCOMPARE(stored("{current}/Relays"), saved ? wanted : currentBefore);
        QStringList presets = model->getPresetList();
        QCOMPARE(presets.removeAll(field), int(saved || field == "P1"));
        QCOMPARE(presets, field == "P1" ? QStringList() : QStringList{"P1"});
        QCOMPARE(host->refreshes, saved ? 1 : 0);
        QCOMPARE(dialog.isVisible(), !saved);
        QCOMPARE(dialog.result(), saved ? int(QDialog::Accepted) : 0);
    }

    void downloadNumbersFilesAndReportsUnwritable()
    {
        storeWithRelay(QStringLiteral("Other"), 5);
        storeWithRelay(QStringLiteral("Cfg"), 0);
        QTemporaryDir dir;
        managePresetsDialog::chooseFolder = [&dir](QWidget *) { return dir.path(); };
        managePresetsDialog dialog(nullptr, host.get());
        dialog.show();
        dialog.findChild<QListWidget *>()->findItems("Cfg", Qt::MatchExactly)[0]->setSelected(true);
        ModalAnswer box(QStringLiteral("OK"));
        QStringList written;
        for (int row = 1; row <= 3; ++row) {
            written << pending();
            button(&dialog, "Save to File")->click();
            storeWithRelay(QStringLiteral("Cfg"), row); // a different Cfg each time
        }
        QCOMPARE(box.answered(), 0);
        // Each file holds the preset as it was when saved: none was overwritten.
        QStringList files = QDir(dir.path()).entryList(QDir::Files, QDir::Name), read;
        QCOMPARE(files, (QStringList{"Cfg.prs", "Cfg_1.prs", "Cfg_2.prs"}));
        for (const QString &file : files) { // read back as the unit would upload them
            QCOMPARE(int(model->loadPresetFromFile(dir.filePath(file))), 0);
            read << stored("Cfg/Relays");
        }
        QCOMPARE(read, written);
        QCOMPARE(opened, QList<QUrl>(3, QUrl::fromLocalFile(dir.path())));

        // Folders that cannot take a file: one that is gone, one that is a file.
        const QString gone = dir.filePath("gone"), notFolder = dir.filePath("Cfg.prs");
        for (const QString &folder : {gone, notFolder}) {
            const auto content = [&folder] {
                QFile file(folder);
                return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
            };
            const QByteArray before = content();
            ModalAnswer failed(QStringLiteral("OK"));
            managePresetsDialog::chooseFolder = [&folder](QWidget *) { return folder; };
            button(&dialog, "Save to File")->click();
            QCOMPARE(texts(failed, "Manage presets"),
                     QStringList{"Failed to download preset. Unable to write file: " + folder + "/Cfg.prs."});
            QCOMPARE(failed.report().icon, QMessageBox::Critical);
            QCOMPARE(content(), before);
            QVERIFY(!QApplication::overrideCursor());
        }
        QVERIFY(!QFileInfo::exists(gone));
    }

    // Two downloads of Cfg into one folder, the second started while the
    // first is inside the driver's write: each gets its own file with its
    // own content. A driver failure leaves no empty file behind.
    void racingDownloadsKeepBothFiles()
    {
        fake::driver().reset();
        fake::driver().unit.subType = QStringLiteral("AA");
        fake::driver().unit.ensureSize();
        fake::FakePreset cfg;
        cfg.words = QVector<quint32>(18, 0);
        fake::driver().unit.presets.append({QStringLiteral("Cfg"), cfg});
        ts4820inst unitModel(5, false, 96, QStringLiteral("AA"));
        unitModel.setReporter(driverStatusBoxes(5));
        TestHost unitHost(&unitModel);
        QTemporaryDir dir;
        managePresetsDialog::chooseFolder = [&dir](QWidget *) { return dir.path(); };
        managePresetsDialog first(nullptr, &unitHost), second(nullptr, &unitHost);
        for (managePresetsDialog *dialog : {&first, &second}) {
            dialog->show();
            dialog->findChild<QListWidget *>()->item(0)->setSelected(true);
        }
        quint32 &firstWord = fake::driver().unit.presets[0].second.words[0];
        fake::driver().beforeCall = [&](const QString &function) {
            if (function != "ts4820_savePresetToFile") {
                return;
            }
            firstWord = 2; // the unit as the second download reads it
            button(&second, "Save to File")->click();
            firstWord = 1;
        };
        button(&first, "Save to File")->click();
        fake::driver().beforeCall = nullptr;
        const auto content = [&dir](const QString &file) {
            QFile f(dir.filePath(file));
            if (!f.open(QIODevice::ReadOnly)) {
                return QByteArray();
            }
            const QByteArray name = f.readLine().trimmed();
            return name + "|" + f.readLine().left(20);
        };
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name), (QStringList{"Cfg.prs", "Cfg_1.prs"}));
        QCOMPARE(content("Cfg.prs"), QByteArray("configname=Cfg|mainrelays=00000001,"));
        QCOMPARE(content("Cfg_1.prs"), QByteArray("configname=Cfg|mainrelays=00000002,"));

        fake::driver().script("ts4820_savePresetToFile", VI_ERROR_CONN_LOST, 1);
        ModalAnswer box(QStringLiteral("No"));
        button(&first, "Save to File")->click();
        QCOMPARE(box.answered(), 1);
        QCOMPARE(box.report().title, QStringLiteral("Xentra 4820 SFP Error message"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name), (QStringList{"Cfg.prs", "Cfg_1.prs"}));
    }

    // Names a unit offers that are no preset names never become part of a
    // path: one warning names them all, the proper one is saved.
    void unitNamesOutsideTheRulesBuildNoPath()
    {
        fake::driver().reset();
        fake::driver().unit.subType = QStringLiteral("AA");
        fake::driver().unit.ensureSize();
        fake::FakePreset preset;
        preset.words = QVector<quint32>(18, 0);
        for (const char *name : {"../../x", "/abs", "Good", "sub/dir", ".."}) {
            fake::driver().unit.presets.append({QString::fromLatin1(name), preset});
        }
        ts4820inst unitModel(5, false, 96, QStringLiteral("AA"));
        unitModel.setReporter(driverStatusBoxes(5));
        TestHost unitHost(&unitModel);
        QTemporaryDir root;
        const QString folder = root.filePath("a/b/chosen");
        QVERIFY(QDir().mkpath(folder));
        managePresetsDialog::chooseFolder = [&folder](QWidget *) { return folder; };
        managePresetsDialog dialog(nullptr, &unitHost);
        dialog.show();
        dialog.findChild<QListWidget *>()->selectAll();
        ModalAnswer box(QStringLiteral("OK"));
        button(&dialog, "Save to File")->click();
        QCOMPARE(texts(box, "Manage presets"),
                 QStringList{"These presets were not saved, because their names are not valid preset "
                             "names: '../../x', '/abs', 'sub/dir', '..'."});
        QCOMPARE(box.report().icon, QMessageBox::Warning);
        QStringList files;
        for (QDirIterator it(root.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            files << QDir(root.path()).relativeFilePath(it.next());
        }
        QCOMPARE(files, QStringList{"a/b/chosen/Good.prs"});
        QCOMPARE(fake::driver().callNames().count("ts4820_savePresetToFile"), 1);
    }

    void uploadFiles_data()
    {
        // A null entry: no such file; kFolder, kDevice: a folder, /dev/zero.
        QTest::addColumn<QList<QByteArray>>("files");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("message"); // %1: the path of the second file
        QTest::addColumn<QStringList>("presetsAfter");
        QTest::addColumn<bool>("listRefreshed");
        const QByteArray a = presetFile("configname=A", "\n");
        const QByteArray c = presetFile("configname=C", "\n");
        const QString overwrite = kOverwrite.arg("Cfg");
        QTest::newRow("CR LF name, No stops")
            << QList<QByteArray>{a, presetFile("configname = Cfg", "\r\n"), c} << QStringList{"No"}
            << overwrite << QStringList{"A", "Cfg"} << false;
        QTest::newRow("overwrite: Yes") << QList<QByteArray>{presetFile("configname=Cfg", "\r\n", "000000ff")}
                                        << QStringList{"Yes"} << overwrite << QStringList{"Cfg"} << true;
        QTest::newRow("syntax error goes on")
            << QList<QByteArray>{a, presetFile("configname=W", "\n", "00000001", 36), c} << QStringList{"OK"}
            << "Failed to upload preset. Syntax error in file: %1. The file may be valid for "
               "different Xentra 4820 subtype."
            << QStringList{"A", "C", "Cfg"} << true;
        QTest::newRow("missing file stops") << QList<QByteArray>{a, QByteArray(), c} << QStringList{"OK"}
                                            << "Failed to open file: %1." << QStringList{"A", "Cfg"} << false;
        QTest::newRow("a folder stops") << QList<QByteArray>{a, kFolder, c} << QStringList{"OK"}
                                        << "Failed to open file: %1." << QStringList{"A", "Cfg"} << false;
        const QString unreadable = QStringLiteral("Failed to upload preset. Unable to read file: %1.");
        QTest::newRow("a device that never ends goes on")
            << QList<QByteArray>{a, kDevice, c} << QStringList{"OK"} << unreadable
            << QStringList{"A", "C", "Cfg"} << true;
        QTest::newRow("a preset grown past any unit's goes on")
            << QList<QByteArray>{a,
                                 presetFile("configname=H", "\n") + "\n==alias==\n"
                                     + QByteArray("X1=").append(70000, 'h'),
                                 c}
            << QStringList{"OK"} << unreadable << QStringList{"A", "C", "Cfg"} << true;
        QTest::newRow("binary goes on")
            << QList<QByteArray>{a,
                                 QByteArray("\0\x7f\xff"
                                            "configname\0",
                                            14),
                                 c}
            << QStringList{"OK"}
            << "Failed to upload preset. Syntax error in file: %1. The file may be valid for "
               "different Xentra 4820 subtype."
            << QStringList{"A", "C", "Cfg"} << true;
    }
    void uploadFiles()
    {
        QFETCH(QList<QByteArray>, files);
        QFETCH(QStringList, answers);
        QFETCH(QString, message);
        QFETCH(bool, listRefreshed);
        storeWithRelay(QStringLiteral("Cfg"), 0);
        const QString cfgBefore = stored("Cfg/Relays");
        QTemporaryDir dir;
        QStringList paths;
        for (int i = 0; i < files.size(); ++i) {
            paths << (files[i] == kDevice ? QStringLiteral("/dev/zero")
                                          : dir.filePath(QStringLiteral("upload%1.prs").arg(i)));
            QFile file(paths.last());
            QVERIFY(files[i].isNull() || files[i] == kDevice
                    || (files[i] == kFolder && QDir().mkdir(paths.last()))
                    || (file.open(QIODevice::WriteOnly) && file.write(files[i])));
        }
        managePresetsDialog::chooseFiles = [&paths](QWidget *) { return paths; };
        managePresetsDialog dialog(nullptr, host.get());
        dialog.show();
        ModalAnswer box(answers + QStringList{"OK"});
        button(&dialog, "Load from File")->click();

        QCOMPARE(texts(box, "Manage presets"),
                 QStringList{message.contains("%1") ? message.arg(paths[1]) : message});
        QStringList presets = model->getPresetList();
        presets.sort();
        QTEST(presets, "presetsAfter");
        const bool replaced = answers == QStringList{"Yes"};
        QCOMPARE(stored("Cfg/Relays").startsWith("000000ff"), replaced);
        QVERIFY(replaced || stored("Cfg/Relays") == cfgBefore);
        QCOMPARE(items(dialog.findChild<QListWidget *>()->model()),
                 listRefreshed ? model->getPresetList() : QStringList{"Cfg"});
        QCOMPARE(host->refreshes, 0);
    }

    void deleteAndSaveToFileWorkOnSelection_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QList<int>>("selectedRows");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("remaining");
        const QString really =
            QStringLiteral("Do you really want to remove the selected presets from device's memory?");
        const QStringList all{"A", "B", "C"};
        QTest::newRow("Delete, nothing selected") << "Delete" << QList<int>() << "OK"
                                                  << "Please select presets to be deleted." << all;
        QTest::newRow("Save to File, nothing selected")
            << "Save to File" << QList<int>() << "OK"
            << "Please select presets to be saved to files." << all;
        QTest::newRow("Delete A and C: No") << "Delete" << QList<int>{0, 2} << "No" << really << all;
        QTest::newRow("Delete A and C: Yes")
            << "Delete" << QList<int>{0, 2} << "Yes" << really << QStringList{"B"};
    }
    void deleteAndSaveToFileWorkOnSelection()
    {
        QFETCH(QString, command);
        QFETCH(QList<int>, selectedRows);
        QFETCH(QString, answer);
        QFETCH(QString, message);
        QFETCH(QStringList, remaining);
        for (const char *name : {"A", "B", "C"}) {
            model->storePreset(QString::fromLatin1(name));
        }
        managePresetsDialog dialog(nullptr, host.get());
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Manage presets"));
        auto *list = dialog.findChild<QListWidget *>();
        for (int row : selectedRows) {
            list->item(row)->setSelected(true);
        }
        ModalAnswer box(QStringList{answer, "OK"});
        button(&dialog, command)->click();

        QCOMPARE(texts(box, "Manage presets"), QStringList{message});
        QCOMPARE(box.report().icon, answer == "OK" ? QMessageBox::Critical : QMessageBox::Question);
        QCOMPARE(model->getPresetList(), remaining);
        QCOMPARE(items(list->model()), remaining);
        QCOMPARE(host->refreshes, answer == "Yes" ? 1 : 0);
        QVERIFY(!folderAsked && opened.isEmpty());
    }
};

TS_TEST_MAIN(TestPresets)
#include "test_presets.moc"