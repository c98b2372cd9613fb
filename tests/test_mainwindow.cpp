// The main window as an operator uses it: the whole main job in demo mode,
// driven through the real windows, and the calls it makes on a real unit
// (the fake driver standing in for it).
#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QVBoxLayout>

#include "alias.h"
#include "fakedriver.h"
#include "fakevisa.h"
#include "loadpresetdialog.h"
#include "managepresetsdialog.h"
#include "modalanswer.h"
#include "openclosedialog.h"
#include "relaybutton.h"
#include "savepresetdialog.h"
#include "schematic.h"
#include "settingsstore.h"
#include "testenv.h"
#include "ts1900fp_about.h"
#include "ts4820_spc.h"
#include "ts4820fp_app.h"
#include "ts4820inst.h"

using fake::driver;
using fake::visa;

namespace {

const QString kNotSaved = QStringLiteral(" <i>(preset not saved)</i>");

// Starts the program's main window as the operator would: the connection
// box, then (in demo mode) the subtype dialog.
std::unique_ptr<ts4820fp_App> startDemo(ts4820_spc &adapter, int subtypeIndex)
{
    ModalAnswer answers(QList<ModalAnswer::Step>{{QStringLiteral("Run In Demo Mode"), nullptr},
                                                 {QStringLiteral("Ok"), [subtypeIndex](QWidget *dialog) {
                                                      dialog->findChild<QComboBox *>()->setCurrentIndex(
                                                          subtypeIndex);
                                                  }}});
    auto window = std::make_unique<ts4820fp_App>(&adapter, nullptr);
    if (!answers.done()) {
        qWarning("start-up dialogs not answered: %s", qPrintable(answers.error()));
        return nullptr;
    }
    return window;
}

std::unique_ptr<ts4820fp_App> startReal(ts4820_spc &adapter)
{
    fake::VisaResource unit;
    unit.descriptor = QStringLiteral("TCPIP0::10.1.2.3::INSTR");
    unit.host = QStringLiteral("10.1.2.3");
    unit.idnReply = "Tarsel Ltd.,Xentra 4820-AA,48209481,2.4.7";
    visa().resources << unit;
    visa().foreignSession.host = QStringLiteral("10.1.2.3");
    ModalAnswer answer(QStringLiteral("Auto Find"));
    auto window = std::make_unique<ts4820fp_App>(&adapter, nullptr);
    return answer.done() ? std::move(window) : nullptr;
}

QAction *menuEntry(RelayButton *button, const QString &text)
{
    for (QAction *action : button->contextMenu()->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

void renameLine(Alias *alias, const QString &name)
{
    QTest::mouseClick(alias, Qt::LeftButton);
    alias->editor()->setText(name);
    QTest::keyClick(alias->editor(), Qt::Key_Return);
}

QPushButton *buttonNamed(QWidget *dialog, const QString &text)
{
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

QStringList toolColumnTexts(ts4820fp_App &window)
{
    QStringList texts;
    QLayout *column = window.toolColumn();
    for (int i = 0; i < column->count(); ++i) {
        if (auto *button = qobject_cast<QPushButton *>(column->itemAt(i)->widget())) {
            if (!button->isHidden() && !button->text().isEmpty()) {
                texts << button->text();
            }
        }
    }
    return texts;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

public slots:
    void folderOpened(const QUrl &url) { openedFolders << url; }

private:
    QList<QUrl> openedFolders;

private slots:
    void init()
    {
        QSettings(settingsstore::organisation(), settingsstore::application()).clear();
        driver().reset();
        visa().reset();
    }

    void demoMainJobEndToEnd();
    void demoWindowLayout();
    void realModeStartupReadsTheUnit();
    void realModeApplyWritesInOrderThenReadsBack();
    void realModeIdentifyAndReset();
    void realModeHardwareInformationNotAvailable();
    void saveImageProposesPresetName_data();
    void saveImageProposesPresetName();
};

void TestMainWindow::demoMainJobEndToEnd()
{
    ts4820_spc adapter;
    auto window = startDemo(adapter, 1);
    QVERIFY(window);
    Schematic *schematic = window->schematic;
    QCOMPARE(window->instrument->nRows, 192);
    QVERIFY(!window->applyButton->isEnabled());
    QVERIFY(!window->undoButton->isEnabled());

    // Close relays by click, by menu and by expression.
    schematic->relayAt(0, 0)->click();
    menuEntry(schematic->relayAt(1, 5), QStringLiteral("Close Y2"))->trigger();
    ModalAnswer expression(QList<ModalAnswer::Step>{{QStringLiteral("Done"), [](QWidget *dialog) {
                                                         auto *oc = static_cast<openCloseDialog *>(dialog);
                                                         oc->expression()->setText(QStringLiteral("B1-3"));
                                                         oc->closeSelectedButton()->click();
                                                     }}});
    menuEntry(schematic->relayAt(5, 2), QStringLiteral("Custom Pattern ..."))->trigger();
    QVERIFY2(expression.done(), qPrintable(expression.error()));
    QCOMPARE(expression.report().title, QStringLiteral("Open/Close Relays"));
    QVERIFY(!schematic->relayAt(0, 2)->isMarked()); // marks cleared on close
    QCOMPARE(int(window->instrument->getState(2, 2)), 1);
    QVERIFY(window->applyButton->isEnabled());

    // Undo takes back the expression; undo all everything.
    window->undoButton->click();
    QCOMPARE(int(window->instrument->getState(2, 2)), 0);
    QCOMPARE(int(window->instrument->getState(1, 5)), 1);
    window->undoAllButton->click();
    QCOMPARE(window->instrument->matrixState.size(), 1);
    QVERIFY(!window->undoButton->isEnabled());
    QVERIFY(!window->applyButton->isEnabled());

    // A relay, the VRef voltage and a bus link, line names; then Apply.
    schematic->relayAt(9, 0)->click();
    schematic->vrefCombo->setCurrentIndex(3);
    schematic->vrefRelay(1)->click();
    renameLine(schematic->aliasWidgets.at(9), QStringLiteral("DUT supply"));
    renameLine(schematic->aliasWidgets.at(2 * 192 + 4 + 2), QStringLiteral("Sense"));
    QCOMPARE(schematic->aliasWidgets.at(2 * 192 + 2)->text(), QStringLiteral("Sense"));
    window->applyButton->click();
    QVERIFY(!window->applyButton->isEnabled());
    QVERIFY(schematic->relayAt(9, 0)->isApplied());
    QCOMPARE(schematic->appliedVRefIndex, 3);

    // Save the applied state as a preset, change it, load the preset back.
    ModalAnswer save(QList<ModalAnswer::Step>{{QStringLiteral("Save"), [](QWidget *dialog) {
                                                   dialog->findChild<QComboBox *>()->setEditText(
                                                       QStringLiteral("Bench-1"));
                                               }}});
    window->saveDialog->exec();
    QVERIFY2(save.done(), qPrintable(save.error()));
    QCOMPARE(window->presetLabel->text(), QStringLiteral("Bench-1"));
    schematic->relayAt(9, 0)->click();
    window->applyButton->click();
    QCOMPARE(window->presetLabel->text(), QStringLiteral("Bench-1") + kNotSaved);
    ModalAnswer load(QStringLiteral("Load"));
    window->loadDialog->exec();
    QVERIFY2(load.done(), qPrintable(load.error()));
    QCOMPARE(window->presetLabel->text(), QStringLiteral("Bench-1"));
    QVERIFY(schematic->relayAt(9, 0)->isChecked());
    QCOMPARE(schematic->aliasWidgets.at(9)->text(), QStringLiteral("DUT supply"));

    // Download the preset to a file, delete it, upload it again.
    const QString folder = testenv::root() + QStringLiteral("/downloads");
    QDir().mkpath(folder);
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "folderOpened");
    managePresetsDialog::chooseFolder = [&](QWidget *) { return folder; };
    managePresetsDialog::chooseFiles = [&](QWidget *) {
        return QStringList{folder + QStringLiteral("/Bench-1.prs")};
    };
    QStringList afterDelete{QStringLiteral("not deleted")};
    ts4820inst *model = window->instrument;
    ModalAnswer manage(
        QList<ModalAnswer::Step>{{QStringLiteral("Close"), [&](QWidget *dialog) {
                                      dialog->findChild<QListWidget *>()->selectAll();
                                      buttonNamed(dialog, QStringLiteral("Save to File"))->click();
                                      ModalAnswer confirm(QStringLiteral("Yes"));
                                      buttonNamed(dialog, QStringLiteral("Delete"))->click();
                                      afterDelete = model->getPresetList();
                                      buttonNamed(dialog, QStringLiteral("Load from File"))->click();
                                  }}});
    window->manageDialog->exec();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QVERIFY2(manage.done(), qPrintable(manage.error()));
    QVERIFY(QFile::exists(folder + QStringLiteral("/Bench-1.prs")));
    QCOMPARE(openedFolders, QList<QUrl>{QUrl::fromLocalFile(folder)});
    QCOMPARE(afterDelete, QStringList());
    QCOMPARE(window->instrument->getPresetList(), QStringList{QStringLiteral("Bench-1")});

    // Reset: everything open, names gone, no preset in use.
    ModalAnswer reset(QStringLiteral("Yes"));
    emit window->resetPressed();
    QVERIFY2(reset.done(), qPrintable(reset.error()));
    QCOMPARE(reset.report().text,
             QStringLiteral("Do you really want to reset the Xentra 4820? All relays on the device "
                            "will be forced to open state."));
    QVERIFY(!schematic->relayAt(9, 0)->isChecked());
    QVERIFY(schematic->aliasWidgets.at(9)->text().isEmpty());
    QCOMPARE(schematic->vrefCombo->currentIndex(), 0);
    QCOMPARE(window->presetLabel->text(), QString());

    // Back to the preset, one change applied, then a fresh start.
    ModalAnswer loadAgain(QStringLiteral("Load"));
    window->loadDialog->exec();
    schematic->relayAt(20, 4)->click();
    window->applyButton->click();
    window.reset();

    auto again = startDemo(adapter, 1);
    QVERIFY(again);
    QVERIFY(again->schematic->relayAt(20, 4)->isChecked());
    QVERIFY(again->schematic->relayAt(9, 0)->isChecked());
    QCOMPARE(again->schematic->aliasWidgets.at(9)->text(), QStringLiteral("DUT supply"));
    QCOMPARE(again->presetLabel->text(), QStringLiteral("Bench-1") + kNotSaved);
    QVERIFY2(driver().calls.isEmpty(), qPrintable(driver().callTexts().join(", ")));
}

void TestMainWindow::demoWindowLayout()
{
    ts4820_spc adapter;
    auto window = startDemo(adapter, 0);
    QVERIFY(window);
    QCOMPARE(window->instrument->nRows, 96);
    QCOMPARE(
        toolColumnTexts(*window),
        (QStringList{"Refresh", "Load Preset ...", "Save Preset ...", "Manage Presets ...",
                     "Device Status ...", "Web Interface ...", "OFF", "Reset Device", "About", "Close"}));
    QComboBox *vref = window->schematic->vrefCombo;
    QCOMPARE(vref->count(), 17);
    QCOMPARE(vref->itemText(0), QStringLiteral("+0.0000000"));
    QCOMPARE(vref->itemText(1), QStringLiteral("+9.00000"));
    QCOMPARE(vref->itemText(8), QStringLiteral("-0.450000"));
    QCOMPARE(vref->itemText(16), QStringLiteral("-0.0045000"));
    QCOMPARE(vref->whatsThis(), QStringLiteral("Voltage on the output of Voltage Reference."));
    QCOMPARE(window->scaleCombo->currentText(), QStringLiteral("100%"));
    QCOMPARE(window->schematic->scale, 1.0);
    QCOMPARE(window->about()->serialNumberLabel()->text(), QStringLiteral("48209481 (DEMO)"));
    QCOMPARE(window->about()->modelLabel()->text(), QStringLiteral("4820-AA"));

    window->scaleCombo->setCurrentIndex(0);
    QCOMPARE(window->schematic->size(), QSize(600, 3712));

    // Identify in demo mode only informs.
    ModalAnswer info(QStringLiteral("OK"));
    emit window->identToggled(true);
    QVERIFY2(info.done(), qPrintable(info.error()));
    QCOMPARE(info.report().text, QStringLiteral("This feature is not available, when Soft Front "
                                                "Panel is working in demo mode."));
    QCOMPARE(info.report().title, window->windowTitle());
}

void TestMainWindow::realModeStartupReadsTheUnit()
{
    driver().unit.subType = QStringLiteral("BA");
    ts4820_spc adapter;
    auto window = startReal(adapter);
    QVERIFY(window);
    QCOMPARE(window->instrument->nRows, 96);
    QCOMPARE(window->schematic->vrefCombo->count(), 17);
    const QStringList calls = driver().callNames();
    // Identification light off, then the refresh's reads end the start-up.
    QVERIFY(calls.contains(QStringLiteral("ts4820_identify")));
    QCOMPARE(calls.mid(calls.size() - 8),
             (QStringList{"ts4820_getDefaultPresetName", "ts4820_getMatrixState", "ts4820_getAlias",
                          "ts4820_getVoltRefOutput", "ts4820_getVoltRefConnectionState",
                          "ts4820_getVoltRefConnectionState", "ts4820_getVoltRefConnectionState",
                          "ts4820_getVoltRefConnectionState"}));
    QCOMPARE(window->about()->serialNumberLabel()->text(), QStringLiteral("48209481"));
    QCOMPARE(window->about()->revisionLabel()->text(), QStringLiteral("2.4.7 (Product: 2.1.0)"));
    QCOMPARE(window->about()->modelLabel()->text(), QStringLiteral("4820-BA"));
}

void TestMainWindow::realModeApplyWritesInOrderThenReadsBack()
{
    driver().unit.vrefTable.clear(); // a unit without voltage reference
    ts4820_spc adapter;
    auto window = startReal(adapter);
    QVERIFY(window);
    QCOMPARE(window->schematic->vrefCombo->itemText(0), QStringLiteral("External"));
    window->schematic->relayAt(0, 5)->click();
    driver().calls.clear();
    window->applyButton->click();
    QCOMPARE(driver().callNames().mid(0, 5),
             (QStringList{"ts4820_setMatrixState", "ts4820_setVoltRefConnectionState",
                          "ts4820_setVoltRefConnectionState", "ts4820_setVoltRefConnectionState",
                          "ts4820_setVoltRefConnectionState"}));
    QCOMPARE(driver().count(QStringLiteral("ts4820_setVoltRefOutput")), 0);
    QCOMPARE(driver().count(QStringLiteral("ts4820_getMatrixState")), 1);
    // Read back from the unit after the write: the relay is now applied.
    QVERIFY(window->schematic->relayAt(0, 5)->isApplied());
    QVERIFY(!window->applyButton->isEnabled());
}

void TestMainWindow::realModeIdentifyAndReset()
{
    ts4820_spc adapter;
    auto window = startReal(adapter);
    QVERIFY(window);
    driver().calls.clear();
    emit window->identToggled(true);
    QCOMPARE(driver().callTexts(), QStringList{QStringLiteral("ts4820_identify(1, 1)")});

    driver().calls.clear();
    ModalAnswer no(QStringLiteral("No"));
    emit window->resetPressed();
    QVERIFY(no.done());
    QVERIFY(driver().calls.isEmpty());

    window->schematic->relayAt(3, 3)->click();
    driver().errorTexts[VI_ERROR_TMO] = QStringLiteral("Unit did not answer");
    driver().script(QStringLiteral("ts4820_reset"), VI_ERROR_TMO, 1);
    ModalAnswer yes({QStringLiteral("Yes"), QStringLiteral("No")});
    emit window->resetPressed();
    QVERIFY2(yes.done(), qPrintable(yes.error()));
    QCOMPARE(yes.report(1).text,
             QStringLiteral("ts4820_reset(d_vi) failed due to [Unit did not answer]\nDo you want "
                            "to exit?"));
    // The command still refreshes: the unsent change is gone.
    QVERIFY(!window->schematic->relayAt(3, 3)->isChecked());
    QVERIFY(!window->undoButton->isEnabled());
}

void TestMainWindow::realModeHardwareInformationNotAvailable()
{
    driver().script(QStringLiteral("ts4820_revision_query"), VI_ERROR_IO);
    // The device dialog reads the serial first; the About panel's read fails.
    driver().script(QStringLiteral("ts4820_getAttribute"), VI_SUCCESS, 1);
    driver().script(QStringLiteral("ts4820_getAttribute"), VI_ERROR_IO, 1);
    ts4820_spc adapter;
    auto window = startReal(adapter);
    QVERIFY(window);
    QCOMPARE(window->about()->serialNumberLabel()->text(), QStringLiteral("Not Available"));
    QCOMPARE(window->about()->revisionLabel()->text(), QStringLiteral("Not Available (Product: 2.1.0)"));
}

void TestMainWindow::saveImageProposesPresetName_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("proposed");
    QTest::newRow("unsaved preset") << QStringLiteral("abc") + kNotSaved << "abc - not saved.png";
    QTest::newRow("no preset") << ""
                               << "unnamed.png";
    QTest::newRow("saved preset") << "Rig"
                                  << "Rig.png";
}

void TestMainWindow::saveImageProposesPresetName()
{
    QFETCH(QString, label);
    QFETCH(QString, proposed);
    ts4820_spc adapter;
    auto window = startDemo(adapter, 0);
    QVERIFY(window);
    window->presetLabel->setText(label);
    const QString path = testenv::root() + QStringLiteral("/") + proposed;
    QString asked;
    ts4820fp_App::askImagePath = [&](QWidget *, const QString &name) {
        asked = name;
        return path;
    };
    window->saveImageButton->click();
    QCOMPARE(asked, proposed);
    // The whole schematic, not only what the scroll area shows.
    QCOMPARE(QImage(path).size(), window->schematic->size());

    ts4820fp_App::askImagePath = [](QWidget *, const QString &) {
        return QStringLiteral("/nonexistent-folder/x.png");
    };
    ModalAnswer failed(QStringLiteral("OK"));
    window->saveImageButton->click();
    QVERIFY2(failed.done(), qPrintable(failed.error()));
    QCOMPARE(failed.report().text, QStringLiteral("Failed to save the image as: /nonexistent-folder/x.png."));
    QCOMPARE(failed.report().icon, QMessageBox::Critical);
    QVERIFY(window->isEnabled());

    // A failed save over a file the user picked leaves that file whole.
    const QString kept = testenv::root() + QStringLiteral("/kept.xyz");
    QFile file(kept);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("the user's data") == 15);
    file.close();
    ts4820fp_App::askImagePath = [&](QWidget *, const QString &) { return kept; };
    ModalAnswer unknownFormat(QStringLiteral("OK"));
    window->saveImageButton->click();
    QCOMPARE(unknownFormat.report().text, "Failed to save the image as: " + kept + ".");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("the user's data"));
}

TS_TEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
